#include "core/Config.h"
#include "core/InstallContext.h"
#include "core/MiscFunc.h"
#include "core/Platform.h"
#include "core/uTypes.h"
#include "db/Settings.h"
#include "db/uDB.h"
#include "support/TestRoot.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QUrl>

#include <gtest/gtest.h>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString kPassword = u"secreto-de-prueba"_s;

class FileHelpersTest : public ::testing::Test {
protected:
    void TearDown() override { ResetInstallContext(); }

    QString DataFile(const QString& name) const { return Paths.DataFolder + name; }
    static void Write(const QString& path, const QByteArray& bytes)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
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

// Records what would be handed to the desktop instead of opening it.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    UrlRecorder()
    {
        for (const QString& scheme : kSchemes)
            QDesktopServices::setUrlHandler(scheme, this, "Open");
    }
    ~UrlRecorder() override
    {
        for (const QString& scheme : kSchemes)
            QDesktopServices::unsetUrlHandler(scheme);
    }
    QList<QUrl> opened;
public Q_SLOTS:
    void Open(const QUrl& url) { opened << url; }

private:
    inline static const QStringList kSchemes = {u"file"_s, u"http"_s, u"https"_s, u"mailto"_s};
};

} // namespace

TEST_F(FileHelpersTest, DigestsAndBase64)
{
    EXPECT_EQ(Md5Hex(QString()), u"D41D8CD98F00B204E9800998ECF8427E"_s);
    EXPECT_EQ(Md5Hex(u"abc"_s), u"900150983CD24FB0D6963F7D28E17F72"_s);
    // Outside 7-bit ASCII every character, even one outside the BMP, counts as one "?".
    EXPECT_EQ(Md5Hex(u"\u00F1and\u00FA\U0001F3E0"_s), Md5Hex(u"?and??"_s));
    EXPECT_EQ(Md5Hex(QString(1 << 20, u'x')).size(), 32);

    const struct {
        QString plain;
        QString base64;
    } pairs[] = {{QString(), QString()},
                 {u"ABCD"_s, u"QUJDRA=="_s},
                 {u"\u00D1"_s, u"w5E="_s},
                 {u"Casa \"linda\" \U0001F3E0"_s, u"Q2FzYSAibGluZGEiIPCfj6A="_s}};
    for (const auto& p : pairs) {
        EXPECT_EQ(Base64Encode(p.plain), p.base64);
        EXPECT_EQ(Base64Decode(p.base64), p.plain);
    }
    const QString longText = QString(5000, u'a');
    EXPECT_FALSE(Base64Encode(longText).contains(u'\n'));
    QString wrapped = Base64Encode(longText);
    for (qsizetype at = 76; at < wrapped.size(); at += 78)
        wrapped.insert(at, u"\r\n"_s);
    EXPECT_EQ(Base64Decode(wrapped), longText);
    for (const QString& bad : {u"QUJ*RA=="_s, u"QU=JDRA"_s, u"\u00F1\u00F1\u00F1\u00F1"_s})
        EXPECT_EQ(Base64Decode(bad), QString()) << bad.toStdString();
    // The picture code digest the login keeps.
    EXPECT_EQ(Md5Hex(Base64Encode(u"ABCD"_s)), Md5Hex(u"QUJDRA=="_s));

    QString base64 = u"stale"_s;
    EXPECT_FALSE(FileToBase64(root.Path() + u"missing.bin"_s, base64));
    EXPECT_TRUE(base64.isEmpty());
    Write(root.Path() + u"empty.bin"_s, {});
    EXPECT_FALSE(FileToBase64(root.Path() + u"empty.bin"_s, base64));
    QByteArray bytes;
    for (int i = 0; i < 3000; ++i)
        bytes.append(static_cast<char>(i % 256));
    Write(root.Path() + u"photo.jpg"_s, bytes);
    ASSERT_TRUE(FileToBase64(root.Path() + u"photo.jpg"_s, base64));
    EXPECT_FALSE(base64.contains(u'\n') || base64.contains(u'\r'));
    EXPECT_EQ(QByteArray::fromBase64(base64.toLatin1()), bytes);
}

TEST_F(FileHelpersTest, RandomTexts)
{
    const struct {
        QString (*make)(int);
        int lowest;
        int highest;
    } kinds[] = {{RandomBytes, 1, 255}, {RandomPrintable, 32, 126}};
    for (const auto& kind : kinds) {
        const QString text = kind.make(5000);
        ASSERT_EQ(text.size(), 5000);
        int lowest = 0x10000, highest = -1;
        for (const QChar c : text) {
            lowest = std::min<int>(lowest, c.unicode());
            highest = std::max<int>(highest, c.unicode());
        }
        EXPECT_GE(lowest, kind.lowest);
        EXPECT_LE(highest, kind.highest);
        EXPECT_GT(highest - lowest, (kind.highest - kind.lowest) / 2); // spread, not a constant
        EXPECT_NE(kind.make(32), kind.make(32));
        EXPECT_EQ(kind.make(0), QString());
        EXPECT_EQ(kind.make(-3), QString());
    }
    const QString digest = Md5Hex(u"abc"_s);
    const QString mixed = RandomLetterCase(digest);
    EXPECT_EQ(mixed.toUpper(), digest);
    EXPECT_NE(RandomLetterCase(QString(64, u'a')), RandomLetterCase(QString(64, u'a')));
}

TEST_F(FileHelpersTest, DataListFiles)
{
    const struct {
        const char* name;
        QByteArray bytes;
        QStringList list;
    } files[] = {
        {"latin1.txt",
         "ana;\xF1"
         "and\xFA;;x\r\n",
         {u"ana"_s, u"\u00F1and\u00FA"_s, QString(), u"x"_s}},
        {"utf8.txt",
         "\xEF\xBB\xBF"
         "\xC3\xB1;b",
         {u"\u00F1"_s, u"b"_s}},
        {"utf16.txt",
         QByteArray("\xFF\xFE"
                    "a\0;\0\xF1\0",
                    8),
         {u"a"_s, u"\u00F1"_s}},
        {"empty.txt", "", {}},
    };
    for (const auto& f : files) {
        const QString name = QString::fromLatin1(f.name);
        Write(DataFile(name), f.bytes);
        QStringList list{u"stale"_s};
        EXPECT_TRUE(ReadDataListFile(name, list)) << f.name;
        EXPECT_EQ(list, f.list) << f.name;
    }
    QStringList list{u"stale"_s};
    EXPECT_FALSE(ReadDataListFile(u"missing.txt"_s, list));
    EXPECT_TRUE(list.isEmpty());
    EXPECT_TRUE(root.LogLines().last().contains(u"$3064.4: Filename="_s + DataFile(u"missing.txt"_s)));
}

TEST_F(FileHelpersTest, FileFailuresAreLoggedWithTheFileName)
{
    const QString folder = root.Path() + u"sub/inner/"_s;
    EXPECT_TRUE(EnsureFolder(folder));
    EXPECT_TRUE(EnsureFolder(folder));
    EXPECT_TRUE(WriteBytesFile(folder + u"a.bin"_s, "abc"));
    EXPECT_TRUE(WriteBytesFile(folder + u"a.bin"_s, "z")); // truncates
    QFile written(folder + u"a.bin"_s);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), "z");
    EXPECT_TRUE(DeleteFileLogged(folder + u"a.bin"_s));
    EXPECT_TRUE(DeleteFileLogged(folder + u"a.bin"_s)); // already gone is fine

    // A folder where the file should be makes both writing and deleting fail.
    const QString blocked = root.Path() + u"blocked"_s;
    QDir().mkpath(blocked + u"/x"_s);
    EXPECT_FALSE(WriteBytesFile(blocked, "abc"));
    EXPECT_TRUE(root.LogLines().last().contains(u"$3064.1: Filename="_s + blocked + u"; Exception="_s));
    EXPECT_FALSE(DeleteFileLogged(blocked));
    EXPECT_TRUE(root.LogLines().last().contains(u"$3064.5: Filename="_s + blocked + u"; Exception="_s));
    Write(root.Path() + u"plain"_s, "x");
    EXPECT_FALSE(EnsureFolder(root.Path() + u"plain/sub/"_s));
}

TEST_F(FileHelpersTest, PhotoFilesBelongToTheirAgencyFolder)
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

TEST_F(FileHelpersTest, DesktopOpensDocumentsAddressesAndMail)
{
    UrlRecorder desktop;
    const QString doc = root.Path() + u"Reporte de prueba.rtf"_s;
    Write(doc, "{\\rtf1}");
    EXPECT_TRUE(ShellOpen(u"  "_s + doc + u" "_s));
    EXPECT_TRUE(OpenUrl(u" www.inmo-sur.com.ar/ficha?id=1 "_s));
    EXPECT_TRUE(OpenUrl(u"https://example.com/a b"_s));
    EXPECT_TRUE(OpenMail(u" ana@inmo.com.ar "_s));
    ASSERT_EQ(desktop.opened.size(), 4);
    EXPECT_EQ(desktop.opened[0], QUrl::fromLocalFile(doc));
    EXPECT_EQ(desktop.opened[1].scheme(), u"http"_s);
    EXPECT_EQ(desktop.opened[1].host(), u"www.inmo-sur.com.ar"_s);
    EXPECT_EQ(desktop.opened[2].path(), u"/a b"_s);
    EXPECT_EQ(desktop.opened[3], QUrl(u"mailto:ana@inmo.com.ar"_s));

    for (const QString& empty : {QString(), u" \t "_s}) {
        EXPECT_FALSE(ShellOpen(empty));
        EXPECT_FALSE(OpenUrl(empty));
        EXPECT_FALSE(OpenMail(empty));
    }
    EXPECT_EQ(desktop.opened.size(), 4);

    QStringList started;
    Platform::SetStartDetachedHook([&](const QString& program, const QStringList& arguments, const QString& folder) {
        started << program << arguments.join(u'|') << folder;
        return true;
    });
    EXPECT_TRUE(LaunchProgram(u"/opt/k/Korvel"_s, u"  /tmp/a b/old copy "_s));
    EXPECT_TRUE(LaunchProgram(u"/opt/k/Korvel"_s, u"  "_s));
    Platform::SetStartDetachedHook({});
    EXPECT_EQ(started, (QStringList{u"/opt/k/Korvel"_s, u"/tmp/a b/old copy"_s, u"/opt/k"_s, u"/opt/k/Korvel"_s,
                                    QString(), u"/opt/k"_s}));

    EXPECT_GT(ScreenWidth(), 0);
    EXPECT_GT(ScreenHeight(), 0);
}

TEST_F(FileHelpersTest, PriceFloorsUseTheCurrencyRate)
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

TEST_F(FileHelpersTest, EscapedTextReachesSqlIntact)
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

TEST_F(FileHelpersTest, InstallContextComesFromTheSettingsRow)
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

#include "test_FileHelpers.moc"
