#pragma once

#include <QDateTime>
#include <QMap>
#include <QString>
#include <QtGlobal>

class TResultSet;

// Every text shown for a property - on the card, in the list rows, in the reports and in
// a shared link - is composed here from one row of the property query, so that the same
// property never reads differently in two places. The row functions read the result
// set's current row by column name.

// --- Typed getters of a property row ---------------------------------------------------
// A composition never fails because of one bad column: a missing column or a value that
// does not convert is logged under the getter's code and read as 0, false, an empty text
// or an invalid (zero) date. NULL is an ordinary "not given" and is not logged.

qint64 PropInteger(const TResultSet& row, const QString& column);     // "$8009"
double PropNumber(const TResultSet& row, const QString& column);      // "$8009", prices and surfaces
QString PropText(const TResultSet& row, const QString& column);       // "$8010"
bool PropBoolean(const TResultSet& row, const QString& column);       // "$8011", "$8012" for the value
QDateTime PropDateTime(const TResultSet& row, const QString& column); // "$8013"

// --- Fields by building type -----------------------------------------------------------

// Whether the field named by its Spanish key ("Dormitorios", "Ambientes", "Baños",
// "Sup. Cubierta", "Plantas", "Piso", "Dependencias", "Cochera", "Teléfono",
// "A estrenar", "Año", "Alquiler con muebles", "Apto profesional") is meaningful for the
// building type; unknown keys never are.
bool FieldApplies(const QString& key, int buildingType);
// Whether the property has a rooms figure at all ("Dormitorios" or "Ambientes").
bool RoomsApply(int buildingType);

// "Amb."/"Ambientes", "Desp."/"Despachos" or "Dorm."/"Dormitorios".
QString RoomsLabel(int buildingType, bool shortForm);
// "Dto.", "Of." or "U.F.".
QString UnitLabel(int buildingType);
// "Tot."/"Sup. Total" for units measured by total surface, else "Tno."/"Sup. Tno.".
QString SurfaceLabel(int buildingType, bool shortForm);

// --- Operation and rental term ----------------------------------------------------------

// The card shows a term only for rentals; the reports also accept two more operations.
enum class TTermRule { Card, Report };
bool TermApplies(int operation, TTermRule rule);
// "(Dia.)", "(Sem.)", "(Quin.)" or "(Men.)"; empty when the term does not apply by the
// report rule.
QString TermText(int operation, int term);
QString TermText(const TResultSet& row);

// --- Status ------------------------------------------------------------------------------

struct TPropertyStatus {
    QString text;           // withdrawal reason or standby name
    bool withdrawn = false; // Prop_Estado 1
    bool active = false;    // current and not suspended
};
// The status of the current row; shortForm takes the reasons' abbreviations.
TPropertyStatus StatusText(const TResultSet& row, bool shortForm);

// Badge colours as ARGB.
struct TStatusBadge {
    quint32 background = 0;
    quint32 text = 0;
};
TStatusBadge StatusBadge(const TPropertyStatus& status);

// --- Text clean-ups ----------------------------------------------------------------------

// A location placeholder such as "*No Definida" (any case, any blanks).
bool IsUndefinedName(const QString& name);
// The name, or an empty text when it is a placeholder.
QString DefinedName(const QString& name);
// The six accented-letter entities the service sends in names; nothing else is decoded.
QString DecodeHtmlEntities(const QString& text);
// A name for a label or list item: entities decoded and every "&" doubled, so that the
// toolkit shows it instead of taking it as an accelerator mark.
QString EscapeAmpersands(const QString& text);
// "-" for an empty value or the stored word NULL; the value unchanged otherwise.
QString NullToDash(const QString& value);

// --- Compositions -----------------------------------------------------------------------

// "Mitre, Bartolomé" reads "Bartolomé Mitre".
QString ReorderStreetName(const QString& text);
// Street (or gated neighbourhood), number, floor, unit and rest of the address.
QString ComposeAddress(const TResultSet& row);
// The same without the rest, for the list rows that show the rest in a cell of its own.
QString ComposeStreetAddress(const TResultSet& row);
// "Locality, (middle) last", for client addresses.
QString ComposeLocality(const QString& locality, const QString& middle, const QString& last);
// Locality and, when defined, " - " + zone.
QString ComposeLocZon(const TResultSet& row);
// "Cochera, Depend., Tel., A estrenar" with the features the property has.
QString ComposeFeatures(const TResultSet& row);
// The one-line summary of a shared property.
QString ComposeSummary(const TResultSet& row);

// --- Values shown in fields, rows and reports --------------------------------------------

// Currency symbol, a blank and the price with thousands separators.
QString PriceText(const TResultSet& row);
// The currency's name with its entities decoded.
QString CurrencyNameText(const TResultSet& row);
// A stored count, surface or door number with thousands separators; empty when it is
// not a whole number of 1 to 9 digits.
QString NumberText(const TResultSet& row, const QString& column);
// Rooms for apartments, bedrooms otherwise; empty when the building type has neither.
QString RoomsValue(const TResultSet& row);
// Years since the property was built, for display; empty without a plausible year.
QString AgeText(const TResultSet& row, int currentYear = QDate::currentDate().year());
// The agency's name without its second part after "|".
QString AgencyNameText(const TResultSet& row);
// The description cleaned for display, followed by an empty line.
QString DescriptionText(const TResultSet& row);

// --- Rows of the result list --------------------------------------------------------------

// The texts of one list row by the name of the cell that shows them. An expanded row has
// the address and the rest of it in two cells, the surfaces, storeys and rooms where the
// building type has them, and the agency's name over its telephone; a summary row has
// the whole address in one cell.
QMap<QString, QString> ExpandedRowTexts(const TResultSet& row);
QMap<QString, QString> SummaryRowTexts(const TResultSet& row);

// Captions of the card's address fields: a gated neighbourhood has no street and number
// but a functional unit.
QString StreetCaption(bool inNeighbourhood);
QString NumberCaption(bool inNeighbourhood);
// The card shows the age when displaying and the year itself when editing.
QString YearCaption(bool editMode);

// --- Plausibility -----------------------------------------------------------------------

// The price in local currency (at the rate of W_Monedas) is plausible for the operation;
// false when the rate cannot be read.
bool IsPriceAbove(int situationCode, int currencyCode, double price);
