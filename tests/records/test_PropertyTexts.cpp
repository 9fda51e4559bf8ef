#include "records/PropertyTexts.h"

#include "db/uDB.h"
#include "search/PropertyQuery.h"
#include "support/SchemaDatabase.h"
#include "support/TestRoot.h"

#include <QMap>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// A real installation database with a handful of reference rows; each test inserts the
// properties it needs and reads them back through the property query, so the columns
// are named exactly as every list, card and report sees them.
class PropertyRowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(OpenEmptyInstallationDatabase());
        ASSERT_TRUE(DB()->ExecNoCount(
            u"INSERT INTO `W_Monedas` VALUES (1, 'D&oacute;lar', 'U$S', 1000), (2, 'Pesos', '$', 1);"
            u"INSERT INTO `W_Edificaciones` VALUES (1, 'Casa'), (2, 'Lote'), (5, 'Departamento'), (6, 'Oficina');"
            u"INSERT INTO `W_Situaciones` VALUES (1, 'Venta'), (3, 'Alquiler');"
            u"INSERT INTO `W_MotivosStandby` VALUES (1, 'Activa', 'Act.'), (2, 'Reservada', 'Res.');"
            u"INSERT INTO `W_MotivosBaja` VALUES (0, 'Vigente', 'Vig.'), (1, 'Vendida', 'Vend.');"
            u"INSERT INTO `W_Inmobiliarias` (`Inmo_Codigo`, `Inmo_Nombre`) VALUES (7, ' Sur Propiedades | Casa central "
            u"');"
            u"INSERT INTO `W_Paises` VALUES (2, 'Argentina');"
            u"INSERT INTO `W_Provincias` VALUES (2, 2, 'Buenos Aires');"
            u"INSERT INTO `W_Partidos` VALUES (2, 2, 'Tigre');"
            u"INSERT INTO `W_Localidades` VALUES (2, 2, 'Don Torcuato'), (3, 2, '*No Definida');"
            u"INSERT INTO `W_Zonas` VALUES (1, 2, ' *no  DEFINIDA '), (2, 2, 'Centro');"
            u"INSERT INTO `W_Calles` VALUES (1, 'Mitre, Bartolomé'), (2, 'Rivadavia');"
            u"INSERT INTO `W_Barrios` VALUES (1, 'Los Alisos', NULL, NULL);"_s));
    }

    // A current, active house for sale on Bartolomé Mitre 1234, zone "Centro", with the
    // given columns replaced by SQL literals.
    std::unique_ptr<TResultSet> Row(const QMap<QString, QString>& overrides = {})
    {
        QMap<QString, QString> values = {
            {u"Prop_Codigo"_s, u"700001"_s}, {u"Inmo_Codigo"_s, u"7"_s},      {u"Edif_Codigo"_s, u"1"_s},
            {u"Situ_Codigo"_s, u"1"_s},      {u"Prop_Plazo"_s, u"0"_s},       {u"Calle_Codigo"_s, u"1"_s},
            {u"Barrio_Codigo"_s, u"0"_s},    {u"Prop_Numero"_s, u"'1234'"_s}, {u"Prop_Piso"_s, u"''"_s},
            {u"Prop_Dto"_s, u"''"_s},        {u"Prop_Resto"_s, u"''"_s},      {u"Pais_Codigo"_s, u"2"_s},
            {u"Prov_Codigo"_s, u"2"_s},      {u"Part_Codigo"_s, u"2"_s},      {u"Loc_Codigo"_s, u"2"_s},
            {u"Zon_Codigo"_s, u"2"_s},       {u"Moneda_Codigo"_s, u"1"_s},    {u"Prop_Precio"_s, u"150000"_s},
            {u"Baja_Codigo"_s, u"0"_s},      {u"Standby_Codigo"_s, u"1"_s},   {u"Prop_Estado"_s, u"2"_s},
        };
        for (auto it = overrides.cbegin(); it != overrides.cend(); ++it)
            values[it.key()] = it.value();
        if (!DB()->ExecNoCount(u"DELETE FROM `W_Propiedades`; INSERT INTO `W_Propiedades` (`%1`) VALUES (%2);"_s.arg(
                values.keys().join(u"`, `"_s), values.values().join(u", "_s))))
            return nullptr;
        std::unique_ptr<TResultSet> row;
        if (!DB()->QueryNoCount(PropertyQuerySql() + u"WHERE `W_Propiedades`.`Prop_Codigo`=700001 "_s, row) || !row ||
            row->RecordCount() != 1)
            return nullptr;
        return row;
    }

    QStringList LogSince(qsizetype from) const { return root.LogLines().mid(from); }

    TestRoot root;
};

struct TextCase {
    QString input;
    QString expected;
};

} // namespace

TEST(PropertyLabels, FieldsApplyByBuildingType)
{
    struct Case {
        QString key;
        int type;
        bool applies;
    };
    const Case cases[] = {
        {u"Dormitorios"_s, 1, true},
        {u"Dormitorios"_s, 5, false},
        {u"Ambientes"_s, 5, true},
        {u"Ambientes"_s, 15, true},
        {u"Ambientes"_s, 1, false},
        {u"Dormitorios"_s, 32, true},
        {u"Baños"_s, 2, false},
        {u"Sup. Cubierta"_s, 2, false},
        {u"Plantas"_s, 2, false},
        {u"Año"_s, 2, false},
        {u"Baños"_s, 27, true},
        {u"Sup. Cubierta"_s, 27, false},
        {u"Piso"_s, 7, true},
        {u"Piso"_s, 1, false},
        {u"Dependencias"_s, 31, true},
        {u"Dependencias"_s, 32, false},
        {u"Teléfono"_s, 15, true},
        {u"A estrenar"_s, 17, true},
        {u"Alquiler con muebles"_s, 21, true},
        {u"Apto profesional"_s, 22, true},
        {u"Apto profesional"_s, 6, false},
        {u"Cochera"_s, 6, true},
        {u"Cochera"_s, 0, false},
        {u"Dormitorios"_s, 64, false},
        {u"Dormitorios"_s, -1, false},
        {u"dormitorios"_s, 1, false},
        {u"Garaje"_s, 1, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FieldApplies(c.key, c.type), c.applies) << c.key.toStdString() << " " << c.type;
}

TEST(PropertyLabels, LabelsByBuildingType)
{
    struct Case {
        int type;
        QString roomsShort, roomsLong, unit, surfaceShort, surfaceLong;
    };
    const Case cases[] = {
        {5, u"Amb."_s, u"Ambientes"_s, u"Dto."_s, u"Tot."_s, u"Sup. Total"_s},
        {15, u"Amb."_s, u"Ambientes"_s, u"Dto."_s, u"Tot."_s, u"Sup. Total"_s},
        {6, u"Desp."_s, u"Despachos"_s, u"Of."_s, u"Tno."_s, u"Sup. Tno."_s},
        {3, u"Desp."_s, u"Despachos"_s, u"U.F."_s, u"Tno."_s, u"Sup. Tno."_s},
        {25, u"Dorm."_s, u"Dormitorios"_s, u"Dto."_s, u"Tot."_s, u"Sup. Total"_s},
        {1, u"Dorm."_s, u"Dormitorios"_s, u"U.F."_s, u"Tno."_s, u"Sup. Tno."_s},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RoomsLabel(c.type, true), c.roomsShort) << c.type;
        EXPECT_EQ(RoomsLabel(c.type, false), c.roomsLong) << c.type;
        EXPECT_EQ(UnitLabel(c.type), c.unit) << c.type;
        EXPECT_EQ(SurfaceLabel(c.type, true), c.surfaceShort) << c.type;
        EXPECT_EQ(SurfaceLabel(c.type, false), c.surfaceLong) << c.type;
    }
    EXPECT_EQ(StreetCaption(true) + NumberCaption(true), u"Barrio cerradoU.F."_s);
    EXPECT_EQ(StreetCaption(false) + NumberCaption(false), u"CalleNúmero"_s);
    EXPECT_EQ(YearCaption(true) + YearCaption(false), u"AñoAntigüedad"_s);
}

TEST(PropertyLabels, RentalTermByRule)
{
    for (const int operation : {3, 4, 6, 7, 8, 9}) {
        EXPECT_TRUE(TermApplies(operation, TTermRule::Card)) << operation;
        EXPECT_TRUE(TermApplies(operation, TTermRule::Report)) << operation;
    }
    for (const int operation : {2, 16}) {
        EXPECT_FALSE(TermApplies(operation, TTermRule::Card)) << operation;
        EXPECT_TRUE(TermApplies(operation, TTermRule::Report)) << operation;
    }
    for (const int operation : {0, 1, 5, 10, 17})
        EXPECT_FALSE(TermApplies(operation, TTermRule::Report)) << operation;

    struct Case {
        int operation, term;
        QString text;
    };
    const Case cases[] = {
        {3, 1, u"(Dia.)"_s}, {3, 7, u"(Sem.)"_s},  {3, 15, u"(Quin.)"_s}, {3, 30, u"(Men.)"_s},
        {2, 0, u"(Men.)"_s}, {16, 7, u"(Sem.)"_s}, {1, 1, QString()},     {5, 30, QString()},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TermText(c.operation, c.term), c.text) << c.operation << "/" << c.term;
}

TEST(PropertyLabels, UndefinedNames)
{
    const std::pair<QString, bool> cases[] = {
        {u"*No Definida"_s, true},
        {u"*NO DEFINIDO"_s, true},
        {u" * no  definida "_s, true},
        {u"definida"_s, true},
        {u"D"_s, true},
        {u";"_s, true},
        {QString(), false},
        {u"   "_s, false},
        {u"Centro"_s, false},
        {u"No Definida Norte"_s, false},
    };
    for (const auto& [name, undefined] : cases)
        EXPECT_EQ(IsUndefinedName(name), undefined) << name.toStdString();
}

TEST(PropertyLabels, TextCleanUps)
{
    const TextCase decoded[] = {
        {u"D&oacute;lar"_s, u"Dólar"_s},
        {u"&aacute;&eacute;&iacute;&oacute;&uacute;&ntilde;"_s, u"áéíóúñ"_s},
        {u"A &amp; B"_s, u"A &amp; B"_s},
        {u"&Aacute;rea &ntilde;&ntilde;"_s, u"&Aacute;rea ññ"_s},
    };
    for (const TextCase& c : decoded)
        EXPECT_EQ(DecodeHtmlEntities(c.input), c.expected);

    const TextCase escaped[] = {
        {u"Pérez & Hijos"_s, u"Pérez && Hijos"_s},
        {u"D&oacute;lar & Co"_s, u"Dólar && Co"_s},
        {u"A &amp; B"_s, u"A &&amp; B"_s},
        {u"Sur"_s, u"Sur"_s},
    };
    for (const TextCase& c : escaped)
        EXPECT_EQ(EscapeAmpersands(c.input), c.expected);

    const TextCase dashed[] = {
        {QString(), u"-"_s}, {u"  "_s, u"-"_s},      {u" null "_s, u"-"_s},
        {u"NULL"_s, u"-"_s}, {u" 3B "_s, u" 3B "_s}, {u"NULLO"_s, u"NULLO"_s},
    };
    for (const TextCase& c : dashed)
        EXPECT_EQ(NullToDash(c.input), c.expected);

    const TextCase streets[] = {
        {u"Mitre, Bartolomé"_s, u"Bartolomé Mitre"_s},
        {u"  Mitre ,  Bartolomé  "_s, u"Bartolomé Mitre"_s},
        {u"Rivadavia "_s, u"Rivadavia"_s},
        {u"Mitre,"_s, u"Mitre"_s},
        {u", Bartolomé"_s, u"Bartolomé"_s},
        {QString(), QString()},
    };
    for (const TextCase& c : streets)
        EXPECT_EQ(ReorderStreetName(c.input), c.expected);
}

TEST(PropertyLabels, LocalityLine)
{
    struct Case {
        QString locality, middle, last, expected;
    };
    const Case cases[] = {
        {u"Tigre"_s, u"1648"_s, u"Buenos Aires"_s, u"Tigre, (1648) Buenos Aires"_s},
        {u" Tigre "_s, u" "_s, u" Buenos Aires "_s, u"Tigre, Buenos Aires"_s},
        {u"Tigre"_s, QString(), QString(), u"Tigre"_s},
        {QString(), u"1648"_s, QString(), u"(1648)"_s},
        {QString(), QString(), u"Buenos Aires"_s, u"Buenos Aires"_s},
        {QString(), QString(), QString(), QString()},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ComposeLocality(c.locality, c.middle, c.last), c.expected) << c.expected.toStdString();
}

TEST_F(PropertyRowTest, AddressLine)
{
    struct Case {
        QMap<QString, QString> row;
        QString address;
    };
    const Case cases[] = {
        {{}, u"Bartolomé Mitre 1234"_s},
        {{{u"Prop_Piso"_s, u"'3'"_s}, {u"Prop_Dto"_s, u"'B'"_s}}, u"Bartolomé Mitre 1234, piso 3, dto. B"_s},
        {{{u"Prop_Numero"_s, u"'  '"_s}, {u"Prop_Piso"_s, u"'3'"_s}}, u"Bartolomé Mitre, piso 3"_s},
        {{{u"Prop_Numero"_s, u"NULL"_s}}, u"Bartolomé Mitre"_s},
        {{{u"Prop_Piso"_s, u"'NULL'"_s}, {u"Prop_Dto"_s, u"'null'"_s}}, u"Bartolomé Mitre 1234"_s},
        {{{u"Prop_Resto"_s, u"'Torre 2 '"_s}}, u"Bartolomé Mitre 1234, Torre 2 "_s},
        {{{u"Calle_Codigo"_s, u"2"_s}, {u"Prop_Numero"_s, u"' 80'"_s}}, u"Rivadavia  80"_s},
        {{{u"Barrio_Codigo"_s, u"1"_s}, {u"Calle_Codigo"_s, u"0"_s}, {u"Prop_Numero"_s, u"'112'"_s}},
         u"Los Alisos 112"_s},
    };
    for (const Case& c : cases) {
        const auto row = Row(c.row);
        ASSERT_TRUE(row);
        EXPECT_EQ(ComposeAddress(*row), c.address);
    }
}

TEST_F(PropertyRowTest, ListRowTexts)
{
    ASSERT_TRUE(DB()->ExecNoCount(u"UPDATE `W_Inmobiliarias` SET `Inmo_Te`=' 4444-5555 ' WHERE `Inmo_Codigo`=7;"_s));
    const QMap<QString, QString> house = {{u"Prop_Resto"_s, u"' Torre 2 '"_s}, {u"Prop_SupTno"_s, u"'1200'"_s},
                                          {u"Prop_SupCub"_s, u"'180'"_s},      {u"Prop_Plantas"_s, u"'2'"_s},
                                          {u"Prop_Dorm"_s, u"'3'"_s},          {u"Prop_Ambientes"_s, u"'5'"_s}};
    auto row = Row(house);
    ASSERT_TRUE(row);
    const QMap<QString, QString> expanded = ExpandedRowTexts(*row);
    EXPECT_EQ(expanded[u"TxtDir"_s], u"Bartolomé Mitre 1234"_s);
    EXPECT_EQ(expanded[u"txtResto"_s], u"Torre 2"_s);
    EXPECT_EQ(expanded[u"TxtTno"_s], u"1.200 m²"_s);
    EXPECT_EQ(expanded[u"TxtCub"_s], u"180 m²"_s);
    EXPECT_EQ(expanded[u"TxtPl"_s], u"2"_s);
    EXPECT_EQ(expanded[u"TxtDorm"_s], u"3 Dorm."_s);
    EXPECT_EQ(expanded[u"TxtInm"_s], u"Sur Propiedades\n\n4444-5555"_s);
    EXPECT_TRUE(expanded.contains(u"TxtTel"_s) && expanded[u"TxtTel"_s].isEmpty());
    EXPECT_EQ(expanded[u"TxtCiud"_s], u"Don Torcuato - Centro"_s);
    // The summary shows the whole address, its rest once.
    const QMap<QString, QString> summary = SummaryRowTexts(*row);
    EXPECT_EQ(summary[u"TxtDom"_s], u"Bartolomé Mitre 1234,  Torre 2 "_s);
    EXPECT_EQ(summary[u"TxtDom"_s].count(u"Torre 2"_s), 1);
    EXPECT_EQ(summary[u"TxtSup"_s], u"1.200 m²"_s);

    // An apartment counts rooms; a plot has no covered surface, storeys or rooms.
    QMap<QString, QString> apartment = house;
    apartment[u"Edif_Codigo"_s] = u"5"_s;
    row = Row(apartment);
    ASSERT_TRUE(row);
    EXPECT_EQ(ExpandedRowTexts(*row)[u"TxtDorm"_s], u"5 Amb."_s);
    QMap<QString, QString> plot = house;
    plot[u"Edif_Codigo"_s] = u"2"_s;
    row = Row(plot);
    ASSERT_TRUE(row);
    const QMap<QString, QString> lot = ExpandedRowTexts(*row);
    EXPECT_EQ(lot[u"TxtTno"_s], u"1.200 m²"_s);
    for (const QString& cell : {u"TxtCub"_s, u"TxtPl"_s, u"TxtDorm"_s})
        EXPECT_TRUE(lot[cell].isEmpty()) << cell.toStdString();
}

TEST_F(PropertyRowTest, LocalityZoneAndSummary)
{
    struct Case {
        QMap<QString, QString> row;
        QString locZon, summary;
    };
    const Case cases[] = {
        {{}, u"Don Torcuato - Centro"_s, u"Casa Venta U$S 150.000, Don Torcuato, Centro"_s},
        {{{u"Zon_Codigo"_s, u"1"_s}}, u"Don Torcuato"_s, u"Casa Venta U$S 150.000, Don Torcuato"_s},
        {{{u"Zon_Codigo"_s, u"0"_s}}, u"Don Torcuato"_s, u"Casa Venta U$S 150.000, Don Torcuato"_s},
        {{{u"Loc_Codigo"_s, u"3"_s}, {u"Zon_Codigo"_s, u"1"_s}}, u"*No Definida"_s, u"Casa Venta U$S 150.000"_s},
        {{{u"Barrio_Codigo"_s, u"1"_s},
          {u"Edif_Codigo"_s, u"5"_s},
          {u"Situ_Codigo"_s, u"3"_s},
          {u"Moneda_Codigo"_s, u"2"_s},
          {u"Prop_Precio"_s, u"1234567.5"_s}},
         u"Don Torcuato - Centro"_s,
         u"Departamento en barrio cerrado Alquiler $ 1.234.568, Don Torcuato, Centro"_s},
    };
    for (const Case& c : cases) {
        const auto row = Row(c.row);
        ASSERT_TRUE(row);
        EXPECT_EQ(ComposeLocZon(*row), c.locZon);
        EXPECT_EQ(ComposeSummary(*row), c.summary);
    }
}

TEST_F(PropertyRowTest, FeaturesLine)
{
    struct Case {
        int garage, quarters, phone, brandNew;
        QString features;
    };
    const Case cases[] = {
        {0, 0, 0, 0, QString()},
        {0, 0, 0, 1, u"A estrenar"_s},
        {1, 1, 1, 1, u"Cochera, Depend., Tel., A estrenar"_s},
        {1, 0, 1, 0, u"Cochera, Tel."_s},
    };
    for (const Case& c : cases) {
        const auto row = Row({{u"Prop_Cochera"_s, QString::number(c.garage)},
                              {u"Prop_Depn"_s, QString::number(c.quarters)},
                              {u"Prop_Te"_s, QString::number(c.phone)},
                              {u"Prop_aEstrenar"_s, QString::number(c.brandNew)}});
        ASSERT_TRUE(row);
        EXPECT_EQ(ComposeFeatures(*row), c.features);
    }
    // Features never given are NULL in the table: no feature, and nothing logged.
    const qsizetype logged = root.LogLines().size();
    const auto row = Row();
    ASSERT_TRUE(row);
    EXPECT_EQ(ComposeFeatures(*row), QString());
    EXPECT_EQ(LogSince(logged), QStringList());
}

TEST_F(PropertyRowTest, StatusAndBadge)
{
    struct Case {
        QMap<QString, QString> row;
        QString text, shortText;
        bool withdrawn, active;
        quint32 background, foreground;
    };
    const Case cases[] = {
        {{}, u"Activa"_s, u"Act."_s, false, true, 0xFF01548E, 0xFFFFFFFF},
        {{{u"Standby_Codigo"_s, u"2"_s}}, u"Reservada"_s, u"Res."_s, false, false, 0xFFF8B80C, 0xFF000000},
        {{{u"Prop_Estado"_s, u"1"_s}, {u"Baja_Codigo"_s, u"1"_s}, {u"Standby_Codigo"_s, u"1"_s}},
         u"Vendida"_s,
         u"Vend."_s,
         true,
         false,
         0xFFF5070C,
         0xFFFFFFFF},
    };
    for (const Case& c : cases) {
        const auto row = Row(c.row);
        ASSERT_TRUE(row);
        const TPropertyStatus status = StatusText(*row, false);
        EXPECT_EQ(status.text, c.text);
        EXPECT_EQ(StatusText(*row, true).text, c.shortText);
        EXPECT_EQ(status.withdrawn, c.withdrawn);
        EXPECT_EQ(status.active, c.active);
        EXPECT_EQ(StatusBadge(status).background, c.background);
        EXPECT_EQ(StatusBadge(status).text, c.foreground);
    }
}

TEST_F(PropertyRowTest, ShownValues)
{
    auto row = Row({{u"Prop_Dorm"_s, u"3"_s},
                    {u"Prop_Ambientes"_s, u"4"_s},
                    {u"Prop_SupTno"_s, u"12500"_s},
                    {u"Prop_Year"_s, u"2000"_s},
                    {u"Situ_Codigo"_s, u"3"_s},
                    {u"Prop_Plazo"_s, u"7"_s},
                    {u"Prop_Descripcion"_s, u"' Amplia casa\nCon jardín '"_s}});
    ASSERT_TRUE(row);
    EXPECT_EQ(PriceText(*row), u"U$S 150.000"_s);
    EXPECT_EQ(CurrencyNameText(*row), u"Dólar"_s);
    EXPECT_EQ(NumberText(*row, u"Prop_SupTno"_s), u"12.500"_s);
    EXPECT_EQ(NumberText(*row, u"Prop_Numero"_s), u"1.234"_s);
    EXPECT_EQ(NumberText(*row, u"Prop_SupCub"_s), QString());
    EXPECT_EQ(RoomsValue(*row), u"3"_s);
    EXPECT_EQ(AgeText(*row, 2026), u"26"_s);
    EXPECT_EQ(TermText(*row), u"(Sem.)"_s);
    EXPECT_EQ(AgencyNameText(*row), u"Sur Propiedades"_s);
    EXPECT_EQ(DescriptionText(*row), u"Amplia casa\nCon jardín\r\n\r\n"_s);

    // An apartment counts rooms, a plot has none; an implausible year shows no age.
    row = Row({{u"Edif_Codigo"_s, u"5"_s},
               {u"Prop_Dorm"_s, u"3"_s},
               {u"Prop_Ambientes"_s, u"4"_s},
               {u"Prop_Year"_s, u"1700"_s}});
    ASSERT_TRUE(row);
    EXPECT_EQ(RoomsValue(*row), u"4"_s);
    EXPECT_EQ(AgeText(*row, 2026), QString());
    EXPECT_EQ(TermText(*row), QString());
    row = Row({{u"Edif_Codigo"_s, u"2"_s}, {u"Prop_Dorm"_s, u"3"_s}, {u"Prop_Year"_s, u"1800"_s}});
    ASSERT_TRUE(row);
    EXPECT_EQ(RoomsValue(*row), QString());
    EXPECT_EQ(AgeText(*row, 2026), QString());
}

TEST_F(PropertyRowTest, GettersLogAndFallBack)
{
    const auto row = Row({{u"Prop_Year"_s, u"'antiguo'"_s},
                          {u"Prop_Cochera"_s, u"'quizás'"_s},
                          {u"Prop_FechaAlta"_s, u"'ayer'"_s},
                          {u"Prop_FechaMod"_s, u"'2024-03-05 07:08:09'"_s}});
    ASSERT_TRUE(row);
    struct Case {
        std::function<bool()> fellBack;
        QString code;
    };
    const Case cases[] = {
        {[&] { return PropInteger(*row, u"Prop_Year"_s) == 0; }, u"$8009"_s},
        {[&] { return PropInteger(*row, u"Prop_Nada"_s) == 0; }, u"$8009"_s},
        {[&] { return PropNumber(*row, u"Prop_Nada"_s) == 0; }, u"$8009"_s},
        {[&] { return PropText(*row, u"Prop_Nada"_s).isEmpty(); }, u"$8010"_s},
        {[&] { return !PropBoolean(*row, u"Prop_Nada"_s); }, u"$8011"_s},
        {[&] { return !PropBoolean(*row, u"Prop_Cochera"_s); }, u"$8012"_s},
        {[&] { return !PropDateTime(*row, u"Prop_FechaAlta"_s).isValid(); }, u"$8013"_s},
        {[&] { return !PropDateTime(*row, u"Prop_Nada"_s).isValid(); }, u"$8013"_s},
    };
    for (const Case& c : cases) {
        const qsizetype logged = root.LogLines().size();
        EXPECT_TRUE(c.fellBack()) << c.code.toStdString();
        const QStringList lines = LogSince(logged);
        ASSERT_EQ(lines.size(), 1) << c.code.toStdString();
        EXPECT_TRUE(lines.first().contains(c.code + u": "_s)) << lines.first().toStdString();
    }

    // Good values and NULLs read quietly.
    const qsizetype logged = root.LogLines().size();
    EXPECT_EQ(PropDateTime(*row, u"Prop_FechaMod"_s), QDateTime(QDate(2024, 3, 5), QTime(7, 8, 9)));
    EXPECT_FALSE(PropDateTime(*row, u"Inmo_FechaBaja"_s).isValid());
    EXPECT_EQ(PropInteger(*row, u"Edif_Codigo"_s), 1);
    EXPECT_EQ(PropInteger(*row, u"Prop_Dorm"_s), 0);
    EXPECT_EQ(PropNumber(*row, u"Prop_PrecioPesos"_s), 150000000.0);
    EXPECT_EQ(PropText(*row, u"Vend_Nombre"_s), QString());
    EXPECT_FALSE(PropBoolean(*row, u"Prop_Te"_s));
    EXPECT_EQ(LogSince(logged), QStringList());
}
