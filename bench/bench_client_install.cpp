// Sets up a client installation's data folder against a running korvel-service, as the
// first run does before its import: the delivered database file, validated with the demo
// agency's key, and the credentials file that lets `korvel-tool sync` run unattended.
//   bench_client_install SERVICE_URL DATA_FOLDER
// Used by bench_answer_memory.py, which then measures the synchronisation itself.
#include "core/Config.h"
#include "core/FormatSettings.h"
#include "core/MiscFunc.h"
#include "core/uTypes.h"
#include "db/Settings.h"
#include "db/uDB.h"
#include "sync/Requests.h"
#include "sync/Sync.h"

#include <QDir>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_client_install SERVICE_URL DATA_FOLDER\n");
        return 2;
    }
    qputenv("KORVEL_SERVICE_URL", argv[1]);
    const QString folder = QDir(QString::fromLocal8Bit(argv[2])).absolutePath() + QStringLiteral("/");
    QDir().mkpath(folder);
    Paths.DataFolder = folder;
    Paths.DatabaseFile = folder + Config::DatabaseFileName;
    Paths.PhotoFolder = folder + Config::PhotoSubfolder + QStringLiteral("/");
    InitFormatSettings();
    SyncEnabled = true;

    TSessionValues session{7, QStringLiteral("admin"), QStringLiteral("demo"), QString()};
    QByteArray file;
    QString error = RequestDatabaseFile(session, file);
    if (error.isEmpty() && !WriteBytesFile(Paths.DatabaseFile, file))
        error = QStringLiteral("cannot write ") + Paths.DatabaseFile;
    if (error.isEmpty() && !OpenDatabase(Paths.DatabaseFile, Config::DatabasePassword, Config::DatabaseDriverId))
        error = QStringLiteral("cannot open ") + Paths.DatabaseFile;
    if (error.isEmpty()) {
        session.InstallKey = ReadSetting(Setting::InstallKey);
        TStatusAnswer status;
        error = RequestValidationKey(session, QStringLiteral("DEMO0007"), status);
        CloseDatabase();
    }
    if (error.isEmpty() && !WriteBytesFile(folder + Config::CredentialsFile, "admin;demo"))
        error = QStringLiteral("cannot write the credentials");
    if (!error.isEmpty()) {
        std::fprintf(stderr, "%s\n", error.toUtf8().constData());
        return 1;
    }
    std::printf("%s\n", Paths.DatabaseFile.toUtf8().constData());
    return 0;
}
