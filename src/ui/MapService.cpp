#include "ui/MapService.h"

#include "core/Bugs.h"
#include "core/Config.h"
#include "core/ServiceTrust.h"
#include "db/uDB.h"
#include "records/PropertyTexts.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRandomGenerator>
#include <QTimer>
#include <QUrl>

#include <nlohmann/json.hpp>

using namespace Qt::StringLiterals;
using json = nlohmann::ordered_json;

namespace {

const QString kGeocodePath = u"/6.2/geocode.json"_s;
const QString kImagePath = u"/mia/1.6/mapview"_s;
constexpr int kTimeoutMs = 20000;

QString FromEnv(const char* name, const QString& fallback)
{
    const QByteArray value = qgetenv(name);
    return value.trimmed().isEmpty() ? fallback : QString::fromUtf8(value).trimmed();
}

QString ServiceHost()
{
    const QUrl url(Config::ServiceUrl());
    return url.scheme() + u"://"_s + url.authority();
}

QString WithoutSlash(QString url)
{
    while (url.endsWith(u'/'))
        url.chop(1);
    return url;
}

// The map service sees two common browsers rather than one program.
QByteArray UserAgent()
{
    return QRandomGenerator::global()->bounded(2) == 0
               ? QByteArrayLiteral("Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; Trident/5.0)")
               : QByteArrayLiteral("Mozilla/5.0 (Windows NT 6.1; rv:31.0) Gecko/20100101 Firefox/31.0");
}

bool HttpGet(const QString& address, QByteArray& body, QString& error)
{
    QNetworkAccessManager manager;
    QNetworkRequest request{QUrl(address)};
    request.setHeader(QNetworkRequest::UserAgentHeader, UserAgent());
    request.setTransferTimeout(kTimeoutMs);
    ApplyServiceTrust(request);
    QNetworkReply* reply = manager.get(request);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    body = reply->readAll();
    error = reply->error() == QNetworkReply::NoError ? QString() : reply->errorString();
    if (error.isEmpty() && status != 200)
        error = u"HTTP %1"_s.arg(status);
    reply->deleteLater();
    return error.isEmpty();
}

// The first member of that name anywhere in the document, in document order.
const json* FindFirst(const json& node, const char* key)
{
    if (node.is_object()) {
        for (auto it = node.begin(); it != node.end(); ++it) {
            if (it.key() == key)
                return &it.value();
            if (const json* found = FindFirst(it.value(), key))
                return found;
        }
    } else if (node.is_array()) {
        for (const json& item : node)
            if (const json* found = FindFirst(item, key))
                return found;
    }
    return nullptr;
}

QString AsText(const json* value)
{
    if (!value || value->is_null())
        return {};
    if (value->is_string())
        return QString::fromStdString(value->get<std::string>()).trimmed();
    if (value->is_primitive())
        return QString::fromStdString(value->dump()).trimmed();
    return {};
}

} // namespace

namespace MapConfig {
QString GeocodeBaseUrl()
{
    return WithoutSlash(FromEnv("KORVEL_MAP_GEOCODE_URL", ServiceHost()));
}
QString ImageBaseUrl()
{
    return WithoutSlash(FromEnv("KORVEL_MAP_IMAGE_URL", ServiceHost()));
}
QString AppId()
{
    return FromEnv("KORVEL_MAP_APP_ID", u"KrvMapDemo7Q2xT9bLw4"_s);
}
QString AppCode()
{
    return FromEnv("KORVEL_MAP_APP_CODE", u"kv-9fT2mQ7xW4rZ8nB1-cD"_s);
}
} // namespace MapConfig

TGeocodeQuery GeocodeQueryFor(const TResultSet& row)
{
    TGeocodeQuery q;
    q.country = PropText(row, u"Pais_Nombre"_s);
    const QString province = PropText(row, u"Prov_Nombre"_s), partido = PropText(row, u"Part_Nombre"_s),
                  locality = PropText(row, u"Loc_Nombre"_s), zone = PropText(row, u"Zon_Nombre"_s);
    const qint64 part = PropInteger(row, u"Part_Codigo"_s);
    static const QList<qint64> interPartidos = {628, 630, 632, 633, 634, 639, 642, 643, 645, 646, 647};
    if (PropInteger(row, u"Pais_Codigo"_s) == 3) {
        q.city = partido;
        q.district = locality;
    } else if (PropInteger(row, u"Prov_Codigo"_s) == 12) {
        q.state = u"Ciudad Autónoma de Buenos Aires"_s;
        q.city = u"Ciudad de Buenos Aires"_s;
    } else if (part == 635 || part == 627) {
        q.state = province;
        q.city = zone;
    } else if (interPartidos.contains(part)) {
        q.state = QString(province).remove(u"Partidos Inter. "_s);
        q.city = zone;
    } else if (PropInteger(row, u"Loc_Codigo"_s) == 21) {
        q.state = province;
        q.county = u"San Isidro"_s;
    } else {
        q.state = province;
        q.city = locality;
    }
    if (PropInteger(row, u"Barrio_Codigo"_s) <= 0) {
        q.street = ReorderStreetName(PropText(row, u"Calle_Nombre"_s));
        q.houseNumber = PropText(row, u"Prop_Numero"_s);
    }
    return q;
}

QString GeocodeUrl(const TGeocodeQuery& q)
{
    QString url = MapConfig::GeocodeBaseUrl() + kGeocodePath + u"?app_id="_s + MapConfig::AppId() + u"&app_code="_s +
                  MapConfig::AppCode() + u"&gen=8&maxresults=1&country="_s + q.country;
    const std::pair<const char*, const QString*> optional[] = {
        {"&state=", &q.state},       {"&county=", &q.county}, {"&city=", &q.city},
        {"&district=", &q.district}, {"&street=", &q.street}, {"&housenumber=", &q.houseNumber}};
    for (const auto& [key, value] : optional)
        if (!value->isEmpty())
            url += QString::fromLatin1(key) + *value;
    // The service reads a blank as "+"; nothing else is encoded here.
    return url.replace(u' ', u'+');
}

TGeocodeResult ParseGeocodeAnswer(const QByteArray& body)
{
    TGeocodeResult result;
    try {
        const json doc = json::parse(body.constData(), body.constData() + body.size());
        if (const json* position = FindFirst(doc, "DisplayPosition")) {
            result.latitude = AsText(FindFirst(*position, "Latitude"));
            result.longitude = AsText(FindFirst(*position, "Longitude"));
        }
        result.exact = AsText(FindFirst(doc, "MatchLevel")).compare(u"housenumber"_s, Qt::CaseInsensitive) == 0;
        if (const json* address = FindFirst(doc, "Address"))
            result.label = AsText(FindFirst(*address, "Label"));
        result.district = AsText(FindFirst(doc, "District"));
    } catch (const std::exception& e) {
        WriteLog(u"$8015"_s, QString::fromUtf8(e.what()));
        return {};
    }
    result.ok = !result.label.isEmpty() && !result.latitude.isEmpty() && !result.longitude.isEmpty();
    return result;
}

TGeocodeResult Geocode(const TGeocodeQuery& query)
{
    QByteArray body;
    QString error;
    if (!HttpGet(GeocodeUrl(query), body, error)) {
        WriteLog(u"$8015"_s, error);
        return {};
    }
    return ParseGeocodeAnswer(body);
}

QString StaticMapUrl(const QString& latitude, const QString& longitude)
{
    return MapConfig::ImageBaseUrl() + kImagePath + u"?app_id="_s + MapConfig::AppId() + u"&app_code="_s +
           MapConfig::AppCode() + u"&c="_s + latitude + u',' + longitude +
           u"&z=16&f=1&t=0&style=flame&w=1492&h=711&nodot&ml=spa"_s;
}

QImage FetchStaticMap(const QString& latitude, const QString& longitude)
{
    QByteArray body;
    QString error;
    if (!HttpGet(StaticMapUrl(latitude, longitude), body, error)) {
        WriteLog(u"$8016"_s, error);
        return {};
    }
    return QImage::fromData(body);
}

QString SearchMapUrl(const QString& coordinates)
{
    return u"https://www.google.com/maps?q="_s + QString::fromLatin1(QUrl::toPercentEncoding(coordinates));
}

QString DirectionsMapUrl(const QString& coordinates)
{
    return FromEnv("KORVEL_MAP_WEB_URL", u"https://wego.here.com"_s) + u"/directions/drive/Propiedad:"_s + coordinates +
           u"?map="_s + coordinates + u",19,satellite"_s;
}
