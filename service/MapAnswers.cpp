#include "service/MapAnswers.h"

#include "service/MasterStore.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDateTime>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <nlohmann/json.hpp>

#include <cmath>
#include <optional>

using namespace Qt::StringLiterals;
using json = nlohmann::ordered_json;

namespace {

std::string Std(const QString& text)
{
    return text.toStdString();
}

TMapAnswer JsonAnswer(int status, const json& body)
{
    return {status, QByteArray::fromStdString(body.dump()), "application/json; charset=utf-8"};
}

// The map service refuses unknown callers the way it answers everything: with a JSON body.
std::optional<TMapAnswer> CheckCredentials(const QMap<QString, QString>& query)
{
    if (query.value(u"app_id"_s) == MapCredentials::AppId && query.value(u"app_code"_s) == MapCredentials::AppCode)
        return std::nullopt;
    json error;
    error["_type"] = "ns2:Error";
    error["type"] = "PermissionError";
    error["subtype"] = "InvalidCredentials";
    error["Details"] = "invalid credentials for " + Std(query.value(u"app_id"_s));
    return JsonAnswer(401, error);
}

struct TPlace {
    double lat = 0, lon = 0;
    QString locality, partido, province;
};

// Where the listings of a named place stand, on average: the service knows its places only
// through the properties placed in them.
std::optional<TPlace> FindPlace(TServiceDb& db, const QString& column, const QString& name, const QString& state)
{
    if (name.trimmed().isEmpty())
        return std::nullopt;
    TStatement st(
        db.Handle(),
        u"SELECT AVG(p.`Prop_Latitud`), AVG(p.`Prop_Longitud`), MIN(l.`Loc_Nombre`), "
        u"MIN(pa.`Part_Nombre`), MIN(pr.`Prov_Nombre`), COUNT(DISTINCT l.`Loc_Codigo`) "
        u"FROM `W_Propiedades` p JOIN `W_Localidades` l ON l.`Loc_Codigo` = p.`Loc_Codigo` "
        u"JOIN `W_Partidos` pa ON pa.`Part_Codigo` = l.`Part_Codigo` "
        u"JOIN `W_Provincias` pr ON pr.`Prov_Codigo` = pa.`Prov_Codigo` "
        u"WHERE %1 = ?1 AND (?2 = '' OR pr.`Prov_Nombre` = ?2) "
        u"AND p.`Prop_Latitud` IS NOT NULL AND p.`Prop_Longitud` IS NOT NULL AND IFNULL(p.`Barrio_Codigo`, 0) = 0"_s
            .arg(column));
    st.Bind(name.trimmed()).Bind(state.trimmed());
    if (!st.Step() || st.IsNull(0) || st.IsNull(1))
        return std::nullopt;
    TPlace place{st.Real(0), st.Real(1), QString(), st.Text(3), st.Text(4)};
    // A partido or a province spans several localities: none of them is the place's name.
    if (st.Int(5) == 1)
        place.locality = st.Text(2);
    return place;
}

// A street address lands somewhere in its locality, always at the same spot.
void PlaceAddress(TPlace& place, const QString& street, const QString& number)
{
    const QByteArray digest =
        QCryptographicHash::hash((street.toLower() + u'|' + number).toUtf8(), QCryptographicHash::Md5);
    const auto unit = [&](int at) {
        const quint32 v = (quint8(digest[at]) << 8) | quint8(digest[at + 1]);
        return v / 65535.0 * 2.0 - 1.0;
    };
    place.lat += unit(0) * 0.012;
    place.lon += unit(2) * 0.012;
}

QString Coordinate(double value)
{
    return QString::number(value, 'f', 6);
}

} // namespace

TMapAnswer GeocodeAnswer(TMasterStore& store, const QMap<QString, QString>& query)
{
    if (auto refused = CheckCredentials(query))
        return *refused;
    const QString country = query.value(u"country"_s).trimmed(), state = query.value(u"state"_s).trimmed(),
                  county = query.value(u"county"_s).trimmed(), city = query.value(u"city"_s).trimmed(),
                  district = query.value(u"district"_s).trimmed(), street = query.value(u"street"_s).trimmed(),
                  number = query.value(u"housenumber"_s).trimmed();
    const QString locality = u"l.`Loc_Nombre`"_s, partido = u"pa.`Part_Nombre`"_s, province = u"pr.`Prov_Nombre`"_s;

    std::optional<TPlace> place;
    QString level, foundDistrict;
    {
        std::lock_guard lock(store.Db().Mutex());
        struct Try {
            const QString& column;
            const QString& name;
            const char* level;
        };
        const Try tries[] = {{locality, district, "district"}, {locality, city, "city"},
                             {locality, county, "county"},     {partido, city, "city"},
                             {partido, county, "county"},      {province, state, "state"}};
        for (const Try& t : tries) {
            place = FindPlace(store.Db(), t.column, t.name, &t.name == &state ? QString() : state);
            if (place) {
                level = QString::fromLatin1(t.level);
                if (&t.name == &district)
                    foundDistrict = place->locality;
                break;
            }
        }
    }

    json response;
    response["MetaInfo"]["Timestamp"] = Std(QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
    response["View"] = json::array();
    if (place) {
        if (!street.isEmpty()) {
            PlaceAddress(*place, street, number);
            level = number.isEmpty() ? u"street"_s : u"houseNumber"_s;
        }
        QStringList pieces;
        if (!street.isEmpty())
            pieces << (number.isEmpty() ? street : street + u' ' + number);
        for (const QString& piece : {place->locality, place->partido, place->province, country})
            if (!piece.isEmpty() && !pieces.contains(piece))
                pieces << piece;
        json address;
        address["Label"] = Std(pieces.join(u", "_s));
        address["Country"] = Std(country);
        address["State"] = Std(place->province);
        address["County"] = Std(place->partido);
        if (!place->locality.isEmpty())
            address["City"] = Std(place->locality);
        if (!foundDistrict.isEmpty())
            address["District"] = Std(foundDistrict);
        if (!street.isEmpty())
            address["Street"] = Std(street);
        if (!number.isEmpty())
            address["HouseNumber"] = Std(number);
        json position;
        position["Latitude"] = std::round(place->lat * 1e6) / 1e6;
        position["Longitude"] = std::round(place->lon * 1e6) / 1e6;
        json location;
        location["LocationId"] = Std(u"KRV-"_s + Coordinate(place->lat) + u'_' + Coordinate(place->lon));
        location["LocationType"] = "point";
        location["DisplayPosition"] = position;
        location["NavigationPosition"] = json::array({position});
        location["Address"] = address;
        json result;
        result["Relevance"] = 1.0;
        result["MatchLevel"] = Std(level);
        result["MatchType"] = number.isEmpty() ? "interpolated" : "pointAddress";
        result["Location"] = location;
        json view;
        view["_type"] = "SearchResultsViewType";
        view["ViewId"] = 0;
        view["Result"] = json::array({result});
        response["View"].push_back(view);
    }
    json body;
    body["Response"] = response;
    return JsonAnswer(200, body);
}

TMapAnswer MapViewAnswer(const QMap<QString, QString>& query)
{
    if (auto refused = CheckCredentials(query))
        return *refused;
    const QStringList centre = query.value(u"c"_s).split(u',');
    bool latOk = false, lonOk = false, zOk = true, wOk = true, hOk = true;
    const double lat = centre.size() == 2 ? centre[0].toDouble(&latOk) : 0;
    const double lon = centre.size() == 2 ? centre[1].toDouble(&lonOk) : 0;
    const int zoom = query.contains(u"z"_s) ? query.value(u"z"_s).toInt(&zOk) : 16;
    const int width = query.contains(u"w"_s) ? query.value(u"w"_s).toInt(&wOk) : 512;
    const int height = query.contains(u"h"_s) ? query.value(u"h"_s).toInt(&hOk) : 512;
    if (!latOk || !lonOk || !zOk || !wOk || !hOk || std::abs(lat) > 85 || std::abs(lon) > 180 || zoom < 1 ||
        zoom > 20 || width < 16 || width > 2048 || height < 16 || height > 2048) {
        json error;
        error["_type"] = "ns2:Error";
        error["type"] = "ApplicationError";
        error["subtype"] = "InvalidParameter";
        error["Details"] = "c, z, w or h out of range";
        return JsonAnswer(400, error);
    }

    // Web Mercator pixels at this zoom, so the streets stay put when the centre moves.
    const double world = 256.0 * std::pow(2.0, zoom);
    const double latRad = lat * M_PI / 180.0;
    const double cx = (lon + 180.0) / 360.0 * world;
    const double cy = (1.0 - std::log(std::tan(latRad) + 1.0 / std::cos(latRad)) / M_PI) / 2.0 * world;
    const double left = cx - width / 2.0, top = cy - height / 2.0;
    const double block = 96.0 * std::pow(2.0, zoom - 16);

    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(0xF2, 0xEF, 0xE9));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const auto blockIndex = [&](double v) { return qint64(std::floor(v / block)); };
    // Blocks: now and then a park, the rest built up.
    for (qint64 bx = blockIndex(left); bx * block < left + width; ++bx)
        for (qint64 by = blockIndex(top); by * block < top + height; ++by) {
            const quint64 mix = quint64(bx) * 73856093ULL ^ quint64(by) * 19349663ULL;
            const QColor fill = mix % 11 == 0 ? QColor(0xC8, 0xE6, 0xC0) : QColor(0xE4, 0xDF, 0xD6);
            p.fillRect(QRectF(bx * block - left + 4, by * block - top + 4, block - 8, block - 8), fill);
        }
    // Streets, every fifth one an avenue.
    for (qint64 bx = blockIndex(left); bx * block < left + width; ++bx) {
        const bool avenue = bx % 5 == 0;
        p.setPen(QPen(avenue ? QColor(0xF9, 0xD9, 0x8C) : Qt::white, avenue ? 10 : 7));
        p.drawLine(QPointF(bx * block - left, 0), QPointF(bx * block - left, height));
    }
    for (qint64 by = blockIndex(top); by * block < top + height; ++by) {
        const bool avenue = by % 5 == 0;
        p.setPen(QPen(avenue ? QColor(0xF9, 0xD9, 0x8C) : Qt::white, avenue ? 10 : 7));
        p.drawLine(QPointF(0, by * block - top), QPointF(width, by * block - top));
    }
    // The marker on the place asked for.
    const QPointF tip(width / 2.0, height / 2.0);
    QPainterPath pin;
    pin.moveTo(tip);
    pin.cubicTo(tip + QPointF(-6, -14), tip + QPointF(-16, -22), tip + QPointF(-16, -34));
    pin.arcTo(QRectF(tip.x() - 16, tip.y() - 50, 32, 32), 180, -180);
    pin.cubicTo(tip + QPointF(16, -22), tip + QPointF(6, -14), tip);
    p.setPen(QPen(QColor(0x8E, 0x10, 0x10), 2));
    p.setBrush(QColor(0xE5, 0x25, 0x25));
    p.drawPath(pin);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(tip.x(), tip.y() - 34), 6, 6);
    QFont font(u"DejaVu Sans"_s);
    font.setPixelSize(12);
    p.setFont(font);
    p.setPen(QColor(0x40, 0x40, 0x40));
    p.drawText(QRectF(8, height - 22, width - 16, 18), Qt::AlignLeft | Qt::AlignVCenter,
               Coordinate(lat) + u", "_s + Coordinate(lon) + u"  z"_s + QString::number(zoom));
    p.end();

    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return {200, png, "image/png"};
}
