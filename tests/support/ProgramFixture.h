#pragma once

// The program for window tests, assembled exactly as the entry assembles it: the windows
// come from CreateProgramWindows (the main window exists before any data is open), the
// splash's timer runs the real start-up sequence, and the login dialog is answered by
// typing into whichever field has the focus. Whatever the main window shows afterwards it
// prepared itself; a test only clicks and types.
//
//     ProgramFixture program;
//     QVERIFY2(program.Install(), qPrintable(program.Error()));
//     TfrmMain* window = program.Start();
//     QVERIFY2(window, qPrintable(program.Error()));

#include "app/Startup.h"
#include "core/Bugs.h"
#include "core/uTypes.h"
#include "db/InstallContext.h"
#include "db/uDB.h"
#include "support/ClientSetup.h"
#include "support/DialogDriver.h"
#include "support/ServiceProcess.h"
#include "support/TestRoot.h"
#include "sync/Session.h"
#include "sync/Sync.h"
#include "sync/TfrmLogin.h"
#include "ui/Style.h"
#include "ui/TfrmMain.h"
#include "ui/TfrmSplash.h"

#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QTest>

#include <functional>
#include <memory>
#include <vector>

struct ProgramOptions {
    // The first synchronisation runs as after any start; without it the start is the one
    // a user gets by holding Ctrl, Alt and Shift on the splash.
    bool firstSync = false;
    QSize screen{1280, 800};
    QString user = QStringLiteral("admin");
    QString password = QStringLiteral("demo");
    // The size the main window is given once it shows (empty: the size it opens with).
    QSize windowSize;
    // Other dialogs of the start-up to answer (the first run, the terms).
    std::function<void(DialogDriver&)> dialogs;
};

class ProgramFixture {
public:
    using Options = ProgramOptions;

    explicit ProgramFixture(ServiceOptions serviceOptions = {})
        : m_root(std::make_unique<TestRoot>()), m_fatal(std::make_unique<RecordingFatalHandler>()),
          m_service(std::make_unique<ServiceProcess>(std::move(serviceOptions)))
    {
        ApplyAppStyle(*qApp);
        TfrmMain::CountDownStepMs = 20;
        if (!m_service->Start()) {
            m_error = m_service->LastError();
            return;
        }
        qputenv("KORVEL_SERVICE_URL", m_service->SyncUrl().toUtf8());
        // The internet probe asks the local service: this machine may have no way out.
        qputenv("KORVEL_REFERENCE_HOST", (QStringLiteral("127.0.0.1:") + QString::number(m_service->Port())).toUtf8());
        ResetConsecutiveFailures();
    }

    ~ProgramFixture()
    {
        Close();
        CloseDatabase();
        ClearSession();
        ResetInstallContext();
        SyncEnabled = false;
        SyncInProgress = false;
        CloseAfterSync = false;
        ForceClose = false;
        SkipAutoSync = false;
        StartupSyncPending = false;
        DropConnections();
        m_service.reset();
        qunsetenv("KORVEL_SERVICE_URL");
        qunsetenv("KORVEL_REFERENCE_HOST");
        SetScreenSizeOverride(QSize());
    }

    ProgramFixture(const ProgramFixture&) = delete;
    ProgramFixture& operator=(const ProgramFixture&) = delete;

    // The demo agency installed as a finished first run leaves it: database delivered,
    // filled and closed.
    bool Install()
    {
        if (!m_error.isEmpty())
            return false;
        const bool ok = InstallDemoAgency();
        CloseDatabase();
        if (!ok)
            m_error = QStringLiteral("the demo agency could not be installed");
        return ok;
    }

    // Creates the windows as the entry does and runs the start-up to the main window, logging
    // in with the keyboard. Null (with Error()) when the main window did not come up.
    TfrmMain* Start(const Options& options = {})
    {
        if (!m_error.isEmpty())
            return nullptr;
        SetScreenSizeOverride(options.screen);
        DialogDriver driver;
        driver.On("TfrmLogin", [this, options](QWidget* dialog) { TypeLogin(dialog, options); });
        if (options.dialogs)
            options.dialogs(driver);
        std::vector<std::unique_ptr<QWidget>> created = CreateProgramWindows();
        for (std::unique_ptr<QWidget>& window : created)
            m_windows.emplace_back(window.release());
        m_main = qobject_cast<TfrmMain*>(m_windows.size() > 1 ? m_windows[1].data() : nullptr);
        auto* splash = qobject_cast<TfrmSplash*>(m_windows.empty() ? nullptr : m_windows[0].data());
        if (!m_main || !splash) {
            m_error = QStringLiteral("the entry created no splash and main window");
            return nullptr;
        }
        if (!options.firstSync)
            QTest::keyClick(splash, Qt::Key_Shift, Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier);
        // The start-up, the login and (when it runs) the first synchronisation with its
        // count-down end on the messages section.
        const bool started =
            QTest::qWaitFor([this] { return m_main.isNull() || m_main->CurrentSection() == TfrmMain::SecNews; }, 90000);
        m_seen = driver.seen;
        if (!started || m_main.isNull()) {
            m_error = driver.seen.contains(QStringLiteral("TfrmLogin"))
                          ? QStringLiteral("the main window did not reach its first section")
                          : QStringLiteral("the start-up never asked for the login");
            return nullptr;
        }
        if (options.windowSize.isValid()) {
            m_main->resize(options.windowSize);
            QTest::qWait(50);
        }
        m_main->activateWindow();
        [[maybe_unused]] const bool active =
            QTest::qWaitFor([this] { return QApplication::activeWindow() == m_main.data(); }, 2000);
        return m_main;
    }

    // Closes the program as the system would: the main window closes and frees itself.
    void Close()
    {
        if (m_main) {
            ForceClose = true;
            m_main->close();
            [[maybe_unused]] const bool closed = QTest::qWaitFor([this] { return m_main.isNull(); }, 5000);
        }
        for (const QPointer<QWidget>& window : m_windows)
            delete window.data();
        m_windows.clear();
    }

    TfrmMain* Main() const { return m_main; }
    ServiceProcess& Service() { return *m_service; }
    TestRoot& Root() { return *m_root; }
    RecordingFatalHandler& Fatal() { return *m_fatal; }
    QString Error() const { return m_error; }
    // The dialogs the start-up showed, in order.
    QStringList DialogsSeen() const { return m_seen; }

    // Types into the widget that has the focus now, as a person at the keyboard does.
    static void Type(const QString& text)
    {
        if (QWidget* focus = QApplication::focusWidget())
            QTest::keyClicks(focus, text);
    }
    static void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        if (QWidget* focus = QApplication::focusWidget())
            QTest::keyClick(focus, key, modifiers);
    }

private:
    void TypeLogin(QWidget* dialog, const Options& options)
    {
        auto* login = qobject_cast<TfrmLogin*>(dialog);
        if (!login)
            return;
        login->activateWindow();
        [[maybe_unused]] const bool focused =
            QTest::qWaitFor([login] { return QApplication::focusWidget() == login->edtUsr; }, 2000);
        if (QApplication::focusWidget() != login->edtUsr) {
            m_error = QStringLiteral("the login dialog does not start in the user field");
            login->reject();
            return;
        }
        Type(options.user);
        Key(Qt::Key_Return);
        Type(options.password);
        Key(Qt::Key_Return);
    }

    std::unique_ptr<TestRoot> m_root;
    std::unique_ptr<RecordingFatalHandler> m_fatal;
    std::unique_ptr<ServiceProcess> m_service;
    std::vector<QPointer<QWidget>> m_windows;
    QPointer<TfrmMain> m_main;
    QString m_error;
    QStringList m_seen;
};
