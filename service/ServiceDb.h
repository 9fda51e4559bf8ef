#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <mutex>
#include <stdexcept>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// A statement failure inside the service; every request handler catches it at its edge.
class TServiceDbError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One prepared statement. Values come back as QVariant: null, qint64, double or QString.
class TStatement {
public:
    TStatement(sqlite3* db, const QString& sql);
    ~TStatement();
    TStatement(const TStatement&) = delete;
    TStatement& operator=(const TStatement&) = delete;

    // Binds in order from parameter 1; returns itself so calls can be chained.
    TStatement& Bind(const QVariant& value);
    TStatement& BindAll(const std::vector<QVariant>& values);
    // True while a row is available.
    bool Step();
    // Runs a statement that returns no rows, then resets it for the next bindings.
    void Run();
    void Reset();

    int ColumnCount() const;
    QString ColumnName(int column) const;
    QVariant Value(int column) const;
    qint64 Int(int column) const;
    double Real(int column) const;
    QString Text(int column) const;
    bool IsNull(int column) const;
    // For readers that take values straight from SQLite without a QVariant per value.
    sqlite3_stmt* Raw() const { return m_statement; }

private:
    sqlite3* m_db;
    sqlite3_stmt* m_statement = nullptr;
    int m_next = 1;
};

// A column of a table as SQLite declares it.
struct TColumnInfo {
    QString name;
    QString declaredType; // upper case: INTEGER, REAL, TEXT, DATETIME, BOOLEAN, VARCHAR(50)
    bool IsInteger() const;
    bool IsReal() const;
    bool IsDateTime() const;
};

// The master database: one connection shared by every request thread, guarded by one
// mutex. Callers lock it for the whole of their work so that a request sees one state.
class TServiceDb {
public:
    TServiceDb() = default;
    ~TServiceDb();
    TServiceDb(const TServiceDb&) = delete;
    TServiceDb& operator=(const TServiceDb&) = delete;

    // Opens (creating when asked) a plain, unencrypted file.
    bool Open(const QString& path, bool create, QString* error);
    void Close();
    sqlite3* Handle() const { return m_db; }
    std::recursive_mutex& Mutex() { return m_mutex; }

    void Exec(const QString& sql);
    // The first column of the first row, or the fallback when there is none or it is null.
    QVariant Scalar(const QString& sql, const std::vector<QVariant>& values = {}, const QVariant& fallback = {});
    std::vector<TColumnInfo> Columns(const QString& table);
    bool TableExists(const QString& table);

    // A transaction that rolls back unless committed.
    class Transaction {
    public:
        explicit Transaction(TServiceDb& db);
        ~Transaction();
        void Commit();

    private:
        TServiceDb& m_db;
        bool m_done = false;
    };

private:
    sqlite3* m_db = nullptr;
    std::recursive_mutex m_mutex;
};
