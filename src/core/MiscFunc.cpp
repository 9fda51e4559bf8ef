#include "core/MiscFunc.h"

#include "core/FormatSettings.h"
#include "core/Guarded.h"
#include "core/InstallState.h"
#include "core/uTypes.h"

#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <bitset>
#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

const QString NewCodeText = u"Nueva"_s;
const QString NoDateText = u"Sin fecha"_s;

// --- Shared pieces ---------------------------------------------------------------------

namespace {

// Trimming as the rest of the program understands it: every control character and blank
// at either end goes, nothing else.
QString Trim(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= 32)
        ++begin;
    while (end > begin && text.at(end - 1).unicode() <= 32)
        --end;
    return text.mid(begin, end - begin);
}

bool IsAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool IsAsciiLetter(QChar c)
{
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

bool AllAsciiDigits(const QString& text)
{
    for (const QChar c : text)
        if (!IsAsciiDigit(c))
            return false;
    return true;
}

bool IsDigitRun(const QString& text, int minLength, int maxLength)
{
    return text.size() >= minLength && text.size() <= maxLength && AllAsciiDigits(text);
}

QChar ThousandSeparator()
{
    return AppFormatSettings.ThousandSeparator.isNull() ? QChar(u'.') : AppFormatSettings.ThousandSeparator;
}

QChar DecimalSeparator()
{
    return AppFormatSettings.DecimalSeparator.isNull() ? QChar(u',') : AppFormatSettings.DecimalSeparator;
}

// "1234567" as "1.234.567".
QString GroupThousands(const QString& digits)
{
    QString out;
    out.reserve(digits.size() + digits.size() / 3);
    const qsizetype n = digits.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0)
            out += ThousandSeparator();
        out += digits.at(i);
    }
    return out;
}

// Doubles print exactly up to here; beyond it a grouped integer would show invented digits.
constexpr double kExactIntegers = 1e15;

using TClassTable = std::bitset<256>;

TClassTable MakeClass(std::initializer_list<std::pair<int, int>> ranges)
{
    TClassTable table;
    for (const auto& [first, last] : ranges)
        for (int c = first; c <= last; ++c)
            table.set(static_cast<size_t>(c));
    return table;
}

// Á Ç É Í Ñ Ó Ú Ü á ç é í ñ ó ú ü
constexpr std::array<int, 16> kSpanishLetters = {0xC1, 0xC7, 0xC9, 0xCD, 0xD1, 0xD3, 0xDA, 0xDC,
                                                 0xE1, 0xE7, 0xE9, 0xED, 0xF1, 0xF3, 0xFA, 0xFC};

const std::array<TClassTable, 10>& ClassTables()
{
    static const std::array<TClassTable, 10> tables = [] {
        std::array<TClassTable, 10> t;
        t[size_t(TCharClass::Digits)] = MakeClass({{'0', '9'}});
        t[size_t(TCharClass::Letters)] = MakeClass({{'A', 'Z'}, {'a', 'z'}});
        t[size_t(TCharClass::Alphanumeric)] = MakeClass({{'0', '9'}, {'A', 'Z'}, {'a', 'z'}});
        TClassTable general = MakeClass({{'\n', '\n'},
                                         {'\r', '\r'},
                                         {' ', ';'},
                                         {'=', '='},
                                         {'@', '['},
                                         {']', ']'},
                                         {'_', '_'},
                                         {'a', 'z'},
                                         {'|', '|'},
                                         {0xAA, 0xAA},
                                         {0xB0, 0xB0},
                                         {0xBA, 0xBA}});
        TClassTable name = MakeClass({{' ', ' '}, {'(', '*'}, {'-', '/'}, {'0', '9'}, {'A', 'Z'}, {'a', 'z'}});
        for (const int c : kSpanishLetters) {
            general.set(static_cast<size_t>(c));
            name.set(static_cast<size_t>(c));
        }
        t[size_t(TCharClass::GeneralText)] = general;
        t[size_t(TCharClass::NameText)] = name;
        t[size_t(TCharClass::EmailChars)] =
            MakeClass({{8, 8}, {'-', '.'}, {'0', '9'}, {'@', 'Z'}, {'_', '_'}, {'a', 'z'}});
        t[size_t(TCharClass::CodeChars)] = MakeClass({{' ', ' '}, {'-', '-'}, {'0', '9'}, {'A', 'Z'}, {'a', 'z'}});
        t[size_t(TCharClass::DashDigits)] = MakeClass({{'-', '-'}, {'0', '9'}});
        t[size_t(TCharClass::DecimalDigits)] = MakeClass({{',', ','}, {'0', '9'}});
        t[size_t(TCharClass::EmailAtom)] = MakeClass({{'!', '!'},
                                                      {'#', '\''},
                                                      {'*', '+'},
                                                      {'-', '-'},
                                                      {'0', '9'},
                                                      {'=', '='},
                                                      {'?', '?'},
                                                      {'A', 'Z'},
                                                      {'^', '~'},
                                                      {128, 255}});
        return t;
    }();
    return tables;
}

QString KeepClass(const QString& text, TCharClass charClass)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text)
        if (InCharClass(c, charClass))
            out += c;
    return out;
}

} // namespace

// --- Storage and exchange forms ----------------------------------------------------------

QString DateTimeToDbText(const QDateTime& value)
{
    return Guarded(u"$3056"_s, QString(), [&] {
        if (!value.isValid() || value.date().year() < 1 || value.date().year() > 9999)
            return QString();
        if (value.time() == QTime(0, 0))
            return value.toString(u"yyyy-MM-dd"_s);
        return value.toString(u"yyyy-MM-dd HH:mm:ss"_s);
    });
}

QDateTime DbTextToDateTime(const QString& text)
{
    return Guarded(u"$3055"_s, QDateTime(), [&] {
        static const QRegularExpression form(
            uR"(^(\d{4})-(\d{1,2})-(\d{1,2})(?:[ T](\d{1,2}):(\d{1,2})(?::(\d{1,2})(?:\.(\d{1,3}))?)?)?$)"_s);
        const QString t = Trim(text);
        if (t.isEmpty())
            return QDateTime();
        const QRegularExpressionMatch m = form.match(t);
        if (!m.hasMatch())
            ThrowNotValid(t, "date and time");
        const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
        const QString ms = m.captured(7);
        const QTime time(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt(),
                         ms.isEmpty() ? 0 : ms.leftJustified(3, u'0').toInt());
        if (!date.isValid() || !time.isValid())
            ThrowNotValid(t, "date and time");
        return QDateTime(date, time);
    });
}

double ParseDotFloat(const QString& text)
{
    return Guarded(u"$3057"_s, 0.0, [&] {
        QString t = Trim(text);
        if (t.isEmpty())
            return 0.0;
        t.replace(u',', u'.');
        bool ok = false;
        const double value = t.toDouble(&ok);
        if (!ok || !std::isfinite(value))
            ThrowNotValid(t, "floating point value");
        return value;
    });
}

QString FloatToDotText(double value)
{
    return Guarded(u"$3058"_s, u"0"_s, [&] {
        if (!std::isfinite(value) || value == 0)
            return u"0"_s;
        // Positional for everything a price, surface or coordinate can be; exponent
        // notation only for the extremes, where positional text would run to hundreds of
        // digits.
        const double magnitude = std::fabs(value);
        const char form = magnitude >= 1e-5 && magnitude < kExactIntegers ? 'f' : 'g';
        return QString::number(value, form, QLocale::FloatingPointShortest);
    });
}

// --- Display forms -----------------------------------------------------------------------

QString FormatThousands(double number)
{
    return Guarded(u"$3059"_s, QString(), [&] {
        if (!std::isfinite(number))
            return QString();
        const double rounded = std::round(number); // halves away from zero
        if (rounded == 0)
            return u"0"_s;
        if (std::fabs(rounded) < kExactIntegers) {
            const auto whole = static_cast<qint64>(std::fabs(rounded));
            return (rounded < 0 ? u"-"_s : QString()) + GroupThousands(QString::number(whole));
        }
        QString scientific = QString::number(rounded, 'E', 8);
        scientific.replace(u'.', DecimalSeparator());
        return scientific;
    });
}

QString FormatThousandsText(const QString& text)
{
    return Guarded(u"$3060"_s, QString(), [&] {
        const QString t = Trim(text);
        if (!IsDigitRun(t, 1, 9))
            return QString();
        return FormatThousands(static_cast<double>(t.toLongLong()));
    });
}

QString FormatTwoDecimals(double number)
{
    return Guarded(u"$3064"_s, QString(), [&] {
        if (!std::isfinite(number))
            return QString();
        const QString fixed = QString::number(std::fabs(number), 'f', 2);
        const qsizetype point = fixed.indexOf(u'.');
        const QString whole = fixed.left(point);
        const QString decimals = fixed.mid(point + 1);
        const bool negative = number < 0 && fixed != u"0.00"_s;
        return (negative ? u"-"_s : QString()) + GroupThousands(whole) + DecimalSeparator() + decimals;
    });
}

double ParseThousandsFloat(const QString& text)
{
    return Guarded(u"$3061"_s, 0.0, [&] {
        QString t = Trim(text);
        t.remove(ThousandSeparator());
        if (t.isEmpty())
            return 0.0;
        // The same convention the number was shown in, whatever the machine's locale is.
        QString plain = t;
        plain.replace(DecimalSeparator(), u'.');
        bool ok = false;
        const double value = plain.toDouble(&ok);
        if (!ok || !std::isfinite(value))
            ThrowNotValid(t, "floating point value");
        return value;
    });
}

QString StripThousands(const QString& text)
{
    return Guarded(u"$3062"_s, QString(), [&] {
        QString t = text;
        return t.remove(ThousandSeparator());
    });
}

qint64 ParseThousandsInt(const QString& text)
{
    return Guarded(u"$3063"_s, qint64(0), [&] {
        QString t = Trim(text);
        t.remove(ThousandSeparator());
        if (t.isEmpty())
            return qint64(0);
        bool ok = false;
        const qint64 value = t.toLongLong(&ok, 10);
        if (!ok)
            ThrowNotValid(t, "integer value");
        return value;
    });
}

QString FormatSize(double bytes)
{
    return Guarded(QString(), u"0 bytes"_s, [&] {
        auto twoDecimals = [](double v) { return QString::number(v, 'f', 2).replace(u'.', DecimalSeparator()); };
        constexpr double kKB = 1024.0;
        constexpr double kMB = kKB * 1024.0;
        constexpr double kGB = kMB * 1024.0;
        if (!std::isfinite(bytes))
            return u"0 bytes"_s;
        if (bytes >= kGB)
            return twoDecimals(bytes / kGB) + u" GB"_s;
        if (bytes >= kMB)
            return twoDecimals(bytes / kMB) + u" MB"_s;
        if (bytes >= kKB)
            return twoDecimals(bytes / kKB) + u" KB"_s;
        if (bytes > 1)
            return twoDecimals(bytes) + u" bytes"_s;
        if (bytes == 1)
            return u"1 byte"_s;
        return u"0 bytes"_s;
    });
}

QString DisplayDateTime(const QDateTime& value)
{
    return Guarded(QString(), QString(), [&] {
        if (!value.isValid() || value < NeverDate())
            return NoDateText;
        return FormatDateTimeText(u"dd-mmm-yy hh:nn"_s, value);
    });
}

QString ZeroPad(qint64 value, int width)
{
    return Guarded(QString(), u"0000"_s, [&] {
        // Widths are those of codes and counters; a wild one must not allocate gigabytes.
        const int w = std::clamp(width, 0, 64);
        const quint64 magnitude = value < 0 ? 0 - static_cast<quint64>(value) : static_cast<quint64>(value);
        const QString digits = QString::number(magnitude).rightJustified(w, u'0');
        return value < 0 ? u"-"_s + digits : digits;
    });
}

QString PluralText(const QString& singular, const QString& plural, qint64 count)
{
    return Guarded(QString(), QString(), [&] {
        QString text = count == 1 ? singular : plural;
        const QString filled = count == 1 ? u"1"_s : FormatThousands(static_cast<double>(count));
        qsizetype at = text.indexOf(u"%s"_s);
        if (at < 0)
            at = text.indexOf(u"%d"_s);
        if (at >= 0)
            text.replace(at, 2, filled);
        return text;
    });
}

// --- Property codes ----------------------------------------------------------------------

QString FormatCode(qint64 code)
{
    return Guarded(QString(), QString(), [&] {
        if (IsLocalCode(code))
            return NewCodeText;
        // Agency and sequence by arithmetic rather than by cutting nine padded digits, so an
        // agency above 9999 keeps all its digits.
        const quint64 magnitude = code < 0 ? 0 - static_cast<quint64>(code) : static_cast<quint64>(code);
        const QString text = ZeroPad(static_cast<qint64>(magnitude / 100000), 4) + u'-' +
                             ZeroPad(static_cast<qint64>(magnitude % 100000), 5);
        return code < 0 ? u"-"_s + text : text;
    });
}

int ParseCode(const QString& text)
{
    return Guarded(QString(), 0, [&] {
        QString t = Trim(text);
        t.remove(u'-');
        if (!IsDigitRun(t, 1, 18))
            return 0;
        qint64 value = t.toLongLong();
        if (value < 100000)
            value += static_cast<qint64>(CurrentAgencyCode()) * 100000;
        if (value < 0 || value > std::numeric_limits<int>::max())
            return 0;
        return static_cast<int>(value);
    });
}

bool IsCodeText(const QString& text)
{
    return Guarded(QString(), false, [&] {
        static const QRegularExpression dashed(u"^[0-9]{1,4}-[0-9]{5}$"_s);
        const QString t = Trim(text);
        if (IsDigitRun(t, 1, 9))
            return true;
        return !t.isEmpty() && AllInClass(t, TCharClass::DashDigits) && dashed.match(t).hasMatch();
    });
}

int AgencyCodeFirst()
{
    return static_cast<int>(static_cast<qint64>(CurrentAgencyCode()) * 100000 + 1);
}

int AgencyCodeLast()
{
    return static_cast<int>(static_cast<qint64>(CurrentAgencyCode()) * 100000 + 99999);
}

int AgencyOfCode(qint64 code)
{
    return Guarded(QString(), -1, [&] { return static_cast<int>(code / 100000); });
}

// --- Character classes and validation ------------------------------------------------------

bool InCharClass(QChar c, TCharClass charClass)
{
    const char16_t u = c.unicode();
    return u < 256 && ClassTables()[static_cast<size_t>(charClass)].test(u);
}

bool AllInClass(const QString& text, TCharClass charClass)
{
    return Guarded(QString(), false, [&] {
        for (const QChar c : text)
            if (!InCharClass(c, charClass))
                return false;
        return true;
    });
}

bool IsDigits(const QString& text, int maxLength, bool ignoreThousands)
{
    return Guarded(QString(), false, [&] {
        QString t = Trim(text);
        if (ignoreThousands)
            t.remove(ThousandSeparator());
        return !t.isEmpty() && t.size() <= maxLength && AllAsciiDigits(t);
    });
}

bool IsInteger(const QString& text)
{
    return Guarded(QString(), false, [&] {
        static const QRegularExpression integer(u"^[+-]?[0-9]+$"_s);
        const QString t = Trim(text);
        bool ok = false;
        t.toInt(&ok, 10);
        return ok && integer.match(t).hasMatch();
    });
}

bool IsLetters(const QString& text)
{
    return AllInClass(text, TCharClass::Letters);
}

bool IsAlphanumeric(const QString& text)
{
    return AllInClass(text, TCharClass::Alphanumeric);
}

bool IsGeneralText(const QString& text)
{
    return AllInClass(text, TCharClass::GeneralText);
}

bool IsNameText(const QString& text)
{
    return AllInClass(text, TCharClass::NameText);
}

bool IsCodeChars(const QString& text)
{
    return AllInClass(text, TCharClass::CodeChars);
}

bool IsEmail(const QString& text)
{
    return Guarded(QString(), false, [&] {
        enum class S { Begin, Atom, QuotedText, QuotedChar, EndOfQuote, LocalPeriod, ExpectSub, Sub, Hyphen };
        S state = S::Begin;
        int subdomains = 1;
        auto isAtom = [](QChar c) { return InCharClass(c, TCharClass::EmailAtom); };
        auto isLetterOrDigit = [](QChar c) { return IsAsciiLetter(c) || IsAsciiDigit(c); };
        for (const QChar c : text) {
            switch (state) {
            case S::Begin:
                if (isAtom(c))
                    state = S::Atom;
                else if (c == u'"')
                    state = S::QuotedText;
                else
                    return false;
                break;
            case S::Atom:
                if (c == u'@')
                    state = S::ExpectSub;
                else if (c == u'.')
                    state = S::LocalPeriod;
                else if (!isAtom(c))
                    return false;
                break;
            case S::QuotedText:
                if (c == u'"')
                    state = S::EndOfQuote;
                else if (c == u'\\')
                    state = S::QuotedChar;
                else if (c == u'\r' || c.unicode() > 255)
                    return false;
                break;
            case S::QuotedChar:
                state = S::QuotedText;
                break;
            case S::EndOfQuote:
                if (c == u'@')
                    state = S::ExpectSub;
                else if (c == u'.')
                    state = S::LocalPeriod;
                else
                    return false;
                break;
            case S::LocalPeriod:
                if (isAtom(c))
                    state = S::Atom;
                else if (c == u'"')
                    state = S::QuotedText;
                else
                    return false;
                break;
            case S::ExpectSub:
                if (IsAsciiLetter(c))
                    state = S::Sub;
                else
                    return false;
                break;
            case S::Sub:
                if (c == u'-') {
                    state = S::Hyphen;
                } else if (c == u'.') {
                    state = S::ExpectSub;
                    ++subdomains;
                } else if (!isLetterOrDigit(c)) {
                    return false;
                }
                break;
            case S::Hyphen:
                if (isLetterOrDigit(c))
                    state = S::Sub;
                else if (c != u'-')
                    return false;
                break;
            }
        }
        return state == S::Sub && subdomains > 1;
    });
}

bool IsYear(const QString& text)
{
    return Guarded(QString(), false, [&] {
        if (!IsDigits(text, 9))
            return false;
        const int year = Trim(text).toInt();
        return year >= 1800 && year <= LastSyncTime().date().year();
    });
}

QDateTime ParseDisplayDateTime(const QString& text)
{
    return Guarded(QString(), QDateTime(), [&] {
        const QChar dateSep = AppFormatSettings.DateSeparator.isNull() ? QChar(u'/') : AppFormatSettings.DateSeparator;
        const QChar timeSep = AppFormatSettings.TimeSeparator.isNull() ? QChar(u':') : AppFormatSettings.TimeSeparator;
        const QString d = QRegularExpression::escape(QString(dateSep));
        const QString h = QRegularExpression::escape(QString(timeSep));
        const QRegularExpression form(u"^(?:(\\d{1,2})%1(\\d{1,2})(?:%1(\\d{1,4}))?)?\\s*"
                                      u"(?:(\\d{1,2})%2(\\d{1,2})(?:%2(\\d{1,2}))?)?$"_s.arg(d, h));
        const QString t = Trim(text);
        const QRegularExpressionMatch m = form.match(t);
        if (t.isEmpty() || !m.hasMatch())
            return QDateTime();
        const bool hasDate = m.capturedLength(1) > 0;
        const bool hasTime = m.capturedLength(4) > 0;
        if (!hasDate && !hasTime)
            return QDateTime();
        // Without a date the value is a time of day on the zero day of the date arithmetic.
        QDate date(1899, 12, 30);
        if (hasDate) {
            const int thisYear = QDate::currentDate().year();
            int year = thisYear;
            if (m.capturedLength(3) > 0) {
                year = m.captured(3).toInt();
                if (m.capturedLength(3) <= 2) {
                    // Two-digit years fall in the century window around today.
                    year += (thisYear / 100) * 100;
                    if (year > thisYear + 50)
                        year -= 100;
                    else if (year <= thisYear - 50)
                        year += 100;
                }
            }
            date = QDate(year, m.captured(2).toInt(), m.captured(1).toInt());
        }
        QTime time(0, 0);
        if (hasTime)
            time = QTime(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt());
        if (!date.isValid() || !time.isValid())
            return QDateTime();
        return QDateTime(date, time);
    });
}

bool IsDateTimeText(const QString& text)
{
    return ParseDisplayDateTime(text).isValid();
}

bool IsFloorText(const QString& text)
{
    return Guarded(QString(), false, [&] {
        static const QStringList named = {u"-3"_s, u"-2"_s, u"-1"_s, u"PB"_s, u"EP"_s, u"PA"_s};
        const QString upper = text.toUpper();
        if (named.contains(upper))
            return true;
        static const QRegularExpression number(u"^\\+?[0-9]{1,9}$"_s);
        if (!number.match(upper).hasMatch())
            return false;
        const int floor = upper.toInt();
        return floor >= 1 && floor <= 99;
    });
}

// --- Clean-up ------------------------------------------------------------------------------

QString FilterChars(int mode, const QString& text)
{
    return Guarded(QString(), mode == 0 ? u"0"_s : QString(), [&] {
        switch (mode) {
        case 0:
            return KeepClass(text, TCharClass::Digits);
        case 1:
            return KeepClass(text, TCharClass::Letters);
        case 2:
            return KeepClass(text, TCharClass::Alphanumeric);
        case 3: {
            const QString kept = KeepClass(text, TCharClass::EmailChars);
            return IsEmail(kept) ? kept : QString();
        }
        case 4:
            return KeepClass(text, TCharClass::NameText);
        case 5:
            return KeepClass(text, TCharClass::GeneralText);
        case 6:
        case 8:
            return KeepClass(text, TCharClass::CodeChars);
        case 7:
            return KeepClass(text, TCharClass::DashDigits);
        default:
            return QString();
        }
    });
}

QString KeepGeneralText(const QString& text)
{
    return Guarded(QString(), QString(), [&] { return KeepClass(text, TCharClass::GeneralText); });
}

QString KeepDecimalDigits(const QString& text)
{
    return Guarded(QString(), QString(), [&] { return KeepClass(text, TCharClass::DecimalDigits); });
}

QString StripTags(const QString& text)
{
    return Guarded(QString(), QString(), [&] {
        QString out;
        out.reserve(text.size());
        qsizetype i = 0;
        while (i < text.size()) {
            const qsizetype open = text.indexOf(u'<', i);
            if (open < 0)
                break;
            const qsizetype close = text.indexOf(u'>', open + 1);
            if (close < 0)
                break; // a lone "<" is text, not a tag
            out += QStringView(text).mid(i, open - i);
            i = close + 1;
        }
        out += QStringView(text).mid(i);
        return out;
    });
}

QString TruncateAtWord(const QString& text, int length)
{
    return Guarded(QString(), QString(), [&] {
        const int n = std::max(length, 0);
        if (text.size() <= n)
            return text;
        const QString head = Trim(text.left(n));
        const qsizetype blank = head.lastIndexOf(u' ');
        QString cut = blank < 0 ? QString() : Trim(head.left(blank));
        if (cut.isEmpty())
            cut = head;
        return cut + u"\u2026"_s;
    });
}

QString SanitizeText(const QString& text, bool singleLine, int length)
{
    return Guarded(QString(), QString(), [&] {
        const QString t = Trim(text);
        QString out;
        out.reserve(t.size());
        for (const QChar c : t) {
            const char16_t u = c.unicode();
            if (u == u'\n')
                out += singleLine ? QChar(u' ') : c;
            else if (u == u'\r') {
                if (!singleLine)
                    out += c;
            } else if ((u >= 32 && u <= 126) || (u >= 161 && u <= 255))
                out += c;
        }
        return length == -1 ? out : TruncateAtWord(out, length);
    });
}

QString NormaliseLineBreaks(const QString& text)
{
    return Guarded(QString(), QString(), [&] {
        QString t = text;
        t.remove(u'\r');
        return t.replace(u'\n', u"\r\n"_s);
    });
}

QString FirstPipePart(const QString& text)
{
    return Guarded(QString(), QString(), [&] {
        const qsizetype bar = text.indexOf(u'|');
        return bar < 0 ? text : text.left(bar);
    });
}

QString EscapeSql(const QString& text, bool forLike)
{
    return Guarded(QString(), QString(), [&] {
        QString out;
        out.reserve(text.size() + 8);
        for (const QChar c : text) {
            if (c == u'"')
                out += u"\"\""_s;
            else if (forLike && (c == u'%' || c == u'_' || c == u'\\'))
                // The backslash is the pattern's escape character: left alone, a typed
                // one would swallow the character after it, or the closing "%".
                out += u'\\' + QString(c);
            else
                out += c;
        }
        return out;
    });
}

QString SqlValueText(const QString& text)
{
    return Guarded(QString(), u"null"_s, [&] {
        const QString t = Trim(text);
        if (t.isEmpty() || t.compare(u"null"_s, Qt::CaseInsensitive) == 0)
            return u"null"_s;
        if (IsDigitRun(t, 1, 9))
            return t;
        // Numbers in any other form never hold a quote; free text might, and must not end
        // the literal early.
        return u'"' + EscapeSql(t) + u'"';
    });
}

QString RemoveAccents(const QString& text)
{
    return Guarded(QString(), QString(), [&] {
        // The fourteen letters the REMOVE_ACCENTS SQL function folds, so that a search text
        // and the column it is compared with are folded alike.
        static const QString accented =
            u"\u00C1\u00C9\u00CD\u00D3\u00DA\u00D1\u00C7\u00E1\u00E9\u00ED\u00F3\u00FA\u00F1\u00E7"_s;
        static const QString plain = u"AEIOUNCaeiounc"_s;
        QString out = text;
        for (QChar& c : out) {
            const qsizetype at = c.unicode() >= 0xC0 ? accented.indexOf(c) : -1;
            if (at >= 0)
                c = plain.at(at);
        }
        return out;
    });
}

QString JoinWithCommas(const QStringList& items)
{
    return Guarded(QString(), QString(), [&] { return items.join(u','); });
}

int CompareVersions(const QString& a, const QString& b)
{
    const QStringList pa = a.trimmed().split(u'.'), pb = b.trimmed().split(u'.');
    for (qsizetype i = 0; i < std::max(pa.size(), pb.size()); ++i) {
        const qlonglong x = i < pa.size() ? pa[i].trimmed().toLongLong() : 0;
        const qlonglong y = i < pb.size() ? pb[i].trimmed().toLongLong() : 0;
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
}
