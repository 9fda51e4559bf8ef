#include "search/PropertyQuery.h"
#include "support/DemoFixture.h"
#include "ui/ResultList.h"
#include "ui/TfrmMain.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

TEST(ResultList, PagesAndTheirStrip)
{
    // 25 results, 12 a page: three pages, the last with one row.
    EXPECT_EQ(PageCount(25, 12), 3);
    EXPECT_EQ(25 - 12 * (PageCount(25, 12) - 1), 1);
    EXPECT_EQ(PageCount(24, 12), 2);
    EXPECT_EQ(PageCount(0, 12), 0);
    EXPECT_EQ(PageCount(10, 0), 0);

    struct Case {
        int page, pages, first, last;
        bool visible;
    };
    const Case cases[] = {
        {1, 40, 1, 15, true},   {8, 40, 1, 15, true}, {9, 40, 2, 16, true},  {33, 40, 26, 40, true},
        {40, 40, 26, 40, true}, {1, 10, 1, 10, true}, {10, 10, 1, 10, true}, {500, 999, 493, 507, true},
        {1, 1000, 0, 0, false}, {1, 0, 0, 0, false},
    };
    for (const Case& c : cases) {
        const TPageStrip strip = PageStripWindow(c.page, c.pages);
        EXPECT_EQ(strip.visible, c.visible) << c.page << "/" << c.pages;
        if (c.visible) {
            EXPECT_EQ(strip.first, c.first) << c.page << "/" << c.pages;
            EXPECT_EQ(strip.last, c.last) << c.page << "/" << c.pages;
        }
    }
    // A narrow list shows fewer numbers around the current page.
    const Case narrow[] = {{1, 40, 1, 9, true}, {20, 40, 16, 24, true}, {40, 40, 32, 40, true}, {3, 5, 1, 5, true}};
    for (const Case& c : narrow) {
        const TPageStrip strip = PageStripWindow(c.page, c.pages, 9);
        EXPECT_EQ(strip.first, c.first) << c.page << "/" << c.pages;
        EXPECT_EQ(strip.last, c.last) << c.page << "/" << c.pages;
    }
    EXPECT_EQ(PageStripWindow(7, 40, 1).first, 7);
    EXPECT_EQ(PageStripWindow(7, 40, 1).last, 7);
    EXPECT_EQ(PageLabelText(3, 3), u"Página: 3 / 3"_s);
    EXPECT_EQ(ListCountText(TRMAmpliado, 1), u"1 propiedad "_s);
    EXPECT_EQ(ListCountText(TRMResumido, 1500), u"1.500 propiedades "_s);
    EXPECT_EQ(ListCountText(TRMSelecciones, 2), u"2 registros "_s);
}

TEST(ResultList, ModesFamiliesAndLayoutSwitch)
{
    EXPECT_EQ(ModeForNewList(TListFamily::Search, u"1"_s), TRMAmpliado);
    EXPECT_EQ(ModeForNewList(TListFamily::Search, u"0"_s), TRMResumido);
    EXPECT_EQ(ModeForNewList(TListFamily::Own, u"0"_s), TRMOwnResumido);
    EXPECT_EQ(ModeForNewList(TListFamily::Marks, u"1"_s), TRMMarkAmpliado);
    EXPECT_EQ(ModeForNewList(TListFamily::SelectionProperties, u"0"_s), TRMSelecPropResumido);
    EXPECT_EQ(ModeForNewList(TListFamily::Search, u"2"_s), TRMNone);
    EXPECT_EQ(FamilyOfMode(TRMSrchResumido), TListFamily::Search);
    EXPECT_EQ(FamilyOfMode(TRMFicha), TListFamily::None);

    EXPECT_EQ(SwitchedMode(TRMResumido, true, false), TRMAmpliado);
    EXPECT_EQ(SwitchedMode(TRMOwnAmpliado, false, false), TRMOwnResumido);
    EXPECT_EQ(SwitchedMode(TRMSelecPropResumido, true, false), TRMSelecPropAmpliado);
    // The marks list switches only while there are marks.
    EXPECT_EQ(SwitchedMode(TRMMarkResumido, true, false), TRMMarkResumido);
    EXPECT_EQ(SwitchedMode(TRMMarkResumido, true, true), TRMMarkAmpliado);
    EXPECT_EQ(SwitchedMode(TRMAmpliado, true, true), TRMAmpliado);
}

TEST(ResultList, OrderingDirectionAndClauses)
{
    TAppQuery fresh;
    fresh.SortKey = u"Precio"_s;
    // A fresh result is ascending by price: its first click on the price header descends.
    EXPECT_TRUE(NextDescending(fresh, u"Precio"_s));
    EXPECT_FALSE(NextDescending(fresh, u"Codigo"_s));
    TAppQuery descending = fresh;
    descending.Descending = true;
    EXPECT_FALSE(NextDescending(descending, u"Precio"_s));

    EXPECT_EQ(OrderByClause(u"Edificacion"_s, true),
              u"ORDER BY `W_Edificaciones`.`Edif_Nombre` DESC, `Prop_PrecioPesos` DESC"_s);
    EXPECT_EQ(OrderByClause(u"Domicilio"_s, false),
              u"ORDER BY `W_Calles`.`Calle_Nombre` ASC, `W_Barrios`.`Barrio_Nombre` ASC, "
              u"`W_Propiedades`.`Prop_Numero` ASC, `Prop_PrecioPesos` ASC"_s);
    EXPECT_EQ(OrderByClause(u"Codigo"_s, false), u"ORDER BY `W_Propiedades`.`Prop_Codigo` ASC"_s);
    EXPECT_EQ(OrderByClause(u"Nada"_s, false), QString());

    EXPECT_EQ(OwnPropertiesWhere(7, 0, 3), u"WHERE `W_Propiedades`.`Inmo_Codigo`=7 "_s);
    EXPECT_EQ(OwnPropertiesWhere(7, 2, 3),
              u"WHERE `W_Propiedades`.`Inmo_Codigo`=7  AND `W_Propiedades`.`Prop_Estado` = 2 AND "
              u"`W_Propiedades`.`StandBy_Codigo` = 1  AND `W_Propiedades`.`Prop_Publica` = 1 "_s);
    EXPECT_EQ(OwnFastFilterCondition(8, 42), u"`W_Propiedades`.`Prop_Vendedor`=42 "_s);
    EXPECT_EQ(MarkedPropertiesWhere({}),
              u"WHERE `W_Propiedades`.`Prop_Codigo` IN (0) AND `W_Propiedades`.`Prop_estado`<>1 "_s);
    EXPECT_EQ(SelectionPropertiesWhere({700001, 700002}), u"WHERE `W_Propiedades`.`Prop_Codigo` IN (700001,700002) "_s);
}

class ResultListDatabase : public DemoDatabaseTest {};

TEST_F(ResultListDatabase, StatementsRunAgainstTheSchema)
{
    const qint64 agency = Scalar(u"SELECT `Inmo_Codigo` FROM `W_Propiedades` GROUP BY 1 ORDER BY COUNT(*) DESC;"_s);
    ASSERT_GT(agency, 0);
    int rows = 0;
    ASSERT_TRUE(
        DB()->Exec(u"UPDATE `W_Propiedades` SET `Sync_Tipo`=\"AM\" WHERE `Prop_Codigo` IN (SELECT `Prop_Codigo` "
                   u"FROM `W_Propiedades` WHERE `Inmo_Codigo`=%1 LIMIT 3);"_s.arg(agency),
                   rows));
    const qint64 pending = Scalar(u"SELECT COUNT(*) FROM `W_Propiedades` WHERE `Inmo_Codigo`=%1 AND `Sync_Tipo` IN "
                                  u"(\"AM\", \"B\");"_s.arg(agency));
    ASSERT_GE(pending, 3);

    // Every fast filter runs; "Pendientes de envío" finds exactly the pending ones.
    for (int index = 0; index <= 15; ++index) {
        std::unique_ptr<TResultSet> result;
        int count = 0;
        ASSERT_TRUE(DB()->Query(PropertyQuerySql() + OwnPropertiesWhere(int(agency), index, 1) +
                                    OrderByClause(u"Ubicacion"_s, false),
                                result, count))
            << index;
        if (index == 9) {
            EXPECT_EQ(count, pending);
        }
    }

    // Equal building types by descending price when ordered by building type descending.
    std::unique_ptr<TResultSet> result;
    int count = 0;
    ASSERT_TRUE(DB()->Query(PropertyQuerySql() + u"WHERE `W_Propiedades`.`Prop_Estado`=2 "_s +
                                OrderByClause(u"Edificacion"_s, true),
                            result, count));
    ASSERT_GT(count, 10);
    QString previousType;
    double previousPrice = 0;
    for (result->First(); !result->Eof(); result->Next()) {
        const QString type = result->AsString(u"Edif_Nombre"_s);
        const double price = result->AsFloat(u"Prop_PrecioPesos"_s);
        if (!previousType.isEmpty()) {
            EXPECT_GE(previousType.compare(type), 0);
            if (type == previousType) {
                EXPECT_GE(previousPrice, price);
            }
        }
        previousType = type;
        previousPrice = price;
    }

    // No marks: the single code 0 finds nothing.
    ASSERT_TRUE(
        DB()->Query(PropertyQuerySql() + MarkedPropertiesWhere({}) + OrderByClause(u"Precio"_s, false), result, count));
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(fatal.calls.empty());
}

TEST(ResultList, RowFailuresNameTheirLayout)
{
    const std::pair<int, const char*> cases[] = {
        {TRMAmpliado, "L01"},    {TRMSrchAmpliado, "L01"}, {TRMMarkAmpliado, "L01"}, {TRMSelecPropAmpliado, "L01"},
        {TRMResumido, "L02"},    {TRMSrchResumido, "L02"}, {TRMMarkResumido, "L02"}, {TRMSelecPropResumido, "L02"},
        {TRMOwnAmpliado, "L03"}, {TRMOwnResumido, "L04"},  {TRMSelecciones, "L04"},
    };
    for (const auto& [mode, code] : cases)
        EXPECT_EQ(RowFailedMessage(mode), u"Error al cargar el listado. [CODE %1]"_s.arg(QLatin1StringView(code)))
            << mode;
}
