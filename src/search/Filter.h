#pragma once

#include <QDate>
#include <QList>
#include <QString>

#include <array>
#include <functional>
#include <map>
#include <optional>

// The property filter as plain data: what the filter panel shows and what stored searches
// save, with the rules that turn it into the WHERE clause of the property query. No widget
// lives here; the panel reads and writes a TFilterState.

// The twelve selection lists, numbered as the panel's buttons.
namespace FilterList {
constexpr int Ubicacion = 1;
constexpr int Edificacion = 2;
constexpr int Situacion = 3;
constexpr int Estado = 4;
constexpr int Inmobiliaria = 5;
constexpr int Pais = 6;
constexpr int Provincia = 7;
constexpr int Partido = 8;
constexpr int Localidad = 9;
constexpr int Zona = 10;
constexpr int Calle = 11;
constexpr int Barrio = 12;
constexpr int Count = 12;
} // namespace FilterList

// Location types of list 1.
constexpr int kLocationGated = 1;
constexpr int kLocationStreet = 2;
// The "Estado" entry that asks for withdrawn properties instead of current ones.
constexpr int kWithdrawnEntryCode = -999;

// Checked entries of one list: position in the list -> the entry's code.
using TFilterSet = std::map<int, int>;

// A pair of whole-number bounds; 0 stands for an empty field.
struct TFilterRange {
    qint64 From = 0;
    qint64 To = 0;
    bool operator==(const TFilterRange&) const = default;
};

struct TFilterDates {
    QDate From;
    QDate To;
    bool operator==(const TFilterDates&) const = default;
};

struct TFilterState {
    std::array<TFilterSet, FilterList::Count> Sets; // index = list number - 1

    TFilterRange Precio;
    int Moneda = 0; // item index of the currency combo
    TFilterDates Ingreso;
    TFilterDates Modificado;
    TFilterRange SupTno;
    TFilterRange SupCub;
    TFilterRange Dormitorios;
    TFilterRange Ambientes;
    TFilterRange Plantas;
    TFilterRange Banos;
    TFilterRange Anio;
    // Three-state features: -1 no condition, 0 must not have it, 1 must have it.
    int Dependencias = -1;
    int Cochera = -1;
    int Telefono = -1;
    int AEstrenar = -1;
    QString Texto;
    bool EnCero = false;

    TFilterSet& Set(int list) { return Sets.at(size_t(list - 1)); }
    const TFilterSet& Set(int list) const { return Sets.at(size_t(list - 1)); }
    // The set's codes in list order; only those above 0 when asked.
    QList<int> Codes(int list, bool positiveOnly = false) const;

    bool operator==(const TFilterState&) const = default;
};

// One entry of a selection list.
struct TFilterEntry {
    int Code = 0;
    QString Text;
};

// What the filter needs from outside itself: "today" as far as the data goes, and the
// exchange rate of the currency at a combo index (nothing when it cannot be found).
struct TFilterEnv {
    QDate DataDate;
    std::function<std::optional<double>(int comboIndex)> Rate;
    int DataYear() const { return DataDate.year(); }
};

// 1 August 1992, the lower end of every date range.
QDate FilterBaseDate();
// The date part of the last synchronisation; the base date when there was none.
QDate FilterDataDate();
// The data date above and the rates of W_Monedas in combo order, read from the open database.
TFilterEnv CurrentFilterEnv();

// The currencies of the combo, in its order.
struct TCurrency {
    int Code = 0;
    QString Name;
    double Rate = 0;
};
QList<TCurrency> LoadFilterCurrencies();

// --- State rules -------------------------------------------------------------------------

// Everything empty, the date ranges open, the upper year at the data year; with the
// default entries, positions 0 and 2 of the "Estado" list are checked (their codes taken
// from estadoEntries).
TFilterState DefaultFilterState(const TFilterEnv& env, bool withDefaultEntries,
                                const QList<TFilterEntry>& estadoEntries = {});
// Repairs and orders the ranges; run before a search and before saving one.
void NormaliseFilter(TFilterState& state, const TFilterEnv& env);
// False when every part of the filter is neutral (or when testing fails).
bool IsFilterActive(const TFilterState& state, const TFilterEnv& env);
// A bound in the chosen currency as local currency (halves to even); 0 on a negative
// result or when the rate is unknown.
qint64 ConvertPrice(qint64 value, const TFilterEnv& env, int comboIndex);

// A click on an entry: the one-location-type and "Estado" exclusivity rules, the flip, and
// the cascade that empties the lists below a changed location list.
void ToggleFilterEntry(TFilterState& state, int list, int position, int code);
// Checks every entry of an enabled list that allows it (not lists 1 and 4).
bool SelectAllFilterEntries(TFilterState& state, int list, const QList<TFilterEntry>& entries);
void DeselectAllFilterEntries(TFilterState& state, int list);
// Streets make no sense when only gated neighbourhoods are asked for, and the other way round.
bool IsFilterListEnabled(const TFilterState& state, int list);
// Empties the lists that depend on the changed one.
void CascadeFilterLists(TFilterState& state, int changedList);

// The longest description text the filter searches (the length its field and stored
// searches keep).
constexpr int kFilterTextMax = 255;
// Whether the description text can be searched as it stands: empty, or general text of at
// most kFilterTextMax characters. Anything else would be left out of the statement and
// widen the search to every row, so callers refuse it and say why.
bool IsSearchableText(const QString& text);

// --- Statements ----------------------------------------------------------------------------

// "WHERE " and the condition fragments joined by "AND " in their fixed order.
QString BuildFilterWhere(const TFilterState& state, const TFilterEnv& env);

// A property list statement as the result list keeps it: executed as BaseSql + OrderBy.
struct TFilterQuery {
    QString BaseSql;
    QString OrderBy;
    QString SortKey;
    bool Descending = false;
    QString Sql() const { return BaseSql + OrderBy; }
};

// The property query behind the filter's WHERE clause, ordered by price ascending.
TFilterQuery BuildFilterStatement(const TFilterState& state, const TFilterEnv& env);
// By code ("AAAA-SSSSS", or a bare sequence of our agency) or by internal code; nothing for
// an empty text.
std::optional<TFilterQuery> BuildQuickSearch(const QString& text);
// The codes of a "Korvel_Prop_Codes:" clipboard text joined by ","; empty when the text
// is not such a list or holds too little.
QString ClipboardCodeList(const QString& clipboardText);
QString ClipboardCodeText(const QList<qint64>& codes);
TFilterQuery BuildCodeListSearch(const QString& codeList);

// --- Selection lists -----------------------------------------------------------------------

// The entries of a list as the panel shows it for the current state (lists 7 to 10 are
// narrowed by the choices above them). Empty when the statement fails.
QList<TFilterEntry> LoadFilterList(int list, const TFilterState& state);
