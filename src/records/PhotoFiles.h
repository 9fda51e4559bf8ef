#pragma once

#include <QString>
#include <QtGlobal>

// PhotoFolder + agency (4 digits) + "/w_" + property + "_" + photo + ".jpg". The agency
// is ours for local properties, else the one given, else the property code's.
QString PhotoFileName(qint64 propertyCode, qint64 photoCode, int agency = -1);
// The agency whose folder a photo file belongs in; -1 when the name is not a photo's.
int AgencyOfPhotoFile(const QString& fileName);

// Photos that got a local code while their property was being edited stay as files and
// rows after the property has been sent: the service gave them their own codes since.
// Removes those rows and their files for the agency's properties that have nothing left to
// send; false when the table cannot be read or changed. count is the number removed.
bool UnlinkSentLocalPhotos(int agencyCode, int& count);

// Removes the rotation side files ("w_*_rot.jpg") left in the agency's photo folder.
int DeleteRotationFiles(int agencyCode);
