#include "records/PropertyLocation.h"

#include "core/Bugs.h"
#include "core/Guarded.h"
#include "core/MiscFunc.h"
#include "db/uDB.h"
#include "records/PropertyTexts.h"

#include <QStringList>

#include <sqlite3.h>

#include <functional>

using namespace Qt::StringLiterals;

namespace {

const QString kUndefined = u"*No Definida"_s;

// The keyword inside "%...%", with LIKE's own characters made plain (ESCAPE "\").
QString ContainsPattern(const QString& keyword)
{
    QString escaped;
    for (const QChar c : keyword) {
        if (c == u'\\' || c == u'%' || c == u'_')
            escaped += u'\\';
        escaped += c;
    }
    return u'%' + escaped + u'%';
}

// Runs a query with one bound text and calls row for each result row (column texts).
// The typed keyword never becomes part of the statement.
bool QueryBound(const QString& code, const QString& sql, const QString& value,
                const std::function<void(sqlite3_stmt*)>& row)
{
    TDataBase* db = DB();
    sqlite3* handle = db ? db->Handle() : nullptr;
    if (!handle) {
        WriteLog(code, u"Database not open"_s);
        return false;
    }
    sqlite3_stmt* statement = nullptr;
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(handle, text.constData(), int(text.size()), &statement, nullptr) != SQLITE_OK) {
        WriteLog(code, QString::fromUtf8(sqlite3_errmsg(handle)));
        sqlite3_finalize(statement);
        return false;
    }
    const QByteArray bound = value.toUtf8();
    sqlite3_bind_text(statement, 1, bound.constData(), int(bound.size()), SQLITE_TRANSIENT);
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW)
        row(statement);
    sqlite3_finalize(statement);
    if (rc != SQLITE_DONE) {
        WriteLog(code, QString::fromUtf8(sqlite3_errmsg(handle)));
        return false;
    }
    return true;
}

QString Column(sqlite3_stmt* statement, int column)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return text ? QString::fromUtf8(text, sqlite3_column_bytes(statement, column)) : QString();
}

} // namespace

QString TLocationEntry::Codes() const
{
    return u"%1;%2;%3;%4;%5"_s.arg(Country).arg(Province).arg(District).arg(Locality).arg(Zone);
}

QString LocationKeyword(const QString& typed)
{
    return RemoveAccents(FilterChars(5, typed)).toLower().trimmed();
}

bool SearchLocations(const QString& typed, QList<TLocationEntry>& entries)
{
    entries.clear();
    entries << TLocationEntry{kUndefined, 1, 1, 1, 1, 1};
    const QString keyword = LocationKeyword(typed);
    if (keyword.size() < kMinLocationKeyword)
        return true;
    const QString sql =
        u"SELECT p.`Pais_Codigo`, v.`Prov_Codigo`, t.`Part_Codigo`, l.`Loc_Codigo`, IFNULL(z.`Zon_Codigo`, 0), "
        u"p.`Pais_Nombre`, v.`Prov_Nombre`, t.`Part_Nombre`, l.`Loc_Nombre`, IFNULL(z.`Zon_Nombre`, '') "
        u"FROM `W_Paises` p JOIN `W_Provincias` v ON v.`Pais_Codigo` = p.`Pais_Codigo` "
        u"JOIN `W_Partidos` t ON t.`Prov_Codigo` = v.`Prov_Codigo` "
        u"JOIN `W_Localidades` l ON l.`Part_Codigo` = t.`Part_Codigo` "
        u"LEFT JOIN `W_Zonas` z ON z.`Loc_Codigo` = l.`Loc_Codigo` "
        u"WHERE p.`Pais_Codigo` > 1 AND v.`Prov_Codigo` > 1 AND t.`Part_Codigo` > 1 AND l.`Loc_Codigo` > 1 AND ("
        u"REMOVE_ACCENTS(p.`Pais_Nombre`) LIKE ?1 ESCAPE '\\' OR REMOVE_ACCENTS(v.`Prov_Nombre`) LIKE ?1 ESCAPE '\\' "
        u"OR REMOVE_ACCENTS(t.`Part_Nombre`) LIKE ?1 ESCAPE '\\' OR REMOVE_ACCENTS(l.`Loc_Nombre`) LIKE ?1 ESCAPE "
        u"'\\' OR REMOVE_ACCENTS(IFNULL(z.`Zon_Nombre`, '')) LIKE ?1 ESCAPE '\\') "
        u"ORDER BY REMOVE_ACCENTS(p.`Pais_Nombre`), REMOVE_ACCENTS(v.`Prov_Nombre`), "
        u"REMOVE_ACCENTS(t.`Part_Nombre`), REMOVE_ACCENTS(l.`Loc_Nombre`), REMOVE_ACCENTS(IFNULL(z.`Zon_Nombre`, "
        u"''));"_s;
    QString previousPath;
    return Guarded(u"$2075"_s, false, [&] {
        return QueryBound(u"$2075"_s, sql, ContainsPattern(keyword), [&](sqlite3_stmt* s) {
            TLocationEntry entry;
            entry.Country = sqlite3_column_int(s, 0);
            entry.Province = sqlite3_column_int(s, 1);
            entry.District = sqlite3_column_int(s, 2);
            entry.Locality = sqlite3_column_int(s, 3);
            const int zone = sqlite3_column_int(s, 4);
            const QString path = QStringList{Column(s, 5), Column(s, 6), Column(s, 7), Column(s, 8)}.join(u" > "_s);
            if (path != previousPath && RemoveAccents(path).toLower().contains(keyword)) {
                entry.Text = path;
                entry.Zone = 1;
                entries << entry;
            }
            previousPath = path;
            const QString zoneName = Column(s, 9);
            if (zone > 0 && !zoneName.isEmpty()) {
                entry.Text = path + u" > "_s + zoneName;
                entry.Zone = zone;
                if (entries.last().Text != entry.Text)
                    entries << entry;
            }
        });
    });
}

bool SearchPlaces(const QString& typed, bool neighbourhoods, QList<TPlaceEntry>& entries)
{
    entries.clear();
    entries << TPlaceEntry{u"FALTA DIRECCION"_s, kMissingAddressCode};
    const QString keyword = LocationKeyword(typed);
    if (keyword.size() < kMinLocationKeyword)
        return true;
    const QString code = neighbourhoods ? u"$2077"_s : u"$2076"_s;
    const QString sql =
        neighbourhoods
            ? u"SELECT `Barrio_Codigo` AS c, `Barrio_Nombre` AS x, REMOVE_ACCENTS(`Barrio_Nombre`) AS Barrio FROM "
              u"`W_Barrios` WHERE Barrio LIKE ?1 ESCAPE '\\' ORDER BY Barrio;"_s
            : u"SELECT `Calle_Codigo` AS c, `Calle_Nombre` AS x, REMOVE_ACCENTS(`Calle_Nombre`) AS Calle FROM "
              u"`W_Calles` WHERE Calle LIKE ?1 ESCAPE '\\' ORDER BY Calle;"_s;
    return Guarded(code, false, [&] {
        return QueryBound(code, sql, ContainsPattern(keyword), [&](sqlite3_stmt* s) {
            const int place = sqlite3_column_int(s, 0);
            if (place != kMissingAddressCode)
                entries << TPlaceEntry{Column(s, 1), place};
        });
    });
}

QString LocationDisplayPath(const TLocationCodes& codes)
{
    return Guarded(u"$2080"_s, kUndefined, [&] {
        const QString sql = u"SELECT (SELECT `Pais_Nombre` FROM `W_Paises` WHERE `Pais_Codigo` = %1) AS a, "
                            u"(SELECT `Prov_Nombre` FROM `W_Provincias` WHERE `Prov_Codigo` = %2) AS b, "
                            u"(SELECT `Part_Nombre` FROM `W_Partidos` WHERE `Part_Codigo` = %3) AS c, "
                            u"(SELECT `Loc_Nombre` FROM `W_Localidades` WHERE `Loc_Codigo` = %4) AS d, "
                            u"(SELECT `Zon_Nombre` FROM `W_Zonas` WHERE `Zon_Codigo` = %5) AS e;"_s.arg(codes.Country)
                                .arg(codes.Province)
                                .arg(codes.District)
                                .arg(codes.Locality)
                                .arg(codes.Zone);
        std::unique_ptr<TResultSet> row;
        if (!DB() || !DB()->QueryNoCount(sql, row) || !row) {
            WriteLog(u"$2080"_s, TakeDbLastError());
            return kUndefined;
        }
        QStringList names;
        for (const QString& column : {u"a"_s, u"b"_s, u"c"_s, u"d"_s, u"e"_s}) {
            const QString name = row->AsString(column).trimmed();
            if (!name.isEmpty() && !IsUndefinedName(name))
                names << name;
        }
        return names.isEmpty() ? kUndefined : names.join(u" > "_s);
    });
}

QString PlaceName(int code, bool neighbourhood)
{
    if (code == kMissingAddressCode)
        return u"FALTA DIRECCION"_s;
    return neighbourhood ? ReadValue(u"W_Barrios"_s, u"Barrio_Nombre"_s, u"Barrio_Codigo"_s, QString::number(code))
                         : ReadValue(u"W_Calles"_s, u"Calle_Nombre"_s, u"Calle_Codigo"_s, QString::number(code));
}
