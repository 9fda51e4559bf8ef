#pragma once

#include <QList>
#include <QString>

// One client of the agency as the combo boxes offer it.
struct TClientEntry {
    int Code = 0;
    QString Name;
};

// The agency's clients that are not deleted, by name; false when they cannot be read.
bool LoadClientList(int agencyCode, QList<TClientEntry>& clients);
