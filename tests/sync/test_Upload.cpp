#include "core/Config.h"
#include "core/MiscFunc.h"
#include "core/uTypes.h"
#include "db/InstallContext.h"
#include "db/uDB.h"
#include "records/PhotoFiles.h"
#include "service/Schema.h"
#include "support/SchemaDatabase.h"
#include "support/TestRoot.h"
#include "sync/Envelope.h"
#include "sync/Upload.h"

#include <QDir>
#include <QFileInfo>

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class UploadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(OpenEmptyInstallationDatabase());
        ASSERT_TRUE(DB()->ExecNoCount(
            u"INSERT INTO `W_Propiedades` (`Prop_Codigo`, `Inmo_Codigo`, `Prop_Precio`) VALUES (700001, 7, 1500.5);"
            u"INSERT INTO `W_Propiedades` (`Prop_Codigo`, `Inmo_Codigo`) VALUES (900001, 9);"_s));
    }
    void TearDown() override { ResetInstallContext(); }

    static nlohmann::json Payload()
    {
        QByteArray payload;
        QString error;
        EXPECT_TRUE(BuildUploadPayload(payload, error)) << error.toStdString();
        return nlohmann::json::parse(payload.toStdString());
    }

    TestRoot root;
    RecordingFatalHandler fatal;
};

} // namespace

TEST_F(UploadTest, NothingPendingStillCarriesThePhotoTable)
{
    int count = -1;
    EXPECT_FALSE(HasPendingChanges(&count));
    EXPECT_EQ(count, 0);
    const nlohmann::json payload = Payload();
    EXPECT_EQ(payload.dump(), R"({"W_Fotos":[{"Empty":1}]})");
}

TEST_F(UploadTest, ColumnsAreWrittenByTheirTypes)
{
    ASSERT_TRUE(DB()->ExecNoCount(
        u"INSERT INTO `W_Clientes` (`Cli_Codigo`, `Inmo_Codigo`, `Cli_Tipo`, `Cli_Nombre`, `Cli_CP`, `Cli_Estado`, "
        u"`Cli_FiltroFecha`, `Cli_FiltroUsuario`, `Cli_Notas`) VALUES (2147473647, 7, 0, \"Pérez, \"\"Juan\"\"\", "
        u"\"1636\", \"AM\", \"2026-03-05\", NULL, NULL);"
        u"INSERT INTO `W_Clientes` (`Cli_Codigo`, `Inmo_Codigo`, `Cli_Estado`) VALUES (12, 9, \"AM\");"
        u"UPDATE `W_Propiedades` SET `Sync_Tipo` = \"B\" WHERE `Prop_Codigo` = 700001;"
        u"INSERT INTO `W_Selecciones` (`Selec_Codigo`, `Inmo_Codigo`, `Selec_Nombre`, `Selec_Estado`, "
        u"`Selec_Compartir`) "
        u"VALUES (2147473650, 7, \"Para Juan\", \"AM\", 1);"
        u"INSERT INTO `W_SeleccionesProps` VALUES (2147473650, 700001);"_s));
    int count = 0;
    EXPECT_TRUE(HasPendingChanges(&count));
    EXPECT_EQ(count, 4); // the property, our client, the selection and its member

    const nlohmann::json payload = Payload();
    std::vector<std::string> members;
    for (auto it = payload.begin(); it != payload.end(); ++it)
        members.push_back(it.key());
    ASSERT_EQ(payload["W_Clientes"].size(), 1u); // another agency's pending row is not ours to send
    const nlohmann::json& client = payload["W_Clientes"][0];
    EXPECT_EQ(client["Cli_Codigo"], "2147473647"); // ten digits travel quoted
    EXPECT_EQ(client["Inmo_Codigo"], 7);
    EXPECT_EQ(client["Cli_Nombre"], "Pérez, \"Juan\"");
    EXPECT_EQ(client["Cli_CP"], "1636");
    EXPECT_EQ(client["Cli_FiltroFecha"], "2026-03-05");
    EXPECT_TRUE(client["Cli_FiltroUsuario"].is_null());
    EXPECT_EQ(payload["W_Propiedades"][0]["Prop_Precio"], "1500.5");
    EXPECT_EQ(payload["W_Propiedades"][0]["Sync_Tipo"], "B");
    EXPECT_EQ(payload["W_SeleccionesProps"][0]["Prop_Codigo"], 700001);
    EXPECT_EQ(payload["W_Selecciones"][0]["Selec_Compartir"], 1);
    EXPECT_EQ(payload["W_Fotos"][0]["Empty"], 1);
    EXPECT_FALSE(payload.contains("JPG"));

    EXPECT_TRUE(PendingChangesList().contains(u"Cliente Pérez, \"Juan\""_s));
    EXPECT_TRUE(PendingChangesSummary().contains(u"  - Clientes: 1"_s));
}

TEST_F(UploadTest, PendingPhotosTravelAsBase64AndAMissingFileStopsEverything)
{
    ASSERT_TRUE(DB()->ExecNoCount(u"INSERT INTO `W_Fotos` (`Foto_Codigo`, `Prop_Codigo`, `Sync_Tipo`) VALUES "
                                  u"(2147473647, 700001, \"AM\");"_s));
    const QString file = PhotoFileName(700001, 2147473647);
    QDir().mkpath(QFileInfo(file).absolutePath());
    ASSERT_TRUE(WriteBytesFile(file, QByteArray("\xFF\xD8\xFF jpeg", 8)));
    nlohmann::json payload = Payload();
    ASSERT_EQ(payload["JPG"].size(), 1u);
    EXPECT_EQ(payload["JPG"][0]["Prop_Codigo"], 700001);
    EXPECT_EQ(QByteArray::fromBase64(QByteArray::fromStdString(payload["JPG"][0]["Data"].get<std::string>())),
              QByteArray("\xFF\xD8\xFF jpeg", 8));
    EXPECT_EQ(payload["W_Fotos"][0]["Foto_Codigo"], "2147473647");

    ASSERT_TRUE(QFile::remove(file));
    QByteArray bytes;
    QString error;
    EXPECT_FALSE(BuildUploadPayload(bytes, error));
    EXPECT_TRUE(bytes.isEmpty());
    EXPECT_TRUE(error.contains(QFileInfo(file).fileName()));
    EXPECT_FALSE(root.LogLines().filter(u"File not found: \""_s + file + u'"').isEmpty());
    EXPECT_TRUE(HasPendingChanges());

    // The upload stops before anything is sent and every record stays pending.
    SyncEnabled = true;
    EXPECT_FALSE(UploadChanges({7, u"admin"_s, u"demo"_s, u"K"_s}).isEmpty());
    SyncEnabled = false;
    EXPECT_TRUE(HasPendingChanges());
}
