#pragma once

#include <QByteArray>
#include <QString>

// Pictures and documents the service makes itself.

// A PNG of the QR code of the text (error correction M, 8 pixels a module, a 4-module
// quiet zone); empty when the text cannot be encoded.
QByteArray QrPng(const QString& text);

// An agency logo drawn from its name: a coloured badge with its initials and the name.
QByteArray DrawLogoPng(const QString& agencyName);

// Writes the help document (PDF) for the given version; false when it cannot be written.
bool WriteHelpPdf(const QString& path, const QString& version);
