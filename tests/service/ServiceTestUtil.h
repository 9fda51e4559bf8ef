#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <nlohmann/json.hpp>

struct sqlite3;

// A database file opened directly: the service's master copy (plain) or a delivered
// installation database (with the client's key).
class SqlFile {
public:
    explicit SqlFile(const QString& path, const QString& key = {});
    ~SqlFile();
    SqlFile(const SqlFile&) = delete;
    SqlFile& operator=(const SqlFile&) = delete;

    bool IsOpen() const { return m_ok; }
    QString LastError() const { return m_error; }
    bool Exec(const QString& sql);
    // The first column of the first row; an invalid QVariant when there is none.
    QVariant Value(const QString& sql);
    qint64 Count(const QString& sql) { return Value(sql).toLongLong(); }
    QStringList Column(const QString& sql);
    // Every row of every table but the settings row, in a form two files can be compared by.
    QStringList Content(const QStringList& tables);
    sqlite3* Handle() const { return m_db; }

private:
    sqlite3* m_db = nullptr;
    bool m_ok = false;
    QString m_error;
};

// Applies a table-data answer the way the client's import does: per block a truncate or a
// deletion by list, else delete-then-insert by the first field; rows split at "~"; "int"
// and "real" values typed, empty values NULL; each table in one transaction. False with
// the reason when the answer breaks the format.
bool ImportTableData(SqlFile& db, const nlohmann::ordered_json& answer, QString* error);
