#include "search/StoredSearches.h"

#include "core/Bugs.h"
#include "core/Config.h"
#include "core/MiscFunc.h"
#include "db/DBSchema.h"
#include "db/uDB.h"
#include "search/StoredSearchText.h"

#include <QRegularExpression>

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

bool IsLocalCode(int code)
{
    return code >= kLocalCodeFirst;
}

} // namespace

bool ListStoredSearches(int agency, int user, QList<TStoredSrchData>& list)
{
    list.clear();
    try {
        const QString sql =
            u"SELECT Filtro_Codigo, Filtro_Tipo, Filtro_Nombre, Filtro_Fecha, Filtro_Usuario FROM (SELECT "
            u"`Filtro_Codigo`, 1 AS Filtro_Tipo, `Filtro_Nombre`, `Filtro_FechaModif` AS Filtro_Fecha, "
            u"`Usuario_Codigo` AS `Filtro_Usuario` FROM `W_Filtros` WHERE `Inmo_Codigo` = %1 AND `Usuario_Codigo` = "
            u"%2 AND `Filtro_Estado` IN (\"OK\",\"AM\") UNION SELECT `Cli_Codigo` AS Filtro_Codigo, 2 AS "
            u"Filtro_Tipo, `Cli_Nombre` AS Filtro_Nombre, `Cli_FiltroFecha` AS Filtro_Fecha, `Cli_FiltroUsuario` "
            u"AS Filtro_Usuario FROM `W_Clientes` WHERE `Inmo_Codigo` = %3 AND `Cli_Filtro` <> \"\" AND "
            u"`Cli_Estado` IN (\"OK\",\"AM\") ORDER BY Filtro_Tipo, Filtro_Nombre)"_s.arg(agency)
                .arg(user)
                .arg(agency);
        std::unique_ptr<TResultSet> rows;
        if (!OpenDb().QueryNoCount(sql, rows) || !rows) {
            WriteLog(u"$2044"_s, Config::ErrQueryFailed);
            return false;
        }
        for (rows->First(); !rows->Eof(); rows->Next()) {
            TStoredSrchData entry;
            entry.Kind = rows->AsInteger(u"Filtro_Tipo"_s);
            entry.Code = rows->AsInteger(u"Filtro_Codigo"_s);
            entry.Name = rows->AsString(u"Filtro_Nombre"_s);
            if (!rows->IsNull(u"Filtro_Fecha"_s))
                entry.Date = DbTextToDateTime(rows->AsString(u"Filtro_Fecha"_s));
            entry.User = rows->AsInteger(u"Filtro_Usuario"_s);
            list << entry;
        }
        return true;
    } catch (const std::exception& e) {
        WriteLog(u"$2044"_s, QString::fromUtf8(e.what()));
        list.clear();
        return false;
    }
}

bool ReadStoredSearchParameters(int code, QString& parameters)
{
    try {
        OpenDb();
        parameters = ReadValue(u"W_Filtros"_s, u"Filtro_Parametros"_s, u"Filtro_Codigo"_s, QString::number(code));
        return !parameters.isEmpty();
    } catch (const std::exception& e) {
        WriteLog(u"$2045"_s, QString::fromUtf8(e.what()));
        parameters.clear();
        return false;
    }
}

bool InsertStoredSearch(int agency, int user, const QString& name, const QString& parameters, int* code)
{
    try {
        int newCode = -1;
        QString generation;
        if (!NextLocalCode(u"W_Filtros"_s, u"Filtro_Codigo"_s, newCode) ||
            !NewGenerationCode(u"W_Filtros"_s, u"Filtro_CodigoGeneracion"_s, generation))
            return false;
        const QString now = DateTimeToDbText(QDateTime::currentDateTime());
        const QString sql =
            u"INSERT INTO `W_Filtros` (`Filtro_Codigo`, `Inmo_Codigo`, `Usuario_Codigo`, `Filtro_FechaAlta`, "
            u"`Filtro_FechaModif`, `Filtro_Nombre`, `Filtro_Parametros`, `Filtro_Estado`, "
            u"`Filtro_CodigoGeneracion`) VALUES (%1, %2, %3, \"%4\", \"%5\", \"%6\", \"%7\", \"%8\", \"%9\");"_s.arg(
                QString::number(newCode), QString::number(agency), QString::number(user), now, now, EscapeSql(name),
                EscapeSql(parameters), u"AM"_s, generation);
        int rows = 0;
        if (!OpenDb().Exec(sql, rows)) {
            WriteLog(u"$2046"_s, TakeDbLastError());
            return false;
        }
        if (code)
            *code = newCode;
        return true;
    } catch (const std::exception& e) {
        WriteLog(u"$2046"_s, QString::fromUtf8(e.what()));
        return false;
    }
}

bool UpdateStoredSearch(int code, int agency, int user, const QString& parameters)
{
    try {
        const QString sql = u"UPDATE `W_Filtros` SET `Filtro_Parametros`=\"%1\", `Filtro_FechaModif`=\"%2\", "
                            u"`Filtro_Estado`=\"%3\" WHERE `Filtro_Codigo`=%4 AND `Inmo_Codigo`=%5 AND "
                            u"`Usuario_Codigo`=%6;"_s.arg(
                                EscapeSql(parameters), DateTimeToDbText(QDateTime::currentDateTime()), u"AM"_s,
                                QString::number(code), QString::number(agency), QString::number(user));
        int rows = 0;
        if (!OpenDb().Exec(sql, rows)) {
            WriteLog(u"$2047"_s, TakeDbLastError());
            return false;
        }
        return rows == 1;
    } catch (const std::exception& e) {
        WriteLog(u"$2047"_s, QString::fromUtf8(e.what()));
        return false;
    }
}

bool DeleteStoredSearch(int code, int agency, int user)
{
    try {
        // A search the service never saw goes at once; one it has must stay until the
        // upload tells the service to delete it.
        const QString sql =
            IsLocalCode(code)
                ? u"DELETE FROM `%1` WHERE `%2` IN (%3) AND `Inmo_Codigo`=%4 AND `Usuario_Codigo`=%5;"_s.arg(
                      u"W_Filtros"_s, u"Filtro_Codigo"_s, QString::number(code), QString::number(agency),
                      QString::number(user))
                : u"UPDATE `W_Filtros` SET `Filtro_Estado`=\"B\" WHERE `Inmo_Codigo`=%1 AND `Usuario_Codigo`=%2 AND "
                  u"`Filtro_Codigo`=%3;"_s.arg(agency)
                      .arg(user)
                      .arg(code);
        int rows = 0;
        if (!OpenDb().Exec(sql, rows)) {
            WriteLog(u"$2048"_s, TakeDbLastError());
            return false;
        }
        return rows == 1;
    } catch (const std::exception& e) {
        WriteLog(u"$2048"_s, QString::fromUtf8(e.what()));
        return false;
    }
}

bool StoredSearchNameExists(int agency, int user, const QString& name)
{
    try {
        std::unique_ptr<TResultSet> rows;
        int count = 0;
        const QString sql = u"SELECT COUNT(*) AS x FROM `W_Filtros` WHERE `Inmo_Codigo`=%1 AND `Usuario_Codigo`=%2 "
                            u"AND `Filtro_Nombre`=\"%3\";"_s.arg(agency)
                                .arg(user)
                                .arg(EscapeSql(name));
        if (!OpenDb().Query(sql, rows, count) || !rows || count != 1) {
            WriteLog(u"$2049"_s, Config::ErrQueryFailed);
            return false;
        }
        return rows->AsInt64(u"x"_s) > 0;
    } catch (const std::exception& e) {
        WriteLog(u"$2049"_s, QString::fromUtf8(e.what()));
        return false;
    }
}

QString StoredSearchTextProblem(const QString& parameters)
{
    // Entries "<Name(values)>" one after the other inside the braces; values may hold "("
    // (a description typed with one) but never ")", "<" or ">".
    static const QRegularExpression form(u"^\\{(<[A-Za-z]+\\([^)<>]*\\)>)+\\}$"_s);
    static const QRegularExpression known(
        u"<(Ubicacion|Edificacion|Situacion|Estado|Inmobiliaria|Pais|Provincia|Partido|Localidad|Zona|Calle|Barrio|"
        u"Precio|Moneda|Ingreso|Modificado|SupTno|SupCub|Dormitorios|Ambientes|Plantas|Banio|Anio|Texto|"
        u"Dependencias|Cochera|Telefono|AEstrenar|EnCero)\\("_s);
    const QString text = parameters.trimmed();
    if (text.isEmpty() || !form.match(text).hasMatch() || !known.match(text).hasMatch())
        return u"La búsqueda guardada está dañada y no se puede cargar. Elimínela y vuelva a guardar el filtro."_s;
    if (SearchTextUnsearchable(text))
        return u"La búsqueda guardada tiene un texto a buscar en la descripción que no se puede buscar. "
               u"Elimínela y vuelva a guardar el filtro."_s;
    return {};
}

QString StoredSearchSaveProblem(const QString& descriptionText)
{
    if (descriptionText.contains(u')'))
        return u"El texto a buscar en la descripción no puede contener el carácter \")\" en una búsqueda "
               u"guardada. Quítelo e intente nuevamente."_s;
    return {};
}
