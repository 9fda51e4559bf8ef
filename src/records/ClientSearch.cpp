#include "records/ClientSearch.h"

#include "core/Bugs.h"
#include "core/Config.h"
#include "core/MiscFunc.h"
#include "db/uDB.h"

#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {

TDataBase& OpenDb()
{
    TDataBase* db = DB();
    if (!db)
        throw std::runtime_error(Config::ErrDbNotOpen.toStdString());
    return *db;
}

// Only clients the agency still has: a deleted one ("B") waits for its upload and must not
// come back to life through its search.
QString ActiveClient(int agency, int clientCode)
{
    return u"`W_Clientes`.`Cli_Codigo`=%1 AND `W_Clientes`.`Inmo_Codigo`=%2 AND `W_Clientes`.`Cli_Estado` IN "
           u"(\"OK\",\"AM\")"_s.arg(clientCode)
               .arg(agency);
}

} // namespace

bool ReadClientSearch(int agency, int clientCode, TClientSearch& search)
{
    search = {};
    try {
        std::unique_ptr<TResultSet> rows;
        int count = 0;
        const QString sql = u"SELECT `Cli_Filtro`, `Cli_FiltroFecha`, `Cli_FiltroUsuario`, `Usuario_Nombre` FROM "
                            u"`W_Clientes` LEFT JOIN `W_Usuarios` ON `Usuario_Codigo` = `Cli_FiltroUsuario` "
                            u"WHERE %1;"_s.arg(ActiveClient(agency, clientCode));
        if (!OpenDb().Query(sql, rows, count) || !rows || count != 1) {
            WriteLog(u"$2025"_s, u"Client %1 not found."_s.arg(clientCode));
            return false;
        }
        search.Parameters = rows->AsString(u"Cli_Filtro"_s);
        search.Date =
            rows->IsNull(u"Cli_FiltroFecha"_s) ? QDateTime() : DbTextToDateTime(rows->AsString(u"Cli_FiltroFecha"_s));
        search.User = rows->AsInteger(u"Cli_FiltroUsuario"_s);
        search.UserName = rows->AsString(u"Usuario_Nombre"_s);
        return true;
    } catch (const std::exception& e) {
        WriteLog(u"$2025"_s, QString::fromUtf8(e.what()));
        return false;
    }
}

bool WriteClientSearch(int agency, int clientCode, const QString& parameters, int user)
{
    try {
        int changed = 0;
        const QString sql = u"UPDATE `W_Clientes` SET `Cli_Filtro`=\"%1\", `Cli_FiltroFecha`=\"%2\", "
                            u"`Cli_FiltroUsuario`=%3, `Cli_Estado`=\"AM\" WHERE %4;"_s.arg(
                                EscapeSql(parameters), DateTimeToDbText(QDateTime::currentDateTime()),
                                QString::number(user), ActiveClient(agency, clientCode));
        if (!OpenDb().Exec(sql, changed))
            return false;
        if (changed != 1)
            WriteLog(u"$2026"_s, u"Client %1 not found."_s.arg(clientCode));
        return changed == 1;
    } catch (const std::exception& e) {
        WriteLog(u"$2026"_s, QString::fromUtf8(e.what()));
        return false;
    }
}

bool ClearClientSearch(int agency, int clientCode)
{
    try {
        int changed = 0;
        const QString sql =
            u"UPDATE `W_Clientes` SET `Cli_Filtro`=\"\", `Cli_FiltroFecha`=NULL, "
            u"`Cli_FiltroUsuario`=NULL, `Cli_Estado`=\"AM\" WHERE %1;"_s.arg(ActiveClient(agency, clientCode));
        if (!OpenDb().Exec(sql, changed))
            return false;
        if (changed != 1)
            WriteLog(u"$2027"_s, u"Client %1 not found."_s.arg(clientCode));
        return changed == 1;
    } catch (const std::exception& e) {
        WriteLog(u"$2027"_s, QString::fromUtf8(e.what()));
        return false;
    }
}
