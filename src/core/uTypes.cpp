#include "core/uTypes.h"

TPaths Paths;
TFormatSettings AppFormatSettings;

bool SyncInProgress = false;
bool ForceClose = false;
bool CloseAfterSync = false;
bool SkipAutoSync = false;
bool SyncEnabled = false;
bool StartupSyncPending = false;
bool LabelTrimming = true;

TSessionUser CurrentUser;
