#include "selections/Selections.h"

#include "core/Bugs.h"
#include "core/Config.h"
#include "core/MiscFunc.h"
#include "db/DBSchema.h"
#include "db/InstallContext.h"
#include "db/uDB.h"
#include "sync/Session.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>

#include <memory>
#include <stdexcept>

using namespace Qt::StringLiterals;

namespace Selections {

namespace {

const QString kActive = u"`Selec_Estado` IN (\"OK\",\"AM\")"_s;

TDataBase& Db()
{
    TDataBase* db = DB();
    if (!db)
        throw std::runtime_error(Config::ErrDbNotOpen.toStdString());
    return *db;
}

int Agency()
{
    return CurrentAgencyCode();
}

// Runs a query; throws with the database's text when it fails.
std::unique_ptr<TResultSet> Read(const QString& sql)
{
    std::unique_ptr<TResultSet> rows;
    if (!Db().QueryNoCount(sql, rows) || !rows)
        throw std::runtime_error(TakeDbLastError().toStdString());
    return rows;
}

// Runs a change (one batch is one transaction); throws when it fails.
void Change(const QString& sql)
{
    int rows = 0;
    if (!Db().Exec(sql, rows))
        throw std::runtime_error(TakeDbLastError().toStdString());
}

template <typename Body> auto Guard(const QString& code, Body body, decltype(body()) failure)
{
    try {
        return body();
    } catch (const std::exception& e) {
        WriteLog(code, QString::fromUtf8(e.what()));
        return failure;
    }
}

QString ClientValue(int client)
{
    return client < 1 ? u"NULL"_s : QString::number(client);
}

QString EditSql(qint64 code, const QString& name, int client)
{
    return u"UPDATE `W_Selecciones` SET `Selec_Nombre`=\"%1\"%2, `Selec_FechaMod`=\"%3\", `Selec_Estado`=\"AM\" "
           u"WHERE Selec_Codigo=%4;"_s.arg(EscapeSql(name),
                                           client < 1 ? u",`Cli_Codigo`=NULL "_s : u",`Cli_Codigo`=%1 "_s.arg(client),
                                           DateTimeToDbText(QDateTime::currentDateTime()), QString::number(code));
}

// An IN list that matches nothing when empty.
QString InList(const QList<qint64>& codes)
{
    return codes.isEmpty() ? u"NULL"_s : JoinCodes(codes);
}

} // namespace

QString JoinCodes(const QList<qint64>& codes)
{
    QStringList texts;
    for (qint64 code : codes)
        texts << QString::number(code);
    return texts.join(u',');
}

QString ListSql(int agencyCode, int userCode, int clientCode)
{
    return u"SELECT `W_Selecciones`.*, `W_Usuarios`.*, `W_Clientes`.* FROM `W_Selecciones` LEFT JOIN `W_Clientes` ON "
           u"((`W_Selecciones`.`Cli_Codigo`=`W_Clientes`.`Cli_Codigo`) AND "
           u"(`W_Selecciones`.`Inmo_Codigo`=`W_Clientes`.`Inmo_Codigo`)) INNER JOIN `W_Usuarios` ON "
           u"((`W_Selecciones`.`Usuario_Codigo` = `W_Usuarios`.`Usuario_Codigo`) AND "
           u"(`W_Selecciones`.`Inmo_Codigo`=`W_Usuarios`.`Inmo_Codigo`)) LEFT JOIN `W_SeleccionesCompartidas` ON "
           u"((`W_Selecciones`.`Selec_Codigo`=`W_SeleccionesCompartidas`.`Selec_Codigo`) AND "
           u"(`W_SeleccionesCompartidas`.`Usuario_Codigo`=%1 AND `W_SeleccionesCompartidas`.`Selec_Aceptada`)) WHERE "
           u"((`W_Selecciones`.`Inmo_Codigo`=%2 AND `W_Selecciones`.`Usuario_Codigo`=%1 AND "
           u"`W_Selecciones`.`Selec_Estado` IN (\"OK\",\"AM\")) OR (`W_SeleccionesCompartidas`.`Usuario_Codigo`=%1 AND "
           u"`W_SeleccionesCompartidas`.`Selec_Aceptada`))%3 "_s.arg(
               QString::number(userCode), QString::number(agencyCode),
               clientCode > 0 ? u" AND `W_Selecciones`.`Cli_Codigo`=%1"_s.arg(clientCode) : QString());
}

QString ListOrder()
{
    return u"ORDER BY `Selec_Nombre` ASC"_s;
}

int CountListed()
{
    return Guard(
        u"$2057"_s, [] { return Read(ListSql(Agency(), SessionUserCode) + ListOrder())->RecordCount(); }, -1);
}

bool OwnActive(QList<TSelectionEntry>& selections)
{
    selections.clear();
    return Guard(
        u"$2058"_s,
        [&] {
            auto rows = Read(u"SELECT * FROM `W_Selecciones` WHERE `Inmo_Codigo`=%1 AND `Usuario_Codigo`=%2 AND "
                             u"`Selec_Estado` IN (\"OK\",\"AM\") ORDER BY `Selec_Nombre`;"_s.arg(Agency())
                                 .arg(SessionUserCode));
            for (rows->First(); !rows->Eof(); rows->Next())
                selections.append({rows->AsInt64(u"Selec_Codigo"_s), rows->AsString(u"Selec_Nombre"_s)});
            return true;
        },
        false);
}

bool Members(const QList<qint64>& codes, QStringList& members)
{
    members.clear();
    if (codes.isEmpty())
        return true;
    return Guard(
        u"$2059"_s,
        [&] {
            auto rows = Read(u"SELECT `Prop_Codigo` FROM `W_SeleccionesProps` WHERE `Selec_Codigo` IN (%1);"_s.arg(
                JoinCodes(codes)));
            QSet<QString> seen;
            for (rows->First(); !rows->Eof(); rows->Next()) {
                const QString code = rows->AsString(u"Prop_Codigo"_s);
                if (!seen.contains(code)) {
                    seen.insert(code);
                    members << code;
                }
            }
            return true;
        },
        false);
}

bool ShareSelections(const QList<qint64>& codes, QList<TShareSelectionItem>& items)
{
    items.clear();
    return Guard(
        u"$2060"_s,
        [&] {
            auto rows = Read(
                u"SELECT `W_Selecciones`.`Selec_Nombre` AS n, `W_Clientes`.`Cli_Nombre` AS c, (SELECT Count(1) FROM "
                u"`W_SeleccionesProps` WHERE `W_Selecciones`.`Selec_Codigo`=`W_SeleccionesProps`.`Selec_Codigo`) AS p "
                u"FROM `W_Selecciones` LEFT JOIN `W_Clientes` ON "
                u"`W_Selecciones`.`Cli_Codigo`=`W_Clientes`.`Cli_Codigo` "
                u"WHERE `W_Selecciones`.`Selec_Codigo` IN (%1) AND `Selec_Estado` IN (\"OK\",\"AM\") ORDER BY "
                u"`W_Selecciones`.`Selec_Nombre`;"_s.arg(InList(codes)));
            for (rows->First(); !rows->Eof(); rows->Next())
                items.append({rows->AsString(u"n"_s), rows->AsString(u"c"_s), rows->AsInteger(u"p"_s)});
            return true;
        },
        false);
}

bool ShareUsers(const QList<qint64>& codes, QList<TSharedUsersData>& users)
{
    users.clear();
    return Guard(
        u"$2061"_s,
        [&] {
            auto rows =
                Read(u"SELECT `W_Usuarios`.`Usuario_Codigo` AS u, `W_Usuarios`.`Usuario_Nombre` AS n, (SELECT "
                     u"COUNT(1) FROM `W_SeleccionesCompartidas` WHERE "
                     u"`W_SeleccionesCompartidas`.`Usuario_Codigo`=`W_Usuarios`.`Usuario_Codigo` AND "
                     u"`W_SeleccionesCompartidas`.`Selec_Codigo` IN (%1)) AS c FROM `W_Usuarios` WHERE "
                     u"`W_Usuarios`.`Inmo_Codigo`=%2 AND `W_Usuarios`.`Usuario_Codigo`<>%3 AND "
                     u"`W_Usuarios`.`Usuario_Activo`=1 ORDER BY `W_Usuarios`.`Usuario_Nombre`;"_s.arg(InList(codes))
                         .arg(Agency())
                         .arg(SessionUserCode));
            const int given = int(codes.size());
            for (rows->First(); !rows->Eof(); rows->Next()) {
                TSharedUsersData user;
                user.Code = rows->AsInteger(u"u"_s);
                user.Name = rows->AsString(u"n"_s);
                user.Shared = rows->AsInteger(u"c"_s);
                user.State = user.Shared == 0 ? 0 : user.Shared >= given ? 1 : -1;
                users.append(user);
            }
            return true;
        },
        false);
}

int CountOwnActive(const QList<qint64>& codes)
{
    return Guard(
        u"$2062"_s,
        [&] {
            auto rows = Read(
                u"SELECT COUNT(*) AS c FROM `W_Selecciones` WHERE `Selec_Codigo` IN (%1) AND "
                u"`Inmo_Codigo`=%2 AND `Usuario_Codigo`=%3 AND `Selec_Estado` IN (\"OK\",\"AM\");"_s.arg(InList(codes))
                    .arg(Agency())
                    .arg(SessionUserCode));
            return rows->RecordCount() ? rows->AsInteger(u"c"_s) : 0;
        },
        0);
}

bool IsOwnActive(qint64 code)
{
    return Guard(
        u"$2062"_s,
        [&] {
            return Read(u"SELECT 1 FROM `W_Selecciones` WHERE `Selec_Codigo`=%1 AND `Inmo_Codigo`=%2 AND "
                        u"`Usuario_Codigo`=%3 AND `Selec_Estado` IN (\"OK\",\"AM\");"_s.arg(code)
                            .arg(Agency())
                            .arg(SessionUserCode))
                       ->RecordCount() > 0;
        },
        false);
}

bool AnythingSharedWithMe()
{
    return Guard(
        u"$2062"_s,
        [] {
            return Read(u"SELECT 1 FROM `W_SeleccionesCompartidas` WHERE `Usuario_Codigo`=%1;"_s.arg(SessionUserCode))
                       ->RecordCount() > 0;
        },
        false);
}

bool NameExists(const QString& name)
{
    return Guard(
        u"$2063"_s,
        [&] {
            return Read(u"SELECT 1 FROM `W_Selecciones` WHERE `Inmo_Codigo`=%1 AND `Usuario_Codigo`=%2 AND "
                        u"`Selec_Nombre`=\"%3\" AND `Selec_Estado` IN (\"OK\",\"AM\");"_s.arg(Agency())
                            .arg(SessionUserCode)
                            .arg(EscapeSql(name)))
                       ->RecordCount() > 0;
        },
        true);
}

QString NameOf(qint64 code)
{
    return Guard(
        u"$2063"_s,
        [&] {
            auto rows = Read(u"SELECT `Selec_Nombre` AS n FROM `W_Selecciones` WHERE `Selec_Codigo`=%1;"_s.arg(code));
            return rows->RecordCount() ? rows->AsString(u"n"_s) : QString();
        },
        QString());
}

int ClientOf(qint64 code)
{
    return ReadValue(u"W_Selecciones"_s, u"Cli_Codigo"_s, u"Selec_Codigo"_s, QString::number(code)).toInt();
}

bool OthersSelections(std::optional<qint64> only, QList<TOthersSelectionsData>& selections)
{
    selections.clear();
    return Guard(
        u"$2066"_s,
        [&] {
            auto rows = Read(
                u"SELECT s.`Selec_Codigo` AS k, s.`Selec_Nombre` AS n, u.`Usuario_Nombre` AS o, c.`Selec_Aceptada` AS "
                u"a "
                u"FROM `W_SeleccionesCompartidas` c INNER JOIN `W_Selecciones` s ON s.`Selec_Codigo`=c.`Selec_Codigo` "
                u"INNER JOIN `W_Usuarios` u ON u.`Usuario_Codigo`=s.`Usuario_Codigo` AND "
                u"u.`Inmo_Codigo`=s.`Inmo_Codigo` "
                u"WHERE c.`Usuario_Codigo`=%1 AND s.`Inmo_Codigo`=%2 AND s.`Usuario_Codigo`<>%1 AND "
                u"s.`Selec_Estado` IN (\"OK\",\"AM\")%3 ORDER BY s.`Selec_Nombre`;"_s.arg(SessionUserCode)
                    .arg(Agency())
                    .arg(only ? u" AND s.`Selec_Codigo`=%1"_s.arg(*only) : QString()));
            for (rows->First(); !rows->Eof(); rows->Next())
                selections.append({rows->AsInt64(u"k"_s), rows->AsString(u"n"_s), rows->AsString(u"o"_s),
                                   !rows->IsNull(u"a"_s) && rows->AsInteger(u"a"_s) == 1});
            return true;
        },
        false);
}

bool Save(const QString& name, int client, const QStringList& properties, qint64 existing, bool create, qint64* newCode)
{
    return Guard(
        u"$2065"_s,
        [&] {
            QString batch;
            qint64 target = existing;
            if (create) {
                int code = -1;
                QString generation;
                if (!NextLocalCode(u"W_Selecciones"_s, u"Selec_Codigo"_s, code) ||
                    !NewGenerationCode(u"W_Selecciones"_s, u"Selec_CodigoGeneracion"_s, generation))
                    throw std::runtime_error("no code for a new selection");
                const QString now = DateTimeToDbText(QDateTime::currentDateTime());
                batch +=
                    u"INSERT INTO `W_Selecciones` (`Selec_Codigo`,`Inmo_Codigo`,`Usuario_Codigo`,`Selec_FechaAlta`,"
                    u"`Selec_FechaMod`,`Selec_Nombre`,`Cli_Codigo`,`Selec_Estado`,`Selec_CodigoGeneracion`) VALUES "
                    u"(%1,%2,%3,\"%4\",\"%4\",\"%5\",%6,\"AM\",\"%7\");"_s.arg(
                        QString::number(code), QString::number(Agency()), QString::number(SessionUserCode), now,
                        EscapeSql(name), ClientValue(client), generation);
                if (existing == -1)
                    target = code;
            } else if (target < 1) {
                throw std::runtime_error("no selection to add to");
            }
            for (const QString& property : properties) {
                bool number = false;
                property.toLongLong(&number);
                if (!number)
                    throw std::runtime_error("not a property code: " + property.toStdString());
                batch += u"INSERT OR IGNORE INTO `W_SeleccionesProps` (`Selec_Codigo`,`Prop_Codigo`) VALUES (%1,%2);"_s
                             .arg(target)
                             .arg(property);
            }
            if (!create && client != -1)
                batch += EditSql(target, NameOf(target), client);
            batch += u"UPDATE `W_Selecciones` SET `Selec_Estado`=\"AM\" WHERE `Selec_Codigo`=%1;"_s.arg(target);
            // Row, members and mark together: a failure half-way leaves nothing behind.
            Change(batch);
            if (newCode)
                *newCode = target;
            return true;
        },
        false);
}

bool Edit(qint64 code, const QString& name, int client)
{
    return Guard(
        u"$2065"_s,
        [&] {
            Change(EditSql(code, name, client));
            return true;
        },
        false);
}

bool Delete(qint64 code)
{
    return Guard(
        u"$2064"_s,
        [&] {
            if (code >= kLocalCodeFirst) {
                // Never sent: the service has nothing to delete, so nothing is kept.
                Change(u"DELETE FROM `W_SeleccionesCompartidas` WHERE `Selec_Codigo` IN (%1);"
                       u"DELETE FROM `W_SeleccionesProps` WHERE `Selec_Codigo` IN (%1);"
                       u"DELETE FROM `W_Selecciones` WHERE `Selec_Codigo` IN (%1);"_s.arg(code));
                return true;
            }
            Change(u"DELETE FROM `W_SeleccionesCompartidas` WHERE `Selec_Codigo`=%1;DELETE FROM `W_SeleccionesProps` "
                   u"WHERE `Selec_Codigo`=%1;UPDATE `W_Selecciones` SET `Selec_Estado`=\"B\", `Selec_Compartir`=NULL, "
                   u"`Selec_FechaMod`=\"%2\" WHERE `Selec_Codigo`=%1;"_s.arg(
                       QString::number(code), DateTimeToDbText(QDateTime::currentDateTime())));
            return true;
        },
        false);
}

bool RemoveMember(qint64 property, qint64 selection)
{
    return Guard(
        u"$2064"_s,
        [&] {
            Change(u"DELETE FROM `W_SeleccionesProps` WHERE `Selec_Codigo`=%1 AND `Prop_Codigo`=%2;UPDATE "
                   u"`W_Selecciones` SET `Selec_Estado`=\"AM\" WHERE `Selec_Codigo`=%1;"_s.arg(selection)
                       .arg(property));
            return true;
        },
        false);
}

bool Share(const QList<qint64>& codes, const QList<TSharedUsersData>& users)
{
    if (codes.isEmpty())
        return true;
    return Guard(
        u"$2065"_s,
        [&] {
            const QString list = JoinCodes(codes);
            QString batch;
            for (const TSharedUsersData& user : users) {
                if (user.State == 1)
                    for (qint64 code : codes)
                        batch += u"INSERT OR IGNORE INTO `W_SeleccionesCompartidas` (`Selec_Codigo`, `Usuario_Codigo`) "
                                 u"VALUES (%1, %2);"_s.arg(code)
                                     .arg(user.Code);
                else if (user.State == 0)
                    batch += u"DELETE FROM `W_SeleccionesCompartidas` WHERE `Usuario_Codigo`=%1 AND `Selec_Codigo` IN "
                             u"(%2);"_s.arg(QString::number(user.Code), list);
            }
            batch +=
                u"UPDATE `W_Selecciones` SET `Selec_Compartir`=NULL, `Selec_Estado`=\"AM\" WHERE `Selec_Codigo` IN "
                u"(%1);UPDATE `W_Selecciones` SET `Selec_Compartir`=1 WHERE `Selec_Codigo` IN (SELECT DISTINCT "
                u"`Selec_Codigo` FROM `W_SeleccionesCompartidas` WHERE `W_SeleccionesCompartidas`.`Selec_Codigo` IN "
                u"(%1));"_s.arg(list);
            Change(batch);
            return true;
        },
        false);
}

bool Accept(const QList<TOthersSelectionsData>& selections)
{
    QList<qint64> accepted, declined;
    for (const TOthersSelectionsData& s : selections)
        (s.Accepted ? accepted : declined) << s.Code;
    return Guard(
        u"$2065"_s,
        [&] {
            // Only this user's share rows change, and only they go up with the next upload:
            // marking the owner's selection would send back the members and shares this
            // copy had at its last import over whatever the owner changed since.
            Change(u"UPDATE `W_SeleccionesCompartidas` SET `Selec_Aceptada`=1, `%3`=\"AM\" WHERE `Selec_Codigo` IN "
                   u"(%1) AND `Usuario_Codigo`=%4;UPDATE `W_SeleccionesCompartidas` SET `Selec_Aceptada`=NULL, "
                   u"`%3`=\"AM\" WHERE `Selec_Codigo` IN (%2) AND `Usuario_Codigo`=%4;"_s.arg(
                       InList(accepted), InList(declined), kShareStateColumn, QString::number(SessionUserCode)));
            return true;
        },
        false);
}

bool Withdraw(const QList<qint64>& codes)
{
    if (codes.isEmpty())
        return true;
    return Guard(
        u"$2065"_s,
        [&] {
            // Declining the share keeps the row the service knows of, so the next import
            // cannot bring the selection back into view.
            Change(u"UPDATE `W_SeleccionesCompartidas` SET `Selec_Aceptada`=NULL, `%1`=\"AM\" WHERE `Selec_Codigo` IN "
                   u"(%2) AND `Usuario_Codigo`=%3;"_s.arg(kShareStateColumn, JoinCodes(codes),
                                                          QString::number(SessionUserCode)));
            return true;
        },
        false);
}

QString StripDuplicateSuffix(const QString& name)
{
    // Suffixes written at midnight may carry the date alone.
    static const QRegularExpression suffix(
        u"(_Dup\\.\\s[0-9]{4}\\-[0-9]{2}\\-[0-9]{2}(\\s[0-9]{2}\\-[0-9]{2}\\-[0-9]{2})?)\\_\\#[0-9]{4}"_s);
    QString stripped = name;
    stripped.remove(suffix);
    return stripped;
}

QString DuplicateCandidate(const QString& name, const QDateTime& now, int number)
{
    // Always with its time, also at midnight, so that a later duplicate recognises it.
    const QString suffix = u"_Dup. "_s + now.toString(u"yyyy-MM-dd HH-mm-ss"_s) + u"_#"_s +
                           QString::number(number).rightJustified(4, u'0');
    QString base = name;
    if (base.size() + suffix.size() > kNameLength)
        base = base.left(kNameLength).left(kNameLength - suffix.size());
    return base + suffix;
}

std::optional<QString> FreeDuplicateName(const QString& name, const QDateTime& now,
                                         const std::function<bool(const QString&)>& taken,
                                         const std::function<int()>& draw)
{
    const QString base = StripDuplicateSuffix(name);
    for (int attempt = 0; attempt < kDuplicateAttempts; ++attempt) {
        const int number = draw ? draw() : int(QRandomGenerator::global()->bounded(1000, 10000));
        const QString candidate = DuplicateCandidate(base, now, number);
        if (!taken(candidate))
            return candidate;
    }
    return std::nullopt;
}

} // namespace Selections
