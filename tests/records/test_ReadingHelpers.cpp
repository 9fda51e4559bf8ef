#include "core/Config.h"
#include "core/MiscFunc.h"
#include "core/uTypes.h"
#include "db/InstallContext.h"
#include "db/Settings.h"
#include "db/uDB.h"
#include "records/PhotoFiles.h"
#include "records/PropertyTexts.h"
#include "support/TestRoot.h"

#include <gtest/gtest.h>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString kPassword = u"secreto-de-prueba"_s;

// The helpers that read the database or the installation's agency.
class ReadingHelpersTest : public ::testing::Test {
protected:
    void TearDown() override { ResetInstallContext(); }

    // A database holding only what the helpers read.
    void OpenFixture(const QString& extraSql = QString())
    {
        const QString path = root.Path() + u"t.kdb"_s;
        ASSERT_TRUE(CreateDatabaseFile(path, kPassword));
        ASSERT_TRUE(OpenDatabase(path, kPassword, Config::DatabaseDriverId));
        ASSERT_TRUE(
            DB()->ExecNoCount(u"CREATE TABLE `W_Monedas` (`Moneda_Codigo` INTEGER PRIMARY KEY, `Moneda_Nombre` TEXT,"_s
                              u" `Moneda_Cotizacion` REAL);"_s
                              u"INSERT INTO `W_Monedas` VALUES (1, \"Pesos\", 1), (2, \"D\u00F3lares\", 1000);"_s
                              u"CREATE TABLE `Textos` (`Texto_Codigo` INTEGER PRIMARY KEY, `Texto` TEXT);"_s +
                              extraSql));
    }

    TestRoot root;
    RecordingFatalHandler fatal;
};

} // namespace

TEST_F(ReadingHelpersTest, PhotoFilesBelongToTheirAgencyFolder)
{
    SetCurrentAgencyCode(7);
    const QString folder = Paths.PhotoFolder;
    EXPECT_EQ(PhotoFileName(1200345, 55), folder + u"0012/w_1200345_55.jpg"_s);
    EXPECT_EQ(PhotoFileName(1200345, 55, 3), folder + u"0003/w_1200345_55.jpg"_s);
    EXPECT_EQ(PhotoFileName(2147473650, 2147473700, 3), folder + u"0007/w_2147473650_2147473700.jpg"_s);
    EXPECT_EQ(PhotoFileName(123456789, 1), folder + u"1234/w_123456789_1.jpg"_s);

    const struct {
        QString file;
        int agency;
    } files[] = {{u"w_1200345_55.jpg"_s, 12},
                 {folder + u"0012/w_1200345_55_rot.jpg"_s, 12},
                 {u"/home/juan_perez/w_1200345_55.jpg"_s, 12},
                 {u"w_2147473650_9.jpg"_s, 7},
                 {u"w_1200345.jpg"_s, -1},
                 {u"w__55.jpg"_s, -1},
                 {u"w_12a_55.jpg"_s, -1},
                 {u"w_99999999999_1.jpg"_s, -1},
                 {QString(), -1}};
    for (const auto& f : files)
        EXPECT_EQ(AgencyOfPhotoFile(f.file), f.agency) << f.file.toStdString();
}

TEST_F(ReadingHelpersTest, PriceFloorsUseTheCurrencyRate)
{
    EXPECT_FALSE(IsPriceAbove(2, 1, 1e9)); // no database: no verdict
    OpenFixture();
    const struct {
        int situation;
        int currency;
        double price;
        bool above;
    } cases[] = {
        {2, 1, 400, true},   {2, 1, 399, false},  {16, 1, 399.5, true}, {1, 1, 10000, true},
        {1, 1, 9999, false}, {5, 1, 5000, false}, {1, 2, 10, true},     {1, 2, 9.999, false},
        {3, 2, 0.4, true},   {1, 99, 1e9, false}, // unknown currency
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsPriceAbove(c.situation, c.currency, c.price), c.above)
            << c.situation << " " << c.currency << " " << c.price;
}

TEST_F(ReadingHelpersTest, EscapedTextReachesSqlIntact)
{
    OpenFixture();
    // Stored through SqlValueText and EscapeSql, every text comes back as it was...
    const QStringList texts = {u"4\" B"_s, u"50%_\"x\""_s, u"C:\\dir\\"_s, u"a\"; DROP TABLE `Textos`; --"_s,
                               u"\u00D1and\u00FA"_s};
    for (int i = 0; i < texts.size(); ++i)
        ASSERT_TRUE(
            DB()->ExecNoCount(u"INSERT INTO `Textos` VALUES (%1, %2);"_s.arg(i + 1).arg(SqlValueText(texts[i]))));
    ASSERT_TRUE(
        DB()->ExecNoCount(u"INSERT INTO `Textos` VALUES (10, \"%1\"), (11, \"50 y algo\"), (12, \"C:x\");"_s.arg(
            EscapeSql(u"comillas \"dobles\""_s))));
    for (int i = 0; i < texts.size(); ++i)
        EXPECT_EQ(ReadValue(u"Textos"_s, u"Texto"_s, u"Texto_Codigo"_s, QString::number(i + 1)), texts[i]);
    EXPECT_EQ(ReadValue(u"Textos"_s, u"Texto"_s, u"Texto_Codigo"_s, u"10"_s), u"comillas \"dobles\""_s);

    // ...and a LIKE search for it finds exactly the rows holding it literally.
    const struct {
        QString search;
        QStringList codes;
    } searches[] = {{u"50%_"_s, {u"2"_s}},
                    {u"\"x"_s, {u"2"_s}},
                    {u"C:\\"_s, {u"3"_s}},
                    {u"dir\\"_s, {u"3"_s}},
                    {u"_"_s, {u"2"_s}},
                    {u"%"_s, {u"2"_s}},
                    {u"\""_s, {u"1"_s, u"2"_s, u"4"_s, u"10"_s}}};
    for (const auto& s : searches) {
        QStringList codes;
        ASSERT_TRUE(LoadCodeList(
            u"SELECT `Texto_Codigo` AS c FROM `Textos` WHERE `Texto` LIKE \"%%1%\" ESCAPE \"\\\" ORDER BY c;"_s.arg(
                EscapeSql(s.search, true)),
            codes));
        EXPECT_EQ(codes, s.codes) << s.search.toStdString();
    }
    QStringList codes{u"stale"_s};
    EXPECT_FALSE(LoadCodeList(u"SELECT nada FROM `NoExiste`;"_s, codes));
    EXPECT_TRUE(codes.isEmpty());
    ASSERT_TRUE(LoadCodeList(u"SELECT `Texto` AS x, `Texto_Codigo` AS c FROM `Textos` WHERE c > 10;"_s, codes));
    EXPECT_EQ(codes, (QStringList{u"11"_s, u"12"_s}));
    ASSERT_TRUE(LoadCodeList(u"SELECT `Moneda_Codigo` FROM `W_Monedas`;"_s, codes)); // no "c": the first column
    EXPECT_EQ(codes, (QStringList{u"1"_s, u"2"_s}));

    // The same folding on both sides of a comparison.
    const QString accented =
        u"\u00C1\u00C9\u00CD\u00D3\u00DA\u00D1\u00C7\u00E1\u00E9\u00ED\u00F3\u00FA\u00F1\u00E7\u00FC\u00C4"_s;
    std::unique_ptr<TResultSet> result;
    ASSERT_TRUE(DB()->QueryNoCount(u"SELECT REMOVE_ACCENTS(\"%1\") AS f;"_s.arg(accented), result));
    EXPECT_EQ(RemoveAccents(accented), result->AsString(u"f"_s));
    EXPECT_EQ(RemoveAccents(accented), u"AEIOUNCaeiounc\u00FC\u00C4"_s);
}

TEST_F(ReadingHelpersTest, InstallContextComesFromTheSettingsRow)
{
    EXPECT_EQ(CurrentAgencyCode(), 0);
    EXPECT_EQ(LastSyncTime(), QDateTime(QDate(1992, 8, 1), QTime(0, 0)));
    EXPECT_FALSE(LoadInstallContext()); // no database

    OpenFixture(u"CREATE TABLE `W_System` (`%1` INTEGER, `%2` TEXT); INSERT INTO `W_System` VALUES (12, NULL);"_s.arg(
        Setting::AgencyNumber, Setting::LastSyncTime));
    ASSERT_TRUE(LoadInstallContext());
    EXPECT_EQ(CurrentAgencyCode(), 12);
    EXPECT_EQ(LastSyncTime(), NeverDate());
    EXPECT_EQ(ParseCode(u"345"_s), 1200345);
    EXPECT_EQ(AgencyCodeFirst(), 1200001);
    EXPECT_FALSE(IsYear(u"2000"_s));

    ASSERT_TRUE(WriteSetting(Setting::LastSyncTime, u"2025-06-30 18:45:00"_s));
    ASSERT_TRUE(LoadInstallContext());
    EXPECT_EQ(LastSyncTime(), QDateTime(QDate(2025, 6, 30), QTime(18, 45)));
    EXPECT_TRUE(IsYear(u"2025"_s));
    EXPECT_FALSE(IsYear(u"2026"_s));

    ASSERT_TRUE(WriteSetting(Setting::LastSyncTime, u"garbage"_s));
    ASSERT_TRUE(LoadInstallContext());
    EXPECT_EQ(LastSyncTime(), NeverDate());

    ASSERT_TRUE(WriteSetting(Setting::AgencyNumber, QString()));
    SetCurrentAgencyCode(5);
    EXPECT_FALSE(LoadInstallContext()); // an installation without an agency is not loaded
    EXPECT_EQ(CurrentAgencyCode(), 5);
}
