#pragma once

#include <QString>

// A deterministic demo installation: the same seed and scale always give the same rows.
struct TDemoOptions {
    int properties = 2000;
    quint32 seed = 20261209;
    QString password;     // empty: a plain file (the service's master copy)
    QString photoFolder;  // where the JPEGs go (agency folders inside); empty: none
    int photoFiles = 400; // at most this many properties get real picture files
    int ownAgency = 7;    // the agency the file is delivered to
};

struct TDemoResult {
    int agencies = 0;
    int users = 0;
    int clients = 0;
    int properties = 0;
    int photos = 0;
    int photoFiles = 0;
    QString error;
};

// Writes a new database file (which must not exist yet) with the whole schema and demo rows.
bool GenerateDemoDatabase(const QString& path, const TDemoOptions& options, TDemoResult& result);

// The password every demo user has.
QString DemoUserPassword();
