// korvel-tool as support runs it.
#include "core/Config.h"
#include "core/MiscFunc.h"
#include "core/ReleaseSignature.h"
#include "core/uTypes.h"
#include "db/uDB.h"
#include "support/TestRoot.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

struct ToolRun {
    int code;
    QString out;
    QString err;
};

ToolRun Tool(const QStringList& arguments)
{
    QProcess tool;
    tool.start(QStringLiteral(KORVEL_TOOL_BIN), arguments);
    EXPECT_TRUE(tool.waitForFinished(20000));
    return {tool.exitCode(), QString::fromUtf8(tool.readAllStandardOutput()),
            QString::fromUtf8(tool.readAllStandardError())};
}

} // namespace

TEST(Tool, DbCheckReportsEncryptionIntegrityAndRowCounts)
{
    TestRoot root;
    const QString file = root.Path() + u"agencia.kdb"_s;
    ASSERT_TRUE(CreateDatabaseFile(file, Config::DatabasePassword));
    ASSERT_TRUE(OpenDatabase(file, Config::DatabasePassword, Config::DatabaseDriverId));
    ASSERT_TRUE(DB()->ExecNoCount(u"CREATE TABLE `W_System` (`Sys_X` INT); INSERT INTO `W_System` VALUES (1);"
                                  u"CREATE TABLE `Props` (`Prop_Codigo` INT);"
                                  u"INSERT INTO `Props` VALUES (1),(2),(3);"_s));
    CloseDatabase();

    const ToolRun run = Tool({u"db"_s, u"check"_s, file});
    EXPECT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, u"cifrada: si\nintegridad: ok\nProps\t3\nW_System\t1\n"_s);

    const QString plain = root.Path() + u"plana.kdb"_s;
    ASSERT_TRUE(CreateDatabaseFile(plain, QString()));
    EXPECT_TRUE(Tool({u"db"_s, u"check"_s, plain}).out.startsWith(u"cifrada: no\n"_s));

    ASSERT_TRUE(WriteBytesFile(root.Path() + u"basura.kdb"_s, QByteArray(5000, 'q')));
    const ToolRun garbage = Tool({u"db"_s, u"check"_s, root.Path() + u"basura.kdb"_s});
    EXPECT_EQ(garbage.code, 1);
    EXPECT_TRUE(garbage.err.contains(u"No se pudo abrir"_s));
}

TEST(Tool, LogPrintsPlainLinesAndFlagsDamagedOnes)
{
    TestRoot root;
    WriteLog(u"$2001"_s, u"línea con acentos"_s);
    QFile log(Paths.DataFolder + Config::LogFileName);
    ASSERT_TRUE(log.open(QIODevice::Append));
    log.write("not scrambled at all\r\n");
    log.close();

    const ToolRun run = Tool({u"log"_s, log.fileName()});
    EXPECT_EQ(run.code, 1);
    const QStringList lines = run.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].endsWith(u"Unknown $2001: línea con acentos"_s));
    EXPECT_EQ(lines[1], u"?? not scrambled at all"_s);
    EXPECT_EQ(Tool({u"log"_s, root.Path() + u"none.log"_s}).code, 1);
    EXPECT_EQ(Tool({}).code, 2);
}

TEST(Tool, EnvelopeEncodeAndDecodeThroughPipes)
{
    const QByteArray json = R"({"Msg":"hola \u00e1"})";
    QProcess encode;
    encode.start(QStringLiteral(KORVEL_TOOL_BIN), {u"envelope"_s, u"encode"_s, u"--preamble-len"_s, u"124"_s});
    encode.write(json);
    encode.closeWriteChannel();
    ASSERT_TRUE(encode.waitForFinished(10000));
    const QByteArray envelope = encode.readAllStandardOutput();
    EXPECT_EQ(envelope.mid(124, 4), QByteArray("KVZ1"));

    QProcess decode;
    decode.start(QStringLiteral(KORVEL_TOOL_BIN), {u"envelope"_s, u"decode"_s});
    decode.write(envelope);
    decode.closeWriteChannel();
    ASSERT_TRUE(decode.waitForFinished(10000));
    EXPECT_EQ(decode.exitCode(), 0);
    EXPECT_EQ(decode.readAllStandardOutput(), json);

    QProcess bad;
    bad.start(QStringLiteral(KORVEL_TOOL_BIN), {u"envelope"_s, u"decode"_s});
    bad.write(envelope.left(100));
    bad.closeWriteChannel();
    ASSERT_TRUE(bad.waitForFinished(10000));
    EXPECT_EQ(bad.exitCode(), 1);

    // The marker is there but the padding leaves nothing to inflate: refused, no crash.
    QProcess shortAnswer;
    shortAnswer.start(QStringLiteral(KORVEL_TOOL_BIN), {u"envelope"_s, u"decode"_s});
    shortAnswer.write(envelope.left(135));
    shortAnswer.closeWriteChannel();
    ASSERT_TRUE(shortAnswer.waitForFinished(10000));
    EXPECT_EQ(shortAnswer.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(shortAnswer.exitCode(), 1);
    EXPECT_TRUE(shortAnswer.readAllStandardError().contains("too short"));
}

TEST(Tool, FilterPrintsTheStatementAndWhatItFinds)
{
    TestRoot root;
    const QString file = root.Path() + u"demo.kdb"_s;
    const ToolRun demo = Tool({u"demo-db"_s, u"--out"_s, file, u"--properties"_s, u"300"_s});
    ASSERT_EQ(demo.code, 0) << demo.err.toStdString();

    const ToolRun all = Tool({u"filter"_s, file, QString()});
    EXPECT_EQ(all.code, 0) << all.err.toStdString();
    EXPECT_TRUE(all.out.startsWith(u"SELECT `W_Propiedades`.*"_s)) << all.out.left(80).toStdString();
    const QRegularExpression found(u"filas: (\\d+)\\n$"_s);
    const QRegularExpressionMatch everything = found.match(all.out);
    ASSERT_TRUE(everything.hasMatch()) << all.out.right(80).toStdString();
    EXPECT_GT(everything.captured(1).toInt(), 0);

    // Quotes and wildcards never break the statement.
    const ToolRun quoted = Tool({u"filter"_s, file, u"<Texto(casa \" ' %_)>"_s});
    EXPECT_EQ(quoted.code, 0) << quoted.err.toStdString();
    EXPECT_TRUE(found.match(quoted.out).hasMatch()) << quoted.out.right(80).toStdString();
    // A text the filter cannot search is refused with a word instead of finding every row.
    const QString tooLong = u"<Texto("_s + QString(100000, u'a') + u")>"_s;
    for (const QString& text : {u"<Texto(<b>)>"_s, u"<Texto(a`b)>"_s, u"<Texto(a\\\\b)>"_s, tooLong}) {
        const ToolRun run = Tool({u"filter"_s, file, text});
        EXPECT_EQ(run.code, 1) << text.left(40).toStdString();
        EXPECT_FALSE(found.match(run.out).hasMatch()) << run.out.right(80).toStdString();
        EXPECT_TRUE(run.err.contains(u"no se puede buscar"_s)) << run.err.toStdString();
    }
}

TEST(Tool, ReleaseKeyWritesAPairThatSignsAndNeverOverwrites)
{
    TestRoot root;
    const QString prefix = root.Path() + u"korvel-release"_s;
    const ToolRun run = Tool({u"release-key"_s, u"--out"_s, prefix});
    ASSERT_EQ(run.code, 0) << run.err.toStdString();
    QString error;
    const QByteArray secretKey =
        ReleaseSignature::ReadKeyFile(prefix + u".key"_s, ReleaseSignature::kSecretKeyBytes, &error);
    const QByteArray publicKey =
        ReleaseSignature::ReadKeyFile(prefix + u".pub"_s, ReleaseSignature::kPublicKeyBytes, &error);
    ASSERT_FALSE(secretKey.isEmpty()) << error.toStdString();
    ASSERT_FALSE(publicKey.isEmpty()) << error.toStdString();
    EXPECT_EQ(run.out.trimmed().toLatin1(), publicKey.toHex());
    EXPECT_EQ(QFile(prefix + u".key"_s).permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther),
              QFileDevice::Permissions());
    const QByteArray build("a build of the program");
    EXPECT_TRUE(
        ReleaseSignature::Verify(publicKey, u"3.1.0"_s, build, ReleaseSignature::Sign(secretKey, u"3.1.0"_s, build)));

    // A second run with the same prefix leaves the key that may already sign releases alone.
    const ToolRun again = Tool({u"release-key"_s, u"--out"_s, prefix});
    EXPECT_EQ(again.code, 1);
    EXPECT_TRUE(again.err.contains(u"ya existe"_s)) << again.err.toStdString();
    EXPECT_EQ(ReleaseSignature::ReadKeyFile(prefix + u".key"_s, ReleaseSignature::kSecretKeyBytes, &error), secretKey);
}
