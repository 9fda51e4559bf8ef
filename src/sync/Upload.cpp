#include "sync/Upload.h"

#include "core/Bugs.h"
#include "core/MiscFunc.h"
#include "db/InstallContext.h"
#include "db/uDB.h"
#include "records/PhotoFiles.h"
#include "sync/Envelope.h"
#include "sync/Import.h"
#include "sync/Sync.h"

#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

// The agency's own tables in the order the payload lists them. "%1" is the agency number.
struct OwnTable {
    const char* table;
    const char* label;
    QString pending; // WHERE clause of its pending records
};

const QString kOwnProperties = u"SELECT `Prop_Codigo` FROM `W_Propiedades` WHERE `Inmo_Codigo` = %1"_s;
const QString kPendingSelections =
    u"SELECT `Selec_Codigo` FROM `W_Selecciones` WHERE `Inmo_Codigo` = %1 AND `Selec_Estado` IN (\"AM\", \"B\")"_s;

const std::vector<OwnTable>& OwnTables()
{
    static const std::vector<OwnTable> tables = {
        {"W_Propiedades", "Propiedades", u"`Inmo_Codigo` = %1 AND `Sync_Tipo` IN (\"AM\", \"B\")"_s},
        {"W_MasDatos", "Datos adicionales",
         u"`Sync_Tipo` IN (\"AM\", \"B\") AND `Prop_Codigo` IN ("_s + kOwnProperties + u")"_s},
        {"W_Propietarios", "Propietarios",
         u"`Sync_Tipo` IN (\"AM\", \"B\") AND `Prop_Codigo` IN ("_s + kOwnProperties + u")"_s},
        {"W_Zonaprop", "Publicaciones en portales", u"`Inmo_Codigo` = %1 AND `Sync_Tipo` IN (\"AM\", \"B\")"_s},
        {"W_Clientes", "Clientes", u"`Inmo_Codigo` = %1 AND `Cli_Estado` IN (\"AM\", \"B\")"_s},
        {"W_Usuarios", "Usuarios", u"`Inmo_Codigo` = %1 AND `Usuario_Estado` IN (\"AM\", \"B\")"_s},
        {"W_Filtros", "Búsquedas guardadas", u"`Inmo_Codigo` = %1 AND `Filtro_Estado` IN (\"AM\", \"B\")"_s},
        {"W_Selecciones", "Selecciones", u"`Inmo_Codigo` = %1 AND `Selec_Estado` IN (\"AM\", \"B\")"_s},
        {"W_SeleccionesProps", "Propiedades de selecciones", u"`Selec_Codigo` IN ("_s + kPendingSelections + u")"_s},
        // A share its user accepted or declined goes up alone, without the owner's selection.
        {"W_SeleccionesCompartidas", "Selecciones compartidas",
         u"(`Selec_Codigo` IN ("_s + kPendingSelections +
             u") OR (`Selec_EstadoCompartida` = \"AM\" AND "
             u"`Selec_Codigo` IN (SELECT `Selec_Codigo` FROM "
             u"`W_Selecciones` WHERE `Inmo_Codigo` = %1)))"_s},
        // New photos (local codes) and the service's own photos deleted here ("B").
        {"W_Fotos", "Fotos",
         u"(`Foto_Codigo` > 2147473646 OR IFNULL(`Sync_Tipo`, \"\") IN (\"AM\", \"B\")) AND `Prop_Codigo` IN ("_s +
             kOwnProperties + u")"_s},
    };
    return tables;
}

// Dependent rows go before the rows they hang from: their pending test looks at them.
const char* const kDeletionOrder[] = {"W_SeleccionesProps", "W_SeleccionesCompartidas",
                                      "W_Selecciones",      "W_MasDatos",
                                      "W_Propietarios",     "W_Zonaprop",
                                      "W_Clientes",         "W_Usuarios",
                                      "W_Filtros",          "W_Fotos",
                                      "W_Propiedades"};

const OwnTable* Find(const char* table)
{
    for (const OwnTable& t : OwnTables())
        if (qstrcmp(t.table, table) == 0)
            return &t;
    return nullptr;
}

QString Agency()
{
    return QString::number(CurrentAgencyCode());
}

QString CountStatement()
{
    QStringList parts;
    for (const OwnTable& t : OwnTables())
        parts << u"SELECT '%1' AS t, COUNT(*) AS x FROM `%2` WHERE %3"_s.arg(
            QString::fromUtf8(t.label), QString::fromLatin1(t.table), t.pending.arg(Agency()));
    return parts.join(u" UNION ALL "_s) + u';';
}

// One record as a JSON object, each column by its declared type.
bool RecordJson(const TResultSet& row, const QString& table, QByteArray& out)
{
    out = "{";
    bool first = true;
    for (int c = 0; c < row.FieldCount(); ++c) {
        const QString name = row.FieldName(c);
        const QString type = row.DeclaredType(c);
        QByteArray value;
        if (type.contains(u"BOOL"_s)) {
            value = row.IsNullAt(c) ? "null" : (row.AsBooleanAt(c) ? "1" : "0");
        } else if (type.contains(u"DATE"_s) || type.contains(u"TIME"_s)) {
            const QDateTime when = row.AsDateTimeAt(c);
            value = when.isValid() ? '"' + DateTimeToDbText(when).toLatin1() + '"' : QByteArray("null");
        } else if (type.contains(u"INT"_s) || type.contains(u"REAL"_s) || type.contains(u"FLOA"_s) ||
                   type.contains(u"DOUB"_s) || type.contains(u"NUM"_s) || type.contains(u"DEC"_s) ||
                   type.contains(u"CURR"_s)) {
            value = SqlValueText(row.AsStringAt(c)).toLatin1();
        } else if (type.contains(u"CHAR"_s) || type.contains(u"TEXT"_s) || type.contains(u"CLOB"_s) ||
                   type.contains(u"MEMO"_s)) {
            value = '"' + EscapeJsonText(row.AsStringAt(c)).toLatin1() + '"';
        } else {
            WriteLog(u"$7007"_s, u"Invalid data type for field \""_s + name + u"\" ("_s + table + u")"_s);
            continue;
        }
        if (!first)
            out += ',';
        first = false;
        out += '"' + name.toLatin1() + "\":" + value;
    }
    out += '}';
    return true;
}

} // namespace

bool HasPendingChanges(int* count)
{
    if (count)
        *count = 0;
    std::unique_ptr<TResultSet> rows;
    TDataBase* db = DB();
    if (!db || !db->QueryNoCount(CountStatement(), rows) || !rows) {
        WriteLog(u"$2014"_s, TakeDbLastError());
        return false;
    }
    qint64 total = 0;
    for (rows->First(); !rows->Eof(); rows->Next())
        total += rows->AsInt64(u"x"_s);
    if (count)
        *count = int(total);
    return total > 0;
}

bool BuildUploadPayload(QByteArray& payload, QString& error)
{
    payload.clear();
    error.clear();
    TDataBase* db = DB();
    if (!db) {
        error = u"No se pudieron leer los cambios pendientes."_s;
        return false;
    }
    QByteArray body;
    for (const OwnTable& t : OwnTables()) {
        const QString table = QString::fromLatin1(t.table);
        std::unique_ptr<TResultSet> rows;
        if (!db->QueryNoCount(u"SELECT * FROM `%1` WHERE %2;"_s.arg(table, t.pending.arg(Agency())), rows) || !rows) {
            WriteLog(u"$2015"_s, TakeDbLastError());
            error = u"No se pudieron leer los cambios pendientes."_s;
            return false;
        }
        QByteArrayList records;
        for (rows->First(); !rows->Eof(); rows->Next()) {
            QByteArray record;
            if (!RecordJson(*rows, table, record)) {
                WriteLog(u"$2015"_s, u"Cannot convert data: \""_s + TableDisplayName(table) + u"\""_s);
                error = u"No se pudieron preparar los datos de %1."_s.arg(TableDisplayName(table));
                return false;
            }
            records << record;
        }
        if (records.isEmpty() && table == u"W_Fotos"_s)
            records << R"({"Empty":1})";
        if (!records.isEmpty())
            body += '"' + table.toLatin1() + "\":[" + records.join(',') + "],";
    }

    // A deleted photo travels as its row alone: its file is gone.
    std::unique_ptr<TResultSet> photos;
    if (!db->QueryNoCount(u"SELECT `Prop_Codigo`, `Foto_Codigo` FROM `W_Fotos` WHERE %1 AND IFNULL(`Sync_Tipo`, \"\") "
                          u"<> \"B\";"_s.arg(Find("W_Fotos")->pending.arg(Agency())),
                          photos) ||
        !photos) {
        WriteLog(u"$2086"_s, TakeDbLastError());
        error = u"No se pudieron leer las fotos pendientes."_s;
        return false;
    }
    QByteArrayList pictures;
    for (photos->First(); !photos->Eof(); photos->Next()) {
        const qint64 property = photos->AsInt64(u"Prop_Codigo"_s);
        const qint64 photo = photos->AsInt64(u"Foto_Codigo"_s);
        const QString path = PhotoFileName(property, photo);
        if (!QFileInfo::exists(path)) {
            WriteLog(u"$2015"_s, u"File not found: \""_s + path + u"\""_s);
            error = u"No se encontró el archivo de la foto %1."_s.arg(QFileInfo(path).fileName());
            return false;
        }
        QFile file(path);
        const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        if (bytes.isEmpty()) {
            WriteLog(u"$2015"_s, u"Cannot process file: \""_s + path + u"\""_s);
            error = u"No se pudo procesar el archivo de la foto %1."_s.arg(QFileInfo(path).fileName());
            return false;
        }
        pictures << "{\"Prop_Codigo\":" + QByteArray::number(property) +
                        ",\"Foto_Codigo\":" + QByteArray::number(photo) + ",\"Data\":\"" + bytes.toBase64() + "\"}";
    }
    if (!pictures.isEmpty())
        body += "\"JPG\":[" + pictures.join(',') + "],";
    body.chop(1);
    payload = "{" + body + "}";
    return true;
}

QString UploadChanges(const TSessionValues& session)
{
    const QString code = u"$3105"_s;
    QString error = u"No se pudieron enviar los cambios pendientes."_s;
    SinkLog(u"Preparando los cambios pendientes..."_s);
    QByteArray payload;
    QString buildError;
    if (!BuildUploadPayload(payload, buildError)) {
        error = buildError.isEmpty() ? u"No se pudieron preparar los cambios pendientes."_s : buildError;
        WriteLog(code, error);
        return error;
    }
    WriteLog(code, u"Payload: %1 caracteres."_s.arg(payload.size()));
    QString message;
    const QString requestError = RequestUploadChanges(session, payload, message);
    if (!requestError.isEmpty()) {
        WriteLog(code, requestError);
        return requestError;
    }
    SinkLog(message);

    // Confirmed: the local copies go; the import brings them back under service codes.
    TDataBase* db = DB();
    for (const char* name : kDeletionOrder) {
        const OwnTable* t = Find(name);
        const QString table = QString::fromLatin1(name);
        if (!db)
            break;
        if (table == u"W_Fotos"_s) {
            std::unique_ptr<TResultSet> sent;
            if (!db->QueryNoCount(u"SELECT `Prop_Codigo`, `Foto_Codigo`, `Sync_Tipo` FROM `W_Fotos` WHERE %1;"_s.arg(
                                      t->pending.arg(Agency())),
                                  sent) ||
                !sent) {
                WriteLog(u"$2086"_s, TakeDbLastError());
                continue;
            }
            QStringList codes;
            for (sent->First(); !sent->Eof(); sent->Next()) {
                const qint64 photo = sent->AsInt64(u"Foto_Codigo"_s);
                const QString file = PhotoFileName(sent->AsInt64(u"Prop_Codigo"_s), photo);
                if (sent->AsString(u"Sync_Tipo"_s) != u"B"_s && !DeleteFileLogged(file))
                    WriteLog(u"$2086"_s, u"Can't delete "_s + file);
                codes << QString::number(photo);
            }
            if (!codes.isEmpty() &&
                !db->ExecNoCount(u"DELETE FROM `W_Fotos` WHERE `Foto_Codigo` IN (%1);"_s.arg(codes.join(u','))))
                WriteLog(u"$3032"_s, TakeDbLastError());
            WriteLog(code, table + u", "_s + QString::number(codes.size()) + u" records deleted."_s);
            continue;
        }
        int rows = 0;
        if (!db->Exec(u"DELETE FROM `%1` WHERE %2;"_s.arg(table, t->pending.arg(Agency())), rows)) {
            WriteLog(code, TakeDbLastError());
            db = DB();
            continue;
        }
        WriteLog(code, table + u", "_s + QString::number(rows) + u" records deleted."_s);
    }
    WriteLog(code, u"Cambios enviados."_s);
    SinkLog(u"Los cambios pendientes se enviaron correctamente."_s);
    return {};
}

QString PendingChangesList()
{
    // Assembled by concatenation: the printf patterns must not meet QString::arg.
    const QString agency = Agency();
    auto where = [&](const char* table) { return u" WHERE "_s + Find(table)->pending.arg(agency); };
    const QString code = u"printf('%04d-%05d', `Prop_Codigo` / 100000, `Prop_Codigo` % 100000)"_s;
    const QString sql =
        u"SELECT 1 AS Id, CASE WHEN `Prop_Codigo` > 2147473646 THEN 'Propiedad nueva' ELSE 'Propiedad ' || "_s + code +
        u" END || CASE `Sync_Tipo` WHEN 'B' THEN ' (baja)' ELSE '' END AS t FROM `W_Propiedades`"_s +
        where("W_Propiedades") +
        u" UNION ALL SELECT 2, 'Cliente ' || IFNULL(`Cli_Nombre`, '') || CASE `Cli_Estado` WHEN 'B' THEN ' (baja)' "
        u"ELSE '' END FROM `W_Clientes`"_s +
        where("W_Clientes") +
        u" UNION ALL SELECT 3, 'Usuario ' || IFNULL(`Usuario_Nombre`, '') || CASE `Usuario_Estado` WHEN 'B' THEN "
        u"' (baja)' ELSE '' END FROM `W_Usuarios`"_s +
        where("W_Usuarios") +
        u" UNION ALL SELECT 4, 'Búsqueda ' || IFNULL(`Filtro_Nombre`, '') || CASE `Filtro_Estado` WHEN 'B' THEN "
        u"' (baja)' ELSE '' END FROM `W_Filtros`"_s +
        where("W_Filtros") +
        u" UNION ALL SELECT 5, 'Selección ' || IFNULL(`Selec_Nombre`, '') || CASE `Selec_Estado` WHEN 'B' THEN "
        u"' (baja)' ELSE '' END FROM `W_Selecciones`"_s +
        where("W_Selecciones") +
        u" UNION ALL SELECT 6, CASE `Sync_Tipo` WHEN 'B' THEN 'Foto eliminada de la propiedad ' ELSE "
        u"'Foto nueva de la propiedad ' END || "_s +
        code + u" FROM `W_Fotos`"_s + where("W_Fotos") + u";"_s;
    std::unique_ptr<TResultSet> rows;
    if (!DB() || !DB()->QueryNoCount(sql, rows) || !rows) {
        WriteLog(u"$2013"_s, TakeDbLastError());
        return {};
    }
    QString text;
    qint64 group = 1;
    for (rows->First(); !rows->Eof(); rows->Next()) {
        const qint64 id = rows->AsInt64(u"Id"_s);
        if (id != group)
            text += u"\r\n"_s;
        group = id;
        text += rows->AsString(u"t"_s) + u"\r\n"_s;
    }
    return text;
}

QString PendingChangesSummary()
{
    std::unique_ptr<TResultSet> rows;
    if (!DB() || !DB()->QueryNoCount(CountStatement(), rows) || !rows) {
        WriteLog(u"$2012"_s, TakeDbLastError());
        return {};
    }
    QString text = u"Resumen de cambios pendientes\r\n\r\n"_s;
    for (rows->First(); !rows->Eof(); rows->Next())
        text += u"  - "_s + rows->AsString(u"t"_s) + u": "_s + rows->AsString(u"x"_s) + u"\r\n"_s;
    return text;
}
