#pragma once

#include <QString>

// Whether a file is a copy of this program (the only kind the hand-over and the update
// may delete). Kept in its own file so that only programs which ask carry the marker.
bool IsProgramCopy(const QString& path);
