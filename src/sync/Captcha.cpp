#include "sync/Captcha.h"

#include "core/MiscFunc.h"

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QPen>
#include <QRandomGenerator>

using namespace Qt::StringLiterals;

namespace {

constexpr int kCellWidth = 26;
constexpr int kCellHeight = 28;

int Random(int below)
{
    return below > 0 ? QRandomGenerator::global()->bounded(below) : 0;
}

// The colour values are given with red in the lowest byte.
QColor ColourFromValue(int value)
{
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

QPoint RandomPoint(const QSize& size)
{
    const int offset = 48;
    return {Random(size.width() + 2 * offset) - offset, Random(size.height() + 2 * offset) - offset};
}

} // namespace

QString NewCaptchaCode()
{
    QString code;
    for (int i = 0; i < CaptchaLetters; ++i)
        code.append(QChar(u'A' + Random(26)));
    return code;
}

QString CaptchaDigest(const QString& code)
{
    return Md5Hex(Base64Encode(code));
}

bool CaptchaMatches(const QString& typed, const QString& digest)
{
    return CaptchaDigest(typed.toUpper()).compare(digest, Qt::CaseInsensitive) == 0;
}

void DrawCaptcha(QImage& image, const QSize& size, const QString& code)
{
    image = QImage(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(image.rect(), ColourFromValue(Random(65793)));

    painter.setOpacity(0.5);
    for (int i = 0; i < 28; ++i) {
        QColor colour = ColourFromValue(Random(65793));
        colour.setRed(255);
        painter.setPen(QPen(colour, 24 + Random(24)));
        painter.drawLine(RandomPoint(size), RandomPoint(size));
    }

    painter.setOpacity(0.85);
    painter.setPen(Qt::white);
    QPoint origin((size.width() - code.size() * kCellWidth) / 2, (size.height() - kCellHeight) / 2);
    for (int i = 0; i < code.size(); ++i) {
        origin += QPoint(Random(10) - 5, Random(6) - 3);
        QFont font(painter.font());
        const int style = Random(3);
        font.setBold(style == 0);
        font.setItalic(style == 2);
        font.setPixelSize(24 + Random(4));
        painter.setFont(font);
        const QRect cell(origin.x() + i * kCellWidth, origin.y(), kCellWidth, kCellHeight);
        painter.drawText(cell, Qt::AlignCenter, code.mid(i, 1));
    }

    painter.setOpacity(0.2);
    const int thinLines = 3 + Random(5);
    for (int i = 0; i < thinLines; ++i) {
        painter.setPen(QPen(ColourFromValue(Random(131586)), 12 + Random(12)));
        painter.drawLine(RandomPoint(size), RandomPoint(size));
    }
}

QString CaptchaImage(QImage& image, const QSize& size)
{
    const QString code = NewCaptchaCode();
    DrawCaptcha(image, size, code);
    return code;
}
