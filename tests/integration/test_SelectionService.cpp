// Selections made on an installation reach a real korvel-service: members, client and
// shares after a synchronisation, the acceptance of a share by its user, and a deletion.
#include "db/DBSchema.h"
#include "db/InstallContext.h"
#include "selections/Selections.h"
#include "support/ServiceClientFixture.h"
#include "sync/Session.h"
#include "sync/Upload.h"

#include <QDir>

#include <sqlite3.h>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class SelectionServiceTest : public ServiceClientTest {
protected:
    static qint64 Local(const QString& sql)
    {
        std::unique_ptr<TResultSet> r;
        if (!DB() || !DB()->QueryNoCount(sql, r) || !r || r->RecordCount() == 0 || r->IsNullAt(0))
            return -999;
        return r->AsInt64At(0);
    }
    // One value from the service's master database; -999 for none or NULL.
    qint64 Master(const QString& sql)
    {
        sqlite3* db = nullptr;
        qint64 value = -999;
        const QByteArray path = QDir(service.DataFolder()).filePath(u"master.db"_s).toUtf8();
        if (sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
            sqlite3_stmt* s = nullptr;
            const QByteArray text = sql.toUtf8();
            if (sqlite3_prepare_v2(db, text.constData(), -1, &s, nullptr) == SQLITE_OK &&
                sqlite3_step(s) == SQLITE_ROW && sqlite3_column_type(s, 0) != SQLITE_NULL)
                value = sqlite3_column_int64(s, 0);
            sqlite3_finalize(s);
        }
        sqlite3_close(db);
        return value;
    }
    void Synchronise(const TSessionValues& as)
    {
        ASSERT_EQ(UploadChanges(as), QString());
        ASSERT_EQ(SyncIncremental(as), QString());
        EXPECT_FALSE(HasPendingChanges());
    }
};

} // namespace

TEST_F(SelectionServiceTest, ASelectionWithItsSharesReachesTheServiceIsAcceptedAndDeleted)
{
    Install();
    ASSERT_TRUE(EnsureSchema());
    const int admin =
        int(Local(u"SELECT `Usuario_Codigo` FROM `W_Usuarios` WHERE `Inmo_Codigo`=7 AND `Usuario_Login`='admin';"_s));
    const int colleague =
        int(Local(u"SELECT `Usuario_Codigo` FROM `W_Usuarios` WHERE `Inmo_Codigo`=7 AND `Usuario_Login`='carga1';"_s));
    const int client = int(Local(u"SELECT MIN(`Cli_Codigo`) FROM `W_Clientes` WHERE `Inmo_Codigo`=7;"_s));
    QStringList members;
    for (int i = 0; i < 3; ++i)
        members << QString::number(
            Local(u"SELECT `Prop_Codigo` FROM `W_Propiedades` WHERE `Inmo_Codigo`=7 AND `Prop_Estado`=2 ORDER BY 1 "
                  u"LIMIT 1 OFFSET %1;"_s.arg(i)));

    SessionUserCode = admin;
    qint64 local = -1;
    ASSERT_TRUE(Selections::Save(u"Para el servicio"_s, client, members, -1, true, &local));
    ASSERT_TRUE(Selections::Share({local}, {{u"x"_s, colleague, 0, 1}}));
    const QString generation =
        ReadValue(u"W_Selecciones"_s, u"Selec_CodigoGeneracion"_s, u"Selec_Codigo"_s, QString::number(local));
    Synchronise(session);

    const qint64 code =
        Master(u"SELECT `Selec_Codigo` FROM `W_Selecciones` WHERE `Selec_CodigoGeneracion`='%1';"_s.arg(generation));
    ASSERT_GT(code, 0);
    EXPECT_LT(code, kLocalCodeFirst);
    EXPECT_EQ(Master(u"SELECT COUNT(*) FROM `W_SeleccionesProps` WHERE `Selec_Codigo`=%1;"_s.arg(code)), 3);
    EXPECT_EQ(Master(u"SELECT `Cli_Codigo` FROM `W_Selecciones` WHERE `Selec_Codigo`=%1;"_s.arg(code)), client);
    EXPECT_EQ(Master(u"SELECT COUNT(*) FROM `W_SeleccionesCompartidas` WHERE `Selec_Codigo`=%1 AND "
                     u"`Usuario_Codigo`=%2 AND `Selec_Aceptada` IS NULL;"_s.arg(code)
                         .arg(colleague)),
              1);
    // The copy here came back under the service's code.
    EXPECT_EQ(Local(u"SELECT COUNT(*) FROM `W_Selecciones` WHERE `Selec_Codigo`=%1;"_s.arg(code)), 1);

    // The colleague accepts it on this installation: only his share goes up.
    TSessionValues colleagueSession{7, u"carga1"_s, u"demo"_s, session.InstallKey};
    SessionUserCode = colleague;
    QList<TOthersSelectionsData> offered;
    ASSERT_TRUE(Selections::OthersSelections(std::nullopt, offered));
    ASSERT_EQ(offered.size(), 1);
    offered[0].Accepted = true;
    ASSERT_TRUE(Selections::Accept(offered));
    EXPECT_EQ(Local(u"SELECT COUNT(*) FROM `W_Selecciones` WHERE `Selec_Estado`<>'OK';"_s), 0);
    EXPECT_TRUE(HasPendingChanges());
    Synchronise(colleagueSession);
    EXPECT_EQ(Master(u"SELECT `Selec_Aceptada` FROM `W_SeleccionesCompartidas` WHERE `Selec_Codigo`=%1 AND "
                     u"`Usuario_Codigo`=%2;"_s.arg(code)
                         .arg(colleague)),
              1);
    EXPECT_EQ(Master(u"SELECT COUNT(*) FROM `W_SeleccionesProps` WHERE `Selec_Codigo`=%1;"_s.arg(code)), 3);
    EXPECT_EQ(Selections::CountListed(), 1);

    // The owner deletes it: the deletion reaches the service.
    SessionUserCode = admin;
    ASSERT_TRUE(Selections::Delete(code));
    EXPECT_EQ(
        Local(u"SELECT COUNT(*) FROM `W_Selecciones` WHERE `Selec_Codigo`=%1 AND `Selec_Estado`='B';"_s.arg(code)), 1);
    Synchronise(session);
    EXPECT_EQ(Master(u"SELECT COUNT(*) FROM `W_Selecciones` WHERE `Selec_Codigo`=%1;"_s.arg(code)), 0);
    EXPECT_EQ(Master(u"SELECT COUNT(*) FROM `W_SeleccionesProps` WHERE `Selec_Codigo`=%1;"_s.arg(code)), 0);
    EXPECT_EQ(Master(u"SELECT COUNT(*) FROM `W_SeleccionesCompartidas` WHERE `Selec_Codigo`=%1;"_s.arg(code)), 0);
    EXPECT_EQ(Local(u"SELECT COUNT(*) FROM `W_Selecciones` WHERE `Selec_Codigo`=%1;"_s.arg(code)), 0);
    EXPECT_TRUE(fatal.calls.empty());
    SessionUserCode = 0;
}
