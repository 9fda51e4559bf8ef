#include "records/OwnProperty.h"

#include "core/MiscFunc.h"
#include "db/DBSchema.h"
#include "db/uDB.h"
#include "records/PhotoFiles.h"
#include "support/SchemaDatabase.h"
#include "support/TestRoot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int kService = 700012; // a listing of agency 7 the service already has

class OwnPropertyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(OpenEmptyInstallationDatabase());
        ASSERT_TRUE(DB()->ExecNoCount(
            u"INSERT INTO `W_Monedas` VALUES (1, 'Pesos', '$', 1), (2, 'Dólar', 'U$S', 1000);"
            u"INSERT INTO `W_TipoCampos` VALUES (1, 'TEXT'), (2, 'COMBO');"
            u"INSERT INTO `W_DetalleEdif` VALUES (10, 'Orientación', '', 1, 1), (11, 'Estado', 'Bueno/Muy bueno', 1, "
            u"2), (12, 'Vista', '', 1, 1), (20, 'Amenities', '', 5, 1);"
            u"INSERT INTO `W_Usuarios` (`Usuario_Codigo`, `Inmo_Codigo`, `Usuario_Nombre`, `Usuario_Perfil`, "
            u"`Usuario_Activo`) VALUES (70, 7, 'Zoe Admin', 3, 1), (71, 7, 'ana carga', 1, 1), (72, 7, 'Inactivo', 1, "
            u"0), (80, 8, 'Otra', 1, 1);"
            u"INSERT INTO `W_Clientes` (`Cli_Codigo`, `Inmo_Codigo`, `Cli_Tipo`, `Cli_Nombre`) VALUES (500, 7, 1, "
            u"'Pérez'), (501, 7, 0, 'Comprador'), (502, 7, 1, 'Acosta'), (503, 8, 1, 'Ajeno');"_s));
    }

    // A house for sale at USD 150.000 on a complete street location.
    static TOwnPropertyInput House()
    {
        TOwnPropertyInput in;
        in.Mode = EditNew;
        in.BuildingType = 1;
        in.Operation = 1;
        in.Currency = 2;
        in.Price = u"150.000"_s;
        in.Number = u"1234"_s;
        in.Location = {2, 2, 2, 2, 2, 1, 0, u"Argentina"_s};
        return in;
    }

    static QString Value(const QString& sql)
    {
        std::unique_ptr<TResultSet> rows;
        if (!DB()->QueryNoCount(sql, rows) || !rows || rows->RecordCount() == 0)
            return u"<none>"_s;
        QStringList cells;
        for (rows->First(); !rows->Eof(); rows->Next()) {
            QStringList row;
            for (int c = 0; c < rows->FieldCount(); ++c)
                row << (rows->IsNullAt(c) ? u"NULL"_s : rows->AsStringAt(c));
            cells << row.join(u',');
        }
        return cells.join(u';');
    }

    TestRoot root;
};

// The rules on their own: the save normalises first, which already strips from the memos
// what their rule refuses.
TEST_F(OwnPropertyTest, EachRuleRefusesWithItsMessage)
{
    struct Case {
        const char* name;
        std::function<void(TOwnPropertyInput&)> change;
        QString field;
        QString message;
    };
    const auto invalid = [](const QString& caption) { return OwnPropertyText::InvalidField(caption); };
    const std::vector<Case> cases = {
        {"internal code", [](auto& in) { in.InternalCode = u"A<1>"_s; }, u"edtPropCodigoInterno"_s,
         invalid(u"Código interno"_s)},
        {"price not digits", [](auto& in) { in.Price = u"150.000,50"_s; }, u"edtPropPrecio"_s,
         OwnPropertyText::InvalidPrice},
        {"price empty", [](auto& in) { in.Price.clear(); }, u"edtPropPrecio"_s, OwnPropertyText::InvalidPrice},
        {"sale below 10.000 pesos", [](auto& in) { in.Currency = 1, in.Price = u"9.999"_s; }, u"edtPropPrecio"_s,
         OwnPropertyText::InvalidPrice},
        {"rent below 400 pesos", [](auto& in) { in.Currency = 1, in.Operation = 3, in.Price = u"399"_s; },
         u"edtPropPrecio"_s, OwnPropertyText::InvalidPrice},
        {"street without number", [](auto& in) { in.Number.clear(); }, u"edtPropNum"_s, invalid(u"Número"_s)},
        {"number with letters", [](auto& in) { in.Number = u"12b"_s; }, u"edtPropNum"_s, invalid(u"Número"_s)},
        {"floor of an apartment",
         [](auto& in) {
             in.BuildingType = 5;
             in.Floor = u"100"_s;
         },
         u"edtPropPiso"_s, OwnPropertyText::InvalidFloor},
        {"apartment without floor", [](auto& in) { in.BuildingType = 5; }, u"edtPropPiso"_s,
         OwnPropertyText::InvalidFloor},
        {"unit", [](auto& in) { in.Unit = u"A-1"_s; }, u"edtPropDto"_s, invalid(u"U.F."_s)},
        {"rest", [](auto& in) { in.Rest = u"<b>"_s; }, u"edtPropOtros"_s, invalid(u"Resto"_s)},
        {"land surface", [](auto& in) { in.LandSurface = u"300m"_s; }, u"edtPropSupTno"_s, invalid(u"Sup. Tno."_s)},
        {"covered surface", [](auto& in) { in.CoveredSurface = u"1234567890"_s; }, u"edtPropSupCub"_s,
         invalid(u"Sup. Cubierta"_s)},
        {"no floors", [](auto& in) { in.Floors = u"0"_s; }, u"edtPropPlantas"_s, invalid(u"Plantas"_s)},
        {"rooms", [](auto& in) { in.Rooms = u"3.5"_s; }, u"edtPropDorm"_s, invalid(u"Dorm."_s)},
        {"baths", [](auto& in) { in.Baths = u"-1"_s; }, u"edtPropBanos"_s, invalid(u"Baños"_s)},
        {"year", [](auto& in) { in.Year = u"19999"_s; }, u"edtPropAno"_s, invalid(u"Año"_s)},
        {"description", [](auto& in) { in.Description = u"Linda casa {oferta}"_s; }, u"mmoPropDesc"_s,
         invalid(u"Descripción"_s)},
        {"private notes", [](auto& in) { in.PrivateNotes = u"llave en {portería}"_s; }, u"mmoPropInfoPrivada"_s,
         invalid(u"Notas de la propiedad"_s)},
        {"no locality", [](auto& in) { in.Location.Locality = 0; }, u"edtPropUbicacion"_s,
         OwnPropertyText::MissingLocation},
        {"neither street nor neighbourhood", [](auto& in) { in.Location.Street = 0; }, u"edtPropUbicacion"_s,
         OwnPropertyText::MissingLocation},
        {"text detail",
         [](auto& in) {
             TExtraDetail d;
             d.Code = 10;
             d.Caption = u"Orientación"_s;
             d.Text = u"norte {sol}"_s;
             in.Details.push_back(d);
         },
         u"detail:10"_s, invalid(u"Orientación"_s)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TOwnPropertyInput in = House();
        c.change(in);
        TValidationFailure failure;
        EXPECT_FALSE(ValidateOwnProperty(in, ExchangeRate(in.Currency), failure));
        EXPECT_EQ(failure.Field, c.field);
        EXPECT_EQ(failure.Message, c.message);
    }

    // What must pass: the lowest prices of each band, a neighbourhood without number,
    // a floor in lower case and the floors that are words.
    const std::vector<std::pair<const char*, std::function<void(TOwnPropertyInput&)>>> accepted = {
        {"house for sale", [](auto&) {}},
        {"10.000 pesos for sale", [](auto& in) { in.Currency = 1, in.Price = u"10.000"_s; }},
        {"400 pesos a month", [](auto& in) { in.Currency = 1, in.Operation = 3, in.Price = u"400"_s; }},
        {"USD 10 by the rate", [](auto& in) { in.Price = u"10"_s; }},
        {"neighbourhood",
         [](auto& in) {
             in.OnStreet = false;
             in.Number.clear();
             in.Location.Neighbourhood = 1;
         }},
        {"ground floor", [](auto& in) { in.BuildingType = 5, in.Floor = u" pb "_s; }},
        {"no zone", [](auto& in) { in.Location.Zone = 0; }},
    };
    for (const auto& [name, change] : accepted) {
        SCOPED_TRACE(name);
        TOwnPropertyInput in = House();
        change(in);
        NormaliseInput(in);
        TValidationFailure failure;
        EXPECT_TRUE(ValidateOwnProperty(in, ExchangeRate(in.Currency), failure)) << failure.Message.toStdString();
    }
}

TEST_F(OwnPropertyTest, NewPropertiesTakeLocalCodesAndEverythingIsMarked)
{
    TOwnPropertyInput in = House();
    in.Seller = 70; // only an administrator picks another seller
    in.Owner = 500;
    in.AddressLevel = AddressNone;
    in.PortalRequest = true;
    in.Description = u"Casa <b>luminosa</b>\ncon jardín"_s;
    TExtraDetail text;
    text.Code = 10, text.Text = u" Norte "_s;
    TExtraDetail combo;
    combo.Code = 11, combo.IsCombo = true, combo.Option = 1;
    TExtraDetail empty;
    empty.Code = 12;
    in.Details = {text, combo, empty};

    int first = 0, second = 0;
    QString error;
    ASSERT_TRUE(SaveOwnProperty(in, 71, 1, nullptr, first, error)) << error.toStdString();
    ASSERT_TRUE(SaveOwnProperty(House(), 70, 3, nullptr, second, error)) << error.toStdString();
    EXPECT_EQ(first, kLocalCodeFirst);
    EXPECT_EQ(second, kLocalCodeFirst + 1);

    EXPECT_EQ(Value(u"SELECT `Inmo_Codigo`, `Prop_Precio`, `Moneda_Codigo`, `Usuario_Codigo`, `Prop_Vendedor`, "
                    u"`publicarDireccion`, `publicarDireccionExacta`, `Baja_Codigo`, `Prop_Estado`, `Prop_FechaAlta`, "
                    u"`Prop_Plazo`, `Sync_Tipo` FROM `W_Propiedades` WHERE `Prop_Codigo` = %1"_s.arg(first)),
              u"7,150000,2,71,71,0,0,1,2,NULL,NULL,AM"_s);
    EXPECT_EQ(Value(u"SELECT `Prop_Descripcion` FROM `W_Propiedades` WHERE `Prop_Codigo` = %1"_s.arg(first)),
              u"Casa luminosa\r\ncon jardín"_s);
    EXPECT_EQ(Value(u"SELECT `Prop_CodigoGeneracion` <> '' FROM `W_Propiedades` WHERE `Prop_Codigo` = %1"_s.arg(first)),
              u"1"_s);
    EXPECT_EQ(Value(u"SELECT `Prot_Codigo`, `Sync_Tipo` FROM `W_Propietarios`"_s), u"500,AM"_s);
    EXPECT_EQ(Value(u"SELECT `DetalleEdif_Codigo`, `MasDato_Valor`, `Sync_Tipo` FROM `W_MasDatos` ORDER BY 1"_s),
              u"10,Norte,AM;11,1,AM"_s);
    EXPECT_EQ(Value(u"SELECT `Inmo_Codigo`, `ZP_Publicar`, `Sync_Tipo` FROM `W_Zonaprop`"_s), u"7,1,AM"_s);
    // The administrator's own save with another seller chosen: that seller.
    TOwnPropertyInput third = House();
    third.Seller = 71;
    int code = 0;
    ASSERT_TRUE(SaveOwnProperty(third, 70, 3, nullptr, code, error));
    EXPECT_EQ(Value(u"SELECT `Prop_Vendedor` FROM `W_Propiedades` WHERE `Prop_Codigo` = %1"_s.arg(code)), u"71"_s);
}

TEST_F(OwnPropertyTest, ModifyingAServiceListingMarksWhatItDropsForDeletion)
{
    ASSERT_TRUE(DB()->ExecNoCount(
        u"INSERT INTO `W_Propiedades` (`Prop_Codigo`, `Inmo_Codigo`, `Edif_Codigo`, `Prop_CodigoGeneracion`, "
        u"`Prop_FechaAlta`) VALUES (700012, 7, 1, 'G-SERVICE', '2024-03-01 10:00:00');"
        u"INSERT INTO `W_Propietarios` VALUES (500, 700012, NULL);"
        u"INSERT INTO `W_MasDatos` VALUES (700012, 10, 'Sur', NULL), (700012, 12, 'Al mar', NULL);"
        u"INSERT INTO `W_Zonaprop` (`Prop_Codigo`, `Inmo_Codigo`, `ZP_Publicar`) VALUES (700012, 7, 1);"_s));
    TOwnPropertyInput in = House();
    in.Mode = EditModify;
    in.Code = kService;
    in.GenerationCode = u"G-SERVICE"_s;
    in.EntryDate = QDateTime(QDate(2024, 3, 1), QTime(10, 0));
    ASSERT_TRUE(LoadExtraDetails(1, kService, in.Details));
    ASSERT_EQ(in.Details.size(), 3u);
    in.Details[0].Text = u"Norte"_s; // changed
    in.Details[2].Text.clear();      // dropped
    in.Owner = 0;                    // the owner link dropped
    in.PortalRequest = false;        // the portal asked to withdraw

    int code = 0;
    QString error;
    ASSERT_TRUE(SaveOwnProperty(in, 71, 1, nullptr, code, error)) << error.toStdString();
    EXPECT_EQ(code, kService);
    EXPECT_EQ(Value(u"SELECT `Prop_CodigoGeneracion`, `Prop_FechaAlta`, `Sync_Tipo` FROM `W_Propiedades`"_s),
              u"G-SERVICE,2024-03-01 10:00:00,AM"_s);
    EXPECT_EQ(Value(u"SELECT `Prot_Codigo`, `Sync_Tipo` FROM `W_Propietarios`"_s), u"500,B"_s);
    EXPECT_EQ(Value(u"SELECT `DetalleEdif_Codigo`, `MasDato_Valor`, `Sync_Tipo` FROM `W_MasDatos` ORDER BY 1"_s),
              u"10,Norte,AM;12,Al mar,B"_s);
    EXPECT_EQ(Value(u"SELECT `ZP_Publicar`, `ZP_Estado`, `Sync_Tipo` FROM `W_Zonaprop`"_s),
              u"0,Pendiente de baja,AM"_s);
    // What the form reads back no longer holds what was dropped.
    EXPECT_EQ(PropertyOwner(kService), 0);
    std::vector<TExtraDetail> again;
    ASSERT_TRUE(LoadExtraDetails(1, kService, again));
    EXPECT_EQ(again[2].Text, QString());

    // An owner chosen again takes the marked row back as a change.
    in.Owner = 502;
    ASSERT_TRUE(SaveOwnProperty(in, 71, 1, nullptr, code, error));
    EXPECT_EQ(Value(u"SELECT `Prot_Codigo`, `Sync_Tipo` FROM `W_Propietarios`"_s), u"502,AM"_s);
}

TEST_F(OwnPropertyTest, ALocalListingLosesDroppedChildRowsOutright)
{
    TOwnPropertyInput in = House();
    in.Owner = 500;
    TExtraDetail text;
    text.Code = 10, text.Text = u"Norte"_s;
    in.Details = {text};
    int code = 0;
    QString error;
    ASSERT_TRUE(SaveOwnProperty(in, 71, 1, nullptr, code, error));
    in.Mode = EditModify;
    in.Code = code;
    in.Owner = 0;
    in.Details.clear();
    ASSERT_TRUE(SaveOwnProperty(in, 71, 1, nullptr, code, error));
    EXPECT_EQ(Value(u"SELECT COUNT(*) FROM `W_Propietarios`"_s), u"0"_s);
    EXPECT_EQ(Value(u"SELECT COUNT(*) FROM `W_MasDatos`"_s), u"0"_s);
}

TEST_F(OwnPropertyTest, APhotoCommitThatFailsTakesTheWholeSaveBack)
{
    RecordingFatalHandler fatal;
    TOwnPropertyInput in = House();
    in.Owner = 500;
    TExtraDetail text;
    text.Code = 10, text.Text = u"Norte"_s;
    in.Details = {text};
    bool afterCommit = false;
    TPhotoCommit photos;
    photos.Statements = [](int code) { return u"UPDATE `W_Fotos_Gone` SET `x` = %1;"_s.arg(code); };
    photos.AfterCommit = [&](int) { afterCommit = true; };
    int code = 0;
    QString error;
    EXPECT_FALSE(SaveOwnProperty(in, 71, 1, &photos, code, error));
    EXPECT_FALSE(afterCommit);
    ASSERT_TRUE(OpenDatabase(Paths.DatabaseFile, Config::DatabasePassword, Config::DatabaseDriverId));
    for (const char* table : {"W_Propiedades", "W_Propietarios", "W_MasDatos", "W_Zonaprop"})
        EXPECT_EQ(Value(u"SELECT COUNT(*) FROM `%1`"_s.arg(QLatin1StringView(table))), u"0"_s) << table;
}

TEST_F(OwnPropertyTest, WithdrawalSuspensionAndReassignment)
{
    // A local listing with a photo, an owner, a detail and a portal request.
    TOwnPropertyInput in = House();
    in.Owner = 500;
    in.PortalRequest = true;
    TExtraDetail text;
    text.Code = 10, text.Text = u"Norte"_s;
    in.Details = {text};
    int local = 0;
    QString error;
    ASSERT_TRUE(SaveOwnProperty(in, 71, 1, nullptr, local, error));
    const int photo = kLocalCodeFirst;
    ASSERT_TRUE(DB()->ExecNoCount(
        u"INSERT INTO `W_Fotos` VALUES (%1, %2, 0, NULL);"
        u"INSERT INTO `W_Propiedades` (`Prop_Codigo`, `Inmo_Codigo`, `Baja_Codigo`, `Prop_Estado`, "
        u"`Standby_Codigo`, `Prop_Vendedor`) VALUES (700012, 7, 1, 2, 1, 72), (700013, 7, 1, 2, 1, NULL), "
        u"(800001, 8, 1, 2, 1, 80);"_s.arg(photo)
            .arg(local)));
    const QString file = PhotoFileName(local, photo);
    ASSERT_TRUE(QDir().mkpath(QFileInfo(file).absolutePath()));
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly) && out.write("jpg") == 3);
    out.close();

    ASSERT_TRUE(WithdrawProperty(local, 0, 71, error));
    EXPECT_FALSE(QFile::exists(file));
    for (const char* table : {"W_Propiedades", "W_Propietarios", "W_MasDatos", "W_Zonaprop", "W_Fotos"})
        EXPECT_EQ(
            Value(u"SELECT COUNT(*) FROM `%1` WHERE `Prop_Codigo` = %2"_s.arg(QLatin1StringView(table)).arg(local)),
            u"0"_s)
            << table;

    ASSERT_TRUE(WithdrawProperty(kService, 4, 71, error));
    EXPECT_EQ(Value(u"SELECT `Baja_Codigo`, `Prop_Estado`, `Usuario_Codigo`, `Sync_Tipo` FROM `W_Propiedades` WHERE "
                    u"`Prop_Codigo` = 700012"_s),
              u"4,1,71,AM"_s);
    ASSERT_TRUE(SuspendProperty(700013, 3, 70));
    EXPECT_EQ(Value(u"SELECT `Standby_Codigo`, `Usuario_Codigo`, `Sync_Tipo` FROM `W_Propiedades` WHERE "
                    u"`Prop_Codigo` = 700013"_s),
              u"3,70,AM"_s);
    // Another agency's listing is not ours to suspend or withdraw.
    EXPECT_FALSE(SuspendProperty(800001, 3, 70));
    EXPECT_FALSE(WithdrawProperty(800001, 4, 70, error));
    EXPECT_EQ(error, OwnPropertyText::CouldNotDelete);

    int changed = 0;
    ASSERT_TRUE(DB()->ExecNoCount(u"UPDATE `W_Propiedades` SET `Sync_Tipo` = NULL;"_s));
    ASSERT_TRUE(ReassignSeller(-2, 71, changed));
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(Value(u"SELECT `Prop_Codigo`, `Prop_Vendedor`, `Sync_Tipo` FROM `W_Propiedades` ORDER BY 1"_s),
              u"700012,72,NULL;700013,71,AM;800001,80,NULL"_s);
}

TEST_F(OwnPropertyTest, SellerAndOwnerLists)
{
    QList<TListEntry> sellers, owners;
    ASSERT_TRUE(LoadSellers(7, sellers));
    ASSERT_TRUE(LoadOwners(7, owners));
    QStringList names;
    for (const TListEntry& e : sellers)
        names << e.Name;
    EXPECT_EQ(names, QStringList({u"ana carga"_s, u"Zoe Admin"_s}));
    names.clear();
    for (const TListEntry& e : owners)
        names << u"%1 %2"_s.arg(e.Code).arg(e.Name);
    EXPECT_EQ(names, QStringList({u"502 Acosta"_s, u"500 Pérez"_s}));

    int address = -1, exact = -1;
    for (int level : {AddressRounded, AddressExact, AddressNone}) {
        AddressColumns(level, address, exact);
        EXPECT_EQ(AddressLevelOf(address, exact), level);
    }
}

} // namespace
