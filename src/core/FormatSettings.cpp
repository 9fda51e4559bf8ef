#include "core/FormatSettings.h"

#include <QLocale>

using namespace Qt::StringLiterals;

bool InitFormatSettings()
{
    try {
        const QLocale locale(QLocale::Spanish, QLocale::Argentina);
        TFormatSettings s;
        s.DateSeparator = u'/';
        s.TimeSeparator = u':';
        s.ListSeparator = u';';
        s.ThousandSeparator = u'.';
        s.DecimalSeparator = u',';
        s.ShortDateFormat = u"dd/mm/yyyy"_s;
        s.LongDateFormat = locale.dateFormat(QLocale::LongFormat);
        s.ShortTimeFormat = u"hh:mm"_s;
        s.LongTimeFormat = u"hh:mm:ss"_s;
        s.LongMonthNames = {u"Enero"_s, u"Febrero"_s, u"Marzo"_s,      u"Abril"_s,   u"Mayo"_s,      u"Junio"_s,
                            u"Julio"_s, u"Agosto"_s,  u"Septiembre"_s, u"Octubre"_s, u"Noviembre"_s, u"Diciembre"_s};
        s.ShortMonthNames = {u"Ene"_s, u"Feb"_s, u"Mar"_s, u"Abr"_s, u"May"_s, u"Jun"_s,
                             u"Jul"_s, u"Ago"_s, u"Sep"_s, u"Oct"_s, u"Nov"_s, u"Dic"_s};
        s.LongDayNames = {u"Domingo"_s, u"Lunes"_s,   u"Martes"_s, u"Miércoles"_s,
                          u"Jueves"_s,  u"Viernes"_s, u"Sábado"_s};
        s.ShortDayNames = {u"Dom"_s, u"Lun"_s, u"Mar"_s, u"Mié"_s, u"Jue"_s, u"Vie"_s, u"Sáb"_s};
        AppFormatSettings = s;
        return true;
    } catch (...) {
        return false;
    }
}

static int RunLength(const QString& pattern, qsizetype at)
{
    const QChar c = pattern.at(at).toLower();
    int n = 0;
    while (at + n < pattern.size() && pattern.at(at + n).toLower() == c)
        ++n;
    return n;
}

QString FormatDateTimeText(const QString& pattern, const QDateTime& value, const TFormatSettings& s)
{
    const QDate date = value.date();
    const QTime time = value.time();
    auto two = [](int v) { return QString::number(v).rightJustified(2, u'0'); };
    auto name = [](const QStringList& list, int index) {
        return index >= 0 && index < list.size() ? list.at(index) : QString();
    };

    QString out;
    bool afterHour = false;
    qsizetype i = 0;
    while (i < pattern.size()) {
        const QChar c = pattern.at(i);
        const QChar lc = c.toLower();
        if (c == u'"' || c == u'\'') {
            const qsizetype end = pattern.indexOf(c, i + 1);
            const qsizetype stop = end < 0 ? pattern.size() : end;
            out += pattern.mid(i + 1, stop - i - 1);
            i = stop + 1;
            continue;
        }
        const int n = RunLength(pattern, i);
        const int dayOfWeek = date.dayOfWeek() % 7; // Sunday first
        if (lc == u'd') {
            if (n == 1)
                out += QString::number(date.day());
            else if (n == 2)
                out += two(date.day());
            else if (n == 3)
                out += name(s.ShortDayNames, dayOfWeek);
            else
                out += name(s.LongDayNames, dayOfWeek);
            afterHour = false;
        } else if (lc == u'm') {
            if (afterHour && n <= 2) {
                out += n == 1 ? QString::number(time.minute()) : two(time.minute());
            } else if (n == 1)
                out += QString::number(date.month());
            else if (n == 2)
                out += two(date.month());
            else if (n == 3)
                out += name(s.ShortMonthNames, date.month() - 1);
            else
                out += name(s.LongMonthNames, date.month() - 1);
            afterHour = false;
        } else if (lc == u'y') {
            out += n <= 2 ? two(date.year() % 100) : QString::number(date.year()).rightJustified(4, u'0');
            afterHour = false;
        } else if (lc == u'h') {
            out += n == 1 ? QString::number(time.hour()) : two(time.hour());
            afterHour = true;
        } else if (lc == u'n') {
            out += n == 1 ? QString::number(time.minute()) : two(time.minute());
            afterHour = false;
        } else if (lc == u's') {
            out += n == 1 ? QString::number(time.second()) : two(time.second());
            afterHour = false;
        } else if (lc == u'z') {
            out += n < 3 ? QString::number(time.msec()) : QString::number(time.msec()).rightJustified(3, u'0');
            afterHour = false;
        } else if (c == u'/') {
            out += QString(s.DateSeparator).repeated(n);
        } else if (c == u':') {
            out += QString(s.TimeSeparator).repeated(n);
        } else {
            out += pattern.mid(i, n);
        }
        i += n;
    }
    return out;
}
