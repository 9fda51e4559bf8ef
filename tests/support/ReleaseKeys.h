#pragma once

#include "core/ReleaseSignature.h"

#include <QByteArray>
#include <QFile>
#include <QString>

// A release key pair made for one test, its secret half in a file for
// `korvel-service --program-key`. Trust() makes this process install what it signs, as a
// build configured with KORVEL_EXTRA_UPDATE_KEY installs what that key signs.
struct TestReleaseKey {
    QByteArray publicKey;
    QByteArray secretKey;
    QString secretFile;

    // Empty secretFile when the key could not be made or written.
    static TestReleaseKey Make(const QString& secretFilePath)
    {
        TestReleaseKey key;
        if (!ReleaseSignature::GenerateKeyPair(key.publicKey, key.secretKey))
            return key;
        QFile file(secretFilePath);
        if (file.open(QIODevice::WriteOnly) && file.write(key.secretKey.toHex() + '\n') > 0 && file.flush())
            key.secretFile = secretFilePath;
        return key;
    }

    void Trust() const { ReleaseSignature::TrustKeyInThisProcess(publicKey); }
};
