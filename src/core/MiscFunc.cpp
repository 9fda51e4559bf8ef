#include "core/MiscFunc.h"

#include "core/Bugs.h"
#include "core/Platform.h"
#include "core/uTypes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <array>
#include <stdexcept>

using namespace Qt::StringLiterals;

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

bool DeleteFileLogged(const QString& path)
{
    try {
        QFile file(path);
        if (!file.exists())
            return true;
        if (!file.remove())
            throw std::runtime_error(file.errorString().toStdString());
        return true;
    } catch (const std::exception& e) {
        WriteLog(u"$3064.5"_s, u"Filename="_s + path + u"; Exception="_s + QString::fromStdString(e.what()));
        return false;
    }
}

bool EnsureFolder(const QString& path)
{
    try {
        return QDir().mkpath(path);
    } catch (...) {
        return false;
    }
}

bool CopyFileOver(const QString& source, const QString& target)
{
    try {
        if (QFileInfo(source).canonicalFilePath() == QFileInfo(target).canonicalFilePath() && QFileInfo::exists(target))
            return true;
        // Copy beside the target and rename over it: a failed copy never leaves a
        // half-written program where the installed one was.
        const QString partial = target + u".part"_s;
        QFile::remove(partial);
        if (!QFile::copy(source, partial))
            return false;
        QFile::setPermissions(partial, QFile::permissions(source));
        QFile::remove(target);
        if (!QFile::rename(partial, target)) {
            QFile::remove(partial);
            return false;
        }
        return true;
    } catch (...) {
        return false;
    }
}

bool WriteBytesFile(const QString& path, const QByteArray& bytes)
{
    try {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw std::runtime_error(file.errorString().toStdString());
        if (file.write(bytes) != bytes.size())
            throw std::runtime_error(file.errorString().toStdString());
        return true;
    } catch (const std::exception& e) {
        WriteLog(u"$3064.1"_s, u"Filename="_s + path + u"; Exception="_s + QString::fromStdString(e.what()));
        return false;
    }
}

bool DataFileExists(const QString& name)
{
    try {
        return QFileInfo::exists(Paths.DataFolder + name);
    } catch (const std::exception& e) {
        WriteLog(u"$3064.3"_s,
                 u"Filename="_s + Paths.DataFolder + name + u"; Exception="_s + QString::fromStdString(e.what()));
        return false;
    }
}

bool WriteDataFileOnce(const QString& name, const QString& text)
{
    const QString path = Paths.DataFolder + name;
    try {
        QFile file(path);
        // NewOnly: when two failures race, the first detail stays.
        if (!file.exists() && file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            const QByteArray line = text.toLatin1() + "\r\n";
            file.write(line);
            file.close();
        }
        return QFileInfo::exists(path);
    } catch (const std::exception& e) {
        WriteLog(u"$3064.5"_s, u"Filename="_s + path + u"; Exception="_s + QString::fromStdString(e.what()));
        return false;
    }
}

bool LaunchProgram(const QString& path, const QString& argument)
{
    try {
        const QString arg = argument.trimmed();
        return Platform::StartDetached(path, arg.isEmpty() ? QStringList() : QStringList{arg},
                                       QFileInfo(path).absolutePath());
    } catch (...) {
        return false;
    }
}

QString EscapeSql(const QString& text, bool forLike)
{
    try {
        QString out;
        out.reserve(text.size() + 8);
        for (const QChar c : text) {
            if (c == u'"')
                out += u"\"\""_s;
            else if (forLike && (c == u'%' || c == u'_'))
                out += u'\\' + QString(c);
            else
                out += c;
        }
        return out;
    } catch (...) {
        return {};
    }
}
