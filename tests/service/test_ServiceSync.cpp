// korvel-service on a loopback port: installation, full and incremental data, uploads,
// validation and credentials. Each test has a service of its own, since they change data.

#include "ServiceClient.h"
#include "ServiceTestUtil.h"
#include "core/Config.h"
#include "service/Schema.h"
#include "sync/WireProtocol.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <memory>

using namespace Qt::StringLiterals;
using K = TRequestKind;
using json = nlohmann::ordered_json;

namespace {

QString Md5(const QString& text)
{
    return QString::fromLatin1(QCryptographicHash::hash(text.toLatin1(), QCryptographicHash::Md5).toHex().toUpper());
}

QByteArray Jpeg(QColor colour)
{
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 85);
    return bytes;
}

QStringList TablesButSettings()
{
    QStringList tables = Schema::TableNames();
    tables.removeAll(u"W_System"_s);
    return tables;
}

class ServiceSync : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(service.Start()) << service.LastError().toStdString();
        master = std::make_unique<SqlFile>(service.DataFolder() + u"/master.db"_s);
        ASSERT_TRUE(master->IsOpen());
        other.agency = int(master->Count(u"SELECT MIN(`Inmo_Codigo`) FROM `W_Inmobiliarias` WHERE `Inmo_Codigo`<>7 "
                                         u"AND `Inmo_FechaBaja` IS NULL AND `Inmo_Codigo` IN (SELECT `Inmo_Codigo` "
                                         u"FROM `W_Propiedades`) AND `Inmo_Codigo` IN (SELECT `Inmo_Codigo` FROM "
                                         u"`W_Clientes`);"_s));
        ASSERT_GT(other.agency, 0);
    }

    Reply Call(K kind, const Members& extras = {}, const Credentials& who = {})
    {
        return ServiceClient(service).Call(kind, extras, who);
    }
    qint64 Version() { return master->Count(u"SELECT `Meta_Valor` FROM `S_Meta` WHERE `Meta_Clave`='version';"_s); }

    // A new installation of the agency, as the first run makes it; the key goes into who.
    QString Install(Credentials& who, const QString& name)
    {
        const Reply file = Call(K::rkDatabaseFile, {}, who);
        EXPECT_TRUE(file.unpacked && !file.IsError()) << file.ErrorText().toStdString();
        const QString path = folder.path() + u'/' + name + u".kdb"_s;
        QFile out(path);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(file.answer);
        out.close();
        SqlFile db(path, Config::DatabasePassword);
        who.installKey = db.Value(u"SELECT `Sys_InstallKey` FROM `W_System`;"_s).toString();
        return path;
    }
    // Requests and imports the full or incremental data, and keeps the version as the client does.
    ::testing::AssertionResult Sync(const QString& path, const Credentials& who, bool full, json* answer = nullptr)
    {
        SqlFile db(path, Config::DatabasePassword);
        const qint64 version = db.Count(u"SELECT `Sys_DataVersion` FROM `W_System`;"_s);
        const Reply reply = Call(full ? K::rkFullData : K::rkIncrementalData,
                                 {{Wire::MMode, qint64(full ? 0 : 1)}, {Wire::MDataVersion, full ? -1 : version}}, who);
        if (!reply.json.is_object() || reply.IsError())
            return ::testing::AssertionFailure() << "no data: " << reply.answer.left(300).toStdString();
        if (answer)
            *answer = reply.json;
        QString error;
        if (!ImportTableData(db, reply.json, &error))
            return ::testing::AssertionFailure() << error.toStdString();
        db.Exec(u"UPDATE `W_System` SET `Sys_DataVersion`=%1;"_s.arg(reply.json["DBVer"].get<qint64>()));
        return ::testing::AssertionSuccess();
    }
    void Validate(const Credentials& who)
    {
        const Reply reply =
            Call(K::rkValidationKey,
                 {{Wire::MValidationKey, Md5(u"DEMO"_s + QString::number(who.agency).rightJustified(4, u'0'))}}, who);
        ASSERT_EQ(reply.Text(Wire::AStatusText.toLatin1().constData()), Wire::StatusAcceptedWithNotice);
    }
    Reply Upload(const json& payload, const Credentials& who = {})
    {
        return Call(K::rkUploadChanges, {{Wire::MPayload, QString::fromStdString(payload.dump())}}, who);
    }
    // A row of the master as the client's payload writes it.
    json Row(const QString& table, const QString& where)
    {
        json row = json::object();
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(master->Handle(),
                           u"SELECT * FROM `%1` WHERE %2 LIMIT 1;"_s.arg(table, where).toUtf8().constData(), -1, &s,
                           nullptr);
        if (s && sqlite3_step(s) == SQLITE_ROW) {
            for (int c = 0; c < sqlite3_column_count(s); ++c) {
                const std::string name = sqlite3_column_name(s, c);
                switch (sqlite3_column_type(s, c)) {
                case SQLITE_INTEGER:
                    row[name] = sqlite3_column_int64(s, c);
                    break;
                case SQLITE_FLOAT:
                    row[name] = std::to_string(sqlite3_column_double(s, c));
                    break; // quoted, as sent
                case SQLITE_NULL:
                    row[name] = nullptr;
                    break;
                default:
                    row[name] = reinterpret_cast<const char*>(sqlite3_column_text(s, c));
                }
            }
        }
        sqlite3_finalize(s);
        return row;
    }

    ServiceProcess service;
    std::unique_ptr<SqlFile> master;
    QTemporaryDir folder;
    Credentials other{0, u"admin"_s, u"demo"_s, QString(), 2.1, u"3.0.0"_s};
};

TEST_F(ServiceSync, DatabaseFileIsAnEncryptedInstallationOfTheAgency)
{
    Credentials who;
    const QString path = Install(who, u"a"_s);
    EXPECT_FALSE(SqlFile(path).IsOpen()); // no key, no data
    SqlFile db(path, Config::DatabasePassword);
    ASSERT_TRUE(db.IsOpen());
    QStringList tables = db.Column(u"SELECT name FROM sqlite_master WHERE type='table';"_s),
                expected = Schema::TableNames();
    tables.sort();
    expected.sort();
    EXPECT_EQ(tables, expected);
    EXPECT_EQ(db.Count(u"SELECT `Inmo_Codigo` FROM `W_System`;"_s), 7);
    EXPECT_EQ(db.Count(u"SELECT `Sys_DataVersion` FROM `W_System`;"_s), -1);
    EXPECT_EQ(who.installKey.size(), 32);
    EXPECT_EQ(db.Count(u"SELECT COUNT(*) FROM `W_Propiedades`;"_s), 0); // the rows come with the full data

    // The key is the installation's from now on; a second installation gets another one.
    EXPECT_EQ(Call(K::rkSessionCheck, {}, who).Text(Wire::ASessionStatus.toLatin1().constData()), u"0"_s);
    Credentials second;
    Install(second, u"b"_s);
    EXPECT_NE(second.installKey, who.installKey);
    Credentials made = who;
    made.installKey = u"0123456789ABCDEF0123456789ABCDEF"_s;
    EXPECT_TRUE(Call(K::rkSessionCheck, {}, made).IsError());

    Credentials clerk;
    clerk.user = u"carga1"_s;
    const Reply refused = Call(K::rkDatabaseFile, {}, clerk);
    EXPECT_TRUE(refused.IsError());
    EXPECT_TRUE(refused.ErrorText().contains(u"administrador"_s));
}

TEST_F(ServiceSync, FullDataHoldsThePoolAndOnlyTheAgencysOwnRecords)
{
    // A text with the row separator in it must not break its row.
    ASSERT_TRUE(master->Exec(u"UPDATE `W_Clientes` SET `Cli_Notas`='entre 100~200 m2' WHERE `Cli_Codigo`=(SELECT "
                             u"MIN(`Cli_Codigo`) FROM `W_Clientes` WHERE `Inmo_Codigo`=7);"_s));
    Credentials who;
    const QString path = Install(who, u"a"_s);
    {
        SqlFile db(path, Config::DatabasePassword);
        ASSERT_TRUE(db.Exec(u"INSERT INTO `W_Marcas` VALUES (7, 1, 700001);"_s)); // local state
    }
    json answer;
    ASSERT_TRUE(Sync(path, who, true, &answer));
    EXPECT_EQ(answer["Data_Type"], 0);
    EXPECT_EQ(answer["DBVer"].get<qint64>(), Version());

    SqlFile db(path, Config::DatabasePassword);
    for (const char* table : {"W_Usuarios", "W_Inmobiliarias", "W_Localidades", "W_Calles", "W_DetalleEdif"})
        EXPECT_EQ(db.Count(u"SELECT COUNT(*) FROM `%1`;"_s.arg(QLatin1StringView(table))),
                  master->Count(u"SELECT COUNT(*) FROM `%1`;"_s.arg(QLatin1StringView(table))))
            << table;
    // The pool: every public listing and the agency's own private ones, with their photos and details.
    const QString visible = u"`Prop_Codigo` IN (SELECT `Prop_Codigo` FROM `W_Propiedades` WHERE `Inmo_Codigo`=7 OR "
                            u"`Prop_Publica`=1)"_s;
    for (const char* table : {"W_Propiedades", "W_Fotos", "W_MasDatos"})
        EXPECT_EQ(db.Count(u"SELECT COUNT(*) FROM `%1`;"_s.arg(QLatin1StringView(table))),
                  master->Count(u"SELECT COUNT(*) FROM `%1` WHERE %2;"_s.arg(QLatin1StringView(table), visible)))
            << table;
    EXPECT_GT(master->Count(u"SELECT COUNT(*) FROM `W_Propiedades` WHERE `Inmo_Codigo`<>7 AND `Prop_Publica`=0;"_s), 0);
    EXPECT_GT(db.Count(u"SELECT COUNT(*) FROM `W_Propiedades` WHERE `Inmo_Codigo`=7 AND `Prop_Publica`=0;"_s), 0);
    EXPECT_EQ(db.Count(u"SELECT COUNT(*) FROM `W_Clientes`;"_s),
              master->Count(u"SELECT COUNT(*) FROM `W_Clientes` WHERE `Inmo_Codigo`=7;"_s));
    EXPECT_GT(master->Count(u"SELECT COUNT(*) FROM `W_Clientes` WHERE `Inmo_Codigo`<>7;"_s), 0);
    EXPECT_EQ(db.Count(u"SELECT COUNT(*) FROM `W_Mensajes` WHERE `Inmo_Codigo` NOT IN (-1, 7);"_s), 0);
    // Other agencies' secrets stay at the service.
    EXPECT_EQ(
        db.Count(u"SELECT COUNT(*) FROM `W_Usuarios` WHERE `Inmo_Codigo`<>7 AND `Usuario_Password` IS NOT NULL;"_s), 0);
    EXPECT_EQ(
        db.Value(u"SELECT `Usuario_Password` FROM `W_Usuarios` WHERE `Inmo_Codigo`=7 AND `Usuario_Login`='admin';"_s)
            .toString(),
        Md5(u"demo"_s));
    EXPECT_EQ(db.Count(u"SELECT COUNT(*) FROM `W_Propiedades` WHERE `Inmo_Codigo`<>7 AND "
                       u"`Prop_InformacionPrivada` IS NOT NULL;"_s),
              0);
    EXPECT_EQ(
        db.Count(u"SELECT COUNT(*) FROM `W_Inmobiliarias` WHERE `Inmo_Codigo`<>7 AND `Inmo_FactCUIT` IS NOT NULL;"_s),
        0);
    EXPECT_GT(
        db.Count(u"SELECT COUNT(*) FROM `W_Propiedades` WHERE `Inmo_Codigo`=7 AND `Prop_InformacionPrivada`<>'';"_s),
        0);
    // Typed values arrive typed.
    EXPECT_EQ(db.Count(u"SELECT COUNT(*) FROM `W_Propiedades` WHERE typeof(`Prop_Latitud`)<>'real';"_s), 0);
    EXPECT_EQ(db.Value(u"SELECT SUM(`Prop_Precio`) FROM `W_Propiedades`;"_s).toDouble(),
              master->Value(u"SELECT SUM(`Prop_Precio`) FROM `W_Propiedades` WHERE %1;"_s.arg(visible)).toDouble());
    EXPECT_EQ(db.Count(u"SELECT COUNT(*) FROM `W_Clientes` WHERE `Cli_Notas`='entre 100-200 m2';"_s), 1);
    // What belongs to the installation survives.
    EXPECT_EQ(db.Count(u"SELECT COUNT(*) FROM `W_Marcas`;"_s), 1);
    EXPECT_EQ(db.Value(u"SELECT `Sys_InstallKey` FROM `W_System`;"_s).toString(), who.installKey);
}

TEST_F(ServiceSync, ValidationUnlocksUploadsAndResistsGuessing)
{
    Credentials who;
    Install(who, u"a"_s);
    const char* statusMember = "Status";
    const Reply fresh = Call(K::rkServiceStatus, {}, who);
    EXPECT_EQ(fresh.Text("IP"), u"127.0.0.1"_s);
    EXPECT_NE(fresh.Text(statusMember), Wire::StatusAccepted);
    EXPECT_EQ(fresh.Text(Wire::AStatusValidationRequired.toLatin1().constData()), u"true"_s);
    EXPECT_TRUE(Upload(json{{"W_Fotos", json::array({{{"Empty", 1}}})}}, who).IsError());

    const Reply wrong = Call(K::rkValidationKey, {{Wire::MValidationKey, Md5(u"DEMO0008"_s)}}, who);
    EXPECT_FALSE(wrong.IsError());
    EXPECT_NE(wrong.Text(statusMember), Wire::StatusAccepted);
    EXPECT_NE(wrong.Text(statusMember), Wire::StatusAcceptedWithNotice);
    Validate(who);
    EXPECT_EQ(Call(K::rkServiceStatus, {}, who).Text(statusMember), Wire::StatusAccepted);
    const Reply empty = Upload(json{{"W_Fotos", json::array({{{"Empty", 1}}})}}, who);
    ASSERT_FALSE(empty.IsError()) << empty.ErrorText().toStdString();
    EXPECT_FALSE(empty.Text("Msg").isEmpty());

    // Five wrong keys in a row lock the installation out for a while, right key or not.
    Credentials guesser;
    Install(guesser, u"b"_s);
    for (int i = 0; i < 5; ++i)
        Call(K::rkValidationKey, {{Wire::MValidationKey, Md5(u"GUESS%1"_s.arg(i))}}, guesser);
    const Reply locked = Call(K::rkValidationKey, {{Wire::MValidationKey, Md5(u"DEMO0007"_s)}}, guesser);
    EXPECT_NE(locked.Text(statusMember), Wire::StatusAcceptedWithNotice);
    EXPECT_NE(Call(K::rkServiceStatus, {}, guesser).Text(statusMember), Wire::StatusAccepted);
}

TEST_F(ServiceSync, UploadGivesFinalCodesAndIncrementalDataMatchesAFreshFullImport)
{
    Credentials who;
    const QString path = Install(who, u"a"_s);
    ASSERT_TRUE(Sync(path, who, true));
    Validate(who);
    const qint64 before = Version();

    const qint64 admin = master->Count(u"SELECT `Usuario_Codigo` FROM `W_Usuarios` WHERE `Inmo_Codigo`=7 AND "
                                       u"`Usuario_Login`='admin';"_s);
    const qint64 lastSequence =
        master->Count(u"SELECT MAX(`Prop_Codigo`) FROM `W_Propiedades` WHERE `Inmo_Codigo`=7;"_s);
    const qint64 doomed = master->Count(u"SELECT MIN(`Prop_Codigo`) FROM `W_Propiedades` WHERE `Inmo_Codigo`=7 AND "
                                        u"`Prop_Codigo` IN (SELECT `Prop_Codigo` FROM `W_Fotos`);"_s);
    const qint64 client = master->Count(u"SELECT MIN(`Cli_Codigo`) FROM `W_Clientes` WHERE `Inmo_Codigo`=7;"_s);
    const qint64 foreign = master->Count(u"SELECT MIN(`Prop_Codigo`) FROM `W_Propiedades` WHERE `Inmo_Codigo`<>7;"_s);
    json property = Row(u"W_Propiedades"_s, u"`Inmo_Codigo`=7 AND `Prop_Estado`=2"_s);
    property["Prop_Codigo"] = 2147473650;
    property["Prop_CodigoGeneracion"] = "000726120910304512312345";
    property["Prop_Descripcion"] = "Casa \"con\" quincho, a\\b y ~ raro";
    property["Usuario_Codigo"] = admin;
    property["Sync_Tipo"] = "AM";
    json newClient = Row(u"W_Clientes"_s, u"`Cli_Codigo`=%1"_s.arg(client));
    newClient["Cli_Codigo"] = 2147473647;
    newClient["Cli_CodigoGeneracion"] = "000726120910304500012345";
    newClient["Cli_Nombre"] = "Núñez, Ana";
    newClient["Cli_Estado"] = "AM";
    json changedClient = Row(u"W_Clientes"_s, u"`Cli_Codigo`=%1"_s.arg(client));
    changedClient["Cli_Te"] = "11 5555-0000";
    changedClient["Cli_Estado"] = "AM";
    const QByteArray picture = Jpeg(Qt::darkCyan);
    const json payload = {
        {"W_Clientes", json::array({newClient, changedClient})},
        {"W_Propiedades", json::array({property, {{"Prop_Codigo", doomed}, {"Sync_Tipo", "B"}}})},
        {"W_Propietarios",
         json::array({{{"Prot_Codigo", 2147473647}, {"Prop_Codigo", 2147473650}, {"Sync_Tipo", "AM"}}})},
        {"W_MasDatos",
         json::array(
             {{{"Prop_Codigo", 2147473650}, {"DetalleEdif_Codigo", 1}, {"MasDato_Valor", "2"}, {"Sync_Tipo", "AM"}},
              {{"Prop_Codigo", 2147473650}, {"DetalleEdif_Codigo", 2}, {"MasDato_Valor", "3"}, {"Sync_Tipo", "AM"}}})},
        {"W_Fotos",
         json::array(
             {{{"Foto_Codigo", 2147473700}, {"Prop_Codigo", 2147473650}, {"Foto_Orden", 0}, {"Sync_Tipo", "AM"}}})},
        {"W_Selecciones", json::array({{{"Selec_Codigo", 2147473660},
                                        {"Inmo_Codigo", 7},
                                        {"Usuario_Codigo", admin},
                                        {"Selec_FechaAlta", "2026-12-09 10:00:00"},
                                        {"Selec_Nombre", "Para Ana"},
                                        {"Cli_Codigo", 2147473647},
                                        {"Selec_Estado", "AM"},
                                        {"Selec_CodigoGeneracion", "000726120910300000054321"}}})},
        {"W_SeleccionesProps", json::array({{{"Selec_Codigo", 2147473660}, {"Prop_Codigo", 2147473650}},
                                            {{"Selec_Codigo", 2147473660}, {"Prop_Codigo", foreign}}})},
        {"JPG",
         json::array(
             {{{"Prop_Codigo", 2147473650}, {"Foto_Codigo", 2147473700}, {"Data", picture.toBase64().toStdString()}}})},
    };
    const Reply sent = Upload(payload, who);
    ASSERT_FALSE(sent.IsError()) << sent.ErrorText().toStdString();
    EXPECT_EQ(sent.Text("Msg"), u"Cambios recibidos: 11 registros y 1 foto."_s);
    EXPECT_EQ(Version(), before + 1);

    // Final codes, and the references between the new records follow them.
    const qint64 created = lastSequence + 1;
    EXPECT_EQ(master->Count(u"SELECT `Prop_Codigo` FROM `W_Propiedades` WHERE `Prop_CodigoGeneracion`="
                            u"'000726120910304512312345';"_s),
              created);
    EXPECT_EQ(master->Value(u"SELECT `Prop_Descripcion` FROM `W_Propiedades` WHERE `Prop_Codigo`=%1;"_s.arg(created))
                  .toString(),
              u"Casa \"con\" quincho, a\\b y ~ raro"_s);
    const qint64 newClientCode =
        master->Count(u"SELECT `Cli_Codigo` FROM `W_Clientes` WHERE `Cli_Nombre`='Núñez, Ana';"_s);
    EXPECT_LT(newClientCode, 2147473647);
    EXPECT_EQ(master->Count(u"SELECT `Prot_Codigo` FROM `W_Propietarios` WHERE `Prop_Codigo`=%1;"_s.arg(created)),
              newClientCode);
    EXPECT_EQ(master->Count(u"SELECT COUNT(*) FROM `W_MasDatos` WHERE `Prop_Codigo`=%1;"_s.arg(created)), 2);
    const qint64 photo = master->Count(u"SELECT `Foto_Codigo` FROM `W_Fotos` WHERE `Prop_Codigo`=%1;"_s.arg(created));
    QFile file(service.DataFolder() + u"/photos/0007/w_%1_%2.jpg"_s.arg(created).arg(photo));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), picture);
    QStringList members =
        master->Column(u"SELECT `Prop_Codigo` FROM `W_SeleccionesProps` WHERE `Selec_Codigo`="
                       u"(SELECT `Selec_Codigo` FROM `W_Selecciones` WHERE `Selec_Nombre`='Para Ana');"_s);
    members.sort();
    QStringList expectedMembers{QString::number(foreign), QString::number(created)};
    expectedMembers.sort();
    EXPECT_EQ(members, expectedMembers);
    EXPECT_EQ(master->Count(u"SELECT COUNT(*) FROM `W_Propiedades` WHERE `Prop_Codigo`=%1;"_s.arg(doomed)), 0);
    EXPECT_EQ(master->Count(u"SELECT COUNT(*) FROM `W_Fotos` WHERE `Prop_Codigo`=%1;"_s.arg(doomed)), 0);

    // The answer got lost and the client sends the same changes again: nothing doubles.
    ASSERT_FALSE(Upload(payload, who).IsError());
    EXPECT_EQ(master->Count(u"SELECT COUNT(*) FROM `W_Propiedades` WHERE `Prop_CodigoGeneracion`="
                            u"'000726120910304512312345';"_s),
              1);
    EXPECT_EQ(master->Count(u"SELECT COUNT(*) FROM `W_Clientes` WHERE `Cli_Nombre`='Núñez, Ana';"_s), 1);
    EXPECT_EQ(master->Count(u"SELECT COUNT(*) FROM `W_Fotos` WHERE `Prop_Codigo`=%1;"_s.arg(created)), 1);
    EXPECT_EQ(master->Count(u"SELECT COUNT(*) FROM `W_Selecciones` WHERE `Selec_Nombre`='Para Ana';"_s), 1);

    // Meanwhile another agency changes its own listing and adds a client of its own.
    const QString otherPath = Install(other, u"other"_s);
    Validate(other);
    json theirs = Row(u"W_Propiedades"_s, u"`Inmo_Codigo`=%1 AND `Prop_Publica`=1"_s.arg(other.agency));
    theirs["Prop_Precio"] = 123456;
    theirs["Sync_Tipo"] = "AM";
    // ...makes a listing with photos private, which takes it and its photos out of the pool...
    json hidden = Row(u"W_Propiedades"_s, u"`Inmo_Codigo`=%1 AND `Prop_Publica`=1 AND `Prop_Codigo` IN (SELECT "
                                          u"`Prop_Codigo` FROM `W_Fotos`) AND `Prop_Codigo`<>%2"_s.arg(other.agency)
                                              .arg(theirs["Prop_Codigo"].get<qint64>()));
    ASSERT_FALSE(hidden.empty());
    hidden["Prop_Publica"] = 0;
    hidden["Sync_Tipo"] = "AM";
    json theirClient = Row(u"W_Clientes"_s, u"`Inmo_Codigo`=%1"_s.arg(other.agency));
    theirClient["Cli_Codigo"] = 2147473647;
    theirClient["Cli_CodigoGeneracion"] = "x";
    theirClient["Cli_Estado"] = "AM";
    ASSERT_FALSE(
        Upload({{"W_Propiedades", json::array({theirs, hidden})}, {"W_Clientes", json::array({theirClient})}}, other)
            .IsError());
    // ...and the agency recovers a withdrawn listing and renames a clerk.
    const qint64 withdrawn =
        master->Count(u"SELECT MIN(`Prop_Codigo`) FROM `W_Propiedades` WHERE `Inmo_Codigo`=7 AND `Prop_Estado`=1;"_s);
    ASSERT_FALSE(Call(K::rkPropertyRecovery, {{Wire::MItemCode, withdrawn}}, who).IsError());
    const qint64 clerk = master->Count(u"SELECT `Usuario_Codigo` FROM `W_Usuarios` WHERE `Inmo_Codigo`=7 AND "
                                       u"`Usuario_Login`='carga1';"_s);
    ASSERT_FALSE(Call(K::rkChangeCredentials,
                      {{Wire::MValidationKey, Md5(u"DEMO0007"_s)},
                       {Wire::MUserCode, clerk},
                       {Wire::MNewUserName, u"vendedor1"_s},
                       {Wire::MNewPassword, Md5(u"clave2"_s).toLower()}},
                      who)
                     .IsError());

    json incremental;
    ASSERT_TRUE(Sync(path, who, false, &incremental));
    EXPECT_EQ(incremental["Data_Type"], 1);
    EXPECT_TRUE(incremental["W_Fotos"].contains("PropList"));
    EXPECT_FALSE(incremental["W_Clientes"]["PropList"].get<std::string>().empty());
    EXPECT_EQ(incremental["W_Clientes"]["Count"].get<int>(), 2); // not the other agency's new client

    // The incremental path ends where a fresh installation starts.
    Credentials fresh;
    const QString freshPath = Install(fresh, u"fresh"_s);
    ASSERT_TRUE(Sync(freshPath, fresh, true));
    SqlFile a(path, Config::DatabasePassword), b(freshPath, Config::DatabasePassword);
    const QStringList viaIncremental = a.Content(TablesButSettings()), viaFull = b.Content(TablesButSettings());
    EXPECT_EQ(viaIncremental.size(), viaFull.size());
    EXPECT_TRUE(viaIncremental == viaFull);
    const qint64 hiddenCode = hidden["Prop_Codigo"].get<qint64>();
    EXPECT_EQ(a.Count(u"SELECT COUNT(*) FROM `W_Propiedades` WHERE `Prop_Codigo`=%1;"_s.arg(hiddenCode)), 0);
    EXPECT_EQ(a.Count(u"SELECT COUNT(*) FROM `W_Fotos` WHERE `Prop_Codigo`=%1;"_s.arg(hiddenCode)), 0);
    EXPECT_EQ(a.Value(u"SELECT `Prop_Precio` FROM `W_Propiedades` WHERE `Prop_Codigo`=%1;"_s.arg(
                          theirs["Prop_Codigo"].get<qint64>()))
                  .toDouble(),
              123456.0);

    // Up to date: nothing to import.
    json none;
    ASSERT_TRUE(Sync(path, who, false, &none));
    EXPECT_EQ(none["Tables"], "");
    EXPECT_EQ(none["DBVer"].get<qint64>(), Version());
    // A client version the change log does not reach gets the full data instead.
    const Reply ancient =
        Call(K::rkIncrementalData, {{Wire::MMode, qint64(1)}, {Wire::MDataVersion, qint64(Version() + 50)}}, who);
    EXPECT_EQ(ancient.json["Data_Type"], 0);
    (void)otherPath;
}

TEST_F(ServiceSync, UploadsThatReachIntoAnotherAgencyAreRefusedWhole)
{
    Credentials who;
    Install(who, u"a"_s);
    Validate(who);
    const qint64 foreign =
        master->Count(u"SELECT MIN(`Prop_Codigo`) FROM `W_Propiedades` WHERE `Inmo_Codigo`=%1;"_s.arg(other.agency));
    const qint64 foreignClient =
        master->Count(u"SELECT MIN(`Cli_Codigo`) FROM `W_Clientes` WHERE `Inmo_Codigo`=%1;"_s.arg(other.agency));
    const qint64 foreignUser =
        master->Count(u"SELECT MIN(`Usuario_Codigo`) FROM `W_Usuarios` WHERE `Inmo_Codigo`=%1;"_s.arg(other.agency));
    const qint64 own = master->Count(u"SELECT MIN(`Prop_Codigo`) FROM `W_Propiedades` WHERE `Inmo_Codigo`=7;"_s);
    const qint64 clerk = master->Count(u"SELECT `Usuario_Codigo` FROM `W_Usuarios` WHERE `Inmo_Codigo`=7 AND "
                                       u"`Usuario_Login`='carga1';"_s);
    json theirs = Row(u"W_Propiedades"_s, u"`Prop_Codigo`=%1"_s.arg(foreign));
    theirs["Prop_Precio"] = 1;
    theirs["Sync_Tipo"] = "AM";
    json stolen = theirs;
    stolen["Inmo_Codigo"] = 7; // claiming it does not make it ours
    const json newPhoto = {{"Foto_Codigo", 2147473700}, {"Prop_Codigo", own}, {"Sync_Tipo", "AM"}};
    const json empty = json::array({{{"Empty", 1}}});
    const struct {
        const char* name;
        json payload;
    } cases[] = {
        {"other agency's listing", {{"W_Propiedades", json::array({theirs})}}},
        {"other agency's listing relabelled", {{"W_Propiedades", json::array({stolen})}}},
        {"deleting another agency's listing",
         {{"W_Propiedades", json::array({{{"Prop_Codigo", foreign}, {"Sync_Tipo", "B"}}})}}},
        {"photo of another agency's listing",
         {{"W_Fotos", json::array({{{"Foto_Codigo", 2147473700}, {"Prop_Codigo", foreign}, {"Sync_Tipo", "AM"}}})}}},
        {"owner from another agency",
         {{"W_Propietarios",
           json::array({{{"Prop_Codigo", own}, {"Prot_Codigo", foreignClient}, {"Sync_Tipo", "AM"}}})}}},
        {"selection shared with a stranger",
         {{"W_Selecciones", json::array({{{"Selec_Codigo", 2147473660},
                                          {"Usuario_Codigo", clerk},
                                          {"Selec_Nombre", "x"},
                                          {"Selec_Estado", "AM"}}})},
          {"W_SeleccionesCompartidas",
           json::array({{{"Selec_Codigo", 2147473660}, {"Usuario_Codigo", foreignUser}}})}}},
        {"second administrator",
         {{"W_Usuarios", json::array({{{"Usuario_Codigo", clerk}, {"Usuario_Perfil", 3}, {"Usuario_Estado", "AM"}}})}}},
        {"table that takes no changes", {{"W_Inmobiliarias", json::array({{{"Inmo_Codigo", 7}}})}}},
        {"new photo without its picture", {{"W_Fotos", json::array({newPhoto})}}},
        {"picture that is no JPEG",
         {{"W_Fotos", json::array({newPhoto})},
          {"JPG",
           json::array({{{"Prop_Codigo", own}, {"Foto_Codigo", 2147473700}, {"Data", "bm90IGEgcGljdHVyZQ=="}}})}}},
        {"reference to a new record not sent",
         {{"W_Propietarios", json::array({{{"Prop_Codigo", own}, {"Prot_Codigo", 2147473999}, {"Sync_Tipo", "AM"}}})}}},
        {"number that is no number",
         {{"W_Fotos", empty}, {"W_Clientes", json::array({{{"Cli_Codigo", "doce"}, {"Cli_Estado", "AM"}}})}}},
    };
    const qint64 version = Version();
    const qint64 ownPhotos = master->Count(u"SELECT COUNT(*) FROM `W_Fotos` WHERE `Prop_Codigo`=%1;"_s.arg(own));
    const QString prices = master->Value(u"SELECT SUM(`Prop_Precio`) FROM `W_Propiedades`;"_s).toString();
    for (const auto& c : cases) {
        const Reply reply = Upload(c.payload, who);
        EXPECT_TRUE(reply.IsError()) << c.name;
        EXPECT_EQ(Version(), version) << c.name;
    }
    EXPECT_EQ(master->Value(u"SELECT SUM(`Prop_Precio`) FROM `W_Propiedades`;"_s).toString(), prices);
    EXPECT_EQ(master->Count(u"SELECT COUNT(*) FROM `W_Fotos` WHERE `Prop_Codigo`=%1;"_s.arg(own)), ownPhotos);
    EXPECT_EQ(master->Count(u"SELECT `Usuario_Perfil` FROM `W_Usuarios` WHERE `Usuario_Codigo`=%1;"_s.arg(clerk)), 1);
    // A payload that is no JSON at all.
    EXPECT_TRUE(Call(K::rkUploadChanges, {{Wire::MPayload, u"{\"W_Fotos\":["_s}}, who).IsError());
}

TEST_F(ServiceSync, UploadsOnlyChangeWhatTheCallersRoleAllows)
{
    Credentials admin;
    Install(admin, u"a"_s);
    Validate(admin);
    const auto as = [&](const QString& login) {
        Credentials who = admin;
        who.user = login;
        return who;
    };
    const Credentials clerk = as(u"carga1"_s), reader = as(u"consulta2"_s);
    const auto code = [&](const QString& login) {
        return master->Count(u"SELECT `Usuario_Codigo` FROM `W_Usuarios` WHERE `Inmo_Codigo`=7 AND "
                             u"`Usuario_Login`='%1';"_s.arg(login));
    };
    const qint64 adminCode = code(u"admin"_s), clerkCode = code(u"carga1"_s), readerCode = code(u"consulta2"_s),
                 inactiveCode = code(u"carga4"_s);
    ASSERT_EQ(
        master->Count(u"SELECT `Usuario_Activo` FROM `W_Usuarios` WHERE `Usuario_Codigo`=%1;"_s.arg(inactiveCode)), 0);
    const qint64 own = master->Count(u"SELECT MIN(`Prop_Codigo`) FROM `W_Propiedades` WHERE `Inmo_Codigo`=7;"_s);
    json listing = Row(u"W_Propiedades"_s, u"`Prop_Codigo`=%1"_s.arg(own));
    listing["Prop_Precio"] = 4321;
    listing["Sync_Tipo"] = "AM";
    const auto user = [&](qint64 userCode, json changes) {
        json row = Row(u"W_Usuarios"_s, u"`Usuario_Codigo`=%1"_s.arg(userCode));
        row.update(changes);
        row["Usuario_Estado"] = "AM";
        return json{{"W_Usuarios", json::array({row})}};
    };
    json newUser = Row(u"W_Usuarios"_s, u"`Usuario_Codigo`=%1"_s.arg(clerkCode));
    newUser.update(json{{"Usuario_Codigo", 2147473647},
                        {"Usuario_CodigoGeneracion", "g1"},
                        {"Usuario_Login", "intruso"},
                        {"Usuario_Password", Md5(u"suya"_s).toStdString()},
                        {"Usuario_Perfil", 1},
                        {"Usuario_Estado", "AM"}});
    const json created = {{"W_Usuarios", json::array({newUser})}};

    const struct {
        const char* name;
        const Credentials& who;
        json payload;
    } refused[] = {
        {"reader edits a listing", reader, {{"W_Propiedades", json::array({listing})}}},
        {"reader creates a user with its own password", reader, created},
        {"reader promotes itself to data entry", reader, user(readerCode, {{"Usuario_Perfil", 1}})},
        {"reader promotes itself to administrator", reader, user(readerCode, {{"Usuario_Perfil", 3}})},
        {"clerk re-enables an inactive user", clerk, user(inactiveCode, {{"Usuario_Activo", 1}})},
        {"clerk creates a user", clerk, created},
        {"clerk changes its own role", clerk, user(clerkCode, {{"Usuario_Perfil", 2}})},
        {"clerk promotes the reader", clerk, user(readerCode, {{"Usuario_Perfil", 1}})},
        {"clerk deletes a user", clerk, user(readerCode, {{"Usuario_Estado", "B"}})},
        {"clerk changes a user along with a listing",
         clerk,
         {{"W_Usuarios", user(clerkCode, {{"Usuario_Nombre", "Otro"}})["W_Usuarios"]},
          {"W_Propiedades", json::array({listing})}}},
    };
    const QStringList tables{u"W_Usuarios"_s, u"W_Propiedades"_s};
    const QStringList before = master->Content(tables);
    const qint64 version = Version();
    for (const auto& c : refused) {
        const Reply reply = Upload(c.payload, c.who);
        EXPECT_TRUE(reply.IsError()) << c.name;
        EXPECT_EQ(Version(), version) << c.name;
    }
    EXPECT_TRUE(master->Content(tables) == before);

    // What each role may do still goes through.
    const json nothing = {{"W_Fotos", json::array({{{"Empty", 1}}})}};
    EXPECT_FALSE(Upload(nothing, reader).IsError()); // the placeholder a client always sends
    const Reply edited = Upload({{"W_Propiedades", json::array({listing})}}, clerk);
    EXPECT_FALSE(edited.IsError()) << edited.ErrorText().toStdString();
    EXPECT_EQ(master->Value(u"SELECT `Prop_Precio` FROM `W_Propiedades` WHERE `Prop_Codigo`=%1;"_s.arg(own)).toDouble(),
              4321.0);
    for (const json& payload : {user(inactiveCode, {{"Usuario_Activo", 1}}), user(readerCode, {{"Usuario_Perfil", 1}}),
                                user(adminCode, {{"Usuario_Perfil", 1}})}) {
        const Reply reply = Upload(payload, admin);
        EXPECT_FALSE(reply.IsError()) << reply.ErrorText().toStdString();
    }
    const auto column = [&](const char* name, qint64 userCode) {
        return master->Count(
            u"SELECT `%1` FROM `W_Usuarios` WHERE `Usuario_Codigo`=%2;"_s.arg(QLatin1StringView(name)).arg(userCode));
    };
    EXPECT_EQ(column("Usuario_Activo", inactiveCode), 1);
    EXPECT_EQ(column("Usuario_Perfil", readerCode), 1);
    EXPECT_EQ(column("Usuario_Perfil", adminCode), 3); // not even the administrator changes its own role
}

TEST_F(ServiceSync, SelectionsLeaveOutAndDoNotRevealAnotherAgencysPrivateListings)
{
    Credentials who;
    Install(who, u"a"_s);
    Validate(who);
    const qint64 clerk = master->Count(u"SELECT `Usuario_Codigo` FROM `W_Usuarios` WHERE `Inmo_Codigo`=7 AND "
                                       u"`Usuario_Login`='carga1';"_s);
    const qint64 own = master->Count(u"SELECT MIN(`Prop_Codigo`) FROM `W_Propiedades` WHERE `Inmo_Codigo`=7;"_s);
    const qint64 shared =
        master->Count(u"SELECT MIN(`Prop_Codigo`) FROM `W_Propiedades` WHERE `Inmo_Codigo`<>7 AND `Prop_Publica`=1;"_s);
    const qint64 hidden = master->Count(u"SELECT MIN(`Prop_Codigo`) FROM `W_Propiedades` WHERE `Inmo_Codigo`<>7 AND "
                                        u"COALESCE(`Prop_Publica`, 0)<>1;"_s);
    ASSERT_GT(hidden, 0);
    // A code in the same agency's range that no listing has.
    const qint64 missing = hidden / 100000 * 100000 + 99999;
    ASSERT_EQ(master->Count(u"SELECT COUNT(*) FROM `W_Propiedades` WHERE `Prop_Codigo`=%1;"_s.arg(missing)), 0);

    // One new selection holding an own listing, one of the pool and the given one.
    const auto send = [&](qint64 third, const char* name) {
        const qint64 local = 2147473660;
        json members = json::array();
        for (qint64 property : {own, shared, third})
            members.push_back({{"Selec_Codigo", local}, {"Prop_Codigo", property}});
        return Upload({{"W_Selecciones", json::array({{{"Selec_Codigo", local},
                                                       {"Selec_CodigoGeneracion", name},
                                                       {"Usuario_Codigo", clerk},
                                                       {"Selec_Nombre", name},
                                                       {"Selec_Estado", "AM"}}})},
                       {"W_SeleccionesProps", members}},
                      who);
    };
    const auto members = [&](const char* name) {
        return master->Column(u"SELECT `Prop_Codigo` FROM `W_SeleccionesProps` WHERE `Selec_Codigo`=(SELECT "
                              u"`Selec_Codigo` FROM `W_Selecciones` WHERE `Selec_Nombre`='%1') ORDER BY 1;"_s.arg(
                                  QLatin1StringView(name)));
    };
    const Reply withHidden = send(hidden, "con privada");
    const Reply withMissing = send(missing, "con inexistente");
    ASSERT_FALSE(withHidden.IsError()) << withHidden.ErrorText().toStdString();
    // The caller cannot tell the private listing from one that does not exist.
    EXPECT_EQ(withHidden.answer, withMissing.answer);
    const QStringList expected{QString::number(std::min(own, shared)), QString::number(std::max(own, shared))};
    EXPECT_EQ(members("con privada"), expected);
    EXPECT_EQ(members("con inexistente"), expected);
    EXPECT_EQ(master->Count(u"SELECT COUNT(*) FROM `W_SeleccionesProps` WHERE `Prop_Codigo`=%1;"_s.arg(hidden)), 0);
}

TEST_F(ServiceSync, CredentialsChangeNeedsTheValidationKeyAndTheRightUser)
{
    Credentials admin, clerk;
    Install(admin, u"a"_s);
    clerk.user = u"carga1"_s;
    clerk.installKey = admin.installKey;
    const qint64 clerkCode = master->Count(u"SELECT `Usuario_Codigo` FROM `W_Usuarios` WHERE `Inmo_Codigo`=7 AND "
                                           u"`Usuario_Login`='carga1';"_s);
    const qint64 adminCode = master->Count(u"SELECT `Usuario_Codigo` FROM `W_Usuarios` WHERE `Inmo_Codigo`=7 AND "
                                           u"`Usuario_Login`='admin';"_s);
    const qint64 foreignUser =
        master->Count(u"SELECT MIN(`Usuario_Codigo`) FROM `W_Usuarios` WHERE `Inmo_Codigo`=%1;"_s.arg(other.agency));
    const auto change = [&](const Credentials& who, const QString& key, qint64 user, const QString& name) {
        return Call(K::rkChangeCredentials,
                    {{Wire::MValidationKey, Md5(key)},
                     {Wire::MUserCode, user},
                     {Wire::MNewUserName, name},
                     {Wire::MNewPassword, Md5(u"nueva1"_s)}},
                    who);
    };
    EXPECT_TRUE(change(admin, u"DEMO0008"_s, clerkCode, u"nuevo"_s).IsError());   // wrong key
    EXPECT_TRUE(change(clerk, u"DEMO0007"_s, adminCode, u"nuevo"_s).IsError());   // a clerk, someone else
    EXPECT_TRUE(change(admin, u"DEMO0007"_s, foreignUser, u"nuevo"_s).IsError()); // another agency's user
    EXPECT_TRUE(change(admin, u"DEMO0007"_s, clerkCode, u"admin"_s).IsError());   // name taken
    EXPECT_TRUE(change(admin, u"DEMO0007"_s, clerkCode, u"con espacio"_s).IsError());
    const Reply done = change(admin, u"DEMO0007"_s, clerkCode, u"Vendedor1"_s);
    ASSERT_FALSE(done.IsError()) << done.ErrorText().toStdString();

    Credentials renamed = clerk;
    renamed.user = u"vendedor1"_s;
    renamed.password = u"nueva1"_s;
    EXPECT_EQ(Call(K::rkSessionCheck, {}, renamed).Text(Wire::ASessionStatus.toLatin1().constData()), u"0"_s);
    EXPECT_EQ(Call(K::rkSessionCheck, {}, clerk).Text(Wire::ASessionStatus.toLatin1().constData()), u"9"_s);
    // A clerk may change its own access.
    EXPECT_FALSE(change(renamed, u"DEMO0007"_s, clerkCode, u"vendedor2"_s).IsError());
}

TEST(ServiceAdminKey, TheOperatorsKeyValidatesAnyInstallation)
{
    ServiceOptions options;
    options.arguments = {u"--admin-key"_s, u"OPERA123"_s};
    ServiceProcess service(options);
    ASSERT_TRUE(service.Start()) << service.LastError().toStdString();
    ServiceClient client(service);
    Credentials who;
    const Reply file = client.Call(K::rkDatabaseFile, {}, who);
    QTemporaryDir folder;
    QFile out(folder.path() + u"/a.kdb"_s);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(file.answer);
    out.close();
    who.installKey = SqlFile(out.fileName(), Config::DatabasePassword)
                         .Value(u"SELECT `Sys_InstallKey` FROM `W_System`;"_s)
                         .toString();
    const Reply reply = client.Call(K::rkValidationKey, {{Wire::MValidationKey, Md5(u"OPERA123"_s)}}, who);
    EXPECT_EQ(reply.Text("Status"), Wire::StatusAcceptedWithNotice);
}

} // namespace
