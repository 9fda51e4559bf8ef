#include "ui/ResultList.h"

#include "core/MiscFunc.h"
#include "db/Settings.h"
#include "db/uDB.h"
#include "ui/TfrmMain.h"

#include <QStringList>

#include <algorithm>

using namespace Qt::StringLiterals;

TListFamily FamilyOfMode(int mode)
{
    switch (mode) {
    case TRMAmpliado:
    case TRMResumido:
    case TRMSrchAmpliado:
    case TRMSrchResumido:
        return TListFamily::Search;
    case TRMOwnAmpliado:
    case TRMOwnResumido:
        return TListFamily::Own;
    case TRMMarkAmpliado:
    case TRMMarkResumido:
        return TListFamily::Marks;
    case TRMSelecciones:
        return TListFamily::Selections;
    case TRMSelecPropAmpliado:
    case TRMSelecPropResumido:
        return TListFamily::SelectionProperties;
    default:
        return TListFamily::None;
    }
}

bool IsExpandedMode(int mode)
{
    return mode == TRMAmpliado || mode == TRMOwnAmpliado || mode == TRMSrchAmpliado || mode == TRMMarkAmpliado ||
           mode == TRMSelecPropAmpliado;
}

int ModeForNewList(TListFamily family, const QString& setting)
{
    const bool expanded = setting == u"1"_s;
    if (!expanded && setting != u"0"_s)
        return TRMNone;
    switch (family) {
    case TListFamily::Search:
        return expanded ? TRMAmpliado : TRMResumido;
    case TListFamily::Marks:
        return expanded ? TRMMarkAmpliado : TRMMarkResumido;
    case TListFamily::SelectionProperties:
        return expanded ? TRMSelecPropAmpliado : TRMSelecPropResumido;
    case TListFamily::Own:
        return expanded ? TRMOwnAmpliado : TRMOwnResumido;
    default:
        return TRMNone;
    }
}

QString PresentationSetting()
{
    const QString setting = ReadSetting(Setting::ListExpanded);
    return setting == u"True"_s ? u"1"_s : setting == u"False"_s ? u"0"_s : setting;
}

int SwitchedMode(int mode, bool toExpanded, bool hasMarks)
{
    static const std::pair<int, int> pairs[] = {{TRMResumido, TRMAmpliado},
                                                {TRMOwnResumido, TRMOwnAmpliado},
                                                {TRMSrchResumido, TRMSrchAmpliado},
                                                {TRMMarkResumido, TRMMarkAmpliado},
                                                {TRMSelecPropResumido, TRMSelecPropAmpliado}};
    for (const auto& [summary, expanded] : pairs) {
        const int from = toExpanded ? summary : expanded;
        const int to = toExpanded ? expanded : summary;
        if (mode != from)
            continue;
        if (from == TRMMarkResumido || from == TRMMarkAmpliado)
            return hasMarks ? to : mode;
        return to;
    }
    return mode;
}

QString RowFailedMessage(int mode)
{
    const QString pattern = u"Error al cargar el listado. [CODE %1]"_s;
    if (mode == TRMOwnAmpliado)
        return pattern.arg(u"L03"_s);
    if (mode == TRMOwnResumido || mode == TRMSelecciones)
        return pattern.arg(u"L04"_s);
    return pattern.arg(IsExpandedMode(mode) ? u"L01"_s : u"L02"_s);
}

int CeilDiv(qint64 a, qint64 b)
{
    if (b == 0)
        return 0;
    return int(a / b + (a % b != 0 ? 1 : 0));
}

int PageCount(qint64 rows, int pageSize)
{
    return CeilDiv(rows, pageSize);
}

TPageStrip PageStripWindow(int page, int pages, int numbers)
{
    TPageStrip strip;
    strip.visible = pages > 0 && pages < 1000;
    if (!strip.visible)
        return strip;
    const int span = std::clamp(numbers, 1, 15) - 1;
    strip.first = std::max(1, page - span / 2);
    strip.last = strip.first + span;
    if (strip.last > pages) {
        strip.last = pages;
        strip.first = std::max(1, strip.last - span);
    }
    return strip;
}

QString OrderByClause(const QString& key, bool descending)
{
    const QString d = descending ? u"DESC"_s : u"ASC"_s;
    if (key == u"Codigo"_s)
        return u"ORDER BY `W_Propiedades`.`Prop_Codigo` "_s + d;
    if (key == u"Edificacion"_s)
        return u"ORDER BY `W_Edificaciones`.`Edif_Nombre` %1, `Prop_PrecioPesos` %1"_s.arg(d);
    if (key == u"Situacion"_s)
        return u"ORDER BY `W_Situaciones`.`Situ_Nombre` %1, `Prop_PrecioPesos` %1"_s.arg(d);
    if (key == u"Ubicacion"_s)
        return u"ORDER BY `W_Localidades`.`Loc_Nombre` %1, `W_Zonas`.`Zon_Nombre` %1, `Prop_PrecioPesos` %1"_s.arg(d);
    if (key == u"Domicilio"_s)
        return u"ORDER BY `W_Calles`.`Calle_Nombre` %1, `W_Barrios`.`Barrio_Nombre` %1, "
               u"`W_Propiedades`.`Prop_Numero` %1, `Prop_PrecioPesos` %1"_s.arg(d);
    if (key == u"SupTno"_s)
        return u"ORDER BY `W_Propiedades`.`Prop_SupTno` %1, `Prop_PrecioPesos` %1"_s.arg(d);
    if (key == u"SupCub"_s)
        return u"ORDER BY `W_Propiedades`.`Prop_SupCub` %1, `Prop_PrecioPesos` %1"_s.arg(d);
    if (key == u"Precio"_s)
        return u"ORDER BY `Prop_PrecioPesos` "_s + d;
    if (key == u"Selec_Nombre"_s)
        return u"ORDER BY `Selec_Nombre` "_s + d;
    if (key == u"Cliente"_s)
        return u"ORDER BY `Cli_Nombre` "_s + d;
    if (key == u"Creador"_s)
        return u"ORDER BY `W_Usuarios`.`Usuario_Nombre` "_s + d;
    if (key == u"FechaAlta"_s)
        return u"ORDER BY `Selec_FechaAlta` "_s + d;
    if (key == u"FechaMod"_s)
        return u"ORDER BY `Selec_FechaMod` "_s + d;
    return {};
}

bool NextDescending(const TAppQuery& state, const QString& key)
{
    return key == state.SortKey && !state.Descending;
}

QString OwnFastFilterCondition(int index, int userCode)
{
    const QString active = u"`W_Propiedades`.`Prop_Estado` = 2 AND `W_Propiedades`.`StandBy_Codigo` = 1 "_s;
    const auto kind = [&](const char* codes) {
        return u"`W_Propiedades`.`Edif_Codigo` IN (%1) AND "_s.arg(QString::fromLatin1(codes)) + active;
    };
    switch (index) {
    case 1:
        return active;
    case 2:
        return active + u" AND `W_Propiedades`.`Prop_Publica` = 1 "_s;
    case 3:
        return u"`W_Propiedades`.`Prop_Estado` = 2 "_s;
    case 4:
        return u"`W_Propiedades`.`Prop_Estado` = 2 AND `W_Propiedades`.`StandBy_Codigo` IN (2,3,4) "_s;
    case 5:
        return u"`W_Propiedades`.`Prop_Estado` = 1 "_s;
    case 6:
        return u"(`W_Propiedades`.`Prop_Estado` = 1 OR (`W_Propiedades`.`Prop_Estado` = 2 AND "
               u"`W_Propiedades`.`StandBy_Codigo` IN (2,3,4))) "_s;
    case 7:
        return u"`W_Propiedades`.`Prop_Publica` = 0 "_s;
    case 8:
        return u"`W_Propiedades`.`Prop_Vendedor`=%1 "_s.arg(userCode);
    case 9:
        return u"`W_Propiedades`.`Sync_Tipo` IN (\"AM\", \"B\") "_s;
    case 10:
        return kind("1, 22");
    case 11:
        return kind("5, 15");
    case 12:
        return kind("28, 25, 31");
    case 13:
        return kind("3, 23");
    case 14:
        return kind("6");
    case 15:
        return kind("2, 16, 26, 14");
    default:
        return {};
    }
}

QString OwnPropertiesWhere(int agencyCode, int fastFilterIndex, int userCode)
{
    const QString condition = OwnFastFilterCondition(fastFilterIndex, userCode);
    return u"WHERE `W_Propiedades`.`Inmo_Codigo`=%1 %2"_s.arg(QString::number(agencyCode),
                                                              condition.isEmpty() ? QString() : u" AND "_s + condition);
}

namespace {

QString CodeList(const QList<qint64>& codes)
{
    if (codes.isEmpty())
        return u"0"_s;
    QStringList texts;
    texts.reserve(codes.size());
    for (qint64 code : codes)
        texts << QString::number(code);
    return texts.join(u',');
}

} // namespace

QString MarkedPropertiesWhere(const QList<qint64>& codes)
{
    return u"WHERE `W_Propiedades`.`Prop_Codigo` IN (%1) AND `W_Propiedades`.`Prop_estado`<>1 "_s.arg(CodeList(codes));
}

QString SelectionPropertiesWhere(const QList<qint64>& codes)
{
    return u"WHERE `W_Propiedades`.`Prop_Codigo` IN (%1) "_s.arg(CodeList(codes));
}

QString ListCountText(int mode, qint64 count)
{
    if (mode == TRMSelecciones)
        return PluralText(u"%s registro "_s, u"%s registros "_s, count);
    return PluralText(u"%s propiedad "_s, u"%s propiedades "_s, count);
}

QString PageLabelText(int page, int pages)
{
    return u"Página: %1 / %2"_s.arg(page).arg(pages);
}
