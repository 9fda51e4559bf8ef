#include "ui/Probes.h"

#include "core/Bugs.h"
#include "core/Config.h"
#include "core/ServiceTrust.h"
#include "sync/WireProtocol.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// One exchange on a client of its own, so a probe never waits behind a transfer. The
// status is -1 when nothing answered in time.
int Exchange(const QUrl& url, bool head, int timeoutMs, QByteArray* body)
{
    QNetworkAccessManager manager;
    QNetworkRequest request(url);
    request.setTransferTimeout(timeoutMs);
    ApplyServiceTrust(request);
    std::unique_ptr<QNetworkReply> reply(head ? manager.head(request) : manager.get(request));
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    timer.start(timeoutMs);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!reply->isFinished()) {
        reply->abort();
        return -1;
    }
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (body)
        *body = reply->readAll();
    return status.isValid() ? status.toInt() : -1;
}

} // namespace

QString ReferenceHost()
{
    const QByteArray env = qgetenv("KORVEL_REFERENCE_HOST");
    return env.isEmpty() ? u"www.debian.org"_s : QString::fromUtf8(env);
}

QString ServiceHost()
{
    const QUrl url(Config::ServiceUrl());
    return url.port() > 0 ? url.host() + u':' + QString::number(url.port()) : url.host();
}

QString ProbeHost(const QString& host)
{
    try {
        return Exchange(QUrl(u"http://"_s + host), true, 2000, nullptr) != -1 ? u"OK"_s : u"ERROR"_s;
    } catch (...) {
        WriteLog(u"$3050"_s, u"Uncaught exception."_s);
        return u"ERROR"_s;
    }
}

QString PublicAddress()
{
    try {
        QUrl url(Config::ServiceUrl());
        url.setPath(Wire::PublicAddressPath);
        QByteArray body;
        if (Exchange(url, false, 3000, &body) == -1) {
            WriteLog(u"$3051"_s, u"Can't get response."_s);
            return u"ERROR"_s;
        }
        const QString text = QString::fromUtf8(body).trimmed();
        return !text.isEmpty() && text.size() < 16 ? text : u"ERROR"_s;
    } catch (...) {
        WriteLog(u"$3051"_s, u"Uncaught exception."_s);
        return u"ERROR"_s;
    }
}
