#include "core/FormatSettings.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

TEST(FormatSettings, ForcedFieldsAndSpanishNames)
{
    ASSERT_TRUE(InitFormatSettings());
    const TFormatSettings& s = AppFormatSettings;
    EXPECT_EQ(s.DecimalSeparator, u',');
    EXPECT_EQ(s.ThousandSeparator, u'.');
    EXPECT_EQ(s.DateSeparator, u'/');
    EXPECT_EQ(s.ListSeparator, u';');
    EXPECT_EQ(s.ShortDateFormat, QStringLiteral("dd/mm/yyyy"));
    EXPECT_EQ(s.LongTimeFormat, QStringLiteral("hh:mm:ss"));
    ASSERT_EQ(s.ShortMonthNames.size(), 12);
    EXPECT_EQ(s.ShortMonthNames.at(11), QStringLiteral("Dic"));
    EXPECT_EQ(s.LongMonthNames.at(8), QStringLiteral("Septiembre"));
    EXPECT_EQ(s.LongDayNames.at(0), QStringLiteral("Domingo"));
    EXPECT_EQ(s.ShortDayNames.at(3), (u"Mié"_s));
    EXPECT_FALSE(s.LongDateFormat.isEmpty());
}

TEST(FormatSettings, PatternsOfTheProgram)
{
    ASSERT_TRUE(InitFormatSettings());
    const QDateTime when(QDate(2026, 12, 9), QTime(14, 5, 7));
    struct Case {
        const char* pattern;
        const char16_t* expected;
    };
    const Case cases[] = {
        {"dd-mmm-yy hh:nn", u"09-Dic-26 14:05"},
        {"dd/mm/yyyy", u"09/12/2026"},
        {"hh:mm:ss", u"14:05:07"}, // minutes right after the hour
        {"dddd d \"de\" mmmm", u"Miércoles 9 de Diciembre"},
        {"d/m/yy", u"9/12/26"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatDateTimeText(QString::fromLatin1(c.pattern), when), QString::fromUtf16(c.expected))
            << c.pattern;
}
