#pragma once

#include <QByteArray>
#include <QString>

class TMasterStore;

// The web pages behind the links the service hands out. Each returns an empty text when
// there is nothing to show (unknown, private or withdrawn listing; unknown report).
// Call with the store's mutex held.

// The public page of one listing (QR codes and share links point here).
QString PropertyPage(TMasterStore& store, qint64 code);
// The page of an e-mail or web report.
QString ReportPage(TMasterStore& store, const QString& token);
// Whether a photo may be shown on those pages: its listing is public.
bool PhotoIsPublic(TMasterStore& store, qint64 property, qint64 photo);
