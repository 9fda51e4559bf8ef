#include "core/MiscFunc.h"
#include "db/InstallContext.h"
#include "search/Filter.h"
#include "search/StoredSearchText.h"
#include "support/DemoFixture.h"

#include <functional>

using namespace Qt::StringLiterals;

namespace {

const QDate kDataDate(2026, 3, 15);

// Combo index 0 is the local currency; index 1 has a rate ending in a half.
TFilterEnv TestEnv()
{
    TFilterEnv env;
    env.DataDate = kDataDate;
    env.Rate = [](int index) -> std::optional<double> {
        if (index == 0)
            return 1.0;
        if (index == 1)
            return 1052.5;
        if (index == 2)
            return 0.001;
        return std::nullopt;
    };
    return env;
}

TFilterState Neutral()
{
    return DefaultFilterState(TestEnv(), false);
}

const QString kCurrent = u"`W_Propiedades`.`Prop_Estado` = 2 "_s;

struct WhereCase {
    const char* name;
    std::function<void(TFilterState&)> change;
    QString where;
};

} // namespace

TEST(FilterWhere, FragmentsByteForByte)
{
    const WhereCase cases[] = {
        {"nothing chosen", [](TFilterState&) {}, u"WHERE "_s + kCurrent},
        {"bedrooms 2 to 3 mirror rooms 3 to 4",
         [](TFilterState& s) {
             s.Dormitorios = {2, 3};
         },
         u"WHERE (`W_Propiedades`.`Prop_Dorm` BETWEEN 2 AND 3 OR `W_Propiedades`.`Prop_Ambientes` BETWEEN 3 AND 4)"
         u"AND "_s +
             kCurrent},
        {"rooms 0 to 1 mirror bedrooms up to 0",
         [](TFilterState& s) {
             s.Ambientes = {0, 1};
         },
         u"WHERE (`W_Propiedades`.`Prop_Ambientes` <= 1 OR `W_Propiedades`.`Prop_Dorm` <= 0)AND "_s + kCurrent},
        {"rooms from 4 mirror bedrooms from 3",
         [](TFilterState& s) {
             s.Ambientes = {4, 0};
         },
         u"WHERE (`W_Propiedades`.`Prop_Ambientes` >= 4 OR `W_Propiedades`.`Prop_Dorm` >= 3)AND "_s + kCurrent},
        {"bedrooms and rooms both given",
         [](TFilterState& s) {
             s.Dormitorios = {2, 0};
             s.Ambientes = {0, 4};
         },
         u"WHERE (`W_Propiedades`.`Prop_Dorm` >= 2 OR `W_Propiedades`.`Prop_Ambientes` <= 4) AND "_s + kCurrent},
        {"bedrooms with zero values",
         [](TFilterState& s) {
             s.Dormitorios = {2, 0};
             s.EnCero = true;
         },
         u"WHERE ((`W_Propiedades`.`Prop_Dorm` >= 2 OR (`W_Propiedades`.`Prop_Dorm` = 0) OR "
         u"(`W_Propiedades`.`Prop_Dorm` IS NULL)) OR `W_Propiedades`.`Prop_Ambientes` >= 3)AND "_s +
             kCurrent},
        {"year up to the data year has no upper bound",
         [](TFilterState& s) {
             s.Anio = {1990, 2026};
         },
         u"WHERE `W_Propiedades`.`Prop_Year` >= 1990 AND "_s + kCurrent},
        {"year below the data year",
         [](TFilterState& s) {
             s.Anio = {1990, 2000};
         },
         u"WHERE `W_Propiedades`.`Prop_Year` BETWEEN 1990 AND 2000 AND "_s + kCurrent},
        {"surfaces with zero values",
         [](TFilterState& s) {
             s.SupTno = {0, 500};
             s.EnCero = true;
         },
         u"WHERE (`W_Propiedades`.`Prop_SupTno` <= 500 OR (`W_Propiedades`.`Prop_SupTno` = 0) OR "
         u"(`W_Propiedades`.`Prop_SupTno` IS NULL)) AND "_s +
             kCurrent},
        {"price from 100000 at rate 1",
         [](TFilterState& s) {
             s.Precio = {100000, 0};
         },
         u"WHERE "_s + kCurrent + u"AND `Prop_PrecioPesos` >= 100000 "_s},
        {"price with zero values",
         [](TFilterState& s) {
             s.Precio = {100000, 0};
             s.EnCero = true;
         },
         u"WHERE "_s + kCurrent +
             u"AND (`Prop_PrecioPesos` >= 100000 OR (`W_Propiedades`.`Prop_Precio` = 0) OR "
             u"(`W_Propiedades`.`Prop_Precio` IS NULL)) "_s},
        {"price converted with halves to even",
         [](TFilterState& s) {
             s.Precio = {1, 3};
             s.Moneda = 1;
         },
         u"WHERE "_s + kCurrent + u"AND `Prop_PrecioPesos` BETWEEN 1052 AND 3158 "_s},
        {"withdrawn entry alone", [](TFilterState& s) { s.Set(FilterList::Estado)[4] = kWithdrawnEntryCode; },
         u"WHERE `W_Propiedades`.`Prop_Estado` = 1 "_s},
        {"default entries",
         [](TFilterState& s) {
             s.Set(FilterList::Estado)[0] = 1;
             s.Set(FilterList::Estado)[2] = 3;
         },
         u"WHERE `W_Propiedades`.`StandBy_Codigo` IN (1,3) AND "_s + kCurrent},
        {"gated location type", [](TFilterState& s) { s.Set(FilterList::Ubicacion)[0] = kLocationGated; },
         u"WHERE `W_Propiedades`.`Barrio_Codigo` > 0 AND "_s + kCurrent},
        {"street location type", [](TFilterState& s) { s.Set(FilterList::Ubicacion)[1] = kLocationStreet; },
         u"WHERE `W_Propiedades`.`Calle_Codigo` > 0 AND "_s + kCurrent},
        {"features",
         [](TFilterState& s) {
             s.Dependencias = 0;
             s.AEstrenar = 1;
         },
         u"WHERE `W_Propiedades`.`Prop_Depn` = 0 AND `W_Propiedades`.`Prop_AEstrenar` = 1 AND "_s + kCurrent},
        {"text with quotes", [](TFilterState& s) { s.Texto = u"  casa \"grande\" 50%_ "_s; },
         u"WHERE (`W_Propiedades`.`Prop_Descripcion` LIKE \"%casa \"\"grande\"\" 50%_%\" ESCAPE \"\\\") AND "_s +
             kCurrent},
        {"text with < gives no condition", [](TFilterState& s) { s.Texto = u"casa <b>"_s; }, u"WHERE "_s + kCurrent},
        {"text with a backslash gives no condition", [](TFilterState& s) { s.Texto = u"a\\"_s; },
         u"WHERE "_s + kCurrent},
        {"listing date from 1 March 2020", [](TFilterState& s) { s.Ingreso.From = QDate(2020, 3, 1); },
         u"WHERE `W_Propiedades`.`Prop_FechaAlta` >= \"2020-03-01\" AND "_s + kCurrent},
        {"modification date up to a day", [](TFilterState& s) { s.Modificado.To = QDate(2021, 5, 10); },
         u"WHERE `W_Propiedades`.`Prop_FechaMod` <= \"2021-05-10 23:59:59\" AND "_s + kCurrent},
        {"listing date between two days",
         [](TFilterState& s) {
             s.Ingreso = {QDate(2020, 3, 1), QDate(2021, 5, 10)};
         },
         u"WHERE `W_Propiedades`.`Prop_FechaAlta` BETWEEN \"2020-03-01\" AND \"2021-05-10 23:59:59\" AND "_s +
             kCurrent},
    };
    for (const WhereCase& c : cases) {
        TFilterState state = Neutral();
        c.change(state);
        EXPECT_EQ(BuildFilterWhere(state, TestEnv()), c.where) << c.name;
    }
}

TEST(FilterWhere, JoinsEveryFragmentInItsFixedOrder)
{
    TFilterState s = Neutral();
    // Filled in reverse of the joining order, so that an order taken from the state fails.
    s.Precio = {10, 20};
    s.Texto = u"pileta"_s;
    s.AEstrenar = 1;
    s.Telefono = 1;
    s.Cochera = 1;
    s.Dependencias = 1;
    s.Modificado.From = QDate(2021, 1, 1);
    s.Ingreso.From = QDate(2020, 1, 1);
    s.Anio = {1950, 2026};
    s.Banos = {2, 0};
    s.Plantas = {0, 2};
    s.Dormitorios = {3, 0};
    s.SupCub = {50, 0};
    s.SupTno = {100, 0};
    for (int list = FilterList::Barrio; list >= FilterList::Edificacion; --list)
        s.Set(list)[7] = list * 10;
    s.Set(FilterList::Ubicacion)[1] = kLocationStreet;
    const QString p = u"`W_Propiedades`."_s;
    const QString expected =
        u"WHERE "_s + p + u"`Calle_Codigo` > 0 AND "_s + p + u"`Edif_Codigo` IN (20) AND "_s + p +
        u"`Situ_Codigo` IN (30) AND "_s + p + u"`StandBy_Codigo` IN (40) AND "_s + p + u"`Inmo_Codigo` IN (50) AND "_s +
        p + u"`Pais_Codigo` IN (60) AND "_s + p + u"`Prov_Codigo` IN (70) AND "_s + p +
        u"`Part_Codigo` IN (80) AND "_s + p + u"`Loc_Codigo` IN (90) AND "_s + p + u"`Zon_Codigo` IN (100) AND "_s + p +
        u"`Calle_Codigo` IN (110) AND "_s + p + u"`Barrio_Codigo` IN (120) AND "_s + p +
        u"`Prop_SupTno` >= 100 AND "_s + p + u"`Prop_SupCub` >= 50 AND ("_s + p + u"`Prop_Dorm` >= 3 OR "_s + p +
        u"`Prop_Ambientes` >= 4)AND "_s + p + u"`Prop_Plantas` <= 2 AND "_s + p + u"`Prop_Banos` >= 2 AND "_s + p +
        u"`Prop_Year` >= 1950 AND "_s + p + u"`Prop_FechaAlta` >= \"2020-01-01\" AND "_s + p +
        u"`Prop_FechaMod` >= \"2021-01-01\" AND "_s + p + u"`Prop_Depn` = 1 AND "_s + p + u"`Prop_Cochera` = 1 AND "_s +
        p + u"`Prop_Te` = 1 AND "_s + p + u"`Prop_AEstrenar` = 1 AND (`W_Propiedades`.`Prop_Descripcion` LIKE "_s +
        u"\"%pileta%\" ESCAPE \"\\\") AND "_s + kCurrent + u"AND `Prop_PrecioPesos` BETWEEN 10 AND 20 "_s;
    EXPECT_EQ(BuildFilterWhere(s, TestEnv()), expected);
}

TEST(FilterState, DefaultIsNeutralAndEveryChangeMakesItActive)
{
    const TFilterEnv env = TestEnv();
    const QList<TFilterEntry> estado = {{1, u"Activa"_s}, {2, u"R"_s}, {3, u"S"_s}, {4, u"E"_s}, {-999, u"B"_s}};
    const TFilterState defaults = DefaultFilterState(env, true, estado);
    EXPECT_EQ(defaults.Set(FilterList::Estado), (TFilterSet{{0, 1}, {2, 3}}));
    EXPECT_EQ(defaults.Anio.To, 2026);
    EXPECT_EQ(defaults.Ingreso, (TFilterDates{FilterBaseDate(), kDataDate}));
    EXPECT_TRUE(IsFilterActive(defaults, env)); // the "Estado" entries are a choice

    const std::function<void(TFilterState&)> changes[] = {
        [](TFilterState& s) { s.Set(FilterList::Zona)[0] = 5; },
        [](TFilterState& s) { s.Precio.To = 5; },
        [](TFilterState& s) { s.Anio.To = 2020; },
        [](TFilterState& s) { s.Anio.From = 1900; },
        [](TFilterState& s) { s.Texto = u"x"_s; },
        [](TFilterState& s) { s.Cochera = 0; },
        [](TFilterState& s) { s.Ingreso.From = QDate(1992, 8, 2); },
        [](TFilterState& s) { s.Modificado.To = kDataDate.addDays(-1); },
    };
    EXPECT_FALSE(IsFilterActive(Neutral(), env));
    int i = 0;
    for (const auto& change : changes) {
        TFilterState state = Neutral();
        change(state);
        EXPECT_TRUE(IsFilterActive(state, env)) << "change " << i++;
    }
}

TEST(FilterState, NormaliseRepairsAndOrdersRanges)
{
    const TFilterEnv env = TestEnv();
    TFilterState s = Neutral();
    s.SupCub = {300, 100};
    s.Dormitorios = {-2, 3};
    s.Anio = {1700, 3000};
    s.Ingreso = {QDate(2024, 1, 1), QDate(2023, 1, 1)};
    s.Modificado = {QDate(1980, 1, 1), QDate(2030, 1, 1)};
    NormaliseFilter(s, env);
    EXPECT_EQ(s.SupCub, (TFilterRange{100, 300}));
    EXPECT_EQ(s.Dormitorios, (TFilterRange{0, 3}));
    EXPECT_EQ(s.Anio, (TFilterRange{0, 2026}));
    EXPECT_EQ(s.Ingreso, (TFilterDates{QDate(2023, 1, 1), QDate(2024, 1, 1)}));
    EXPECT_EQ(s.Modificado, (TFilterDates{FilterBaseDate(), kDataDate}));

    // A bound worth less than one local unit, or in an unknown currency, is dropped; the
    // fields keep amounts in the chosen currency.
    s.Precio = {100, 5000};
    s.Moneda = 2;
    NormaliseFilter(s, env);
    EXPECT_EQ(s.Precio, (TFilterRange{0, 5000}));
    s.Moneda = 9;
    NormaliseFilter(s, env);
    EXPECT_EQ(s.Precio, (TFilterRange{0, 0}));
}

TEST(FilterState, ClicksKeepTheListRules)
{
    TFilterState s = Neutral();
    ToggleFilterEntry(s, FilterList::Estado, 0, 1);
    ToggleFilterEntry(s, FilterList::Estado, 2, 3);
    ToggleFilterEntry(s, FilterList::Estado, 4, kWithdrawnEntryCode);
    EXPECT_EQ(s.Set(FilterList::Estado), (TFilterSet{{4, kWithdrawnEntryCode}}));
    ToggleFilterEntry(s, FilterList::Estado, 1, 2);
    EXPECT_EQ(s.Set(FilterList::Estado), (TFilterSet{{1, 2}}));

    s.Set(FilterList::Edificacion)[0] = 1;
    s.Set(FilterList::Calle)[0] = 1;
    s.Set(FilterList::Provincia)[0] = 2;
    s.Set(FilterList::Zona)[0] = 2;
    ToggleFilterEntry(s, FilterList::Ubicacion, 0, kLocationGated);
    ToggleFilterEntry(s, FilterList::Ubicacion, 1, kLocationStreet);
    EXPECT_EQ(s.Set(FilterList::Ubicacion), (TFilterSet{{1, kLocationStreet}}));
    EXPECT_TRUE(s.Set(FilterList::Edificacion).empty());
    EXPECT_TRUE(s.Set(FilterList::Calle).empty());
    EXPECT_FALSE(IsFilterListEnabled(s, FilterList::Barrio));
    EXPECT_TRUE(IsFilterListEnabled(s, FilterList::Calle));
    ToggleFilterEntry(s, FilterList::Pais, 0, 1);
    EXPECT_TRUE(s.Set(FilterList::Provincia).empty());
    EXPECT_TRUE(s.Set(FilterList::Zona).empty());
    EXPECT_FALSE(SelectAllFilterEntries(s, FilterList::Estado, {{1, u"a"_s}}));
}

TEST(QuickSearch, CodesInBothFormsAndAnyText)
{
    SetCurrentAgencyCode(7);
    const auto where = [](const QString& text) {
        const std::optional<TFilterQuery> q = BuildQuickSearch(text);
        return q ? q->BaseSql.mid(q->BaseSql.indexOf(u"WHERE "_s)) : u"none"_s;
    };
    const auto expect = [](const QString& code, const QString& internal) {
        return u"WHERE (`W_Propiedades`.`Prop_Codigo` = \"%1\" OR `W_Propiedades`.`Prop_CodigoInterno` = \"%2\") "_s
            .arg(code, internal);
    };
    EXPECT_EQ(where(u" 12-00345 "_s), expect(u"1200345"_s, u"12-00345"_s));
    EXPECT_EQ(where(u"345"_s), expect(u"700345"_s, u"345"_s));
    EXPECT_EQ(where(u"AB 12"_s), expect(u"0"_s, u"AB 12"_s));
    EXPECT_EQ(where(u"x\"); DROP"_s), expect(u"0"_s, u"0"_s));
    EXPECT_EQ(where(u"   "_s), u"none"_s);
    const std::optional<TFilterQuery> q = BuildQuickSearch(u"1"_s);
    ASSERT_TRUE(q);
    EXPECT_EQ(q->OrderBy, u"ORDER BY `Prop_PrecioPesos` ASC"_s);
    EXPECT_EQ(q->SortKey, u"Precio"_s);
}

TEST(QuickSearch, ClipboardCodeList)
{
    EXPECT_EQ(ClipboardCodeText({1200345, 700001}), u"Korvel_Prop_Codes:1200345,700001"_s);
    EXPECT_EQ(ClipboardCodeList(u" Korvel_Prop_Codes:1200345, ,x700001,,"_s), u"1200345,700001"_s);
    EXPECT_EQ(ClipboardCodeList(u"Korvel_Prop_Codes:12,3"_s), QString());
    EXPECT_EQ(ClipboardCodeList(u"otra cosa 1200345"_s), QString());
    EXPECT_TRUE(
        BuildCodeListSearch(u"12,34"_s).BaseSql.endsWith(u"WHERE (`W_Propiedades`.`Prop_Codigo` IN (12,34)) "_s));
}

// --- Stored-search parameter text ------------------------------------------------------------

namespace {

// Lists as a panel would show them: each code once, at a position of its own.
QList<TFilterEntry> FakeList(int list, const TFilterState&)
{
    QList<TFilterEntry> entries;
    for (const int code : {1, 2, 3, 4, 22, 35, 100})
        entries << TFilterEntry{code + (list == FilterList::Estado && code == 100 ? -1099 : 0), u"x"_s};
    return entries;
}

} // namespace

TEST(StoredSearchText, ComposesTheDocumentedForm)
{
    TFilterState s = Neutral();
    s.Set(FilterList::Edificacion) = {{0, 1}, {4, 22}};
    s.Set(FilterList::Situacion) = {{0, 1}};
    s.Precio = {100000, 200000};
    EXPECT_EQ(ComposeSearchParameters(s, TestEnv()),
              u"{<Ubicacion()><Edificacion(1,22)><Situacion(1)><Estado()><Inmobiliaria()><Pais()><Provincia()>"
              u"<Partido()><Localidad()><Zona()><Calle()><Barrio()><Precio(100000,200000)><Moneda(0)><Ingreso(0,0)>"
              u"<Modificado(0,0)><SupTno(0,0)><SupCub(0,0)><Dormitorios(0,0)><Ambientes(0,0)><Plantas(0,0)>"
              u"<Banio(0,0)><Anio(0,2026)><Texto()><Dependencias(-1)><Cochera(-1)><Telefono(-1)><AEstrenar(-1)>"
              u"<EnCero(0)>}"_s);
}

TEST(StoredSearchText, RoundTripKeepsTheState)
{
    const TFilterEnv env = TestEnv();
    TFilterState s = Neutral();
    s.Set(FilterList::Ubicacion) = {{1, 2}};
    s.Set(FilterList::Edificacion) = {{0, 1}, {4, 22}};
    s.Set(FilterList::Estado) = {{0, 1}, {2, 3}};
    s.Set(FilterList::Zona) = {{5, 35}};
    s.Precio = {1000, 0};
    s.Moneda = 1;
    s.Ingreso = {QDate(2020, 3, 1), kDataDate};
    s.Modificado = {FilterBaseDate(), QDate(2025, 12, 31)};
    s.SupTno = {100, 900};
    s.Ambientes = {2, 0};
    s.Banos = {0, 3};
    s.Anio = {1950, 2000};
    s.Texto = u"Cochera(1) amplia"_s; // names another entry; must not take it over
    s.Cochera = 0;
    s.Telefono = 1;
    s.EnCero = true;
    const QString text = ComposeSearchParameters(s, env);
    TFilterState back = ApplySearchParameters(text, env, FakeList);
    EXPECT_EQ(back.Texto, u"Cochera(1"_s); // the format ends a value at ")"
    back.Texto = s.Texto;
    EXPECT_EQ(back, s) << text.toStdString();
}

TEST(StoredSearchText, ReadsDamagedAndForeignValuesSafely)
{
    const TFilterEnv env = TestEnv();
    const TFilterState s = ApplySearchParameters(
        u"{<Edificacion(1,999,abc,22,)><Estado(1,5)><Precio(abc,500)><SupCub(5)><Moneda(x)>"
        u"<Ingreso(31/02/2020,01/01/2030)><Texto(casa, jardin)><Cochera(7)><Telefono(1)><EnCero(2)>}"_s,
        env, FakeList);
    EXPECT_EQ(s.Set(FilterList::Edificacion), (TFilterSet{{0, 1}, {4, 22}}));
    EXPECT_EQ(s.Set(FilterList::Estado), (TFilterSet{{0, 1}}));
    EXPECT_EQ(s.Precio, (TFilterRange{0, 500}));
    EXPECT_EQ(s.SupCub, (TFilterRange{}));
    EXPECT_EQ(s.Moneda, 0);
    EXPECT_EQ(s.Ingreso, (TFilterDates{FilterBaseDate(), kDataDate}));
    EXPECT_EQ(s.Texto, u"casa\n jardin"_s);
    EXPECT_EQ(s.Cochera, -1);
    EXPECT_EQ(s.Telefono, 1);
    EXPECT_FALSE(s.EnCero);
    // Missing entries stay at their reset values instead of reading the first entry's.
    EXPECT_EQ(s.Dependencias, -1);
    EXPECT_EQ(s.Anio, (TFilterRange{0, 2026}));
}

// --- Against a real database ---------------------------------------------------------------------

class FilterDatabaseTest : public DemoDatabaseTest {
protected:
    void SetUp() override
    {
        DemoDatabaseTest::SetUp();
        SetLastSyncTime(QDateTime::currentDateTime());
        env = CurrentFilterEnv();
        const std::vector<qint64> current = Codes(BuildFilterStatement(DefaultFilterState(env, false), env));
        ASSERT_FALSE(current.empty());
        code = current.front();
        SetCurrentAgencyCode(AgencyOfCode(code));
    }
    void TearDown() override { ResetInstallContext(); }

    static std::vector<qint64> Codes(const TFilterQuery& query)
    {
        std::unique_ptr<TResultSet> rows;
        int count = 0;
        std::vector<qint64> codes;
        if (!DB()->Query(query.Sql(), rows, count) || !rows)
            return {-1};
        for (rows->First(); !rows->Eof(); rows->Next())
            codes.push_back(rows->AsInt64(u"Prop_Codigo"_s));
        return codes;
    }

    TFilterEnv env;
    qint64 code = 0; // a current property that the property query shows
};

TEST_F(FilterDatabaseTest, HostileTextsRunAndFindTheirRows)
{
    ASSERT_TRUE(DB()->ExecNoCount(u"UPDATE `W_Propiedades` SET `Prop_Descripcion` = 'dice \"ok\"; 50%_x' "
                                  u"WHERE `Prop_Codigo` = %1;"_s.arg(code)));
    const QString texts[] = {u"\"ok\";"_s, u"\""_s, u"50%%_"_s,   u"\"); DELETE FROM W_Propiedades; --"_s,
                             u"\\"_s,      u"'"_s,  u"%"_s,       u"_"_s,
                             u"a\\\"b"_s,  u"\n"_s, u"ñandú \""_s};
    for (const QString& text : texts) {
        TFilterState s = DefaultFilterState(env, false);
        s.Texto = text;
        const std::vector<qint64> found = Codes(BuildFilterStatement(s, env));
        EXPECT_TRUE(found.empty() || found.front() != -1) << text.toStdString();
    }
    TFilterState s = DefaultFilterState(env, false);
    s.Texto = u"\"ok\";"_s;
    EXPECT_EQ(Codes(BuildFilterStatement(s, env)), std::vector<qint64>{code});
    EXPECT_GT(Scalar(u"SELECT COUNT(*) FROM `W_Propiedades`;"_s), 300);
}

TEST_F(FilterDatabaseTest, QuickSearchFindsBothCodeForms)
{
    EXPECT_EQ(Codes(*BuildQuickSearch(FormatCode(code))), std::vector<qint64>{code});
    EXPECT_EQ(Codes(*BuildQuickSearch(QString::number(code % 100000))), std::vector<qint64>{code});
    EXPECT_TRUE(Codes(*BuildQuickSearch(u"no-such-code"_s)).empty());
}

TEST_F(FilterDatabaseTest, WithdrawnAndDateRangesSelectTheRightRows)
{
    TFilterState withdrawn = DefaultFilterState(env, false);
    withdrawn.Set(FilterList::Estado)[4] = kWithdrawnEntryCode;
    const std::vector<qint64> gone = Codes(BuildFilterStatement(withdrawn, env));
    ASSERT_FALSE(gone.empty());
    EXPECT_EQ(qint64(gone.size()), Scalar(u"SELECT COUNT(*) FROM `W_Propiedades` WHERE `Prop_Estado` = 1;"_s));

    // A property listed exactly at midnight is stored as the bare date and still belongs
    // to a range that starts on that day.
    ASSERT_TRUE(DB()->ExecNoCount(
        u"UPDATE `W_Propiedades` SET `Prop_FechaAlta` = '2020-03-01' WHERE `Prop_Codigo` = %1;"_s.arg(code)));
    const auto finds = [&](const TFilterDates& dates) {
        TFilterState s = DefaultFilterState(env, false);
        s.Ingreso = dates;
        const std::vector<qint64> found = Codes(BuildFilterStatement(s, env));
        return std::find(found.begin(), found.end(), code) != found.end();
    };
    EXPECT_TRUE(finds({QDate(2020, 3, 1), QDate(2020, 3, 1)}));
    EXPECT_TRUE(finds({QDate(2020, 3, 1), env.DataDate}));
    EXPECT_TRUE(finds({FilterBaseDate(), QDate(2020, 3, 1)}));
    EXPECT_FALSE(finds({QDate(2020, 3, 2), env.DataDate}));
    EXPECT_FALSE(finds({FilterBaseDate(), QDate(2020, 2, 29)}));
}

TEST_F(FilterDatabaseTest, StoredTextAppliesOnlyCodesTheListsShow)
{
    const QList<TFilterEntry> estado = LoadFilterList(FilterList::Estado, DefaultFilterState(env, false));
    ASSERT_EQ(estado.size(), 5);
    EXPECT_EQ(estado[4].Code, kWithdrawnEntryCode);
    const TFilterState state =
        ApplySearchParameters(u"{<Pais(2)><Provincia(2,999999)><Estado(1,3)><Precio(100,0)><Moneda(1)>}"_s, env);
    EXPECT_EQ(state.Codes(FilterList::Provincia), QList<int>{2});
    EXPECT_EQ(state.Codes(FilterList::Estado), (QList<int>{1, 3}));
    // Dollars at the demo's rate of 1052.5: 105250 pesos.
    EXPECT_TRUE(BuildFilterWhere(state, env).endsWith(u"`Prop_PrecioPesos` >= 105250 "_s));
    EXPECT_GT(Codes(BuildFilterStatement(state, env)).size(), 0u);
}

TEST(FilterState, OnlySearchableTextsAreSearched)
{
    const std::pair<QString, bool> cases[] = {
        {QString(), true},
        {u"   "_s, true},
        {u"pileta \"climatizada\" 100% _quincho_"_s, true},
        {QString(kFilterTextMax, u'a'), true},
        {QString(kFilterTextMax + 1, u'a'), false},
        {u"a\\b"_s, false},
        {u"a`b"_s, false},
        {u"<b>"_s, false},
        {QString::fromUtf8("caf\xff\xfe"), false},
    };
    for (const auto& [text, searchable] : cases)
        EXPECT_EQ(IsSearchableText(text), searchable) << text.left(40).toStdString();
}
