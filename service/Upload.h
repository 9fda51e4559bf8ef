#pragma once

#include <QString>

#include <string>

class TMasterStore;

struct TUploadOutcome {
    bool accepted = false;
    QString error;   // why the whole upload was refused (nothing was stored)
    QString message; // the summary for the client's log when accepted
    int records = 0;
    int photos = 0;
    qint64 version = 0; // the data version that holds the changes
};

// Takes an agency's pending changes: one JSON object with a member per own table (an array
// of records in the state the client keeps them, "AM" or "B") and "JPG" with the photo
// files. Records created on the installation carry codes of the local band and receive
// their final codes here; references between them follow. Everything is checked first
// and stored in one transaction, so a refused upload leaves no trace. Records that name
// another agency's data refuse the whole upload, and so do changes the caller's role does
// not allow: a read-only user sends nothing, and users are changed by the administrator
// only. Call with the store's mutex held.
struct TUploader {
    int agency = 0;
    int role = 0; // 1 data entry, 2 read only, 3 administrator
};
TUploadOutcome ApplyUpload(TMasterStore& store, const TUploader& caller, const std::string& payload);
