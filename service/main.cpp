// korvel-service: the stand-in for the central listing service.

#include "core/Config.h"
#include "core/ReleaseSignature.h"
#include "core/SystemInfo.h"
#include "service/MasterStore.h"
#include "service/ProgramRelease.h"
#include "service/Seed.h"
#include "service/Server.h"

#include <QCommandLineParser>
#include <QDir>
#include <QGuiApplication>

#include <csignal>
#include <cstdio>
#include <limits>
#include <pthread.h>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

int Fail(const QString& text, int code = 1)
{
    std::fprintf(stderr, "korvel-service: %s\n", text.toLocal8Bit().constData());
    return code;
}

} // namespace

int main(int argc, char** argv)
{
    // Logos and the help document are drawn with fonts; no display is needed for that.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Every thread started from here on inherits the blocked signals; one thread waits for
    // them and stops the server, so a stop never interrupts a request half way.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"korvel-service"_s);
    QCommandLineParser parser;
    parser.setApplicationDescription(u"Stand-in for the Korvel listing service."_s);
    parser.addHelpOption();
    const QCommandLineOption bind(u"bind"_s, u"Address to listen on (default 127.0.0.1)."_s, u"ADDR"_s, u"127.0.0.1"_s);
    const QCommandLineOption port(u"port"_s, u"Port (default 8470; 0 picks a free one)."_s, u"N"_s, u"8470"_s);
    const QCommandLineOption data(u"data"_s, u"Data folder (default ./korvel-service-data)."_s, u"DIR"_s,
                                  u"korvel-service-data"_s);
    const QCommandLineOption demo(u"demo"_s, u"Seed the demo data when the data folder is empty."_s);
    const QCommandLineOption properties(u"properties"_s, u"Properties of the demo (default 2000)."_s, u"N"_s,
                                        u"2000"_s);
    const QCommandLineOption photos(u"photos"_s, u"Demo properties with photo files (default 400)."_s, u"N"_s,
                                    u"400"_s);
    const QCommandLineOption publicUrl(u"public-url"_s, u"Base of the links handed out (default: as reached)."_s,
                                       u"URL"_s);
    const QCommandLineOption adminKey(u"admin-key"_s, u"Operators' key, accepted as any validation key."_s, u"KEY"_s);
    const QCommandLineOption maxBody(u"max-body"_s, u"Largest request body in bytes (default 256 MB)."_s, u"BYTES"_s,
                                     QString::number(256 * 1024 * 1024));
    const QCommandLineOption maxInflated(u"max-inflated"_s,
                                         u"Largest request once unpacked, in bytes (default 96 MB)."_s, u"BYTES"_s,
                                         QString::number(96 * 1024 * 1024));
    const QCommandLineOption maxConnections(u"max-connections"_s, u"Connections served at once (default 256)."_s,
                                            u"N"_s, u"256"_s);
    const QCommandLineOption readTimeout(u"read-timeout"_s,
                                         u"Seconds a caller may stay silent while sending a request (default 10)."_s,
                                         u"SECONDS"_s, u"10"_s);
    const QCommandLineOption headerTimeout(
        u"header-timeout"_s, u"Seconds a caller has to send a request's header (default 15)."_s, u"SECONDS"_s, u"15"_s);
    const QCommandLineOption maxReport(u"max-report"_s, u"Largest error report in bytes (default 256 KB)."_s,
                                       u"BYTES"_s, QString::number(256 * 1024));
    const QCommandLineOption reportsPerHour(
        u"reports-per-hour"_s, u"Error reports accepted per address and hour (default 30)."_s, u"N"_s, u"30"_s);
    const QCommandLineOption maxReports(u"max-reports"_s, u"Most bytes the errors folder may hold (default 64 MB)."_s,
                                        u"BYTES"_s, QString::number(64 * 1024 * 1024));
    const QCommandLineOption churn(
        u"churn"_s, u"Other agencies change listings, photos and messages every N seconds."_s, u"SECONDS"_s, u"0"_s);
    const QCommandLineOption churnSeed(u"churn-seed"_s, u"Seed of the churn's choices (default 20261209)."_s, u"N"_s,
                                       u"20261209"_s);
    const QCommandLineOption program(u"program"_s, u"Offer this client build as the program update."_s, u"FILE"_s);
    const QCommandLineOption programVersion(u"program-version"_s, u"Version of the offered build (with --program)."_s,
                                            u"VERSION"_s);
    const QCommandLineOption programNotes(u"program-notes"_s, u"Change log of the offered build."_s, u"TEXT"_s);
    const QCommandLineOption programKey(
        u"program-key"_s, u"Release secret key file that signs the offered build (with --program)."_s, u"KEY"_s);
    const QCommandLineOption tlsCert(u"tls-cert"_s, u"Serve HTTPS with this certificate chain (PEM)."_s, u"FILE"_s);
    const QCommandLineOption tlsKey(u"tls-key"_s, u"Private key of the TLS certificate (PEM)."_s, u"FILE"_s);
    parser.addOptions({bind,          port,           data,           demo,        properties,     photos,
                       publicUrl,     adminKey,       maxBody,        maxInflated, maxConnections, readTimeout,
                       headerTimeout, maxReport,      reportsPerHour, maxReports,  churn,          churnSeed,
                       program,       programVersion, programNotes,   programKey,  tlsCert,        tlsKey});
    parser.process(app);

    bool ok = false;
    TServerOptions options;
    options.bind = parser.value(bind);
    // Every numeric option: a whole number inside its range, or the program stops with why.
    const auto number = [&parser](const QCommandLineOption& option, qlonglong low, qlonglong high, qlonglong& value) {
        bool valid = false;
        value = parser.value(option).toLongLong(&valid);
        return valid && value >= low && value <= high;
    };
    constexpr qlonglong kNoLimit = std::numeric_limits<qlonglong>::max();
    qlonglong value = 0;
    if (!number(port, 0, 65535, value))
        return Fail(u"--port needs a number from 0 to 65535"_s, 2);
    options.port = int(value);
    if (!number(maxBody, 1024, kNoLimit, value))
        return Fail(u"--max-body needs a number of bytes (at least 1024)"_s, 2);
    options.maxBody = size_t(value);
    if (!number(maxInflated, 1024, kNoLimit, value))
        return Fail(u"--max-inflated needs a number of bytes (at least 1024)"_s, 2);
    options.maxInflated = value;
    if (!number(maxConnections, 1, 4096, value))
        return Fail(u"--max-connections needs a number from 1 to 4096"_s, 2);
    options.maxConnections = int(value);
    if (!number(readTimeout, 1, 3600, value))
        return Fail(u"--read-timeout needs a number of seconds from 1 to 3600"_s, 2);
    options.readTimeout = int(value);
    if (!number(headerTimeout, 1, 3600, value))
        return Fail(u"--header-timeout needs a number of seconds from 1 to 3600"_s, 2);
    options.headerTimeout = int(value);
    if (!number(maxReport, 1024, kNoLimit, value))
        return Fail(u"--max-report needs a number of bytes (at least 1024)"_s, 2);
    options.maxReportBytes = value;
    if (!number(reportsPerHour, 0, std::numeric_limits<int>::max(), value))
        return Fail(u"--reports-per-hour needs a number"_s, 2);
    options.reportsPerHour = int(value);
    if (!number(maxReports, 0, kNoLimit, value))
        return Fail(u"--max-reports needs a number of bytes"_s, 2);
    options.maxReportsTotal = value;
    if (!number(churn, 0, 86400, value))
        return Fail(u"--churn needs a number of seconds from 0 to 86400"_s, 2);
    options.churnSeconds = int(value);
    options.churnSeed = parser.value(churnSeed).toUInt(&ok);
    if (!ok)
        return Fail(u"--churn-seed needs a number"_s, 2);
    options.service.publicUrl = parser.value(publicUrl).trimmed();
    while (options.service.publicUrl.endsWith(u'/'))
        options.service.publicUrl.chop(1);
    options.service.adminKey = parser.value(adminKey);
    if (parser.isSet(tlsCert) != parser.isSet(tlsKey))
        return Fail(u"--tls-cert and --tls-key go together"_s, 2);
    options.tlsCert = parser.value(tlsCert);
    options.tlsKey = parser.value(tlsKey);

    const QString folder = QDir(parser.value(data)).absolutePath();
    const bool hasMaster = QFile::exists(folder + u"/master.db"_s);
    bool seeded = false;
    if (parser.isSet(demo) && !hasMaster) {
        if (!QDir(folder).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
            return Fail(u"--demo seeds only an empty data folder, and %1 is not empty"_s.arg(folder), 2);
        TSeedOptions seed;
        seed.properties = parser.value(properties).toInt(&ok);
        if (!ok || seed.properties < 0)
            return Fail(u"--properties needs a number"_s, 2);
        seed.photoFiles = parser.value(photos).toInt(&ok);
        if (!ok || seed.photoFiles < 0)
            return Fail(u"--photos needs a number"_s, 2);
        QString error;
        if (!SeedDemoFolder(folder, seed, &error)) {
            QDir(folder).removeRecursively();
            return Fail(u"cannot seed the demo data: "_s + error);
        }
        seeded = true;
    }

    TMasterStore store;
    QString error;
    if (!store.Open(folder, &error))
        return Fail(u"cannot open the data folder: "_s + error);
    if (parser.isSet(program) != parser.isSet(programVersion))
        return Fail(u"--program and --program-version go together"_s, 2);
    if (parser.isSet(programKey) && !parser.isSet(program))
        return Fail(u"--program-key signs the build given with --program"_s, 2);
    if (parser.isSet(program)) {
        QByteArray secretKey;
        if (parser.isSet(programKey)) {
            secretKey =
                ReleaseSignature::ReadKeyFile(parser.value(programKey), ReleaseSignature::kSecretKeyBytes, &error);
            if (secretKey.isEmpty())
                return Fail(u"cannot offer the program: "_s + error, 2);
        }
        if (!PublishProgram(folder, PlatformName(), QDir().absoluteFilePath(parser.value(program)),
                            parser.value(programVersion).trimmed(), parser.value(programNotes), secretKey, &error))
            return Fail(u"cannot offer the program: "_s + error, 2);
    }
    TServiceServer server(store, options);
    if (!server.Bind(&error))
        return Fail(error);
    // The first line is what starters read to learn the port.
    std::printf("listening on %s://%s:%d\n", server.Scheme().toUtf8().constData(), options.bind.toUtf8().constData(),
                server.Port());
    std::fflush(stdout);
    ServiceLog(u"data folder %1%2, data version %3"_s.arg(folder, seeded ? u" (demo data seeded)"_s : QString())
                   .arg(store.CurrentVersion()));
    if (parser.isSet(program))
        ServiceLog(u"program version %1 offered%2"_s.arg(
            parser.value(programVersion).trimmed(),
            parser.isSet(programKey) ? u" (signed)"_s : u" UNSIGNED: clients will refuse it"_s));

    std::thread([&server, stopSignals] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        ServiceLog(u"stopping"_s);
        server.Stop();
    }).detach();
    if (!server.Run())
        return Fail(u"the server stopped unexpectedly"_s);
    return 0;
}
