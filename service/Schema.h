#pragma once

#include <QString>
#include <QStringList>

struct sqlite3;

// The database as the service delivers it to an agency, and as the service keeps its
// master copy: one definition for the service, the demo and every test.
namespace Schema {

// All CREATE statements, separated by ";".
const QString& Sql();
// Names of every table of the schema, in creation order.
QStringList TableNames();
// Runs the schema on an open, empty database. Throws std::runtime_error on failure.
void Create(sqlite3* handle);

} // namespace Schema
