#include "core/ErrorReport.h"

#include "core/Bugs.h"
#include "core/Config.h"
#include "core/InstallState.h"
#include "core/MiscFunc.h"
#include "core/ServiceTrust.h"
#include "core/SystemInfo.h"
#include "core/WireBasics.h"
#include "core/uTypes.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QHttpMultiPart>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRandomGenerator>
#include <QUrl>

#include <atomic>

using namespace Qt::StringLiterals;

namespace {

std::atomic<TErrorReportDataSource> g_dataSource{nullptr};

} // namespace

void SetErrorReportDataSource(TErrorReportDataSource source)
{
    g_dataSource = source;
}

QString ComposeErrorReport(const QString& message)
{
    const int agency = CurrentAgencyCode();
    const TErrorReportDataSource source = g_dataSource;
    const TErrorReportData data = source ? source(agency) : TErrorReportData{};
    const QString values[13] = {
        QString::number(agency),
        data.AgencyName,
        data.DataVersion,
        DateTimeToDbText(LastSyncTime()),
        DateTimeToDbText(DbTextToDateTime(data.LastMaintenance)),
        data.InstallKey,
        Config::AppVersion,
        OsDescription(),
        ComputerName(),
        OsUserName(),
        QString::number(CurrentUser.Code),
        CurrentUser.Name,
        CurrentUser.DisplayName,
    };
    QString text = message + u"\r\n\r\n---\r\n"_s;
    for (int i = 0; i < 13; ++i)
        text += QString::fromLatin1(Wire::ErrorReportKeys[i]) + u'=' + values[i] + u"\r\n"_s;
    return text + u"---"_s;
}

QString ErrorReportUrl()
{
    QUrl url(Config::ServiceUrl());
    url.setScheme(u"http"_s);
    url.setPath(Wire::ErrorReportPath);
    url.setQuery(QString());
    return url.toString();
}

int SendErrorReport(const QString& message)
{
    try {
        if (!QCoreApplication::instance())
            return 0;
        const QByteArray envelope = EncodeErrorReport(ComposeErrorReport(message));
        QNetworkAccessManager client;
        client.setCookieJar(nullptr);
        QNetworkRequest request{QUrl(ErrorReportUrl())};
        request.setHeader(QNetworkRequest::UserAgentHeader, Wire::UserAgent);
        ApplyServiceTrust(request);
        // The report goes out before the bug window shows; a service that never answers must
        // not leave the user facing a frozen program.
        request.setTransferTimeout(10000);
        QHttpMultiPart form(QHttpMultiPart::FormDataType);
        QHttpPart field;
        field.setHeader(QNetworkRequest::ContentDispositionHeader,
                        QByteArray("form-data; name=\"" + Wire::FormFieldName + "\""));
        field.setHeader(QNetworkRequest::ContentTypeHeader, Wire::FormContentType);
        field.setBody(envelope);
        form.append(field);
        QNetworkReply* reply = client.post(request, &form);
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        if (reply->isRunning())
            loop.exec(QEventLoop::ExcludeUserInputEvents);
        delete reply;
    } catch (const std::exception& e) {
        WriteLog(u"$30ZZ"_s, QString::fromUtf8(e.what()));
    }
    return 0;
}

QByteArray EncodeErrorReport(const QString& report)
{
    const QByteArray b = report.toUtf8().toBase64();
    QByteArray c;
    c.reserve(b.size() + 1);
    c += static_cast<char>(QRandomGenerator::global()->bounded(32, 127));
    for (const char ch : b)
        c += static_cast<char>(ch ^ c.back());
    const QByteArray d = RandomLetterCase(Md5Hex(QString::fromLatin1(b))).toLatin1();
    const QByteArray inner = Wire::ErrorReportPrefix + RandomPrintable(8).toLatin1() + c + d;
    return inner.toBase64();
}

QString DecodeErrorReport(const QByteArray& envelope)
{
    const QByteArray inner = QByteArray::fromBase64(envelope.trimmed());
    const qsizetype head = Wire::ErrorReportPrefix.size() + 8;
    if (!inner.startsWith(Wire::ErrorReportPrefix) || inner.size() < head + 1 + 32)
        return {};
    const QByteArray d = inner.right(32);
    const QByteArray c = inner.mid(head, inner.size() - head - 32);
    QByteArray b;
    b.reserve(c.size());
    for (qsizetype i = 1; i < c.size(); ++i)
        b += static_cast<char>(c[i] ^ c[i - 1]);
    if (Md5Hex(QString::fromLatin1(b)).compare(QString::fromLatin1(d), Qt::CaseInsensitive) != 0)
        return {};
    return QString::fromUtf8(QByteArray::fromBase64(b));
}
