#include "sync/Import.h"

#include "core/Bugs.h"
#include "core/MiscFunc.h"
#include "core/uTypes.h"
#include "db/InstallContext.h"
#include "db/uDB.h"
#include "records/PhotoFiles.h"
#include "sync/Sync.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>

#include <nlohmann/json.hpp>
#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <istream>
#include <limits>
#include <set>
#include <stdexcept>
#include <streambuf>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

const QString kCode = u"$3030"_s;

// The piece of the answer read at a time, in both passes.
constexpr qsizetype kImportChunk = 64 * 1024;

// Names the service gives are used in statements as they come; they must be plain
// identifiers so that an answer can never carry SQL of its own.
bool IsIdentifier(const std::string& name)
{
    static const QRegularExpression identifier(u"^`?[A-Za-z_][A-Za-z0-9_]*`?$"_s);
    return identifier.match(QString::fromStdString(name)).hasMatch();
}

// The tables the service keeps in step with this installation. The settings row belongs to the
// installation and the marks to its users: an answer naming either (or any other table of the
// file) would overwrite local state that exists nowhere else, so no answer may touch them.
bool IsSyncedTable(const std::string& name)
{
    static const char* const synced[] = {
        "W_Paises",       "W_Provincias",  "W_Partidos",      "W_Localidades",      "W_Zonas",
        "W_Calles",       "W_Barrios",     "W_Edificaciones", "W_Situaciones",      "W_MotivosStandby",
        "W_MotivosBaja",  "W_Monedas",     "W_TipoCampos",    "W_DetalleEdif",      "W_Inmobiliarias",
        "W_Usuarios",     "W_Propiedades", "W_Fotos",         "W_MasDatos",         "W_Clientes",
        "W_Propietarios", "W_Filtros",     "W_Selecciones",   "W_SeleccionesProps", "W_SeleccionesCompartidas",
        "W_Zonaprop",     "W_Mensajes"};
    return std::any_of(std::begin(synced), std::end(synced), [&](const char* t) { return name == t; });
}

std::string Bare(const std::string& name)
{
    std::string out;
    for (const char c : name)
        if (c != '`')
            out += c;
    return out;
}

std::vector<std::string> SplitComma(const std::string& text)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        const size_t comma = text.find(',', start);
        std::string part = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        // Trim blanks the service may leave after commas.
        const size_t first = part.find_first_not_of(' ');
        const size_t last = part.find_last_not_of(' ');
        parts.push_back(first == std::string::npos ? std::string() : part.substr(first, last - first + 1));
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return parts;
}

// An IN (...) list: integers stay bare, anything else becomes a quoted literal.
QString SqlList(const std::string& list)
{
    QStringList items;
    for (const std::string& item : SplitComma(list)) {
        if (item.empty())
            continue;
        qint64 value = 0;
        const auto [end, ec] = std::from_chars(item.data(), item.data() + item.size(), value);
        if (ec == std::errc() && end == item.data() + item.size())
            items << QString::number(value);
        else
            items << u"\""_s + EscapeSql(QString::fromStdString(item)) + u"\""_s;
    }
    return items.join(u',');
}

// What a first pass over the answer (strings skipped, nesting counted) tells before
// anything is written: the tables that have a block, and the faults that would otherwise
// only show once earlier tables were already committed.
struct AnswerOutline {
    std::set<std::string> blocks; // top-level members holding an object, of tables we keep in step
    std::string lateClearing;     // a block whose "Truncate" or "PropList" follows its "Count"
    bool escapedName = false;     // a member name this pass cannot read as the parser will
};

// Reads the answer piece by piece, keeping only a few short names of it: the limits are
// checked here, so the parse that writes never meets a value it would have to hold whole.
class OutlineReader {
public:
    explicit OutlineReader(const TImportLimits& limits) : m_limits(limits) {}

    AnswerOutline outline;
    QString error;
    bool tooLarge = false;

    bool Feed(const char* p, qsizetype n)
    {
        m_total += n;
        if (m_total > m_limits.maxAnswer) {
            tooLarge = true;
            error = u"The answer is larger than %1 bytes."_s.arg(m_limits.maxAnswer);
            return false;
        }
        for (const char* const end = p + n; p < end; ++p)
            if (!Step(*p))
                return false;
        return true;
    }

private:
    // Names longer than this are none that the pass compares (tables, "Count", ...).
    static constexpr size_t kNameMax = 128;

    bool Step(char c)
    {
        if (m_inString) {
            if (m_escapeNext) {
                m_escapeNext = false;
            } else if (c == '\\') {
                m_escapeNext = true;
                m_lastEscaped = true;
            } else if (c == '"') {
                m_inString = false;
                return true;
            }
            if (++m_valueLength > m_limits.maxValue)
                return ValueTooLong();
            if (m_lastString.size() <= kNameMax)
                m_lastString += c;
            return true;
        }
        if (c == '"') {
            m_inString = true;
            m_lastEscaped = false;
            m_lastString.clear();
            m_valueLength = 0;
            m_tokenLength = 0;
            return true;
        }
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            m_tokenLength = 0;
            return true;
        }
        const bool structural = c == ':' || c == ',' || c == '{' || c == '}' || c == '[' || c == ']';
        if (!structural) {
            // A number or a literal: the parser holds it whole too.
            if (++m_tokenLength > m_limits.maxValue)
                return ValueTooLong();
        } else {
            m_tokenLength = 0;
        }
        if (c == ':' && (m_depth == 1 || (m_depth == 2 && m_inBlock))) {
            // The genuine service never escapes a name; one that is escaped could hide a
            // table or a member from this pass and is refused.
            if (m_lastEscaped)
                outline.escapedName = true;
            if (m_depth == 1) {
                m_key = m_lastString;
                m_lastWasKey = true;
            } else if (m_lastString == "Count") {
                m_counted = true;
            } else if (m_counted && (m_lastString == "Truncate" || m_lastString == "PropList") &&
                       outline.lateClearing.empty()) {
                outline.lateClearing = m_key;
            }
            return true;
        }
        if (c == '{' || c == '[') {
            if (c == '{' && m_depth == 1 && m_lastWasKey) {
                if (m_key.size() <= kNameMax && IsSyncedTable(Bare(m_key)))
                    outline.blocks.insert(m_key);
                m_inBlock = true;
                m_counted = false;
            }
            if (++m_depth > m_limits.maxDepth) {
                error = u"The answer nests deeper than %1 levels."_s.arg(m_limits.maxDepth);
                return false;
            }
        } else if (c == '}' || c == ']') {
            --m_depth;
            if (m_depth <= 1)
                m_inBlock = false;
        }
        m_lastWasKey = false;
        return true;
    }

    bool ValueTooLong()
    {
        error = u"A value of the answer is longer than %1 bytes."_s.arg(m_limits.maxValue);
        return false;
    }

    const TImportLimits& m_limits;
    qsizetype m_total = 0;
    bool m_inString = false;
    bool m_escapeNext = false;
    bool m_lastEscaped = false;
    std::string m_lastString; // at most kNameMax + 1 characters of the last string
    qsizetype m_valueLength = 0;
    qsizetype m_tokenLength = 0;
    int m_depth = 0;
    bool m_lastWasKey = false; // a depth-1 string followed by ':'
    std::string m_key;
    bool m_inBlock = false; // depth 2 is a table block
    bool m_counted = false;
};

// The answer as the parser reads it, a piece at a time, with every byte above 127 taken as
// not ASCII: anything else only survives as a \u escape.
class AsciiStreamBuf : public std::streambuf {
public:
    explicit AsciiStreamBuf(TByteSource& source) : m_source(source), m_buffer(kImportChunk) {}
    bool Failed() const { return m_failed; }

protected:
    int_type underflow() override
    {
        if (gptr() < egptr())
            return traits_type::to_int_type(*gptr());
        const qsizetype n = m_source.Read(m_buffer.data(), qsizetype(m_buffer.size()));
        if (n <= 0) {
            m_failed = n < 0;
            return traits_type::eof();
        }
        for (qsizetype i = 0; i < n; ++i)
            if (static_cast<unsigned char>(m_buffer[size_t(i)]) > 127)
                m_buffer[size_t(i)] = '?';
        setg(m_buffer.data(), m_buffer.data(), m_buffer.data() + n);
        return traits_type::to_int_type(*gptr());
    }

private:
    TByteSource& m_source;
    std::vector<char> m_buffer;
    bool m_failed = false;
};

struct HookState {
    qint64 position = 0;
    QElapsedTimer clock;
};

void UpdateHook(void* context, int, const char*, const char*, sqlite3_int64)
{
    auto* state = static_cast<HookState*>(context);
    ++state->position;
    if (state->clock.elapsed() > 250) {
        SinkProgress(-1, state->position);
        QCoreApplication::processEvents();
        state->clock.restart();
    }
}

class ImportFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads the answer member by member in document order and writes each table as its block
// arrives, so a large answer is never held a second time as a document tree.
class ImportHandler : public nlohmann::json_sax<nlohmann::json> {
public:
    ImportHandler(sqlite3* db, int localVersion, HookState& hook, AnswerOutline outline)
        : m_db(db), m_localVersion(localVersion), m_hook(hook), m_outline(std::move(outline))
    {}
    ~ImportHandler() override { Discard(); }

    TImportResult result;
    bool nothingToDo = false;
    QString failure; // set when the import stopped on an error

    bool null() override { return Scalar(std::string(), true); }
    bool boolean(bool value) override { return Scalar(value ? "1" : "0", false); }
    bool number_integer(number_integer_t value) override { return Scalar(std::to_string(value), false); }
    bool number_unsigned(number_unsigned_t value) override { return Scalar(std::to_string(value), false); }
    bool number_float(number_float_t, const string_t& text) override { return Scalar(text, false); }
    bool string(string_t& value) override { return Scalar(value, false); }
    bool binary(binary_t&) override { return Scalar(std::string(), true); }

    bool start_object(std::size_t) override
    {
        ++m_depth;
        if (m_depth == 1)
            return true;
        if (m_depth == 2 && m_skipDepth == 0) {
            if (!ReadyForTables())
                return false;
            if (std::find(m_tables.begin(), m_tables.end(), m_key) == m_tables.end()) {
                m_skipDepth = m_depth; // not announced: not ours to import
                return true;
            }
            return BeginBlock(m_key);
        }
        if (m_skipDepth == 0)
            m_skipDepth = m_depth;
        return true;
    }

    bool end_object() override
    {
        if (m_skipDepth == m_depth)
            m_skipDepth = 0;
        else if (m_depth == 2 && m_block)
            if (!EndBlock())
                return false;
        --m_depth;
        if (m_depth == 0 && !nothingToDo && !ReadyForTables())
            return false;
        return true;
    }

    bool start_array(std::size_t) override
    {
        if (m_depth == 0)
            return NotAnObject();
        ++m_depth;
        if (m_skipDepth == 0)
            m_skipDepth = m_depth;
        return true;
    }

    bool end_array() override
    {
        if (m_skipDepth == m_depth)
            m_skipDepth = 0;
        --m_depth;
        return true;
    }

    bool key(string_t& name) override
    {
        m_key = name;
        return true;
    }

    bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception& e) override
    {
        return Fail(u"Malformed answer at byte %1: %2"_s.arg(position).arg(QString::fromUtf8(e.what())));
    }

private:
    struct Block {
        std::string table;
        bool truncate = false;
        std::string propList;
        std::vector<std::string> fields;
        std::string fieldsText;
        std::vector<int> types; // 0 text, 1 int, 2 real
        bool counted = false;
        qint64 count = 0;
        qint64 rows = 0;
        bool inTransaction = false;
        sqlite3_stmt* remove = nullptr;
        sqlite3_stmt* insert = nullptr;
    };

    bool Scalar(const std::string& value, bool isNull)
    {
        if (m_depth == 0)
            return NotAnObject();
        if (m_skipDepth != 0)
            return true;
        if (m_depth == 1)
            return TopMember(value, isNull);
        if (m_depth == 2 && m_block)
            return BlockMember(value);
        return true;
    }

    // Parsed as a whole, anything but an object would pass for an answer with no tables.
    bool NotAnObject() { return Fail(u"The answer is not an object."_s); }

    bool TopMember(const std::string& value, bool isNull)
    {
        if (m_key == "DBVer") {
            m_dbVer = ParseInt(value, isNull);
            if (!m_dbVer)
                return Fail(u"\"DBVer\" is not a number."_s);
            // The version is stored and sent back as a 32-bit number, and -1 means "never
            // imported": a version outside 0 .. 2^31-1 would make the next synchronisation
            // ask for everything again, or for a version the service never gave.
            if (*m_dbVer < 0 || *m_dbVer > std::numeric_limits<qint32>::max())
                return Fail(u"\"DBVer\" %1 is out of range."_s.arg(*m_dbVer));
        } else if (m_key == "Data_Type") {
            m_dataType = ParseInt(value, isNull);
            if (!m_dataType)
                return Fail(u"\"Data_Type\" is not a number."_s);
        } else if (m_key == "ServerTime") {
            m_serverTime = value;
        } else if (m_key == "Tables") {
            m_tables = SplitComma(value);
            m_tablesSeen = true;
        }
        return true;
    }

    static std::optional<qint64> ParseInt(const std::string& text, bool isNull)
    {
        if (isNull)
            return std::nullopt;
        qint64 value = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (ec != std::errc() || end != text.data() + text.size())
            return std::nullopt;
        return value;
    }

    // Before the first table: the version rule decides whether anything is to be done.
    bool ReadyForTables()
    {
        if (m_decided)
            return true;
        if (!m_dbVer || !m_dataType)
            return Fail(u"The answer lacks \"DBVer\" or \"Data_Type\"."_s);
        m_decided = true;
        result.dataVersion = static_cast<int>(*m_dbVer);
        if (*m_dataType != 0 && m_localVersion >= *m_dbVer) {
            nothingToDo = true;
            return false; // stop reading: the local data is current
        }
        if (!m_tablesSeen)
            return Fail(u"The answer lacks \"Tables\"."_s);
        if (m_outline.escapedName)
            return Fail(u"The answer escapes a member name."_s);
        for (const std::string& table : m_tables)
            if (!table.empty() && !IsSyncedTable(Bare(table)))
                return Fail(u"Table %1 is not one the service keeps in step."_s.arg(QString::fromStdString(table)));
        if (!m_outline.lateClearing.empty())
            return Fail(u"\"Truncate\" or \"PropList\" of %1 comes after \"Count\"."_s.arg(
                QString::fromStdString(m_outline.lateClearing)));
        // A table that is announced but missing would leave its changes behind for good once
        // the data version moves on: the answer is malformed and nothing of it is applied.
        for (const std::string& table : m_tables)
            if (!table.empty() && m_outline.blocks.count(table) == 0)
                return Fail(u"Table %1 is named in \"Tables\" but absent from the answer."_s.arg(
                    QString::fromStdString(table)));
        result.serverTime = QString::fromStdString(m_serverTime);
        WriteLog(kCode, u"DBVer=%1"_s.arg(*m_dbVer));
        SinkLog(u"Versión de datos %1"_s.arg(*m_dbVer));
        return true;
    }

    bool BeginBlock(const std::string& table)
    {
        if (!IsIdentifier(table))
            return Fail(u"Invalid table name \"%1\"."_s.arg(QString::fromStdString(table)));
        if (!IsSyncedTable(Bare(table)))
            return Fail(u"Table %1 is not one the service keeps in step."_s.arg(QString::fromStdString(table)));
        m_block = std::make_unique<Block>();
        m_block->table = Bare(table);
        return true;
    }

    bool BlockMember(const std::string& value)
    {
        Block& b = *m_block;
        const QString table = QString::fromStdString(b.table);
        if ((m_key == "Truncate" || m_key == "PropList") && b.counted) {
            // Its rows are already in: honouring it now would delete them, ignoring it would
            // keep rows the service meant to remove.
            return FailTable(u"\"%1\" of %2 comes after \"Count\"."_s.arg(QString::fromStdString(m_key), table));
        } else if (m_key == "Truncate") {
            b.truncate = value == "1";
        } else if (m_key == "PropList") {
            b.propList = value;
        } else if (m_key == "Fields") {
            b.fields = SplitComma(value);
            b.fieldsText = value;
            for (const std::string& field : b.fields)
                if (!IsIdentifier(field))
                    return FailTable(u"Invalid field name \"%1\"."_s.arg(QString::fromStdString(field)));
        } else if (m_key == "Types") {
            b.types.clear();
            for (const std::string& type : SplitComma(value))
                b.types.push_back(type == "int" ? 1 : type == "real" ? 2 : 0);
        } else if (m_key == "Count") {
            const auto count = ParseInt(value, false);
            if (!count || *count < 0)
                return FailTable(u"\"Count\" of %1 is not a number."_s.arg(table));
            if (b.fields.empty() || b.types.size() != b.fields.size())
                return FailTable(u"Fields and types of %1 do not match."_s.arg(table));
            b.count = *count;
            b.counted = true;
            WriteLog(kCode, u"Table %1: %2 records received."_s.arg(table, FormatThousands(double(b.count))));
            if (b.count > 0)
                SinkLog(TableDisplayName(table) + u", "_s + FormatThousands(double(b.count)) + u" registros"_s);
            const qint64 listed = b.propList.empty() ? 0 : qint64(SplitComma(b.propList).size());
            SinkProgress(b.count + (listed > 1 ? listed : 0), 0);
            SinkStatus(u"Actualizando %1..."_s.arg(TableDisplayName(table)));
            m_hook.position = 0;
            m_hook.clock.restart();
            if (!Begin() || !ClearFirst() || !Prepare())
                return false;
        } else if (!m_key.empty() && std::all_of(m_key.begin(), m_key.end(), ::isdigit)) {
            if (!b.counted)
                return FailTable(u"A row of %1 comes before \"Count\"."_s.arg(table));
            return InsertRow(value);
        }
        return true;
    }

    bool Begin()
    {
        if (sqlite3_exec(m_db, "BEGIN;", nullptr, nullptr, nullptr) != SQLITE_OK)
            return FailTable(QString::fromUtf8(sqlite3_errmsg(m_db)));
        m_block->inTransaction = true;
        return true;
    }

    // Truncate and delete-by-list come before the rows, inside the table's transaction.
    bool ClearFirst()
    {
        Block& b = *m_block;
        const QString table = QString::fromStdString(b.table);
        if (b.truncate) {
            const QByteArray sql = "DELETE FROM `" + QByteArray::fromStdString(b.table) + "`;";
            if (sqlite3_exec(m_db, sql.constData(), nullptr, nullptr, nullptr) != SQLITE_OK) {
                WriteLog(u"$3029"_s, u"Can't truncate table "_s + table);
                return FailTable(QString::fromUtf8(sqlite3_errmsg(m_db)));
            }
        }
        if (!b.propList.empty()) {
            if (b.table == "W_Fotos") {
                if (!DeletePhotosOfProperties(QString::fromStdString(b.propList)))
                    return FailTable(u"Can't delete records from table "_s + table + u" ("_s +
                                     QString::fromStdString(b.propList) + u")"_s);
            } else {
                const QString list = SqlList(b.propList);
                if (!list.isEmpty() && !b.fields.empty()) {
                    const QByteArray sql = u"DELETE FROM `%1` WHERE `%2` IN (%3);"_s
                                               .arg(table, QString::fromStdString(Bare(b.fields.front())), list)
                                               .toUtf8();
                    if (sqlite3_exec(m_db, sql.constData(), nullptr, nullptr, nullptr) != SQLITE_OK) {
                        WriteLog(u"$3032"_s, u"Can't delete records from table "_s + table + u" ("_s +
                                                 QString::fromStdString(b.propList) + u")"_s);
                        return FailTable(QString::fromUtf8(sqlite3_errmsg(m_db)));
                    }
                }
            }
        }
        return true;
    }

    bool Prepare()
    {
        Block& b = *m_block;
        if (b.count == 0)
            return true;
        const QByteArray table = QByteArray::fromStdString(b.table);
        if (!b.truncate && b.propList.empty()) {
            const QByteArray sql =
                "DELETE FROM " + table + " WHERE `" + QByteArray::fromStdString(Bare(b.fields.front())) + "`=?1;";
            if (sqlite3_prepare_v2(m_db, sql.constData(), -1, &b.remove, nullptr) != SQLITE_OK)
                return FailTable(QString::fromUtf8(sqlite3_errmsg(m_db)));
        }
        QByteArray sql = "INSERT INTO " + table + " (" + QByteArray::fromStdString(b.fieldsText) + ") VALUES (";
        for (size_t i = 1; i <= b.fields.size(); ++i)
            sql += "?" + QByteArray::number(qulonglong(i)) + ",";
        sql.chop(1);
        sql += ");";
        if (sqlite3_prepare_v2(m_db, sql.constData(), -1, &b.insert, nullptr) != SQLITE_OK)
            return FailTable(QString::fromUtf8(sqlite3_errmsg(m_db)));
        return true;
    }

    bool Bind(sqlite3_stmt* statement, int index, int type, const char* begin, size_t length)
    {
        if (length == 0)
            return sqlite3_bind_null(statement, index) == SQLITE_OK;
        if (type == 1) {
            qint64 value = 0;
            const auto [end, ec] = std::from_chars(begin, begin + length, value);
            if (ec != std::errc() || end != begin + length)
                return false;
            return sqlite3_bind_int64(statement, index, value) == SQLITE_OK;
        }
        if (type == 2) {
            char buffer[64];
            const size_t n = std::min(length, sizeof buffer - 1);
            std::memcpy(buffer, begin, n);
            buffer[n] = '\0';
            for (size_t i = 0; i < n; ++i)
                if (buffer[i] == ',')
                    buffer[i] = '.';
            char* end = nullptr;
            double value = std::strtod(buffer, &end);
            if (end != buffer + n)
                value = 0; // an unparsable real counts as 0
            return sqlite3_bind_double(statement, index, value) == SQLITE_OK;
        }
        // The row text outlives the step that uses it.
        return sqlite3_bind_text(statement, index, begin, int(length), SQLITE_STATIC) == SQLITE_OK;
    }

    bool InsertRow(const std::string& row)
    {
        Block& b = *m_block;
        const QString table = QString::fromStdString(b.table);
        if (b.rows >= b.count)
            return FailTable(u"%1 has more rows than \"Count\"."_s.arg(table));
        const char* p = row.data();
        const char* end = p + row.size();
        size_t field = 0;
        const char* firstBegin = nullptr;
        size_t firstLength = 0;
        while (true) {
            const char* tilde = static_cast<const char*>(std::memchr(p, '~', size_t(end - p)));
            const char* stop = tilde ? tilde : end;
            if (field >= b.fields.size())
                return FailTable(u"A row of %1 has more fields than declared."_s.arg(table));
            if (field == 0) {
                firstBegin = p;
                firstLength = size_t(stop - p);
            }
            if (!Bind(b.insert, int(field) + 1, b.types[field], p, size_t(stop - p)))
                return FailTable(
                    u"Row %1 of %2: \"%3\" is not a valid %4."_s.arg(b.rows + 1)
                        .arg(table, QString::fromUtf8(p, int(stop - p)), QString::fromStdString(b.fields[field])));
            ++field;
            if (!tilde)
                break;
            p = tilde + 1;
        }
        if (field != b.fields.size())
            return FailTable(u"A row of %1 has %2 fields instead of %3."_s.arg(table).arg(field).arg(b.fields.size()));
        if (b.remove) {
            Bind(b.remove, 1, b.types[0], firstBegin, firstLength);
            if (sqlite3_step(b.remove) != SQLITE_DONE)
                return FailTable(QString::fromUtf8(sqlite3_errmsg(m_db)));
            sqlite3_reset(b.remove);
        }
        if (sqlite3_step(b.insert) != SQLITE_DONE)
            return FailTable(QString::fromUtf8(sqlite3_errmsg(m_db)));
        sqlite3_reset(b.insert);
        ++b.rows;
        return true;
    }

    bool EndBlock()
    {
        Block& b = *m_block;
        const QString table = QString::fromStdString(b.table);
        if (!b.counted) {
            // A block without rows still commits its truncate and delete work.
            if (!Begin() || !ClearFirst())
                return false;
        }
        if (b.rows != b.count)
            return FailTable(u"%1 announced %2 rows and sent %3."_s.arg(table).arg(b.count).arg(b.rows));
        Finalize();
        if (sqlite3_exec(m_db, "COMMIT;", nullptr, nullptr, nullptr) != SQLITE_OK)
            return FailTable(QString::fromUtf8(sqlite3_errmsg(m_db)));
        b.inTransaction = false;
        SinkProgress(-1, b.count + (b.propList.empty() ? 0 : qint64(SplitComma(b.propList).size())));
        result.tablesDone << table;
        m_block.reset();
        return true;
    }

    void Finalize()
    {
        if (!m_block)
            return;
        sqlite3_finalize(m_block->remove);
        sqlite3_finalize(m_block->insert);
        m_block->remove = m_block->insert = nullptr;
    }

    void Discard()
    {
        if (!m_block)
            return;
        Finalize();
        if (m_block->inTransaction) {
            sqlite3_exec(m_db, "ROLLBACK;", nullptr, nullptr, nullptr);
            WriteLog(kCode, u"ROLLBACK"_s);
        }
        m_block.reset();
    }

    bool FailTable(const QString& message)
    {
        const QString table = m_block ? QString::fromStdString(m_block->table) : QString();
        WriteLog(kCode, u"Commit of table "_s + table + u" failed. ("_s + message + u")"_s);
        Discard();
        failure = message;
        return false;
    }

    bool Fail(const QString& message)
    {
        if (m_block)
            return FailTable(message);
        WriteLog(kCode, message);
        failure = message;
        return false;
    }

    sqlite3* m_db;
    int m_localVersion;
    HookState& m_hook;
    int m_depth = 0;
    int m_skipDepth = 0;
    std::string m_key;
    std::optional<qint64> m_dbVer;
    std::optional<qint64> m_dataType;
    std::string m_serverTime;
    std::vector<std::string> m_tables;
    AnswerOutline m_outline;
    bool m_tablesSeen = false;
    bool m_decided = false;
    std::unique_ptr<Block> m_block;
};

} // namespace

TImportLimits& ImportLimits()
{
    static TImportLimits limits;
    return limits;
}

TImportResult ImportTables(TByteSource& answer, int localDataVersion, const TImportLimits& limits)
{
    QElapsedTimer clock;
    clock.start();
    TImportResult result;
    SinkLog(u"Procesando los datos recibidos..."_s);
    SinkStatus(u"Procesando los datos recibidos..."_s);
    const auto failed = [&](const QString& error) {
        WriteLog(kCode, error);
        result.error = error;
    };

    TDataBase* db = DB();
    sqlite3* handle = db && db->Connected() ? db->Handle() : nullptr;
    if (!handle) {
        failed(u"The database is not open."_s);
    } else {
        // First the whole answer is read once without writing: its size, its checksum and
        // its outline must be sound before the first table is touched, since each table
        // commits on its own and the data version must not move past a half-applied answer.
        OutlineReader outline(limits);
        bool sound = answer.Rewind();
        if (sound) {
            std::vector<char> chunk(kImportChunk);
            QElapsedTimer responsive;
            responsive.start();
            qsizetype n = 0;
            while ((n = answer.Read(chunk.data(), qsizetype(chunk.size()))) > 0) {
                if (!outline.Feed(chunk.data(), n))
                    break;
                if (responsive.elapsed() > 250) {
                    QCoreApplication::processEvents();
                    responsive.restart();
                }
            }
            if (n < 0) {
                result.tooLarge = answer.TooLarge();
                failed(answer.Error());
                sound = false;
            } else if (!outline.error.isEmpty()) {
                result.tooLarge = outline.tooLarge;
                failed(outline.error);
                sound = false;
            }
        } else {
            failed(answer.Error().isEmpty() ? u"The answer cannot be read again."_s : answer.Error());
        }
        if (sound && !answer.Rewind()) {
            failed(u"The answer cannot be read again."_s);
            sound = false;
        }
        if (sound) {
            HookState hook;
            hook.clock.start();
            sqlite3_update_hook(handle, &UpdateHook, &hook);
            ImportHandler handler(handle, localDataVersion, hook, std::move(outline.outline));
            AsciiStreamBuf buffer(answer);
            std::istream in(&buffer);
            bool parsed = false;
            try {
                parsed = nlohmann::json::sax_parse(in, &handler);
            } catch (const std::exception& e) {
                handler.failure = QString::fromUtf8(e.what());
                WriteLog(kCode, handler.failure);
            }
            sqlite3_update_hook(handle, nullptr, nullptr);
            result = handler.result;
            if (buffer.Failed()) {
                // The source failed the second time through: what it says is the reason.
                result.error = answer.Error();
                WriteLog(kCode, result.error);
                result.tooLarge = answer.TooLarge();
                parsed = false;
            } else {
                result.error = handler.failure;
            }
            if (handler.nothingToDo) {
                result.ok = true;
                result.changed = false;
            } else {
                result.ok = parsed && handler.failure.isEmpty() && !buffer.Failed();
                result.changed = result.ok;
            }
        }
    }
    WriteLog(kCode, u"Elapsed "_s + FormatTwoDecimals(double(clock.elapsed()) / 1000.0) + u" sec."_s);
    SinkStatus(QString());
    QCoreApplication::processEvents();
    return result;
}

TImportResult ImportTables(const QByteArray& answer, int localDataVersion)
{
    TMemorySource source(answer);
    return ImportTables(source, localDataVersion);
}

bool IsSyncedTable(const QString& table)
{
    return IsSyncedTable(table.toStdString());
}

QString TableDisplayName(const QString& table)
{
    QString name;
    for (const QChar c : table.mid(2)) {
        if (c.unicode() <= 90)
            name += u' ';
        name += c;
    }
    name = name.trimmed();
    const std::pair<QString, QString> replacements[] = {
        {u" Edif"_s, u" Edificaciones"_s},
        {u"Paises"_s, u"Países"_s},
        {u"Mas "_s, u"Más "_s},
        {u"Tipologia "_s, u"Tipología "_s},
        {u"Tipo Campos"_s, u"Tipos de campo"_s},
        {u"Z P"_s, u"Zonaprop"_s},
    };
    for (const auto& [from, to] : replacements)
        name.replace(from, to, Qt::CaseInsensitive);
    return name;
}

bool DeletePhotosOfProperties(const QString& propertyCodes, int* deletedFiles)
{
    if (deletedFiles)
        *deletedFiles = 0;
    const QString list = SqlList(propertyCodes.toStdString());
    if (list.isEmpty())
        return true;
    TDataBase* db = DB();
    if (!db)
        return false;
    std::unique_ptr<TResultSet> photos;
    if (!db->QueryNoCount(
            u"SELECT `Foto_Codigo`, `Prop_Codigo` FROM `W_Fotos` WHERE `Prop_Codigo` IN (%1);"_s.arg(list), photos) ||
        !photos)
        return false;
    for (photos->First(); !photos->Eof(); photos->Next()) {
        const QString file = PhotoFileName(photos->AsInt64(u"Prop_Codigo"_s), photos->AsInt64(u"Foto_Codigo"_s));
        if (QFile::exists(file) && DeleteFileLogged(file) && deletedFiles)
            ++*deletedFiles;
    }
    sqlite3* handle = db->Handle();
    const QByteArray sql = u"DELETE FROM `W_Fotos` WHERE `Prop_Codigo` IN (%1);"_s.arg(list).toUtf8();
    return handle && sqlite3_exec(handle, sql.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
}
