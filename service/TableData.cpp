#include "service/TableData.h"

#include "service/MasterStore.h"

#include <nlohmann/json.hpp>

#include <sqlite3.h>

#include <cmath>
#include <map>

using namespace Qt::StringLiterals;
using ordered_json = nlohmann::ordered_json;

namespace {

// Rows of the pooled tables that only their own agency may read: another agency gets
// these columns empty.
bool IsPrivateColumn(const QString& table, const QString& column)
{
    if (table == u"W_Usuarios"_s)
        return column == u"Usuario_Password"_s || column == u"Usuario_CodigoGeneracion"_s;
    if (table == u"W_Propiedades"_s)
        return column == u"Prop_InformacionPrivada"_s;
    if (table == u"W_Inmobiliarias"_s)
        return column.startsWith(u"Inmo_Fact"_s);
    return false;
}

// The WHERE condition of a scope; ?1 is the agency.
QString ScopeCondition(TRowScope scope)
{
    switch (scope) {
    case TRowScope::Pooled:
        return u"1"_s;
    case TRowScope::Listing:
        return u"(`Inmo_Codigo`=?1 OR `Prop_Publica`=1)"_s;
    case TRowScope::OfListing:
        return u"`Prop_Codigo` IN (SELECT `Prop_Codigo` FROM `W_Propiedades` WHERE `Inmo_Codigo`=?1 OR "
               u"`Prop_Publica`=1)"_s;
    case TRowScope::OwnAgency:
        return u"`Inmo_Codigo`=?1"_s;
    case TRowScope::AgencyOrAll:
        return u"`Inmo_Codigo` IN (-1, ?1)"_s;
    case TRowScope::ViaProperty:
        return u"`Prop_Codigo` IN (SELECT `Prop_Codigo` FROM `W_Propiedades` WHERE `Inmo_Codigo`=?1)"_s;
    case TRowScope::ViaSelection:
        return u"`Selec_Codigo` IN (SELECT `Selec_Codigo` FROM `W_Selecciones` WHERE `Inmo_Codigo`=?1)"_s;
    }
    return u"0"_s;
}

QString RealText(double value)
{
    if (!std::isfinite(value))
        return u"0"_s;
    QString text = QString::number(value, 'f', 10);
    while (text.endsWith(u'0'))
        text.chop(1);
    if (text.endsWith(u'.'))
        text.chop(1);
    return text == u"-0"_s ? u"0"_s : text;
}

enum class TValueKind { Int, Real, Text };

// One value of a row in the form its column type promises the client: an "int" column
// never carries anything but digits, because one bad value fails the whole import.
QString ValueText(const TStatement& row, int column, TValueKind kind)
{
    const QVariant value = row.Value(column);
    if (!value.isValid() || value.isNull())
        return {};
    switch (kind) {
    case TValueKind::Int: {
        if (value.typeId() == QMetaType::LongLong)
            return QString::number(value.toLongLong());
        if (value.typeId() == QMetaType::Double)
            return QString::number(qint64(std::llround(value.toDouble())));
        bool ok = false;
        const qint64 number = value.toString().trimmed().toLongLong(&ok);
        return ok ? QString::number(number) : QString();
    }
    case TValueKind::Real: {
        bool ok = false;
        const double number = value.typeId() == QMetaType::QString
                                  ? value.toString().trimmed().replace(u',', u'.').toDouble(&ok)
                                  : (ok = true, value.toDouble());
        return ok ? RealText(number) : QString();
    }
    case TValueKind::Text:
        return RowValueText(value.toString());
    }
    return {};
}

struct TBlockShape {
    QStringList fields;
    QStringList types;
    std::vector<TValueKind> kinds;
};

TBlockShape ShapeOf(TServiceDb& db, const TTableRule& rule)
{
    TBlockShape shape;
    std::vector<TColumnInfo> columns = db.Columns(rule.table);
    // The client deletes a replaced row by the first field, so the key leads.
    const QString first = rule.firstField.isEmpty() ? columns.front().name : rule.firstField;
    std::stable_partition(columns.begin(), columns.end(), [&](const TColumnInfo& c) { return c.name == first; });
    for (const TColumnInfo& c : columns) {
        shape.fields << c.name;
        if (c.IsInteger()) {
            shape.types << u"int"_s;
            shape.kinds.push_back(TValueKind::Int);
        } else if (c.IsReal()) {
            shape.types << u"real"_s;
            shape.kinds.push_back(TValueKind::Real);
        } else {
            shape.types << u"text"_s;
            shape.kinds.push_back(TValueKind::Text);
        }
    }
    return shape;
}

QString SelectList(const TTableRule& rule, const TBlockShape& shape)
{
    QStringList parts;
    for (const QString& field : shape.fields) {
        if (IsPrivateColumn(rule.table, field))
            parts << u"CASE WHEN `Inmo_Codigo`=?1 THEN `%1` END"_s.arg(field);
        else
            parts << u'`' + field + u'`';
    }
    return parts.join(u", "_s);
}

QString KeyOf(const TTableRule& rule, const TBlockShape& shape)
{
    return rule.groupColumn.isEmpty() ? shape.fields.front() : rule.groupColumn;
}

std::string Utf8(const QString& text)
{
    return text.toStdString();
}

// Appends the table's block: rows of the agency's view, limited to the groups when given.
void AddBlock(ordered_json& answer, TServiceDb& db, const TTableRule& rule, int agency, bool truncate,
              const std::vector<qint64>* groups)
{
    const TBlockShape shape = ShapeOf(db, rule);
    const QString key = KeyOf(rule, shape);
    QString sql =
        u"SELECT %1 FROM `%2` WHERE (%3)"_s.arg(SelectList(rule, shape), rule.table, ScopeCondition(rule.scope));
    QStringList list;
    if (groups) {
        for (qint64 g : *groups)
            list << QString::number(g);
        sql += u" AND `%1` IN (%2)"_s.arg(key, list.join(u','));
    }
    sql += u" ORDER BY `%1`, rowid;"_s.arg(key);

    ordered_json block = ordered_json::object();
    if (truncate)
        block["Truncate"] = 1;
    if (groups)
        block["PropList"] = Utf8(list.join(u','));
    block["Fields"] = Utf8(shape.fields.join(u','));
    block["Types"] = Utf8(shape.types.join(u','));

    std::vector<std::string> rows;
    TStatement select(db.Handle(), sql);
    // Only the statements that name ?1 take the agency; binding it to the others fails.
    if (sql.contains(u"?1"_s))
        select.Bind(agency);
    QStringList values;
    while (select.Step()) {
        values.clear();
        for (int i = 0; i < int(shape.kinds.size()); ++i)
            values << ValueText(select, i, shape.kinds[size_t(i)]);
        rows.push_back(Utf8(values.join(u'~')));
    }
    block["Count"] = rows.size();
    for (size_t i = 0; i < rows.size(); ++i)
        block[std::to_string(i + 1)] = std::move(rows[i]);
    answer[Utf8(rule.table)] = std::move(block);
}

} // namespace

QString RowValueText(const QString& text)
{
    QString out = text;
    out.replace(u'~', u'-');
    return out;
}

QByteArray BuildTableData(TMasterStore& store, int agency, bool full, qint64 clientVersion)
{
    TServiceDb& db = store.Db();
    const qint64 current = store.CurrentVersion();
    if (!full && (clientVersion < store.BaseVersion() || clientVersion > current))
        full = true;

    ordered_json answer = ordered_json::object();
    answer["DBVer"] = current;
    answer["Data_Type"] = full ? 0 : 1;
    answer["ServerTime"] = Utf8(TMasterStore::Now());

    QStringList tables;
    if (full) {
        for (const TTableRule& rule : TMasterStore::TableRules())
            tables << rule.table;
        answer["Tables"] = Utf8(tables.join(u','));
        for (const TTableRule& rule : TMasterStore::TableRules())
            AddBlock(answer, db, rule, agency, true, nullptr);
    } else {
        std::map<QString, std::vector<qint64>> changed;
        TStatement s(db.Handle(), u"SELECT DISTINCT `Cambio_Tabla`, `Cambio_Grupo` FROM `S_Cambios` "
                                  u"WHERE `Cambio_Version`>? AND `Inmo_Codigo` IN (-1, ?) "
                                  u"ORDER BY `Cambio_Tabla`, `Cambio_Grupo`;"_s);
        s.BindAll({clientVersion, agency});
        while (s.Step())
            changed[s.Text(0)].push_back(s.Int(1));
        for (const TTableRule& rule : TMasterStore::TableRules())
            if (changed.count(rule.table))
                tables << rule.table;
        answer["Tables"] = Utf8(tables.join(u','));
        for (const TTableRule& rule : TMasterStore::TableRules()) {
            const auto it = changed.find(rule.table);
            if (it != changed.end())
                AddBlock(answer, db, rule, agency, false, &it->second);
        }
    }
    return QByteArray::fromStdString(answer.dump(-1, ' ', true, ordered_json::error_handler_t::replace));
}
