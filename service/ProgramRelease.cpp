#include "service/ProgramRelease.h"

#include "core/ReleaseSignature.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

using namespace Qt::StringLiterals;

namespace {

bool Fail(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}

bool WriteWhole(const QString& path, const QByteArray& bytes, QString* error)
{
    // Requests may be served while an operator publishes: a reader sees the old file or
    // the new one, never half of it.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return Fail(error, u"cannot write %1: %2"_s.arg(path, file.errorString()));
    return true;
}

} // namespace

QString SignatureFilePath(const QString& dataFolder, const QString& platform)
{
    return dataFolder + u"/program/"_s + platform + u".sig"_s;
}

bool PublishProgram(const QString& dataFolder, const QString& platform, const QString& programFile,
                    const QString& version, const QString& changeLog, const QByteArray& secretKey, QString* error)
{
    static const QRegularExpression versionPattern(u"^[0-9]{1,9}(\\.[0-9]{1,9}){0,5}$"_s);
    static const QRegularExpression platformPattern(u"^[A-Za-z0-9]{1,32}$"_s);
    if (!versionPattern.match(version).hasMatch())
        return Fail(error, u"the program version must be numbers separated by \".\", such as 3.1.0"_s);
    if (!platformPattern.match(platform).hasMatch())
        return Fail(error, u"the platform name must be letters and digits"_s);
    QFile source(programFile);
    if (!QFileInfo(programFile).isFile() || !source.open(QIODevice::ReadOnly))
        return Fail(error, u"cannot read the program file %1"_s.arg(programFile));
    const QByteArray bytes = source.readAll();
    if (bytes.isEmpty())
        return Fail(error, u"the program file %1 is empty"_s.arg(programFile));

    QByteArray signature;
    if (!secretKey.isEmpty()) {
        signature = ReleaseSignature::Sign(secretKey, version, bytes);
        if (signature.isEmpty())
            return Fail(error, u"the release key cannot sign"_s);
    }

    const QString folder = dataFolder + u"/program/"_s + platform;
    if (!QDir().mkpath(folder))
        return Fail(error, u"cannot create %1"_s.arg(folder));
    // The service offers the first file of the folder, so the new build must be the only one.
    const QString name = QFileInfo(programFile).fileName();
    const QStringList others = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    for (const QString& other : others)
        if (other != name && !QFile::remove(folder + u'/' + other))
            return Fail(error, u"cannot remove the earlier build %1"_s.arg(other));
    // A signature of the build offered before must not stay beside the new one, nor the new
    // one be offered with none of its own while an old signature still lies there.
    const QString signatureFile = SignatureFilePath(dataFolder, platform);
    if (QFileInfo::exists(signatureFile) && !QFile::remove(signatureFile))
        return Fail(error, u"cannot remove the earlier signature %1"_s.arg(signatureFile));
    if (!WriteWhole(folder + u'/' + name, bytes, error))
        return false;
    if (!signature.isEmpty() && !WriteWhole(signatureFile, signature.toHex() + '\n', error))
        return false;

    QString log = changeLog.trimmed();
    log.replace(u"\r\n"_s, u"\n"_s);
    if (log.isEmpty())
        log = u"Versión %1."_s.arg(version);
    return WriteWhole(dataFolder + u"/program/version.txt"_s, (version + u'\n' + log + u'\n').toUtf8(), error);
}
