// korvel-service on a loopback port: the probes, bad input, and the answers of the kinds
// that read or record without changing the shared data.

#include "ServiceClient.h"
#include "ServiceTestUtil.h"
#include "core/ErrorReport.h"
#include "sync/Envelope.h"
#include "sync/WireProtocol.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QUrl>

#include <gtest/gtest.h>
#include <qrencode.h>

#include <memory>

using namespace Qt::StringLiterals;
using K = TRequestKind;

namespace {

// One demo service for the whole suite: these tests only read, or add records of their own.
class ServiceRequests : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ServiceOptions options;
        options.photoFiles = 80; // enough files for an answer to reach the 255-photo limit
        s_service = new ServiceProcess(options);
        ASSERT_TRUE(s_service->Start()) << s_service->LastError().toStdString();
    }
    static void TearDownTestSuite()
    {
        delete s_service;
        s_service = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(s_service && s_service->IsRunning());
        master = std::make_unique<SqlFile>(s_service->DataFolder() + u"/master.db"_s);
        ASSERT_TRUE(master->IsOpen());
    }

    ServiceProcess& Service() { return *s_service; }
    Reply Call(K kind, const Members& extras = {}, const Credentials& who = {})
    {
        return ServiceClient(*s_service).Call(kind, extras, who);
    }
    // A property of agency 7, or a public one of another agency.
    qint64 Property(bool own, const QString& condition = u"1"_s)
    {
        return master
            ->Value(u"SELECT `Prop_Codigo` FROM `W_Propiedades` WHERE %1 AND %2 ORDER BY 1 LIMIT 1;"_s.arg(
                own ? u"`Inmo_Codigo`=7"_s : u"`Inmo_Codigo`<>7 AND `Prop_Publica`=1"_s, condition))
            .toLongLong();
    }
    qint64 ForeignPrivateProperty()
    {
        return master->Count(u"SELECT MIN(`Prop_Codigo`) FROM `W_Propiedades` WHERE `Inmo_Codigo`<>7 AND "
                             u"`Prop_Publica`=0 AND `Prop_Codigo` IN (SELECT `Prop_Codigo` FROM `W_Fotos`);"_s);
    }

    static inline ServiceProcess* s_service = nullptr;
    std::unique_ptr<SqlFile> master;
};

TEST_F(ServiceRequests, AnswersTheProbesOfTheClient)
{
    EXPECT_EQ(Service().Head(u"/"_s).status, 200);
    EXPECT_EQ(Service().Head(Wire::SyncPath).status, 200);
    const ServiceProcess::HttpReply address = Service().Get(Wire::PublicAddressPath);
    EXPECT_EQ(address.status, 200);
    EXPECT_EQ(address.body.trimmed(), "127.0.0.1");
    EXPECT_TRUE(Service().Output().startsWith(u"listening on http://127.0.0.1:%1\n"_s.arg(Service().Port())));
}

TEST_F(ServiceRequests, MalformedEnvelopesAreRefusedWithHttp400)
{
    ServiceClient client(Service());
    QByteArray good;
    PackEnvelope(RequestPreamble(), ServiceClient::RequestText(K::rkSessionCheck, {}, {}), good);
    QByteArray wrongPreamble = good;
    wrongPreamble[0] = 'X';
    QByteArray corrupt = good;
    for (qsizetype i = RequestPreamble().size() + 6; i < corrupt.size() - 70; ++i)
        corrupt[i] = char(corrupt[i] ^ 0x5A);
    QByteArray notJson, array;
    PackEnvelope(RequestPreamble(), "this is no json", notJson);
    PackEnvelope(RequestPreamble(), "[1,2,3]", array);

    const struct {
        const char* name;
        ServiceProcess::HttpReply reply;
    } cases[] = {
        {"plain body", Service().Post(Wire::SyncPath, good, "application/octet-stream")},
        {"other field", Service().PostForm(Wire::SyncPath, "other", good)},
        {"short envelope", Service().PostForm(Wire::SyncPath, Wire::FormFieldName, good.left(40))},
        // The marker is there but the padding would leave nothing (or less than nothing)
        // to inflate.
        {"51 bytes", Service().PostForm(Wire::SyncPath, Wire::FormFieldName, good.left(51))},
        {"one byte below the minimum",
         Service().PostForm(Wire::SyncPath, Wire::FormFieldName,
                            good.left(MinimumEnvelopeLength(int(RequestPreamble().size())) - 1))},
        {"wrong preamble", Service().PostForm(Wire::SyncPath, Wire::FormFieldName, wrongPreamble)},
        {"corrupt deflate", Service().PostForm(Wire::SyncPath, Wire::FormFieldName, corrupt)},
        {"not json", Service().PostForm(Wire::SyncPath, Wire::FormFieldName, notJson)},
        {"json array", Service().PostForm(Wire::SyncPath, Wire::FormFieldName, array)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.reply.status, 400) << c.name;
        QByteArray answer;
        EXPECT_TRUE(UnpackEnvelope(c.reply.body, Wire::ResponsePreambleLength, answer)) << c.name;
        EXPECT_TRUE(IsErrorObject(answer)) << c.name;
    }
    // Still serving.
    EXPECT_FALSE(client.Call(K::rkSessionCheck).IsError());
}

TEST_F(ServiceRequests, RefusalsComeBackAsTheErrorObject)
{
    Credentials wrongPassword;
    wrongPassword.password = u"nodemo"_s;
    Credentials unknownAgency;
    unknownAgency.agency = 9999;
    Credentials foreignKey;
    foreignKey.installKey = u"DEMO-8-20261209"_s;
    Credentials inactive;
    inactive.user = u"carga4"_s; // the demo's inactive user of agency 7
    const QByteArray session = ServiceClient::RequestText(K::rkSessionCheck, {}, {});
    QByteArray missing = session, wrongType = session;
    missing.replace(WireString(Wire::MUser) + ":\"admin\",", "");
    wrongType.replace(WireString(Wire::MAgency) + ":7", WireString(Wire::MAgency) + ":\"7\"");
    QByteArray unknownAction = session;
    unknownAction.replace("\"session\"", "\"nada\"");

    ServiceClient client(Service());
    const struct {
        const char* name;
        Reply reply;
        QString expected; // part of the error text
    } cases[] = {
        {"wrong password",
         client.Call(K::rkTermsOfService, {{Wire::MAppName, u"Korvel"_s}, {Wire::MTermsVersion, 0.0}}, wrongPassword),
         u"contraseña incorrectos"_s},
        {"unknown agency", client.Call(K::rkVersionInfo, {}, unknownAgency), u"no está registrada"_s},
        {"installation of another agency", client.Call(K::rkVersionInfo, {}, foreignKey), u"clave de instalación"_s},
        {"inactive user", client.Call(K::rkVersionInfo, {}, inactive), u"no está habilitado"_s},
        {"missing member", client.CallText(missing), u"Faltan datos"_s},
        {"wrong type", client.CallText(wrongType), u"no es válido"_s},
        {"unknown action", client.CallText(unknownAction), u"no existe"_s},
        {"missing extra member", client.Call(K::rkPhotos, {{Wire::MItemCode, qint64(0)}}), u"Fotos"_s},
        {"wrong mode", client.Call(K::rkFullData, {{Wire::MMode, qint64(1)}, {Wire::MDataVersion, qint64(-1)}}),
         u"modo"_s},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.reply.status, 200) << c.name;
        ASSERT_TRUE(c.reply.IsError()) << c.name << ": " << c.reply.answer.toStdString();
        EXPECT_TRUE(c.reply.ErrorText().contains(c.expected)) << c.name << ": " << c.reply.ErrorText().toStdString();
        EXPECT_LE(c.reply.answer.size(), 4096) << c.name;
    }
}

TEST_F(ServiceRequests, AnAgencyThatLeftIsNoLongerServed)
{
    Credentials left;
    left.agency = int(master->Count(u"SELECT MAX(`Inmo_Codigo`) FROM `W_Inmobiliarias` WHERE `Inmo_Codigo`<>7 AND "
                                    u"`Inmo_FechaBaja` IS NULL;"_s));
    ASSERT_FALSE(ServiceClient(Service())
                     .Call(K::rkTermsOfService, {{Wire::MAppName, u"Korvel"_s}, {Wire::MTermsVersion, 0.0}}, left)
                     .IsError());
    ASSERT_TRUE(master->Exec(u"UPDATE `W_Inmobiliarias` SET `Inmo_FechaBaja`='2026-01-05', `Inmo_FechaReingreso`=NULL "
                             u"WHERE `Inmo_Codigo`=%1;"_s.arg(left.agency)));
    const Reply reply = ServiceClient(Service()).Call(
        K::rkTermsOfService, {{Wire::MAppName, u"Korvel"_s}, {Wire::MTermsVersion, 0.0}}, left);
    EXPECT_TRUE(reply.ErrorText().contains(u"no está activa"_s)) << reply.answer.toStdString();
    master->Exec(
        u"UPDATE `W_Inmobiliarias` SET `Inmo_FechaReingreso`='2026-03-01' WHERE `Inmo_Codigo`=%1;"_s.arg(left.agency));
    EXPECT_FALSE(ServiceClient(Service())
                     .Call(K::rkTermsOfService, {{Wire::MAppName, u"Korvel"_s}, {Wire::MTermsVersion, 0.0}}, left)
                     .IsError());
}

TEST_F(ServiceRequests, SessionCheckSaysWhetherTheServiceConfirmsTheUser)
{
    Credentials wrong, inactive;
    wrong.password = u"otra"_s;
    inactive.user = u"carga4"_s;
    const struct {
        Credentials who;
        int status;
        bool message;
    } cases[] = {{Credentials{}, 0, false}, {wrong, 9, true}, {inactive, 1, true}};
    for (const auto& c : cases) {
        const Reply reply = Call(K::rkSessionCheck, {}, c.who);
        ASSERT_FALSE(reply.IsError()) << c.who.user.toStdString();
        EXPECT_EQ(reply.Text(Wire::ASessionStatus.toLatin1().constData()).toInt(), c.status);
        EXPECT_EQ(!reply.Text(Wire::ASessionMessage.toLatin1().constData()).isEmpty(), c.message);
    }
}

TEST_F(ServiceRequests, TermsVersionAndHelpComeFromTheServiceRecords)
{
    const Reply terms = Call(K::rkTermsOfService, {{Wire::MAppName, u"Korvel"_s}, {Wire::MTermsVersion, 0.0}});
    ASSERT_FALSE(terms.IsError()) << terms.ErrorText().toStdString();
    EXPECT_EQ(terms.Text("TOS_Version").toDouble(), 2.1);
    EXPECT_TRUE(terms.Text("TOS_Date").startsWith(u"2026-10-01"_s));
    EXPECT_TRUE(terms.Text("TOS_Text").startsWith(u"TÉRMINOS"_s));
    EXPECT_EQ(terms.Text("User_Name"),
              master
                  ->Value(u"SELECT `Usuario_Nombre` FROM `W_Usuarios` WHERE `Inmo_Codigo`=7 AND "
                          u"`Usuario_Login`='admin';"_s)
                  .toString());
    EXPECT_TRUE(QDateTime::fromString(terms.Text("ServerTime"), u"yyyy-MM-dd HH:mm:ss"_s).isValid());
    // Non-ASCII travels as \u escapes only: the client reads answers as ASCII.
    for (const char c : terms.answer)
        ASSERT_LT(uchar(c), 128);

    const Reply version = Call(K::rkVersionInfo);
    EXPECT_EQ(version.Text("CurrentVersion"), u"3.0.0"_s);
    EXPECT_TRUE(version.json.contains("ChangeLog"));

    const Reply help = Call(K::rkHelpFile, {{Wire::MHelpVersion, 0.0}});
    ASSERT_FALSE(help.IsError());
    EXPECT_TRUE(QByteArray::fromBase64(help.Text("Data").toLatin1()).startsWith("%PDF"));
    EXPECT_EQ(help.Text("Help_Version").toDouble(), 1.0);
    const Reply current = Call(K::rkHelpFile, {{Wire::MHelpVersion, 1.0}});
    EXPECT_TRUE(current.json.contains("Data"));
    EXPECT_TRUE(current.Text("Data").isEmpty());
}

TEST_F(ServiceRequests, ProgramDownloadOffersOnlyANewerVersion)
{
    Credentials older;
    older.appVersion = u"2.9.9"_s;
    const Reply none = Call(K::rkProgramDownload, {{Wire::MPlatform, u"Linux"_s}});
    ASSERT_TRUE(none.IsError());
    EXPECT_EQ(none.ErrorText(), Wire::NoUpdateNeeded);
    const Reply missing = Call(K::rkProgramDownload, {{Wire::MPlatform, u"Linux"_s}}, older);
    ASSERT_TRUE(missing.IsError());
    EXPECT_NE(missing.ErrorText(), Wire::NoUpdateNeeded);

    // An operator publishes version 3.1 for Linux.
    const QString folder = Service().DataFolder() + u"/program"_s;
    QDir().mkpath(folder + u"/Linux"_s);
    QFile note(folder + u"/version.txt"_s);
    ASSERT_TRUE(note.open(QIODevice::WriteOnly));
    note.write("3.1.0\nNuevos reportes.\nCorrecciones.\n");
    note.close();
    QByteArray program(70000, Qt::Uninitialized);
    for (qsizetype i = 0; i < program.size(); ++i)
        program[i] = char((i * 7919) % 251);
    QFile binary(folder + u"/Linux/Korvel"_s);
    ASSERT_TRUE(binary.open(QIODevice::WriteOnly));
    binary.write(program);
    binary.close();

    EXPECT_EQ(Call(K::rkVersionInfo).Text("CurrentVersion"), u"3.1.0"_s);
    EXPECT_EQ(Call(K::rkVersionInfo).Text("ChangeLog"), u"Nuevos reportes.\nCorrecciones."_s);
    const Reply download = Call(K::rkProgramDownload, {{Wire::MPlatform, u"Linux"_s}});
    ASSERT_TRUE(download.unpacked);
    EXPECT_EQ(download.answer, program);
    Credentials newer;
    newer.appVersion = u"3.10.0"_s; // compared by number, not as text
    EXPECT_EQ(Call(K::rkProgramDownload, {{Wire::MPlatform, u"Linux"_s}}, newer).ErrorText(), Wire::NoUpdateNeeded);
    QDir(folder).removeRecursively();
}

TEST_F(ServiceRequests, PhotosAnswerCarriesTheFilesAndAtMost255)
{
    // Where the service keeps the picture of "property_photo".
    const auto file = [&](const QString& row) {
        const QString property = row.section(u'_', 0, 0);
        return u"%1/photos/%2/w_%3.jpg"_s.arg(Service().DataFolder(),
                                              property.left(property.size() - 5).rightJustified(4, u'0'), row);
    };
    const auto read = [](const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    // Photos with files, of any agency's listing the agency may see.
    QStringList withFiles;
    for (const QString& row : master->Column(u"SELECT f.`Prop_Codigo` || '_' || f.`Foto_Codigo` FROM `W_Fotos` f JOIN "
                                             u"`W_Propiedades` p USING (`Prop_Codigo`) WHERE p.`Inmo_Codigo`=7 OR "
                                             u"p.`Prop_Publica`=1;"_s))
        if (QFile::exists(file(row)))
            withFiles << row;
    ASSERT_GT(withFiles.size(), 255);
    QStringList ids;
    for (const QString& row : withFiles.mid(0, 3))
        ids << row.section(u'_', 1);
    const Reply three =
        Call(K::rkPhotos, {{Wire::MItemCode, qint64(0)}, {Wire::MPhotoList, ids.join(u',') + u",999999"_s}});
    ASSERT_FALSE(three.IsError()) << three.ErrorText().toStdString();
    ASSERT_EQ(three.Text("Count"), u"3"_s);
    for (int i = 1; i <= 3; ++i) {
        const QString name = three.Text(("f" + std::to_string(i)).c_str());
        ASSERT_TRUE(name.startsWith(u"w_"_s) && name.endsWith(u".jpg"_s)) << name.toStdString();
        const QByteArray bytes = read(file(name.mid(2, name.size() - 6)));
        ASSERT_FALSE(bytes.isEmpty()) << name.toStdString();
        EXPECT_EQ(QByteArray::fromBase64(three.Text(("d" + std::to_string(i)).c_str()).toLatin1()), bytes);
    }

    QStringList all;
    for (const QString& row : withFiles)
        all << row.section(u'_', 1);
    const Reply many = Call(K::rkPhotos, {{Wire::MItemCode, qint64(0)}, {Wire::MPhotoList, all.join(u',')}});
    EXPECT_EQ(many.Text("Count"), u"255"_s);
    EXPECT_TRUE(many.json.contains("d255"));
    EXPECT_FALSE(many.json.contains("f256"));

    // Another agency's private listing is not in the pool, nor are its photos, even with the
    // picture file in place.
    const QString hidden =
        master
            ->Value(u"SELECT `Prop_Codigo` || '_' || `Foto_Codigo` FROM `W_Fotos` WHERE `Prop_Codigo`=%1;"_s.arg(
                ForeignPrivateProperty()))
            .toString();
    ASSERT_FALSE(hidden.isEmpty());
    QDir().mkpath(QFileInfo(file(hidden)).absolutePath());
    if (!QFile::exists(file(hidden))) {
        ASSERT_TRUE(QFile::copy(file(withFiles.first()), file(hidden)));
    }
    EXPECT_EQ(
        Call(K::rkPhotos, {{Wire::MItemCode, qint64(0)}, {Wire::MPhotoList, hidden.section(u'_', 1)}}).Text("Count"),
        u"0"_s);
    EXPECT_TRUE(Call(K::rkPhotos, {{Wire::MItemCode, qint64(0)}, {Wire::MPhotoList, u"12,x"_s}}).IsError());
    EXPECT_EQ(Call(K::rkPhotos, {{Wire::MItemCode, qint64(0)}, {Wire::MPhotoList, QString()}}).Text("Count"), u"0"_s);
}

TEST_F(ServiceRequests, LogoAndQrArePicturesAndTheQrCarriesTheListingAddress)
{
    const Reply logo = Call(K::rkAgencyLogo);
    EXPECT_FALSE(QImage::fromData(QByteArray::fromBase64(logo.Text("Logo").toLatin1()), "PNG").isNull());

    const qint64 own = Property(true, u"`Prop_Publica`=1 AND `Prop_Estado`=2"_s);
    const Reply qr = Call(K::rkPropertyQR, {{Wire::MItemCode, own}});
    ASSERT_FALSE(qr.IsError()) << qr.ErrorText().toStdString();
    const QImage picture = QImage::fromData(QByteArray::fromBase64(qr.Text("QR").toLatin1()), "PNG");
    ASSERT_FALSE(picture.isNull());
    // Read the modules back and compare them with the code of the listing's address.
    const QByteArray url = Service().Url(u"/p/%1"_s.arg(own)).toUtf8();
    QRcode* expected = QRcode_encodeString8bit(url.constData(), 0, QR_ECLEVEL_M);
    ASSERT_NE(expected, nullptr);
    const int modules = expected->width, scale = picture.width() / (modules + 8);
    ASSERT_EQ(picture.width(), (modules + 8) * scale);
    int differences = 0;
    for (int y = 0; y < modules; ++y)
        for (int x = 0; x < modules; ++x) {
            const bool dark = qGray(picture.pixel((x + 4) * scale + scale / 2, (y + 4) * scale + scale / 2)) < 128;
            differences += dark != bool(expected->data[y * modules + x] & 1);
        }
    QRcode_free(expected);
    EXPECT_EQ(differences, 0);
    const ServiceProcess::HttpReply page = Service().Get(u"/p/%1"_s.arg(own));
    EXPECT_EQ(page.status, 200);
    EXPECT_TRUE(page.body.contains(u"0007-%1"_s.arg(own % 100000, 5, 10, QLatin1Char('0')).toUtf8()));

    // Another agency's listing, or one of its own that is withdrawn, has no QR of ours.
    EXPECT_TRUE(Call(K::rkPropertyQR, {{Wire::MItemCode, Property(false)}}).IsError());
    EXPECT_EQ(Service().Get(u"/p/%1"_s.arg(Property(true, u"`Prop_Estado`=1"_s))).status, 404);
}

TEST_F(ServiceRequests, ShareLinksOnlyForOwnPublicCurrentListings)
{
    const qint64 shareable = Property(true, u"`Prop_Publica`=1 AND `Prop_Estado`=2 AND `Standby_Codigo`=1"_s);
    const qint64 onWeb = Property(true, u"`Prop_Publica`=1 AND `Prop_Estado`=2 AND `Standby_Codigo`=1 AND "
                                        u"`publicarEnKorvel`=1"_s);
    const qint64 offWeb = Property(true, u"`Prop_Publica`=1 AND `Prop_Estado`=2 AND `Standby_Codigo`=1 AND "
                                         u"`publicarEnKorvel`=0"_s);
    const qint64 suspended = Property(true, u"`Prop_Estado`=2 AND `Standby_Codigo`<>1"_s);
    const qint64 privateOne = Property(true, u"`Prop_Publica`=0"_s);
    ASSERT_TRUE(shareable && onWeb && offWeb && suspended && privateOne);
    const struct {
        qint64 code;
        qint64 channel;
        bool ok;
    } cases[] = {
        {shareable, 6, true},        {shareable, 11, true},      {shareable, 16, true}, {onWeb, 18, true},
        {offWeb, 18, false},         {shareable, 7, false},      {suspended, 6, false}, {privateOne, 6, false},
        {Property(false), 6, false}, {shareable, 256 + 6, true}, // only the low byte counts
    };
    for (const auto& c : cases) {
        const Reply reply = Call(K::rkShareLink, {{Wire::MItemCode, c.code}, {Wire::MChannel, c.channel}});
        EXPECT_EQ(!reply.IsError(), c.ok) << c.code << " channel " << c.channel;
        if (c.ok) {
            EXPECT_EQ(QUrl::fromPercentEncoding(reply.Text("URL").toLatin1()),
                      Service().Url(u"/p/%1?c=%2"_s.arg(c.code).arg(c.channel & 0xFF)));
        }
    }
}

TEST_F(ServiceRequests, AccountStatementAndPaymentReport)
{
    const Reply statement = Call(K::rkAccountStatement);
    ASSERT_FALSE(statement.IsError());
    for (const char* member : {"Pago_Hasta", "Pago_Fecha", "Pago_Importe", "Pago_Saldo", "Pago_Descuento", "Pago_Nota",
                               "Pago_IVA", "Pago_LastUpdate"})
        EXPECT_TRUE(statement.json.contains(member)) << member;
    EXPECT_EQ(statement.Text("Pago_Saldo"), u"$0"_s); // agency 7 is up to date
    EXPECT_EQ(statement.Text("Pago_Importe"), u"$52.500"_s);
    EXPECT_EQ(statement.Text("Pago_Hasta"), u"Noviembre 2026"_s);

    const QString today = QDate::currentDate().toString(u"dd/MM/yyyy"_s);
    const auto pay = [&](const QString& date, const QString& type, const QString& amount) {
        return Call(K::rkReportPayment, {{Wire::MPayDate, date},
                                         {Wire::MPayType, type},
                                         {Wire::MPayBranch, u"Av. Santa Fe 1234, Martínez"_s},
                                         {Wire::MPayBank, u"Santander Río"_s},
                                         {Wire::MPayAmount, amount}});
    };
    const qint64 before = master->Count(u"SELECT COUNT(*) FROM `S_Pagos`;"_s);
    const Reply ok = pay(today, u"Depósito"_s, u"1.525,50"_s);
    ASSERT_FALSE(ok.IsError()) << ok.ErrorText().toStdString();
    EXPECT_TRUE(ok.json.contains("Msg"));
    EXPECT_TRUE(ok.Text("Msg").isEmpty());
    EXPECT_EQ(master->Value(u"SELECT `Pago_Importe` FROM `S_Pagos` ORDER BY `Pago_Codigo` DESC LIMIT 1;"_s).toDouble(),
              1525.5);
    EXPECT_TRUE(pay(today, u"Transferencia"_s, u"abc"_s).IsError());
    EXPECT_TRUE(pay(today, u"Cheque"_s, u"525,00"_s).IsError());
    EXPECT_TRUE(pay(u"31/02/2026"_s, u"Depósito"_s, u"525,00"_s).IsError());
    EXPECT_TRUE(pay(QDate::currentDate().addDays(5).toString(u"dd/MM/yyyy"_s), u"Depósito"_s, u"525,00"_s).IsError());
    EXPECT_TRUE(pay(today, u"Depósito"_s, u"0"_s).IsError());
    EXPECT_EQ(master->Count(u"SELECT COUNT(*) FROM `S_Pagos`;"_s), before + 1);
}

TEST_F(ServiceRequests, DenounceAndVisitGoToAnotherAgencysListing)
{
    const qint64 foreign = Property(false), own = Property(true);
    const QString reason = u"La propiedad ya fue vendida."_s; // 28 characters
    EXPECT_FALSE(Call(K::rkDenounceProperty, {{Wire::MItemCode, foreign}, {Wire::MBody, reason}}).IsError());
    EXPECT_TRUE(Call(K::rkDenounceProperty, {{Wire::MItemCode, own}, {Wire::MBody, reason}}).IsError());
    EXPECT_TRUE(Call(K::rkDenounceProperty, {{Wire::MItemCode, foreign}, {Wire::MBody, u"  corta   "_s}}).IsError());
    EXPECT_TRUE(Call(K::rkDenounceProperty, {{Wire::MItemCode, 99999999}, {Wire::MBody, reason}}).IsError());
    EXPECT_TRUE(
        Call(K::rkDenounceProperty, {{Wire::MItemCode, ForeignPrivateProperty()}, {Wire::MBody, reason}}).IsError());
    EXPECT_EQ(master->Value(u"SELECT `Den_Motivo` FROM `S_Denuncias` ORDER BY 1 DESC LIMIT 1;"_s).toString(), reason);

    const auto visit = [&](qint64 code, const QDateTime& when, const QString& client) {
        return Call(K::rkVisitRequest, {{Wire::MItemCode, code},
                                        {Wire::MVisitAddress, u"Sarmiento 123, Olivos"_s},
                                        {Wire::MVisitWhen, when.toString(u"yyyy-MM-dd HH:mm:ss"_s)},
                                        {Wire::MVisitSeller, u"Ana Pérez"_s},
                                        {Wire::MVisitClient, client},
                                        {Wire::MVisitBody, u"Quisiéramos visitarla el martes."_s}});
    };
    const QDateTime tomorrow = QDateTime::currentDateTime().addDays(1);
    const Reply sent = visit(foreign, tomorrow, u"Juan Gómez"_s);
    ASSERT_FALSE(sent.IsError()) << sent.ErrorText().toStdString();
    EXPECT_TRUE(sent.Text("Msg").isEmpty());
    EXPECT_TRUE(visit(own, tomorrow, u"Juan Gómez"_s).IsError());
    EXPECT_TRUE(visit(foreign, tomorrow, u"JG"_s).IsError());
    EXPECT_TRUE(visit(foreign, QDateTime::currentDateTime().addDays(-3), u"Juan Gómez"_s).IsError());
    EXPECT_FALSE(QDir(Service().DataFolder() + u"/outbox"_s).entryList(QDir::Files).isEmpty());
}

TEST_F(ServiceRequests, MailAndWebReportsServeAPageOfTheListings)
{
    const QStringList codes =
        master->Column(u"SELECT `Prop_Codigo` FROM `W_Propiedades` WHERE `Prop_Publica`=1 ORDER BY 1 LIMIT 3;"_s);
    const auto report = [&](K kind, const QString& to, const QStringList& list) {
        return Call(kind, {{Wire::MMailTo, to},
                           {Wire::MSubject, u"Reporte de propiedades de Vodadez Korvel"_s},
                           {Wire::MBody, kind == K::rkMailReport ? u"Le envío las propiedades."_s : QString()},
                           {Wire::MReportOptions, u"t=1&o1=0&o2=1&o3=1&o4=1&o5=0"_s},
                           {Wire::MPropertyList, list.join(u',')},
                           {Wire::MSendCopy, qint64(kind == K::rkMailReport)},
                           {Wire::MReportFlag, qint64(0)}});
    };
    const Reply mail = report(K::rkMailReport, u"cliente@correo.com.ar"_s, codes);
    ASSERT_FALSE(mail.IsError()) << mail.ErrorText().toStdString();
    const QString url = mail.Text("URL");
    ASSERT_TRUE(url.startsWith(Service().Url(u"/r/"_s)));
    const ServiceProcess::HttpReply page = Service().Get(QUrl(url).path());
    EXPECT_EQ(page.status, 200);
    for (const QString& code : codes)
        EXPECT_TRUE(page.body.contains(
            u"%1-%2"_s.arg(code.left(code.size() - 5).rightJustified(4, u'0'), code.right(5)).toUtf8()))
            << code.toStdString();
    EXPECT_TRUE(page.body.contains("Le env&iacute;o") || page.body.contains("Le envío"));

    const Reply web = report(K::rkWebReport, QString(), codes);
    ASSERT_FALSE(web.IsError());
    EXPECT_FALSE(QImage::fromData(QByteArray::fromBase64(web.Text("QR").toLatin1()), "PNG").isNull());
    EXPECT_NE(web.Text("URL"), url);

    QStringList fiftyOne =
        master->Column(u"SELECT `Prop_Codigo` FROM `W_Propiedades` WHERE `Prop_Publica`=1 LIMIT 51;"_s);
    EXPECT_TRUE(report(K::rkWebReport, QString(), fiftyOne).IsError());
    EXPECT_FALSE(report(K::rkWebReport, QString(), fiftyOne.mid(0, 50)).IsError());
    EXPECT_TRUE(report(K::rkMailReport, u"no es un e-mail"_s, codes).IsError());
    EXPECT_TRUE(report(K::rkMailReport, u"a@b.com"_s, {u"12"_s}).IsError());
    EXPECT_EQ(Service().Get(u"/r/000000000000000000000000"_s).status, 404);
}

TEST_F(ServiceRequests, ErrorReportsAreStoredOneFileEach)
{
    const QString text = u"Error fatal en $2003\r\nsegunda línea\r\n\r\n---\r\nInmobiliaria=7\r\n---"_s;
    const ServiceProcess::HttpReply stored =
        Service().PostForm(Wire::ErrorReportPath, Wire::FormFieldName, EncodeErrorReport(text));
    EXPECT_EQ(stored.status, 200);
    QByteArray damaged = EncodeErrorReport(text);
    damaged[damaged.size() / 2] = damaged[damaged.size() / 2] == 'A' ? 'B' : 'A';
    EXPECT_EQ(Service().PostForm(Wire::ErrorReportPath, Wire::FormFieldName, damaged).status, 400);

    const QDir folder(Service().DataFolder() + u"/errors"_s);
    const QStringList files = folder.entryList(QDir::Files);
    ASSERT_EQ(files.size(), 1);
    QFile file(folder.filePath(files.first()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QString::fromUtf8(file.readAll()).endsWith(text));
}

} // namespace
