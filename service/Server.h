#pragma once

#include "service/Faults.h"
#include "service/Requests.h"

#include <QString>

#include <QHash>

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>

class TChurn;
class THeaderWatch;
class TMasterStore;

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

struct TServerOptions {
    QString bind = QStringLiteral("127.0.0.1");
    int port = 8470; // 0: any free port
    size_t maxBody = size_t(256) * 1024 * 1024;
    // The most a request envelope may inflate to: a real upload of many changes is a few
    // tens of MB, a hostile one a few hundred KB that claims gigabytes.
    qint64 maxInflated = qint64(96) * 1024 * 1024;
    // Connections served at once, each on its own worker; a caller that is slow to send
    // holds only its own worker, so the others are still answered.
    int maxConnections = 256;
    // Seconds a connection may stay silent while its request is read.
    int readTimeout = 10;
    // Seconds a caller has to send a request's whole header block, however it trickles in.
    int headerTimeout = 15;
    // Error reports: the largest one, how many one address may send per hour, and the most
    // the errors/ folder may hold.
    qint64 maxReportBytes = 256 * 1024;
    int reportsPerHour = 30;
    qint64 maxReportsTotal = qint64(64) * 1024 * 1024;
    TServiceOptions service;
    int churnSeconds = 0;         // other agencies change their data this often; 0: only when asked
    quint32 churnSeed = 20261209; // the same seed gives the same sequence of batches
    int churnSpared = 7;          // the agency whose own data the churn never touches
    // With both set, the service speaks only HTTPS, with this certificate chain and key (PEM).
    QString tlsCert;
    QString tlsKey;
};

// The HTTP face of the service: the sync endpoint, error reports, the public address,
// the report and listing pages, and the fault switch of the tests (loopback callers only).
class TServiceServer {
public:
    TServiceServer(TMasterStore& store, TServerOptions options);
    ~TServiceServer();

    // Binds the listening socket; the port is known afterwards.
    bool Bind(QString* error);
    int Port() const { return m_port; }
    QString Scheme() const { return m_options.tlsCert.isEmpty() ? QStringLiteral("http") : QStringLiteral("https"); }
    // Serves until Stop() is called (from any thread).
    bool Run();
    void Stop();

private:
    void Routes();
    void SyncRequest(const httplib::Request& req, httplib::Response& res);
    void ErrorReport(const httplib::Request& req, httplib::Response& res);
    void FaultRequest(const httplib::Request& req, httplib::Response& res);
    void ChurnRequest(const httplib::Request& req, httplib::Response& res);
    void TermsRequest(const httplib::Request& req, httplib::Response& res);
    QString BaseUrl(const httplib::Request& req) const;
    static qint64 ReportFieldBytes(const httplib::Request& req);

    TMasterStore& m_store;
    TServerOptions m_options;
    TRequestHandler m_handler;
    TFaults m_faults;
    std::unique_ptr<httplib::Server> m_server;
    std::unique_ptr<TChurn> m_churn;
    std::unique_ptr<THeaderWatch> m_headerWatch;
    int m_port = 0;
    std::atomic<int> m_reportCounter{0};
    // Error reports: when each address sent its recent ones, and what the folder holds.
    std::mutex m_reportMutex;
    QHash<QString, std::deque<qint64>> m_reportTimes;
    qint64 m_reportsTotal = -1; // -1: not yet counted
};

// One line on the console, with the time, flushed at once (tests read it).
void ServiceLog(const QString& line);
