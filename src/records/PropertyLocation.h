#pragma once

#include <QList>
#include <QString>

// The location of an own property as the location dialog chooses it.
struct TLocationCodes {
    int Country = 0, Province = 0, District = 0, Locality = 0, Zone = 0;
    int Street = 0, Neighbourhood = 0;
    // Country, province, district and locality, and the street or the neighbourhood.
    bool Complete() const
    {
        return Country > 0 && Province > 0 && District > 0 && Locality > 0 && (Street > 0 || Neighbourhood > 0);
    }
};

// One entry of the dialog's first list: a locality path, or a zone below it.
struct TLocationEntry {
    QString Text;
    int Country = 0, Province = 0, District = 0, Locality = 0, Zone = 0;
    // "country;province;district;locality;zone"
    QString Codes() const;
};

// One street or gated neighbourhood.
struct TPlaceEntry {
    QString Text;
    int Code = 0;
};

constexpr int kMinLocationKeyword = 3;
constexpr int kMissingAddressCode = 787;

// The keyword as it is searched: general text only, without accents, lower case, trimmed.
QString LocationKeyword(const QString& typed);

// "$2075": "*No Definida" first, then each locality path whose names contain the keyword
// once, and below it one entry per zone. The keyword finds what it says: quotes, "%" and
// "_" are plain characters. False when the query cannot run.
bool SearchLocations(const QString& typed, QList<TLocationEntry>& entries);
// "$2076" / "$2077": "FALTA DIRECCION" (787) first, then the streets or gated
// neighbourhoods whose accent-free name contains the keyword, by that name.
bool SearchPlaces(const QString& typed, bool neighbourhoods, QList<TPlaceEntry>& entries);
// "$2080": the names of country, province, district, locality and zone joined by " > ",
// undefined names left out; "*No Definida" when nothing remains.
QString LocationDisplayPath(const TLocationCodes& codes);
// The name of the street or the neighbourhood; empty when unknown.
QString PlaceName(int code, bool neighbourhood);
