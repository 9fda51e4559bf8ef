#include "ServiceTestUtil.h"

#include <QFile>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

SqlFile::SqlFile(const QString& path, const QString& key)
{
    const QByteArray file = QFile::encodeName(path);
    if (sqlite3_open_v2(file.constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        m_error = QString::fromUtf8(sqlite3_errmsg(m_db));
        return;
    }
    if (!key.isEmpty()) {
        const QByteArray bytes = key.toUtf8();
        sqlite3_key(m_db, bytes.constData(), int(bytes.size()));
    }
    sqlite3_busy_timeout(m_db, 5000);
    // A wrong key only shows when the first page is read.
    m_ok = Value(u"SELECT COUNT(*) FROM sqlite_master;"_s).isValid();
}

SqlFile::~SqlFile()
{
    sqlite3_close_v2(m_db);
}

bool SqlFile::Exec(const QString& sql)
{
    char* message = nullptr;
    const bool ok = sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &message) == SQLITE_OK;
    m_error = QString::fromUtf8(message ? message : "");
    sqlite3_free(message);
    return ok;
}

QVariant SqlFile::Value(const QString& sql)
{
    const QStringList column = Column(sql);
    return column.isEmpty() ? QVariant() : QVariant(column.first());
}

QStringList SqlFile::Column(const QString& sql)
{
    QStringList values;
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(m_db, sql.toUtf8().constData(), -1, &s, nullptr) != SQLITE_OK) {
        m_error = QString::fromUtf8(sqlite3_errmsg(m_db));
        return values;
    }
    while (sqlite3_step(s) == SQLITE_ROW) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
        values << (text ? QString::fromUtf8(text) : QString());
    }
    sqlite3_finalize(s);
    return values;
}

QStringList SqlFile::Content(const QStringList& tables)
{
    QStringList rows;
    for (const QString& table : tables) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(m_db, u"SELECT * FROM `%1`;"_s.arg(table).toUtf8().constData(), -1, &s, nullptr) !=
            SQLITE_OK)
            return {u"cannot read "_s + table};
        while (sqlite3_step(s) == SQLITE_ROW) {
            QStringList values{table};
            for (int c = 0; c < sqlite3_column_count(s); ++c) {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, c));
                values << (sqlite3_column_type(s, c) == SQLITE_NULL ? u"<null>"_s : QString::fromUtf8(text));
            }
            rows << values.join(u'|');
        }
        sqlite3_finalize(s);
    }
    rows.sort();
    return rows;
}

bool ImportTableData(SqlFile& db, const nlohmann::ordered_json& answer, QString* error)
{
    const auto fail = [&](const QString& text) {
        *error = text;
        db.Exec(u"ROLLBACK;"_s);
        return false;
    };
    if (!answer.is_object() || !answer.contains("Tables") || !answer.contains("DBVer") || !answer.contains("Data_Type"))
        return fail(u"not a table-data answer"_s);
    for (const QString& table :
         QString::fromStdString(answer["Tables"].get<std::string>()).split(u',', Qt::SkipEmptyParts)) {
        const auto& block = answer[table.toStdString()];
        if (!block.is_object())
            return fail(u"no block for "_s + table);
        bool truncate = false;
        QString list;
        QStringList fields, types;
        sqlite3_stmt* remove = nullptr;
        sqlite3_stmt* insert = nullptr;
        db.Exec(u"BEGIN;"_s);
        for (auto it = block.begin(); it != block.end(); ++it) {
            const QString name = QString::fromStdString(it.key());
            if (name == u"Truncate"_s) {
                truncate = it->get<int>() == 1;
            } else if (name == u"PropList"_s) {
                list = QString::fromStdString(it->get<std::string>());
            } else if (name == u"Fields"_s) {
                fields = QString::fromStdString(it->get<std::string>()).split(u',');
            } else if (name == u"Types"_s) {
                types = QString::fromStdString(it->get<std::string>()).split(u',');
            } else if (name == u"Count"_s) {
                if (truncate && !db.Exec(u"DELETE FROM `%1`;"_s.arg(table)))
                    return fail(u"truncate "_s + table);
                if (!list.isEmpty()) {
                    const QString key = table == u"W_Fotos"_s ? u"Prop_Codigo"_s : fields.first();
                    if (!db.Exec(u"DELETE FROM `%1` WHERE `%2` IN (%3);"_s.arg(table, key, list)))
                        return fail(u"delete by list "_s + table);
                }
                if (!truncate && list.isEmpty())
                    sqlite3_prepare_v2(
                        db.Handle(), u"DELETE FROM %1 WHERE `%2`=?1;"_s.arg(table, fields.first()).toUtf8().constData(),
                        -1, &remove, nullptr);
                QStringList marks;
                for (qsizetype i = 1; i <= fields.size(); ++i)
                    marks << u"?%1"_s.arg(i);
                sqlite3_prepare_v2(db.Handle(),
                                   u"INSERT INTO %1 (%2) VALUES (%3);"_s.arg(table, fields.join(u','), marks.join(u','))
                                       .toUtf8()
                                       .constData(),
                                   -1, &insert, nullptr);
                if (!insert)
                    return fail(u"insert statement of "_s + table);
            } else {
                bool numbered = false;
                name.toInt(&numbered);
                if (!numbered)
                    continue;
                const QStringList values = QString::fromStdString(it->get<std::string>()).split(u'~');
                if (!insert || values.size() != fields.size() || types.size() != fields.size())
                    return fail(u"row %1 of %2 does not match its fields"_s.arg(name, table));
                for (qsizetype i = 0; i < values.size(); ++i) {
                    const int at = int(i) + 1;
                    const QString& v = values[i];
                    bool ok = true;
                    if (v.isEmpty())
                        sqlite3_bind_null(insert, at);
                    else if (types[i] == u"int"_s)
                        sqlite3_bind_int64(insert, at, v.toLongLong(&ok));
                    else if (types[i] == u"real"_s)
                        sqlite3_bind_double(insert, at, QString(v).replace(u',', u'.').toDouble(&ok));
                    else
                        sqlite3_bind_text(insert, at, v.toUtf8().constData(), -1, SQLITE_TRANSIENT);
                    if (!ok)
                        return fail(u"value %1 of %2 is no %3"_s.arg(v, table, types[i]));
                    if (remove && i == 0)
                        sqlite3_bind_text(remove, 1, v.toUtf8().constData(), -1, SQLITE_TRANSIENT);
                }
                if (remove && (sqlite3_step(remove) != SQLITE_DONE || sqlite3_reset(remove) != SQLITE_OK))
                    return fail(u"delete of a row of "_s + table);
                if (sqlite3_step(insert) != SQLITE_DONE)
                    return fail(u"insert into %1: %2"_s.arg(table, QString::fromUtf8(sqlite3_errmsg(db.Handle()))));
                sqlite3_reset(insert);
            }
        }
        sqlite3_finalize(remove);
        sqlite3_finalize(insert);
        if (!db.Exec(u"COMMIT;"_s))
            return fail(u"commit of "_s + table);
    }
    return true;
}
