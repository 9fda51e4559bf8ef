#pragma once

#include <QString>

// Offers a build of the client as the update: the file is copied into
// <data>/program/<platform>/ (replacing whatever was offered there) and
// <data>/program/version.txt gets the version on its first line and the change log below.
// The version is numbers separated by "."; a client older than it downloads the file.
bool PublishProgram(const QString& dataFolder, const QString& platform, const QString& programFile,
                    const QString& version, const QString& changeLog, QString* error);
