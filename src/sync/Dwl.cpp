#include "sync/Dwl.h"

#include "core/Bugs.h"
#include "core/Config.h"
#include "core/MiscFunc.h"
#include "core/ProgramImage.h"
#include "core/ReleaseSignature.h"
#include "core/uTypes.h"
#include "sync/Sync.h"
#include "sync/WireProtocol.h"

#include <QFile>
#include <QFileInfo>

#include <stdexcept>

using namespace Qt::StringLiterals;

namespace DwlText {
const QString Close = u"Close"_s;
const QString Title = u"Actualización del programa"_s;
const QString VersionCheckFailed = u"No se pudo consultar la versión actual del programa en el servicio."_s;
const QString UpdateFailed = u"No se pudo descargar la nueva versión del programa."_s + u"\n\n"_s +
                             u"Verifique la conexión a Internet e intente nuevamente más tarde."_s;
const QString OldFileNotDeleted = u"No se pudo borrar el archivo de una actualización anterior. "
                                  u"Cierre otras copias del programa e intente nuevamente."_s;
const QString NotSaved = u"No se pudo guardar la nueva versión del programa. "
                         u"Verifique el espacio libre en el disco."_s;
const QString NotAProgram = u"El archivo recibido no es una versión válida del programa."_s;
const QString NotStarted = u"No se pudo iniciar la nueva versión del programa."_s;
const QString NoUpdateLogLine = u"El servicio indica que el programa ya está actualizado."_s;
const QString NotVerified = u"No se pudo verificar que la nueva versión del programa sea auténtica, por lo que "
                            u"se descartó la descarga. El sistema sigue funcionando con la versión actual."_s;
} // namespace DwlText

namespace {

TSyncRequestData RequestOf(TRequestKind kind, const TSessionValues& s)
{
    TSyncRequestData d;
    d.Kind = kind;
    d.AgencyCode = s.AgencyCode;
    d.UserName = s.UserName;
    d.Password = s.Password;
    d.InstallKey = s.InstallKey;
    return d;
}

// A program that is started must be readable and runnable by its owner; others may run it
// as they may run the installed one.
constexpr QFileDevice::Permissions kProgramPermissions =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadUser |
    QFileDevice::WriteUser | QFileDevice::ExeUser | QFileDevice::ReadGroup | QFileDevice::ExeGroup |
    QFileDevice::ReadOther | QFileDevice::ExeOther;

} // namespace

bool UpdateOffered(const QString& serviceVersion, const QString& ownVersion)
{
    return !serviceVersion.trimmed().isEmpty() && CompareVersions(serviceVersion, ownVersion) > 0;
}

QString UpdateFilePath()
{
    return Paths.ExeFolder + Config::UpdateExeFileName;
}

QString FetchVersionInfo(const TSessionValues& session, QString& currentVersion, QString& changeLog)
{
    const QString code = u"$3118"_s;
    QString error = DwlText::VersionCheckFailed;
    try {
        QByteArray answer;
        if (!SendRequest(RequestOf(TRequestKind::rkVersionInfo, session), answer)) {
            WriteLog(code, error);
            return error;
        }
        QString service;
        if (ExtractServiceError(answer, service)) {
            WriteLog(code, service);
            return service;
        }
        const TAnswerObject object(answer);
        currentVersion = object.Value(u"CurrentVersion"_s);
        changeLog = object.Value(u"ChangeLog"_s);
        error.clear();
    } catch (const std::exception& e) {
        WriteLog(code, QString::fromUtf8(e.what()));
    } catch (...) {
        WriteLog(code, u"Unknown exception"_s);
    }
    return error;
}

QString ReleaseRefusal(const QString& version, const QByteArray& program, const QByteArray& signature)
{
    if (signature.isEmpty())
        return u"unsigned"_s;
    if (signature.size() != ReleaseSignature::kSignatureBytes)
        return u"malformed signature"_s;
    // A genuine old build offered as the update would take the program back to a version
    // with faults already mended.
    if (!UpdateOffered(version, Config::AppVersion))
        return u"version %1 is not newer than %2"_s.arg(version, Config::AppVersion);
    if (!ReleaseSignature::VerifyTrusted(version, program, signature))
        return u"signature does not match a release key"_s;
    return {};
}

QString DownloadProgramUpdate(const TSessionValues& session)
{
    const QString code = u"$3117"_s;
    QString result = DwlText::UpdateFailed;
    try {
        QByteArray program;
        if (!SendRequest(RequestOf(TRequestKind::rkProgramDownload, session), program)) {
            WriteLog(code, u"No se pudo descargar la nueva versión."_s);
            return result;
        }
        QString service;
        if (ExtractServiceError(program, service)) {
            if (service == Wire::NoUpdateNeeded) {
                result.clear();
                WriteLog(code, DwlText::NoUpdateLogLine);
            } else {
                result = service;
                WriteLog(code, service);
            }
            return result;
        }

        // The bytes are checked before anything on disk changes: only a build that a release
        // key signed, under the version the service offers it as, is ever written or started.
        QByteArray offer;
        QString offerError;
        if (!SendRequest(RequestOf(TRequestKind::rkVersionInfo, session), offer) ||
            ExtractServiceError(offer, offerError)) {
            WriteLog(code, offerError.isEmpty() ? u"No se pudo consultar la firma de la nueva versión."_s : offerError);
            return result;
        }
        const TAnswerObject offered(offer);
        const QString version = offered.Value(u"CurrentVersion"_s).trimmed();
        const QByteArray signature = QByteArray::fromHex(offered.Value(u"Signature"_s).trimmed().toLatin1());
        const QString refusal = ReleaseRefusal(version, program, signature);
        if (!refusal.isEmpty()) {
            // Whatever an earlier attempt left as the update file goes too: nothing
            // unverified may be found there and started later.
            if (QFileInfo::exists(UpdateFilePath()))
                DeleteFileLogged(UpdateFilePath());
            result = DwlText::NotVerified;
            WriteLog(
                u"$3127"_s,
                u"Actualización rechazada (%1): versión %2, %3 bytes."_s.arg(refusal, version).arg(program.size()));
            return result;
        }

        const QString file = UpdateFilePath();
        if (!DeleteFileLogged(file) || QFileInfo::exists(file)) {
            result = DwlText::OldFileNotDeleted;
            WriteLog(code, result);
            return result;
        }
        // A half-written file, or one that is not this program, must never be started: the
        // hand-over would install it in place of the working program.
        if (!WriteBytesFile(file, program) || !QFile::setPermissions(file, kProgramPermissions)) {
            QFile::remove(file);
            result = DwlText::NotSaved;
            WriteLog(code, result);
            return result;
        }
        if (!IsProgramCopy(file)) {
            QFile::remove(file);
            result = DwlText::NotAProgram;
            WriteLog(code, result + u" Bytes="_s + QString::number(program.size()));
            return result;
        }
        if (LaunchProgram(file, Paths.ExePath)) {
            result = DwlText::Close;
        } else {
            result = DwlText::NotStarted;
            WriteLog(code, result);
        }
    } catch (const std::exception& e) {
        WriteLog(code, QString::fromUtf8(e.what()));
    } catch (...) {
        WriteLog(code, u"Unknown exception"_s);
    }
    return result;
}
