#include "core/MiscFunc.h"

#include <QRandomGenerator>
#include <QStringList>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

QString RandomText(QRandomGenerator& random, int length, char16_t highest)
{
    QString text;
    for (int i = 0; i < length; ++i) {
        char16_t c;
        do {
            c = static_cast<char16_t>(random.bounded(1, int(highest) + 1));
        } while (QChar(c).isSurrogate());
        text += QChar(c);
    }
    return text;
}

} // namespace

TEST(Scramble, RoundTripsAndUsesOnlyTheAllowedCharacters)
{
    QRandomGenerator random(20261209);
    const QStringList fixed = {
        QString(), QStringLiteral(" "), QStringLiteral("09-Dic-26 14:05 Unknown $1011: Query is empty."),
        QStringLiteral("Ñandú \"comillas\" 'apóstrofo' ¬èêø\r\n\ttab"), QStringLiteral("日本語 и кириллица 🏠")};
    QStringList samples = fixed;
    for (int i = 0; i < 200; ++i)
        samples << RandomText(random, random.bounded(0, 300), i % 2 ? 0x00FF : 0xFFFF);
    samples << QString(100000, QChar(u'x'));

    for (const QString& plain : samples) {
        const QString scrambled = Scramble(plain);
        EXPECT_TRUE(IsScrambledAlphabet(scrambled)) << plain.left(40).toStdString();
        EXPECT_FALSE(scrambled.contains(u' '));
        EXPECT_FALSE(scrambled.contains(u'\''));
        EXPECT_EQ(Unscramble(scrambled), plain);
    }
}

TEST(Scramble, SameTextScramblesDifferentlyEachTime)
{
    const QString plain = QStringLiteral("aaaaaaaaaaaaaaaaaaaa");
    const QString first = Scramble(plain);
    const QString second = Scramble(plain);
    EXPECT_NE(first, second);
    // Equal plain characters do not show as a visible run either.
    EXPECT_NE(first.mid(1, 1).repeated(plain.size()), first);
}

TEST(Scramble, GarbageDoesNotUnscramble)
{
    EXPECT_EQ(Unscramble(QStringLiteral("abc")), QString());   // odd length
    EXPECT_EQ(Unscramble(QStringLiteral("ab cd")), QString()); // blank
    EXPECT_EQ(Unscramble(QStringLiteral("'a")), QString());    // apostrophe
    EXPECT_EQ(Unscramble((u"\u00F8a"_s)), QString());          // first char never ø
    EXPECT_EQ(Unscramble((u"\u4E00\u4E01"_s)), QString());     // outside the alphabet
}
