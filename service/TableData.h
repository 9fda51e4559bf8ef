#pragma once

#include <QByteArray>
#include <QString>

class TMasterStore;

// The table-data answer of a full or incremental synchronisation for one agency.
//
// A full answer ("Data_Type" 0) empties and refills every table the agency may see. An
// incremental one ("Data_Type" 1) names, per table, the groups changed since the client's
// version in "PropList" and sends their current rows: the client deletes the listed groups
// and inserts the rows, which covers deletions, and rows that share a group key (the
// details or photos of one property) never delete each other.
//
// A client version older than the change log, or newer than the service's (the service's
// data was replaced), gets the full answer. Call with the store's mutex held.
QByteArray BuildTableData(TMasterStore& store, int agency, bool full, qint64 clientVersion);

// A value as a row carries it: "~" separates values, so a text never contains one.
QString RowValueText(const QString& text);
