#include "core/MiscFunc.h"
#include "records/PhotoFiles.h"
#include "search/PropertyQuery.h"
#include "service/Schema.h"
#include "support/DemoFixture.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QImage>

using namespace Qt::StringLiterals;

namespace {

// A digest of every row of every table, so two files can be compared by content.
QByteArray ContentDigest(const QString& path, const QString& password)
{
    TDataBase db(path, Config::DatabaseDriverId, password);
    if (!db.Open())
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const QString& table : Schema::TableNames()) {
        std::unique_ptr<TResultSet> rows;
        if (!db.QueryNoCount(u"SELECT * FROM `%1` ORDER BY rowid;"_s.arg(table), rows) || !rows)
            return {};
        hash.addData(table.toUtf8());
        for (rows->First(); !rows->Eof(); rows->Next())
            for (int c = 0; c < rows->FieldCount(); ++c)
                hash.addData(rows->AsStringAt(c).toUtf8() + '\x1F');
    }
    return hash.result();
}

} // namespace

TEST(DemoData, SameSeedSameRowsOtherSeedOtherRows)
{
    TestRoot root;
    TDemoOptions options;
    options.properties = 300;
    TDemoResult result;
    const QString a = root.Path() + u"a.db"_s, b = root.Path() + u"b.db"_s, c = root.Path() + u"c.db"_s;
    ASSERT_TRUE(GenerateDemoDatabase(a, options, result)) << result.error.toStdString();
    EXPECT_EQ(result.properties, 300);
    ASSERT_TRUE(GenerateDemoDatabase(b, options, result));
    options.seed += 1;
    ASSERT_TRUE(GenerateDemoDatabase(c, options, result));
    const QByteArray digestA = ContentDigest(a, QString());
    ASSERT_FALSE(digestA.isEmpty());
    EXPECT_EQ(digestA, ContentDigest(b, QString()));
    EXPECT_NE(digestA, ContentDigest(c, QString()));

    // An existing file is never overwritten.
    EXPECT_FALSE(GenerateDemoDatabase(a, options, result));
    EXPECT_FALSE(result.error.isEmpty());
    EXPECT_EQ(ContentDigest(a, QString()), digestA);
}

class DemoContentTest : public DemoDatabaseTest {};

TEST_F(DemoContentTest, ReferenceDataFollowsTheConventions)
{
    // Placeholder "not defined" rows at code 1 in every level of the location chain.
    const std::pair<const char*, const char*> levels[] = {{"W_Paises", "Pais_Codigo"},
                                                          {"W_Provincias", "Prov_Codigo"},
                                                          {"W_Partidos", "Part_Codigo"},
                                                          {"W_Localidades", "Loc_Codigo"}};
    for (const auto& [table, key] : levels)
        EXPECT_EQ(Scalar(u"SELECT COUNT(*) FROM `%1` WHERE `%2` <= 1;"_s.arg(QString::fromLatin1(table),
                                                                             QString::fromLatin1(key))),
                  1)
            << table;
    EXPECT_GT(Scalar(u"SELECT COUNT(*) FROM `W_Partidos` p JOIN `W_Provincias` v USING (`Prov_Codigo`)"
                     u" WHERE v.`Prov_Nombre` = 'Buenos Aires';"_s),
              20);
    EXPECT_EQ(Scalar(u"SELECT COUNT(*) FROM `W_Calles` WHERE `Calle_Nombre` LIKE '%, %';"_s),
              Scalar(u"SELECT COUNT(*) FROM `W_Calles` WHERE `Calle_Nombre` LIKE '%,%';"_s));
    EXPECT_GT(Scalar(u"SELECT COUNT(*) FROM `W_Calles` WHERE `Calle_Nombre` LIKE '%, %';"_s), 50);
    EXPECT_EQ(Scalar(u"SELECT COUNT(*) FROM `W_Barrios` WHERE `Barrio_Latitud` < -30 AND `Barrio_Longitud` < -50;"_s),
              Scalar(u"SELECT COUNT(*) FROM `W_Barrios`;"_s));
    // The building types that the quick filters and the field rules name exist.
    EXPECT_EQ(Scalar(u"SELECT COUNT(*) FROM `W_Edificaciones` WHERE `Edif_Codigo` IN (1, 22, 5, 15, 28, 25, 31, 3, "
                     u"23, 6, 2, 16, 26, 14);"_s),
              14);
    EXPECT_EQ(Scalar(u"SELECT COUNT(*) FROM `W_TipoCampos` WHERE `TipoCampo_Nombre` IN ('TEXT', 'COMBO');"_s), 2);
    EXPECT_GT(Scalar(u"SELECT COUNT(*) FROM `W_Monedas` WHERE `Moneda_Cotizacion` > 1;"_s), 0);
}

TEST_F(DemoContentTest, AgenciesUsersAndPropertiesAreConsistent)
{
    // Every user can log in with the demo password, stored as its digest.
    EXPECT_EQ(Scalar(u"SELECT COUNT(*) FROM `W_Usuarios` WHERE `Usuario_Password` <> '%1';"_s.arg(
                  Md5Hex(DemoUserPassword()))),
              0);
    EXPECT_EQ(Scalar(u"SELECT COUNT(*) FROM `W_Usuarios` WHERE `Inmo_Codigo` = 7 AND `Usuario_Login` = 'admin' AND "
                     u"`Usuario_Perfil` = 3;"_s),
              1);
    // Property codes carry their agency; nothing lies in the local band.
    EXPECT_EQ(Scalar(u"SELECT COUNT(*) FROM `W_Propiedades` WHERE `Prop_Codigo` / 100000 <> `Inmo_Codigo`"
                     u" OR `Prop_Codigo` % 100000 = 0 OR `Prop_Codigo` > 999999999;"_s),
              0);
    EXPECT_GT(Scalar(u"SELECT COUNT(*) FROM `W_Propiedades` WHERE `Inmo_Codigo` = 7;"_s), 10);
    // Current and withdrawn properties, both with a withdrawal-reason row.
    EXPECT_GT(Scalar(u"SELECT COUNT(*) FROM `W_Propiedades` WHERE `Prop_Estado` = 1;"_s), 0);
    EXPECT_EQ(Scalar(u"SELECT COUNT(*) FROM `W_Propiedades` WHERE `Prop_Estado` = 2 AND `Baja_Codigo` <> 1;"_s), 0);
    // Every property survives the inner joins of the property lists.
    int count = 0;
    std::unique_ptr<TResultSet> rows;
    ASSERT_TRUE(DB()->Query(PropertyQuerySql() + u"WHERE 1"_s, rows, count));
    EXPECT_EQ(count, Scalar(u"SELECT COUNT(*) FROM `W_Propiedades`;"_s));
    EXPECT_GT(Scalar(u"SELECT COUNT(*) FROM `W_Fotos`;"_s), 0);
    EXPECT_GT(Scalar(u"SELECT COUNT(*) FROM `W_MasDatos`;"_s), 0);
    EXPECT_GT(Scalar(u"SELECT COUNT(*) FROM `W_Mensajes` WHERE `Inmo_Codigo` = -1;"_s), 0);
}

TEST(DemoData, PhotoFilesAreRealPicturesWhereTheClientLooksForThem)
{
    TestRoot root;
    TDemoOptions options;
    options.properties = 200;
    options.photoFiles = 10;
    options.photoFolder = root.Path() + u"Fotos"_s;
    TDemoResult result;
    ASSERT_TRUE(GenerateDemoDatabase(root.Path() + u"p.db"_s, options, result));
    EXPECT_GT(result.photoFiles, 0);
    const QStringList files = QDir(options.photoFolder).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    ASSERT_FALSE(files.isEmpty());
    const QString agencyFolder = options.photoFolder + u'/' + files.first();
    const QStringList jpgs = QDir(agencyFolder).entryList({u"w_*_*.jpg"_s});
    ASSERT_FALSE(jpgs.isEmpty());
    QImage picture(agencyFolder + u'/' + jpgs.first());
    EXPECT_EQ(picture.size(), QSize(320, 240));
    EXPECT_EQ(AgencyOfPhotoFile(jpgs.first()), files.first().toInt());
}
