#include "service/Server.h"

#include "core/ErrorReport.h"
#include "service/Churn.h"
#include "service/MapAnswers.h"
#include "service/MasterStore.h"
#include "service/Pages.h"
#include "service/ServiceDb.h"
#include "sync/Envelope.h"
#include "sync/WireProtocol.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <httplib.h>

#include <dirent.h>
#include <netinet/in.h>
#include <nlohmann/json.hpp>
#include <sys/socket.h>
#include <sys/stat.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <optional>
#include <thread>
#include <unordered_map>

using namespace Qt::StringLiterals;

// Connections whose request header is still arriving, so that one taking longer than the
// deadline is cut off however slowly it trickles in: the read timeout alone only bounds
// each silence. The HTTP library does not hand out its sockets, so a new connection's
// socket is found among the process's own when it is queued, told apart by its inode.
class THeaderWatch {
public:
    THeaderWatch(int port, int seconds) : m_port(port), m_deadlineMs(qint64(seconds) * 1000)
    {
        m_thread = std::thread([this] { Watch(); });
    }
    ~THeaderWatch()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }

    // Called on the accepting thread as the connection is queued.
    std::function<void()> Wrap(std::function<void()> job)
    {
        std::lock_guard lock(m_mutex);
        const std::optional<std::pair<int, ino_t>> socket = NewSocket();
        if (!socket)
            return job;
        m_connections[socket->second] = {socket->first, -1};
        return [this, job = std::move(job), inode = socket->second] {
            {
                std::lock_guard lock(m_mutex);
                m_connections[inode].since = Now();
            }
            t_connection = inode;
            t_watch = this;
            job();
            t_watch = nullptr;
            std::lock_guard lock(m_mutex);
            m_connections.erase(inode);
        };
    }

    // On the worker's thread: its header is in (true) or it waits for the next one.
    static void HeaderDone(bool done)
    {
        if (!t_watch)
            return;
        std::lock_guard lock(t_watch->m_mutex);
        const auto it = t_watch->m_connections.find(t_connection);
        if (it != t_watch->m_connections.end())
            it->second.since = done ? -1 : Now();
    }

private:
    struct Connection {
        int fd = -1;
        qint64 since = -1; // when the header began to be awaited; -1: not now
    };

    static qint64 Now()
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }

    static ino_t Inode(int fd)
    {
        struct stat info {};
        return ::fstat(fd, &info) == 0 && S_ISSOCK(info.st_mode) ? info.st_ino : 0;
    }

    // The connected socket on the service's port that no connection owns yet.
    std::optional<std::pair<int, ino_t>> NewSocket() const
    {
        DIR* dir = ::opendir("/proc/self/fd");
        if (!dir)
            return std::nullopt;
        std::optional<std::pair<int, ino_t>> found;
        while (const dirent* entry = ::readdir(dir)) {
            char* end = nullptr;
            const long fd = std::strtol(entry->d_name, &end, 10);
            if (*end != 0 || end == entry->d_name || fd == ::dirfd(dir))
                continue;
            const ino_t inode = Inode(int(fd));
            if (inode == 0 || m_connections.contains(inode))
                continue;
            sockaddr_storage local{}, peer{};
            socklen_t localSize = sizeof local, peerSize = sizeof peer;
            if (::getsockname(int(fd), reinterpret_cast<sockaddr*>(&local), &localSize) != 0 ||
                ::getpeername(int(fd), reinterpret_cast<sockaddr*>(&peer), &peerSize) != 0)
                continue;
            int port = -1;
            if (local.ss_family == AF_INET)
                port = ntohs(reinterpret_cast<const sockaddr_in*>(&local)->sin_port);
            else if (local.ss_family == AF_INET6)
                port = ntohs(reinterpret_cast<const sockaddr_in6*>(&local)->sin6_port);
            if (port == m_port) {
                found = std::pair{int(fd), inode};
                break;
            }
        }
        ::closedir(dir);
        return found;
    }

    void Watch()
    {
        std::unique_lock lock(m_mutex);
        while (!m_wake.wait_for(lock, std::chrono::milliseconds(500), [this] { return m_stopping; })) {
            const qint64 now = Now();
            for (auto& [inode, connection] : m_connections) {
                if (connection.since < 0 || now - connection.since < m_deadlineMs)
                    continue;
                // The worker closes its socket before it forgets the connection; the inode
                // tells whether the number still names this connection's socket.
                if (Inode(connection.fd) == inode)
                    ::shutdown(connection.fd, SHUT_RDWR);
                connection.since = -1;
            }
        }
    }

    static thread_local ino_t t_connection;
    static thread_local THeaderWatch* t_watch;

    const int m_port;
    const qint64 m_deadlineMs;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::unordered_map<ino_t, Connection> m_connections;
    bool m_stopping = false;
    std::thread m_thread;
};

thread_local ino_t THeaderWatch::t_connection = 0;
thread_local THeaderWatch* THeaderWatch::t_watch = nullptr;

namespace {

std::mutex g_logMutex;

std::string Std(const QString& text)
{
    return text.toStdString();
}

QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

bool IsLoopback(const std::string& address)
{
    return address == "127.0.0.1" || address == "::1" || address == "::ffff:127.0.0.1";
}

void SetText(httplib::Response& res, int status, const QString& text)
{
    res.status = status;
    res.set_content(Std(text) + "\n", "text/plain; charset=utf-8");
}

void SetBytes(httplib::Response& res, const QByteArray& bytes, const char* type)
{
    res.status = 200;
    res.set_content(bytes.constData(), size_t(bytes.size()), type);
}

// One worker per connection, started when a connection arrives and kept a while for the
// next: a fixed pool lets a handful of callers who send their header slowly hold every
// worker. Beyond the cap, connections wait for a free worker.
class TGrowingPool final : public httplib::TaskQueue {
public:
    TGrowingPool(int maxWorkers, THeaderWatch* watch) : m_maxWorkers(std::max(1, maxWorkers)), m_watch(watch) {}
    ~TGrowingPool() override { shutdown(); }

    void enqueue(std::function<void()> fn) override
    {
        if (m_watch)
            fn = m_watch->Wrap(std::move(fn));
        std::unique_lock lock(m_mutex);
        m_jobs.push_back(std::move(fn));
        if (m_idle < int(m_jobs.size()) && m_live < m_maxWorkers && !m_stopping) {
            ++m_live;
            std::thread([this] { Work(); }).detach();
        } else {
            m_wake.notify_one();
        }
    }

    void shutdown() override
    {
        std::unique_lock lock(m_mutex);
        m_stopping = true;
        m_wake.notify_all();
        m_ended.wait(lock, [this] { return m_live == 0; });
    }

private:
    void Work()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            ++m_idle;
            const bool woken =
                m_wake.wait_for(lock, std::chrono::seconds(30), [this] { return m_stopping || !m_jobs.empty(); });
            --m_idle;
            if (m_jobs.empty() && (m_stopping || !woken))
                break;
            std::function<void()> job = std::move(m_jobs.front());
            m_jobs.pop_front();
            lock.unlock();
            job();
            lock.lock();
        }
        // Idle workers end after a while; the last one to end lets a shutdown go on.
        if (--m_live == 0)
            m_ended.notify_all();
    }

    const int m_maxWorkers;
    THeaderWatch* const m_watch;
    std::mutex m_mutex;
    std::condition_variable m_wake, m_ended;
    std::deque<std::function<void()>> m_jobs;
    int m_live = 0, m_idle = 0;
    bool m_stopping = false;
};

qint64 FolderBytes(const QString& folder)
{
    qint64 total = 0;
    for (const QFileInfo& info : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden))
        total += info.size();
    return total;
}

} // namespace

// The answer's preamble; the client skips it without looking.
QByteArray ResponsePreamble()
{
    QByteArray preamble = "KORVEL-SERVICE R3\r\n";
    preamble += QByteArray(Wire::ResponsePreambleLength - preamble.size() - 2, ' ');
    preamble += "\r\n";
    return preamble;
}

void ServiceLog(const QString& line)
{
    const std::string text = Std(QDateTime::currentDateTime().toString(u"yyyy-MM-dd HH:mm:ss.zzz "_s) + line);
    std::lock_guard lock(g_logMutex);
    std::fprintf(stdout, "%s\n", text.c_str());
    std::fflush(stdout);
}

TServiceServer::TServiceServer(TMasterStore& store, TServerOptions options)
    : m_store(store), m_options(std::move(options)), m_handler(store, m_options.service),
      m_server(m_options.tlsCert.isEmpty()
                   ? std::make_unique<httplib::Server>()
                   : std::make_unique<httplib::SSLServer>(m_options.tlsCert.toLocal8Bit().constData(),
                                                          m_options.tlsKey.toLocal8Bit().constData())),
      m_churn(std::make_unique<TChurn>(store, m_options.churnSeed, m_options.churnSpared))
{
    m_server->new_task_queue = [this] { return new TGrowingPool(m_options.maxConnections, m_headerWatch.get()); };
    m_server->set_logger([](const httplib::Request&, const httplib::Response&) { THeaderWatch::HeaderDone(false); });
    m_server->set_payload_max_length(m_options.maxBody);
    m_server->set_keep_alive_timeout(5);
    m_server->set_read_timeout(m_options.readTimeout);
    m_server->set_write_timeout(60);
    Routes();
}

TServiceServer::~TServiceServer()
{
    m_churn->Stop();
}

bool TServiceServer::Bind(QString* error)
{
    // An SSL server whose certificate or key did not load would accept connections and
    // fail every handshake: better not to start at all.
    if (!m_server->is_valid()) {
        if (error)
            *error = u"cannot use the TLS certificate %1 with the key %2"_s.arg(m_options.tlsCert, m_options.tlsKey);
        return false;
    }
    const std::string host = Std(m_options.bind);
    if (m_options.port == 0) {
        m_port = m_server->bind_to_any_port(host);
    } else {
        m_port = m_server->bind_to_port(host, m_options.port) ? m_options.port : -1;
    }
    if (m_port <= 0) {
        if (error)
            *error = u"cannot listen on %1:%2"_s.arg(m_options.bind).arg(m_options.port);
        return false;
    }
    return true;
}

bool TServiceServer::Run()
{
    if (m_options.churnSeconds > 0)
        m_churn->Start(m_options.churnSeconds);
    m_headerWatch = std::make_unique<THeaderWatch>(m_port, m_options.headerTimeout);
    const bool served = m_server->listen_after_bind();
    m_churn->Stop();
    return served;
}

void TServiceServer::Stop()
{
    m_server->stop();
}

QString TServiceServer::BaseUrl(const httplib::Request& req) const
{
    QString host = Q(req.get_header_value("Host")).trimmed();
    static const QRegularExpression safeHost(u"^[A-Za-z0-9.\\-\\[\\]:]{1,255}$"_s);
    if (!safeHost.match(host).hasMatch())
        host = Q(req.local_addr) + u':' + QString::number(req.local_port);
    return Scheme() + u"://"_s + host;
}

void TServiceServer::Routes()
{
    httplib::Server& s = *m_server;
    const std::string syncPath = Std(Wire::SyncPath);

    // The connectivity probes send HEAD, which the GET handlers answer.
    s.Get("/", [](const httplib::Request&, httplib::Response& res) {
        SetText(res, 200, u"Korvel: servicio en funcionamiento."_s);
    });
    s.Get(syncPath, [](const httplib::Request&, httplib::Response& res) {
        SetText(res, 200, u"Korvel: envíe las solicitudes por POST."_s);
    });
    s.Post(syncPath, [this](const httplib::Request& req, httplib::Response& res) { SyncRequest(req, res); });
    s.Post(Std(Wire::ErrorReportPath),
           [this](const httplib::Request& req, httplib::Response& res) { ErrorReport(req, res); });
    s.Get(Std(Wire::PublicAddressPath), [](const httplib::Request& req, httplib::Response& res) {
        res.status = 200;
        res.set_content(req.remote_addr, "text/plain");
    });

    s.Get(R"(/p/(\d{1,10}))", [this](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard lock(m_store.Db().Mutex());
        const QString page = PropertyPage(m_store, Q(req.matches[1]).toLongLong());
        if (page.isEmpty())
            return SetText(res, 404, u"La propiedad no está publicada."_s);
        res.set_content(Std(page), "text/html; charset=utf-8");
    });
    s.Get(R"(/r/([0-9a-f]{24}))", [this](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard lock(m_store.Db().Mutex());
        const QString page = ReportPage(m_store, Q(req.matches[1]));
        if (page.isEmpty())
            return SetText(res, 404, u"El reporte no existe."_s);
        res.set_content(Std(page), "text/html; charset=utf-8");
    });
    s.Get(R"(/foto/(\d{1,10})/(\d{1,10})\.jpg)", [this](const httplib::Request& req, httplib::Response& res) {
        const qint64 property = Q(req.matches[1]).toLongLong(), photo = Q(req.matches[2]).toLongLong();
        {
            std::lock_guard lock(m_store.Db().Mutex());
            if (!PhotoIsPublic(m_store, property, photo))
                return SetText(res, 404, u"La foto no está disponible."_s);
        }
        QFile file(m_store.PhotoPath(property, photo));
        if (!file.open(QIODevice::ReadOnly))
            return SetText(res, 404, u"La foto no está disponible."_s);
        SetBytes(res, file.readAll(), "image/jpeg");
    });
    s.Get(R"(/logo/(\d{1,5})\.png)", [this](const httplib::Request& req, httplib::Response& res) {
        QFile file(m_store.LogoPath(Q(req.matches[1]).toInt()));
        if (!file.open(QIODevice::ReadOnly))
            return SetText(res, 404, u"No hay logo."_s);
        SetBytes(res, file.readAll(), "image/png");
    });

    // The stand-in of the public map service: geocoding and static map pictures.
    const auto mapQuery = [](const httplib::Request& req) {
        QMap<QString, QString> query;
        for (const auto& [key, value] : req.params)
            query.insert(Q(key), Q(value));
        return query;
    };
    const auto mapReply = [](httplib::Response& res, const TMapAnswer& answer) {
        res.status = answer.status;
        res.set_content(answer.body.constData(), size_t(answer.body.size()), answer.contentType.constData());
    };
    s.Get("/6.2/geocode.json", [this, mapQuery, mapReply](const httplib::Request& req, httplib::Response& res) {
        mapReply(res, GeocodeAnswer(m_store, mapQuery(req)));
    });
    s.Get("/mia/1.6/mapview", [mapQuery, mapReply](const httplib::Request& req, httplib::Response& res) {
        mapReply(res, MapViewAnswer(mapQuery(req)));
    });

    s.Post("/admin/fault", [this](const httplib::Request& req, httplib::Response& res) { FaultRequest(req, res); });
    s.Get("/admin/fault", [this](const httplib::Request& req, httplib::Response& res) { FaultRequest(req, res); });
    s.Delete("/admin/fault", [this](const httplib::Request& req, httplib::Response& res) { FaultRequest(req, res); });
    s.Post("/admin/fault/clear",
           [this](const httplib::Request& req, httplib::Response& res) { FaultRequest(req, res); });

    s.Post("/admin/terms", [this](const httplib::Request& req, httplib::Response& res) { TermsRequest(req, res); });
    s.Get("/admin/churn", [this](const httplib::Request& req, httplib::Response& res) { ChurnRequest(req, res); });
    s.Post("/admin/churn", [this](const httplib::Request& req, httplib::Response& res) { ChurnRequest(req, res); });

    // Lengths are judged from the header, before the body is read.
    s.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        THeaderWatch::HeaderDone(true);
        if (req.path == Std(Wire::ErrorReportPath) && req.has_header("Content-Length") &&
            QByteArray::fromStdString(req.get_header_value("Content-Length")).toLongLong() > m_options.maxReportBytes) {
            ServiceLog(u"error report from %1 refused: too large"_s.arg(Q(req.remote_addr)));
            SetText(res, 413, u"El informe de error es demasiado grande."_s);
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });

    s.set_exception_handler([](const httplib::Request& req, httplib::Response& res, std::exception_ptr ep) {
        QString what = u"unknown"_s;
        try {
            std::rethrow_exception(ep);
        } catch (const std::exception& e) {
            what = QString::fromUtf8(e.what());
        } catch (...) {
        }
        ServiceLog(u"%1 %2 failed: %3"_s.arg(Q(req.method), Q(req.path), what));
        SetText(res, 500, u"Error interno del servicio."_s);
    });
}

void TServiceServer::SyncRequest(const httplib::Request& req, httplib::Response& res)
{
    QElapsedTimer timer;
    timer.start();
    const QString remote = Q(req.remote_addr);
    const auto badRequest = [&](const QString& why) {
        QByteArray envelope;
        PackEnvelope(ResponsePreamble(), TRequestHandler::ErrorObject(u"La solicitud no tiene un formato válido."_s),
                     envelope);
        res.status = 400;
        res.set_content(envelope.constData(), size_t(envelope.size()), "application/octet-stream");
        ServiceLog(u"? agency=? bad request (%1) from %2 %3 ms"_s.arg(why, remote).arg(timer.elapsed()));
    };
    if (!req.is_multipart_form_data() || !req.has_file(Wire::FormFieldName.toStdString()))
        return badRequest(u"no form field"_s);
    // The field is read where the request holds it: a large upload is not copied again.
    const auto field = req.files.find(Wire::FormFieldName.toStdString());
    const QByteArray envelope =
        QByteArray::fromRawData(field->second.content.data(), qsizetype(field->second.content.size()));
    QByteArray wire;
    QString why;
    if (!UnpackRequest(envelope, m_options.maxInflated, wire, &why))
        return badRequest(why);

    const TAnswer answer = m_handler.Handle(wire, remote, BaseUrl(req));
    if (answer.action == u"?"_s && answer.refused)
        return badRequest(answer.note);

    QByteArray body = answer.packed ? answer.body : QByteArray();
    if (!answer.packed && !PackEnvelope(ResponsePreamble(), answer.body, body))
        return SetText(res, 500, u"Error interno del servicio."_s);

    QString outcome = answer.refused ? u"refused: "_s + answer.note : u"ok"_s;
    if (!answer.refused && !answer.note.isEmpty())
        outcome += u" ("_s + answer.note + u')';
    if (const std::optional<TFault> fault = m_faults.Take(answer.action)) {
        outcome = u"fault "_s + FaultModeName(fault->mode) + u" instead of "_s + outcome;
        switch (fault->mode) {
        case TFaultMode::Delay:
            std::this_thread::sleep_for(std::chrono::milliseconds(std::max(0, fault->delayMs)));
            break;
        case TFaultMode::Close:
            // Headers go out, then the connection ends before the promised body.
            res.set_content_provider(size_t(body.size()), "application/octet-stream",
                                     [](size_t, size_t, httplib::DataSink&) { return false; });
            ServiceLog(
                u"%1 agency=%2 %3 %4 ms"_s.arg(answer.action).arg(answer.agency).arg(outcome).arg(timer.elapsed()));
            return;
        case TFaultMode::Http500:
            SetText(res, 500, u"Error interno del servicio."_s);
            ServiceLog(
                u"%1 agency=%2 %3 %4 ms"_s.arg(answer.action).arg(answer.agency).arg(outcome).arg(timer.elapsed()));
            return;
        case TFaultMode::Garbage: {
            QByteArray noise(std::max<qsizetype>(300, body.size()), Qt::Uninitialized);
            for (char& c : noise)
                c = char(QRandomGenerator::global()->bounded(256));
            noise.replace(Wire::ResponsePreambleLength, 4, "JUNK");
            body = noise;
            break;
        }
        case TFaultMode::Truncated:
            body.truncate(body.size() / 2);
            break;
        case TFaultMode::BadMarker:
            body.replace(Wire::ResponsePreambleLength, 4, "XXXX");
            break;
        case TFaultMode::BadChecksum: {
            // Everything unpacks; only the last check, once the whole text is out, fails.
            const qsizetype at = body.size() - Wire::PaddingBytes - 1;
            body[at] = char(body[at] ^ 0x55);
            break;
        }
        case TFaultMode::Refuse:
            if (!PackEnvelope(ResponsePreamble(), TRequestHandler::ErrorObject(fault->text), body))
                return SetText(res, 500, u"Error interno del servicio."_s);
            break;
        }
    }
    res.status = 200;
    // The provider shares the envelope instead of copying it: a full answer can be large.
    res.set_content_provider(size_t(body.size()), "application/octet-stream",
                             [body](size_t offset, size_t length, httplib::DataSink& sink) {
                                 const size_t size = size_t(body.size());
                                 if (offset >= size)
                                     return false;
                                 return sink.write(body.constData() + offset, std::min(length, size - offset));
                             });
    ServiceLog(u"%1 agency=%2 %3 %4 ms"_s.arg(answer.action).arg(answer.agency).arg(outcome).arg(timer.elapsed()));
}

qint64 TServiceServer::ReportFieldBytes(const httplib::Request& req)
{
    qint64 total = 0;
    for (const auto& [name, field] : req.files)
        total += qint64(field.content.size());
    return total;
}

void TServiceServer::ErrorReport(const httplib::Request& req, httplib::Response& res)
{
    const QString remote = Q(req.remote_addr);
    // Oversized reports are normally turned away before their body is read (see Routes);
    // a body sent without a length is checked here.
    if (qint64(req.body.size()) > m_options.maxReportBytes || ReportFieldBytes(req) > m_options.maxReportBytes) {
        ServiceLog(u"error report from %1 refused: too large"_s.arg(remote));
        return SetText(res, 413, u"El informe de error es demasiado grande."_s);
    }
    {
        std::lock_guard lock(m_reportMutex);
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        std::deque<qint64>& times = m_reportTimes[remote];
        while (!times.empty() && times.front() <= now - 3600)
            times.pop_front();
        if (int(times.size()) >= m_options.reportsPerHour) {
            ServiceLog(
                u"error report from %1 refused: more than %2 in an hour"_s.arg(remote).arg(m_options.reportsPerHour));
            res.set_header("Retry-After", std::to_string(std::max<qint64>(1, times.front() + 3600 - now)));
            return SetText(res, 429, u"Demasiados informes de error desde esta dirección; intente más tarde."_s);
        }
        times.push_back(now);
        // Addresses whose hour has passed are forgotten, so the table cannot grow without end.
        if (m_reportTimes.size() > 4096) {
            for (auto it = m_reportTimes.begin(); it != m_reportTimes.end();)
                it = it->empty() || it->back() <= now - 3600 ? m_reportTimes.erase(it) : std::next(it);
        }
    }
    QByteArray envelope;
    if (req.is_multipart_form_data() && req.has_file(Wire::FormFieldName.toStdString()))
        envelope = QByteArray::fromStdString(req.get_file_value(Wire::FormFieldName.toStdString()).content);
    const QString report = DecodeErrorReport(envelope);
    if (report.isEmpty()) {
        ServiceLog(u"error report from %1 refused: unreadable"_s.arg(Q(req.remote_addr)));
        return SetText(res, 400, u"El informe de error no es legible."_s);
    }
    const QString folder = m_store.FilePath(u"errors"_s);
    QDir().mkpath(folder);
    const QString name = u"%1/%2-%3.txt"_s.arg(folder, QDateTime::currentDateTime().toString(u"yyyyMMdd-HHmmss-zzz"_s))
                             .arg(++m_reportCounter, 4, 10, QLatin1Char('0'));
    QFile file(name);
    const QString header = u"Recibido: %1\r\nDesde: %2\r\n\r\n"_s.arg(TMasterStore::Now(), Q(req.remote_addr));
    const QByteArray text = (header + report).toUtf8();
    {
        // The folder's total is counted once, then kept as reports are written; reports
        // removed by hand only leave more room than counted until the next start.
        std::lock_guard lock(m_reportMutex);
        if (m_reportsTotal < 0)
            m_reportsTotal = FolderBytes(folder);
        if (m_reportsTotal + text.size() > m_options.maxReportsTotal) {
            ServiceLog(u"error report from %1 refused: the errors folder is full"_s.arg(remote));
            return SetText(res, 507, u"El servicio no puede guardar más informes de error por ahora."_s);
        }
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size()) {
            file.remove();
            ServiceLog(u"error report from %1 could not be stored"_s.arg(remote));
            return SetText(res, 500, u"Error interno del servicio."_s);
        }
        m_reportsTotal += text.size();
    }
    const QRegularExpression agency(u"^Inmobiliaria=(.*)$"_s, QRegularExpression::MultilineOption);
    ServiceLog(u"error report agency=%1 stored in %2"_s.arg(agency.match(report).captured(1).trimmed(), name));
    SetText(res, 200, u"OK"_s);
}

void TServiceServer::FaultRequest(const httplib::Request& req, httplib::Response& res)
{
    using json = nlohmann::json;
    if (!IsLoopback(req.remote_addr))
        return SetText(res, 403, u"Solo desde este equipo."_s);
    const auto list = [&] {
        json faults = json::array();
        for (const TFault& f : m_faults.List())
            faults.push_back(
                {{"kind", Std(f.kind)}, {"mode", Std(FaultModeName(f.mode))}, {"ms", f.delayMs}, {"count", f.count}});
        res.status = 200;
        res.set_content(faults.dump(), "application/json");
    };
    if (req.method == "GET")
        return list();
    if (req.method == "DELETE" || req.path == "/admin/fault/clear") {
        m_faults.Clear();
        ServiceLog(u"faults cleared"_s);
        return list();
    }
    const json body = json::parse(req.body, nullptr, false);
    if (!body.is_object() || !body.contains("kind") || !body["kind"].is_string() || !body.contains("mode") ||
        !body["mode"].is_string())
        return SetText(res, 400, u"Se espera {\"kind\":\"...\",\"mode\":\"...\",\"ms\":N,\"count\":K}."_s);
    for (const char* number : {"ms", "count"})
        if (body.contains(number) && !body[number].is_number_integer())
            return SetText(res, 400, u"\"ms\" y \"count\" deben ser números enteros."_s);
    const std::optional<TFaultMode> mode = FaultModeOf(Q(body["mode"].get<std::string>()));
    if (!mode)
        return SetText(res, 400, u"Modos: delay, close, http500, garbage, truncated, badmarker, refuse."_s);
    if (body.contains("text") && !body["text"].is_string())
        return SetText(res, 400, u"\"text\" debe ser un texto."_s);
    TFault fault;
    fault.kind = Q(body["kind"].get<std::string>());
    fault.mode = *mode;
    fault.delayMs = body.value("ms", 0);
    fault.count = body.value("count", 0);
    fault.text = Q(body.value("text", std::string("Error del servicio.")));
    m_faults.Set(fault);
    ServiceLog(u"fault set: %1 %2 ms=%3 count=%4"_s.arg(fault.kind, FaultModeName(fault.mode))
                   .arg(fault.delayMs)
                   .arg(fault.count));
    list();
}

void TServiceServer::ChurnRequest(const httplib::Request& req, httplib::Response& res)
{
    using json = nlohmann::json;
    if (!IsLoopback(req.remote_addr))
        return SetText(res, 403, u"Solo desde este equipo."_s);
    if (req.method == "POST") {
        const json body = req.body.empty() ? json::object() : json::parse(req.body, nullptr, false);
        if (!body.is_object() || (body.contains("batches") && !body["batches"].is_number_integer()) ||
            (body.contains("pause") && !body["pause"].is_boolean()))
            return SetText(res, 400, u"Se espera {\"batches\":N,\"pause\":true|false}."_s);
        const int batches = body.value("batches", 0);
        if (batches < 0 || batches > 1000)
            return SetText(res, 400, u"\"batches\" va de 0 a 1000."_s);
        if (body.contains("pause")) {
            m_churn->SetPaused(body["pause"].get<bool>());
            ServiceLog(m_churn->Paused() ? u"churn paused"_s : u"churn resumed"_s);
        }
        for (int i = 0; i < batches; ++i)
            m_churn->RunBatch();
    }
    qint64 version = 0;
    {
        std::lock_guard lock(m_store.Db().Mutex());
        version = m_store.CurrentVersion();
    }
    const json state = {{"version", version}, {"batches", m_churn->Batches()}, {"paused", m_churn->Paused()}};
    res.status = 200;
    res.set_content(state.dump(), "application/json");
}

void TServiceServer::TermsRequest(const httplib::Request& req, httplib::Response& res)
{
    using json = nlohmann::json;
    if (!IsLoopback(req.remote_addr))
        return SetText(res, 403, u"Solo desde este equipo."_s);
    const json body = json::parse(req.body, nullptr, false);
    if (!body.is_object() || !body.contains("version") || !body["version"].is_number() || !body.contains("date") ||
        !body["date"].is_string() || !body.contains("text") || !body["text"].is_string())
        return SetText(res, 400, u"Se espera {\"version\":N,\"date\":\"aaaa-mm-dd hh:nn:ss\",\"text\":\"...\"}."_s);
    const double version = body["version"].get<double>();
    const QString date = Q(body["date"].get<std::string>());
    if (!(version > 0) || !QDateTime::fromString(date, u"yyyy-MM-dd HH:mm:ss"_s).isValid())
        return SetText(res, 400, u"La versión debe ser positiva y la fecha \"aaaa-mm-dd hh:nn:ss\"."_s);
    {
        std::lock_guard lock(m_store.Db().Mutex());
        TStatement(m_store.Db().Handle(), u"INSERT OR REPLACE INTO `S_Terminos` VALUES (?, ?, ?);"_s)
            .BindAll({version, date, Q(body["text"].get<std::string>())})
            .Run();
    }
    ServiceLog(u"terms version %1 published"_s.arg(version));
    SetText(res, 200, u"OK"_s);
}
