// Support and administration companion of the client. Every subcommand runs the same
// library code the client runs.
#include "core/Config.h"
#include "core/MiscFunc.h"
#include "db/uDB.h"

#include <QCoreApplication>
#include <QFile>
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
        u"  korvel-tool db check ARCHIVO   abre una base como el cliente, la verifica y cuenta sus filas"_s);
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

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.size() == 2 && args[0] == u"log"_s)
        return PrintLog(args[1]);
    if (args.size() == 3 && args[0] == u"db"_s && args[1] == u"check"_s)
        return CheckDatabase(args[2]);
    return Usage();
}
