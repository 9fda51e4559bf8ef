#include "core/InstallState.h"
#include "core/MiscFunc.h"
#include "support/TestRoot.h"

#include <QDateTime>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

namespace {

std::string S(const QString& text)
{
    return text.left(60).toStdString();
}

// Agency 7, synchronised on 9 December 2026; a fresh context afterwards.
class HelpersTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetCurrentAgencyCode(7);
        SetLastSyncTime(QDateTime(QDate(2026, 12, 9), QTime(14, 5)));
    }
    void TearDown() override { ResetInstallContext(); }
    QStringList LogSince(qsizetype from) const { return root.LogLines().mid(from); }

    TestRoot root;
};

const QString kHuge = QString(1 << 20, u'9');
const QString kWide = u"casa \u0100\u4E00 \U0001F3E0"_s;

} // namespace

TEST_F(HelpersTest, StoredDateTimeText)
{
    const QDate day(2024, 3, 5);
    EXPECT_EQ(DateTimeToDbText(QDateTime(day, QTime(0, 0))), u"2024-03-05"_s);
    EXPECT_EQ(DateTimeToDbText(QDateTime(day, QTime(7, 8, 9))), u"2024-03-05 07:08:09"_s);
    EXPECT_EQ(DateTimeToDbText(QDateTime(day, QTime(0, 0, 0, 400))), u"2024-03-05 00:00:00"_s);
    EXPECT_EQ(DateTimeToDbText(QDateTime()), QString());

    EXPECT_EQ(DbTextToDateTime(u"2024-03-05 07:08:09"_s), QDateTime(day, QTime(7, 8, 9)));
    EXPECT_EQ(DbTextToDateTime(u" 2024-03-05 "_s), QDateTime(day, QTime(0, 0)));
    for (const QDateTime& value :
         {QDateTime(day, QTime(0, 0)), QDateTime(day, QTime(23, 59, 59)), QDateTime(QDate(1992, 8, 1), QTime(0, 0)),
          QDateTime(QDate(2000, 2, 29), QTime(12, 0))})
        EXPECT_EQ(DbTextToDateTime(DateTimeToDbText(value)), value) << S(DateTimeToDbText(value));

    const qsizetype logged = root.LogLines().size();
    for (const QString& bad : {u"2024-02-30"_s, u"2024-03-05 24:00:00"_s, u"05/03/2024"_s, u"2024-03-05x"_s, kHuge})
        EXPECT_FALSE(DbTextToDateTime(bad).isValid()) << S(bad);
    EXPECT_FALSE(DbTextToDateTime(QString()).isValid());
    const QStringList lines = LogSince(logged);
    ASSERT_EQ(lines.size(), 5); // an absent date is not a failure
    EXPECT_TRUE(lines.first().contains(u"$3055: '2024-02-30' is not a valid date and time"_s)) << S(lines.first());
    EXPECT_LT(lines.last().size(), 300); // the huge text is not copied into the log
}

TEST_F(HelpersTest, DotDecimalNumbers)
{
    const struct {
        QString text;
        double value;
    } parsed[] = {{u"1,5"_s, 1.5}, {u"1.5"_s, 1.5},   {u" -3.25 "_s, -3.25}, {u"1e3"_s, 1000}, {u"abc"_s, 0},
                  {u""_s, 0},      {u"1.234,5"_s, 0}, {u"inf"_s, 0},         {u"nan"_s, 0},    {kHuge, 0},
                  {kWide, 0}};
    for (const auto& c : parsed)
        EXPECT_EQ(ParseDotFloat(c.text), c.value) << S(c.text);

    const struct {
        double value;
        QString text;
    } printed[] = {{1.5, u"1.5"_s},        {1234567.0, u"1234567"_s},
                   {0.1, u"0.1"_s},        {-34.603722, u"-34.603722"_s},
                   {-0.0, u"0"_s},         {1e20, u"1e+20"_s},
                   {std::nan(""), u"0"_s}, {std::numeric_limits<double>::infinity(), u"0"_s}};
    for (const auto& c : printed)
        EXPECT_EQ(FloatToDotText(c.value), c.text) << c.value;
    for (const double v : {0.1 + 0.2, 1.0 / 3.0, 123456.789, 2.5e-7, 987654321012.5})
        EXPECT_EQ(ParseDotFloat(FloatToDotText(v)), v) << S(FloatToDotText(v));
}

TEST_F(HelpersTest, DisplayNumbers)
{
    const struct {
        double value;
        QString thousands;
        QString twoDecimals;
    } numbers[] = {
        {1234567, u"1.234.567"_s, u"1.234.567,00"_s},
        {1234.5, u"1.235"_s, u"1.234,50"_s},
        {0, u"0"_s, u"0,00"_s},
        {-0.001, u"0"_s, u"0,00"_s},
        {-1234.567, u"-1.235"_s, u"-1.234,57"_s},
        {999.5, u"1.000"_s, u"999,50"_s},
        // Peso prices pass nine digits; they must not turn into rounded scientific notation.
        {1234567891, u"1.234.567.891"_s, u"1.234.567.891,00"_s},
        {std::nan(""), QString(), QString()},
    };
    for (const auto& c : numbers) {
        EXPECT_EQ(FormatThousands(c.value), c.thousands) << c.value;
        EXPECT_EQ(FormatTwoDecimals(c.value), c.twoDecimals) << c.value;
    }
    EXPECT_TRUE(FormatThousands(1e300).contains(u"E+300"_s));

    const struct {
        QString text;
        QString shown;
    } texts[] = {{u" 1234 "_s, u"1.234"_s},    {u"000123"_s, u"123"_s}, {u"123456789"_s, u"123.456.789"_s},
                 {u"1234567890"_s, QString()}, {u"12a"_s, QString()},   {u"-12"_s, QString()},
                 {QString(), QString()},       {kHuge, QString()},      {kWide, QString()}};
    for (const auto& c : texts)
        EXPECT_EQ(FormatThousandsText(c.text), c.shown) << S(c.text);

    EXPECT_EQ(ParseThousandsFloat(u"1.234,50"_s), 1234.5);
    EXPECT_EQ(ParseThousandsFloat(FormatTwoDecimals(-98765.43)), -98765.43);
    EXPECT_EQ(ParseThousandsFloat(QString()), 0);
    EXPECT_EQ(ParseThousandsFloat(u"doce"_s), 0);
    EXPECT_EQ(ParseThousandsInt(u"1.234.567"_s), 1234567);
    EXPECT_EQ(ParseThousandsInt(u"2.500.000.000"_s), 2500000000LL);
    EXPECT_EQ(ParseThousandsInt(QString()), 0);
    EXPECT_EQ(ParseThousandsInt(u"12,5"_s), 0);
    EXPECT_EQ(ParseThousandsInt(kHuge), 0);
    EXPECT_EQ(StripThousands(u"1.234.567,5"_s), u"1234567,5"_s);
}

TEST_F(HelpersTest, SizesDatesPaddingAndPlurals)
{
    const struct {
        double bytes;
        QString text;
    } sizes[] = {{1536, u"1,50 KB"_s},
                 {512, u"512,00 bytes"_s},
                 {1, u"1 byte"_s},
                 {0.5, u"0 bytes"_s},
                 {0, u"0 bytes"_s},
                 {-10, u"0 bytes"_s},
                 {1.5, u"1,50 bytes"_s},
                 {1024, u"1,00 KB"_s},
                 {1048576 * 2.25, u"2,25 MB"_s},
                 {1073741824.0 * 3, u"3,00 GB"_s},
                 {std::nan(""), u"0 bytes"_s}};
    for (const auto& c : sizes)
        EXPECT_EQ(FormatSize(c.bytes), c.text) << c.bytes;

    EXPECT_EQ(DisplayDateTime(QDateTime(QDate(2026, 12, 9), QTime(14, 5, 59))), u"09-Dic-26 14:05"_s);
    EXPECT_EQ(DisplayDateTime(NeverDate()), u"01-Ago-92 00:00"_s);
    EXPECT_EQ(DisplayDateTime(NeverDate().addSecs(-1)), NoDateText);
    EXPECT_EQ(DisplayDateTime(QDateTime()), NoDateText);

    EXPECT_EQ(ZeroPad(7, 4), u"0007"_s);
    EXPECT_EQ(ZeroPad(12345, 4), u"12345"_s);
    EXPECT_EQ(ZeroPad(-5, 4), u"-0005"_s);
    EXPECT_EQ(ZeroPad(3, 0), u"3"_s);
    EXPECT_EQ(ZeroPad(3, 1 << 30).size(), 64);

    EXPECT_EQ(PluralText(u"%s cliente"_s, u"%s clientes"_s, 1), u"1 cliente"_s);
    EXPECT_EQ(PluralText(u"%s cliente"_s, u"%s clientes"_s, 0), u"0 clientes"_s);
    EXPECT_EQ(PluralText(u"%s guardada"_s, u"%s guardadas"_s, 12345), u"12.345 guardadas"_s);
    EXPECT_EQ(PluralText(u"uno"_s, u"varios"_s, 3), u"varios"_s);
}

TEST_F(HelpersTest, PropertyCodes)
{
    const struct {
        qint64 code;
        QString text;
    } formatted[] = {{123, u"0000-00123"_s},    {123456789, u"1234-56789"_s},   {700123, u"0007-00123"_s},
                     {0, u"0000-00000"_s},      {2147473646, u"21474-73646"_s}, // above nine digits nothing is cut off
                     {2147473647, NewCodeText}, {2147483647, NewCodeText}};
    for (const auto& c : formatted)
        EXPECT_EQ(FormatCode(c.code), c.text) << c.code;

    const struct {
        QString text;
        int code;
    } parsed[] = {{u"0000-00123"_s, 700123},
                  {u" 0012-00345 "_s, 1200345},
                  {u"123"_s, 700123},
                  {u"1200345"_s, 1200345},
                  {u"abc"_s, 0},
                  {QString(), 0},
                  {u"99999999999"_s, 0},
                  {kHuge, 0},
                  {kWide, 0},
                  {u"2147473650"_s, 2147473650}};
    for (const auto& c : parsed)
        EXPECT_EQ(ParseCode(c.text), c.code) << S(c.text);
    for (const qint64 code : {qint64(123456789), qint64(700123), qint64(99999)})
        EXPECT_EQ(ParseCode(FormatCode(code)), code < 100000 ? code + 700000 : code);

    const struct {
        QString text;
        bool code;
    } candidates[] = {
        {u"1"_s, true},        {u"123456789"_s, true},  {u" 42 "_s, true},         {u"1234567890"_s, false},
        {u"12-00345"_s, true}, {u"0012-00345"_s, true}, {u"12345-00345"_s, false}, {u"12-345"_s, false},
        {u"-00345"_s, false},  {u"12-003-45"_s, false}, {u"12a"_s, false},         {QString(), false},
        {kHuge, false}};
    for (const auto& c : candidates)
        EXPECT_EQ(IsCodeText(c.text), c.code) << S(c.text);

    EXPECT_EQ(AgencyCodeFirst(), 700001);
    EXPECT_EQ(AgencyCodeLast(), 799999);
    EXPECT_EQ(AgencyOfCode(1299999), 12);
    EXPECT_EQ(AgencyOfCode(99999), 0);
}

TEST_F(HelpersTest, CharacterClasses)
{
    // Every class by the characters that mark its edges.
    const struct {
        TCharClass charClass;
        QString in;
        QString out;
    } classes[] = {
        {TCharClass::Digits, u"0123456789"_s, u"a -.,\u0660"_s},
        {TCharClass::Letters, u"AZaz"_s, u"0 \u00F1\u00C1@["_s},
        {TCharClass::Alphanumeric, u"09AZaz"_s, u" _-\u00F1"_s},
        {TCharClass::GeneralText, u"\n\r !;=@[]_az|\u00AA\u00B0\u00BA\u00C1\u00DC\u00F1\u00FC\"'"_s,
         u"<>?\\^`{}~\t\u00E0\u00A0\u0100"_s},
        {TCharClass::NameText, u" ()*-./09AZaz\u00D1\u00E7"_s, u"\"',;@_\n\u00AA"_s},
        {TCharClass::EmailChars, u"\b-.09@AZ_az"_s, u" +\"!\u00F1"_s},
        {TCharClass::CodeChars, u" -09AZaz"_s, u"._\u00D1"_s},
        {TCharClass::DashDigits, u"-09"_s, u" +."_s},
        {TCharClass::DecimalDigits, u",09"_s, u".- "_s},
        {TCharClass::EmailAtom, u"!#$%&'*+-09=?AZ^_`az{|}~\u0080\u00FF"_s, u"\"(),./:;<>@[\\] \u0100"_s},
    };
    for (const auto& c : classes) {
        EXPECT_TRUE(AllInClass(c.in, c.charClass)) << S(c.in);
        for (const QChar ch : c.out)
            EXPECT_FALSE(AllInClass(c.in + ch, c.charClass)) << int(c.charClass) << " U+" << int(ch.unicode());
    }
    EXPECT_TRUE(AllInClass(QString(), TCharClass::Digits));
    EXPECT_FALSE(IsGeneralText(kWide));
    EXPECT_TRUE(IsGeneralText(QString(1 << 20, u'a')));

    EXPECT_TRUE(IsDigits(u" 1234 "_s, 4));
    EXPECT_FALSE(IsDigits(u"12345"_s, 4));
    EXPECT_FALSE(IsDigits(u"1.234"_s, 9));
    EXPECT_TRUE(IsDigits(u"1.234.567"_s, 9, true));
    EXPECT_FALSE(IsDigits(u"..."_s, 9, true));
    EXPECT_FALSE(IsDigits(QString(), 9));
    EXPECT_FALSE(IsDigits(u"\u0661"_s, 9)); // Arabic-Indic digit

    for (const QString& yes : {u"0"_s, u" -12 "_s, u"+5"_s, u"2147483647"_s})
        EXPECT_TRUE(IsInteger(yes)) << S(yes);
    for (const QString& no : {u""_s, u"1.5"_s, u"2147483648"_s, u"0x1F"_s, u"1 2"_s})
        EXPECT_FALSE(IsInteger(no)) << S(no);
}

TEST_F(HelpersTest, EmailAddresses)
{
    for (const QString& good : {u"ana@inmo.com.ar"_s, u"\"juan perez\"@mail.com"_s, u"a.b-c+d@sub-1.example.org"_s,
                                u"\"a\\\"b\"@x.io"_s, u"x@a--b.com"_s, u"!#$%&'*+-=?^_`{|}~@x.co"_s})
        EXPECT_TRUE(IsEmail(good)) << S(good);
    for (const QString& bad : {
             u"ana@inmo"_s,           // no dot after the "@"
             u"ana@-inmo.com"_s,      // domain starts with "-"
             u"ana..b@inmo.com"_s,    // two dots in a row in the local part
             u".ana@inmo.com"_s,      // local part starts with a dot
             u"ana@inmo.com-"_s,      // ends on a hyphen
             u"ana@inmo.com."_s,      // ends on a dot
             u"ana@1nmo.com"_s,       // sub-domain starts with a digit
             u"ana@inmo..com"_s,      //
             u"an a@inmo.com"_s,      // blank outside quotes
             u"\"ana\r\"@inmo.com"_s, // CR inside quotes
             u"ana@in\u00F1o.com"_s,  //
             u"\"open@inmo.com"_s,    // quote never closed
             u"ana"_s,
             u""_s,
             u"@inmo.com"_s,
         })
        EXPECT_FALSE(IsEmail(bad)) << S(bad);
    EXPECT_FALSE(IsEmail(QString(1 << 20, u'a') + u"@x"_s));
    EXPECT_TRUE(IsEmail(QString(1 << 20, u'a') + u"@x.com"_s));
}

TEST_F(HelpersTest, YearsDatesAndFloors)
{
    // The last synchronisation (2026) is the newest year a property can be built in.
    for (const QString& yes : {u"1800"_s, u"1992"_s, u"2026"_s, u" 2000 "_s})
        EXPECT_TRUE(IsYear(yes)) << S(yes);
    for (const QString& no : {u"1799"_s, u"2027"_s, u"20 26"_s, u"año"_s, u""_s, u"1234567890"_s, kHuge})
        EXPECT_FALSE(IsYear(no)) << S(no);
    ResetInstallContext(); // never synchronised: the "never" year is the limit
    EXPECT_TRUE(IsYear(u"1992"_s));
    EXPECT_FALSE(IsYear(u"1993"_s));

    for (const QString& yes : {u"09/12/2026"_s, u"9/12/26"_s, u"09/12/2026 14:05"_s, u"31/12/1999 23:59:59"_s,
                               u"14:05"_s, u"29/02/2024"_s, u"1/1"_s})
        EXPECT_TRUE(IsDateTimeText(yes)) << S(yes);
    for (const QString& no : {u"31/02/2026"_s, u"2026-12-09"_s, u"12/13/2026"_s, u"25:00"_s, u""_s, u"hoy"_s, kHuge})
        EXPECT_FALSE(IsDateTimeText(no)) << S(no);
    EXPECT_EQ(ParseDisplayDateTime(u"9/12/26 14:05"_s), QDateTime(QDate(2026, 12, 9), QTime(14, 5)));

    for (const QString& yes : {u"pb"_s, u"PB"_s, u"ep"_s, u"Pa"_s, u"-1"_s, u"-3"_s, u"1"_s, u"99"_s, u"05"_s})
        EXPECT_TRUE(IsFloorText(yes)) << S(yes);
    for (const QString& no : {u"0"_s, u"100"_s, u"-4"_s, u"-0"_s, u" 5"_s, u"SS"_s, u""_s, u"1.5"_s, kHuge})
        EXPECT_FALSE(IsFloorText(no)) << S(no);
}

TEST_F(HelpersTest, FilterAndCleanUp)
{
    const QString mixed = u"Ñandú 12-B <x>@a.com|\"q\" ~\u0100"_s;
    const struct {
        int mode;
        QString text;
        QString kept;
    } filters[] = {
        {0, mixed, u"12"_s},
        {1, mixed, u"andBxacomq"_s},
        {2, mixed, u"and12Bxacomq"_s},
        {3, u" ana@inmo.com.ar\t"_s, u"ana@inmo.com.ar"_s},
        {3, u"\u00D1and\u00FA sin arroba"_s, QString()}, // what is left is no address
        {4, mixed, u"\u00D1and\u00FA 12-B xa.comq "_s},
        {5, mixed, u"\u00D1and\u00FA 12-B x@a.com|\"q\" "_s},
        {6, mixed, u"and 12-B xacomq "_s},
        {7, mixed, u"12-"_s},
        {8, u"ab-1 _"_s, u"ab-1 "_s},
        {9, mixed, QString()},
    };
    for (const auto& c : filters)
        EXPECT_EQ(FilterChars(c.mode, c.text), c.kept) << c.mode;

    EXPECT_EQ(KeepGeneralText(u"a<b>c~\u00F1"_s), u"abc\u00F1"_s);
    EXPECT_EQ(KeepDecimalDigits(u"$ 1.234,50"_s), u"1234,50"_s);

    EXPECT_EQ(StripTags(u"<p>Casa <b>linda</b></p>"_s), u"Casa linda"_s);
    EXPECT_EQ(StripTags(u"a < b y c > d"_s), u"a  d"_s);
    EXPECT_EQ(StripTags(u"precio < 100"_s), u"precio < 100"_s);
    EXPECT_EQ(StripTags(u"x<>y"_s), u"xy"_s);

    const QString ellipsis = u"\u2026"_s;
    const struct {
        QString text;
        int length;
        QString cut;
    } truncations[] = {
        {u"casa grande y linda"_s, 12, u"casa"_s + ellipsis},
        {u"casa grande y linda"_s, 14, u"casa grande"_s + ellipsis},
        {u"casa grande y linda"_s, 19, u"casa grande y linda"_s},
        {u"departamento"_s, 5, u"depar"_s + ellipsis}, // no blank: the plain cut
        {u"  a   bcdefgh"_s, 6, u"a"_s + ellipsis},
        {u"abc"_s, 0, ellipsis},
        {u"abc"_s, -5, ellipsis},
    };
    for (const auto& c : truncations)
        EXPECT_EQ(TruncateAtWord(c.text, c.length), c.cut) << S(c.text) << " " << c.length;

    const QString raw = u"  Casa\r\n\tamplia\x01 \u00A0con\u00BFjard\u00EDn\u4E00\n  "_s;
    EXPECT_EQ(SanitizeText(raw, false), u"Casa\r\namplia con\u00BFjard\u00EDn"_s);
    EXPECT_EQ(SanitizeText(raw, true), u"Casa amplia con\u00BFjard\u00EDn"_s);
    EXPECT_EQ(SanitizeText(u"casa grande y linda"_s, true, 12), u"casa"_s + ellipsis);

    EXPECT_EQ(NormaliseLineBreaks(u"a\r\nb\nc\rd\n"_s), u"a\r\nb\r\ncd\r\n"_s);
    EXPECT_EQ(FirstPipePart(u"Inmo Sur|Sucursal"_s), u"Inmo Sur"_s);
    EXPECT_EQ(FirstPipePart(u"Inmo Sur"_s), u"Inmo Sur"_s);
    EXPECT_EQ(JoinWithCommas({u"1"_s, u"2"_s, u"3"_s}), u"1,2,3"_s);
    EXPECT_EQ(JoinWithCommas({}), QString());
    EXPECT_EQ(RemoveAccents(u"\u00D1and\u00FA \u00C7edilla \u00C4rger \u00E1\u00E9\u00ED\u00F3\u00FA"_s),
              u"Nandu Cedilla \u00C4rger aeiou"_s);
}

TEST_F(HelpersTest, SqlTextForms)
{
    // 50%_ followed by a quoted x.
    EXPECT_EQ(EscapeSql(u"50%_\"x\""_s, true), u"50\\%\\_\"\"x\"\""_s);
    EXPECT_EQ(EscapeSql(u"50%_\"x\""_s), u"50%_\"\"x\"\""_s);
    EXPECT_EQ(EscapeSql(u"C:\\dir\\"_s, true), u"C:\\\\dir\\\\"_s);
    EXPECT_EQ(EscapeSql(u"C:\\dir\\"_s), u"C:\\dir\\"_s);

    const struct {
        QString text;
        QString value;
    } values[] = {{QString(), u"null"_s},           {u"  "_s, u"null"_s},
                  {u"NuLL"_s, u"null"_s},           {u" 123 "_s, u"123"_s},
                  {u"123456789"_s, u"123456789"_s}, {u"1234567890"_s, u"\"1234567890\""_s},
                  {u"-34.5"_s, u"\"-34.5\""_s},     {u"PB"_s, u"\"PB\""_s},
                  {u"4\" B"_s, u"\"4\"\" B\""_s}};
    for (const auto& c : values)
        EXPECT_EQ(SqlValueText(c.text), c.value) << S(c.text);
}

TEST_F(HelpersTest, BadInputGivesTheFallback)
{
    // Texts no caller should send, through every text helper: nothing throws, and each
    // answer is the helper's fallback or a plain transformation of the input.
    const QString lone = QString(QChar(0xD800)) + u"x"_s;
    const struct {
        QString text;
        QString sanitized; // single line
        QString digits;
    } cases[] = {{kHuge, kHuge, kHuge},
                 {kWide, u"casa  "_s, QString()},
                 {lone, u"x"_s, QString()},
                 {QString(), QString(), QString()}};
    for (const auto& c : cases) {
        SCOPED_TRACE(S(c.text));
        EXPECT_EQ(SanitizeText(c.text, true), c.sanitized);
        EXPECT_EQ(FilterChars(0, c.text), c.digits);
        EXPECT_FALSE(IsEmail(c.text));
        EXPECT_EQ(ParseCode(c.text), 0);
        EXPECT_EQ(FormatThousandsText(c.text), QString());
        EXPECT_FALSE(IsFloorText(c.text));
        EXPECT_FALSE(IsDateTimeText(c.text));
        EXPECT_FALSE(IsYear(c.text));
        EXPECT_EQ(ParseThousandsFloat(c.text), 0);
        EXPECT_EQ(ParseDotFloat(c.text), 0);
        EXPECT_LE(TruncateAtWord(c.text, 10).size(), 11);
        EXPECT_EQ(RemoveAccents(c.text), c.text);
        EXPECT_EQ(EscapeSql(c.text, true), c.text);
        EXPECT_EQ(StripTags(c.text), c.text);
        EXPECT_EQ(NormaliseLineBreaks(c.text), c.text);
    }
}
