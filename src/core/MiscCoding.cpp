#include "core/Bugs.h"
#include "core/Guarded.h"
#include "core/MiscFunc.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRandomGenerator>

#include <array>

using namespace Qt::StringLiterals;

// Scrambling, hashing, Base64 and random text.

namespace {

constexpr int kAlphabetSize = 97;

const std::array<char16_t, kAlphabetSize>& Alphabet()
{
    static const std::array<char16_t, kAlphabetSize> alphabet = [] {
        std::array<char16_t, kAlphabetSize> a{};
        int n = 0;
        for (char16_t c = u'!'; c <= u'~'; ++c)
            if (c != u'\'')
                a[n++] = c;
        a[n++] = u'\u00AC'; // ¬
        a[n++] = u'\u00E8'; // è
        a[n++] = u'\u00EA'; // ê
        a[n++] = u'\u00F8'; // ø
        return a;
    }();
    return alphabet;
}

int AlphabetIndex(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'!' && u <= u'~' && u != u'\'')
        return u < u'\'' ? u - u'!' : u - u'!' - 1;
    switch (u) {
    case u'\u00AC':
        return 93;
    case u'\u00E8':
        return 94;
    case u'\u00EA':
        return 95;
    case u'\u00F8':
        return 96;
    default:
        return -1;
    }
}

// Position-dependent shift so that runs of equal bytes do not show as runs.
int Shift(qsizetype position)
{
    return static_cast<int>((position * 7) % kAlphabetSize);
}

} // namespace

// Each byte b of the UTF-8 text becomes two characters: the first is drawn at random
// among those whose index modulo 3 gives b / 97, the second carries b % 97 offset by the
// first and by the position. Draws are repeated until they satisfy that rule.
QString Scramble(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    const auto& a = Alphabet();
    QString out;
    out.reserve(bytes.size() * 2);
    auto* random = QRandomGenerator::global();
    for (qsizetype p = 0; p < bytes.size(); ++p) {
        const int b = static_cast<unsigned char>(bytes.at(p));
        const int high = b / kAlphabetSize;
        const int low = b % kAlphabetSize;
        int r;
        do {
            r = static_cast<int>(random->bounded(kAlphabetSize));
        } while (r >= kAlphabetSize - 1 || r % 3 != high);
        out += QChar(a[r]);
        out += QChar(a[(low + r + Shift(p)) % kAlphabetSize]);
    }
    return out;
}

QString Unscramble(const QString& text)
{
    if (text.size() % 2 != 0)
        return {};
    QByteArray bytes;
    bytes.reserve(text.size() / 2);
    for (qsizetype i = 0; i < text.size(); i += 2) {
        const int r = AlphabetIndex(text.at(i));
        const int c = AlphabetIndex(text.at(i + 1));
        if (r < 0 || c < 0 || r >= kAlphabetSize - 1)
            return {};
        const int low = ((c - r - Shift(i / 2)) % kAlphabetSize + 2 * kAlphabetSize) % kAlphabetSize;
        const int b = (r % 3) * kAlphabetSize + low;
        if (b > 255)
            return {};
        bytes.append(static_cast<char>(b));
    }
    return QString::fromUtf8(bytes);
}

bool IsScrambledAlphabet(const QString& text)
{
    for (const QChar c : text)
        if (AlphabetIndex(c) < 0)
            return false;
    return true;
}

QString Md5Hex(const QString& text)
{
    try {
        // Digests are compared with ones the service makes from 7-bit text; anything else
        // counts as "?" on both sides.
        QByteArray ascii;
        ascii.reserve(text.size());
        for (const char32_t c : text.toUcs4())
            ascii.append(c < 128 ? static_cast<char>(c) : '?');
        return QString::fromLatin1(QCryptographicHash::hash(ascii, QCryptographicHash::Md5).toHex().toUpper());
    } catch (...) {
        WriteLogLine(u"void md5(uint8_t *initial_msg, size_t initial_len): Can't calculate MD5 hash."_s);
        return {};
    }
}

QString Base64Encode(const QString& text)
{
    return Guarded(QString(), QString(), [&] { return QString::fromLatin1(text.toUtf8().toBase64()); });
}

QString Base64Decode(const QString& text)
{
    return Guarded(QString(), QString(), [&] {
        QByteArray encoded;
        encoded.reserve(text.size());
        for (const QChar c : text) {
            const char16_t u = c.unicode();
            if (u == u'\r' || u == u'\n' || u == u' ' || u == u'\t')
                continue; // line breaks of wrapped Base64
            const bool alphabet = (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z') || (u >= u'0' && u <= u'9') ||
                                  u == u'+' || u == u'/' || u == u'=';
            if (!alphabet)
                return QString();
            encoded.append(static_cast<char>(u));
        }
        const auto decoded = QByteArray::fromBase64Encoding(encoded, QByteArray::AbortOnBase64DecodingErrors);
        return decoded ? QString::fromUtf8(*decoded) : QString();
    });
}

bool FileToBase64(const QString& path, QString& base64)
{
    base64.clear();
    return Guarded(QString(), false, [&] {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        const QByteArray bytes = file.readAll();
        if (bytes.isEmpty())
            return false;
        base64 = QString::fromLatin1(bytes.toBase64());
        return true;
    });
}

namespace {

QString RandomCodes(int count, int lowest, int highest)
{
    QString out;
    if (count <= 0)
        return out;
    out.reserve(count);
    auto* random = QRandomGenerator::global();
    for (int i = 0; i < count; ++i)
        out += QChar(static_cast<char16_t>(random->bounded(lowest, highest + 1)));
    return out;
}

} // namespace

QString RandomBytes(int count)
{
    return Guarded(QString(), QString(), [&] { return RandomCodes(count, 1, 255); });
}

QString RandomPrintable(int count)
{
    return Guarded(QString(), QString(), [&] { return RandomCodes(count, 32, 126); });
}

QString RandomLetterCase(const QString& text)
{
    return Guarded(QString(), QString(), [&] {
        QString out = text;
        auto* random = QRandomGenerator::global();
        for (QChar& c : out)
            c = random->bounded(2) ? c.toUpper() : c.toLower();
        return out;
    });
}
