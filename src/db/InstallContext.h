#pragma once

#include "core/ErrorReport.h"
#include "core/InstallState.h"

// Reads the agency number and the last synchronisation time from the settings row.
// False (context unchanged) when the agency number cannot be read; a missing or
// unreadable synchronisation time counts as never.
bool LoadInstallContext();

// The error report's view of the open database: the agency's name and the settings it
// quotes; empty texts while no database is open. OpenDatabase installs it in core.
TErrorReportData ErrorReportDataFromDatabase(int agency);
