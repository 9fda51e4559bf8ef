#include "search/NewMatches.h"

#include "core/Bugs.h"
#include "core/MiscFunc.h"
#include "db/DBSchema.h"
#include "db/uDB.h"
#include "search/Filter.h"
#include "search/PropertyQuery.h"
#include "search/StoredSearchText.h"
#include "search/StoredSearches.h"

#include <QElapsedTimer>
#include <QTimer>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {

sqlite3* Handle()
{
    TDataBase* db = DB();
    return db && db->Connected() ? db->Handle() : nullptr;
}

// Statements of this module run on the handle directly: a failure here costs an alert, not
// the program, so it must not reach the fatal path of the change statements.
bool Run(const QString& sql, const QString& code)
{
    sqlite3* db = Handle();
    if (!db)
        return false;
    char* error = nullptr;
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &error) != SQLITE_OK) {
        WriteLog(code, QString::fromUtf8(error ? error : "") + u" ("_s + sql.left(300) + u')');
        sqlite3_free(error);
        return false;
    }
    return true;
}

// The key under which a search's matches are kept. A search saved here gets its final code
// from the upload, but its generation code goes with it unchanged.
const QString kOwnKey = u"COALESCE(NULLIF(`Filtro_CodigoGeneracion`, ''), '#' || `Filtro_Codigo`)"_s;
const QString kClientKey = u"COALESCE(NULLIF(`Cli_CodigoGeneracion`, ''), '#' || `Cli_Codigo`)"_s;

// The property query cut down to what a match needs: the code, and the price in local
// currency that the price condition refers to.
QString MatchSelect()
{
    static const QString sql = [] {
        const QString& full = PropertyQuerySql();
        return u"SELECT `W_Propiedades`.`Prop_Codigo` AS c, ROUND(`W_Propiedades`.`Prop_Precio` * "
               u"`W_Monedas`.`Moneda_Cotizacion`) AS `Prop_PrecioPesos` "_s +
               full.mid(full.indexOf(u"FROM `W_Propiedades`"_s));
    }();
    return sql;
}

// The entries of a list as far as the text names them: the lists on screen drop codes they
// no longer show, which matters for what a user sees, not for which properties match.
TFilterListSource ListsNamedIn(const QString& text)
{
    return [text](int list, const TFilterState&) {
        QList<TFilterEntry> entries;
        for (const QString& value : ExtractSearchValues(text, SearchListName(list)))
            entries << TFilterEntry{value.toInt(), QString()};
        return entries;
    };
}

} // namespace

TArrivalRecorder::TArrivalRecorder()
{
    m_active = Run(u"DROP TRIGGER IF EXISTS `temp`.`K_LlegadaPropiedad`; DROP TABLE IF EXISTS `temp`.`K_Llegadas`; "
                   u"CREATE TEMP TABLE `K_Llegadas` (`Prop_Codigo` INTEGER PRIMARY KEY); "
                   u"CREATE TEMP TRIGGER `K_LlegadaPropiedad` AFTER INSERT ON `main`.`W_Propiedades` BEGIN "
                   u"INSERT OR IGNORE INTO `K_Llegadas` VALUES (NEW.`Prop_Codigo`); END;"_s,
                   u"$2151"_s);
    m_recording = m_active;
}

TArrivalRecorder::~TArrivalRecorder()
{
    Stop();
    if (m_active)
        Run(u"DROP TABLE IF EXISTS `temp`.`K_Llegadas`;"_s, u"$2151"_s);
}

void TArrivalRecorder::Stop()
{
    if (m_recording)
        Run(u"DROP TRIGGER IF EXISTS `temp`.`K_LlegadaPropiedad`;"_s, u"$2151"_s);
    m_recording = false;
}

int TArrivalRecorder::Count() const
{
    return m_active ? int(ReadCount(u"SELECT COUNT(*) FROM `temp`.`K_Llegadas`;"_s)) : 0;
}

QList<qint64> TArrivalRecorder::Codes() const
{
    QList<qint64> codes;
    QStringList texts;
    if (m_active && LoadCodeList(u"SELECT `Prop_Codigo` AS c FROM `temp`.`K_Llegadas`;"_s, texts))
        for (const QString& text : texts)
            codes << text.toLongLong();
    return codes;
}

namespace {

bool InsertArrivals(const QList<qint64>& codes)
{
    if (!Run(u"CREATE TEMP TABLE IF NOT EXISTS `K_Llegadas` (`Prop_Codigo` INTEGER PRIMARY KEY);"_s, u"$2151"_s))
        return false;
    QStringList values;
    for (const qint64 code : codes)
        values << u'(' + QString::number(code) + u')';
    return values.isEmpty() ||
           Run(u"INSERT OR IGNORE INTO `temp`.`K_Llegadas` VALUES %1;"_s.arg(values.join(u',')), u"$2151"_s);
}

} // namespace

bool TArrivalRecorder::Fill(const QList<qint64>& codes)
{
    Stop();
    return m_active && InsertArrivals(codes);
}

QList<TWatchedSearch> LoadWatchedSearches(int agency)
{
    QList<TWatchedSearch> searches;
    TDataBase* db = DB();
    if (!db)
        return searches;
    const QString sql =
        u"SELECT 1 AS k, `Filtro_Codigo` AS c, %1 AS g, `Filtro_Parametros` AS p FROM `W_Filtros` WHERE "
        u"`Inmo_Codigo` = %3 AND `Filtro_Estado` IN (\"OK\",\"AM\") UNION ALL SELECT 2, `Cli_Codigo`, %2, "
        u"`Cli_Filtro` FROM `W_Clientes` WHERE `Inmo_Codigo` = %3 AND `Cli_Filtro` <> \"\" AND `Cli_Estado` IN "
        u"(\"OK\",\"AM\");"_s.arg(kOwnKey, kClientKey, QString::number(agency));
    std::unique_ptr<TResultSet> rows;
    if (!db->QueryNoCount(sql, rows) || !rows) {
        WriteLog(u"$2152"_s, u"The stored searches could not be read."_s);
        return searches;
    }
    for (rows->First(); !rows->Eof(); rows->Next())
        searches << TWatchedSearch{int(rows->AsInt64At(0)), int(rows->AsInt64At(1)), rows->AsStringAt(2),
                                   rows->AsStringAt(3)};
    return searches;
}

TNewMatchRun::TNewMatchRun(std::unique_ptr<TArrivalRecorder> arrivals, QList<TWatchedSearch> searches)
    : m_arrivals(std::move(arrivals)), m_searches(std::move(searches))
{
    if (!m_arrivals || !m_arrivals->Active())
        m_next = int(m_searches.size());
    else
        m_codes = m_arrivals->Codes();
}

bool TNewMatchRun::EnsureArrivals()
{
    if (ReadCount(u"SELECT COUNT(*) FROM `sqlite_temp_master` WHERE `name`='K_Llegadas';"_s) > 0)
        return true;
    return InsertArrivals(m_codes);
}

TNewMatchRun::~TNewMatchRun() = default;

bool TNewMatchRun::Step(int sliceMs)
{
    if (m_next >= m_searches.size())
        return false;
    if (!Handle()) {
        // The database closed under the run (the program is ending): nothing more to do.
        m_next = int(m_searches.size());
        return false;
    }
    if (!EnsureArrivals()) {
        m_next = int(m_searches.size());
        return false;
    }
    QElapsedTimer clock;
    clock.start();
    const TFilterEnv env = CurrentFilterEnv();
    const QString now = DateTimeToDbText(QDateTime::currentDateTime());
    // At least one search a step, so that a slow machine still gets to the end.
    for (int ran = 0; m_next < m_searches.size() && (ran == 0 || clock.elapsed() < sliceMs); ++ran) {
        const TWatchedSearch& search = m_searches[m_next++];
        // A search that cannot be loaded cannot be run either; the panel says why when the
        // user loads it.
        if (!StoredSearchTextProblem(search.Parameters).isEmpty())
            continue;
        TFilterState state = ApplySearchParameters(search.Parameters, env, ListsNamedIn(search.Parameters));
        NormaliseFilter(state, env);
        if (!IsFilterActive(state, env))
            continue;
        const QString where = BuildFilterWhere(state, env);
        const QString condition =
            u"WHERE `W_Propiedades`.`Prop_Codigo` IN (SELECT `Prop_Codigo` FROM `temp`.`K_Llegadas`) "_s +
            (where.startsWith(u"WHERE "_s) ? u"AND "_s + where.mid(6) : QString());
        const int before = sqlite3_total_changes(Handle());
        Run(u"INSERT OR IGNORE INTO `%1` (`Busqueda_Tipo`, `Busqueda_Clave`, `Prop_Codigo`, `Coincidencia_Fecha`) "
            u"SELECT %2, \"%3\", c, \"%4\" FROM (%5%6);"_s.arg(kNewMatchTable, QString::number(search.Kind),
                                                               EscapeSql(search.Key), now, MatchSelect(), condition),
            u"$2153"_s);
        m_found += sqlite3_total_changes(Handle()) - before;
    }
    return m_next < m_searches.size();
}

namespace {

struct TRunner {
    std::unique_ptr<TNewMatchRun> run;
    std::unique_ptr<QTimer> timer;
    std::function<void()> done;
};
TRunner& Runner()
{
    static TRunner runner;
    return runner;
}

} // namespace

void StartNewMatchRun(std::unique_ptr<TArrivalRecorder> arrivals, int agency, std::function<void()> done)
{
    TRunner& runner = Runner();
    runner.timer.reset();
    runner.run.reset();
    if (!arrivals || !arrivals->Active() || arrivals->Count() == 0)
        return;
    PruneNewMatches();
    const QList<TWatchedSearch> searches = LoadWatchedSearches(agency);
    if (searches.isEmpty())
        return;
    WriteLog(u"$2154"_s,
             u"%1 stored searches against %2 arrived properties."_s.arg(searches.size()).arg(arrivals->Count()));
    runner.run = std::make_unique<TNewMatchRun>(std::move(arrivals), searches);
    runner.done = std::move(done);
    runner.timer = std::make_unique<QTimer>();
    runner.timer->setInterval(0);
    QObject::connect(runner.timer.get(), &QTimer::timeout, runner.timer.get(), [] {
        TRunner& r = Runner();
        if (r.run && r.run->Step())
            return;
        if (r.run)
            WriteLog(u"$2154"_s, u"%1 new matches."_s.arg(r.run->Found()));
        // Released from the loop's next turn: this is the timer's own signal.
        r.timer->stop();
        QTimer::singleShot(0, [] {
            TRunner& last = Runner();
            last.timer.reset();
            last.run.reset();
            if (const std::function<void()> finished = std::exchange(last.done, {}))
                finished();
        });
    });
    runner.timer->start();
}

bool NewMatchRunActive()
{
    return Runner().timer != nullptr;
}

bool PruneNewMatches()
{
    return Run(u"DELETE FROM `%1` WHERE (`Busqueda_Tipo` = 1 AND `Busqueda_Clave` NOT IN (SELECT %2 FROM `W_Filtros` "
               u"WHERE `Filtro_Estado` IN (\"OK\",\"AM\"))) OR (`Busqueda_Tipo` = 2 AND `Busqueda_Clave` NOT IN "
               u"(SELECT %3 FROM `W_Clientes` WHERE `Cli_Filtro` <> \"\" AND `Cli_Estado` IN (\"OK\",\"AM\"))) OR "
               u"`Busqueda_Tipo` NOT IN (1, 2);"_s.arg(kNewMatchTable, kOwnKey, kClientKey),
               u"$2155"_s);
}

TNewMatchCounts NewMatchCounts(int agency)
{
    TNewMatchCounts counts;
    TDataBase* db = DB();
    if (!db)
        return counts;
    const QString sql =
        u"SELECT 1 AS k, `Filtro_Codigo` AS c, COUNT(*) AS n FROM `%1` JOIN `W_Filtros` ON `Busqueda_Tipo` = 1 AND "
        u"`Busqueda_Clave` = %2 WHERE `Inmo_Codigo` = %4 GROUP BY `Filtro_Codigo` UNION ALL SELECT 2, `Cli_Codigo`, "
        u"COUNT(*) FROM `%1` JOIN `W_Clientes` ON `Busqueda_Tipo` = 2 AND `Busqueda_Clave` = %3 WHERE `Inmo_Codigo` "
        u"= %4 GROUP BY `Cli_Codigo`;"_s.arg(kNewMatchTable, kOwnKey, kClientKey, QString::number(agency));
    std::unique_ptr<TResultSet> rows;
    if (!db->QueryNoCount(sql, rows) || !rows)
        return counts;
    for (rows->First(); !rows->Eof(); rows->Next())
        counts.insert({int(rows->AsInt64At(0)), int(rows->AsInt64At(1))}, int(rows->AsInt64At(2)));
    return counts;
}

namespace {

// The key of one search of the list, read from its row.
QString KeyOf(int agency, int kind, int code)
{
    TDataBase* db = DB();
    if (!db)
        return {};
    const QString sql =
        kind == 1 ? u"SELECT %1 FROM `W_Filtros` WHERE `Filtro_Codigo` = %2 AND `Inmo_Codigo` = %3;"_s.arg(kOwnKey)
                        .arg(code)
                        .arg(agency)
                  : u"SELECT %1 FROM `W_Clientes` WHERE `Cli_Codigo` = %2 AND `Inmo_Codigo` = %3;"_s.arg(kClientKey)
                        .arg(code)
                        .arg(agency);
    std::unique_ptr<TResultSet> rows;
    if (!db->QueryNoCount(sql, rows) || !rows || rows->RecordCount() != 1)
        return {};
    return rows->AsStringAt(0);
}

} // namespace

QString NewMatchCodes(int agency, int kind, int code)
{
    const QString key = KeyOf(agency, kind, code);
    if (key.isEmpty())
        return {};
    QStringList codes;
    if (!LoadCodeList(u"SELECT `Prop_Codigo` AS c FROM `%1` WHERE `Busqueda_Tipo` = %2 AND `Busqueda_Clave` = \"%3\" "
                      u"ORDER BY `Prop_Codigo`;"_s.arg(kNewMatchTable, QString::number(kind), EscapeSql(key)),
                      codes))
        return {};
    return codes.join(u',');
}

bool ClearNewMatches(int agency, int kind, int code)
{
    const QString key = KeyOf(agency, kind, code);
    if (key.isEmpty())
        return false;
    return Run(u"DELETE FROM `%1` WHERE `Busqueda_Tipo` = %2 AND `Busqueda_Clave` = \"%3\";"_s.arg(
                   kNewMatchTable, QString::number(kind), EscapeSql(key)),
               u"$2155"_s);
}
