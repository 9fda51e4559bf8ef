#pragma once

#include "core/Config.h"
#include "core/uTypes.h"
#include "db/InstallContext.h"
#include "db/uDB.h"
#include "service/Schema.h"

// An installation database with the whole schema and no rows, open as the client opens
// its own, for the agency given (the demo's 7 by default). Needs a TestRoot for the paths.
inline bool OpenEmptyInstallationDatabase(int agency = 7)
{
    if (!CreateDatabaseFile(Paths.DatabaseFile, Config::DatabasePassword) ||
        !OpenDatabase(Paths.DatabaseFile, Config::DatabasePassword, Config::DatabaseDriverId))
        return false;
    try {
        Schema::Create(DB()->Handle());
    } catch (const std::exception&) {
        return false;
    }
    SetCurrentAgencyCode(agency);
    return true;
}
