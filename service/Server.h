#pragma once

#include "service/Faults.h"
#include "service/Requests.h"

#include <QString>

#include <atomic>
#include <memory>

class TChurn;
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
    TServiceOptions service;
    int churnSeconds = 0;         // other agencies change their data this often; 0: only when asked
    quint32 churnSeed = 20261209; // the same seed gives the same sequence of batches
    int churnSpared = 7;          // the agency whose own data the churn never touches
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
    static QString BaseUrl(const httplib::Request& req);

    TMasterStore& m_store;
    TServerOptions m_options;
    TRequestHandler m_handler;
    TFaults m_faults;
    std::unique_ptr<httplib::Server> m_server;
    std::unique_ptr<TChurn> m_churn;
    int m_port = 0;
    std::atomic<int> m_reportCounter{0};
};

// One line on the console, with the time, flushed at once (tests read it).
void ServiceLog(const QString& line);
