#include "search/StoredSearchText.h"

#include "core/MiscFunc.h"

#include <exception>

using namespace Qt::StringLiterals;

namespace {

const std::array<QString, FilterList::Count> kListNames = {
    u"Ubicacion"_s, u"Edificacion"_s, u"Situacion"_s, u"Estado"_s, u"Inmobiliaria"_s, u"Pais"_s,
    u"Provincia"_s, u"Partido"_s,     u"Localidad"_s, u"Zona"_s,   u"Calle"_s,        u"Barrio"_s};

// The number pairs in the order the text holds them, with the state's field for each.
struct TRangeName {
    QString name;
    TFilterRange TFilterState::*field;
};
const std::array<TRangeName, 8> kRanges = {{{u"Precio"_s, &TFilterState::Precio},
                                            {u"SupTno"_s, &TFilterState::SupTno},
                                            {u"SupCub"_s, &TFilterState::SupCub},
                                            {u"Dormitorios"_s, &TFilterState::Dormitorios},
                                            {u"Ambientes"_s, &TFilterState::Ambientes},
                                            {u"Plantas"_s, &TFilterState::Plantas},
                                            {u"Banio"_s, &TFilterState::Banos},
                                            {u"Anio"_s, &TFilterState::Anio}}};

struct TFeatureName {
    QString name;
    int TFilterState::*field;
};
const std::array<TFeatureName, 4> kFeatures = {{{u"Dependencias"_s, &TFilterState::Dependencias},
                                                {u"Cochera"_s, &TFilterState::Cochera},
                                                {u"Telefono"_s, &TFilterState::Telefono},
                                                {u"AEstrenar"_s, &TFilterState::AEstrenar}}};

QString Entry(const QString& name, const QString& value)
{
    return u'<' + name + u'(' + value + u")>"_s;
}

QString RangeText(const TFilterRange& range)
{
    return QString::number(std::max<qint64>(range.From, 0)) + u',' + QString::number(std::max<qint64>(range.To, 0));
}

QString DateText(const QDate& date, const QDate& neutral)
{
    if (!date.isValid() || date == neutral)
        return u"0"_s;
    return date.toString(u"dd/MM/yyyy"_s);
}

bool IsWholeNumber(const QString& text)
{
    bool ok = false;
    text.toLongLong(&ok, 10);
    return ok;
}

} // namespace

QString SearchListName(int list)
{
    return list >= 1 && list <= FilterList::Count ? kListNames[size_t(list - 1)] : QString();
}

QString ComposeSearchParameters(const TFilterState& state, const TFilterEnv& env)
{
    try {
        QString text = u"{"_s;
        for (int list = 1; list <= FilterList::Count; ++list) {
            QStringList codes;
            for (const int code : state.Codes(list, true))
                codes << QString::number(code);
            text += Entry(kListNames[size_t(list - 1)], codes.join(u','));
        }
        const auto range = [&](int i) {
            return Entry(kRanges[size_t(i)].name, RangeText(state.*kRanges[size_t(i)].field));
        };
        text += range(0);
        text += Entry(u"Moneda"_s, QString::number(state.Moneda));
        for (const auto& [name, dates] :
             {std::pair{u"Ingreso"_s, &state.Ingreso}, {u"Modificado"_s, &state.Modificado}})
            text += Entry(name, DateText(dates->From, FilterBaseDate()) + u',' + DateText(dates->To, env.DataDate));
        for (int i = 1; i < int(kRanges.size()); ++i)
            text += range(i);
        text += Entry(u"Texto"_s, state.Texto);
        for (const TFeatureName& feature : kFeatures)
            text += Entry(feature.name, QString::number(state.*feature.field));
        text += Entry(u"EnCero"_s, state.EnCero ? u"1"_s : u"0"_s);
        return text + u'}';
    } catch (const std::exception&) {
        return {};
    }
}

namespace {

// The pieces of one entry exactly as stored, before any of them is checked.
QStringList RawSearchValues(const QString& text, const QString& name)
{
    // The entry is found by its opening "<Name(" rather than by the bare name, so that a
    // search text mentioning "Cochera" cannot pass for the garage entry (a text never holds
    // "<"); an entry that is missing has no values instead of borrowing the first one's.
    const qsizetype start = text.indexOf(u'<' + name + u'(');
    if (start < 0)
        return {};
    const QString rest = text.mid(start);
    const qsizetype open = rest.indexOf(u'(');
    const qsizetype close = rest.indexOf(u')');
    if (open < 0 || close < open)
        return {};
    const QString content = rest.mid(open + 1, close - open - 1);
    if (content.isEmpty())
        return {};
    QStringList values = content.split(u',');
    if (content.endsWith(u','))
        values.removeLast();
    return values;
}

} // namespace

QStringList ExtractSearchValues(const QString& text, const QString& name)
{
    QStringList values = RawSearchValues(text, name);
    for (QString& value : values) {
        if (name == u"Ingreso"_s || name == u"Modificado"_s) {
            if (!IsDateTimeText(value))
                value.clear();
        } else if (name == u"Texto"_s) {
            if (!IsGeneralText(value))
                value.clear();
        } else if (!IsWholeNumber(value)) {
            value = u"0"_s;
        }
    }
    return values;
}

bool SearchTextUnsearchable(const QString& text)
{
    const QStringList pieces = RawSearchValues(text, u"Texto"_s);
    for (const QString& piece : pieces)
        if (!IsGeneralText(piece))
            return true;
    return !IsSearchableText(pieces.join(u'\n').trimmed());
}

TFilterState ApplySearchParameters(const QString& text, const TFilterEnv& env, const TFilterListSource& lists)
{
    TFilterState state = DefaultFilterState(env, false);
    const TFilterListSource source = lists ? lists : TFilterListSource(LoadFilterList);

    for (int list = 1; list <= FilterList::Count; ++list) {
        const QStringList values = ExtractSearchValues(text, kListNames[size_t(list - 1)]);
        if (values.isEmpty())
            continue;
        const QList<TFilterEntry> entries = source(list, state);
        TFilterSet& set = state.Set(list);
        for (const QString& value : values) {
            const int code = value.toInt();
            for (int position = 0; position < entries.size(); ++position)
                if (entries[position].Code == code && code != 0)
                    set.emplace(position, code);
        }
        CascadeFilterLists(state, list);
    }

    for (const TRangeName& range : kRanges) {
        const QStringList values = ExtractSearchValues(text, range.name);
        if (values.size() != 2)
            continue;
        const auto bound = [](const QString& value) -> qint64 {
            return value != u"0"_s && IsDigits(value, 9) ? value.trimmed().toLongLong() : 0;
        };
        state.*range.field = {bound(values[0]), bound(values[1])};
    }
    if (const QStringList values = ExtractSearchValues(text, u"Moneda"_s); !values.isEmpty())
        state.Moneda = std::max(0, values[0].toInt());
    for (const auto& [name, dates] : {std::pair{u"Ingreso"_s, &state.Ingreso}, {u"Modificado"_s, &state.Modificado}}) {
        const QStringList values = ExtractSearchValues(text, name);
        if (values.size() != 2)
            continue;
        // As the calendars take them: nothing before the base date, nothing after the data.
        const QDate from = values[0] != u"0"_s ? ParseDisplayDateTime(values[0]).date() : QDate();
        const QDate to = values[1] != u"0"_s ? ParseDisplayDateTime(values[1]).date() : QDate();
        dates->From = from.isValid() && from > FilterBaseDate() ? from : FilterBaseDate();
        dates->To = to.isValid() && to < env.DataDate ? to : env.DataDate;
    }
    if (const QStringList values = ExtractSearchValues(text, u"Texto"_s); !values.isEmpty())
        state.Texto = values.join(u'\n').trimmed();
    for (const TFeatureName& feature : kFeatures) {
        const QStringList values = ExtractSearchValues(text, feature.name);
        if (values.size() != 1)
            continue;
        const int value = values[0].toInt();
        state.*feature.field = value >= -1 && value <= 1 ? value : -1;
    }
    if (const QStringList values = ExtractSearchValues(text, u"EnCero"_s); values.size() == 1)
        state.EnCero = values[0] == u"1"_s;
    return state;
}
