// Release signatures: what they cover, and which keys the client trusts.
#include "core/ReleaseSignature.h"

#include <QCryptographicHash>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
namespace RS = ReleaseSignature;

namespace {

QByteArray Program()
{
    QByteArray bytes(100000, Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = char((i * 131) % 253);
    return bytes;
}

} // namespace

// Release tools outside this program sign the same bytes: domain text, version, digest.
TEST(ReleaseSignature, SignedMessageIsDomainVersionAndDigest)
{
    const QByteArray program = Program();
    const QByteArray expected = QByteArray("KORVEL-RELEASE-1") + '\0' + "3.1.0" + '\0' +
                                QCryptographicHash::hash(program, QCryptographicHash::Sha512);
    EXPECT_EQ(RS::SignedMessage(u"3.1.0"_s, program), expected);
}

TEST(ReleaseSignature, OnlyTheSignedVersionAndBytesUnderTheSigningKeyVerify)
{
    QByteArray publicKey, secretKey, otherPublic, otherSecret;
    ASSERT_TRUE(RS::GenerateKeyPair(publicKey, secretKey));
    ASSERT_TRUE(RS::GenerateKeyPair(otherPublic, otherSecret));
    const QByteArray program = Program();
    const QByteArray signature = RS::Sign(secretKey, u"3.1.0"_s, program);
    ASSERT_EQ(signature.size(), RS::kSignatureBytes);
    EXPECT_TRUE(RS::Verify(publicKey, u"3.1.0"_s, program, signature));

    QByteArray flipped = program;
    flipped[flipped.size() / 2] = char(flipped[flipped.size() / 2] ^ 0x01);
    QByteArray badSignature = signature;
    badSignature[0] = char(badSignature[0] ^ 0x80);
    struct Case {
        const char* name;
        QByteArray key;
        QString version;
        QByteArray bytes;
        QByteArray signature;
    };
    const Case cases[] = {
        {"one byte of the file flipped", publicKey, u"3.1.0"_s, flipped, signature},
        {"one byte more", publicKey, u"3.1.0"_s, program + '\0', signature},
        {"another version", publicKey, u"3.1.1"_s, program, signature},
        {"version and bytes shifted across the separator", publicKey, u"3.1.0\0"_s, program, signature},
        {"another key", otherPublic, u"3.1.0"_s, program, signature},
        {"signature altered", publicKey, u"3.1.0"_s, program, badSignature},
        {"signature cut short", publicKey, u"3.1.0"_s, program, signature.left(63)},
        {"no signature", publicKey, u"3.1.0"_s, program, QByteArray()},
        {"a secret key where the public one goes", secretKey, u"3.1.0"_s, program, signature},
    };
    for (const Case& c : cases)
        EXPECT_FALSE(RS::Verify(c.key, c.version, c.bytes, c.signature)) << c.name;
    EXPECT_TRUE(RS::Sign(publicKey, u"3.1.0"_s, program).isEmpty()) << "a public key cannot sign";
}

TEST(ReleaseSignature, TrustedKeysAreBuiltInOrAddedInProcess)
{
    const QList<QByteArray> builtIn = RS::TrustedKeys();
    ASSERT_FALSE(builtIn.isEmpty());
    for (const QByteArray& key : builtIn)
        EXPECT_EQ(key.size(), RS::kPublicKeyBytes);

    QByteArray publicKey, secretKey;
    ASSERT_TRUE(RS::GenerateKeyPair(publicKey, secretKey));
    const QByteArray program = Program();
    const QByteArray signature = RS::Sign(secretKey, u"9.0.0"_s, program);
    EXPECT_FALSE(RS::VerifyTrusted(u"9.0.0"_s, program, signature)) << "a key made elsewhere is not trusted";
    RS::TrustKeyInThisProcess(publicKey);
    EXPECT_TRUE(RS::VerifyTrusted(u"9.0.0"_s, program, signature));
    EXPECT_EQ(RS::TrustedKeys().size(), builtIn.size() + 1);
}
