// A client that keeps up with a busy network: other agencies change their listings, photos
// and messages while the client synchronises incrementally, and in the end its tables hold
// exactly what a fresh full import would give it.
#include "core/Config.h"
#include "core/MiscFunc.h"
#include "core/uTypes.h"
#include "db/DBSchema.h"
#include "db/InstallContext.h"
#include "db/Settings.h"
#include "db/uDB.h"
#include "support/ServiceClientFixture.h"
#include "support/ServiceProcess.h"
#include "support/TestRoot.h"
#include "sync/Import.h"
#include "sync/Requests.h"
#include "sync/Sync.h"
#include "sync/SyncData.h"
#include "sync/Upload.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

#include <sqlite3.h>

#include <map>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

ServiceOptions Churning()
{
    ServiceOptions options;
    options.arguments = {u"--churn"_s, u"1"_s, u"--churn-seed"_s, u"4242"_s};
    return options;
}

// Every row of every table but the installation's settings, as sorted text lines: two
// databases with equal maps hold the same data whatever order the rows were written in.
using TTableRows = std::map<QString, std::vector<std::string>>;

TTableRows RowsOf(sqlite3* db)
{
    TTableRows tables;
    std::vector<QString> names;
    sqlite3_stmt* list = nullptr;
    sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE 'sqlite_%'", -1, &list,
                       nullptr);
    while (list && sqlite3_step(list) == SQLITE_ROW)
        names.push_back(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(list, 0))));
    sqlite3_finalize(list);
    for (const QString& name : names) {
        if (name == u"W_System"_s)
            continue;
        std::vector<std::string>& rows = tables[name];
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db, ("SELECT * FROM `" + name.toStdString() + "`").c_str(), -1, &s, nullptr) !=
            SQLITE_OK)
            continue;
        while (sqlite3_step(s) == SQLITE_ROW) {
            std::string row;
            for (int c = 0; c < sqlite3_column_count(s); ++c) {
                // The storage class is part of the value: 5 and "5" are different rows.
                row += char('0' + sqlite3_column_type(s, c));
                if (sqlite3_column_type(s, c) != SQLITE_NULL)
                    row.append(reinterpret_cast<const char*>(sqlite3_column_text(s, c)),
                               size_t(sqlite3_column_bytes(s, c)));
                row += '\x1f';
            }
            rows.push_back(std::move(row));
        }
        sqlite3_finalize(s);
        std::sort(rows.begin(), rows.end());
    }
    return tables;
}

class ChurnTest : public ServiceClientTest {
protected:
    ChurnTest() : ServiceClientTest(Churning()) {}

    void Install() { ServiceClientTest::Install(&delivered); }

    // Asks the service's churn for batches now and/or pauses it; the data version after.
    qint64 Churn(int batches, int pause = -1)
    {
        QJsonObject body{{u"batches"_s, batches}};
        if (pause >= 0)
            body[u"pause"_s] = pause == 1;
        const ServiceProcess::HttpReply reply =
            service.Post(u"/admin/churn"_s, QJsonDocument(body).toJson(), "application/json");
        EXPECT_EQ(reply.status, 200) << reply.body.toStdString();
        return QJsonDocument::fromJson(reply.body).object().value(u"version"_s).toInteger(-1);
    }

    static QStringList Codes(const QString& sql)
    {
        QStringList codes;
        std::unique_ptr<TResultSet> rows;
        EXPECT_TRUE(DB()->QueryNoCount(sql, rows));
        for (; rows && !rows->Eof(); rows->Next())
            codes << QString::number(rows->AsInt64At(0));
        return codes;
    }

    static qint64 Scalar(const QString& sql)
    {
        std::unique_ptr<TResultSet> r;
        if (!DB() || !DB()->QueryNoCount(sql, r) || !r || r->RecordCount() == 0)
            return -999;
        return r->AsInt64At(0);
    }

    QByteArray delivered; // the installation file as it came, before any import
};

} // namespace

TEST_F(ChurnTest, IncrementalSynchronisationKeepsTheClientEqualToAFreshFullImport)
{
    Install();
    const int installed = LocalDataVersion();
    const qint64 ownProperties = Scalar(u"SELECT COUNT(*) FROM `W_Propiedades` WHERE `Inmo_Codigo` = 7;"_s);

    for (int round = 0; round < 4; ++round) {
        QThread::msleep(1100); // the service's own timer adds a batch a second
        const qint64 version = Churn(3);
        const int before = LocalDataVersion();
        ASSERT_GT(version, before);
        if (round == 1) {
            // What the client receives is the change, not the whole data again.
            QByteArray answer;
            ASSERT_EQ(RequestIncrementalData(session, before, answer), QString());
            const QJsonObject object = QJsonDocument::fromJson(answer).object();
            EXPECT_EQ(object.value(u"Data_Type"_s).toInt(-1), 1);
            EXPECT_TRUE(object.value(u"W_Propiedades"_s).toObject().contains(u"PropList"_s)) << answer.left(400).data();
            EXPECT_FALSE(object.contains(u"W_Calles"_s));
        }
        ASSERT_EQ(SyncIncremental(session), QString()) << "round " << round;
        EXPECT_GE(LocalDataVersion(), version) << "round " << round;
    }
    const qint64 final = Churn(1, 1);
    ASSERT_EQ(SyncIncremental(session), QString());
    ASSERT_EQ(LocalDataVersion(), final);
    EXPECT_GE(final - installed, 12);
    // The churn leaves the agency's own listings alone.
    EXPECT_EQ(Scalar(u"SELECT COUNT(*) FROM `W_Propiedades` WHERE `Inmo_Codigo` = 7;"_s), ownProperties);
    EXPECT_GT(Scalar(u"SELECT COUNT(*) FROM `W_Mensajes` WHERE `Msg_Asunto` LIKE 'Novedades de la red%';"_s), 0);
    const TTableRows synchronised = RowsOf(DB()->Handle());
    CloseDatabase();

    // A second installation of the same agency, filled by one full import of the service's
    // current data.
    const QString fresh = Paths.DataFolder + u"fresh.kdb"_s;
    ASSERT_TRUE(WriteBytesFile(fresh, delivered));
    ASSERT_TRUE(OpenDatabase(fresh, Config::DatabasePassword, Config::DatabaseDriverId));
    QByteArray data;
    ASSERT_EQ(RequestFullData(session, data), QString());
    const TImportResult imported = ImportTables(data, -1);
    ASSERT_TRUE(imported.ok);
    ASSERT_EQ(imported.dataVersion, final);
    const TTableRows expected = RowsOf(DB()->Handle());

    ASSERT_EQ(synchronised.size(), expected.size());
    for (const auto& [table, rows] : expected) {
        const std::vector<std::string>& got = synchronised.at(table);
        EXPECT_EQ(got.size(), rows.size()) << table.toStdString();
        const auto mismatch = std::mismatch(got.begin(), got.end(), rows.begin(), rows.end());
        if (mismatch.first != got.end() || mismatch.second != rows.end())
            ADD_FAILURE() << table.toStdString() << ": synchronised row "
                          << (mismatch.first != got.end() ? *mismatch.first : "(none)") << "\n  full import row "
                          << (mismatch.second != rows.end() ? *mismatch.second : "(none)");
    }
    EXPECT_GT(expected.at(u"W_Propiedades"_s).size(), 100u);
    EXPECT_TRUE(fatal.calls.empty());
}

TEST_F(ChurnTest, PhotosByNumberFollowTheChurnAndAnUploadWithoutPhotosIsAccepted)
{
    Install();
    Churn(0, 1); // only the batches asked for below
    // Enough batches that photos are both added (with files) and removed.
    const qint64 before = LocalDataVersion();
    const qint64 lastPhoto = Scalar(u"SELECT MAX(`Foto_Codigo`) FROM `W_Fotos`;"_s);
    const QStringList photosBefore = Codes(u"SELECT `Foto_Codigo` FROM `W_Fotos` ORDER BY 1;"_s);
    Churn(30);
    ASSERT_EQ(SyncIncremental(session), QString());
    ASSERT_GT(LocalDataVersion(), before);

    // New photos of the other agencies, asked for by number, come with their pictures.
    const QStringList added =
        Codes(u"SELECT `Foto_Codigo` FROM `W_Fotos` WHERE `Foto_Codigo` > %1 ORDER BY 1;"_s.arg(lastPhoto));
    ASSERT_FALSE(added.isEmpty());
    QList<QPair<QString, QByteArray>> photos;
    ASSERT_EQ(RequestPhotos(session, 0, added.join(u','), photos), QString());
    EXPECT_EQ(photos.size(), added.size());
    for (const auto& [name, bytes] : photos) {
        EXPECT_TRUE(name.startsWith(u"w_"_s)) << name.toStdString();
        EXPECT_TRUE(bytes.startsWith("\xff\xd8")) << name.toStdString();
    }

    // Photos the churn removed are gone from the client and no longer served: the answer
    // counts none, and that is no error.
    const QStringList photosAfter = Codes(u"SELECT `Foto_Codigo` FROM `W_Fotos` ORDER BY 1;"_s);
    QStringList gone;
    for (const QString& code : photosBefore)
        if (!photosAfter.contains(code) && gone.size() < 3)
            gone << code;
    ASSERT_FALSE(gone.isEmpty());
    photos.clear();
    ASSERT_EQ(RequestPhotos(session, 0, gone.join(u','), photos), QString());
    EXPECT_TRUE(photos.isEmpty());

    // A pending record and no pending photo: the photo table travels as {"Empty":1}.
    int code = 0;
    QString generation;
    ASSERT_TRUE(NextLocalCode(u"W_Clientes"_s, u"Cli_Codigo"_s, code));
    ASSERT_TRUE(NewGenerationCode(u"W_Clientes"_s, u"Cli_CodigoGeneracion"_s, generation));
    ASSERT_TRUE(DB()->ExecNoCount(
        u"INSERT INTO `W_Clientes` (`Cli_Codigo`, `Inmo_Codigo`, `Cli_Tipo`, `Cli_Nombre`, `Cli_Activo`, `Cli_Estado`, "
        u"`Cli_CodigoGeneracion`, `Cli_Filtro`) VALUES (%1, 7, 0, \"Cliente sin fotos\", 1, \"AM\", \"%2\", \"\");"_s
            .arg(code)
            .arg(generation)));
    QByteArray payload;
    QString error;
    ASSERT_TRUE(BuildUploadPayload(payload, error)) << error.toStdString();
    EXPECT_TRUE(payload.contains(R"({"Empty":1})")) << payload.left(300).data();
    ASSERT_EQ(UploadChanges(session), QString());
    ASSERT_EQ(SyncIncremental(session), QString());
    EXPECT_EQ(
        Scalar(u"SELECT COUNT(*) FROM `W_Clientes` WHERE `Cli_CodigoGeneracion` = '%1' AND `Cli_Codigo` < 2147473647;"_s
                   .arg(generation)),
        1);
    EXPECT_FALSE(HasPendingChanges());
    EXPECT_TRUE(fatal.calls.empty());
}
