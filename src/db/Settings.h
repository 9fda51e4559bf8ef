#pragma once

#include <QString>

// Columns of the installation's settings row (table W_System) that the client reads and
// writes by name. Every setting the program uses is named here and nowhere else.
namespace Setting {

using namespace Qt::StringLiterals;

// "1"/"0": trim label texts that do not fit (read at launch).
inline const QString LabelTrimming = u"Sys_LabelTrimming"_s;

} // namespace Setting
