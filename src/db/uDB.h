#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

struct sqlite3;

// All rows of one query, fetched when it ran, so the row count is exact and lists fill
// without a second read. Owned by whoever asked for it.
class TResultSet {
public:
    int RecordCount() const { return m_rowCount; }
    int FieldCount() const { return static_cast<int>(m_columns.size()); }
    QString FieldName(int column) const;
    // The column's type as the table declares it (upper case; empty for expressions).
    QString DeclaredType(int column) const;
    // Column index by name, ignoring letter case; -1 when absent.
    int FieldIndex(const QString& name) const;

    // Cursor. A fresh result set stands on its first row.
    void First() { m_row = 0; }
    void Last() { m_row = m_rowCount > 0 ? m_rowCount - 1 : 0; }
    void Next();
    void Prior();
    bool Seek(int row);
    int Row() const { return m_row; }
    bool Eof() const { return m_rowCount == 0 || m_eof; }
    bool Bof() const { return m_rowCount == 0 || m_bof; }

    // Values of the current row. Unknown columns read as NULL. Empty texts count as NULL.
    // Columns declared BOOLEAN read as "True"/"False".
    bool IsNull(const QString& column) const { return IsNullAt(FieldIndex(column)); }
    QString AsString(const QString& column) const { return AsStringAt(FieldIndex(column)); }
    qint64 AsInt64(const QString& column) const { return AsInt64At(FieldIndex(column)); }
    int AsInteger(const QString& column) const { return static_cast<int>(AsInt64(column)); }
    double AsFloat(const QString& column) const { return AsFloatAt(FieldIndex(column)); }
    bool AsBoolean(const QString& column) const { return AsBooleanAt(FieldIndex(column)); }
    QDateTime AsDateTime(const QString& column) const { return AsDateTimeAt(FieldIndex(column)); }
    QByteArray AsBytes(const QString& column) const { return AsBytesAt(FieldIndex(column)); }

    bool IsNullAt(int column) const;
    QString AsStringAt(int column) const;
    qint64 AsInt64At(int column) const;
    double AsFloatAt(int column) const;
    bool AsBooleanAt(int column) const;
    QDateTime AsDateTimeAt(int column) const;
    QByteArray AsBytesAt(int column) const;
    QVariant ValueAt(int column) const;

private:
    friend class TDataBase;
    enum class CellType : quint8 { Null, Integer, Float, Text, Blob };
    struct Cell {
        CellType type = CellType::Null;
        quint32 length = 0;
        union {
            qint64 integer;
            double real;
            quint64 offset;
        };
        Cell() : integer(0) {}
    };
    struct Column {
        QString name;
        QString declared;
        bool boolean = false;
    };

    const Cell* CellAt(int column) const;
    const char* TextOf(const Cell& cell) const { return TextAt(cell.offset); }
    const char* TextAt(quint64 offset) const;
    // Stores the bytes and gives the cell's offset: chunk index in the upper 32 bits.
    quint64 StoreText(const char* data, quint32 size);

    std::vector<Column> m_columns;
    QHash<QString, int> m_index; // lower-cased name
    // Row-major, in blocks: a large result never needs one contiguous block nor the copy
    // that growing one costs.
    std::deque<Cell> m_cells;
    std::vector<std::unique_ptr<char[]>> m_chunks; // text and blob bytes of all cells
    quint32 m_chunkUsed = 0;
    quint32 m_chunkSize = 0;
    int m_rowCount = 0;
    int m_row = 0;
    bool m_eof = false;
    bool m_bof = true;
};

// The connection to the local database: the one path through which every statement runs.
class TDataBase {
public:
    TDataBase(const QString& path, const QString& driverId, const QString& password);
    ~TDataBase();
    TDataBase(const TDataBase&) = delete;
    TDataBase& operator=(const TDataBase&) = delete;

    bool Open();
    void Close();
    bool PartsPresent() const;
    bool IsEncrypted();
    bool Connected() const { return m_connected; }
    void SetConnected(bool connected);

    // Changes: each call is its own transaction; a failure ends the program.
    bool Exec(const QString& sql, int& rowsAffected);
    bool ExecNoCount(const QString& sql);
    // Queries: a failure leaves the program running and gives no result set.
    bool Query(const QString& sql, std::unique_ptr<TResultSet>& result, int& rowCount);
    bool QueryNoCount(const QString& sql, std::unique_ptr<TResultSet>& result);

    bool ColumnExists(const QString& table, const QString& column, bool& found);

    // Integrity check, then compaction and fresh planner statistics; a file that fails
    // the check is left exactly as it is.
    bool Validate();

    void SetLastError(const QString& code, const QString& text);
    QString TakeLastError();
    QString LastError() const { return m_lastError; }

    QString Path() const { return m_path; }
    // The open SQLite handle, for the bulk loads that drive it directly; null when closed.
    sqlite3* Handle() const;

private:
    struct Connection;
    struct DriverLink;
    struct Security;
    struct AccentFunction;

    bool FailChange(const QString& sql, const QString& error);
    void LogSql(const QString& code, const QString& sql, const QString& error);
    bool EnsureOpen(const QString& code, const QString& sql);

    QString m_path;
    QString m_password;
    QString m_driverId;
    bool m_connected = false;
    QString m_lastError;
    std::unique_ptr<Connection> m_connection;
    std::unique_ptr<DriverLink> m_driverLink;
    std::unique_ptr<Security> m_security;
    std::unique_ptr<AccentFunction> m_accentFunction;
};

// The process-wide connection; null while the database is closed.
TDataBase* DB();

bool OpenDatabase(const QString& path, const QString& password, const QString& driverId);
bool CloseDatabase();
bool ReopenDatabase();
// The last error of the open connection, taken; empty when there is none.
QString TakeDbLastError();

QString ReadValue(const QString& table, const QString& column, const QString& keyColumn, const QString& key);
// The first column of the first row of a counting query; 0 when it cannot be read.
qint64 ReadCount(const QString& sql);
// The code column ("c", else the first) of every row of the query.
bool LoadCodeList(const QString& sql, QStringList& codes);
QString ReadSetting(const QString& name);
bool WriteSetting(const QString& name, const QString& value);
// What WriteSetting runs after a successful write to refresh the installation values.
void SetInstallationReloadHook(std::function<bool()> hook);

// The accent folding of REMOVE_ACCENTS on UTF-8 bytes.
QByteArray RemoveAccentsUtf8(const QByteArray& text);

// Creates a new, empty database file, encrypted when a password is given. The client
// never creates its own database; the service, the demo and the tests do.
bool CreateDatabaseFile(const QString& path, const QString& password, QString* error = nullptr);
