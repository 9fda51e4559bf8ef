// Support and administration companion of the client. Every subcommand runs the same
// library code the client runs.
#include "core/Config.h"
#include "core/FormatSettings.h"
#include "core/MiscFunc.h"
#include "core/ReleaseSignature.h"
#include "core/uTypes.h"
#include "db/DBSchema.h"
#include "db/InstallContext.h"
#include "db/Settings.h"
#include "db/uDB.h"
#include "search/Filter.h"
#include "search/StoredSearchText.h"
#include "service/DemoData.h"
#include "sync/Envelope.h"
#include "sync/Import.h"
#include "sync/Requests.h"
#include "sync/Sync.h"
#include "sync/SyncData.h"
#include "sync/Upload.h"
#include "sync/WireProtocol.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QStringList>

#include <cstdio>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

void Out(const QString& text)
{
    std::fputs(text.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
}

void Err(const QString& text)
{
    std::fputs(text.toUtf8().constData(), stderr);
    std::fputc('\n', stderr);
}

int Usage()
{
    Err(u"uso:\n"_s
        u"  korvel-tool log ARCHIVO        muestra un log del cliente en texto plano\n"_s
        u"  korvel-tool db check ARCHIVO   abre una base como el cliente, la verifica y cuenta sus filas\n"_s
        u"  korvel-tool demo-db --out ARCHIVO [--properties N] [--plain] [--seed S] [--photos CARPETA]\n"_s
        u"                      [--agency A]   escribe una base de demostración (cifrada salvo --plain)\n"_s
        u"  korvel-tool envelope encode|decode [--preamble-len N]\n"_s
        u"                      empaqueta o desempaqueta un sobre (entrada estándar a salida estándar);\n"_s
        u"                      encode usa el preámbulo de los pedidos, decode el de las respuestas (124)\n"_s
        u"  korvel-tool import BASE RESPUESTA\n"_s
        u"                      incorpora una respuesta de datos (texto o sobre tal como llegó) a una base\n"_s
        u"                      y muestra la nueva versión\n"_s
        u"  korvel-tool sync --data CARPETA [--user U --password P]\n"_s
        u"                      sincroniza sin pantalla la carpeta de datos de una instalación\n"_s
        u"                      (estado, envío de cambios, actualización); sin --user lee credenciales.txt\n"_s
        u"  korvel-tool filter BASE 'PARÁMETROS'\n"_s
        u"                      aplica el texto de una búsqueda guardada y muestra la consulta y sus filas\n"_s
        u"  korvel-tool release-key --out PREFIJO\n"_s
        u"                      crea un par de claves de firma de versiones: PREFIJO.key (secreta, solo\n"_s
        u"                      para korvel-service --program-key) y PREFIJO.pub; muestra la pública"_s);
    return 2;
}

// The log is written in 8-bit characters, one scrambled line per event.
int PrintLog(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        Err(u"No se puede leer %1: %2"_s.arg(path, file.errorString()));
        return 1;
    }
    int unreadable = 0;
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty())
            continue;
        const QString scrambled = QString::fromLatin1(line);
        const QString plain = Unscramble(scrambled);
        if (plain.isEmpty()) {
            ++unreadable;
            Out(u"?? "_s + scrambled);
        } else {
            Out(plain);
        }
    }
    return unreadable == 0 ? 0 : 1;
}

int CheckDatabase(const QString& path)
{
    TDataBase db(path, Config::DatabaseDriverId, Config::DatabasePassword);
    const bool encrypted = db.IsEncrypted();
    db.TakeLastError();
    if (!db.Open()) {
        Err(u"No se pudo abrir %1: %2"_s.arg(path, db.TakeLastError()));
        return 1;
    }
    Out(u"cifrada: "_s + (encrypted ? u"si"_s : u"no"_s));

    std::unique_ptr<TResultSet> result;
    if (!db.QueryNoCount(u"PRAGMA integrity_check;"_s, result) || !result) {
        Err(u"integridad: no se pudo verificar: "_s + db.TakeLastError());
        return 1;
    }
    QStringList problems;
    for (result->First(); !result->Eof(); result->Next())
        problems << result->AsStringAt(0);
    const bool intact = problems == QStringList{u"ok"_s};
    Out(u"integridad: "_s + (intact ? u"ok"_s : problems.join(u"; "_s)));

    if (!db.QueryNoCount(u"SELECT name FROM sqlite_master WHERE type='table' ORDER BY name;"_s, result) || !result) {
        Err(db.TakeLastError());
        return 1;
    }
    QStringList tables;
    for (result->First(); !result->Eof(); result->Next())
        tables << result->AsStringAt(0);
    bool counted = true;
    for (const QString& table : tables) {
        QString quoted = table;
        quoted.replace(u'`', u"``"_s);
        std::unique_ptr<TResultSet> count;
        if (db.QueryNoCount(u"SELECT count(*) FROM `%1`;"_s.arg(quoted), count) && count) {
            Out(table + u'\t' + QString::number(count->AsInt64At(0)));
        } else {
            Out(table + u"\t?"_s);
            counted = false;
        }
    }
    return intact && counted ? 0 : 1;
}

int DemoDatabase(const QStringList& args)
{
    TDemoOptions options;
    options.password = Config::DatabasePassword;
    QString out;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        bool ok = true;
        if (arg == u"--out"_s && hasValue)
            out = args[++i];
        else if (arg == u"--properties"_s && hasValue)
            options.properties = args[++i].toInt(&ok);
        else if (arg == u"--seed"_s && hasValue)
            options.seed = args[++i].toUInt(&ok);
        else if (arg == u"--agency"_s && hasValue)
            options.ownAgency = args[++i].toInt(&ok);
        else if (arg == u"--photos"_s && hasValue)
            options.photoFolder = args[++i];
        else if (arg == u"--plain"_s)
            options.password.clear();
        else
            ok = false;
        if (!ok || options.properties < 0 || options.ownAgency < 1 || options.ownAgency > 9999) {
            Err(u"Argumento inválido: "_s + arg);
            return Usage();
        }
    }
    if (out.isEmpty())
        return Usage();
    QElapsedTimer clock;
    clock.start();
    TDemoResult result;
    if (!GenerateDemoDatabase(out, options, result)) {
        Err(u"No se pudo generar la base: "_s + result.error);
        return 1;
    }
    Out(u"%1: %2 inmobiliarias, %3 usuarios, %4 clientes, %5 propiedades, %6 fotos (%7 archivos) en %8 ms"_s.arg(
        out, QString::number(result.agencies), QString::number(result.users), QString::number(result.clients),
        QString::number(result.properties), QString::number(result.photos), QString::number(result.photoFiles),
        QString::number(clock.elapsed())));
    return 0;
}

// Support packs a request by hand or reads an answer captured from the wire.
int Envelope(const QStringList& args)
{
    if (args.size() < 2 || (args[1] != u"encode"_s && args[1] != u"decode"_s))
        return Usage();
    const bool encode = args[1] == u"encode"_s;
    int preambleLength = encode ? int(RequestPreamble().size()) : Wire::ResponsePreambleLength;
    if (args.size() == 4 && args[2] == u"--preamble-len"_s) {
        bool ok = false;
        preambleLength = args[3].toInt(&ok);
        if (!ok || preambleLength < 0)
            return Usage();
    } else if (args.size() != 2) {
        return Usage();
    }
    QFile in;
    QFile out;
    if (!in.open(stdin, QIODevice::ReadOnly) || !out.open(stdout, QIODevice::WriteOnly))
        return 1;
    const QByteArray input = in.readAll();
    QByteArray output;
    QString error;
    const bool ok = encode
                        ? PackEnvelope(encode && args.size() == 4 ? QByteArray(preambleLength, ' ') : RequestPreamble(),
                                       input, output, &error)
                        : UnpackEnvelope(input, preambleLength, output, &error);
    if (!ok) {
        Err(error);
        return 1;
    }
    out.write(output);
    return 0;
}

// Progress of a headless synchronisation as plain lines.
class ConsoleSinks : public TTransferSinks {
public:
    bool HasStatus() const override { return true; }
    void SetStatusText(const QString& text) override
    {
        if (!text.isEmpty() && text != m_last && !text.contains(u':'))
            Out(text);
        m_last = text;
    }
    void SetProgress(qint64 maximum, qint64) override
    {
        if (maximum >= 0)
            m_maximum = maximum;
    }
    qint64 ProgressMaximum() const override { return m_maximum; }
    void AppendLogLine(const QString& line) override { Out(line); }
    void AppendLogSeparator() override { Out(QString(40, u'-')); }
    void OfferAction() override {}
    void WithdrawAction() override {}

private:
    QString m_last;
    qint64 m_maximum = 0;
};

// The data folder of an installation stands in for the program's own paths.
bool UseDataFolder(const QString& folder)
{
    QString data = QDir(folder).absolutePath();
    if (!data.endsWith(u'/'))
        data += u'/';
    Paths.DataFolder = data;
    Paths.DatabaseFile = data + Config::DatabaseFileName;
    Paths.PhotoFolder = data + Config::PhotoSubfolder + u'/';
    return InitFormatSettings();
}

// An answer file read a piece at a time: the import reads it twice and never holds it.
class FileSource : public TByteSource {
public:
    explicit FileSource(QFile& file) : m_file(file) {}
    bool Rewind() override { return m_file.seek(0); }
    qsizetype Read(char* buffer, qsizetype size) override
    {
        const qint64 n = m_file.read(buffer, size);
        if (n < 0)
            m_error = m_file.errorString();
        return qsizetype(n);
    }
    QString Error() const override { return m_error; }

private:
    QFile& m_file;
    QString m_error;
};

// Support imports the text of an answer or the answer's envelope as captured from the wire.
int Import(const QString& database, const QString& answerFile)
{
    QFile file(answerFile);
    if (!file.open(QIODevice::ReadOnly)) {
        Err(u"No se puede leer %1: %2"_s.arg(answerFile, file.errorString()));
        return 1;
    }
    const QByteArray start = file.peek(Wire::ResponsePreambleLength + Wire::Marker.size());
    const bool packed = start.size() == Wire::ResponsePreambleLength + Wire::Marker.size() &&
                        start.endsWith(Wire::Marker) && file.size() >= Wire::MinimumResponseLength;
    std::unique_ptr<TByteSource> source;
    if (packed)
        source =
            std::make_unique<TEnvelopeReader>(file.readAll(), Wire::ResponsePreambleLength, ImportLimits().maxAnswer);
    else
        source = std::make_unique<FileSource>(file);
    UseDataFolder(QFileInfo(database).absolutePath());
    if (!OpenDatabase(database, Config::DatabasePassword, Config::DatabaseDriverId)) {
        Err(u"No se pudo abrir %1: %2"_s.arg(database, TakeDbLastError()));
        return 1;
    }
    LoadInstallContext();
    ConsoleSinks sinks;
    SetTransferSinks(&sinks);
    const TImportResult result = ImportTables(*source, LocalDataVersion());
    SetTransferSinks(nullptr);
    bool saved = true;
    if (result.ok && result.changed)
        saved = WriteSetting(Setting::DataVersion, QString::number(result.dataVersion)) &&
                WriteSetting(Setting::LastSyncTime, result.serverTime);
    CloseDatabase();
    if (!result.ok || !saved) {
        if (result.tooLarge)
            Err(TableDataTooLargeText());
        Err(u"La importación falló; la versión de los datos no cambió."_s);
        return 1;
    }
    Out(QString::number(result.dataVersion));
    return 0;
}

int HeadlessSync(const QStringList& args)
{
    QString folder, user, password;
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == u"--data"_s)
            folder = args[i + 1];
        else if (args[i] == u"--user"_s)
            user = args[i + 1];
        else if (args[i] == u"--password"_s)
            password = args[i + 1];
        else
            return Usage();
    }
    if (folder.isEmpty() || args.size() % 2 == 0)
        return Usage();
    UseDataFolder(folder);
    if (user.isEmpty()) {
        QFile credentials(Paths.DataFolder + Config::CredentialsFile);
        if (credentials.open(QIODevice::ReadOnly)) {
            const QStringList parts = QString::fromUtf8(credentials.readAll()).trimmed().split(u';');
            if (parts.size() >= 2) {
                user = parts[0];
                password = parts[1];
            }
        }
    }
    if (user.isEmpty()) {
        Err(u"Faltan el usuario y la contraseña (--user/--password o %1)."_s.arg(Config::CredentialsFile));
        return 2;
    }
    if (!OpenDatabase(Paths.DatabaseFile, Config::DatabasePassword, Config::DatabaseDriverId)) {
        Err(u"No se pudo abrir %1: %2"_s.arg(Paths.DatabaseFile, TakeDbLastError()));
        return 1;
    }
    // A folder the client has not opened since an update lacks the columns it adds.
    if (!EnsureSchema()) {
        Err(u"No se pudo preparar %1: %2"_s.arg(Paths.DatabaseFile, TakeDbLastError()));
        return 1;
    }
    LoadInstallContext();
    const TSessionValues session{CurrentAgencyCode(), user.trimmed().toLower(), password.trimmed().toLower(),
                                 ReadSetting(Setting::InstallKey)};
    ConsoleSinks sinks;
    SetTransferSinks(&sinks);
    SyncEnabled = true;
    int code = 0;
    TStatusAnswer status;
    QString error = RequestServiceStatus(session, status);
    if (error.isEmpty()) {
        Out(u"Estado del servicio: "_s + status.Status);
        int pending = 0;
        if (HasPendingChanges(&pending)) {
            Out(u"Cambios pendientes: %1"_s.arg(pending));
            error = UploadChanges(session);
        }
    }
    if (error.isEmpty())
        error = SyncIncremental(session);
    if (!error.isEmpty()) {
        Err(error);
        code = 1;
    } else {
        Out(u"Versión de datos: %1"_s.arg(LocalDataVersion()));
    }
    SetTransferSinks(nullptr);
    CloseDatabase();
    return code;
}

// Support reproduces what a stored search finds on a customer's database.
int Filter(const QString& database, const QString& parameters)
{
    UseDataFolder(QFileInfo(database).absolutePath());
    if (!OpenDatabase(database, Config::DatabasePassword, Config::DatabaseDriverId)) {
        Err(u"No se pudo abrir %1: %2"_s.arg(database, TakeDbLastError()));
        return 1;
    }
    LoadInstallContext();
    const TFilterEnv env = CurrentFilterEnv();
    TFilterState state = ApplySearchParameters(parameters, env);
    NormaliseFilter(state, env);
    if (SearchTextUnsearchable(parameters) || !IsSearchableText(state.Texto)) {
        CloseDatabase();
        Err(u"El texto a buscar no se puede buscar: tiene caracteres fuera de los admitidos o más de %1."_s.arg(
            kFilterTextMax));
        return 1;
    }
    const TFilterQuery query = BuildFilterStatement(state, env);
    Out(query.Sql());
    std::unique_ptr<TResultSet> rows;
    int count = 0;
    const bool ok = DB()->Query(query.Sql(), rows, count) && rows;
    const QString error = ok ? QString() : TakeDbLastError();
    CloseDatabase();
    if (!ok) {
        Err(u"La consulta falló: "_s + error);
        return 1;
    }
    Out(u"filas: %1"_s.arg(count));
    return 0;
}

// The secret half is written readable by its owner only and never over an existing file:
// a key that signed releases already in use must not be lost to a slip of the prefix.
int ReleaseKey(const QStringList& args)
{
    if (args.size() != 3 || args[1] != u"--out"_s || args[2].isEmpty())
        return Usage();
    const QString secretPath = args[2] + u".key"_s;
    const QString publicPath = args[2] + u".pub"_s;
    for (const QString& path : {secretPath, publicPath}) {
        if (QFileInfo::exists(path)) {
            Err(u"%1 ya existe: no se reemplaza una clave."_s.arg(path));
            return 1;
        }
    }
    QByteArray publicKey, secretKey;
    if (!ReleaseSignature::GenerateKeyPair(publicKey, secretKey)) {
        Err(u"No se pudo crear el par de claves."_s);
        return 1;
    }
    QFile secret(secretPath);
    if (!secret.open(QIODevice::WriteOnly | QIODevice::NewOnly) ||
        !secret.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
        secret.write(secretKey.toHex() + '\n') != secretKey.size() * 2 + 1 || !secret.flush()) {
        Err(u"No se pudo escribir %1: %2"_s.arg(secretPath, secret.errorString()));
        secret.remove();
        return 1;
    }
    secret.close();
    if (!WriteBytesFile(publicPath, publicKey.toHex() + '\n')) {
        Err(u"No se pudo escribir %1"_s.arg(publicPath));
        QFile::remove(secretPath);
        return 1;
    }
    Out(QString::fromLatin1(publicKey.toHex()));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    // Pictures for the demo are painted, which needs a GUI application even without a screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.size() == 2 && args[0] == u"log"_s)
        return PrintLog(args[1]);
    if (args.size() == 3 && args[0] == u"db"_s && args[1] == u"check"_s)
        return CheckDatabase(args[2]);
    if (args.size() == 3 && args[0] == u"import"_s)
        return Import(args[1], args[2]);
    if (args.size() == 3 && args[0] == u"filter"_s)
        return Filter(args[1], args[2]);
    if (!args.isEmpty() && args[0] == u"sync"_s)
        return HeadlessSync(args);
    if (!args.isEmpty() && args[0] == u"envelope"_s)
        return Envelope(args);
    if (!args.isEmpty() && args[0] == u"demo-db"_s)
        return DemoDatabase(args);
    if (!args.isEmpty() && args[0] == u"release-key"_s)
        return ReleaseKey(args);
    return Usage();
}
