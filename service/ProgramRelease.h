#pragma once

#include <QString>

// Offers a build of the client as the update: the file is copied into
// <data>/program/<platform>/ (replacing whatever was offered there) and
// <data>/program/version.txt gets the version on its first line and the change log below.
// The version is numbers separated by "."; a client older than it downloads the file.
// With a release secret key the build is signed (version and exact bytes) and the detached
// signature, in hexadecimal, goes to <data>/program/<platform>.sig; without one the build
// is offered unsigned, and clients refuse it.
bool PublishProgram(const QString& dataFolder, const QString& platform, const QString& programFile,
                    const QString& version, const QString& changeLog, const QByteArray& secretKey, QString* error);

// Where the signature of the build offered for a platform lies.
QString SignatureFilePath(const QString& dataFolder, const QString& platform);
