#pragma once

#include <QDate>
#include <QObject>
#include <QThread>

#include <atomic>
#include <functional>

// What the maintenance thread shows while it works. Every call arrives on the
// user-interface thread, and the thread waits for it.
class TOptimizeScreen {
public:
    virtual ~TOptimizeScreen() = default;
    virtual void ShowOptimizeStatus(const QString& text, quint32 argb, bool indicator) = 0;
    virtual bool DefragmenterWanted() = 0;
    virtual void DisableOptimizeButton() = 0;
};

// Checks, compacts and re-analyses the database off the user-interface thread, then
// reconnects. Results: -1 running, 0 done, 1 validation failed, 2 could not reconnect.
class TDBOptimizeThread : public QThread {
    Q_OBJECT
public:
    // The screen (not owned) is used only when interactive; it may be null.
    TDBOptimizeThread(bool interactive, TOptimizeScreen* screen, QObject* parent = nullptr);
    ~TDBOptimizeThread() override;

    bool Interactive() const { return m_interactive; }
    int Result() const { return m_result; }
    bool Finished() const { return m_finished; }

protected:
    void run() override;

private:
    void OnScreen(const std::function<void()>& step);

    bool m_interactive;
    TOptimizeScreen* m_screen;
    QObject* m_relay; // lives on the thread that created the worker
    std::atomic<int> m_result{-1};
    std::atomic<bool> m_finished{false};
};

// Days between maintenance runs (1 to 7; 5 when not set) and the last run's date.
int MaintenanceInterval();
QDate LastMaintenanceDate();
bool MaintenanceDue(const QDate& today = QDate::currentDate());
// Stores today's date as the date of the last successful run.
bool StoreMaintenanceDate(const QDate& today = QDate::currentDate());

// Runs the thread and keeps the window responsive until it has finished; returns its
// result. The start-up run stores the date itself on success.
int RunMaintenance(bool interactive, TOptimizeScreen* screen);

// The configuration section's text about the last run and the data version.
QString LastMaintenanceText();

// File name of the optional defragmenter program in the tools folder.
QString DefragmenterFileName();
bool DefragmenterPresent();
