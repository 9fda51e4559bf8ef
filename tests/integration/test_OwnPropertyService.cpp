// The agency's own listings edited on the client and synchronised with a real
// korvel-service: what the master database holds afterwards.
#include "db/InstallContext.h"
#include "db/uDB.h"
#include "records/OwnProperty.h"
#include "support/ServiceClientFixture.h"
#include "sync/Sync.h"
#include "sync/SyncData.h"
#include "sync/Upload.h"

#include <QDir>

#include <sqlite3.h>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class OwnPropertyServiceTest : public ServiceClientTest {
protected:
    static qint64 Local(const QString& sql)
    {
        std::unique_ptr<TResultSet> r;
        if (!DB() || !DB()->QueryNoCount(sql, r) || !r || r->RecordCount() == 0 || r->IsNullAt(0))
            return -999;
        return r->AsInt64At(0);
    }
    // The rows of a query on the master database, cells joined by "," and rows by ";".
    QString Master(const QString& sql)
    {
        sqlite3* db = nullptr;
        QStringList rows;
        const QByteArray path = QDir(service.DataFolder()).filePath(u"master.db"_s).toUtf8();
        if (sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
            sqlite3_stmt* s = nullptr;
            const QByteArray text = sql.toUtf8();
            if (sqlite3_prepare_v2(db, text.constData(), -1, &s, nullptr) == SQLITE_OK)
                while (sqlite3_step(s) == SQLITE_ROW) {
                    QStringList cells;
                    for (int c = 0; c < sqlite3_column_count(s); ++c)
                        cells << (sqlite3_column_type(s, c) == SQLITE_NULL
                                      ? u"NULL"_s
                                      : QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, c))));
                    rows << cells.join(u',');
                }
            sqlite3_finalize(s);
        }
        sqlite3_close(db);
        return rows.join(u';');
    }
    void Synchronise()
    {
        ASSERT_EQ(UploadChanges(session), QString());
        ASSERT_EQ(SyncIncremental(session), QString());
        EXPECT_FALSE(HasPendingChanges());
    }
};

} // namespace

TEST_F(OwnPropertyServiceTest, ANewListingArrivesAndAModifiedOneLosesExactlyWhatWasDropped)
{
    Install();
    ASSERT_FALSE(HasFatalFailure());
    const int admin =
        int(Local(u"SELECT `Usuario_Codigo` FROM `W_Usuarios` WHERE `Inmo_Codigo`=7 AND `Usuario_Login`='admin';"_s));
    const int owner =
        int(Local(u"SELECT MIN(`Cli_Codigo`) FROM `W_Clientes` WHERE `Inmo_Codigo`=7 AND `Cli_Tipo`=1;"_s));
    ASSERT_GT(owner, 0);
    // A building type with at least two free-text details, and a current listing of it.
    const int type = int(Local(
        u"SELECT d.`Edif_Codigo` FROM `W_DetalleEdif` d JOIN `W_TipoCampos` t ON t.`TipoCampo_Codigo` = "
        u"d.`TipoCampo_Codigo` WHERE t.`TipoCampo_Nombre` = 'TEXT' AND d.`Edif_Codigo` IN (SELECT `Edif_Codigo` FROM "
        u"`W_Propiedades` WHERE `Inmo_Codigo` = 7 AND `Prop_Estado` = 2) GROUP BY d.`Edif_Codigo` HAVING COUNT(*) >= 2 "
        u"ORDER BY 1 LIMIT 1;"_s));
    ASSERT_GT(type, 0);
    const int listing = int(Local(u"SELECT MIN(`Prop_Codigo`) FROM `W_Propiedades` WHERE `Inmo_Codigo` = 7 AND "
                                  u"`Prop_Estado` = 2 AND `Edif_Codigo` = %1;"_s.arg(type)));
    ASSERT_GT(listing, 0);

    // A house for sale at USD 150.000 where the listing stands.
    TOwnPropertyInput house;
    ASSERT_TRUE(LoadOwnPropertyInput(listing, house));
    const TPropertyLocation where = house.Location;
    const bool onStreet = house.OnStreet;
    house = TOwnPropertyInput();
    house.Mode = EditNew;
    house.Currency = int(Local(u"SELECT `Moneda_Codigo` FROM `W_Monedas` WHERE `Moneda_Cotizacion` > 1 ORDER BY 1;"_s));
    house.Price = u"150.000"_s;
    house.Number = u"1234"_s;
    house.Location = where;
    house.OnStreet = onStreet;
    house.Description = u"Casa con jardín, creada en el cliente"_s;
    house.Owner = owner;
    int created = 0;
    QString error;
    ASSERT_TRUE(SaveOwnProperty(house, admin, 3, nullptr, created, error)) << error.toStdString();
    std::unique_ptr<TResultSet> row;
    ASSERT_TRUE(DB()->QueryNoCount(
        u"SELECT `Prop_CodigoGeneracion` FROM `W_Propiedades` WHERE `Prop_Codigo` = %1;"_s.arg(created), row));
    const QString createdGeneration = row->AsStringAt(0);

    // The listing gets two details and the owner, then loses one detail and the owner.
    TOwnPropertyInput modified;
    ASSERT_TRUE(LoadOwnPropertyInput(listing, modified));
    ASSERT_GE(modified.Details.size(), 2u);
    int kept = 0, dropped = 0;
    for (TExtraDetail& d : modified.Details)
        if (!d.IsCombo && !kept)
            kept = d.Code, d.Text = u"Al frente"_s;
        else if (!d.IsCombo && !dropped)
            dropped = d.Code, d.Text = u"Con vista"_s;
    ASSERT_GT(dropped, 0);
    modified.Owner = owner;
    int saved = 0;
    ASSERT_TRUE(SaveOwnProperty(modified, admin, 3, nullptr, saved, error)) << error.toStdString();
    Synchronise();

    EXPECT_EQ(Master(u"SELECT `Inmo_Codigo`, `Edif_Codigo`, `Prop_Precio`, `Prop_Numero`, `Prop_Estado` FROM "
                     u"`W_Propiedades` WHERE `Prop_CodigoGeneracion` = '%1';"_s.arg(createdGeneration)),
              u"7,1,150000.0,1234,2"_s);
    const QString arrived = Master(
        u"SELECT `Prop_Codigo` FROM `W_Propiedades` WHERE `Prop_CodigoGeneracion` = '%1';"_s.arg(createdGeneration));
    EXPECT_EQ(arrived.toLongLong() / 100000, 7);
    EXPECT_EQ(Master(u"SELECT `Prot_Codigo` FROM `W_Propietarios` WHERE `Prop_Codigo` = %1;"_s.arg(arrived)),
              QString::number(owner));
    // The client holds it under the service's code now.
    EXPECT_EQ(Local(u"SELECT `Prop_Codigo` FROM `W_Propiedades` WHERE `Prop_CodigoGeneracion` = '%1';"_s.arg(
                  createdGeneration)),
              arrived.toLongLong());

    const QString details =
        u"SELECT `DetalleEdif_Codigo`, `MasDato_Valor` FROM `W_MasDatos` WHERE `Prop_Codigo` = %1 AND "
        u"`DetalleEdif_Codigo` IN (%2, %3) ORDER BY 1;"_s.arg(listing)
            .arg(kept)
            .arg(dropped);
    const QString both = u"%1,Al frente;%2,Con vista"_s.arg(kept).arg(dropped);
    EXPECT_EQ(Master(details), both);
    EXPECT_EQ(Master(u"SELECT `Prot_Codigo` FROM `W_Propietarios` WHERE `Prop_Codigo` = %1;"_s.arg(listing)),
              QString::number(owner));
    const QString otherDetails =
        Master(u"SELECT `DetalleEdif_Codigo`, `MasDato_Valor` FROM `W_MasDatos` WHERE "
               u"`Prop_Codigo` = %1 AND `DetalleEdif_Codigo` NOT IN (%2, %3) ORDER BY 1;"_s.arg(listing)
                   .arg(kept)
                   .arg(dropped));

    ASSERT_TRUE(LoadOwnPropertyInput(listing, modified));
    for (TExtraDetail& d : modified.Details)
        if (d.Code == dropped)
            d.Text.clear();
    modified.Owner = 0;
    ASSERT_TRUE(SaveOwnProperty(modified, admin, 3, nullptr, saved, error)) << error.toStdString();
    Synchronise();

    EXPECT_EQ(Master(details), u"%1,Al frente"_s.arg(kept));
    EXPECT_EQ(Master(u"SELECT COUNT(*) FROM `W_Propietarios` WHERE `Prop_Codigo` = %1;"_s.arg(listing)), u"0"_s);
    // Nothing else of the listing went.
    EXPECT_EQ(Master(u"SELECT `DetalleEdif_Codigo`, `MasDato_Valor` FROM `W_MasDatos` WHERE `Prop_Codigo` = %1 AND "
                     u"`DetalleEdif_Codigo` NOT IN (%2, %3) ORDER BY 1;"_s.arg(listing)
                         .arg(kept)
                         .arg(dropped)),
              otherDetails);
    EXPECT_EQ(Master(u"SELECT COUNT(*) FROM `W_Propiedades` WHERE `Prop_Codigo` = %1;"_s.arg(listing)), u"1"_s);
    // And the client agrees after importing.
    EXPECT_EQ(PropertyOwner(listing), 0);
    EXPECT_EQ(Local(u"SELECT COUNT(*) FROM `W_MasDatos` WHERE `Prop_Codigo` = %1 AND `DetalleEdif_Codigo` = %2;"_s
                        .arg(listing)
                        .arg(dropped)),
              0);
    EXPECT_TRUE(fatal.calls.empty());
}
