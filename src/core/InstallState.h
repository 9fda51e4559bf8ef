#pragma once

#include <QDateTime>

// What this installation knows about itself between synchronisations: which agency it
// belongs to and when its data was last brought up to date. The start-up sequence, the
// login and the synchronisation fill it (db/InstallContext.h reads it from the settings
// row); everything that needs "our agency" or "today as far as the data goes" reads it
// from here and nowhere else. The values live in core because the code and date helpers
// depend on them.
struct TInstallContext {
    int AgencyCode = 0;
    // Service time of the last successful import; the "never" date until there is one.
    QDateTime LastSyncTime;
};

// The date the whole system uses for "never" and for absent dates: 1 August 1992, 00:00.
QDateTime NeverDate();

const TInstallContext& InstallContext();
int CurrentAgencyCode();
QDateTime LastSyncTime();

void SetCurrentAgencyCode(int code);
// An invalid or earlier-than-never value is kept as the never date.
void SetLastSyncTime(const QDateTime& value);
// Back to a fresh installation: no agency, never synchronised.
void ResetInstallContext();
