#pragma once

#include "core/uTypes.h"

#include <QDateTime>

// Fills AppFormatSettings; false on any failure.
bool InitFormatSettings();

// Formats a date-time with a pattern in the program's notation ("dd-mmm-yy hh:nn",
// "dd/mm/yyyy"): d/dd/ddd/dddd day, m/mm/mmm/mmmm month (minutes right after an
// hour), yy/yyyy year, h/hh, n/nn, s/ss, z/zzz, "/" and ":" are the separators of the
// settings, text in quotes is copied.
QString FormatDateTimeText(const QString& pattern, const QDateTime& value,
                           const TFormatSettings& settings = AppFormatSettings);
