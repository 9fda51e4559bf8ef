// The client's request functions against a real korvel-service on a loopback port.
#include "core/Config.h"
#include "core/ErrorReport.h"
#include "core/MiscFunc.h"
#include "core/uTypes.h"
#include "db/Settings.h"
#include "db/uDB.h"
#include "support/ServiceClientFixture.h"
#include "support/ServiceProcess.h"
#include "support/TestRoot.h"
#include "sync/Import.h"
#include "sync/Requests.h"
#include "sync/Sync.h"
#include "sync/WireProtocol.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// One service for the whole suite: starting it is the slow part.
class ClientServiceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        service = new ServiceProcess();
        ASSERT_TRUE(service->Start()) << service->LastError().toStdString();
    }
    static void TearDownTestSuite()
    {
        delete service;
        service = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(service && service->IsRunning());
        service->ClearFaults();
        qputenv("KORVEL_SERVICE_URL", service->SyncUrl().toUtf8());
        SyncEnabled = true;
        ResetConsecutiveFailures();
        session = DemoSession();
    }
    void TearDown() override
    {
        SyncEnabled = false;
        qunsetenv("KORVEL_SERVICE_URL");
    }

    // The installation key comes inside the database file the service delivers.
    void Install() { InstallDatabaseFile(session); }

    static ServiceProcess* service;
    TestRoot root;
    TSessionValues session;
};

ServiceProcess* ClientServiceTest::service = nullptr;

} // namespace

TEST_F(ClientServiceTest, FirstRunKindsDeliverTermsDatabaseAndData)
{
    TTermsAnswer terms;
    ASSERT_EQ(RequestTerms(session, 0, terms), QString());
    EXPECT_GT(ParseDotFloat(terms.Version), 0);
    EXPECT_FALSE(terms.Text.isEmpty());
    EXPECT_FALSE(terms.ServerTime.isEmpty());

    Install();
    TDataBase check(Paths.DatabaseFile, Config::DatabaseDriverId, Config::DatabasePassword);
    EXPECT_TRUE(check.IsEncrypted());
    EXPECT_EQ(ReadSetting(Setting::AgencyNumber), u"7"_s);

    QByteArray data;
    ASSERT_EQ(RequestFullData(session, data), QString());
    EXPECT_FALSE(ResponseValue(data, u"DBVer"_s).isEmpty());
    EXPECT_TRUE(ResponseValue(data, u"Tables"_s).contains(u"W_Propiedades"_s));
    QByteArray incremental;
    ASSERT_EQ(RequestIncrementalData(session, ResponseValue(data, u"DBVer"_s).toInt(), incremental), QString());
    EXPECT_EQ(ResponseValue(incremental, u"DBVer"_s), ResponseValue(data, u"DBVer"_s));
}

TEST_F(ClientServiceTest, AccountKindsAnswerWithTheirMembers)
{
    Install();
    TSessionAnswer check;
    ASSERT_EQ(RequestSessionCheck(session, check), QString());
    EXPECT_TRUE(check.Confirmed);

    // Credentials the service cannot confirm answer status 9: the client then checks its own copy.
    TSessionValues wrong = session;
    wrong.Password = u"otra"_s;
    EXPECT_EQ(RequestSessionCheck(wrong, check), QString());
    EXPECT_EQ(check.Status, 9);
    EXPECT_FALSE(check.Confirmed);

    // An inactive user is refused with the service's message.
    TSessionValues inactive = session;
    inactive.UserName = u"carga4"_s;
    EXPECT_EQ(RequestSessionCheck(inactive, check), QString());
    EXPECT_TRUE(check.Confirmed);
    EXPECT_FALSE(check.Message.isEmpty());

    TVersionAnswer version;
    const QString versionError = RequestVersionInfo(session, version);
    EXPECT_TRUE(!versionError.isEmpty() || !version.CurrentVersion.isEmpty());

    TStatusAnswer status;
    ASSERT_EQ(RequestServiceStatus(session, status), QString());
    EXPECT_FALSE(status.PublicAddress.isEmpty());
    EXPECT_FALSE(status.Status.isEmpty());
    TStatusAnswer validated;
    EXPECT_EQ(RequestValidationKey(session, u"DEMO0007"_s, validated), QString());
    const QString refused = RequestValidationKey(session, u"NOPE"_s, validated);
    EXPECT_TRUE(!refused.isEmpty() ||
                (validated.Status != Wire::StatusAccepted && validated.Status != Wire::StatusAcceptedWithNotice));

    TStatementAnswer statement;
    ASSERT_EQ(RequestAccountStatement(session, statement), QString());
    EXPECT_FALSE(statement.Saldo.isEmpty());
    EXPECT_EQ(RequestReportPayment(session, QDate::currentDate().toString(u"dd/MM/yyyy"_s), u"Transferencia"_s,
                                   u"Av. Santa Fe 1234"_s, u"Santander Río"_s, u"525,00"_s),
              QString());

    double helpVersion = 0;
    ASSERT_EQ(RequestHelpFile(session, 0, helpVersion), QString());
    EXPECT_GT(helpVersion, 0);
    EXPECT_TRUE(QFile::exists(HelpDocumentFile()));
    ASSERT_EQ(RequestAgencyLogo(session), QString());
    EXPECT_FALSE(QImage(AgencyLogoFile()).isNull());

    EXPECT_FALSE(RequestChangeCredentials(session, u"MAL"_s, 2, u"nuevo"_s, Md5Hex(u"x"_s)).isEmpty());
    EXPECT_EQ(RequestChangeCredentials(session, u"DEMO0007"_s, 2, u"carga1b"_s, Md5Hex(u"nueva"_s)), QString());
    TSessionValues changed = session;
    changed.UserName = u"carga1b"_s;
    changed.Password = u"nueva"_s;
    EXPECT_EQ(RequestSessionCheck(changed, check), QString());
    EXPECT_TRUE(check.Confirmed);
}

TEST_F(ClientServiceTest, PropertyKindsAnswerFromRealData)
{
    Install();
    QByteArray data;
    ASSERT_EQ(RequestFullData(session, data), QString());
    ASSERT_TRUE(ImportTables(data, -1).ok);
    std::unique_ptr<TResultSet> other;
    ASSERT_TRUE(DB()->QueryNoCount(
        u"SELECT `Prop_Codigo` FROM `W_Propiedades` WHERE `Inmo_Codigo` <> 7 AND `Prop_Estado` = 2 LIMIT 1;"_s, other));
    ASSERT_EQ(other->RecordCount(), 1);
    const int foreign = other->AsInteger(u"Prop_Codigo"_s);

    QByteArray png;
    ASSERT_EQ(RequestPropertyQR(session, 700001, png), QString());
    EXPECT_FALSE(QImage::fromData(png, "PNG").isNull());
    QString url;
    for (const int channel : {6, 11, 16, 18}) {
        ASSERT_EQ(RequestShareLink(session, 700001, channel, url), QString()) << channel;
        EXPECT_TRUE(url.startsWith(u"http"_s)) << url.toStdString();
    }
    EXPECT_EQ(RequestDenounceProperty(session, foreign, u"La propiedad ya fue vendida."_s), QString());
    EXPECT_EQ(RequestVisit(session, foreign, u"Sarmiento 1234"_s, QDateTime::currentDateTime().addDays(2), u"Ana"_s,
                           u"Juan"_s, u"Quiere verla el jueves."_s),
              QString());
    EXPECT_FALSE(RequestPropertyRecovery(session, 99900001).isEmpty()); // not the agency's

    TReportRequest report;
    report.MailTo = u"cliente@correo.com.ar"_s;
    report.Subject = u"Propiedades \"seleccionadas\""_s;
    report.Body = u"Le envío la selección."_s;
    report.PropertyList = u"700001,700002"_s;
    report.Options = u"t=1&o1=1&o2=1&o3=0&o4=1&o5=1"_s;
    ASSERT_EQ(RequestMailReport(session, report, url), QString());
    EXPECT_TRUE(url.startsWith(u"http"_s));
    QByteArray qr;
    ASSERT_EQ(RequestWebReport(session, report, url, qr), QString());
    EXPECT_FALSE(QImage::fromData(qr, "PNG").isNull());
    const auto page = service->Get(QUrl(url).path());
    EXPECT_EQ(page.status, 200);

    QList<QPair<QString, QByteArray>> photos;
    ASSERT_EQ(RequestPhotos(session, 0, u"1,2,3"_s, photos), QString());
    for (const auto& [name, bytes] : photos) {
        EXPECT_TRUE(name.startsWith(u"w_"_s));
        EXPECT_FALSE(QImage::fromData(bytes, "JPG").isNull());
    }
    QByteArray program;
    RequestProgramDownload(session, program); // an error object unless an update is offered
    QString message;
    EXPECT_FALSE(RequestUploadChanges(session, R"({"W_Fotos":[{"Empty":1}]})", message).isEmpty());
    TStatusAnswer validated;
    ASSERT_EQ(RequestValidationKey(session, u"DEMO0007"_s, validated), QString());
    EXPECT_EQ(RequestUploadChanges(session, R"({"W_Fotos":[{"Empty":1}]})", message), QString());
}

TEST_F(ClientServiceTest, ErrorReportsReachTheService)
{
    SendErrorReport(u"Prueba de reporte\r\ncon dos líneas"_s);
    const QStringList reports = QDir(service->DataFolder() + u"/errors"_s).entryList(QDir::Files);
    ASSERT_FALSE(reports.isEmpty());
    bool found = false;
    for (const QString& name : reports) {
        QFile file(service->DataFolder() + u"/errors/"_s + name);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        found = found || QString::fromUtf8(file.readAll()).contains(u"Prueba de reporte\r\ncon dos líneas"_s);
    }
    EXPECT_TRUE(found);
}

TEST_F(ClientServiceTest, EveryFaultFailsTheRequestAndThreeInARowGoOffline)
{
    const char* const modes[] = {"close", "http500", "garbage", "truncated", "badmarker"};
    for (const char* mode : modes) {
        ASSERT_TRUE(service->InjectFault(u"*"_s, QString::fromLatin1(mode), 0, 1));
        TStatusAnswer status;
        EXPECT_FALSE(RequestServiceStatus(session, status).isEmpty()) << mode;
        ResetConsecutiveFailures();
        SyncEnabled = true;
    }
    ASSERT_TRUE(service->InjectFault(u"*"_s, u"http500"_s, 0, 3));
    TStatusAnswer status;
    for (int i = 0; i < 3; ++i)
        RequestServiceStatus(session, status);
    EXPECT_FALSE(SyncEnabled);
    const QString output = service->Output();
    // Offline: the next request does not reach the service at all.
    EXPECT_FALSE(RequestServiceStatus(session, status).isEmpty());
    EXPECT_EQ(service->Output(), output);
}

TEST_F(ClientServiceTest, CancelEndsARunningRequestAndASecondOneIsRefused)
{
    ASSERT_TRUE(service->InjectFault(u"status"_s, u"delay"_s, 20000, 1));
    bool secondRefused = false;
    QTimer::singleShot(300, [&] {
        QByteArray answer;
        secondRefused = !PostEnvelope("x", answer);
        CancelTransfer();
    });
    QElapsedTimer clock;
    clock.start();
    TStatusAnswer status;
    EXPECT_FALSE(RequestServiceStatus(session, status).isEmpty());
    EXPECT_LT(clock.elapsed(), 2300 + 300);
    EXPECT_TRUE(secondRefused);
    EXPECT_FALSE(root.LogLines().filter(u"HTTP object in use."_s).isEmpty());
    EXPECT_FALSE(TransferInProgress());
}
