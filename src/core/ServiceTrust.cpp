#include "core/ServiceTrust.h"

#include "core/Bugs.h"
#include "core/Config.h"

#include <QFileInfo>
#include <QMutex>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <QSslConfiguration>

using namespace Qt::StringLiterals;

namespace ServiceTrustText {
const QString Untrusted = u"No se pudo establecer una conexión segura con el servicio: su certificado no es válido "
                          u"o no es de confianza. Comuníquese con el soporte de Korvel."_s;
} // namespace ServiceTrustText

namespace {

QMutex g_mutex;
bool g_untrusted = false;
QString g_loggedFile; // the CA file whose problem was logged last, so it is logged once

void LogOnce(const QString& file, const QString& text)
{
    QMutexLocker lock(&g_mutex);
    if (g_loggedFile == file)
        return;
    g_loggedFile = file;
    lock.unlock();
    WriteLog(u"$3128"_s, text);
}

} // namespace

void ApplyServiceTrust(QNetworkRequest& request)
{
    if (request.url().scheme() != u"https"_s)
        return;
    const QString file = Config::ExtraCaFile();
    if (file.isEmpty())
        return;
    const QList<QSslCertificate> certificates = QSslCertificate::fromPath(file, QSsl::Pem);
    if (certificates.isEmpty()) {
        // The connection goes on with the system's CAs only, and fails if the service
        // needs the missing one: the log says why.
        LogOnce(file, u"El archivo de certificados %1 no existe o no contiene certificados PEM."_s.arg(file));
        return;
    }
    QSslConfiguration configuration = request.sslConfiguration();
    configuration.addCaCertificates(certificates);
    configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
    request.setSslConfiguration(configuration);
}

void NoteSecureConnectionOutcome(const QNetworkReply* reply)
{
    const bool untrusted = reply && reply->error() == QNetworkReply::SslHandshakeFailedError;
    QMutexLocker lock(&g_mutex);
    g_untrusted = untrusted;
}

QString SecureConnectionProblem()
{
    QMutexLocker lock(&g_mutex);
    return g_untrusted ? ServiceTrustText::Untrusted : QString();
}
