#pragma once

#include <QByteArray>
#include <QString>

// What the report tells about the installation's data. Core cannot read the database: the
// database library installs the source when it opens one; without a source the texts are
// empty, as they are while no database is open.
struct TErrorReportData {
    QString AgencyName;
    QString DataVersion;
    QString LastMaintenance; // as stored
    QString InstallKey;
};
using TErrorReportDataSource = TErrorReportData (*)(int agency);
void SetErrorReportDataSource(TErrorReportDataSource source);

// The text of an error report: the message, then "---", the thirteen key=value lines of
// context and a final "---" (CR LF line ends).
QString ComposeErrorReport(const QString& message);

// The report's chained envelope, and reading it back (empty when damaged).
QByteArray EncodeErrorReport(const QString& report);
QString DecodeErrorReport(const QByteArray& envelope);

// Where reports go: the service's host with the report path.
QString ErrorReportUrl();
