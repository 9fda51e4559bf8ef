#include "records/PropertyTexts.h"

#include "core/Bugs.h"
#include "core/Guarded.h"
#include "core/MiscFunc.h"
#include "db/uDB.h"

#include <QHash>

#include <cmath>
#include <initializer_list>
#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {

// Blanks and control characters at either end, as the rest of the program trims.
QString Trim(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= 32)
        ++begin;
    while (end > begin && text.at(end - 1).unicode() <= 32)
        --end;
    return text.mid(begin, end - begin);
}

// The value as stored behind its prefix, or nothing when it is blank.
QString Piece(const QString& prefix, const QString& value, const QString& suffix = QString())
{
    return Trim(value).isEmpty() ? QString() : prefix + value + suffix;
}

[[noreturn]] void ThrowMissing(const QString& column)
{
    throw std::runtime_error("column '" + column.toStdString() + "' is not in the property row");
}

[[noreturn]] void ThrowBadValue(const QString& column, const QString& value, const char* what)
{
    constexpr int kQuoted = 80;
    const QString quoted = value.size() > kQuoted ? value.left(kQuoted) + u"..."_s : value;
    throw std::runtime_error("'" + quoted.toStdString() + "' in '" + column.toStdString() + "' is not a valid " + what);
}

// The stored word for "no floor" or "no unit".
bool IsNullWord(const QString& value)
{
    const QString t = Trim(value);
    return t.isEmpty() || t.compare(u"NULL"_s, Qt::CaseInsensitive) == 0;
}

constexpr quint64 Types(std::initializer_list<int> types)
{
    quint64 mask = 0;
    for (const int type : types)
        mask |= quint64{1} << type;
    return mask;
}

const QHash<QString, quint64>& FieldTable()
{
    static const QHash<QString, quint64> table = {
        {u"Dormitorios"_s, Types({1, 3, 4, 6, 10, 12, 22, 23, 25, 28, 30, 31, 32})},
        {u"Ambientes"_s, Types({5, 15})},
        {u"Baños"_s, Types({1, 3, 4, 5, 6, 9, 10, 11, 12, 15, 17, 22, 23, 25, 27, 28, 30, 31, 32})},
        {u"Sup. Cubierta"_s, Types({1, 3, 4, 5, 6, 9, 10, 11, 12, 15, 17, 22, 23, 25, 28, 30, 31, 32})},
        {u"Plantas"_s, Types({1, 3, 4, 5, 6, 10, 11, 12, 15, 17, 22, 23, 25, 28, 30, 31, 32})},
        {u"Piso"_s, Types({3, 4, 5, 6, 7, 10, 15, 23, 25})},
        {u"Dependencias"_s, Types({1, 5, 12, 25, 28, 30, 31})},
        {u"Cochera"_s, Types({1, 5, 6, 12, 25, 28, 31})},
        {u"Teléfono"_s, Types({1, 3, 4, 5, 6, 12, 15, 22, 23, 25, 28, 30, 31})},
        {u"A estrenar"_s, Types({1, 3, 4, 5, 6, 12, 15, 17, 22, 23, 25, 28, 30, 31})},
        {u"Año"_s, Types({1, 3, 4, 5, 6, 10, 12, 15, 17, 22, 23, 25, 28, 30, 31, 32})},
        {u"Alquiler con muebles"_s, Types({1, 5, 6, 15, 21, 22, 25, 27, 28, 31})},
        {u"Apto profesional"_s, Types({1, 5, 15, 22})},
    };
    return table;
}

bool IsApartment(int type)
{
    return type == 5 || type == 15;
}

bool IsOffice(int type)
{
    return type == 3 || type == 4 || type == 6 || type == 10 || type == 22 || type == 23 || type == 32;
}

bool HasTotalSurface(int type)
{
    return type == 5 || type == 15 || type == 25;
}

constexpr quint32 kBadgeWithdrawn = 0xFFF5070C;
constexpr quint32 kBadgeActive = 0xFF01548E;
constexpr quint32 kBadgeSuspended = 0xFFF8B80C;
constexpr quint32 kWhite = 0xFFFFFFFF;
constexpr quint32 kBlack = 0xFF000000;

} // namespace

// --- Typed getters ------------------------------------------------------------------------

qint64 PropInteger(const TResultSet& row, const QString& column)
{
    return Guarded(u"$8009"_s, qint64{0}, [&] {
        if (row.FieldIndex(column) < 0)
            ThrowMissing(column);
        if (row.IsNull(column))
            return qint64{0};
        const QString text = Trim(row.AsString(column));
        bool ok = false;
        const qint64 value = text.toLongLong(&ok);
        if (ok)
            return value;
        if (text == u"True"_s || text == u"False"_s) // a BOOLEAN column
            return qint64{text == u"True"_s ? 1 : 0};
        const double real = text.toDouble(&ok);
        if (!ok || !std::isfinite(real) || std::fabs(real) >= 9.2e18)
            ThrowBadValue(column, text, "integer");
        return static_cast<qint64>(real);
    });
}

double PropNumber(const TResultSet& row, const QString& column)
{
    return Guarded(u"$8009"_s, 0.0, [&] {
        if (row.FieldIndex(column) < 0)
            ThrowMissing(column);
        if (row.IsNull(column))
            return 0.0;
        const QString text = Trim(row.AsString(column));
        bool ok = false;
        const double value = text.toDouble(&ok);
        if (!ok || !std::isfinite(value))
            ThrowBadValue(column, text, "number");
        return value;
    });
}

QString PropText(const TResultSet& row, const QString& column)
{
    return Guarded(u"$8010"_s, QString(), [&] {
        if (row.FieldIndex(column) < 0)
            ThrowMissing(column);
        return row.AsString(column);
    });
}

bool PropBoolean(const TResultSet& row, const QString& column)
{
    return Guarded(u"$8011"_s, false, [&] {
        if (row.FieldIndex(column) < 0)
            ThrowMissing(column);
        // The value's own conversion is the inner level and logs under its own code.
        return Guarded(u"$8012"_s, false, [&] {
            if (row.IsNull(column))
                return false;
            const QString text = Trim(row.AsString(column));
            if (text.compare(u"True"_s, Qt::CaseInsensitive) == 0)
                return true;
            if (text.compare(u"False"_s, Qt::CaseInsensitive) == 0)
                return false;
            bool ok = false;
            const double value = text.toDouble(&ok);
            if (!ok)
                ThrowBadValue(column, text, "boolean");
            return value != 0;
        });
    });
}

QDateTime PropDateTime(const TResultSet& row, const QString& column)
{
    return Guarded(u"$8013"_s, QDateTime(), [&] {
        if (row.FieldIndex(column) < 0)
            ThrowMissing(column);
        if (row.IsNull(column))
            return QDateTime();
        const QDateTime value = row.AsDateTime(column);
        if (!value.isValid())
            ThrowBadValue(column, row.AsString(column), "date");
        return value;
    });
}

// --- Fields by building type ----------------------------------------------------------------

bool FieldApplies(const QString& key, int buildingType)
{
    if (buildingType < 0 || buildingType > 39)
        return false;
    const auto it = FieldTable().constFind(key);
    return it != FieldTable().constEnd() && (it.value() & (quint64{1} << buildingType)) != 0;
}

bool RoomsApply(int buildingType)
{
    return FieldApplies(u"Dormitorios"_s, buildingType) || FieldApplies(u"Ambientes"_s, buildingType);
}

QString RoomsLabel(int buildingType, bool shortForm)
{
    if (IsApartment(buildingType))
        return shortForm ? u"Amb."_s : u"Ambientes"_s;
    if (IsOffice(buildingType))
        return shortForm ? u"Desp."_s : u"Despachos"_s;
    return shortForm ? u"Dorm."_s : u"Dormitorios"_s;
}

QString UnitLabel(int buildingType)
{
    if (HasTotalSurface(buildingType))
        return u"Dto."_s;
    return buildingType == 6 ? u"Of."_s : u"U.F."_s;
}

QString SurfaceLabel(int buildingType, bool shortForm)
{
    if (HasTotalSurface(buildingType))
        return shortForm ? u"Tot."_s : u"Sup. Total"_s;
    return shortForm ? u"Tno."_s : u"Sup. Tno."_s;
}

// --- Operation and term ----------------------------------------------------------------------

bool TermApplies(int operation, TTermRule rule)
{
    switch (operation) {
    case 3:
    case 4:
    case 6:
    case 7:
    case 8:
    case 9:
        return true;
    case 2:
    case 16:
        return rule == TTermRule::Report;
    default:
        return false;
    }
}

QString TermText(int operation, int term)
{
    if (!TermApplies(operation, TTermRule::Report))
        return {};
    switch (term) {
    case 1:
        return u"(Dia.)"_s;
    case 7:
        return u"(Sem.)"_s;
    case 15:
        return u"(Quin.)"_s;
    default:
        return u"(Men.)"_s;
    }
}

QString TermText(const TResultSet& row)
{
    return TermText(static_cast<int>(PropInteger(row, u"Situ_Codigo"_s)),
                    static_cast<int>(PropInteger(row, u"Prop_Plazo"_s)));
}

// --- Status ------------------------------------------------------------------------------------

TPropertyStatus StatusText(const TResultSet& row, bool shortForm)
{
    TPropertyStatus status;
    status.withdrawn = PropInteger(row, u"Prop_Estado"_s) == 1;
    if (status.withdrawn) {
        status.text = PropText(row, shortForm ? u"Baja_Abreviatura"_s : u"Baja_Nombre"_s);
    } else {
        status.active = PropInteger(row, u"Standby_Codigo"_s) == 1;
        status.text = PropText(row, shortForm ? u"Standby_Abreviatura"_s : u"Standby_Nombre"_s);
    }
    return status;
}

TStatusBadge StatusBadge(const TPropertyStatus& status)
{
    if (status.withdrawn)
        return {kBadgeWithdrawn, kWhite};
    if (status.active)
        return {kBadgeActive, kWhite};
    return {kBadgeSuspended, kBlack};
}

// --- Text clean-ups ------------------------------------------------------------------------------

bool IsUndefinedName(const QString& name)
{
    QString candidate = name.toUpper();
    candidate.remove(u' ');
    if (candidate.isEmpty())
        return false;
    static const QString placeholders = [] {
        QString list = u"*No Definido;*No Definida"_s.toUpper();
        list.remove(u' ');
        return list;
    }();
    return placeholders.contains(candidate);
}

QString DefinedName(const QString& name)
{
    return IsUndefinedName(name) ? QString() : name;
}

QString DecodeHtmlEntities(const QString& text)
{
    QString out = text;
    out.replace(u"&aacute;"_s, u"á"_s);
    out.replace(u"&eacute;"_s, u"é"_s);
    out.replace(u"&iacute;"_s, u"í"_s);
    out.replace(u"&oacute;"_s, u"ó"_s);
    out.replace(u"&uacute;"_s, u"ú"_s);
    out.replace(u"&ntilde;"_s, u"ñ"_s);
    return out;
}

QString EscapeAmpersands(const QString& text)
{
    // Decoding first: doubling first would leave "&&oacute;" to decode into "&ó", a
    // single "&" that the toolkit takes as an accelerator mark.
    QString out = DecodeHtmlEntities(text);
    out.replace(u"&"_s, u"&&"_s);
    return out;
}

QString NullToDash(const QString& value)
{
    return IsNullWord(value) ? u"-"_s : value;
}

// --- Compositions ----------------------------------------------------------------------------------

QString ReorderStreetName(const QString& text)
{
    const QString t = Trim(text);
    if (!t.contains(u','))
        return t;
    const QStringList pieces = t.split(u',');
    return Trim(Trim(pieces.value(1)) + u' ' + Trim(pieces.value(0)));
}

QString ComposeStreetAddress(const TResultSet& row)
{
    QString address = PropInteger(row, u"Barrio_Codigo"_s) > 0 ? PropText(row, u"Barrio_Nombre"_s)
                                                               : ReorderStreetName(PropText(row, u"Calle_Nombre"_s));
    address += Piece(u" "_s, PropText(row, u"Prop_Numero"_s));
    // Floor and unit hold the word NULL when there is none; it is not part of an address.
    const QString floor = PropText(row, u"Prop_Piso"_s);
    if (!IsNullWord(floor))
        address += u", piso "_s + floor;
    const QString unit = PropText(row, u"Prop_Dto"_s);
    if (!IsNullWord(unit))
        address += u", dto. "_s + unit;
    return address;
}

QString ComposeAddress(const TResultSet& row)
{
    return ComposeStreetAddress(row) + Piece(u", "_s, PropText(row, u"Prop_Resto"_s));
}

QString ComposeLocality(const QString& locality, const QString& middle, const QString& last)
{
    const QString m = Trim(middle);
    const QString wrapped = m.isEmpty() ? QString() : u"("_s + m + u")"_s;
    QString line = Trim(Piece(QString(), Trim(locality), u", "_s) + Piece(QString(), wrapped, u" "_s) + Trim(last));
    if (line.endsWith(u','))
        line = Trim(line.chopped(1));
    return line;
}

QString ComposeLocZon(const TResultSet& row)
{
    return PropText(row, u"Loc_Nombre"_s) + Piece(u" - "_s, DefinedName(PropText(row, u"Zon_Nombre"_s)));
}

QString ComposeFeatures(const TResultSet& row)
{
    QString features;
    if (PropBoolean(row, u"Prop_Cochera"_s))
        features += u"Cochera, "_s;
    if (PropBoolean(row, u"Prop_Depn"_s))
        features += u"Depend., "_s;
    if (PropBoolean(row, u"Prop_Te"_s))
        features += u"Tel., "_s;
    if (PropBoolean(row, u"Prop_aEstrenar"_s))
        features += u"A estrenar, "_s;
    features.chop(2);
    return features;
}

QString ComposeSummary(const TResultSet& row)
{
    QString summary = PropText(row, u"Edif_Nombre"_s);
    if (PropInteger(row, u"Barrio_Codigo"_s) > 0)
        summary += u" en barrio cerrado"_s;
    summary += u" "_s + PropText(row, u"Situ_Nombre"_s) + u" "_s + PriceText(row);
    summary += Piece(u", "_s, DefinedName(PropText(row, u"Loc_Nombre"_s)));
    summary += Piece(u", "_s, DefinedName(PropText(row, u"Zon_Nombre"_s)));
    return summary;
}

// --- Values --------------------------------------------------------------------------------------

QString PriceText(const TResultSet& row)
{
    return PropText(row, u"Moneda_Simbolo"_s) + u" "_s + FormatThousands(PropNumber(row, u"Prop_Precio"_s));
}

QString CurrencyNameText(const TResultSet& row)
{
    return DecodeHtmlEntities(PropText(row, u"Moneda_Nombre"_s));
}

QString NumberText(const TResultSet& row, const QString& column)
{
    return FormatThousandsText(PropText(row, column));
}

QString RoomsValue(const TResultSet& row)
{
    const int type = static_cast<int>(PropInteger(row, u"Edif_Codigo"_s));
    if (!RoomsApply(type))
        return {};
    return NumberText(row, IsApartment(type) ? u"Prop_Ambientes"_s : u"Prop_Dorm"_s);
}

QString AgeText(const TResultSet& row, int currentYear)
{
    const qint64 year = PropInteger(row, u"Prop_Year"_s);
    return year > 1800 ? QString::number(currentYear - year) : QString();
}

QString AgencyNameText(const TResultSet& row)
{
    return Trim(FirstPipePart(Trim(PropText(row, u"Inmo_Nombre"_s))));
}

QString DescriptionText(const TResultSet& row)
{
    return SanitizeText(PropText(row, u"Prop_Descripcion"_s), false) + u"\r\n\r\n"_s;
}

QString StreetCaption(bool inNeighbourhood)
{
    return inNeighbourhood ? u"Barrio cerrado"_s : u"Calle"_s;
}

QString NumberCaption(bool inNeighbourhood)
{
    return inNeighbourhood ? u"U.F."_s : u"Número"_s;
}

QString YearCaption(bool editMode)
{
    return editMode ? u"Año"_s : u"Antigüedad"_s;
}

namespace {

QString WithUnit(const QString& value, const QString& unit)
{
    return value.isEmpty() ? QString() : value + unit;
}

QString SurfaceText(const TResultSet& row, const QString& column)
{
    return WithUnit(NumberText(row, column), u" m\u00B2"_s);
}

} // namespace

QMap<QString, QString> ExpandedRowTexts(const TResultSet& row)
{
    const int type = static_cast<int>(PropInteger(row, u"Edif_Codigo"_s));
    // One line in the row: the description's own line breaks would push it out of its cell.
    const QString description = DescriptionText(row).simplified();
    const QString rooms = RoomsValue(row);
    return {
        {u"TxtCodDat"_s, FormatCode(PropInteger(row, u"Prop_Codigo"_s))},
        {u"txtEstado"_s, StatusText(row, true).text.toUpper()},
        {u"TxtEdif"_s, PropText(row, u"Edif_Nombre"_s)},
        {u"TxtSitu"_s, PropText(row, u"Situ_Nombre"_s)},
        {u"TextPrecio"_s, PriceText(row)},
        {u"txtResto"_s, PropText(row, u"Prop_Resto"_s).trimmed()},
        {u"TxtDes"_s, description},
        {u"TxtInm"_s, AgencyNameText(row) + u"\n\n"_s + PropText(row, u"Inmo_Te"_s).trimmed()},
        {u"TxtTel"_s, QString()},
        {u"TxtTno"_s, SurfaceText(row, u"Prop_SupTno"_s)},
        {u"TxtCub"_s, FieldApplies(u"Sup. Cubierta"_s, type) ? SurfaceText(row, u"Prop_SupCub"_s) : QString()},
        {u"TxtPl"_s, FieldApplies(u"Plantas"_s, type) ? NumberText(row, u"Prop_Plantas"_s) : QString()},
        {u"TxtDorm"_s, WithUnit(rooms, u" "_s + RoomsLabel(type, true))},
        {u"TxtCiud"_s, ComposeLocZon(row)},
        {u"TxtDir"_s, ComposeStreetAddress(row)},
    };
}

QMap<QString, QString> SummaryRowTexts(const TResultSet& row)
{
    return {
        {u"TxtCodR"_s, FormatCode(PropInteger(row, u"Prop_Codigo"_s))},
        {u"TxtEdif"_s, PropText(row, u"Edif_Nombre"_s)},
        {u"TxtSitu"_s, PropText(row, u"Situ_Nombre"_s)},
        {u"TxtPrecio"_s, PriceText(row)},
        {u"TxtSup"_s, SurfaceText(row, u"Prop_SupTno"_s)},
        {u"TxtUbic"_s, ComposeLocZon(row)},
        {u"TxtDom"_s, ComposeAddress(row)},
    };
}

bool IsPriceAbove(int situationCode, int currencyCode, double price)
{
    return Guarded(QString(), false, [&] {
        TDataBase* db = DB();
        if (!db)
            return false;
        std::unique_ptr<TResultSet> result;
        const QString sql =
            u"SELECT `Moneda_Cotizacion` FROM `W_Monedas` WHERE `Moneda_Codigo`=%1;"_s.arg(currencyCode);
        if (!db->QueryNoCount(sql, result) || !result || result->RecordCount() == 0)
            return false;
        const double local = price * result->AsFloatAt(0);
        // These operations are not priced as sales and take the lower threshold.
        static const QList<int> monthly = {2, 3, 4, 6, 7, 8, 9, 16};
        return local > (monthly.contains(situationCode) ? 399.0 : 9999.0);
    });
}
