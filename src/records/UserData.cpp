#include "records/UserData.h"

#include "core/Bugs.h"
#include "core/Config.h"
#include "core/MiscFunc.h"
#include "db/uDB.h"

#include <memory>
#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {

const QString kExisting = u" AND `Usuario_Estado` IN (\"OK\",\"AM\")"_s;

TDataBase& Db()
{
    TDataBase* db = DB();
    if (!db)
        throw std::runtime_error(Config::ErrDbNotOpen.toStdString());
    return *db;
}

void ReadUser(const TResultSet& r, TUserData& user)
{
    user.Code = r.AsInteger(u"Usuario_Codigo"_s);
    user.Login = r.AsString(u"Usuario_Login"_s);
    user.Password = r.AsString(u"Usuario_Password"_s);
    user.Role = r.AsInteger(u"Usuario_Perfil"_s);
    user.Name = r.AsString(u"Usuario_Nombre"_s);
    user.Address = r.AsString(u"Usuario_Domicilio"_s);
    user.PostalCode = r.AsString(u"Usuario_CP"_s);
    user.Locality = r.AsString(u"Usuario_Localidad"_s);
    user.Phone = r.AsString(u"Usuario_Te"_s);
    user.Email = r.AsString(u"Usuario_email"_s);
    user.State = r.AsString(u"Usuario_Estado"_s);
    user.AgencyCode = r.AsInteger(u"Inmo_Codigo"_s);
    user.LocalLoginAllowed = r.FieldIndex(u"Usuario_LoginLocal"_s) >= 0 && r.AsInteger(u"Usuario_LoginLocal"_s) == 1;
}

bool LoadOne(const QString& where, const QString& sql, TUserData& user)
{
    try {
        std::unique_ptr<TResultSet> result;
        int rows = 0;
        if (!Db().Query(sql, result, rows) || !result)
            throw std::runtime_error(Config::ErrQueryFailed.toStdString());
        if (rows < 1)
            return false;
        user = {};
        ReadUser(*result, user);
        return true;
    } catch (const std::exception& e) {
        WriteLog(where, QString::fromUtf8(e.what()));
        return false;
    }
}

} // namespace

bool LoadUser(int agencyCode, int userCode, TUserData& user)
{
    return LoadOne(u"$2033"_s,
                   u"SELECT * FROM `W_Usuarios` WHERE `Usuario_Codigo`=%1 AND `Inmo_Codigo`=%2%3;"_s.arg(userCode)
                       .arg(agencyCode)
                       .arg(kExisting),
                   user);
}

bool LoadUserByLogin(int agencyCode, const QString& login, TUserData& user)
{
    const QString name = login.trimmed().toLower();
    if (name.isEmpty())
        return false;
    return LoadOne(u"$2042"_s,
                   u"SELECT * FROM `W_Usuarios` WHERE `Inmo_Codigo`=%1 AND lower(`Usuario_Login`)=\"%2\" "
                   u"AND `Usuario_Activo`=1%3 ORDER BY `Usuario_Codigo` LIMIT 1;"_s.arg(QString::number(agencyCode),
                                                                                        EscapeSql(name), kExisting),
                   user);
}

int LoginUsedByOtherUser(int agencyCode, const QString& login, int exceptUserCode)
{
    const QString where = u"$2043"_s;
    try {
        std::unique_ptr<TResultSet> result;
        int rows = 0;
        const QString sql = u"SELECT `Usuario_Codigo` FROM `W_Usuarios` WHERE `Inmo_Codigo`=%1 AND "
                            u"lower(`Usuario_Login`)=\"%2\" AND `Usuario_Activo`=1%3 AND `Usuario_Codigo` <> %4 "
                            u"LIMIT 1;"_s.arg(QString::number(agencyCode), EscapeSql(login.trimmed().toLower()),
                                              kExisting, QString::number(exceptUserCode));
        if (!Db().Query(sql, result, rows) || !result)
            throw std::runtime_error(Config::ErrQueryFailed.toStdString());
        return rows < 1 ? 0 : result->AsInteger(u"Usuario_Codigo"_s);
    } catch (const std::exception& e) {
        WriteLog(where, QString::fromUtf8(e.what()));
        return -1;
    }
}

bool UpdateUserCredentials(int userCode, const QString& login, const QString& passwordDigest)
{
    const QString where = u"$2044"_s;
    try {
        int rows = 0;
        const QString sql =
            u"UPDATE `W_Usuarios` SET `Usuario_Login`=\"%1\", `Usuario_Password`=\"%2\" WHERE `Usuario_Codigo`=%3;"_s
                .arg(EscapeSql(login.trimmed().toLower()), EscapeSql(passwordDigest.toLower()),
                     QString::number(userCode));
        if (!Db().Exec(sql, rows))
            return false;
        if (rows != 1)
            throw std::runtime_error("user " + std::to_string(userCode) + " not found");
        return true;
    } catch (const std::exception& e) {
        WriteLog(where, QString::fromUtf8(e.what()));
        return false;
    }
}
