#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

class TMasterStore;

// The service's own stand-in for the public map service: a geocoder that places an address
// at the listings it knows in that place, and a drawn street map with a marker.

// The credentials the stand-in accepts; a client configured otherwise is refused.
namespace MapCredentials {
inline const QString AppId = QStringLiteral("KrvMapDemo7Q2xT9bLw4");
inline const QString AppCode = QStringLiteral("kv-9fT2mQ7xW4rZ8nB1-cD");
} // namespace MapCredentials

struct TMapAnswer {
    int status = 200;
    QByteArray body;
    QByteArray contentType;
};

// GET /6.2/geocode.json with the query parameters already decoded.
TMapAnswer GeocodeAnswer(TMasterStore& store, const QMap<QString, QString>& query);
// GET /mia/1.6/mapview: a PNG of the place at c=lat,lon.
TMapAnswer MapViewAnswer(const QMap<QString, QString>& query);
