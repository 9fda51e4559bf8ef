#include "db/DBSchema.h"

#include "core/Bugs.h"
#include "core/Config.h"
#include "core/FormatSettings.h"
#include "core/MiscFunc.h"
#include "db/InstallContext.h"
#include "db/Settings.h"
#include "db/uDB.h"

#include <QRandomGenerator>

#include <stdexcept>

using namespace Qt::StringLiterals;

const QString kNewMatchTable = u"L_NuevasCoincidencias"_s;

namespace {

bool EnsureLocalTables(TDataBase& db)
{
    return db.ExecNoCount(
        u"CREATE TABLE IF NOT EXISTS `%1` (`Busqueda_Tipo` INTEGER NOT NULL, `Busqueda_Clave` TEXT NOT NULL, "
        u"`Prop_Codigo` INTEGER NOT NULL, `Coincidencia_Fecha` DATETIME, PRIMARY KEY (`Busqueda_Tipo`, "
        u"`Busqueda_Clave`, `Prop_Codigo`));"_s.arg(kNewMatchTable));
}

} // namespace

bool EnsureSchema()
{
    // Columns of this client's own making: the dimming option, and the pending mark of a
    // share row that its user accepted or declined (sent without the owner's selection).
    const struct {
        QString table, column, declaration;
    } added[] = {
        {u"W_System"_s, Setting::MarkVisitedProps, u"BOOLEAN DEFAULT 0"_s},
        {u"W_SeleccionesCompartidas"_s, kShareStateColumn, u"TEXT"_s},
    };
    try {
        TDataBase* db = DB();
        if (!db)
            throw std::runtime_error(Config::ErrDbNotOpen.toStdString());
        if (!EnsureLocalTables(*db)) {
            if (!FatalErrorRaised())
                WriteLog(u"$2097"_s, TakeDbLastError());
            return false;
        }
        for (const auto& a : added) {
            bool found = false;
            if (!db->ColumnExists(a.table, a.column, found))
                return false;
            if (found)
                continue;
            if (!db->ExecNoCount(u"ALTER TABLE `%1` ADD COLUMN `%2` %3;"_s.arg(a.table, a.column, a.declaration))) {
                // A failed change has already ended in the fatal routine, which logged it.
                if (!FatalErrorRaised())
                    WriteLog(u"$2097"_s, TakeDbLastError());
                return false;
            }
        }
        return true;
    } catch (const std::exception& e) {
        WriteLog(u"$2096"_s, QString::fromUtf8(e.what()));
        return false;
    }
}

bool NextLocalCode(const QString& table, const QString& keyColumn, int& code)
{
    const QString where = u"$3053"_s;
    code = -1;
    try {
        TDataBase* db = DB();
        if (!db)
            throw std::runtime_error(Config::ErrDbNotOpen.toStdString());
        std::unique_ptr<TResultSet> result;
        int rows = 0;
        const QString sql = u"SELECT IFNULL(MAX(`%2`), %3) AS x FROM `%1` WHERE `%2` >= %4;"_s.arg(
            table, keyColumn, QString::number(kLocalCodeFirst - 1), QString::number(kLocalCodeFirst));
        if (!db->Query(sql, result, rows) || !result || rows != 1) {
            WriteLog(where, Config::ErrQueryFailed);
            return false;
        }
        const qint64 highest = result->AsInt64(u"x"_s);
        if (highest >= kLocalCodeLast) {
            WriteLog(where, u"No quedan códigos locales libres en %1."_s.arg(table));
            return false;
        }
        code = static_cast<int>(highest + 1);
        return true;
    } catch (const std::exception& e) {
        WriteLog(where, QString::fromUtf8(e.what()));
        code = -1;
        return false;
    }
}

bool NewGenerationCodeFrom(const QString& table, const QString& column, int agency, const QDateTime& now,
                           quint32 random, QString& text)
{
    text.clear();
    try {
        TDataBase* db = DB();
        if (!db)
            throw std::runtime_error(Config::ErrDbNotOpen.toStdString());
        const QString candidate = QString::number(agency).rightJustified(4, u'0') +
                                  FormatDateTimeText(u"yymmddhhnnsszzz"_s, now) +
                                  QString::number(random % 2147483647u).rightJustified(5, u'0').left(5);
        std::unique_ptr<TResultSet> result;
        int rows = 0;
        const QString sql =
            u"SELECT COUNT(*) AS n FROM `%1` WHERE `%2`=\"%3\";"_s.arg(table, column, EscapeSql(candidate));
        if (!db->Query(sql, result, rows) || !result || rows != 1)
            throw std::runtime_error(Config::ErrQueryFailed.toStdString());
        if (result->AsInt64(u"n"_s) != 0)
            return false;
        text = candidate;
        return true;
    } catch (const std::exception& e) {
        WriteLog(u"$3054"_s, QString::fromUtf8(e.what()));
        return false;
    }
}

bool NewGenerationCode(const QString& table, const QString& column, QString& text)
{
    QRandomGenerator random(static_cast<quint32>(QDateTime::currentMSecsSinceEpoch()) ^
                            QRandomGenerator::system()->generate());
    return NewGenerationCodeFrom(table, column, CurrentAgencyCode(), QDateTime::currentDateTime(),
                                 random.bounded(2147483647u), text);
}
