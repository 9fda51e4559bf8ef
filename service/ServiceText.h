#pragma once

#include <QCryptographicHash>
#include <QString>

#include <cmath>

// Small text forms of the service. They are its own: the client's helpers log their
// failures into the client's log, which the service does not have.
namespace ServiceText {

using namespace Qt::StringLiterals;

// The refusal of a change asked by a read-only user, wherever the change arrives.
inline QString ReadOnlyUser()
{
    return u"Su perfil de usuario no permite realizar cambios."_s;
}

// Codes above this one are local codes of an installation, never the service's.
constexpr qint64 kLastServiceCode = 2147473646;
inline bool IsLocalCode(qint64 code)
{
    return code > kLastServiceCode;
}

inline QString Pad(qint64 value, int width)
{
    return QString::number(value).rightJustified(width, u'0');
}

// A property code as people read it: agency in four digits, a hyphen, sequence in five.
inline QString Code(qint64 code)
{
    return Pad(code / 100000, 4) + u'-' + Pad(code % 100000, 5);
}

// MD5 of the text's Latin-1 bytes, 32 upper-case hexadecimal digits.
inline QString Md5Upper(const QString& text)
{
    return QString::fromLatin1(QCryptographicHash::hash(text.toLatin1(), QCryptographicHash::Md5).toHex().toUpper());
}

// "1.234.567" for 1234567.
inline QString Thousands(qint64 value)
{
    QString digits = QString::number(std::llabs(value));
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3)
        digits.insert(at, u'.');
    return value < 0 ? u'-' + digits : digits;
}

// Pesos as the statement shows them: "$0", "$52.500", "$1.234,50".
inline QString Money(double value)
{
    const qint64 cents = std::llround(value * 100);
    QString text = u"$"_s + Thousands(cents / 100);
    if (cents % 100 != 0)
        text += u',' + Pad(std::llabs(cents % 100), 2);
    return text;
}

} // namespace ServiceText
