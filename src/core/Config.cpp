#include "core/Config.h"

#include "core/Platform.h"
#include "core/uTypes.h"

#include <QDir>
#include <QFile>
#include <QSettings>

namespace Config {

using namespace Qt::StringLiterals;

const QString AppShortName = u"Korvel"_s;
const QString AppTitle = u"Korvel Interinmobiliario"_s;
const QString AppVersion = u"3.0.0"_s;
const QString AppInfoText = u"Vodadez Interinmobiliario Korvel"_s;
const QString ExeFileName = AppShortName + Platform::ExecutableSuffix();
const QString UpdateExeName = u"KorvelUpdate"_s;
const QString UpdateExeFileName = UpdateExeName + Platform::ExecutableSuffix();
const QString InstallFolderName = AppShortName;
const QString DatabaseFileName = AppShortName + u".kdb"_s;
const QString DatabasePassword = u"k0rV3l-Vdz#2026!pr0p"_s;
const QString DatabaseDriverId = u"KorvelSQLCipher"_s;
const QString ShortcutDescription = u"Korvel Interinmobiliario\r\nBúsqueda y gestión de propiedades"_s;
const QString SplashWaitText = u"Aguarde un momento por favor..."_s;
const QString MainCaption = u"Vodadez Interinmobiliario Korvel"_s;

const QString DataSubfolder = u"Datos"_s;
const QString PhotoSubfolder = u"Fotos"_s;
const QString ToolsSubfolder = u"Herramientas"_s;
const QString ReportSubfolder = u"Reportes"_s;

const QString LogFileName = u"Korvel.log"_s;
const QString FailedChangeFileName = u"Korvel.err"_s;
const QString OfflineMarkerFile = u"offline.flg"_s;
const QString DisplayMarkerFile = u"notrim.flg"_s;
const QString CredentialsFile = u"credenciales.txt"_s;

const QString EncryptedCheckValue = u"<encrypted>"_s;
const QString PlainCheckValue = u"<unencrypted>"_s;
const QString ErrDbNotOpen = u"La base de datos no está abierta."_s;
const QString ErrNoRecord = u"No se encontró el registro."_s;
const QString ErrQueryFailed = u"Falló la consulta a la base de datos."_s;
const QString ErrInvalidKey = u"Clave inválida."_s;
const QString ErrObjectsMissing = u"Faltan objetos de la conexión a la base de datos."_s;
const QString ErrNotConnected = u"No se pudo conectar con la base de datos."_s;
const QString ErrStatementSuffix = u" (sentencia)"_s;
const QString ErrConnectionSuffix = u" (conexión)"_s;
const QString FailedChangeMessage =
    u"No se pudo guardar un cambio en la base de datos local. El programa se cerrará."_s;
const QString SettingsQuery = u"SELECT `%1` FROM `W_System`;"_s;
const QString SettingsUpdate = u"UPDATE `W_System` SET `%1`=\"%2\";"_s;

const QString LaunchInitFailed1 = u"No se pudo preparar el entorno del programa."_s;
const QString LaunchInitFailed2 = u"Verifique los permisos de su usuario sobre la carpeta de instalación."_s;
const QString LaunchInitFailed3 = u"Si el problema persiste comuníquese con nuestro soporte técnico."_s;
const QString LaunchInstallFailed =
    u"No se pudo instalar el programa. Verifique los permisos de su usuario e intente nuevamente."_s;
const QString CloseButtonText = u"Cerrar"_s;

const QString LogWaitingForSync = u"Esperando que termine la sincronización."_s;
const QString LogClosingDatabase = u"Cerrando la base de datos."_s;
const QString LogProgramEnd = u"Fin del programa."_s;

QString ServiceUrl()
{
    const QByteArray env = qgetenv("KORVEL_SERVICE_URL");
    if (!env.isEmpty())
        return QString::fromUtf8(env);
    return u"http://127.0.0.1:8470/sync/R3/sync.php"_s;
}

QString ConfigFilePath()
{
    return Paths.InstallFolder + AppShortName + u".ini"_s;
}

QString ExtraCaFile()
{
    const QString path = ConfigFilePath();
    if (Paths.InstallFolder.isEmpty() || !QFile::exists(path))
        return {};
    const QSettings settings(path, QSettings::IniFormat);
    const QString file = settings.value(u"tls/ca_file"_s).toString().trimmed();
    if (file.isEmpty())
        return {};
    return QDir(Paths.InstallFolder).absoluteFilePath(file);
}

} // namespace Config
