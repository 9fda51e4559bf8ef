#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// A korvel-service of the build, started on a free loopback port with a data folder of its
// own, stopped when the object goes. For service tests and client end-to-end tests alike.
//
//     ServiceProcess service;                      // demo data of 300 properties
//     ASSERT_TRUE(service.Start()) << service.LastError().toStdString();
//     qputenv("KORVEL_SERVICE_URL", service.SyncUrl().toUtf8());
//     service.InjectFault("photos", "close", 0, 1);  // the next photo request is dropped
struct ServiceOptions {
    bool demo = true;      // seed the demo data (agency 7, user "admin", password "demo")
    int properties = 300;  // demo size; the default keeps start-up well under a second
    int photoFiles = 30;   // demo properties that get real picture files
    QString dataFolder;    // empty: a temporary folder, removed afterwards
    QStringList arguments; // further options, e.g. {"--admin-key", "K"} or {"--max-body", "4096"}
};

class ServiceProcess {
public:
    explicit ServiceProcess(ServiceOptions options = {});
    ~ServiceProcess();
    ServiceProcess(const ServiceProcess&) = delete;
    ServiceProcess& operator=(const ServiceProcess&) = delete;

    // Starts the service and waits (up to a minute) for its "listening on" line.
    bool Start();
    // Asks the service to stop (SIGTERM) and waits for it; kills it if it does not end.
    void Stop();
    bool IsRunning() const;
    QString LastError() const { return m_error; }

    int Port() const { return m_port; }
    QString BaseUrl() const;                // http://127.0.0.1:PORT (https with --tls-cert)
    QString Url(const QString& path) const; // BaseUrl() + path
    QString SyncUrl() const;                // the endpoint the client posts requests to
    QString DataFolder() const { return m_folder; }
    // Everything the service printed so far (one line per request).
    QString Output();

    // Fault injection. kind: an action text ("photos", "fulldata", ...) or "*" for every
    // request; mode: delay, close, http500, garbage, truncated, badmarker or badchecksum; ms: the delay;
    // count: how many requests it applies to (0: until cleared).
    bool InjectFault(const QString& kind, const QString& mode, int ms = 0, int count = 0);
    // The service answers its error object with this text instead (mode "refuse").
    bool InjectRefusal(const QString& kind, const QString& text, int count = 0);
    bool ClearFaults();
    // Publishes terms of service (a version already published is replaced).
    bool PublishTerms(double version, const QString& date, const QString& text);

    // A plain HTTP exchange with the service (status -1 when nothing came back).
    struct HttpReply {
        int status = -1;
        QByteArray body;
        QString contentType;
    };
    HttpReply Get(const QString& path) const;
    HttpReply Head(const QString& path) const;
    HttpReply PostForm(const QString& path, const QByteArray& fieldName, const QByteArray& content,
                       const QByteArray& contentType = "application/octet-stream") const;
    HttpReply Post(const QString& path, const QByteArray& body, const QByteArray& contentType) const;
    HttpReply Delete(const QString& path) const;

    // The built korvel-service binary, or the program named by KORVEL_SERVICE_PROGRAM.
    static QString Program();

private:
    ServiceOptions m_options;
    std::unique_ptr<QTemporaryDir> m_temporary; // console files, and the data unless given
    QString m_folder;
    QProcess m_process;
    int m_port = 0;
    QString m_scheme = QStringLiteral("http");
    QString m_error;
};
