#pragma once

#include <QDateTime>
#include <QString>

// The band of codes that rows created on this installation take until the service gives
// them their final code (IsLocalCode tells whether a code lies in it).
constexpr int kLocalCodeFirst = 2147473647;
constexpr int kLocalCodeLast = 2147483647;

// The pending mark ("AM") of a share row changed by the user it is shared with.
inline const QString kShareStateColumn = QStringLiteral("Selec_EstadoCompartida");

// Adds the columns that databases delivered by older services lack, and the tables that
// exist only on this installation. Run once at start-up.
bool EnsureSchema();

// The new matches of the stored searches since the user last looked: kept on this
// installation only (no import names it, no upload sends it).
extern const QString kNewMatchTable;

// The next free code of the local band for a table; -1 and false when none is left.
bool NextLocalCode(const QString& table, const QString& keyColumn, int& code);

// A generation code unique in the table's column: agency (4+ digits), local time
// "yymmddhhnnsszzz" and five random digits. Fails on a collision, without retrying.
bool NewGenerationCode(const QString& table, const QString& column, QString& text);
// The same with its inputs given, so a collision can be provoked.
bool NewGenerationCodeFrom(const QString& table, const QString& column, int agency, const QDateTime& now,
                           quint32 random, QString& text);
