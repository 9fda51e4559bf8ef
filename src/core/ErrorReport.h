#pragma once

#include <QByteArray>
#include <QString>

// The text of an error report: the message, then "---", the thirteen key=value lines of
// context and a final "---" (CR LF line ends).
QString ComposeErrorReport(const QString& message);

// The report's chained envelope, and reading it back (empty when damaged).
QByteArray EncodeErrorReport(const QString& report);
QString DecodeErrorReport(const QByteArray& envelope);

// Where reports go: the service's host with the report path.
QString ErrorReportUrl();
