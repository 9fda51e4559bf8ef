#include "core/ReleaseSignature.h"

#include <QFile>
#include <QMutex>

#include <sodium.h>

using namespace Qt::StringLiterals;

namespace ReleaseSignature {

namespace {

// The project's release key (public half). Its secret half is kept by whoever builds
// releases, never in the repository.
constexpr char kReleaseKeyHex[] = "3d6bf553e9bb873d1acbec2266187f511b3f8cba8bc1b7a7abee55ac3acbd910";

#ifdef KORVEL_EXTRA_UPDATE_KEY
constexpr char kExtraKeyHex[] = KORVEL_EXTRA_UPDATE_KEY;
#else
constexpr char kExtraKeyHex[] = "";
#endif

constexpr char kDomain[] = "KORVEL-RELEASE-1";

bool Ready()
{
    static const bool ready = sodium_init() >= 0;
    return ready;
}

QMutex& ExtraMutex()
{
    static QMutex mutex;
    return mutex;
}

QList<QByteArray>& ProcessKeys()
{
    static QList<QByteArray> keys;
    return keys;
}

const unsigned char* Bytes(const QByteArray& b)
{
    return reinterpret_cast<const unsigned char*>(b.constData());
}

} // namespace

QByteArray SignedMessage(const QString& version, const QByteArray& program)
{
    QByteArray digest(crypto_hash_sha512_BYTES, '\0');
    crypto_hash_sha512(reinterpret_cast<unsigned char*>(digest.data()), Bytes(program),
                       static_cast<unsigned long long>(program.size()));
    QByteArray message(kDomain);
    message.append('\0');
    message.append(version.toUtf8());
    message.append('\0');
    message.append(digest);
    return message;
}

bool GenerateKeyPair(QByteArray& publicKey, QByteArray& secretKey)
{
    if (!Ready())
        return false;
    publicKey = QByteArray(kPublicKeyBytes, '\0');
    secretKey = QByteArray(kSecretKeyBytes, '\0');
    return crypto_sign_keypair(reinterpret_cast<unsigned char*>(publicKey.data()),
                               reinterpret_cast<unsigned char*>(secretKey.data())) == 0;
}

QByteArray Sign(const QByteArray& secretKey, const QString& version, const QByteArray& program)
{
    if (!Ready() || secretKey.size() != kSecretKeyBytes)
        return {};
    const QByteArray message = SignedMessage(version, program);
    QByteArray signature(kSignatureBytes, '\0');
    if (crypto_sign_detached(reinterpret_cast<unsigned char*>(signature.data()), nullptr, Bytes(message),
                             static_cast<unsigned long long>(message.size()), Bytes(secretKey)) != 0)
        return {};
    return signature;
}

bool Verify(const QByteArray& publicKey, const QString& version, const QByteArray& program, const QByteArray& signature)
{
    if (!Ready() || publicKey.size() != kPublicKeyBytes || signature.size() != kSignatureBytes)
        return false;
    const QByteArray message = SignedMessage(version, program);
    return crypto_sign_verify_detached(Bytes(signature), Bytes(message),
                                       static_cast<unsigned long long>(message.size()), Bytes(publicKey)) == 0;
}

QList<QByteArray> TrustedKeys()
{
    QList<QByteArray> keys{QByteArray::fromHex(kReleaseKeyHex)};
    const QByteArray extra = QByteArray::fromHex(kExtraKeyHex);
    if (extra.size() == kPublicKeyBytes)
        keys.append(extra);
    QMutexLocker lock(&ExtraMutex());
    keys.append(ProcessKeys());
    return keys;
}

bool VerifyTrusted(const QString& version, const QByteArray& program, const QByteArray& signature)
{
    const QList<QByteArray> keys = TrustedKeys();
    for (const QByteArray& key : keys)
        if (Verify(key, version, program, signature))
            return true;
    return false;
}

void TrustKeyInThisProcess(const QByteArray& publicKey)
{
    if (publicKey.size() != kPublicKeyBytes)
        return;
    QMutexLocker lock(&ExtraMutex());
    if (!ProcessKeys().contains(publicKey))
        ProcessKeys().append(publicKey);
}

QByteArray ReadKeyFile(const QString& path, int expectedBytes, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = u"cannot read the key file %1: %2"_s.arg(path, file.errorString());
        return {};
    }
    const QByteArray text = file.read(4096).trimmed();
    const QByteArray key = QByteArray::fromHex(text);
    if (key.size() != expectedBytes || key.toHex() != text.toLower()) {
        if (error)
            *error = u"%1 does not hold a key of %2 bytes in hexadecimal"_s.arg(path).arg(expectedBytes);
        return {};
    }
    return key;
}

} // namespace ReleaseSignature
