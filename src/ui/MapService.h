#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

class TResultSet;

// The public map service the card asks for a property's position and a picture of it.
// Hosts and credentials are configuration: KORVEL_MAP_GEOCODE_URL and KORVEL_MAP_IMAGE_URL
// (scheme and host, the service's paths are added), KORVEL_MAP_APP_ID and
// KORVEL_MAP_APP_CODE. Without them the client asks korvel-service on the host of the
// synchronisation endpoint, which answers in the map service's own form.
namespace MapConfig {
QString GeocodeBaseUrl();
QString ImageBaseUrl();
QString AppId();
QString AppCode();
} // namespace MapConfig

// What the geocoder is told about a place; empty values are not sent.
struct TGeocodeQuery {
    QString country, state, county, city, district, street, houseNumber;
};

// The place of the current property row as the geocoder understands it. A property in a
// gated neighbourhood sends neither street nor number: only the place is asked for.
TGeocodeQuery GeocodeQueryFor(const TResultSet& row);
QString GeocodeUrl(const TGeocodeQuery& query);

struct TGeocodeResult {
    bool ok = false;
    QString latitude, longitude; // as the service wrote them
    QString label;               // the address it found
    QString district;
    bool exact = false; // matched down to the house number
};
// Reads the first position, match level, address label and district of the answer.
TGeocodeResult ParseGeocodeAnswer(const QByteArray& body);
// Asks the service; any transport failure is a failed lookup.
TGeocodeResult Geocode(const TGeocodeQuery& query);

QString StaticMapUrl(const QString& latitude, const QString& longitude);
// The map picture around the position; a null image when it cannot be had.
QImage FetchStaticMap(const QString& latitude, const QString& longitude);

// Browser links for a "lat,lon" text.
QString SearchMapUrl(const QString& coordinates);
QString DirectionsMapUrl(const QString& coordinates);
