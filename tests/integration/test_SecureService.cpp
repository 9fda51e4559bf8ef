// The client over HTTPS against a real korvel-service serving a certificate made for the
// test: trusted through the configuration file's CA setting, refused otherwise.
#include "core/Config.h"
#include "core/MiscFunc.h"
#include "core/ServiceTrust.h"
#include "core/uTypes.h"
#include "db/InstallContext.h"
#include "db/uDB.h"
#include "support/ServiceProcess.h"
#include "support/TestRoot.h"
#include "sync/Requests.h"
#include "sync/Session.h"
#include "sync/Sync.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// A self-signed certificate for 127.0.0.1 and its key, as PEM files PREFIX.crt and PREFIX.key.
bool MakeCertificate(const QString& prefix, QString* error)
{
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start(u"openssl"_s,
                  {u"req"_s, u"-x509"_s, u"-newkey"_s, u"ec"_s, u"-pkeyopt"_s, u"ec_paramgen_curve:prime256v1"_s,
                   u"-nodes"_s, u"-days"_s, u"2"_s, u"-subj"_s, u"/CN=127.0.0.1"_s, u"-addext"_s,
                   u"subjectAltName=IP:127.0.0.1"_s, u"-keyout"_s, prefix + u".key"_s, u"-out"_s, prefix + u".crt"_s});
    if (!openssl.waitForFinished(30000) || openssl.exitStatus() != QProcess::NormalExit || openssl.exitCode() != 0) {
        *error = u"openssl: "_s + openssl.errorString() + u' ' + QString::fromLocal8Bit(openssl.readAll());
        return false;
    }
    return true;
}

class SecureService : public ::testing::Test {
protected:
    void SetUp() override
    {
        QString error;
        ASSERT_TRUE(MakeCertificate(root.Path() + u"service"_s, &error)) << error.toStdString();
        ASSERT_TRUE(MakeCertificate(root.Path() + u"stranger"_s, &error)) << error.toStdString();
        ServiceOptions options;
        options.properties = 40;
        options.photoFiles = 0;
        options.arguments = {u"--tls-cert"_s, root.Path() + u"service.crt"_s, u"--tls-key"_s,
                             root.Path() + u"service.key"_s};
        service = std::make_unique<ServiceProcess>(options);
        ASSERT_TRUE(service->Start()) << service->LastError().toStdString();
        ASSERT_TRUE(service->SyncUrl().startsWith(u"https://127.0.0.1:"_s)) << service->SyncUrl().toStdString();
        qputenv("KORVEL_SERVICE_URL", service->SyncUrl().toUtf8());
        SyncEnabled = true;
        ResetConsecutiveFailures();
    }
    void TearDown() override
    {
        CloseDatabase();
        ClearSession();
        ResetInstallContext();
        SyncEnabled = false;
        qunsetenv("KORVEL_SERVICE_URL");
        DropConnections();
        service.reset();
    }

    // The configuration file an administrator places beside the program.
    static bool Configure(const QByteArray& text) { return WriteBytesFile(Config::ConfigFilePath(), text); }

    TestRoot root;
    RecordingFatalHandler fatal;
    std::unique_ptr<ServiceProcess> service;
};

} // namespace

TEST_F(SecureService, FirstRunAndLoginOverHttpsWithTheConfiguredCa)
{
    // A path relative to the install folder, as an administrator would write it beside the program.
    ASSERT_TRUE(QFile::copy(root.Path() + u"service.crt"_s, Paths.InstallFolder + u"servicio-ca.pem"_s));
    ASSERT_TRUE(Configure("[tls]\nca_file=servicio-ca.pem\n"));

    QByteArray database;
    ASSERT_EQ(RequestDatabaseFile({7, u"admin"_s, u"demo"_s, QString()}, database), QString());
    ASSERT_TRUE(WriteBytesFile(Paths.DatabaseFile, database));
    ASSERT_TRUE(OpenDatabase(Paths.DatabaseFile, Config::DatabasePassword, Config::DatabaseDriverId));
    ASSERT_TRUE(LoadInstallContext());
    StartSession(1, u"admin"_s, u"demo"_s, u"Administrador"_s);
    TSessionAnswer login;
    EXPECT_EQ(RequestSessionCheck(CurrentSessionValues(), login), QString());
    EXPECT_TRUE(login.Confirmed);
    TVersionAnswer version;
    EXPECT_EQ(RequestVersionInfo(CurrentSessionValues(), version), QString());
    EXPECT_EQ(version.CurrentVersion, Config::AppVersion);
    EXPECT_TRUE(service->Output().contains(u"session"_s));
    EXPECT_TRUE(SecureConnectionProblem().isEmpty());
    EXPECT_TRUE(fatal.calls.empty());
}

TEST_F(SecureService, AnUntrustedCertificateIsRefusedWithAClearMessage)
{
    ASSERT_TRUE(QFile::copy(root.Path() + u"stranger.crt"_s, Paths.InstallFolder + u"otra-ca.pem"_s));
    const struct {
        const char* name;
        QByteArray configuration; // empty: no configuration file
    } cases[] = {
        {"only the system's CAs", QByteArray()},
        {"a CA that did not sign the service's certificate", "[tls]\nca_file=otra-ca.pem\n"},
        {"a CA file that is not there", "[tls]\nca_file=no-existe.pem\n"},
    };
    for (const auto& c : cases) {
        QFile::remove(Config::ConfigFilePath());
        if (!c.configuration.isEmpty()) {
            ASSERT_TRUE(Configure(c.configuration)) << c.name;
        }
        DropConnections();
        ResetConsecutiveFailures();
        QByteArray database;
        EXPECT_EQ(RequestDatabaseFile({7, u"admin"_s, u"demo"_s, QString()}, database), ServiceTrustText::Untrusted)
            << c.name;
        EXPECT_TRUE(database.isEmpty()) << c.name;
    }
    // Nothing got through to the service, and the log says why each attempt failed.
    EXPECT_FALSE(service->Output().contains(u"dbfile"_s));
    EXPECT_EQ(root.LogLines().filter(ServiceTrustText::Untrusted).size(), 3);
    EXPECT_EQ(root.LogLines().filter(u"$3128"_s).size(), 1) << "the missing CA file is logged";

    // Trusting the right CA afterwards works at once.
    ASSERT_TRUE(QFile::copy(root.Path() + u"service.crt"_s, Paths.InstallFolder + u"servicio-ca.pem"_s));
    ASSERT_TRUE(Configure("[tls]\nca_file=servicio-ca.pem\n"));
    DropConnections();
    ResetConsecutiveFailures();
    QByteArray database;
    EXPECT_EQ(RequestDatabaseFile({7, u"admin"_s, u"demo"_s, QString()}, database), QString());
    EXPECT_FALSE(database.isEmpty());
}
