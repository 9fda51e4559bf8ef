#include "service/ServiceDb.h"

#include <QFile>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {

[[noreturn]] void Fail(sqlite3* db, const QString& what)
{
    throw TServiceDbError(
        (what + u": "_s + QString::fromUtf8(db ? sqlite3_errmsg(db) : "no connection")).toStdString());
}

} // namespace

TStatement::TStatement(sqlite3* db, const QString& sql) : m_db(db)
{
    const QByteArray text = sql.toUtf8();
    if (!db || sqlite3_prepare_v2(db, text.constData(), int(text.size()), &m_statement, nullptr) != SQLITE_OK)
        Fail(db, u"prepare "_s + sql.left(80));
}

TStatement::~TStatement()
{
    sqlite3_finalize(m_statement);
}

TStatement& TStatement::Bind(const QVariant& value)
{
    const int at = m_next++;
    int rc = SQLITE_OK;
    switch (value.typeId()) {
    case QMetaType::UnknownType:
        rc = sqlite3_bind_null(m_statement, at);
        break;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Bool:
        rc = sqlite3_bind_int64(m_statement, at, value.toLongLong());
        break;
    case QMetaType::Double:
    case QMetaType::Float:
        rc = sqlite3_bind_double(m_statement, at, value.toDouble());
        break;
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        rc = sqlite3_bind_blob(m_statement, at, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
        break;
    }
    default:
        if (value.isNull()) {
            rc = sqlite3_bind_null(m_statement, at);
        } else {
            const QByteArray text = value.toString().toUtf8();
            rc = sqlite3_bind_text(m_statement, at, text.constData(), int(text.size()), SQLITE_TRANSIENT);
        }
    }
    if (rc != SQLITE_OK)
        Fail(m_db, u"bind"_s);
    return *this;
}

TStatement& TStatement::BindAll(const std::vector<QVariant>& values)
{
    for (const QVariant& v : values)
        Bind(v);
    return *this;
}

bool TStatement::Step()
{
    const int rc = sqlite3_step(m_statement);
    if (rc == SQLITE_ROW)
        return true;
    if (rc != SQLITE_DONE)
        Fail(m_db, u"step"_s);
    return false;
}

void TStatement::Run()
{
    while (Step()) {
    }
    Reset();
}

void TStatement::Reset()
{
    sqlite3_reset(m_statement);
    sqlite3_clear_bindings(m_statement);
    m_next = 1;
}

int TStatement::ColumnCount() const
{
    return sqlite3_column_count(m_statement);
}

QString TStatement::ColumnName(int column) const
{
    return QString::fromUtf8(sqlite3_column_name(m_statement, column));
}

QVariant TStatement::Value(int column) const
{
    switch (sqlite3_column_type(m_statement, column)) {
    case SQLITE_INTEGER:
        return QVariant(qint64(sqlite3_column_int64(m_statement, column)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(m_statement, column));
    case SQLITE_NULL:
        return {};
    case SQLITE_BLOB:
        return QVariant(QByteArray(static_cast<const char*>(sqlite3_column_blob(m_statement, column)),
                                   sqlite3_column_bytes(m_statement, column)));
    default:
        return QVariant(Text(column));
    }
}

qint64 TStatement::Int(int column) const
{
    return sqlite3_column_int64(m_statement, column);
}

double TStatement::Real(int column) const
{
    return sqlite3_column_double(m_statement, column);
}

QString TStatement::Text(int column) const
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
    return text ? QString::fromUtf8(text, sqlite3_column_bytes(m_statement, column)) : QString();
}

bool TStatement::IsNull(int column) const
{
    return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

bool TColumnInfo::IsInteger() const
{
    return declaredType.contains(u"INT"_s) || declaredType == u"BOOLEAN"_s;
}

bool TColumnInfo::IsReal() const
{
    return declaredType.contains(u"REAL"_s) || declaredType.contains(u"FLOA"_s) || declaredType.contains(u"DOUB"_s);
}

bool TColumnInfo::IsDateTime() const
{
    return declaredType.startsWith(u"DATE"_s);
}

TServiceDb::~TServiceDb()
{
    Close();
}

bool TServiceDb::Open(const QString& path, bool create, QString* error)
{
    Close();
    if (!create && !QFile::exists(path)) {
        if (error)
            *error = u"no database at "_s + path;
        return false;
    }
    const QByteArray file = QFile::encodeName(path);
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
    if (sqlite3_open_v2(file.constData(), &m_db, flags, nullptr) != SQLITE_OK) {
        if (error)
            *error = QString::fromUtf8(m_db ? sqlite3_errmsg(m_db) : "cannot open");
        Close();
        return false;
    }
    try {
        // Requests wait for each other on the mutex; the busy time-out only covers an
        // operator who opens the file with another tool while the service runs.
        sqlite3_busy_timeout(m_db, 5000);
        Exec(u"PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=OFF;"_s);
    } catch (const std::exception& e) {
        if (error)
            *error = QString::fromUtf8(e.what());
        Close();
        return false;
    }
    return true;
}

void TServiceDb::Close()
{
    if (m_db)
        sqlite3_close_v2(m_db);
    m_db = nullptr;
}

void TServiceDb::Exec(const QString& sql)
{
    char* message = nullptr;
    const QByteArray text = sql.toUtf8();
    if (sqlite3_exec(m_db, text.constData(), nullptr, nullptr, &message) != SQLITE_OK) {
        const QString why = QString::fromUtf8(message ? message : "error");
        sqlite3_free(message);
        throw TServiceDbError((why + u" in "_s + sql.left(120)).toStdString());
    }
}

QVariant TServiceDb::Scalar(const QString& sql, const std::vector<QVariant>& values, const QVariant& fallback)
{
    TStatement s(m_db, sql);
    s.BindAll(values);
    if (!s.Step() || s.IsNull(0))
        return fallback;
    return s.Value(0);
}

std::vector<TColumnInfo> TServiceDb::Columns(const QString& table)
{
    std::vector<TColumnInfo> columns;
    TStatement s(m_db, u"PRAGMA table_info(`%1`);"_s.arg(table));
    while (s.Step())
        columns.push_back({s.Text(1), s.Text(2).toUpper()});
    return columns;
}

bool TServiceDb::TableExists(const QString& table)
{
    return Scalar(u"SELECT 1 FROM sqlite_master WHERE type='table' AND name=?;"_s, {table}).isValid();
}

TServiceDb::Transaction::Transaction(TServiceDb& db) : m_db(db)
{
    m_db.Exec(u"BEGIN IMMEDIATE;"_s);
}

TServiceDb::Transaction::~Transaction()
{
    if (!m_done) {
        try {
            m_db.Exec(u"ROLLBACK;"_s);
        } catch (...) {
            // Nothing more can be done here; the error that brought us here is reported.
        }
    }
}

void TServiceDb::Transaction::Commit()
{
    m_db.Exec(u"COMMIT;"_s);
    m_done = true;
}
