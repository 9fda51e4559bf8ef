#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <random>
#include <thread>

class TMasterStore;

// The rest of the network at work: other agencies list, change, suspend and withdraw
// properties, add and remove photos, and the service publishes messages. Each batch is one
// transaction recorded under one new data version, so that clients see it as a whole.
//
// The agency the demo is delivered to is left alone: its listings change only through its
// own uploads, which keeps what a test expects of it exact. A message may still reach it,
// as messages to all agencies do.
class TChurn {
public:
    TChurn(TMasterStore& store, quint32 seed, int sparedAgency);
    ~TChurn();
    TChurn(const TChurn&) = delete;
    TChurn& operator=(const TChurn&) = delete;

    // One batch now; returns the data version afterwards. Takes the store's mutex.
    qint64 RunBatch() { return Batch(false); }
    // A batch every so many seconds on a thread of its own, until Stop() or destruction.
    void Start(int seconds);
    void Stop();
    // A paused churn keeps its timer but skips the batches. Once this returns, no batch of
    // the timer runs or is still running.
    void SetPaused(bool paused);
    bool Paused() const { return m_paused; }
    int Batches() const { return m_batches; }

private:
    struct TBatch;
    qint64 Batch(bool fromTimer);

    TMasterStore& m_store;
    int m_spared;
    std::mt19937 m_random;
    std::mutex m_randomMutex; // batches from the timer and from an operator never interleave
    std::atomic<bool> m_paused{false};
    std::atomic<int> m_batches{0};
    QByteArray m_samplePhoto;
    bool m_lookedForPhoto = false;

    std::thread m_thread;
    std::mutex m_waitMutex;
    std::condition_variable m_wake;
    bool m_stop = false;
};
