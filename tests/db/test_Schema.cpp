#include "db/DBSchema.h"
#include "db/InstallContext.h"
#include "db/Settings.h"
#include "search/PropertyQuery.h"
#include "support/DemoFixture.h"

#include <QRegularExpression>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

using SchemaTest = DemoDatabaseTest;

TEST_F(SchemaTest, EverySettingTheProgramUsesIsAColumnOfTheSettingsRow)
{
    const QString names[] = {Setting::AgencyNumber,     Setting::InstallKey,           Setting::DataVersion,
                             Setting::LastSyncTime,     Setting::PhotoDownloadMode,    Setting::ConnectTimeout,
                             Setting::ReadTimeout,      Setting::AcceptedTermsVersion, Setting::TermsUserName,
                             Setting::TermsAcceptedAt,  Setting::MaintenanceInterval,  Setting::LastMaintenance,
                             Setting::ChangeLog,        Setting::ShowChangeLog,        Setting::ListExpanded,
                             Setting::DefaultOwnFilter, Setting::LabelTrimming,        Setting::UseHardwareRendering,
                             Setting::MarkVisitedProps, Setting::HelpVersion};
    for (const QString& name : names) {
        bool found = false;
        ASSERT_TRUE(DB()->ColumnExists(u"W_System"_s, name, found));
        EXPECT_TRUE(found) << name.toStdString();
    }
    EXPECT_EQ(Scalar(u"SELECT COUNT(*) FROM `W_System`;"_s), 1);
    EXPECT_EQ(ReadSetting(Setting::ShowChangeLog), u"False"_s);
    EXPECT_EQ(ReadSetting(Setting::AgencyNumber), u"7"_s);
}

TEST_F(SchemaTest, LocalCodesRiseThroughTheBandAndStopWhenItIsFull)
{
    int code = 0;
    ASSERT_TRUE(NextLocalCode(u"W_Clientes"_s, u"Cli_Codigo"_s, code));
    EXPECT_EQ(code, 2147473647);
    ASSERT_TRUE(DB()->ExecNoCount(u"INSERT INTO `W_Clientes` (`Cli_Codigo`) VALUES (%1);"_s.arg(code)));
    ASSERT_TRUE(NextLocalCode(u"W_Clientes"_s, u"Cli_Codigo"_s, code));
    EXPECT_EQ(code, 2147473648);

    ASSERT_TRUE(DB()->ExecNoCount(u"INSERT INTO `W_Clientes` (`Cli_Codigo`) VALUES (2147483647);"_s));
    EXPECT_FALSE(NextLocalCode(u"W_Clientes"_s, u"Cli_Codigo"_s, code));
    EXPECT_EQ(code, -1);
    EXPECT_TRUE(root.LogLines().last().contains(u"$3053: "_s));

    EXPECT_FALSE(NextLocalCode(u"W_NoTable"_s, u"x"_s, code));
    EXPECT_EQ(code, -1);
    EXPECT_TRUE(fatal.calls.empty());
}

TEST_F(SchemaTest, GenerationCodeHasItsFormAndFailsOnACollisionWithoutRetrying)
{
    SetCurrentAgencyCode(7);
    QString text;
    ASSERT_TRUE(NewGenerationCode(u"W_Clientes"_s, u"Cli_CodigoGeneracion"_s, text));
    EXPECT_EQ(text.size(), 24);
    EXPECT_TRUE(QRegularExpression(u"^0007\\d{20}$"_s).match(text).hasMatch()) << text.toStdString();

    const QDateTime when(QDate(2026, 3, 5), QTime(7, 8, 9, 12));
    ASSERT_TRUE(NewGenerationCodeFrom(u"W_Clientes"_s, u"Cli_CodigoGeneracion"_s, 12345, when, 42, text));
    EXPECT_EQ(text, u"12345260305070809012"_s + u"00042"_s);
    ASSERT_TRUE(DB()->ExecNoCount(
        u"INSERT INTO `W_Clientes` (`Cli_Codigo`, `Cli_CodigoGeneracion`) VALUES (2147473700, \"%1\");"_s.arg(text)));
    const qsizetype logged = root.LogLines().size();
    QString again = u"x"_s;
    EXPECT_FALSE(NewGenerationCodeFrom(u"W_Clientes"_s, u"Cli_CodigoGeneracion"_s, 12345, when, 42, again));
    EXPECT_TRUE(again.isEmpty());
    EXPECT_EQ(root.LogLines().size(), logged); // a collision is not an error worth logging

    EXPECT_FALSE(NewGenerationCodeFrom(u"W_NoTable"_s, u"x"_s, 7, when, 1, again));
    EXPECT_TRUE(root.LogLines().last().contains(u"$3054: "_s));
    ResetInstallContext();
}

TEST_F(SchemaTest, EnsureSchemaAddsTheMissingColumnOnce)
{
    ASSERT_TRUE(DB()->ExecNoCount(u"DROP TABLE `W_System`; CREATE TABLE `W_System` (`Inmo_Codigo` INTEGER);"
                                  u"INSERT INTO `W_System` VALUES (7);"_s));
    ASSERT_TRUE(EnsureSchema());
    bool found = false;
    ASSERT_TRUE(DB()->ColumnExists(u"W_System"_s, u"sys_markvisitedprops"_s, found));
    EXPECT_TRUE(found);
    EXPECT_EQ(ReadSetting(Setting::MarkVisitedProps), u"False"_s);

    std::unique_ptr<TResultSet> before;
    ASSERT_TRUE(DB()->QueryNoCount(u"SELECT sql FROM sqlite_master WHERE name='W_System';"_s, before));
    ASSERT_TRUE(EnsureSchema());
    std::unique_ptr<TResultSet> after;
    ASSERT_TRUE(DB()->QueryNoCount(u"SELECT sql FROM sqlite_master WHERE name='W_System';"_s, after));
    EXPECT_EQ(before->AsStringAt(0), after->AsStringAt(0));
}

// When the added column cannot be written the statement path ends in the fatal routine;
// the schema step then fails quietly instead of logging an empty error of its own.
TEST_F(SchemaTest, AFailedColumnAdditionEndsInTheFatalRoutineAlone)
{
    ASSERT_TRUE(DB()->ExecNoCount(u"DROP TABLE `W_System`; CREATE TABLE `W_System` (`Inmo_Codigo` INTEGER);"
                                  u"INSERT INTO `W_System` VALUES (7);"_s));
    ASSERT_EQ(sqlite3_exec(DB()->Handle(), "PRAGMA query_only = 1;", nullptr, nullptr, nullptr), SQLITE_OK);
    const qsizetype before = root.LogLines().size();
    EXPECT_FALSE(EnsureSchema());
    ASSERT_EQ(fatal.calls.size(), 1u);
    EXPECT_EQ(DB(), nullptr);
    const QStringList after = root.LogLines().mid(before);
    EXPECT_FALSE(after.filter(u"Global Exception Handler - Error"_s).isEmpty());
    EXPECT_TRUE(after.filter(u"$2097"_s).isEmpty()) << after.join(u'\n').toStdString();
}

TEST_F(SchemaTest, RepeatedMembersAndSharesAreSkippedSilently)
{
    const QString batch =
        u"INSERT OR IGNORE INTO `W_SeleccionesProps` (`Selec_Codigo`, `Prop_Codigo`) VALUES (5, 700001);"
        u"INSERT OR IGNORE INTO `W_SeleccionesCompartidas` (`Selec_Codigo`, `Usuario_Codigo`) VALUES (5, 2);"_s;
    int rows = 0;
    ASSERT_TRUE(DB()->Exec(batch, rows));
    EXPECT_EQ(rows, 2);
    ASSERT_TRUE(DB()->Exec(batch, rows));
    EXPECT_EQ(rows, 0);
    EXPECT_EQ(Scalar(u"SELECT COUNT(*) FROM `W_SeleccionesProps`;"_s), 1);
    EXPECT_EQ(Scalar(u"SELECT COUNT(*) FROM `W_SeleccionesCompartidas`;"_s), 1);
    EXPECT_TRUE(fatal.calls.empty());
}

TEST_F(SchemaTest, PropertyQueryResolvesEveryPropertyAndDropsOnlyBrokenReferences)
{
    const qint64 all = Scalar(u"SELECT COUNT(*) FROM `W_Propiedades`;"_s);
    ASSERT_GT(all, 0);
    std::unique_ptr<TResultSet> rows;
    int count = 0;
    ASSERT_TRUE(DB()->Query(PropertyQuerySql() + u"WHERE 1 ORDER BY `W_Propiedades`.`Prop_Codigo`"_s, rows, count));
    EXPECT_EQ(count, all);
    EXPECT_FALSE(rows->AsString(u"Edif_Nombre"_s).isEmpty());
    EXPECT_FALSE(rows->AsString(u"Loc_Nombre"_s).isEmpty());
    EXPECT_FALSE(rows->AsString(u"Inmo_Nombre"_s).isEmpty());

    // Both spellings reach one column.
    EXPECT_EQ(Scalar(u"SELECT COUNT(*) FROM `W_Propiedades` WHERE `StandBy_Codigo` = `Standby_Codigo`;"_s), all);

    // A current property whose withdrawal reason row is gone drops out of every list.
    const qint64 victim = Scalar(u"SELECT `Prop_Codigo` FROM `W_Propiedades` WHERE `Prop_Estado` = 2 LIMIT 1;"_s);
    ASSERT_TRUE(DB()->ExecNoCount(u"INSERT INTO `W_MotivosBaja` VALUES (99, \"Temporal\", \"TMP\");"
                                  u"UPDATE `W_Propiedades` SET `Baja_Codigo` = 99 WHERE `Prop_Codigo` = %1;"
                                  u"DELETE FROM `W_MotivosBaja` WHERE `Baja_Codigo` = 99;"_s.arg(victim)));
    ASSERT_TRUE(DB()->Query(PropertyQuerySql() + u"WHERE `W_Propiedades`.`Prop_Estado` = 2"_s, rows, count));
    EXPECT_EQ(count, Scalar(u"SELECT COUNT(*) FROM `W_Propiedades` WHERE `Prop_Estado` = 2;"_s) - 1);
    for (rows->First(); !rows->Eof(); rows->Next())
        ASSERT_NE(rows->AsInt64(u"Prop_Codigo"_s), victim);
}
