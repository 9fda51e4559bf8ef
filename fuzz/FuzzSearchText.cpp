// The parameter text of a stored search, as it comes back from the database or the service:
// read into a filter, written again, and turned into the property statement. Whatever the
// text holds, the statement must be valid SQL of the schema and the written text stable.
#include "FuzzTarget.h"

#include "search/Filter.h"
#include "search/StoredSearchText.h"
#include "service/Schema.h"

#include <QCoreApplication>
#include <QDate>

#include <cstdio>

#include <sqlite3.h>

namespace {

sqlite3* g_schema = nullptr; // in memory, no rows: only the statement's form is checked

// The client registers its accent folding on every connection; the statement names it.
void SameText(sqlite3_context* context, int, sqlite3_value** values)
{
    sqlite3_result_value(context, values[0]);
}

TFilterEnv Env()
{
    TFilterEnv env;
    env.DataDate = QDate(2026, 3, 15);
    env.Rate = [](int index) -> std::optional<double> {
        if (index == 0)
            return 1.0;
        if (index == 1)
            return 1052.5;
        if (index == 2)
            return 0.001;
        return std::nullopt;
    };
    return env;
}

// Lists as a panel shows them: each code once, one negative code as the "Estado" list has.
QList<TFilterEntry> Lists(int list, const TFilterState&)
{
    QList<TFilterEntry> entries;
    for (const int code : {1, 2, 3, 4, 22, 35, 100})
        entries << TFilterEntry{code + (list == FilterList::Estado && code == 100 ? -1099 : 0), QStringLiteral("x")};
    return entries;
}

void CheckStatement(const TFilterState& state, const TFilterEnv& env)
{
    const QByteArray sql = BuildFilterStatement(state, env).Sql().toUtf8();
    sqlite3_stmt* statement = nullptr;
    const char* tail = nullptr;
    const int rc = sqlite3_prepare_v2(g_schema, sql.constData(), int(sql.size()), &statement, &tail);
    if (rc != SQLITE_OK) {
        std::fprintf(stderr, "statement: %s\nerror: %s\n", sql.constData(), sqlite3_errmsg(g_schema));
        FuzzFailure("the filter's statement does not prepare");
    }
    // One statement only: a text that ends it and starts another is SQL of its own.
    FUZZ_CHECK(tail && QByteArray(tail).trimmed().isEmpty());
    const int step = sqlite3_step(statement);
    sqlite3_finalize(statement);
    FUZZ_CHECK(step == SQLITE_DONE || step == SQLITE_ROW);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    UseThrowAwayRoot();
    if (sqlite3_open(":memory:", &g_schema) != SQLITE_OK)
        FuzzFailure("no in-memory database");
    sqlite3_create_function_v2(g_schema, "REMOVE_ACCENTS", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, &SameText,
                               nullptr, nullptr, nullptr);
    Schema::Create(g_schema);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const TFilterEnv env = Env();
    TFilterState state = ApplySearchParameters(text, env, Lists);
    if (SearchTextUnsearchable(text))
        return 0; // refused by the callers before any statement is built
    CheckStatement(state, env);
    const auto read = [&](const QString& from) {
        TFilterState state = ApplySearchParameters(from, env, Lists);
        NormaliseFilter(state, env);
        return state;
    };
    const TFilterState first = read(text);
    const QString written = ComposeSearchParameters(first, env);
    if (written.isEmpty())
        return 0;
    // The written text holds the whole filter. Only a damaged text's date range may still
    // change: a reversed one past the data date is turned round before the calendars' limits
    // apply on the next reading.
    TFilterState second = read(written);
    second.Ingreso = first.Ingreso;
    second.Modificado = first.Modificado;
    if (!(second == first)) {
        std::fprintf(stderr, "written: %s\n", qUtf8Printable(written));
        FuzzFailure("the written parameter text loses part of the filter");
    }
    // From the second writing on, the text is in the form the program writes and reads back
    // to itself.
    const QString settled = ComposeSearchParameters(read(written), env);
    const QString again = ComposeSearchParameters(read(settled), env);
    if (again != settled) {
        std::fprintf(stderr, "settled: %s\nagain:   %s\n", qUtf8Printable(settled), qUtf8Printable(again));
        FuzzFailure("the parameter text does not read back to itself");
    }
    TFilterState reread = ApplySearchParameters(settled, env, Lists);
    CheckStatement(reread, env);
    return 0;
}
