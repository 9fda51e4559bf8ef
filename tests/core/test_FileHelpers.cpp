#include "core/Config.h"
#include "core/InstallState.h"
#include "core/MiscFunc.h"
#include "core/Platform.h"
#include "core/uTypes.h"
#include "support/TestRoot.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QUrl>

#include <gtest/gtest.h>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

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

#include "test_FileHelpers.moc"
