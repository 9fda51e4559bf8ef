// Publishing a signed program update: what the service offers and what it refuses to start with.
#include "ServiceClient.h"
#include "core/ReleaseSignature.h"
#include "support/ReleaseKeys.h"
#include "support/ServiceProcess.h"
#include "sync/WireProtocol.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using K = TRequestKind;

namespace {

bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

TEST(ServiceRelease, OffersTheBuildWithASignatureOfItsVersionAndBytes)
{
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const TestReleaseKey key = TestReleaseKey::Make(temp.filePath(u"release.key"_s));
    ASSERT_FALSE(key.secretFile.isEmpty());
    QByteArray program(50000, Qt::Uninitialized);
    for (qsizetype i = 0; i < program.size(); ++i)
        program[i] = char((i * 7919) % 251);
    const QString file = temp.filePath(u"Korvel"_s);
    ASSERT_TRUE(WriteFile(file, program));
    const QString data = temp.filePath(u"data"_s);

    ServiceOptions signedOptions{.properties = 20, .photoFiles = 0, .dataFolder = data};
    signedOptions.arguments = {u"--program"_s,     file,          u"--program-version"_s, u"3.1.0"_s,
                               u"--program-key"_s, key.secretFile};
    {
        ServiceProcess service(signedOptions);
        ASSERT_TRUE(service.Start()) << service.LastError().toStdString();
        EXPECT_TRUE(service.Output().contains(u"program version 3.1.0 offered (signed)"_s));
        const ServiceClient client(service);
        const Reply version = client.Call(K::rkVersionInfo);
        ASSERT_FALSE(version.IsError()) << version.ErrorText().toStdString();
        EXPECT_EQ(version.Text("CurrentVersion"), u"3.1.0"_s);
        const QByteArray signature = QByteArray::fromHex(version.Text("Signature").toLatin1());
        EXPECT_TRUE(ReleaseSignature::Verify(key.publicKey, u"3.1.0"_s, program, signature));
        Credentials older;
        older.appVersion = u"3.0.0"_s;
        const Reply download = client.Call(K::rkProgramDownload, {{Wire::MPlatform, u"Linux"_s}}, older);
        EXPECT_EQ(download.answer, program);
    }
    // The secret key signed the build and was not kept anywhere in the data folder.
    const QByteArray secretHex = key.secretKey.toHex();
    QDirIterator files(data, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        QFile stored(files.next());
        ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
        EXPECT_FALSE(stored.readAll().contains(secretHex)) << stored.fileName().toStdString();
    }

    // The same data folder with a build published unsigned: the earlier signature must not
    // be offered beside it.
    ServiceOptions unsignedOptions{.properties = 20, .photoFiles = 0, .dataFolder = data};
    unsignedOptions.arguments = {u"--program"_s, file, u"--program-version"_s, u"3.2.0"_s};
    ServiceProcess service(unsignedOptions);
    ASSERT_TRUE(service.Start()) << service.LastError().toStdString();
    EXPECT_TRUE(service.Output().contains(u"UNSIGNED"_s));
    const Reply version = ServiceClient(service).Call(K::rkVersionInfo);
    EXPECT_EQ(version.Text("CurrentVersion"), u"3.2.0"_s);
    EXPECT_EQ(version.Text("Signature"), QString());
}

TEST(ServiceRelease, RefusesToStartWithAKeyThatCannotSign)
{
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const TestReleaseKey key = TestReleaseKey::Make(temp.filePath(u"release.key"_s));
    ASSERT_FALSE(key.secretFile.isEmpty());
    const QString program = temp.filePath(u"Korvel"_s);
    ASSERT_TRUE(WriteFile(program, "a build"));
    const QString publicFile = temp.filePath(u"release.pub"_s);
    ASSERT_TRUE(WriteFile(publicFile, key.publicKey.toHex() + '\n'));
    const QString garbled = temp.filePath(u"garbled.key"_s);
    ASSERT_TRUE(WriteFile(garbled, "zz" + key.secretKey.toHex().mid(2) + '\n'));

    const struct {
        const char* name;
        QStringList arguments;
    } cases[] = {
        {"the public half",
         {u"--program"_s, program, u"--program-version"_s, u"3.1.0"_s, u"--program-key"_s, publicFile}},
        {"not hexadecimal", {u"--program"_s, program, u"--program-version"_s, u"3.1.0"_s, u"--program-key"_s, garbled}},
        {"no such file",
         {u"--program"_s, program, u"--program-version"_s, u"3.1.0"_s, u"--program-key"_s, temp.filePath(u"none"_s)}},
        {"a key without a build", {u"--program-key"_s, key.secretFile}},
    };
    for (const auto& c : cases) {
        ServiceProcess service(ServiceOptions{.properties = 20, .photoFiles = 0, .arguments = c.arguments});
        EXPECT_FALSE(service.Start()) << c.name;
        EXPECT_TRUE(service.LastError().contains(u"key"_s)) << c.name << ": " << service.LastError().toStdString();
    }
}
