#pragma once

#include "sync/Requests.h"

#include <QByteArray>
#include <QString>

// Whether any of the agency's own records waits to be sent, and how many.
bool HasPendingChanges(int* count = nullptr);

// The pending records of the agency as one JSON object (8-bit text). False, with the
// user's message in error, when a record or a photo cannot be packed.
bool BuildUploadPayload(QByteArray& payload, QString& error);

// Sends the pending records; after the service confirmed them, deletes the local copies
// (they come back with their service codes through the import). Returns "" on success.
QString UploadChanges(const TSessionValues& session);

// The texts of the pending-changes dialog: one line per pending record (groups separated by
// an empty line), and the per-table summary.
QString PendingChangesList();
QString PendingChangesSummary();
