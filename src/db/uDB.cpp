#include "db/uDB.h"

#include "core/Bugs.h"
#include "core/Config.h"
#include "core/ErrorReport.h"
#include "core/Guarded.h"
#include "core/MiscFunc.h"
#include "core/uTypes.h"
#include "db/InstallContext.h"

#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {

std::unique_ptr<TDataBase> g_db;
std::function<bool()> g_reloadHook;

const QString kEmptyQuery = u"Query is empty."_s;

QString ErrorText(sqlite3* handle)
{
    return handle ? QString::fromUtf8(sqlite3_errmsg(handle)) : u"out of memory"_s;
}

void RemoveAccentsFunction(sqlite3_context* context, int argc, sqlite3_value** argv)
{
    if (argc != 1 || sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    const int size = sqlite3_value_bytes(argv[0]);
    const QByteArray folded = RemoveAccentsUtf8(QByteArray::fromRawData(text, size));
    sqlite3_result_text(context, folded.constData(), static_cast<int>(folded.size()), SQLITE_TRANSIENT);
}

QDateTime ParseStoredDateTime(const QString& text)
{
    const QString t = text.trimmed();
    for (const QString& format :
         {u"yyyy-MM-dd HH:mm:ss"_s, u"yyyy-MM-dd HH:mm:ss.zzz"_s, u"yyyy-MM-ddTHH:mm:ss"_s, u"yyyy-MM-dd HH:mm"_s}) {
        const QDateTime value = QDateTime::fromString(t, format);
        if (value.isValid())
            return value;
    }
    const QDate date = QDate::fromString(t, u"yyyy-MM-dd"_s);
    return date.isValid() ? date.startOfDay() : QDateTime();
}

} // namespace

// ---------------------------------------------------------------------------------------
// TResultSet

QString TResultSet::FieldName(int column) const
{
    return column >= 0 && column < FieldCount() ? m_columns[column].name : QString();
}

QString TResultSet::DeclaredType(int column) const
{
    return column >= 0 && column < FieldCount() ? m_columns[column].declared : QString();
}

int TResultSet::FieldIndex(const QString& name) const
{
    return m_index.value(name.toLower(), -1);
}

void TResultSet::Next()
{
    if (m_rowCount == 0)
        return;
    m_bof = false;
    if (m_row + 1 < m_rowCount)
        ++m_row;
    else
        m_eof = true;
}

void TResultSet::Prior()
{
    if (m_rowCount == 0)
        return;
    m_eof = false;
    if (m_row > 0)
        --m_row;
    else
        m_bof = true;
}

bool TResultSet::Seek(int row)
{
    if (row < 0 || row >= m_rowCount)
        return false;
    m_row = row;
    m_eof = false;
    m_bof = row == 0;
    return true;
}

namespace {

constexpr quint32 kTextChunk = 1u << 20;
// Short texts that repeat (the joined names of agencies, places, building types) are kept
// once per column; a column stops collecting once it shows itself to be mostly distinct.
constexpr quint32 kInternLength = 64;
constexpr qsizetype kInternLimit = 4096;

} // namespace

const char* TResultSet::TextAt(quint64 offset) const
{
    return m_chunks[size_t(offset >> 32)].get() + (offset & 0xFFFFFFFFu);
}

quint64 TResultSet::StoreText(const char* data, quint32 size)
{
    if (m_chunks.empty() || m_chunkUsed + size > m_chunkSize) {
        m_chunkSize = std::max(kTextChunk, size);
        m_chunks.push_back(std::make_unique<char[]>(m_chunkSize));
        m_chunkUsed = 0;
    }
    const quint64 offset = (quint64(m_chunks.size() - 1) << 32) | m_chunkUsed;
    if (size > 0)
        std::memcpy(m_chunks.back().get() + m_chunkUsed, data, size);
    m_chunkUsed += size;
    return offset;
}

const TResultSet::Cell* TResultSet::CellAt(int column) const
{
    if (column < 0 || column >= FieldCount() || m_rowCount == 0)
        return nullptr;
    return &m_cells[static_cast<size_t>(m_row) * m_columns.size() + column];
}

bool TResultSet::IsNullAt(int column) const
{
    const Cell* cell = CellAt(column);
    return !cell || cell->type == CellType::Null ||
           ((cell->type == CellType::Text || cell->type == CellType::Blob) && cell->length == 0);
}

QString TResultSet::AsStringAt(int column) const
{
    const Cell* cell = CellAt(column);
    if (!cell)
        return {};
    switch (cell->type) {
    case CellType::Null:
        return {};
    case CellType::Integer:
        if (m_columns[column].boolean)
            return cell->integer != 0 ? u"True"_s : u"False"_s;
        return QString::number(cell->integer);
    case CellType::Float:
        return QString::number(cell->real, 'g', QLocale::FloatingPointShortest);
    case CellType::Text:
    case CellType::Blob:
        return QString::fromUtf8(TextOf(*cell), cell->length);
    }
    return {};
}

qint64 TResultSet::AsInt64At(int column) const
{
    const Cell* cell = CellAt(column);
    if (!cell)
        return 0;
    switch (cell->type) {
    case CellType::Integer:
        return cell->integer;
    case CellType::Float:
        return static_cast<qint64>(cell->real);
    case CellType::Text: {
        const QString text = AsStringAt(column).trimmed();
        if (text.compare(u"True"_s, Qt::CaseInsensitive) == 0)
            return 1;
        bool ok = false;
        const qint64 value = text.toLongLong(&ok);
        if (ok)
            return value;
        const double real = text.toDouble(&ok);
        return ok ? static_cast<qint64>(real) : 0;
    }
    default:
        return 0;
    }
}

double TResultSet::AsFloatAt(int column) const
{
    const Cell* cell = CellAt(column);
    if (!cell)
        return 0;
    switch (cell->type) {
    case CellType::Integer:
        return static_cast<double>(cell->integer);
    case CellType::Float:
        return cell->real;
    case CellType::Text: {
        bool ok = false;
        const double value = AsStringAt(column).trimmed().toDouble(&ok);
        return ok ? value : 0;
    }
    default:
        return 0;
    }
}

bool TResultSet::AsBooleanAt(int column) const
{
    const Cell* cell = CellAt(column);
    if (!cell)
        return false;
    if (cell->type == CellType::Text) {
        const QString text = AsStringAt(column).trimmed();
        return text.compare(u"True"_s, Qt::CaseInsensitive) == 0 || text == u"1"_s;
    }
    return AsInt64At(column) != 0;
}

QDateTime TResultSet::AsDateTimeAt(int column) const
{
    const Cell* cell = CellAt(column);
    if (!cell || cell->type != CellType::Text)
        return {};
    return ParseStoredDateTime(AsStringAt(column));
}

QByteArray TResultSet::AsBytesAt(int column) const
{
    const Cell* cell = CellAt(column);
    if (!cell || (cell->type != CellType::Text && cell->type != CellType::Blob))
        return {};
    return QByteArray(TextOf(*cell), cell->length);
}

QVariant TResultSet::ValueAt(int column) const
{
    const Cell* cell = CellAt(column);
    if (!cell)
        return {};
    switch (cell->type) {
    case CellType::Null:
        return {};
    case CellType::Integer:
        return m_columns[column].boolean ? QVariant(cell->integer != 0) : QVariant(cell->integer);
    case CellType::Float:
        return cell->real;
    case CellType::Text:
        return AsStringAt(column);
    case CellType::Blob:
        return AsBytesAt(column);
    }
    return {};
}

// ---------------------------------------------------------------------------------------
// TDataBase parts

struct TDataBase::Connection {
    sqlite3* handle = nullptr;
    QHash<QString, QString> parameters;

    void Disconnect()
    {
        if (handle) {
            sqlite3_close_v2(handle);
            handle = nullptr;
        }
    }
    ~Connection() { Disconnect(); }
};

struct TDataBase::DriverLink {
    QString driverId;
};

struct TDataBase::Security {
    QString database;
    QString password;
    bool largeCache = true;

    // What the file's first bytes say: a plain SQLite file announces itself, an encrypted
    // one starts with random salt.
    QString Check() const
    {
        QFile file(database);
        if (!file.exists())
            throw std::runtime_error("El archivo de la base de datos no existe: " + database.toStdString());
        if (!file.open(QIODevice::ReadOnly))
            throw std::runtime_error(file.errorString().toStdString());
        const QByteArray header = file.read(16);
        if (header.isEmpty() || header == QByteArray("SQLite format 3\0", 16))
            return Config::PlainCheckValue;
        return Config::EncryptedCheckValue;
    }
};

struct TDataBase::AccentFunction {
    bool active = false;

    void RegisterOn(sqlite3* handle) const
    {
        if (!active || !handle)
            return;
        const int rc = sqlite3_create_function_v2(handle, "REMOVE_ACCENTS", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                                  nullptr, &RemoveAccentsFunction, nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK)
            throw std::runtime_error(ErrorText(handle).toStdString());
    }
};

namespace {

// Runs a statement that returns nothing of interest; throws with SQLite's message.
void RunSimple(sqlite3* handle, const char* sql)
{
    char* error = nullptr;
    if (sqlite3_exec(handle, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string text = error ? error : sqlite3_errmsg(handle);
        sqlite3_free(error);
        throw std::runtime_error(text);
    }
}

qint64 ReadSingleInt(sqlite3* handle, const char* sql)
{
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(handle, sql, -1, &statement, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(handle));
    qint64 value = 0;
    const int rc = sqlite3_step(statement);
    if (rc == SQLITE_ROW)
        value = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        throw std::runtime_error(sqlite3_errmsg(handle));
    return value;
}

void ApplyKey(sqlite3* handle, const QString& password)
{
    const QByteArray key = password.toUtf8();
    if (sqlite3_key(handle, key.constData(), static_cast<int>(key.size())) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(handle));
}

} // namespace

// ---------------------------------------------------------------------------------------
// TDataBase

TDataBase::TDataBase(const QString& path, const QString& driverId, const QString& password)
{
    try {
        m_path = path;
        m_driverId = driverId;
        m_password = password;
        m_lastError.clear();
        m_connected = false;
        m_connection = std::make_unique<Connection>();
        m_driverLink = std::make_unique<DriverLink>();
        m_security = std::make_unique<Security>();
        m_security->database = path;
        m_accentFunction = std::make_unique<AccentFunction>();
        m_accentFunction->active = true;
    } catch (const std::exception& e) {
        WriteLog(u"$1001"_s, QString::fromUtf8(e.what()));
    }
}

TDataBase::~TDataBase()
{
    try {
        if (m_connected)
            Close();
        m_accentFunction.reset();
        m_security.reset();
        m_driverLink.reset();
        m_connection.reset();
    } catch (const std::exception& e) {
        WriteLog(u"$1002"_s, QString::fromUtf8(e.what()));
    }
}

bool TDataBase::PartsPresent() const
{
    return m_connection && m_driverLink && m_security && m_accentFunction;
}

sqlite3* TDataBase::Handle() const
{
    return m_connection ? m_connection->handle : nullptr;
}

void TDataBase::SetLastError(const QString& code, const QString& text)
{
    m_lastError = text;
    WriteLog(code, text);
}

QString TDataBase::TakeLastError()
{
    QString text = m_lastError;
    m_lastError.clear();
    return text;
}

void TDataBase::SetConnected(bool connected)
{
    if (connected)
        Open();
    else
        Close();
}

bool TDataBase::IsEncrypted()
{
    try {
        if (!PartsPresent())
            throw std::runtime_error(Config::ErrObjectsMissing.toStdString());
        return m_security->Check() == Config::EncryptedCheckValue;
    } catch (const std::exception& e) {
        SetLastError(u"$1006"_s, QString::fromUtf8(e.what()));
        return false;
    }
}

bool TDataBase::Open()
{
    if (!PartsPresent()) {
        SetLastError(u"$1005"_s, Config::ErrObjectsMissing);
        return false;
    }
    if (m_connected)
        Close();
    try {
        Connection& c = *m_connection;
        c.parameters.clear();
        c.parameters.insert(u"Database"_s, m_path);
        c.parameters.insert(u"LockingMode"_s, u"Exclusive"_s);
        c.parameters.insert(u"Synchronous"_s, u"Normal"_s);
        c.parameters.insert(u"SQLiteAdvanced"_s, u"temp_store=MEMORY;journal_mode=DELETE"_s);
        m_driverLink->driverId = m_driverId;
        m_security->database = m_path;
        m_security->password.clear();
        m_security->largeCache = true;

        const bool encrypted = IsEncrypted();
        if (encrypted) {
            m_security->password = m_password;
            c.parameters.insert(u"Password"_s, m_password);
        }

        // The client never creates its database: a missing file is a failure, not a new file.
        const QByteArray file = QFile::encodeName(m_path);
        const int rc = sqlite3_open_v2(file.constData(), &c.handle, SQLITE_OPEN_READWRITE, nullptr);
        if (rc != SQLITE_OK) {
            const QString error = ErrorText(c.handle);
            c.Disconnect();
            throw std::runtime_error(error.toStdString());
        }
        try {
            sqlite3_extended_result_codes(c.handle, 1);
            if (encrypted)
                ApplyKey(c.handle, m_password);
            // The first read proves the key (or that the file is SQLite at all).
            ReadSingleInt(c.handle, "SELECT count(*) FROM sqlite_master;");
            RunSimple(c.handle, "PRAGMA locking_mode=EXCLUSIVE;");
            RunSimple(c.handle, "PRAGMA synchronous=NORMAL;");
            RunSimple(c.handle, "PRAGMA temp_store=MEMORY;");
            RunSimple(c.handle, "PRAGMA journal_mode=DELETE;");
            if (m_security->largeCache)
                RunSimple(c.handle, "PRAGMA cache_size=-65536;");
            // A file cut short still opens; its announced size gives it away.
            const qint64 pages = ReadSingleInt(c.handle, "PRAGMA page_count;");
            const qint64 pageSize = ReadSingleInt(c.handle, "PRAGMA page_size;");
            const qint64 fileSize = QFileInfo(m_path).size();
            if (pageSize > 0 && (fileSize % pageSize != 0 || pages * pageSize > fileSize))
                throw std::runtime_error("database disk image is malformed (truncated file)");
            m_accentFunction->RegisterOn(c.handle);
        } catch (...) {
            c.Disconnect();
            throw;
        }
        m_connected = true;
    } catch (const std::exception& e) {
        m_connected = false;
        SetLastError(u"$1003"_s, QString::fromUtf8(e.what()));
    }
    return m_connected;
}

void TDataBase::Close()
{
    try {
        if (!PartsPresent()) {
            SetLastError(u"$1004"_s, Config::ErrObjectsMissing);
            return;
        }
        m_connection->Disconnect();
        m_connection->parameters.clear();
        m_connected = m_connection->handle != nullptr;
    } catch (const std::exception& e) {
        WriteLog(u"$1004"_s, QString::fromUtf8(e.what()));
    }
}

void TDataBase::LogSql(const QString& code, const QString& sql, const QString& error)
{
    WriteLog(code, u"SQL={"_s + sql + u"}; Error={"_s + error + u"}"_s);
}

bool TDataBase::EnsureOpen(const QString& code, const QString& sql)
{
    if (!PartsPresent()) {
        SetLastError(code, Config::ErrObjectsMissing);
        LogSql(code, sql, Config::ErrObjectsMissing);
        return false;
    }
    if (!m_connected)
        Open();
    if (!m_connected) {
        SetLastError(code, Config::ErrNotConnected);
        LogSql(code, sql, Config::ErrNotConnected);
        return false;
    }
    return true;
}

bool TDataBase::FailChange(const QString& sql, const QString& error)
{
    const QString code = u"$1011"_s;
    sqlite3_exec(m_connection->handle, "ROLLBACK;", nullptr, nullptr, nullptr);
    WriteLog(code, u"ROLLBACK SQL={"_s + sql + u"}"_s);
    SetLastError(code, error + Config::ErrStatementSuffix);
    LogSql(code, sql, error);
    const QString detail = code + u" "_s + error + u"\r\n\r\n"_s + sql;
    WriteDataFileOnce(Config::FailedChangeFileName, Scramble(detail));
    WriteLogLine(detail);
    SendErrorReport(detail);
    // The fatal routine closes and frees this connection: nothing here may touch a member
    // once it returns.
    FatalError(Config::FailedChangeMessage);
    return false;
}

bool TDataBase::Exec(const QString& sql, int& rowsAffected)
{
    const QString code = u"$1011"_s;
    if (sql.trimmed().isEmpty()) {
        WriteLog(code, kEmptyQuery);
        return true;
    }
    rowsAffected = -1;
    if (!EnsureOpen(code, sql))
        return false;

    sqlite3* handle = m_connection->handle;
    char* beginError = nullptr;
    if (sqlite3_exec(handle, "BEGIN;", nullptr, nullptr, &beginError) != SQLITE_OK) {
        const QString message = beginError ? QString::fromUtf8(beginError) : ErrorText(handle);
        sqlite3_free(beginError);
        SetLastError(code, message + Config::ErrConnectionSuffix);
        LogSql(code, sql, message);
        return false;
    }

    // The statement runs exactly as composed: no parameters, no expansion. A batch is
    // split where SQLite itself ends each statement.
    const QByteArray text = sql.toUtf8();
    const char* next = text.constData();
    const char* end = next + text.size();
    int changes = 0;
    while (next < end) {
        sqlite3_stmt* statement = nullptr;
        const char* tail = nullptr;
        if (sqlite3_prepare_v2(handle, next, static_cast<int>(end - next), &statement, &tail) != SQLITE_OK)
            return FailChange(sql, ErrorText(handle));
        next = tail;
        if (!statement)
            continue; // blanks or a lone ";"
        int rc;
        while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
        }
        if (rc != SQLITE_DONE) {
            const QString error = ErrorText(handle);
            sqlite3_finalize(statement);
            return FailChange(sql, error);
        }
        if (!sqlite3_stmt_readonly(statement))
            changes += sqlite3_changes(handle);
        sqlite3_finalize(statement);
    }
    if (sqlite3_exec(handle, "COMMIT;", nullptr, nullptr, nullptr) != SQLITE_OK)
        return FailChange(sql, ErrorText(handle));
    rowsAffected = changes;
    return true;
}

bool TDataBase::ExecNoCount(const QString& sql)
{
    int ignored = 0;
    return Exec(sql, ignored);
}

bool TDataBase::Query(const QString& sql, std::unique_ptr<TResultSet>& result, int& rowCount)
{
    const QString code = u"$1012"_s;
    result.reset();
    if (sql.trimmed().isEmpty()) {
        WriteLog(code, kEmptyQuery);
        return true;
    }
    rowCount = 0;
    if (!EnsureOpen(code, sql))
        return false;

    sqlite3* handle = m_connection->handle;
    auto fail = [&](sqlite3_stmt* statement) {
        const QString error = ErrorText(handle) + Config::ErrStatementSuffix;
        if (statement)
            sqlite3_finalize(statement);
        SetLastError(code, error);
        LogSql(code, sql, error);
        rowCount = 0;
        return false;
    };

    try {
        const QByteArray text = sql.toUtf8();
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(handle, text.constData(), static_cast<int>(text.size()), &statement, nullptr) !=
            SQLITE_OK)
            return fail(statement);
        if (!statement)
            return fail(nullptr);

        auto set = std::make_unique<TResultSet>();
        const int columns = sqlite3_column_count(statement);
        set->m_columns.reserve(columns);
        for (int i = 0; i < columns; ++i) {
            TResultSet::Column column;
            column.name = QString::fromUtf8(sqlite3_column_name(statement, i));
            const char* declared = sqlite3_column_decltype(statement, i);
            column.declared = declared ? QString::fromUtf8(declared).toUpper() : QString();
            column.boolean = column.declared.contains(u"BOOL"_s);
            set->m_index.insert(column.name.toLower(), i);
            set->m_columns.push_back(std::move(column));
        }
        // Later columns of the same name must not hide the first one.
        for (int i = columns - 1; i >= 0; --i)
            set->m_index.insert(set->m_columns[i].name.toLower(), i);

        int rc;
        int rows = 0;
        std::vector<QHash<QByteArray, quint64>> interned(static_cast<size_t>(columns));
        // The value each column had in the row before: a repeat costs one comparison.
        std::vector<std::pair<quint64, quint32>> previous(static_cast<size_t>(columns), {0, UINT32_MAX});
        while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
            for (int i = 0; i < columns; ++i) {
                TResultSet::Cell cell;
                switch (sqlite3_column_type(statement, i)) {
                case SQLITE_INTEGER:
                    cell.type = TResultSet::CellType::Integer;
                    cell.integer = sqlite3_column_int64(statement, i);
                    break;
                case SQLITE_FLOAT:
                    cell.type = TResultSet::CellType::Float;
                    cell.real = sqlite3_column_double(statement, i);
                    break;
                case SQLITE_TEXT:
                case SQLITE_BLOB: {
                    const bool blob = sqlite3_column_type(statement, i) == SQLITE_BLOB;
                    const void* data = blob ? sqlite3_column_blob(statement, i) : sqlite3_column_text(statement, i);
                    const int size = sqlite3_column_bytes(statement, i);
                    cell.type = blob ? TResultSet::CellType::Blob : TResultSet::CellType::Text;
                    cell.length = static_cast<quint32>(size);
                    auto& known = interned[static_cast<size_t>(i)];
                    auto& last = previous[static_cast<size_t>(i)];
                    if (!blob && last.second == cell.length && std::memcmp(set->TextAt(last.first), data, size) == 0) {
                        cell.offset = last.first;
                    } else if (!blob && cell.length <= kInternLength && known.size() <= kInternLimit) {
                        const QByteArray key = QByteArray::fromRawData(static_cast<const char*>(data), size);
                        const auto found = known.constFind(key);
                        if (found != known.constEnd()) {
                            cell.offset = found.value();
                        } else {
                            cell.offset = set->StoreText(static_cast<const char*>(data), cell.length);
                            known.insert(QByteArray(static_cast<const char*>(data), size), cell.offset);
                        }
                    } else {
                        cell.offset = set->StoreText(static_cast<const char*>(data), cell.length);
                    }
                    last = {cell.offset, cell.length};
                    break;
                }
                default:
                    break;
                }
                set->m_cells.push_back(cell);
            }
            ++rows;
        }
        if (rc != SQLITE_DONE)
            return fail(statement);
        sqlite3_finalize(statement);
        set->m_rowCount = rows;
        set->First();
        set->m_eof = rows == 0;
        rowCount = rows;
        result = std::move(set);
        return true;
    } catch (const std::exception& e) {
        const QString error = QString::fromUtf8(e.what()) + Config::ErrConnectionSuffix;
        SetLastError(code, error);
        LogSql(code, sql, error);
        return false;
    }
}

bool TDataBase::QueryNoCount(const QString& sql, std::unique_ptr<TResultSet>& result)
{
    int ignored = 0;
    return Query(sql, result, ignored);
}

bool TDataBase::ColumnExists(const QString& table, const QString& column, bool& found)
{
    found = false;
    try {
        if (!EnsureOpen(u"$1015"_s, u"PRAGMA table_info"_s))
            throw std::runtime_error(m_lastError.toStdString());
        QString quoted = table;
        quoted.replace(u'`', u"``"_s);
        const QByteArray sql = (u"PRAGMA table_info(`"_s + quoted + u"`);"_s).toUtf8();
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(m_connection->handle, sql.constData(), -1, &statement, nullptr) != SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(m_connection->handle));
        QStringList names;
        while (sqlite3_step(statement) == SQLITE_ROW)
            names << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, 1)));
        sqlite3_finalize(statement);
        for (QString& name : names)
            name.remove(u'"');
        found = names.contains(column, Qt::CaseInsensitive);
        return true;
    } catch (const std::exception& e) {
        SetLastError(u"$1015"_s, QString::fromUtf8(e.what()));
        found = false;
        return false;
    }
}

bool TDataBase::Validate()
{
    const QString code = u"$1010"_s;
    if (!PartsPresent()) {
        SetLastError(code, Config::ErrObjectsMissing);
        return false;
    }
    if (!m_connected)
        Open();
    if (!m_connected) {
        SetLastError(code, Config::ErrNotConnected);
        return false;
    }
    sqlite3* handle = m_connection->handle;
    try {
        WriteLog(code, u"SQLiteValidate.CheckOnly begin"_s);
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(handle, "PRAGMA integrity_check;", -1, &statement, nullptr) != SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(handle));
        QStringList report;
        int rc;
        while ((rc = sqlite3_step(statement)) == SQLITE_ROW)
            report << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
        sqlite3_finalize(statement);
        const bool intact = rc == SQLITE_DONE && report == QStringList{u"ok"_s};
        if (rc != SQLITE_DONE)
            report << ErrorText(handle);
        WriteLog(code, u"SQLiteValidate.CheckOnly end"_s);
        if (!intact) {
            WriteLog(code, u"FDSQLiteValidate.CheckOnly failed"_s);
            m_lastError = report.join(u"; "_s) + Config::ErrStatementSuffix;
            return false;
        }
        WriteLog(code, u"SQLiteValidate.Sweep begin"_s);
        RunSimple(handle, "VACUUM;");
        WriteLog(code, u"SQLiteValidate.Sweep end"_s);
        WriteLog(code, u"SQLiteValidate.Analyze begin"_s);
        RunSimple(handle, "ANALYZE;");
        WriteLog(code, u"SQLiteValidate.Analyze end"_s);
        return true;
    } catch (const std::exception& e) {
        SetLastError(code, QString::fromUtf8(e.what()) + Config::ErrStatementSuffix);
        return false;
    }
}

// ---------------------------------------------------------------------------------------
// Process-wide functions

TDataBase* DB()
{
    return g_db.get();
}

bool OpenDatabase(const QString& path, const QString& password, const QString& driverId)
{
    try {
        // Core's fatal routines and error report cannot reach the database themselves.
        SetFatalCleanup([] { CloseDatabase(); });
        SetErrorReportDataSource(&ErrorReportDataFromDatabase);
        g_db.reset();
        g_db = std::make_unique<TDataBase>(path, driverId, password);
        g_db->Open();
        return g_db->Connected();
    } catch (const std::exception& e) {
        WriteLog(u"$2001"_s, QString::fromUtf8(e.what()));
        return false;
    }
}

bool CloseDatabase()
{
    try {
        // Detach first: a statement path running on this object must find it gone.
        std::unique_ptr<TDataBase> closing = std::move(g_db);
        if (closing)
            closing->Close();
        return true;
    } catch (const std::exception& e) {
        WriteLog(u"$2002"_s, QString::fromUtf8(e.what()));
        return false;
    }
}

bool ReopenDatabase()
{
    if (!CloseDatabase())
        return false;
    return OpenDatabase(Paths.DatabaseFile, Config::DatabasePassword, Config::DatabaseDriverId);
}

QString TakeDbLastError()
{
    return g_db ? g_db->TakeLastError() : QString();
}

qint64 ReadCount(const QString& sql)
{
    std::unique_ptr<TResultSet> result;
    int rows = 0;
    if (!g_db || !g_db->Query(sql, result, rows) || !result || rows < 1)
        return 0;
    return result->AsInt64At(0);
}

QString ReadValue(const QString& table, const QString& column, const QString& keyColumn, const QString& key)
{
    const QString code = u"$2011"_s;
    try {
        if (!g_db || !g_db->Connected()) {
            WriteLog(code, Config::ErrDbNotOpen);
            return {};
        }
        std::unique_ptr<TResultSet> result;
        const QString sql = u"SELECT `%1` FROM `%2` WHERE `%3`=%4;"_s.arg(column, table, keyColumn, key);
        if (!g_db->QueryNoCount(sql, result) || !result) {
            WriteLog(code, Config::ErrQueryFailed);
            return {};
        }
        if (result->RecordCount() == 0) {
            WriteLog(code, Config::ErrNoRecord);
            return {};
        }
        return result->AsStringAt(0);
    } catch (const std::exception& e) {
        WriteLog(code, QString::fromUtf8(e.what()));
        return {};
    }
}

QString ReadSetting(const QString& name)
{
    const QString code = u"$3025"_s;
    try {
        if (!g_db || !g_db->Connected()) {
            WriteLog(code, Config::ErrDbNotOpen + u" ("_s + name + u")"_s);
            return {};
        }
        std::unique_ptr<TResultSet> result;
        int rows = 0;
        if (!g_db->Query(Config::SettingsQuery.arg(name), result, rows) || !result) {
            WriteLog(code, Config::ErrQueryFailed);
            return {};
        }
        if (rows != 1) {
            WriteLog(code, Config::ErrNoRecord);
            return {};
        }
        return result->AsStringAt(0);
    } catch (const std::exception& e) {
        WriteLog(code, QString::fromUtf8(e.what()));
        return {};
    }
}

bool WriteSetting(const QString& name, const QString& value)
{
    const QString code = u"$3026"_s;
    try {
        if (!g_db || !g_db->Connected()) {
            WriteLog(code, Config::ErrDbNotOpen);
            return false;
        }
        if (!g_db->ExecNoCount(Config::SettingsUpdate.arg(name, EscapeSql(value)))) {
            WriteLog(code, Config::ErrQueryFailed);
            return false;
        }
        return g_reloadHook ? g_reloadHook() : true;
    } catch (const std::exception& e) {
        WriteLog(code, QString::fromUtf8(e.what()));
        return false;
    }
}

void SetInstallationReloadHook(std::function<bool()> hook)
{
    g_reloadHook = std::move(hook);
}

QByteArray RemoveAccentsUtf8(const QByteArray& text)
{
    // All fourteen letters are two-byte sequences starting with 0xC3; nothing else changes.
    QByteArray out;
    out.reserve(text.size());
    const char* p = text.constData();
    const char* end = p + text.size();
    while (p < end) {
        if (static_cast<unsigned char>(*p) == 0xC3 && p + 1 < end) {
            char plain = 0;
            switch (static_cast<unsigned char>(p[1])) {
            case 0x81:
                plain = 'A';
                break;
            case 0x89:
                plain = 'E';
                break;
            case 0x8D:
                plain = 'I';
                break;
            case 0x93:
                plain = 'O';
                break;
            case 0x9A:
                plain = 'U';
                break;
            case 0x91:
                plain = 'N';
                break;
            case 0x87:
                plain = 'C';
                break;
            case 0xA1:
                plain = 'a';
                break;
            case 0xA9:
                plain = 'e';
                break;
            case 0xAD:
                plain = 'i';
                break;
            case 0xB3:
                plain = 'o';
                break;
            case 0xBA:
                plain = 'u';
                break;
            case 0xB1:
                plain = 'n';
                break;
            case 0xA7:
                plain = 'c';
                break;
            default:
                break;
            }
            if (plain) {
                out.append(plain);
                p += 2;
                continue;
            }
            out.append(p, 2);
            p += 2;
            continue;
        }
        out.append(*p++);
    }
    return out;
}

bool CreateDatabaseFile(const QString& path, const QString& password, QString* error)
{
    sqlite3* handle = nullptr;
    try {
        if (QFileInfo::exists(path))
            throw std::runtime_error("the file already exists");
        const QByteArray file = QFile::encodeName(path);
        if (sqlite3_open_v2(file.constData(), &handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
            SQLITE_OK)
            throw std::runtime_error(ErrorText(handle).toStdString());
        if (!password.isEmpty())
            ApplyKey(handle, password);
        // Writing the schema page makes the file real (and, when keyed, encrypted).
        RunSimple(handle, "PRAGMA user_version=1;");
        sqlite3_close_v2(handle);
        return true;
    } catch (const std::exception& e) {
        if (handle)
            sqlite3_close_v2(handle);
        if (error)
            *error = QString::fromUtf8(e.what());
        return false;
    }
}

bool LoadCodeList(const QString& sql, QStringList& codes)
{
    codes.clear();
    return Guarded(QString(), false, [&] {
        TDataBase* db = DB();
        std::unique_ptr<TResultSet> result;
        if (!db || !db->QueryNoCount(sql, result) || !result)
            return false;
        int column = result->FieldIndex(u"c"_s);
        if (column < 0)
            column = 0;
        QStringList list;
        for (result->First(); !result->Eof(); result->Next())
            list << result->AsStringAt(column);
        codes = list;
        return true;
    });
}
