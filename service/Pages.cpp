#include "service/Pages.h"

#include "service/MasterStore.h"
#include "service/ServiceText.h"

#include <QUrlQuery>

#include <cmath>

using namespace Qt::StringLiterals;
using namespace ServiceText;

namespace {

QString Html(const QString& text)
{
    return text.toHtmlEscaped().replace(u'\n', u"<br>"_s);
}

const char* const kStyle =
    "<style>body{font-family:Georgia,serif;margin:2em auto;max-width:60em;color:#222}"
    "h1{font-size:1.5em}h2{font-size:1.15em;margin-bottom:.2em}table{border-collapse:collapse;width:100%}"
    "td,th{border-bottom:1px solid #ccc;padding:.3em;text-align:left;vertical-align:top}"
    ".ficha{border-bottom:1px solid #999;padding:1em 0}.fotos img{height:120px;margin:.2em}"
    ".pie{color:#777;font-size:.85em;margin-top:2em}</style>";

QString Document(const QString& title, const QString& body)
{
    return u"<!DOCTYPE html><html lang=\"es\"><head><meta charset=\"utf-8\"><title>"_s + Html(title) + u"</title>"_s +
           QString::fromLatin1(kStyle) + u"</head><body>"_s + body +
           u"<p class=\"pie\">Vodadez Interinmobiliario Korvel</p></body></html>"_s;
}

// What a page shows of a listing; the exact address only where its agency publishes it.
struct TListing {
    qint64 code = 0;
    int agency = 0;
    QString type, operation, locality, address, currency, description, agencyName, agencyPhone, agencyEmail;
    double price = 0, covered = 0, land = 0;
    int bedrooms = 0, baths = 0;
    bool isPublic = false, current = false;
};

std::optional<TListing> LoadListing(TServiceDb& db, qint64 code)
{
    TStatement s(db.Handle(), uR"(SELECT p.`Prop_Codigo`, p.`Inmo_Codigo`, e.`Edif_Nombre`, si.`Situ_Nombre`,
        l.`Loc_Nombre`, c.`Calle_Nombre`, p.`Prop_Numero`, p.`publicarDireccion`, m.`Moneda_Simbolo`, p.`Prop_Precio`,
        p.`Prop_SupCub`, p.`Prop_SupTno`, p.`Prop_Dorm`, p.`Prop_Banos`, p.`Prop_Descripcion`, i.`Inmo_Nombre`,
        i.`Inmo_Te`, i.`Inmo_email`, p.`Prop_Publica`, p.`Prop_Estado`
        FROM `W_Propiedades` p LEFT JOIN `W_Edificaciones` e ON e.`Edif_Codigo`=p.`Edif_Codigo`
        LEFT JOIN `W_Situaciones` si ON si.`Situ_Codigo`=p.`Situ_Codigo`
        LEFT JOIN `W_Localidades` l ON l.`Loc_Codigo`=p.`Loc_Codigo`
        LEFT JOIN `W_Calles` c ON c.`Calle_Codigo`=p.`Calle_Codigo`
        LEFT JOIN `W_Monedas` m ON m.`Moneda_Codigo`=p.`Moneda_Codigo`
        LEFT JOIN `W_Inmobiliarias` i ON i.`Inmo_Codigo`=p.`Inmo_Codigo`
        WHERE p.`Prop_Codigo`=?;)"_s);
    s.Bind(code);
    if (!s.Step())
        return std::nullopt;
    TListing l;
    l.code = s.Int(0);
    l.agency = int(s.Int(1));
    l.type = s.Text(2);
    l.operation = s.Text(3);
    l.locality = s.Text(4);
    // Streets are kept as "Surname, Given name"; people read them the other way round.
    QString street = s.Text(5);
    if (street.contains(u", "_s))
        street = street.section(u", "_s, 1) + u' ' + street.section(u", "_s, 0, 0);
    if (s.Int(7) == 1 && !street.isEmpty())
        l.address = (street + u' ' + s.Text(6)).trimmed();
    l.currency = s.Text(8);
    l.price = s.Real(9);
    l.covered = s.Real(10);
    l.land = s.Real(11);
    l.bedrooms = int(s.Int(12));
    l.baths = int(s.Int(13));
    l.description = s.Text(14);
    l.agencyName = s.Text(15);
    l.agencyPhone = s.Text(16);
    l.agencyEmail = s.Text(17);
    l.isPublic = s.Int(18) == 1;
    l.current = s.Int(19) == 2;
    return l;
}

QString Headline(const TListing& l)
{
    QString text = Code(l.code) + u" - "_s + l.type + u" - "_s + l.operation;
    if (!l.locality.isEmpty())
        text += u" - "_s + l.locality;
    return text;
}

QString PriceText(const TListing& l)
{
    return l.price > 0 ? l.currency + u' ' + Thousands(std::llround(l.price)) : u"Consultar"_s;
}

QString Figures(const TListing& l)
{
    QStringList parts;
    if (l.covered > 0)
        parts << u"%1 m² cubiertos"_s.arg(Thousands(std::llround(l.covered)));
    if (l.land > 0)
        parts << u"%1 m² de terreno"_s.arg(Thousands(std::llround(l.land)));
    if (l.bedrooms > 0)
        parts << u"%1 dormitorio%2"_s.arg(l.bedrooms).arg(l.bedrooms == 1 ? QString() : u"s"_s);
    if (l.baths > 0)
        parts << u"%1 baño%2"_s.arg(l.baths).arg(l.baths == 1 ? QString() : u"s"_s);
    return parts.join(u" · "_s);
}

QString PhotoTags(TServiceDb& db, qint64 code, int limit)
{
    QString html;
    TStatement s(db.Handle(), u"SELECT `Foto_Codigo` FROM `W_Fotos` WHERE `Prop_Codigo`=? "
                              u"ORDER BY `Foto_Orden`, `Foto_Codigo` LIMIT ?;"_s);
    s.BindAll({code, limit});
    while (s.Step())
        html += u"<img src=\"/foto/%1/%2.jpg\" alt=\"\">"_s.arg(code).arg(s.Int(0));
    return html.isEmpty() ? html : u"<div class=\"fotos\">"_s + html + u"</div>"_s;
}

} // namespace

QString PropertyPage(TMasterStore& store, qint64 code)
{
    const std::optional<TListing> l = LoadListing(store.Db(), code);
    if (!l || !l->isPublic || !l->current)
        return {};
    QString body = u"<h1>"_s + Html(Headline(*l)) + u"</h1>"_s;
    if (!l->address.isEmpty())
        body += u"<p>"_s + Html(l->address) + u"</p>"_s;
    body += u"<p><b>"_s + Html(PriceText(*l)) + u"</b> "_s + Html(Figures(*l)) + u"</p>"_s;
    body += PhotoTags(store.Db(), code, 8);
    body += u"<p>"_s + Html(l->description) + u"</p>"_s;
    body +=
        u"<p>"_s + Html(l->agencyName) + u" · "_s + Html(l->agencyPhone) + u" · "_s + Html(l->agencyEmail) + u"</p>"_s;
    return Document(Headline(*l), body);
}

QString ReportPage(TMasterStore& store, const QString& token)
{
    TServiceDb& db = store.Db();
    TStatement r(db.Handle(), u"SELECT r.`Rep_Asunto`, r.`Rep_Cuerpo`, r.`Rep_Opciones`, r.`Rep_Propiedades`, "
                              u"r.`Inmo_Codigo`, i.`Inmo_Nombre`, i.`Inmo_Domicilio`, i.`Inmo_Te`, i.`Inmo_email`, "
                              u"i.`Inmo_website`, r.`Rep_Fecha` FROM `S_Reportes` r LEFT JOIN `W_Inmobiliarias` i "
                              u"ON i.`Inmo_Codigo`=r.`Inmo_Codigo` WHERE r.`Rep_Token`=?;"_s);
    r.Bind(token);
    if (!r.Step())
        return {};
    const QUrlQuery options(r.Text(2));
    const bool card = options.queryItemValue(u"t"_s) == u"1"_s;
    const bool full = options.queryItemValue(u"o1"_s) == u"1"_s, described = options.queryItemValue(u"o2"_s) == u"1"_s;
    const bool photos = options.queryItemValue(u"o3"_s) == u"1"_s,
               agencyData = options.queryItemValue(u"o4"_s) == u"1"_s;
    const bool logo = options.queryItemValue(u"o5"_s) == u"1"_s;
    const int agency = int(r.Int(4));
    const QString title = r.Text(0).isEmpty() ? u"Reporte de propiedades"_s : r.Text(0);

    QString body;
    if (logo)
        body += u"<p><img src=\"/logo/%1.png\" alt=\"\" style=\"max-height:80px\"></p>"_s.arg(agency);
    body += u"<h1>"_s + Html(title) + u"</h1>"_s;
    if (agencyData)
        body += u"<p>"_s + Html(r.Text(5)) + u"<br>"_s + Html(r.Text(6)) + u" | "_s + Html(r.Text(7)) + u"<br>"_s +
                Html(r.Text(8)) + u" | "_s + Html(r.Text(9)) + u"</p>"_s;
    if (!r.Text(1).isEmpty())
        body += u"<p>"_s + Html(r.Text(1)) + u"</p>"_s;

    QString rows;
    for (const QString& item : r.Text(3).split(u',', Qt::SkipEmptyParts)) {
        const std::optional<TListing> l = LoadListing(db, item.toLongLong());
        // Gone from the service, or made private by its agency, since the report was made.
        if (!l || (l->agency != agency && !l->isPublic))
            continue;
        if (!card) {
            rows += u"<tr><td>%1</td><td>%2</td><td>%3</td><td>%4</td><td>%5</td></tr>"_s.arg(
                Code(l->code), Html(l->type + u" - "_s + l->operation), Html(l->locality), Html(Figures(*l)),
                Html(PriceText(*l)));
            continue;
        }
        rows += u"<div class=\"ficha\"><h2>"_s + Html(Headline(*l)) + u"</h2>"_s;
        if (!l->address.isEmpty())
            rows += u"<p>"_s + Html(l->address) + u"</p>"_s;
        rows += u"<p><b>"_s + Html(PriceText(*l)) + u"</b> "_s + Html(Figures(*l)) + u"</p>"_s;
        if (photos && l->isPublic)
            rows += PhotoTags(db, l->code, full || described ? 4 : 1);
        const QString description = l->description;
        rows += u"<p>"_s + Html(full || described ? description : description.left(300)) + u"</p>"_s;
        if (agencyData && l->agency != agency)
            rows += u"<p>"_s + Html(l->agencyName + u" | "_s + l->agencyPhone) + u"</p>"_s;
        rows += u"</div>"_s;
    }
    if (!card)
        rows = u"<table><tr><th>Código</th><th>Tipo</th><th>Localidad</th><th>Superficies</th><th>Precio</th></tr>"_s +
               rows + u"</table>"_s;
    body += rows;
    return Document(title, body);
}

bool PhotoIsPublic(TMasterStore& store, qint64 property, qint64 photo)
{
    return store.Db()
        .Scalar(u"SELECT 1 FROM `W_Fotos` f JOIN `W_Propiedades` p ON p.`Prop_Codigo`=f.`Prop_Codigo` "
                u"WHERE f.`Foto_Codigo`=? AND f.`Prop_Codigo`=? AND p.`Prop_Publica`=1;"_s,
                {photo, property})
        .isValid();
}
