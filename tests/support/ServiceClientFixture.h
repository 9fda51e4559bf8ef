#pragma once

#include "core/Config.h"
#include "core/MiscFunc.h"
#include "core/uTypes.h"
#include "db/InstallContext.h"
#include "db/Settings.h"
#include "db/uDB.h"
#include "support/ServiceProcess.h"
#include "support/TestRoot.h"
#include "sync/Import.h"
#include "sync/Requests.h"
#include "sync/Sync.h"
#include "sync/SyncData.h"

#include <gtest/gtest.h>

// The demo agency's administrator, as every request carries it.
inline TSessionValues DemoSession()
{
    return {7, QStringLiteral("admin"), QStringLiteral("demo"), QString()};
}

// A new installation's first steps against a running service, as the first run takes them:
// the delivered database file (kept in delivered when asked), opened, with its installation
// key in the session.
inline void InstallDatabaseFile(TSessionValues& session, QByteArray* delivered = nullptr)
{
    QByteArray file;
    ASSERT_EQ(RequestDatabaseFile(session, file), QString());
    if (delivered)
        *delivered = file;
    ASSERT_TRUE(WriteBytesFile(Paths.DatabaseFile, file));
    ASSERT_TRUE(OpenDatabase(Paths.DatabaseFile, Config::DatabasePassword, Config::DatabaseDriverId));
    session.InstallKey = ReadSetting(Setting::InstallKey);
    ASSERT_FALSE(session.InstallKey.isEmpty());
}

// The installation validated and filled with the full data as the first run does it,
// which records the data version and time of the import.
inline void ValidateAndImportFullData(TSessionValues& session)
{
    TStatusAnswer status;
    ASSERT_EQ(RequestValidationKey(session, QStringLiteral("DEMO0007"), status), QString());
    ASSERT_EQ(ImportFullData(session), QString());
    ASSERT_TRUE(LoadInstallContext());
}

// One korvel-service per test, the client pointed at it and online.
class ServiceClientTest : public ::testing::Test {
protected:
    explicit ServiceClientTest(ServiceOptions options = {}) : service(std::move(options)) {}

    void SetUp() override
    {
        ASSERT_TRUE(service.Start()) << service.LastError().toStdString();
        qputenv("KORVEL_SERVICE_URL", service.SyncUrl().toUtf8());
        SyncEnabled = true;
        ResetConsecutiveFailures();
        session = DemoSession();
    }
    void TearDown() override
    {
        CloseDatabase();
        SyncEnabled = false;
        ResetInstallContext();
        qunsetenv("KORVEL_SERVICE_URL");
        // The service stops at once instead of waiting out the client's idle connections.
        DropConnections();
    }

    void Install(QByteArray* delivered = nullptr)
    {
        InstallDatabaseFile(session, delivered);
        if (!HasFatalFailure())
            ValidateAndImportFullData(session);
    }

    ServiceProcess service;
    TestRoot root;
    RecordingFatalHandler fatal;
    TSessionValues session;
};
