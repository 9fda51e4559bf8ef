// A client installation synchronising with a real korvel-service: full import, upload of
// locally created records, lost answers and interrupted runs.
#include "core/Config.h"
#include "core/MiscFunc.h"
#include "core/uTypes.h"
#include "db/DBSchema.h"
#include "db/InstallContext.h"
#include "db/Settings.h"
#include "db/uDB.h"
#include "support/ServiceClientFixture.h"
#include "support/ServiceProcess.h"
#include "support/TestRoot.h"
#include "sync/Import.h"
#include "sync/Requests.h"
#include "sync/Sync.h"
#include "sync/SyncData.h"
#include "sync/Upload.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>

#include <csignal>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class SyncServiceTest : public ServiceClientTest {
protected:
    static qint64 Scalar(const QString& sql)
    {
        std::unique_ptr<TResultSet> r;
        if (!DB() || !DB()->QueryNoCount(sql, r) || !r || r->RecordCount() == 0)
            return -999;
        return r->AsInt64At(0);
    }

    // One record of each kind the agency creates offline, all marked for sending.
    QStringList CreateLocalRecords(const QString& tag)
    {
        QStringList generations;
        const qint64 admin = Scalar(
            u"SELECT `Usuario_Codigo` FROM `W_Usuarios` WHERE `Inmo_Codigo` = 7 AND `Usuario_Login` = 'admin';"_s);
        auto next = [&](const QString& table, const QString& key, const QString& generation) {
            int code = 0;
            QString text;
            EXPECT_TRUE(NextLocalCode(table, key, code));
            EXPECT_TRUE(NewGenerationCode(table, generation, text));
            generations << text;
            QThread::msleep(2); // generation codes carry the millisecond
            return std::make_pair(code, text);
        };
        const auto [client, clientGen] = next(u"W_Clientes"_s, u"Cli_Codigo"_s, u"Cli_CodigoGeneracion"_s);
        EXPECT_TRUE(DB()->ExecNoCount(
            u"INSERT INTO `W_Clientes` (`Cli_Codigo`, `Inmo_Codigo`, `Cli_Tipo`, `Cli_Nombre`, `Cli_Te`, `Cli_Activo`, "
            u"`Cli_Estado`, `Cli_CodigoGeneracion`, `Cli_Filtro`) VALUES (%1, 7, 0, \"Cliente %2\", \"4555-1234\", 1, "
            u"\"AM\", \"%3\", \"\");"_s.arg(client)
                .arg(tag, clientGen)));
        const auto [search, searchGen] = next(u"W_Filtros"_s, u"Filtro_Codigo"_s, u"Filtro_CodigoGeneracion"_s);
        EXPECT_TRUE(DB()->ExecNoCount(
            u"INSERT INTO `W_Filtros` (`Filtro_Codigo`, `Inmo_Codigo`, `Usuario_Codigo`, `Filtro_FechaAlta`, "
            u"`Filtro_FechaModif`, `Filtro_Nombre`, `Filtro_Parametros`, `Filtro_Estado`, `Filtro_CodigoGeneracion`) "
            u"VALUES (%1, 7, %2, \"2026-12-09 10:00:00\", \"2026-12-09 10:00:00\", \"Búsqueda %3\", \"\", \"AM\", "
            u"\"%4\");"_s.arg(search)
                .arg(admin)
                .arg(tag, searchGen)));
        const auto [selection, selectionGen] = next(u"W_Selecciones"_s, u"Selec_Codigo"_s, u"Selec_CodigoGeneracion"_s);
        EXPECT_TRUE(DB()->ExecNoCount(
            u"INSERT INTO `W_Selecciones` (`Selec_Codigo`, `Inmo_Codigo`, `Usuario_Codigo`, `Selec_FechaAlta`, "
            u"`Selec_FechaMod`, `Selec_Nombre`, `Selec_Estado`, `Selec_CodigoGeneracion`) VALUES (%1, 7, %2, "
            u"\"2026-12-09 10:00:00\", \"2026-12-09 10:00:00\", \"Selección %3\", \"AM\", \"%4\");"_s.arg(selection)
                .arg(admin)
                .arg(tag, selectionGen)));
        const auto [property, propertyGen] = next(u"W_Propiedades"_s, u"Prop_Codigo"_s, u"Prop_CodigoGeneracion"_s);
        EXPECT_TRUE(DB()->ExecNoCount(
            u"INSERT INTO `W_Propiedades` (`Prop_Codigo`, `Inmo_Codigo`, `Edif_Codigo`, `Situ_Codigo`, `Prop_Plazo`, "
            u"`Calle_Codigo`, `Barrio_Codigo`, `Prop_Numero`, `Pais_Codigo`, `Prov_Codigo`, `Part_Codigo`, "
            u"`Loc_Codigo`, `Prop_Dorm`, `Prop_SupCub`, `Prop_Precio`, `Prop_Descripcion`, `Prop_FechaAlta`, "
            u"`Prop_FechaMod`, `Moneda_Codigo`, `Baja_Codigo`, `Standby_Codigo`, `Prop_Publica`, `publicarEnKorvel`, "
            u"`publicarDireccion`, `publicarDireccionExacta`, `publicarRevista`, `Usuario_Codigo`, `Prop_Vendedor`, "
            u"`Prop_Estado`, `Prop_CodigoGeneracion`, `Sync_Tipo`) VALUES (%1, 7, 1, 1, 0, 1, 0, \"1234\", 2, 2, 2, "
            u"2, 3, 120, 150000, \"Casa %2\", \"2026-12-09 10:00:00\", \"2026-12-09 10:00:00\", 2, 1, 1, 1, 1, 1, 0, "
            u"0, %3, %3, 2, \"%4\", \"AM\");"_s.arg(property)
                .arg(tag)
                .arg(admin)
                .arg(propertyGen)));
        EXPECT_TRUE(
            DB()->ExecNoCount(u"INSERT INTO `W_SeleccionesProps` VALUES (%1, %2);"_s.arg(selection).arg(700001)));
        return generations;
    }

    // Each generation code once, under a service code, and nothing left to send.
    void ExpectArrivedOnce(const QStringList& generations)
    {
        const std::pair<const char*, const char*> tables[] = {
            {"W_Clientes", "Cli"}, {"W_Filtros", "Filtro"}, {"W_Selecciones", "Selec"}, {"W_Propiedades", "Prop"}};
        for (int i = 0; i < 4; ++i) {
            const QString table = QString::fromLatin1(tables[i].first);
            const QString prefix = QString::fromLatin1(tables[i].second);
            const QString key = prefix + u"_Codigo"_s;
            EXPECT_EQ(Scalar(u"SELECT COUNT(*) FROM `%1` WHERE `%2_CodigoGeneracion` = '%3';"_s.arg(table, prefix,
                                                                                                    generations[i])),
                      1)
                << table.toStdString();
            EXPECT_LT(Scalar(u"SELECT `%1` FROM `%2` WHERE `%3_CodigoGeneracion` = '%4';"_s.arg(key, table, prefix,
                                                                                                generations[i])),
                      2147473647)
                << table.toStdString();
        }
        EXPECT_FALSE(HasPendingChanges());
    }
};

} // namespace

TEST_F(SyncServiceTest, FullImportThenNothingNew)
{
    Install();
    EXPECT_GT(Scalar(u"SELECT COUNT(*) FROM `W_Propiedades`;"_s), 100);
    EXPECT_GT(Scalar(u"SELECT COUNT(*) FROM `W_Fotos`;"_s), 0);
    EXPECT_EQ(Scalar(u"SELECT COUNT(*) FROM `W_Usuarios` WHERE `Inmo_Codigo` = 7;"_s), 5);
    const int version = LocalDataVersion();
    EXPECT_EQ(SyncIncremental(session), QString());
    EXPECT_EQ(LocalDataVersion(), version);
    EXPECT_TRUE(fatal.calls.empty());
}

// The first run's full import is the same data as a full answer: it records its version and
// the service's time, so the first synchronisation asks only for what changed since and
// finds nothing to download again.
TEST_F(SyncServiceTest, TheFirstRunRecordsItsDataVersionSoTheFirstSyncIsIncremental)
{
    InstallDatabaseFile(session);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_EQ(LocalDataVersion(), -1); // the delivered file holds no data yet
    ASSERT_EQ(ImportFullData(session), QString());
    const int version = LocalDataVersion();
    EXPECT_GT(version, 0);
    const QDateTime stored = DbTextToDateTime(ReadSetting(Setting::LastSyncTime));
    EXPECT_TRUE(stored.isValid());
    EXPECT_LT(qAbs(stored.secsTo(QDateTime::currentDateTime())), 600);

    const QStringList logBefore = root.LogLines();
    ASSERT_TRUE(LoadInstallContext());
    EXPECT_EQ(SyncIncremental(session), QString());
    const QStringList sync = root.LogLines().mid(logBefore.size());
    EXPECT_FALSE(sync.filter(u"$3104: DataVersion=%1"_s.arg(version)).isEmpty()) << sync.join(u'\n').toStdString();
    EXPECT_FALSE(sync.filter(u"Los datos están actualizados."_s).isEmpty()) << sync.join(u'\n').toStdString();
    EXPECT_TRUE(sync.filter(u"records received."_s).isEmpty()) << sync.join(u'\n').toStdString();
    EXPECT_EQ(LocalDataVersion(), version);
    EXPECT_TRUE(fatal.calls.empty());
}

TEST_F(SyncServiceTest, LocalRecordsComeBackWithServiceCodesAndALostAnswerDuplicatesNothing)
{
    Install();
    const QStringList first = CreateLocalRecords(u"uno"_s);
    EXPECT_TRUE(HasPendingChanges());
    ASSERT_EQ(UploadChanges(session), QString());
    ASSERT_EQ(SyncIncremental(session), QString());
    ExpectArrivedOnce(first);
    EXPECT_EQ(Scalar(u"SELECT COUNT(*) FROM `W_SeleccionesProps` WHERE `Selec_Codigo` = (SELECT `Selec_Codigo` FROM "
                     u"`W_Selecciones` WHERE `Selec_CodigoGeneracion` = '%1');"_s.arg(first[2])),
              1);

    // The service stores the second batch, but its answer never arrives.
    const QStringList second = CreateLocalRecords(u"dos"_s);
    ASSERT_TRUE(service.InjectFault(u"upload"_s, u"close"_s, 0, 1));
    EXPECT_FALSE(UploadChanges(session).isEmpty());
    EXPECT_TRUE(HasPendingChanges());
    SyncEnabled = true;
    ASSERT_EQ(UploadChanges(session), QString());
    ASSERT_EQ(SyncIncremental(session), QString());
    ExpectArrivedOnce(second);
    EXPECT_TRUE(fatal.calls.empty());
}

// An incremental answer the client cannot take: larger than its limit, or sound in every
// table but with a wrong checksum at its end. Neither writes anything nor moves the data
// version, so the next synchronisation asks for the same changes again and takes them.
TEST_F(SyncServiceTest, AnAnswerTooLargeOrWithABadChecksumChangesNothing)
{
    Install();
    const QStringList generations = CreateLocalRecords(u"cuatro"_s);
    ASSERT_EQ(UploadChanges(session), QString());
    const int version = LocalDataVersion();
    const QString arrived =
        u"SELECT COUNT(*) FROM `W_Clientes` WHERE `Cli_CodigoGeneracion` = '%1' AND `Cli_Codigo` < 2147473647;"_s.arg(
            generations[0]);
    ASSERT_EQ(Scalar(arrived), 0);

    const TImportLimits usual = ImportLimits();
    struct Restore {
        TImportLimits limits;
        ~Restore() { ImportLimits() = limits; }
    } restore{usual};
    ImportLimits().maxAnswer = 600;
    EXPECT_EQ(SyncIncremental(session), TableDataTooLargeText());
    EXPECT_TRUE(TableDataTooLargeText().contains(u"tamaño máximo"_s));
    EXPECT_EQ(LocalDataVersion(), version);
    EXPECT_EQ(Scalar(arrived), 0);
    ImportLimits() = usual;

    ResetConsecutiveFailures();
    ASSERT_TRUE(service.InjectFault(u"incdata"_s, u"badchecksum"_s, 0, 1));
    EXPECT_FALSE(SyncIncremental(session).isEmpty());
    EXPECT_EQ(LocalDataVersion(), version);
    EXPECT_EQ(Scalar(arrived), 0);

    ResetConsecutiveFailures();
    ASSERT_EQ(SyncIncremental(session), QString());
    EXPECT_GT(LocalDataVersion(), version);
    ExpectArrivedOnce(generations);
    EXPECT_TRUE(fatal.calls.empty());
}

// A service that sends more than any answer may unpack to is cut off while it sends, before
// the body is held whole.
TEST_F(SyncServiceTest, AServiceThatKeepsSendingIsCutOff)
{
    Install();
    QByteArray packed;
    ASSERT_EQ(RequestFullDataPacked(session, packed), QString());
    ASSERT_GT(packed.size(), 20000);

    const TImportLimits usual = ImportLimits();
    struct Restore {
        TImportLimits limits;
        ~Restore() { ImportLimits() = limits; }
    } restore{usual};
    ImportLimits().maxPacked = 20000;
    ResetConsecutiveFailures();
    EXPECT_FALSE(RequestFullDataPacked(session, packed).isEmpty());
    EXPECT_TRUE(packed.isEmpty());
    EXPECT_TRUE(root.LogLines().join(u'\n').contains(u"transfer stopped"_s));
}

TEST_F(SyncServiceTest, AnInterruptedToolRunLosesNothing)
{
    Install();
    const QStringList generations = CreateLocalRecords(u"tres"_s);
    ASSERT_TRUE(WriteBytesFile(Paths.DataFolder + Config::CredentialsFile, "admin;demo"));
    CloseDatabase();

    auto run = [&](int killAfterMs) {
        QProcess tool;
        tool.start(QStringLiteral(KORVEL_TOOL_BIN), {u"sync"_s, u"--data"_s, Paths.DataFolder});
        EXPECT_TRUE(tool.waitForStarted());
        if (killAfterMs >= 0) {
            QThread::msleep(killAfterMs);
            ::kill(static_cast<pid_t>(tool.processId()), SIGKILL);
        }
        tool.waitForFinished(60000);
        return tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
    };
    // Slow answers keep the tool inside the upload and inside the import when it is killed.
    ASSERT_TRUE(service.InjectFault(u"upload"_s, u"delay"_s, 800, 1));
    run(400);
    ASSERT_TRUE(service.InjectFault(u"incdata"_s, u"delay"_s, 800, 1));
    run(900);
    for (const int ms : {50, 150, 300})
        run(ms);
    EXPECT_TRUE(run(-1));

    ASSERT_TRUE(OpenDatabase(Paths.DatabaseFile, Config::DatabasePassword, Config::DatabaseDriverId));
    std::unique_ptr<TResultSet> check;
    ASSERT_TRUE(DB()->QueryNoCount(u"PRAGMA integrity_check;"_s, check));
    EXPECT_EQ(check->AsStringAt(0), u"ok"_s);
    LoadInstallContext();
    ExpectArrivedOnce(generations);
}

TEST_F(SyncServiceTest, PhotosAreFetchedWhenAllowedAndListedAlways)
{
    Install();
    // A property whose photos the service has as files, and one whose photos it lacks.
    std::unique_ptr<TResultSet> rows;
    ASSERT_TRUE(DB()->QueryNoCount(u"SELECT `Prop_Codigo`, COUNT(*) AS n FROM `W_Fotos` GROUP BY `Prop_Codigo` "
                                   u"ORDER BY `Prop_Codigo`;"_s,
                                   rows));
    QString withFiles, withoutFiles;
    qint64 photosWith = 0, photosWithout = 0;
    for (rows->First(); !rows->Eof(); rows->Next()) {
        const qint64 property = rows->AsInt64(u"Prop_Codigo"_s);
        const QString folder =
            service.DataFolder() + u"/photos/"_s + QString::number(property / 100000).rightJustified(4, u'0');
        const bool has = !QDir(folder).entryList({u"w_%1_*.jpg"_s.arg(property)}).isEmpty();
        if (has && withFiles.isEmpty()) {
            withFiles = QString::number(property);
            photosWith = rows->AsInt64(u"n"_s);
        } else if (!has && withoutFiles.isEmpty()) {
            withoutFiles = QString::number(property);
            photosWithout = rows->AsInt64(u"n"_s);
        }
    }
    ASSERT_FALSE(withFiles.isEmpty());
    ASSERT_FALSE(withoutFiles.isEmpty());

    // Manual mode: nothing is downloaded unless forced, but every photo is listed.
    ASSERT_TRUE(WriteSetting(Setting::PhotoDownloadMode, u"1"_s));
    QStringList paths = FetchPhotos(session, withFiles, false, false);
    EXPECT_EQ(paths.size(), photosWith);
    for (const QString& path : paths)
        EXPECT_FALSE(QFile::exists(path));
    paths = FetchPhotos(session, withFiles, true, false);
    EXPECT_EQ(paths.size(), 1);

    // Forced: the files arrive where the client looks for them.
    paths = FetchPhotos(session, withFiles, false, true);
    ASSERT_EQ(paths.size(), photosWith);
    for (const QString& path : paths)
        EXPECT_TRUE(QFile::exists(path)) << path.toStdString();

    // The service has no files for these: nothing is written, the list is still complete.
    paths = FetchPhotos(session, withoutFiles + u","_s + withFiles, false, true);
    EXPECT_EQ(paths.size(), photosWith + photosWithout);
    int present = 0;
    for (const QString& path : paths)
        present += QFile::exists(path) ? 1 : 0;
    EXPECT_EQ(present, photosWith);
}
