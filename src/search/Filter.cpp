#include "search/Filter.h"

#include "core/Bugs.h"
#include "core/MiscFunc.h"
#include "db/InstallContext.h"
#include "db/uDB.h"
#include "search/PropertyQuery.h"

#include <QStringList>

#include <cfenv>
#include <cmath>
#include <exception>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString kTable = u"W_Propiedades"_s;
const QString kQualified = u"`W_Propiedades`."_s;
const QString kPriceOrder = u"ORDER BY `Prop_PrecioPesos` ASC"_s;

// Condition column of each list (list 1 and the negative part of list 4 have their own rules).
const std::array<QString, FilterList::Count> kListColumns = {
    QString(),        u"Edif_Codigo"_s, u"Situ_Codigo"_s, u"StandBy_Codigo"_s, u"Inmo_Codigo"_s,  u"Pais_Codigo"_s,
    u"Prov_Codigo"_s, u"Part_Codigo"_s, u"Loc_Codigo"_s,  u"Zon_Codigo"_s,     u"Calle_Codigo"_s, u"Barrio_Codigo"_s};

QString JoinCodes(const QList<int>& codes)
{
    QStringList parts;
    for (const int code : codes)
        parts << QString::number(code);
    return parts.join(u',');
}

QString ListFragment(const TFilterState& state, int list)
{
    const QList<int> codes = state.Codes(list, true);
    if (codes.isEmpty())
        return {};
    return u"`%1`.`%2` IN (%3) "_s.arg(kTable, kListColumns[size_t(list - 1)], JoinCodes(codes));
}

QString RangeFragment(const QString& prefix, const QString& column, qint64 a, qint64 b)
{
    if (a <= 0 && b <= 0)
        return {};
    if (a <= 0)
        return u"%1`%2` <= %3 "_s.arg(prefix, column).arg(b);
    if (b <= 0)
        return u"%1`%2` >= %3 "_s.arg(prefix, column).arg(a);
    return u"%1`%2` BETWEEN %3 AND %4 "_s.arg(prefix, column).arg(a).arg(b);
}

// "Mostrar valores en cero": a property that leaves the value out still shows.
QString WidenForZero(const QString& fragment, const QString& column, bool enabled)
{
    if (!enabled || fragment.isEmpty())
        return fragment;
    return u"("_s + fragment + u"OR (`W_Propiedades`.`%1` = 0) OR (`W_Propiedades`.`%1` IS NULL)) "_s.arg(column);
}

// Rooms are bedrooms plus one: a search on one also finds listings that only give the other.
QString MirrorFragment(const QString& column, qint64 a, qint64 b, int shift)
{
    if (a == 0 && b >= 1)
        return u"%1`%2` <= %3 "_s.arg(kQualified, column).arg(b + shift);
    if (a > 0 && b == 0)
        return u"%1`%2` >= %3 "_s.arg(kQualified, column).arg(a + shift);
    if (a > 0 && b > 0)
        return u"%1`%2` BETWEEN %3 AND %4 "_s.arg(kQualified, column).arg(a + shift).arg(b + shift);
    return {};
}

QString DateFragment(const QString& column, const TFilterDates& dates, const TFilterEnv& env)
{
    const QDate base = FilterBaseDate();
    const QDate d = dates.From.isValid() ? dates.From : base;
    const QDate h = dates.To.isValid() ? dates.To : env.DataDate;
    if (d == base && h == env.DataDate)
        return {};
    // Dates at midnight are stored as the date alone, which sorts before "date 00:00:00":
    // the lower bound is the bare date so that such rows stay inside the range.
    const QString from = DateTimeToDbText(d.startOfDay());
    const QString to = DateTimeToDbText(h.startOfDay()) + u" 23:59:59"_s;
    if (d <= base) {
        if (h < env.DataDate)
            return u"%1`%2` <= \"%3\" "_s.arg(kQualified, column, to);
        return {};
    }
    if (h < env.DataDate)
        return u"%1`%2` BETWEEN \"%3\" AND \"%4\" "_s.arg(kQualified, column, from, to);
    return u"%1`%2` >= \"%3\" "_s.arg(kQualified, column, from);
}

QString FeatureFragment(const QString& column, int value)
{
    if (value != 0 && value != 1)
        return {};
    return u"`%1`.`%2` = %3 "_s.arg(kTable, column).arg(value);
}

QString TextFragment(const QString& raw)
{
    const QString text = raw.trimmed();
    // Anything outside the general text class (a "<", a backslash) gives no condition;
    // the class holds no backslash, so the pattern's escape character can never be typed.
    if (text.isEmpty() || !IsGeneralText(raw))
        return {};
    return u"(`W_Propiedades`.`Prop_Descripcion` LIKE \"%"_s + EscapeSql(text) + u"%\" ESCAPE \"\\\") "_s;
}

// A fragment that fails to build is left out rather than spoiling the statement.
template <typename Body> QString Fragment(Body&& body)
{
    try {
        return body();
    } catch (const std::exception&) {
        return {};
    }
}

qint64 RoundHalfEven(double value)
{
    const int previous = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(value);
    std::fesetround(previous);
    return static_cast<qint64>(rounded);
}

} // namespace

bool IsSearchableText(const QString& text)
{
    return text.trimmed().isEmpty() || (text.size() <= kFilterTextMax && IsGeneralText(text));
}

QList<int> TFilterState::Codes(int list, bool positiveOnly) const
{
    QList<int> codes;
    for (const auto& [position, code] : Set(list))
        if (!positiveOnly || code > 0)
            codes << code;
    return codes;
}

QDate FilterBaseDate()
{
    return QDate(1992, 8, 1);
}

QDate FilterDataDate()
{
    const QDateTime last = LastSyncTime();
    return last.isValid() ? last.date() : FilterBaseDate();
}

QList<TCurrency> LoadFilterCurrencies()
{
    QList<TCurrency> currencies;
    std::unique_ptr<TResultSet> rows;
    if (!DB() ||
        !DB()->QueryNoCount(u"SELECT `Moneda_Codigo`, `Moneda_Nombre`, `Moneda_Cotizacion` FROM `W_Monedas` "
                            u"ORDER BY `Moneda_Codigo`;"_s,
                            rows) ||
        !rows)
        return currencies;
    for (rows->First(); !rows->Eof(); rows->Next())
        currencies << TCurrency{rows->AsInteger(u"Moneda_Codigo"_s), rows->AsString(u"Moneda_Nombre"_s),
                                rows->AsFloat(u"Moneda_Cotizacion"_s)};
    return currencies;
}

TFilterEnv CurrentFilterEnv()
{
    TFilterEnv env;
    env.DataDate = FilterDataDate();
    env.Rate = [](int index) -> std::optional<double> {
        const QList<TCurrency> currencies = LoadFilterCurrencies();
        if (index < 0 || index >= currencies.size())
            return std::nullopt;
        return currencies[index].Rate;
    };
    return env;
}

TFilterState DefaultFilterState(const TFilterEnv& env, bool withDefaultEntries,
                                const QList<TFilterEntry>& estadoEntries)
{
    TFilterState state;
    state.Ingreso = {FilterBaseDate(), env.DataDate};
    state.Modificado = {FilterBaseDate(), env.DataDate};
    state.Anio.To = env.DataYear();
    if (withDefaultEntries)
        for (const int position : {0, 2})
            if (position < estadoEntries.size())
                state.Set(FilterList::Estado)[position] = estadoEntries[position].Code;
    return state;
}

qint64 ConvertPrice(qint64 value, const TFilterEnv& env, int comboIndex)
{
    try {
        const std::optional<double> rate = env.Rate ? env.Rate(comboIndex) : std::nullopt;
        if (!rate || !std::isfinite(*rate))
            return 0;
        const double local = static_cast<double>(value) * *rate;
        if (!std::isfinite(local) || local < 0 || local > 9.0e15)
            return 0;
        return RoundHalfEven(local);
    } catch (const std::exception&) {
        return 0;
    }
}

void NormaliseFilter(TFilterState& state, const TFilterEnv& env)
{
    for (qint64* bound : {&state.Precio.From, &state.Precio.To})
        if (*bound > 0 && ConvertPrice(*bound, env, state.Moneda) < 1)
            *bound = 0;

    const auto validYear = [&](qint64 year) { return year >= 1800 && year <= env.DataYear(); };
    if (!validYear(state.Anio.From))
        state.Anio.From = 0;
    if (!validYear(state.Anio.To))
        state.Anio.To = env.DataYear();

    for (TFilterRange* range : {&state.Precio, &state.SupTno, &state.SupCub, &state.Dormitorios, &state.Ambientes,
                                &state.Plantas, &state.Banos, &state.Anio}) {
        range->From = std::max<qint64>(range->From, 0);
        range->To = std::max<qint64>(range->To, 0);
        if (range->From > 0 && range->To > 0 && range->To < range->From)
            std::swap(range->From, range->To);
    }

    for (TFilterDates* dates : {&state.Ingreso, &state.Modificado}) {
        if (!dates->From.isValid() || dates->From < FilterBaseDate())
            dates->From = FilterBaseDate();
        if (!dates->To.isValid() || dates->To > env.DataDate)
            dates->To = env.DataDate;
        if (dates->To < dates->From)
            std::swap(dates->From, dates->To);
    }
}

bool IsFilterActive(const TFilterState& state, const TFilterEnv& env)
{
    try {
        for (const TFilterSet& set : state.Sets)
            if (!set.empty())
                return true;
        for (const TFilterRange* range : {&state.Precio, &state.SupTno, &state.SupCub, &state.Dormitorios,
                                          &state.Ambientes, &state.Plantas, &state.Banos})
            if (range->From != 0 || range->To != 0)
                return true;
        if (state.Anio.From != 0 || state.Anio.To != env.DataYear())
            return true;
        if (!state.Texto.trimmed().isEmpty())
            return true;
        for (const int feature : {state.Dependencias, state.Cochera, state.Telefono, state.AEstrenar})
            if (feature != -1)
                return true;
        for (const TFilterDates* dates : {&state.Ingreso, &state.Modificado})
            if ((dates->From.isValid() && dates->From > FilterBaseDate()) ||
                (dates->To.isValid() && dates->To < env.DataDate))
                return true;
        return false;
    } catch (const std::exception&) {
        return false;
    }
}

void CascadeFilterLists(TFilterState& state, int changedList)
{
    QList<int> emptied;
    if (changedList == FilterList::Ubicacion)
        emptied = {FilterList::Edificacion, FilterList::Calle, FilterList::Barrio};
    else if (changedList >= FilterList::Pais && changedList <= FilterList::Localidad)
        for (int list = changedList + 1; list <= FilterList::Zona; ++list)
            emptied << list;
    for (const int list : emptied)
        state.Set(list).clear();
}

void ToggleFilterEntry(TFilterState& state, int list, int position, int code)
{
    if (list < 1 || list > FilterList::Count || position < 0)
        return;
    TFilterSet& set = state.Set(list);
    const bool checking = !set.contains(position);
    if (list == FilterList::Ubicacion)
        std::erase_if(set, [&](const auto& entry) { return entry.first != position; });
    if (list == FilterList::Estado && checking) {
        // The withdrawn entry and the stand-by states exclude each other.
        if (position <= 3)
            set.erase(4);
        else if (position == 4)
            std::erase_if(set, [](const auto& entry) { return entry.first <= 3; });
    }
    if (checking)
        set[position] = code;
    else
        set.erase(position);
    CascadeFilterLists(state, list);
}

bool IsFilterListEnabled(const TFilterState& state, int list)
{
    const TFilterSet& location = state.Set(FilterList::Ubicacion);
    const auto chosen = [&](int code) {
        return std::any_of(location.begin(), location.end(), [&](const auto& entry) { return entry.second == code; });
    };
    if (list == FilterList::Calle)
        return !(chosen(kLocationGated) && !chosen(kLocationStreet));
    if (list == FilterList::Barrio)
        return !(chosen(kLocationStreet) && !chosen(kLocationGated));
    return true;
}

bool SelectAllFilterEntries(TFilterState& state, int list, const QList<TFilterEntry>& entries)
{
    if (list == FilterList::Ubicacion || list == FilterList::Estado || !IsFilterListEnabled(state, list))
        return false;
    TFilterSet& set = state.Set(list);
    for (int position = 0; position < entries.size(); ++position)
        set[position] = entries[position].Code;
    CascadeFilterLists(state, list);
    return true;
}

void DeselectAllFilterEntries(TFilterState& state, int list)
{
    if (!IsFilterListEnabled(state, list))
        return;
    state.Set(list).clear();
    CascadeFilterLists(state, list);
}

QString BuildFilterWhere(const TFilterState& state, const TFilterEnv& env)
{
    QStringList fragments;
    const auto add = [&](const QString& fragment) {
        if (!fragment.isEmpty())
            fragments << fragment;
    };
    const bool zero = state.EnCero;

    add(Fragment([&] {
        const QList<int> location = state.Codes(FilterList::Ubicacion);
        if (location.isEmpty())
            return QString();
        return location.first() == kLocationGated ? u"`W_Propiedades`.`Barrio_Codigo` > 0 "_s
                                                  : u"`W_Propiedades`.`Calle_Codigo` > 0 "_s;
    }));
    for (int list = FilterList::Edificacion; list <= FilterList::Barrio; ++list)
        add(Fragment([&] { return ListFragment(state, list); }));

    const auto range = [&](const QString& column, const TFilterRange& r) {
        return Fragment([&] { return WidenForZero(RangeFragment(kQualified, column, r.From, r.To), column, zero); });
    };
    add(range(u"Prop_SupTno"_s, state.SupTno));
    add(range(u"Prop_SupCub"_s, state.SupCub));
    add(Fragment([&] {
        const QString bedrooms = range(u"Prop_Dorm"_s, state.Dormitorios);
        const QString rooms = range(u"Prop_Ambientes"_s, state.Ambientes);
        if (!bedrooms.isEmpty() && !rooms.isEmpty())
            return u"("_s + bedrooms.trimmed() + u" OR "_s + rooms.trimmed() + u") "_s;
        const auto mirrored = [](const QString& single, const QString& mirror) {
            return mirror.isEmpty() ? single : u"("_s + single.trimmed() + u" OR "_s + mirror.trimmed() + u")"_s;
        };
        if (!bedrooms.isEmpty())
            return mirrored(bedrooms,
                            MirrorFragment(u"Prop_Ambientes"_s, state.Dormitorios.From, state.Dormitorios.To, 1));
        if (!rooms.isEmpty())
            return mirrored(rooms, MirrorFragment(u"Prop_Dorm"_s, state.Ambientes.From, state.Ambientes.To, -1));
        return QString();
    }));
    add(range(u"Prop_Plantas"_s, state.Plantas));
    add(range(u"Prop_Banos"_s, state.Banos));
    add(range(u"Prop_Year"_s, {state.Anio.From, state.Anio.To == env.DataYear() ? 0 : state.Anio.To}));
    add(Fragment([&] { return DateFragment(u"Prop_FechaAlta"_s, state.Ingreso, env); }));
    add(Fragment([&] { return DateFragment(u"Prop_FechaMod"_s, state.Modificado, env); }));
    add(FeatureFragment(u"Prop_Depn"_s, state.Dependencias));
    add(FeatureFragment(u"Prop_Cochera"_s, state.Cochera));
    add(FeatureFragment(u"Prop_Te"_s, state.Telefono));
    add(FeatureFragment(u"Prop_AEstrenar"_s, state.AEstrenar));
    add(Fragment([&] { return TextFragment(state.Texto); }));
    // Without the withdrawn entry a search shows only current properties.
    add(state.Codes(FilterList::Estado).contains(kWithdrawnEntryCode) ? u"`W_Propiedades`.`Prop_Estado` = 1 "_s
                                                                      : u"`W_Propiedades`.`Prop_Estado` = 2 "_s);
    add(Fragment([&] {
        const qint64 from = state.Precio.From > 0 ? ConvertPrice(state.Precio.From, env, state.Moneda) : 0;
        const qint64 to = state.Precio.To > 0 ? ConvertPrice(state.Precio.To, env, state.Moneda) : 0;
        return WidenForZero(RangeFragment(QString(), u"Prop_PrecioPesos"_s, from, to), u"Prop_Precio"_s, zero);
    }));

    QString where;
    for (const QString& fragment : fragments)
        where += (where.isEmpty() ? u"WHERE "_s : u"AND "_s) + fragment;
    return where;
}

TFilterQuery BuildFilterStatement(const TFilterState& state, const TFilterEnv& env)
{
    return {PropertyQuerySql() + BuildFilterWhere(state, env), kPriceOrder, u"Precio"_s, false};
}

std::optional<TFilterQuery> BuildQuickSearch(const QString& text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    const QString internal = IsCodeChars(t) ? t : u"0"_s;
    const QString code = IsCodeText(t) ? QString::number(ParseCode(t)) : u"0"_s;
    const QString where = u"WHERE (`W_Propiedades`.`Prop_Codigo` = \"%1\" OR `W_Propiedades`.`Prop_CodigoInterno` = "
                          u"\"%2\") "_s.arg(EscapeSql(code), EscapeSql(internal));
    return TFilterQuery{PropertyQuerySql() + where, kPriceOrder, u"Precio"_s, false};
}

QString ClipboardCodeList(const QString& clipboardText)
{
    static const QString prefix = u"Korvel_Prop_Codes:"_s;
    const QString text = clipboardText.trimmed();
    if (!text.startsWith(prefix))
        return {};
    QString kept;
    for (const QChar c : text.mid(prefix.size()))
        if ((c >= u'0' && c <= u'9') || c == u',')
            kept += c;
    const QString list = kept.split(u',', Qt::SkipEmptyParts).join(u',');
    return list.size() < 5 ? QString() : list;
}

QString ClipboardCodeText(const QList<qint64>& codes)
{
    QStringList parts;
    for (const qint64 code : codes)
        parts << QString::number(code);
    return u"Korvel_Prop_Codes:"_s + parts.join(u',');
}

TFilterQuery BuildCodeListSearch(const QString& codeList)
{
    // Only digits and commas reach the statement, whatever the caller passes.
    QString codes;
    for (const QString& piece : codeList.split(u',', Qt::SkipEmptyParts))
        if (IsDigits(piece, 18))
            codes += (codes.isEmpty() ? QString() : u","_s) + piece.trimmed();
    if (codes.isEmpty())
        codes = u"0"_s;
    return {PropertyQuerySql() + u"WHERE (`W_Propiedades`.`Prop_Codigo` IN (%1)) "_s.arg(codes), kPriceOrder,
            u"Precio"_s, false};
}

QList<TFilterEntry> LoadFilterList(int list, const TFilterState& state)
{
    QList<TFilterEntry> entries;
    if (list == FilterList::Ubicacion)
        return {{kLocationGated, u"Propiedades en Barrios Cerrados"_s}, {kLocationStreet, u"Propiedades a la Calle"_s}};

    // Each location level shows only what lies inside the levels chosen above it.
    const auto parents = [&](int upTo) {
        static const std::array<QString, 4> columns = {u"W_Paises.Pais_Codigo"_s, u"W_Provincias.Prov_Codigo"_s,
                                                       u"W_Partidos.Part_Codigo"_s, u"W_Localidades.Loc_Codigo"_s};
        QString filter;
        for (int parent = FilterList::Pais; parent < upTo; ++parent) {
            const QList<int> codes = state.Codes(parent, true);
            if (!codes.isEmpty())
                filter += u" AND %1 IN (%2)"_s.arg(columns[size_t(parent - FilterList::Pais)], JoinCodes(codes));
        }
        return filter;
    };
    const QString chain = u"FROM W_Paises LEFT JOIN W_Provincias ON W_Provincias.Pais_Codigo = W_Paises.Pais_Codigo "
                          u"LEFT JOIN W_Partidos ON W_Partidos.Prov_Codigo = W_Provincias.Prov_Codigo "
                          u"LEFT JOIN W_Localidades ON W_Localidades.Part_Codigo = W_Partidos.Part_Codigo "
                          u"LEFT JOIN W_Zonas ON W_Zonas.Loc_Codigo = W_Localidades.Loc_Codigo "_s;
    const auto level = [&](const QString& table, const QString& code, const QString& name) {
        return u"SELECT DISTINCT %1.%2 AS c, %1.%3 AS Campo "_s.arg(table, code, name) + chain +
               u"WHERE %1.%2 > 0"_s.arg(table, code) + parents(list) + u" ORDER BY Campo, c;"_s;
    };

    QString sql;
    switch (list) {
    case FilterList::Edificacion:
        sql = u"SELECT `Edif_Codigo` AS c, `Edif_Nombre` AS Campo FROM `W_Edificaciones` WHERE `Edif_Codigo` > 0 "
              u"ORDER BY `Edif_Nombre`;"_s;
        break;
    case FilterList::Situacion:
        sql = u"SELECT `Situ_Codigo` AS c, `Situ_Nombre` AS Campo FROM `W_Situaciones` WHERE `Situ_Codigo` > 0 "
              u"ORDER BY `Situ_Nombre`;"_s;
        break;
    case FilterList::Estado:
        // The current stand-by states first (positions 0 to 3), then the withdrawn entry.
        sql = u"SELECT c, Campo FROM (SELECT `Standby_Codigo` AS c, `Standby_Nombre` AS Campo, 0 AS k FROM "
              u"`W_MotivosStandby` WHERE `Standby_Codigo` > 0 UNION ALL SELECT -999, 'Dadas de baja', 1) "
              u"ORDER BY k, CASE WHEN c > 0 THEN c END;"_s;
        break;
    case FilterList::Inmobiliaria:
        sql = u"SELECT `Inmo_Codigo` AS c, `Inmo_Nombre` AS Campo FROM `W_Inmobiliarias` ORDER BY `Inmo_Nombre`;"_s;
        break;
    case FilterList::Pais:
        sql = u"SELECT `Pais_Codigo` AS c, `Pais_Nombre` AS Campo FROM `W_Paises` ORDER BY `Pais_Nombre`;"_s;
        break;
    case FilterList::Provincia:
        sql = level(u"W_Provincias"_s, u"Prov_Codigo"_s, u"Prov_Nombre"_s);
        break;
    case FilterList::Partido:
        sql = level(u"W_Partidos"_s, u"Part_Codigo"_s, u"Part_Nombre"_s);
        break;
    case FilterList::Localidad:
        sql = level(u"W_Localidades"_s, u"Loc_Codigo"_s, u"Loc_Nombre"_s);
        break;
    case FilterList::Zona:
        sql = level(u"W_Zonas"_s, u"Zon_Codigo"_s, u"Zon_Nombre"_s);
        break;
    case FilterList::Calle:
        sql = u"SELECT `Calle_Codigo` AS c, `Calle_Nombre` AS Campo FROM `W_Calles` ORDER BY `Calle_Nombre`;"_s;
        break;
    case FilterList::Barrio:
        sql = u"SELECT `Barrio_Codigo` AS c, `Barrio_Nombre` AS Campo FROM `W_Barrios` ORDER BY `Barrio_Nombre`;"_s;
        break;
    default:
        return entries;
    }
    std::unique_ptr<TResultSet> rows;
    if (!DB() || !DB()->QueryNoCount(sql, rows) || !rows) {
        WriteLog(u"$2005"_s, DB() ? DB()->TakeLastError() : u"database closed"_s);
        return entries;
    }
    for (rows->First(); !rows->Eof(); rows->Next()) {
        QString text = rows->AsString(u"Campo"_s);
        text.replace(u'&', QChar(0xFF06));
        entries << TFilterEntry{rows->AsInteger(u"c"_s), text};
    }
    return entries;
}
