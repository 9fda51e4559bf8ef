#pragma once

#include <QList>
#include <QString>

// The lists of the property section: which family a presentation mode belongs to, the
// state each family remembers, its statements and ordering, and the paging arithmetic.

enum class TListFamily { Search, Own, Marks, Selections, SelectionProperties, None };

// What one list family remembers between showings.
struct TAppQuery {
    QString BaseSql; // the statement without its ORDER BY; empty: not built yet
    QString OrderBy;
    QString SortKey;
    bool Descending = false;
    quint8 Mode = 0;
    int Position = 1; // the record last shown
};

TListFamily FamilyOfMode(int mode);
bool IsExpandedMode(int mode);
// The mode a newly built list of the family gets from the presentation setting ("1"
// expanded, "0" summary; anything else 0).
int ModeForNewList(TListFamily family, const QString& setting);
// The stored presentation setting as "1" or "0" (a boolean setting reads back "True").
QString PresentationSetting();
// The layout switch: the mode the expanded (or summary) button turns mode into; the same
// mode when the button does nothing there.
int SwitchedMode(int mode, bool toExpanded, bool hasMarks);
// The message that ends the program when a row of a list in this mode cannot be composed.
QString RowFailedMessage(int mode);

// ceiling(a / b): the truncated quotient plus one when there is a remainder; 0 when b is 0.
int CeilDiv(qint64 a, qint64 b);
int PageCount(qint64 rows, int pageSize);

// The window of page numbers of the page strip; hidden from 1000 pages on (and for none).
// At most numbers page numbers (15 when there is room), the current page in the middle
// where the ends allow.
struct TPageStrip {
    bool visible = false;
    int first = 0;
    int last = 0;
};
TPageStrip PageStripWindow(int page, int pages, int numbers = 15);

// ORDER BY for a sort key and direction; empty for an unknown key.
QString OrderByClause(const QString& sortKey, bool descending);
// Clicking a header: descending exactly when it is the current key and that is ascending.
bool NextDescending(const TAppQuery& state, const QString& sortKey);

// The statements' WHERE clauses of the families whose statements this module owns.
QString OwnFastFilterCondition(int index, int userCode);
QString OwnPropertiesWhere(int agencyCode, int fastFilterIndex, int userCode);
QString MarkedPropertiesWhere(const QList<qint64>& codes);
QString SelectionPropertiesWhere(const QList<qint64>& codes);

// Texts of the list header.
QString ListCountText(int mode, qint64 count);
QString PageLabelText(int page, int pages);
