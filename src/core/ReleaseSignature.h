#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Program updates are trusted only when a release key built into the client signed them.
// A signature (Ed25519, detached) covers the version the build claims to be and the exact
// bytes of the file, so neither a changed file nor an old build offered as a new version
// passes. What is signed:
//     "KORVEL-RELEASE-1" 0x00 <version as UTF-8> 0x00 <SHA-512 of the file, 64 bytes>
namespace ReleaseSignature {

constexpr int kPublicKeyBytes = 32;
constexpr int kSecretKeyBytes = 64;
constexpr int kSignatureBytes = 64;

// The bytes a release signature is made over.
QByteArray SignedMessage(const QString& version, const QByteArray& program);

// A new key pair; false when the cryptography library cannot start.
bool GenerateKeyPair(QByteArray& publicKey, QByteArray& secretKey);

// The detached signature of the release, or empty when the key is not a secret key.
QByteArray Sign(const QByteArray& secretKey, const QString& version, const QByteArray& program);

// Whether publicKey signed exactly this version and these bytes.
bool Verify(const QByteArray& publicKey, const QString& version, const QByteArray& program,
            const QByteArray& signature);

// The keys whose releases this client installs: the project's release key and, in a build
// configured with KORVEL_EXTRA_UPDATE_KEY, that one too. Nothing read at run time adds one.
QList<QByteArray> TrustedKeys();

// Whether one of the trusted keys signed this release.
bool VerifyTrusted(const QString& version, const QByteArray& program, const QByteArray& signature);

// Tests sign their offered builds with a key made for the run; this trusts it in this
// process only, for as long as the process lives.
void TrustKeyInThisProcess(const QByteArray& publicKey);

// Key files hold the key as hexadecimal text on one line.
QByteArray ReadKeyFile(const QString& path, int expectedBytes, QString* error);

} // namespace ReleaseSignature
