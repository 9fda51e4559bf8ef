#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

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
//
// The text goes to the sink in chunks of a few hundred kilobytes as it is read from the
// database, so no answer is ever held as a whole by the writer.
using TChunkSink = std::function<void(const char* data, size_t size)>;
void WriteTableData(TMasterStore& store, int agency, bool full, qint64 clientVersion, const TChunkSink& sink);
// The whole answer text, for tools and benchmarks.
QByteArray BuildTableData(TMasterStore& store, int agency, bool full, qint64 clientVersion);
// The answer packed as a response envelope with the given preamble: the text is compressed
// as it is written, so only the compressed envelope is ever held.
QByteArray PackedTableData(TMasterStore& store, int agency, bool full, qint64 clientVersion,
                           const QByteArray& preamble);

// A value as a row carries it: "~" separates values, so a text never contains one.
QString RowValueText(const QString& text);
