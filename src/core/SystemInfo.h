#pragma once

#include <QString>

// What the program tells the service about the machine it runs on. Every function
// answers "Unknown" (or 0) rather than failing.
QString PlatformName();
QString ArchitectureName();
double OsVersionNumber();
QString OsDescription();
QString OsDescriptionShort(int length);
bool IsWine();
QString OsUserName();
QString ComputerName();
QString ScreenSizeText();
