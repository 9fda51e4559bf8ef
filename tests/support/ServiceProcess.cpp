#include "support/ServiceProcess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <httplib.h>

using namespace Qt::StringLiterals;

namespace {

ServiceProcess::HttpReply ReplyOf(const httplib::Result& result)
{
    ServiceProcess::HttpReply reply;
    if (!result)
        return reply;
    reply.status = result->status;
    reply.body = QByteArray::fromStdString(result->body);
    reply.contentType = QString::fromStdString(result->get_header_value("Content-Type"));
    return reply;
}

QString ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

ServiceProcess::ServiceProcess(ServiceOptions options) : m_options(std::move(options)) {}

ServiceProcess::~ServiceProcess()
{
    Stop();
}

QString ServiceProcess::Program()
{
    // A wrapper (a sanitizer build, valgrind) can stand in for the built binary.
    const QString other = qEnvironmentVariable("KORVEL_SERVICE_PROGRAM");
    return other.isEmpty() ? QStringLiteral(KORVEL_SERVICE_BIN) : other;
}

bool ServiceProcess::Start()
{
    m_error.clear();
    // A restart keeps the data folder, so a test can stop and start the same service.
    if (!m_temporary)
        m_temporary = std::make_unique<QTemporaryDir>();
    m_folder = m_options.dataFolder.isEmpty() ? m_temporary->path() + u"/data"_s : m_options.dataFolder;
    QStringList arguments{u"--port"_s, u"0"_s, u"--bind"_s, u"127.0.0.1"_s, u"--data"_s, m_folder};
    if (m_options.demo)
        arguments << u"--demo"_s << u"--properties"_s << QString::number(m_options.properties) << u"--photos"_s
                  << QString::number(m_options.photoFiles);
    arguments << m_options.arguments;
    m_port = 0;
    // The console goes to files: a pipe that nobody drains would stall the service once
    // its buffer is full of request lines.
    m_process.setStandardOutputFile(m_temporary->path() + u"/stdout.log"_s);
    m_process.setStandardErrorFile(m_temporary->path() + u"/stderr.log"_s);
    m_process.start(Program(), arguments);
    if (!m_process.waitForStarted(10000)) {
        m_error = u"cannot start "_s + Program() + u": "_s + m_process.errorString();
        return false;
    }
    static const QRegularExpression listening(u"^listening on (https?)://([^:\\s]+):(\\d+)\\r?$"_s);
    const QDeadlineTimer deadline(60000);
    while (!deadline.hasExpired()) {
        const QString output = Output();
        const qsizetype end = output.indexOf(u'\n');
        if (end >= 0) {
            const QRegularExpressionMatch m = listening.match(output.left(end));
            if (!m.hasMatch()) {
                m_error = u"unexpected first line: "_s + output.left(end);
                Stop();
                return false;
            }
            m_scheme = m.captured(1);
            m_port = m.captured(3).toInt();
            return true;
        }
        if (m_process.state() != QProcess::Running) {
            m_error = u"the service ended: "_s + ReadFile(m_temporary->path() + u"/stderr.log"_s);
            return false;
        }
        m_process.waitForFinished(50);
    }
    m_error = u"the service did not say where it listens"_s;
    Stop();
    return false;
}

void ServiceProcess::Stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool ServiceProcess::IsRunning() const
{
    return m_process.state() == QProcess::Running;
}

QString ServiceProcess::BaseUrl() const
{
    return u"%1://127.0.0.1:%2"_s.arg(m_scheme).arg(m_port);
}

QString ServiceProcess::Url(const QString& path) const
{
    return BaseUrl() + path;
}

QString ServiceProcess::SyncUrl() const
{
    return Url(u"/sync/R3/sync.php"_s);
}

QString ServiceProcess::Output()
{
    return m_temporary ? ReadFile(m_temporary->path() + u"/stdout.log"_s) : QString();
}

bool ServiceProcess::InjectFault(const QString& kind, const QString& mode, int ms, int count)
{
    const QByteArray body =
        u"{\"kind\":\"%1\",\"mode\":\"%2\",\"ms\":%3,\"count\":%4}"_s.arg(kind, mode).arg(ms).arg(count).toUtf8();
    return Post(u"/admin/fault"_s, body, "application/json").status == 200;
}

bool ServiceProcess::InjectRefusal(const QString& kind, const QString& text, int count)
{
    const QJsonObject body{{u"kind"_s, kind}, {u"mode"_s, u"refuse"_s}, {u"count"_s, count}, {u"text"_s, text}};
    return Post(u"/admin/fault"_s, QJsonDocument(body).toJson(QJsonDocument::Compact), "application/json").status ==
           200;
}

bool ServiceProcess::PublishTerms(double version, const QString& date, const QString& text)
{
    const QJsonObject body{{u"version"_s, version}, {u"date"_s, date}, {u"text"_s, text}};
    return Post(u"/admin/terms"_s, QJsonDocument(body).toJson(QJsonDocument::Compact), "application/json").status ==
           200;
}

bool ServiceProcess::ClearFaults()
{
    return Delete(u"/admin/fault"_s).status == 200;
}

ServiceProcess::HttpReply ServiceProcess::Get(const QString& path) const
{
    httplib::Client client("127.0.0.1", m_port);
    client.set_read_timeout(60);
    return ReplyOf(client.Get(path.toStdString()));
}

ServiceProcess::HttpReply ServiceProcess::Head(const QString& path) const
{
    httplib::Client client("127.0.0.1", m_port);
    return ReplyOf(client.Head(path.toStdString()));
}

ServiceProcess::HttpReply ServiceProcess::PostForm(const QString& path, const QByteArray& fieldName,
                                                   const QByteArray& content, const QByteArray& contentType) const
{
    httplib::Client client("127.0.0.1", m_port);
    client.set_read_timeout(120);
    const httplib::MultipartFormDataItems items = {
        {fieldName.toStdString(), content.toStdString(), std::string(), contentType.toStdString()}};
    return ReplyOf(client.Post(path.toStdString(), items));
}

ServiceProcess::HttpReply ServiceProcess::Post(const QString& path, const QByteArray& body,
                                               const QByteArray& contentType) const
{
    httplib::Client client("127.0.0.1", m_port);
    client.set_read_timeout(120);
    return ReplyOf(client.Post(path.toStdString(), body.toStdString(), contentType.toStdString()));
}

ServiceProcess::HttpReply ServiceProcess::Delete(const QString& path) const
{
    httplib::Client client("127.0.0.1", m_port);
    return ReplyOf(client.Delete(path.toStdString()));
}
