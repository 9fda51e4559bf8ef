#include "db/DBOptimize.h"

#include "core/Bugs.h"
#include "core/Config.h"
#include "core/FormatSettings.h"
#include "core/MiscFunc.h"
#include "core/uTypes.h"
#include "db/InstallContext.h"
#include "db/Settings.h"
#include "db/uDB.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

constexpr quint32 kBlack = 0xFF000000;
constexpr quint32 kRed = 0xFFEA1515;

} // namespace

TDBOptimizeThread::TDBOptimizeThread(bool interactive, TOptimizeScreen* screen, QObject* parent)
    : QThread(parent), m_interactive(interactive), m_screen(screen), m_relay(new QObject)
{}

TDBOptimizeThread::~TDBOptimizeThread()
{
    wait();
    delete m_relay;
}

void TDBOptimizeThread::OnScreen(const std::function<void()>& step)
{
    if (!m_interactive || !m_screen)
        return;
    QMetaObject::invokeMethod(m_relay, step, Qt::BlockingQueuedConnection);
}

void TDBOptimizeThread::run()
{
    int result = 1;
    OnScreen([this] {
        m_screen->ShowOptimizeStatus(u"Optimizando la base de datos, aguarde un momento..."_s, kBlack, true);
    });
    TDataBase* db = DB();
    const bool valid = db && db->Validate();
    if (valid) {
        OnScreen([this] {
            if (!m_screen->DefragmenterWanted())
                return;
            m_screen->ShowOptimizeStatus(u"Iniciando el desfragmentador del disco..."_s, kBlack, true);
            LaunchProgram(Paths.ToolsFolder + DefragmenterFileName(), QString());
        });
        OnScreen([this] {
            m_screen->ShowOptimizeStatus(u"La base de datos se optimizó correctamente."_s, kBlack, false);
            m_screen->DisableOptimizeButton();
            StoreMaintenanceDate();
        });
        result = 0;
    } else {
        OnScreen([this] { m_screen->ShowOptimizeStatus(u"No se pudo optimizar la base de datos."_s, kRed, false); });
        result = 1;
    }
    if (!ReopenDatabase()) {
        OnScreen([this] {
            m_screen->ShowOptimizeStatus(u"No se pudo volver a conectar con la base de datos."_s, kRed, false);
        });
        result = 2;
    }
    m_result = result;
    m_finished = true;
}

int MaintenanceInterval()
{
    bool ok = false;
    const int days = ReadSetting(Setting::MaintenanceInterval).trimmed().toInt(&ok);
    return ok && days >= 1 && days <= 7 ? days : 5;
}

QDate LastMaintenanceDate()
{
    const QDateTime last = DbTextToDateTime(ReadSetting(Setting::LastMaintenance));
    return last.isValid() && last >= NeverDate() ? last.date() : NeverDate().date();
}

bool MaintenanceDue(const QDate& today)
{
    try {
        if (!DB() || !DB()->Connected()) {
            WriteLog(u"$3043"_s, Config::ErrDbNotOpen);
            return false;
        }
        return today > LastMaintenanceDate().addDays(MaintenanceInterval());
    } catch (const std::exception& e) {
        WriteLog(u"$3043"_s, QString::fromUtf8(e.what()));
        return false;
    }
}

bool StoreMaintenanceDate(const QDate& today)
{
    return WriteSetting(Setting::LastMaintenance, DateTimeToDbText(today.startOfDay()));
}

int RunMaintenance(bool interactive, TOptimizeScreen* screen)
{
    TDBOptimizeThread thread(interactive, screen);
    // The user-interface thread sleeps in an event loop until the worker ends: windows keep
    // painting and the worker's screen steps arrive, but the thread spends no time of its
    // own. User input waits, so no click can reach the connection the worker is using.
    QEventLoop loop;
    QObject::connect(&thread, &QThread::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    thread.start();
    if (!thread.isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    thread.wait();
    const int result = thread.Result();
    if (!interactive && result == 0)
        StoreMaintenanceDate();
    return result;
}

QString LastMaintenanceText()
{
    const QString when = FormatDateTimeText(u"dddd d \"de\" mmmm \"de\" yyyy"_s, LastMaintenanceDate().startOfDay());
    bool ok = false;
    const qint64 version = ReadSetting(Setting::DataVersion).toLongLong(&ok);
    return u"La última optimización de la base de datos se\nrealizó el día "_s + when + u".\n\n"_s +
           u"Versión de la base de datos "_s + FormatThousands(ok ? double(version) : -1.0);
}

QString DefragmenterFileName()
{
    return u"korvel-defrag"_s;
}

bool DefragmenterPresent()
{
    return QFileInfo(Paths.ToolsFolder + DefragmenterFileName()).isFile();
}
