// Support and administration companion of the client. Every subcommand runs the same
// library code the client runs.
#include "core/Config.h"
#include "core/MiscFunc.h"
#include "db/uDB.h"
#include "service/DemoData.h"
#include "sync/Envelope.h"
#include "sync/WireProtocol.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QStringList>

#include <cstdio>

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
        u"                      encode usa el preámbulo de los pedidos, decode el de las respuestas (124)"_s);
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
    if (!args.isEmpty() && args[0] == u"envelope"_s)
        return Envelope(args);
    if (!args.isEmpty() && args[0] == u"demo-db"_s)
        return DemoDatabase(args);
    return Usage();
}
