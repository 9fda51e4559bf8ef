#include "app/Startup.h"

#include "selections/SelectionDialogs.h"

#include "core/Bugs.h"
#include "core/Config.h"
#include "core/MiscFunc.h"
#include "core/UserMessages.h"
#include "core/uTypes.h"
#include "db/DBOptimize.h"
#include "db/DBSchema.h"
#include "db/InstallContext.h"
#include "db/Settings.h"
#include "db/uDB.h"
#include "records/BrokerData.h"
#include "records/PhotoFiles.h"
#include "sync/Dwl.h"
#include "sync/Requests.h"
#include "sync/Session.h"
#include "sync/Sync.h"
#include "sync/Terms.h"
#include "sync/TfrmDownload.h"
#include "sync/TfrmFirstRun.h"
#include "sync/TfrmLogin.h"
#include "sync/TfrmToS.h"
#include "ui/TfrmFilterSave.h"
#include "ui/TfrmMain.h"
#include "ui/TfrmSplash.h"

#include <QApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QPointer>

using namespace Qt::StringLiterals;

namespace StartupText {
const QString DataFolder = u"No se pudo crear la carpeta de datos del sistema."_s;
const QString PhotoFolder = u"No se pudo crear la carpeta de fotos del sistema."_s;
const QString ToolsFolder = u"No se pudo crear la carpeta de herramientas del sistema."_s;
const QString ReportFolder = u"No se pudo crear la carpeta de informes del sistema."_s;
const QString FailedChange = u"El sistema no puede iniciarse porque en una sesión anterior no se pudo guardar un "
                             u"cambio en la base de datos. Comuníquese con el soporte de Korvel."_s;
const QString ScreenTooSmall = u"La pantalla es demasiado pequeña para el sistema: se necesitan al menos "
                               u"1008 x 526 puntos."_s;
const QString DateFormat = u"La configuración regional del equipo no permite leer fechas con el formato "
                           u"dd/mm/aaaa."_s;
const QString SetupCancelled = u"No se completó la instalación del sistema."_s;
const QString NotEncrypted = u"La base de datos no es válida.\nInstale nuevamente el sistema."_s;
const QString CannotOpen = u"No se pudo abrir la base de datos.\nCierre otros programas e intente nuevamente."_s;
const QString Opening = u"Abriendo la base de datos..."_s;
const QString Maintenance = u"Optimizando la base de datos..."_s;
const QString MaintenanceFailed = u"La verificación de la base de datos encontró errores. "
                                  u"Comuníquese con el soporte de Korvel."_s;
const QString SchemaFailed = u"No se pudo actualizar la estructura de la base de datos. "
                             u"Comuníquese con el soporte de Korvel."_s;
const QString SettingsMissing = u"No se pudieron leer los datos de la instalación. "
                                u"Comuníquese con el soporte de Korvel."_s;
const QString AgencyMissing = u"No se encontraron los datos de su inmobiliaria. "
                              u"Comuníquese con el soporte de Korvel."_s;
const QString Terms = u"Verificando los términos y condiciones del servicio..."_s;
const QString Version = u"Verificando la versión del sistema..."_s;
const QString UpdateCancelled = u"Se canceló la actualización del sistema."_s;
const QString NewVersionLog = u"Nueva versión disponible:"_s;
} // namespace StartupText

namespace {

// A step runs while the sequence has not stopped and is not told to skip it.
struct TSequence {
    bool stopped = false;
    bool skipNext = false;
    QString message;

    bool Step()
    {
        // After a fatal error (a test's handler returns) the sequence has nothing left to do.
        if (FatalErrorRaised())
            stopped = true;
        if (stopped)
            return false;
        if (skipNext) {
            skipNext = false;
            return false;
        }
        return true;
    }
    void Fail(const QString& text)
    {
        message = text;
        stopped = true;
    }
};

void Status(const QString& text, bool pause)
{
    if (TfrmSplash* splash = Splash())
        splash->ShowSplashMessage(TfrmSplash::StatusGrey, text, pause, TfrmSplash::ModeStatus);
}

void Final(const QString& text)
{
    if (TfrmSplash* splash = Splash()) {
        splash->show();
        splash->ShowSplashMessage(TfrmSplash::ErrorRed, text, false, TfrmSplash::ModeFinal);
    }
}

void SetSplashVisible(bool visible)
{
    if (TfrmSplash* splash = Splash())
        splash->setVisible(visible);
}

bool Folders(TSequence& s)
{
    const std::pair<const QString*, const QString*> folders[] = {
        {&Paths.DataFolder, &StartupText::DataFolder},
        {&Paths.PhotoFolder, &StartupText::PhotoFolder},
        {&Paths.ToolsFolder, &StartupText::ToolsFolder},
        {&Paths.ReportFolder, &StartupText::ReportFolder},
    };
    for (const auto& [folder, message] : folders)
        if (folder->isEmpty() || !QDir().mkpath(*folder)) {
            s.Fail(*message);
            return false;
        }
    return true;
}

// The maintenance run as the start-up shows it: indicator and label beside it.
class TSplashOptimizeScreen : public TOptimizeScreen {
public:
    void ShowOptimizeStatus(const QString& text, quint32 argb, bool) override
    {
        if (TfrmSplash* splash = Splash())
            splash->ShowSplashMessage(argb, text, false, TfrmSplash::ModeStatus);
    }
    bool DefragmenterWanted() override { return false; }
    void DisableOptimizeButton() override {}
};

// Asks the service for the current version; a newer one is downloaded and started.
void CheckProgramVersion(TSequence& s)
{
    Status(StartupText::Version, false);
    QString version, changeLog;
    const QString error = FetchVersionInfo(CurrentSessionValues(), version, changeLog);
    if (!error.isEmpty()) {
        // The start-up goes on; the text is shown at the end.
        s.message = error;
        return;
    }
    WriteSetting(Setting::ChangeLog, changeLog);
    version = version.trimmed();
    if (!UpdateOffered(version, Config::AppVersion))
        return;
    WriteSetting(Setting::ShowChangeLog, u"1"_s);
    WriteLog(u"$0001"_s, StartupText::NewVersionLog + u' ' + version);
    SetSplashVisible(false);
    TfrmDownload update;
    update.SetMode(1);
    const bool cancelled = update.exec() != QDialog::Accepted;
    const QString outcome = update.ResultText();
    if (cancelled) {
        s.Fail(StartupText::UpdateCancelled);
        SetSplashVisible(true);
        return;
    }
    // A refused build changed nothing: the running version goes on starting, once the
    // person has read why it was not replaced (a final splash text would be gone as soon as
    // the main window opens). Its change log belongs to the refused build.
    if (outcome == DwlText::NotVerified) {
        WriteSetting(Setting::ShowChangeLog, u"0"_s);
        ShowError(outcome);
        SetSplashVisible(true);
        return;
    }
    s.message = outcome;
    if (!outcome.isEmpty() && outcome != DwlText::Close)
        SetSplashVisible(true);
    if (!outcome.isEmpty())
        s.stopped = true;
}

} // namespace

std::vector<std::unique_ptr<QWidget>> CreateProgramWindows()
{
    std::vector<std::unique_ptr<QWidget>> windows;
    auto splash = std::make_unique<TfrmSplash>();
    auto main = std::make_unique<TfrmMain>();
    QPointer<TfrmMain> mainWindow = main.get();
    splash->SetStartup(RunStartupSequence, [mainWindow] {
        if (mainWindow)
            mainWindow->show();
    });
    splash->show();
    windows.push_back(std::move(splash));
    windows.push_back(std::move(main));
    windows.push_back(std::make_unique<TfrmFilterSave>());
    // The two selection dialogs live as long as the program and are shown again for each use.
    windows.push_back(std::make_unique<TfrmSelectShare>());
    windows.push_back(std::make_unique<TfrmSelectOthers>());
    return windows;
}

bool DateFormatUsable(const TFormatSettings& settings)
{
    // The program's short date pattern in Qt's notation, with the settings' separator.
    QString pattern = settings.ShortDateFormat;
    pattern.replace(u'm', u'M');
    if (!settings.DateSeparator.isNull())
        pattern.replace(u'/', settings.DateSeparator);
    QString text = u"01/08/1992"_s;
    if (!settings.DateSeparator.isNull())
        text.replace(u'/', settings.DateSeparator);
    const QDate date = QDate::fromString(text, pattern);
    return !pattern.isEmpty() && date == QDate(1992, 8, 1);
}

bool RunStartupSequence()
{
    const QString code = u"$0001"_s;
    bool result = false;
    TSequence s;
    try {
        ForceClose = false;
        SkipAutoSync = false;
        CloseAfterSync = false;
        StartupSyncPending = true;
        SyncEnabled = !QFile::exists(Paths.DataFolder + Config::OfflineMarkerFile);
        ResetConsecutiveFailures();

        if (s.Step())
            Folders(s);
        if (s.Step() && QFile::exists(Paths.DataFolder + Config::FailedChangeFileName))
            s.Fail(StartupText::FailedChange);
        if (s.Step()) {
            const QSize screen = ScreenSize();
            if (screen.width() < kMinScreenWidth || screen.height() < kMinScreenHeight)
                s.Fail(StartupText::ScreenTooSmall);
        }
        if (s.Step() && !DateFormatUsable(AppFormatSettings))
            s.Fail(StartupText::DateFormat);
        if (!s.stopped && QFile::exists(Paths.DatabaseFile))
            s.skipNext = true;
        if (s.Step()) {
            SetSplashVisible(false);
            TfrmFirstRun setup;
            if (setup.exec() == QDialog::Accepted) {
                SetSplashVisible(true);
            } else {
                if (DB())
                    CloseDatabase();
                QFile::remove(Paths.DatabaseFile);
                s.Fail(StartupText::SetupCancelled);
            }
        }
        if (s.Step()) {
            Status(StartupText::Opening, true);
            if (!OpenDatabase(Paths.DatabaseFile, Config::DatabasePassword, Config::DatabaseDriverId)) {
                // These two are shown without a log line: the database layer logged why.
                Final(StartupText::CannotOpen);
                s.stopped = true;
            } else if (!DB()->IsEncrypted()) {
                CloseDatabase();
                Final(StartupText::NotEncrypted);
                s.stopped = true;
            }
        }
        if (s.Step() && MaintenanceDue()) {
            if (TfrmSplash* splash = Splash())
                splash->ShowIndicator(true);
            Status(StartupText::Maintenance, false);
            TSplashOptimizeScreen screen;
            const int outcome = RunMaintenance(false, &screen);
            if (outcome != 0)
                s.Fail(StartupText::MaintenanceFailed);
            else
                StoreMaintenanceDate();
            if (TfrmSplash* splash = Splash())
                splash->ShowIndicator(false);
        }
        if (s.Step()) {
            Status(Config::SplashWaitText, false);
            if (!EnsureSchema())
                s.Fail(StartupText::SchemaFailed);
        }
        if (s.Step()) {
            Status(Config::SplashWaitText, false);
            if (!LoadInstallContext())
                s.Fail(StartupText::SettingsMissing);
            else if (!LoadBroker(CurrentAgencyCode(), CurrentBroker))
                s.Fail(StartupText::AgencyMissing);
        }
        if (s.Step()) {
            SetSplashVisible(false);
            TfrmLogin login;
            if (login.exec() == QDialog::Accepted)
                SetSplashVisible(true);
            else
                s.stopped = true;
        }
        if (s.Step()) {
            int unlinked = 0;
            if (!UnlinkSentLocalPhotos(CurrentAgencyCode(), unlinked))
                WriteLog(code, u"JPG file unlink failed."_s);
            else if (unlinked > 0)
                WriteLog(code, QString::number(unlinked) + u" JPG files unlinked."_s);
            DeleteRotationFiles(CurrentAgencyCode());
        }
        if (s.Step()) {
            Status(StartupText::Terms, false);
            const QString error = TermsCheck(Splash());
            if (!error.isEmpty())
                s.Fail(error);
        }
        if (s.Step())
            CheckProgramVersion(s);
        if (s.Step() && ReadSetting(Setting::ShowChangeLog) == u"True"_s) {
            TfrmToS changes;
            changes.SetMode(TfrmToS::ModeChangeLog);
            changes.Fill(ReadSetting(Setting::ChangeLog), QDate::currentDate(), ParseDotFloat(Config::AppVersion));
            changes.exec();
            WriteSetting(Setting::ShowChangeLog, u"0"_s);
        }
        if (s.Step()) {
            result = true;
            s.stopped = true;
        }
    } catch (const std::exception& e) {
        s.message = QString::fromUtf8(e.what());
        result = false;
    }
    // A fatal error has said all there is: a start-up message after it would only mislead.
    if (FatalErrorRaised())
        return false;
    if (!s.message.isEmpty() && s.message != u"Close"_s) {
        Final(s.message);
        WriteLog(code, s.message);
    }
    return result;
}
