#include "records/ClientList.h"

#include "core/Bugs.h"
#include "core/Config.h"
#include "db/uDB.h"

#include <memory>

using namespace Qt::StringLiterals;

bool LoadClientList(int agencyCode, QList<TClientEntry>& clients)
{
    clients.clear();
    TDataBase* db = DB();
    std::unique_ptr<TResultSet> rows;
    if (!db ||
        !db->QueryNoCount(u"SELECT `Cli_Codigo`, `Cli_Nombre` FROM `W_Clientes` WHERE `Inmo_Codigo`=%1 AND "
                          u"`Cli_Estado` IN (\"OK\",\"AM\") ORDER BY `Cli_Nombre`;"_s.arg(agencyCode),
                          rows) ||
        !rows) {
        WriteLog(u"$2067"_s, db ? TakeDbLastError() : Config::ErrDbNotOpen);
        return false;
    }
    for (rows->First(); !rows->Eof(); rows->Next())
        clients.append({rows->AsInteger(u"Cli_Codigo"_s), rows->AsString(u"Cli_Nombre"_s)});
    return true;
}
