#pragma once

#include <QString>

class TMasterStore;

struct TSeedOptions {
    int properties = 2000;
    int photoFiles = 400; // properties that get real picture files
};

// Fills an empty data folder with the demo: the master database of the demo generator,
// photo files, the service's own records (terms, account statements, validation keys,
// the demo installation's key), agency logos and the help document.
bool SeedDemoFolder(const QString& folder, const TSeedOptions& options, QString* error);

// The validation key of an agency in the demo data: "DEMO" and the agency in four digits.
QString DemoValidationKey(int agency);

// Writes a new database file for an installation of the agency: the whole schema,
// encrypted with the client's database key, with its settings row (agency number,
// installation key, no data version yet). The rows come with the full data that follows.
bool BuildAgencyDatabase(const QString& path, int agency, const QString& installKey, QString* error);
