#pragma once

#include <QHash>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <utility>

// New matches of the stored searches: after a synchronisation that brought property
// changes, every stored search of the agency (own and clients') runs against only the
// properties that arrived or changed, and what it finds is kept until the user has seen it.
// The matches live in a table of this installation alone, which no import can write.

// Records the codes of the properties an import writes, from construction until Stop(); the
// codes stay readable (as the temporary table `temp`.`K_Llegadas`) until destruction. Only
// the import's own writes land in it: it is stopped as soon as the import returns.
class TArrivalRecorder {
public:
    TArrivalRecorder();
    ~TArrivalRecorder();
    TArrivalRecorder(const TArrivalRecorder&) = delete;
    TArrivalRecorder& operator=(const TArrivalRecorder&) = delete;

    bool Active() const { return m_active; }
    void Stop();
    // How many properties arrived, and which.
    int Count() const;
    QList<qint64> Codes() const;
    // Takes the codes given instead of recording them (tests and the benchmark).
    bool Fill(const QList<qint64>& codes);

private:
    bool m_active = false;
    bool m_recording = false;
};

// One stored search as the alerts run it.
struct TWatchedSearch {
    int Kind = 1; // 1 own, 2 client (as TStoredSrchKind)
    int Code = 0;
    QString Key; // stable across uploads: the generation code, else "#" + code
    QString Parameters;
};
// Every search of the agency: all users' own searches and the clients' searches.
QList<TWatchedSearch> LoadWatchedSearches(int agency);

// Runs searches against the recorded arrivals and keeps what they find. Step() runs searches
// for about sliceMs and returns false once all have run, so the window's thread can do it
// between other work.
class TNewMatchRun {
public:
    TNewMatchRun(std::unique_ptr<TArrivalRecorder> arrivals, QList<TWatchedSearch> searches);
    ~TNewMatchRun();
    bool Step(int sliceMs = 15);
    void RunAll()
    {
        while (Step(1000)) {
        }
    }
    int Done() const { return m_next; }
    int Found() const { return m_found; }

private:
    // The list reopens the connection when it lets a result go, and a temporary table goes
    // with the old connection: each step puts the arrivals back when they are gone.
    bool EnsureArrivals();

    std::unique_ptr<TArrivalRecorder> m_arrivals;
    QList<qint64> m_codes;
    QList<TWatchedSearch> m_searches;
    int m_next = 0;
    int m_found = 0;
};

// Starts a run in short steps on the event loop (replacing one still going); done runs on
// the window's thread when it has finished. Nothing starts when nothing arrived.
void StartNewMatchRun(std::unique_ptr<TArrivalRecorder> arrivals, int agency, std::function<void()> done);
bool NewMatchRunActive();

// The unseen new matches per stored search of the list: (kind, code) -> count.
using TNewMatchCounts = QHash<std::pair<int, int>, int>;
TNewMatchCounts NewMatchCounts(int agency);
// The properties of one search's unseen matches, as a code list "1,2,3" (empty when none).
QString NewMatchCodes(int agency, int kind, int code);
// The user has seen them (or the search changed or went): they are no longer new.
bool ClearNewMatches(int agency, int kind, int code);
// Drops the matches of searches that are gone (deleted here or elsewhere, a client's search
// cleared), so that a search stored later under the same client does not inherit them.
bool PruneNewMatches();
