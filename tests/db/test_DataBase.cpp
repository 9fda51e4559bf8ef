#include "core/Config.h"
#include "core/ErrorReport.h"
#include "core/InstallState.h"
#include "core/MiscFunc.h"
#include "core/uTypes.h"
#include "db/uDB.h"
#include "support/TestRoot.h"

#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const QString kPassword = QStringLiteral("secreto-de-prueba");

class DataBaseTest : public ::testing::Test {
protected:
    QString NewFile(const QString& name, const QString& password = kPassword)
    {
        const QString path = root.Path() + name;
        EXPECT_TRUE(CreateDatabaseFile(path, password));
        return path;
    }
    void OpenFixture()
    {
        ASSERT_TRUE(OpenDatabase(NewFile(QStringLiteral("t.kdb")), kPassword, Config::DatabaseDriverId));
        ASSERT_TRUE(DB()->ExecNoCount(QStringLiteral(
            "CREATE TABLE `W_System` (`Sys_Flag` BOOLEAN DEFAULT 0, `Sys_Name` TEXT);"
            "INSERT INTO `W_System` VALUES (0, \"\");"
            "CREATE TABLE `Props` (`Prop_Codigo` INTEGER PRIMARY KEY, `Prop_Calle` TEXT, `Prop_Precio` REAL,"
            " `Prop_Fecha` DATETIME, `Prop_Apto` BOOLEAN);"
            "INSERT INTO `Props` VALUES (700123, \"Ñandú\", 1500.5, \"2024-03-05 07:08:09\", 1),"
            " (700124, \"\", NULL, \"2024-03-05\", 0), (700125, \"Calle \"\"3\"\"\", 99, NULL, 1);")));
    }
    QStringList LogSince(qsizetype from) const { return root.LogLines().mid(from); }

    TestRoot root;
    RecordingFatalHandler fatal;
};

} // namespace

TEST_F(DataBaseTest, EncryptedAndPlainFilesBothOpen)
{
    const QString encrypted = NewFile(QStringLiteral("enc.kdb"));
    const QString plain = NewFile(QStringLiteral("plain.kdb"), QString());

    QFile raw(encrypted);
    ASSERT_TRUE(raw.open(QIODevice::ReadOnly));
    EXPECT_NE(raw.read(16), QByteArray("SQLite format 3\0", 16));

    TDataBase enc(encrypted, Config::DatabaseDriverId, kPassword);
    EXPECT_TRUE(enc.IsEncrypted());
    EXPECT_TRUE(enc.Open());
    TDataBase pl(plain, Config::DatabaseDriverId, kPassword);
    EXPECT_FALSE(pl.IsEncrypted());
    EXPECT_TRUE(pl.Open()); // no key needed; the start-up refuses it later
    int rows = 0;
    std::unique_ptr<TResultSet> result;
    EXPECT_TRUE(pl.Query(QStringLiteral("SELECT 1 AS one;"), result, rows));
    EXPECT_EQ(rows, 1);
}

TEST_F(DataBaseTest, BadFilesFailToOpenWithTheErrorLogged)
{
    const QString good = NewFile(QStringLiteral("good.kdb"));
    {
        TDataBase db(good, Config::DatabaseDriverId, kPassword);
        ASSERT_TRUE(db.Open());
        ASSERT_TRUE(db.ExecNoCount(QStringLiteral("CREATE TABLE t(x); INSERT INTO t VALUES (zeroblob(20000));")));
    }
    QFile source(good);
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    const QByteArray bytes = source.readAll();

    struct Case {
        const char* name;
        QByteArray content;
        QString password;
    };
    const Case cases[] = {
        {"notsqlite.kdb", QByteArray(4096, 'z'), kPassword},
        {"wrongkey.kdb", bytes, QStringLiteral("otra-clave")},
        {"truncated.kdb", bytes.left(bytes.size() / 2 + 100), kPassword},
        {"truncatedpage.kdb", bytes.left(2048), kPassword},
        {"tiny.kdb", QByteArray("SQLite"), kPassword},
    };
    for (const Case& c : cases) {
        const QString path = root.Path() + QString::fromLatin1(c.name);
        ASSERT_TRUE(WriteBytesFile(path, c.content));
        const qsizetype logged = root.LogLines().size();
        TDataBase db(path, Config::DatabaseDriverId, c.password);
        EXPECT_FALSE(db.Open()) << c.name;
        EXPECT_FALSE(db.Connected()) << c.name;
        EXPECT_FALSE(db.LastError().isEmpty()) << c.name;
        const QStringList lines = LogSince(logged);
        ASSERT_FALSE(lines.isEmpty()) << c.name;
        EXPECT_TRUE(lines.last().contains(QStringLiteral("$1003: "))) << lines.last().toStdString();
    }

    // A missing file is not created.
    TDataBase missing(root.Path() + QStringLiteral("missing.kdb"), Config::DatabaseDriverId, kPassword);
    EXPECT_FALSE(missing.Open());
    EXPECT_FALSE(QFile::exists(root.Path() + QStringLiteral("missing.kdb")));
    EXPECT_TRUE(fatal.calls.empty());
}

TEST_F(DataBaseTest, ExecRunsBatchesInOneTransactionAndCountsRows)
{
    OpenFixture();
    int rows = 42;
    EXPECT_TRUE(DB()->Exec(QStringLiteral("   \r\n "), rows));
    EXPECT_EQ(rows, 42); // nothing ran, the count is untouched
    EXPECT_TRUE(root.LogLines().last().endsWith(QStringLiteral("$1011: Query is empty.")));

    EXPECT_TRUE(DB()->Exec(QStringLiteral("UPDATE `Props` SET `Prop_Precio`=1 WHERE `Prop_Apto`=1;"
                                          "DELETE FROM `Props` WHERE `Prop_Codigo`=700124;"),
                           rows));
    EXPECT_EQ(rows, 3);
    EXPECT_TRUE(DB()->Exec(QStringLiteral("SELECT 1;"), rows));
    EXPECT_EQ(rows, 0);
}

TEST_F(DataBaseTest, FailedChangeRollsBackLogsWritesDetailOnceAndEndsTheProgram)
{
    OpenFixture();
    const qsizetype logged = root.LogLines().size();
    const QString bad = QStringLiteral("DELETE FROM `Props`; UPDATE `Nowhere` SET x=1;");
    const QString path = DB()->Path();
    int rows = 7;
    EXPECT_FALSE(DB()->Exec(bad, rows));
    EXPECT_EQ(rows, -1);

    const QStringList lines = LogSince(logged);
    ASSERT_GE(lines.size(), 5);
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral("$1011: ROLLBACK SQL={") + bad + u'}'));
    EXPECT_TRUE(lines[1].contains(QStringLiteral("$1011: no such table: Nowhere") + Config::ErrStatementSuffix));
    EXPECT_TRUE(
        lines[2].endsWith(QStringLiteral("$1011: SQL={") + bad + QStringLiteral("}; Error={no such table: Nowhere}")));
    EXPECT_TRUE(lines[3].contains(QStringLiteral(" $1011 no such table: Nowhere\r\n\r\n") + bad));
    EXPECT_EQ(lines.filter(QStringLiteral("Global Exception Handler - Error: ")).size(), 1);
    ASSERT_EQ(fatal.calls.size(), 1u);
    EXPECT_EQ(fatal.terminations, 1);
    EXPECT_EQ(DB(), nullptr); // the fatal routine closed the connection

    QFile detail(Paths.DataFolder + Config::FailedChangeFileName);
    ASSERT_TRUE(detail.open(QIODevice::ReadOnly));
    const QByteArray first = detail.readAll();
    detail.close();
    EXPECT_EQ(Unscramble(QString::fromLatin1(first).trimmed()),
              QStringLiteral("$1011 no such table: Nowhere\r\n\r\n") + bad);

    // Rolled back: the DELETE before the failing statement left nothing behind.
    ASSERT_TRUE(OpenDatabase(path, kPassword, Config::DatabaseDriverId));
    std::unique_ptr<TResultSet> result;
    ASSERT_TRUE(DB()->QueryNoCount(QStringLiteral("SELECT count(*) AS n FROM `Props`;"), result));
    EXPECT_EQ(result->AsInteger(QStringLiteral("n")), 3);

    // A second failure keeps the first detail.
    EXPECT_FALSE(DB()->ExecNoCount(QStringLiteral("INSERT INTO `Props` VALUES (700123, 'dup', 1, NULL, 0);")));
    ASSERT_TRUE(detail.open(QIODevice::ReadOnly));
    EXPECT_EQ(detail.readAll(), first);
}

TEST_F(DataBaseTest, QueryHoldsAllRowsWithTypedReadsByName)
{
    OpenFixture();
    std::unique_ptr<TResultSet> r;
    int rows = -1;
    ASSERT_TRUE(DB()->Query(QStringLiteral("SELECT * FROM `Props` ORDER BY `Prop_Codigo`;"), r, rows));
    ASSERT_TRUE(r);
    EXPECT_EQ(rows, 3);
    EXPECT_EQ(r->RecordCount(), 3);
    EXPECT_EQ(r->Row(), 0);
    EXPECT_EQ(r->AsInt64(QStringLiteral("prop_codigo")), 700123); // names ignore case
    EXPECT_EQ(r->AsString(QStringLiteral("Prop_Calle")), (u"Ñandú"_s));
    EXPECT_DOUBLE_EQ(r->AsFloat(QStringLiteral("Prop_Precio")), 1500.5);
    EXPECT_EQ(r->AsString(QStringLiteral("Prop_Precio")), QStringLiteral("1500.5"));
    EXPECT_EQ(r->AsDateTime(QStringLiteral("Prop_Fecha")), QDateTime(QDate(2024, 3, 5), QTime(7, 8, 9)));
    EXPECT_EQ(r->AsString(QStringLiteral("Prop_Apto")), QStringLiteral("True"));
    EXPECT_TRUE(r->AsBoolean(QStringLiteral("Prop_Apto")));
    EXPECT_TRUE(r->IsNull(QStringLiteral("NoSuchColumn")));

    r->Next();
    EXPECT_TRUE(r->IsNull(QStringLiteral("Prop_Calle"))); // empty text reads as NULL
    EXPECT_TRUE(r->IsNull(QStringLiteral("Prop_Precio")));
    EXPECT_EQ(r->AsString(QStringLiteral("Prop_Apto")), QStringLiteral("False"));
    EXPECT_EQ(r->AsDateTime(QStringLiteral("Prop_Fecha")), QDateTime(QDate(2024, 3, 5), QTime(0, 0)));
    r->Next();
    EXPECT_EQ(r->AsString(QStringLiteral("Prop_Calle")), QStringLiteral("Calle \"3\""));
    EXPECT_FALSE(r->Eof());
    r->Next();
    EXPECT_TRUE(r->Eof());
    EXPECT_TRUE(r->Seek(1));
    EXPECT_EQ(r->AsInteger(QStringLiteral("Prop_Codigo")), 700124);
    EXPECT_FALSE(r->Seek(3));
    r->First();
    EXPECT_EQ(r->AsInteger(QStringLiteral("Prop_Codigo")), 700123);

    ASSERT_TRUE(DB()->Query(QStringLiteral("SELECT * FROM `Props` WHERE 0;"), r, rows));
    EXPECT_EQ(rows, 0);
    EXPECT_TRUE(r->Eof());
    EXPECT_TRUE(r->Bof());
}

TEST_F(DataBaseTest, FailedQueryGivesNoResultAndTheProgramGoesOn)
{
    OpenFixture();
    std::unique_ptr<TResultSet> r = std::make_unique<TResultSet>();
    int rows = 9;
    const qsizetype logged = root.LogLines().size();
    EXPECT_FALSE(DB()->Query(QStringLiteral("SELEC nonsense;"), r, rows));
    EXPECT_FALSE(r);
    EXPECT_EQ(rows, 0);
    const QStringList lines = LogSince(logged);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[1].contains(QStringLiteral("$1012: SQL={SELEC nonsense;}; Error={")));
    EXPECT_TRUE(lines[1].endsWith(Config::ErrStatementSuffix + u'}'));
    EXPECT_TRUE(fatal.calls.empty());
    ASSERT_NE(DB(), nullptr);
    EXPECT_TRUE(DB()->Connected());
}

TEST_F(DataBaseTest, RemoveAccentsFoldsTheFourteenLettersOnly)
{
    OpenFixture();
    std::unique_ptr<TResultSet> r;
    ASSERT_TRUE(DB()->QueryNoCount(
        u"SELECT REMOVE_ACCENTS('Ñandú Çedilla Ärger') AS a, REMOVE_ACCENTS('ÁÉÍÓÚÑÇáéíóúñç üÜàâ') AS b,"
        u" REMOVE_ACCENTS(12) AS c, REMOVE_ACCENTS(NULL) AS d;"_s,
        r));
    EXPECT_EQ(r->AsString(QStringLiteral("a")), (u"Nandu Cedilla Ärger"_s));
    EXPECT_EQ(r->AsString(QStringLiteral("b")), (u"AEIOUNCaeiounc üÜàâ"_s));
    EXPECT_EQ(r->AsString(QStringLiteral("c")), QStringLiteral("12"));
    EXPECT_TRUE(r->IsNull(QStringLiteral("d")));
    ASSERT_TRUE(DB()->QueryNoCount(
        (u"SELECT `Prop_Codigo` FROM `Props` WHERE REMOVE_ACCENTS(`Prop_Calle`) LIKE '%nandu%';"_s), r));
    EXPECT_EQ(r->RecordCount(), 1);
}

TEST_F(DataBaseTest, ColumnExistsIgnoresCaseAndQuotes)
{
    OpenFixture();
    ASSERT_TRUE(DB()->ExecNoCount(QStringLiteral("CREATE TABLE `Q` (`\"Sys_Quoted\"` INT, `Plain` INT);")));
    struct Case {
        const char* table;
        const char* column;
        bool found;
    };
    const Case cases[] = {
        {"W_System", "sys_flag", true}, {"W_System", "SYS_NAME", true}, {"W_System", "Sys_Other", false},
        {"Q", "sys_quoted", true},      {"Q", "plain", true},           {"Missing", "x", false}};
    for (const Case& c : cases) {
        bool found = !c.found;
        EXPECT_TRUE(DB()->ColumnExists(QString::fromLatin1(c.table), QString::fromLatin1(c.column), found));
        EXPECT_EQ(found, c.found) << c.table << "." << c.column;
    }
}

TEST_F(DataBaseTest, SettingsReadAndWriteByName)
{
    OpenFixture();
    int reloads = 0;
    SetInstallationReloadHook([&] { return ++reloads > 0; });
    EXPECT_EQ(ReadSetting(QStringLiteral("Sys_Flag")), QStringLiteral("False"));
    EXPECT_TRUE(WriteSetting(QStringLiteral("Sys_Flag"), QStringLiteral("1")));
    EXPECT_EQ(ReadSetting(QStringLiteral("Sys_Flag")), QStringLiteral("True"));
    EXPECT_TRUE(WriteSetting(QStringLiteral("Sys_Name"), QStringLiteral("Inmobiliaria \"La Casa\"")));
    EXPECT_EQ(ReadSetting(QStringLiteral("Sys_Name")), QStringLiteral("Inmobiliaria \"La Casa\""));
    EXPECT_EQ(reloads, 2);
    EXPECT_EQ(ReadValue(QStringLiteral("Props"), QStringLiteral("Prop_Calle"), QStringLiteral("Prop_Codigo"),
                        QStringLiteral("700123")),
              (u"Ñandú"_s));
    EXPECT_EQ(ReadValue(QStringLiteral("Props"), QStringLiteral("Prop_Calle"), QStringLiteral("Prop_Codigo"),
                        QStringLiteral("1")),
              QString());
    EXPECT_TRUE(root.LogLines().last().endsWith(QStringLiteral("$2011: ") + Config::ErrNoRecord));

    // Exactly one settings row, or the value counts as not set.
    ASSERT_TRUE(DB()->ExecNoCount(QStringLiteral("INSERT INTO `W_System` VALUES (1, \"x\");")));
    EXPECT_EQ(ReadSetting(QStringLiteral("Sys_Flag")), QString());
    EXPECT_TRUE(root.LogLines().last().endsWith(QStringLiteral("$3025: ") + Config::ErrNoRecord));
    SetInstallationReloadHook({});

    ASSERT_TRUE(CloseDatabase());
    EXPECT_EQ(ReadSetting(QStringLiteral("Sys_Flag")), QString());
    EXPECT_TRUE(root.LogLines().last().endsWith(Config::ErrDbNotOpen + QStringLiteral(" (Sys_Flag)")));
    EXPECT_FALSE(WriteSetting(QStringLiteral("Sys_Flag"), QStringLiteral("0")));
}

TEST_F(DataBaseTest, ReopenUsesTheInstallationFile)
{
    QFile::copy(NewFile(QStringLiteral("x.kdb"), Config::DatabasePassword), Paths.DatabaseFile);
    ASSERT_TRUE(OpenDatabase(Paths.DatabaseFile, Config::DatabasePassword, Config::DatabaseDriverId));
    ASSERT_TRUE(DB()->ExecNoCount(QStringLiteral("CREATE TABLE t (x);")));
    ASSERT_TRUE(ReopenDatabase());
    ASSERT_NE(DB(), nullptr);
    EXPECT_TRUE(DB()->Connected());
    bool found = false;
    EXPECT_TRUE(DB()->ColumnExists(QStringLiteral("t"), QStringLiteral("x"), found));
    EXPECT_TRUE(found);
}

TEST_F(DataBaseTest, ErrorReportQuotesTheOpenDatabase)
{
    // The report's lines about the installation's data, by key.
    const auto reportLines = [] {
        QStringList lines = ComposeErrorReport(u"boom"_s).split(u"\r\n"_s);
        return lines.filter(QRegularExpression(u"^(NombreInmobiliaria|VersionDatos|UltimaOptimizacion|"
                                               u"ClaveInstalacion)="_s));
    };
    const QStringList empty = {u"NombreInmobiliaria="_s, u"VersionDatos="_s, u"UltimaOptimizacion="_s,
                               u"ClaveInstalacion="_s};
    SetCurrentAgencyCode(7);
    EXPECT_EQ(reportLines(), empty) << "no database open yet";

    ASSERT_TRUE(OpenDatabase(NewFile(u"r.kdb"_s), kPassword, Config::DatabaseDriverId));
    ASSERT_TRUE(
        DB()->ExecNoCount(u"CREATE TABLE `W_System` (`Sys_DataVersion` INTEGER, `Sys_LastOptimization` DATETIME,"_s
                          u" `Sys_InstallKey` TEXT);"_s
                          u"INSERT INTO `W_System` VALUES (42, \"2025-06-30 18:45:00\", \"clave-1\");"_s
                          u"CREATE TABLE `W_Inmobiliarias` (`Inmo_Codigo` INTEGER PRIMARY KEY, `Inmo_Nombre` TEXT);"_s
                          u"INSERT INTO `W_Inmobiliarias` VALUES (7, \"Casa Propia\"), (8, \"Otra\");"_s));
    EXPECT_EQ(reportLines(), (QStringList{u"NombreInmobiliaria=Casa Propia"_s, u"VersionDatos=42"_s,
                                          u"UltimaOptimizacion=2025-06-30 18:45:00"_s, u"ClaveInstalacion=clave-1"_s}));

    // A fatal error closes the database before the bug window, and the report of the next
    // one has nothing to quote.
    FatalError(u"boom"_s);
    EXPECT_EQ(DB(), nullptr);
    EXPECT_EQ(reportLines(), empty);
    ResetInstallContext();
}
