#include "db/DBSchema.h"
#include "db/InstallContext.h"
#include "selections/Selections.h"
#include "support/DemoFixture.h"
#include "sync/Session.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace S = Selections;

class SelectionsTest : public DemoDatabaseTest {
protected:
    void SetUp() override
    {
        DemoDatabaseTest::SetUp();
        ASSERT_TRUE(EnsureSchema());
        SetCurrentAgencyCode(7);
        me = int(Scalar(u"SELECT MIN(`Usuario_Codigo`) FROM `W_Usuarios` WHERE `Inmo_Codigo`=7;"_s));
        other = int(Scalar(u"SELECT MIN(`Usuario_Codigo`) FROM `W_Usuarios` WHERE `Inmo_Codigo`=7 AND "
                           u"`Usuario_Codigo`>%1 AND `Usuario_Activo`=1;"_s.arg(me)));
        SessionUserCode = me;
    }
    void TearDown() override
    {
        SessionUserCode = 0;
        ResetInstallContext();
    }
    QStringList Properties(int n, int skip = 0)
    {
        QStringList codes;
        for (int i = 0; i < n; ++i)
            codes << QString::number(Scalar(
                u"SELECT `Prop_Codigo` FROM `W_Propiedades` WHERE `Prop_Estado`=2 ORDER BY 1 LIMIT 1 OFFSET %1;"_s.arg(
                    skip + i)));
        return codes;
    }
    qint64 Create(const QString& name, const QStringList& members, int client = -1)
    {
        qint64 code = -1;
        EXPECT_TRUE(S::Save(name, client, members, -1, true, &code));
        return code;
    }
    QString Text(const QString& sql)
    {
        std::unique_ptr<TResultSet> r;
        if (!DB()->QueryNoCount(sql, r) || !r || r->RecordCount() == 0)
            return u"<none>"_s;
        return r->IsNullAt(0) ? u"<null>"_s : r->AsStringAt(0);
    }
    // A selection as the service delivered it: a code outside the local band, state "OK".
    qint64 Delivered(const QString& name, const QStringList& members, int owner)
    {
        static qint64 next = 5000;
        const qint64 code = ++next;
        QString sql = u"INSERT INTO `W_Selecciones` (`Selec_Codigo`,`Inmo_Codigo`,`Usuario_Codigo`,`Selec_FechaAlta`,"
                      u"`Selec_Nombre`,`Selec_Estado`) VALUES (%1,7,%2,\"2026-01-02 10:00:00\",\"%3\",\"OK\");"_s.arg(
                          QString::number(code), QString::number(owner), name);
        for (const QString& m : members)
            sql += u"INSERT INTO `W_SeleccionesProps` VALUES (%1,%2);"_s.arg(QString::number(code), m);
        EXPECT_TRUE(DB()->ExecNoCount(sql));
        return code;
    }
    int me = 0;
    int other = 0;
};

TEST_F(SelectionsTest, SaveCreatesTheRowWithItsMembersAsOnePendingChange)
{
    const QStringList members = Properties(3);
    const int client = int(Scalar(u"SELECT MIN(`Cli_Codigo`) FROM `W_Clientes` WHERE `Inmo_Codigo`=7;"_s));
    const qint64 code = Create(u"Para \"Gómez\""_s, members, client);
    EXPECT_GE(code, kLocalCodeFirst);
    EXPECT_EQ(Text(u"SELECT `Selec_Nombre` FROM `W_Selecciones` WHERE `Selec_Codigo`=%1;"_s.arg(code)),
              u"Para \"Gómez\""_s);
    EXPECT_EQ(Text(u"SELECT `Selec_Estado` FROM `W_Selecciones` WHERE `Selec_Codigo`=%1;"_s.arg(code)), u"AM"_s);
    EXPECT_EQ(S::ClientOf(code), client);
    EXPECT_FALSE(Text(u"SELECT `Selec_CodigoGeneracion` FROM `W_Selecciones` WHERE `Selec_Codigo`=%1;"_s.arg(code))
                     .startsWith(u'<'));
    QStringList read;
    ASSERT_TRUE(S::Members({code}, read));
    EXPECT_EQ(read.size(), 3);
    EXPECT_EQ(S::CountListed(), 1);
}

// Adding marks to an existing selection adds only the missing members, marks it pending,
// and leaves its client and name alone unless a client was chosen.
TEST_F(SelectionsTest, AddToExistingAddsOnlyMissingMembers)
{
    const QStringList all = Properties(4);
    const int client = int(Scalar(u"SELECT MIN(`Cli_Codigo`) FROM `W_Clientes` WHERE `Inmo_Codigo`=7;"_s));
    const qint64 code = Delivered(u"Existente"_s, all.mid(0, 2), me);
    ASSERT_TRUE(DB()->ExecNoCount(
        u"UPDATE `W_Selecciones` SET `Cli_Codigo`=%1 WHERE `Selec_Codigo`=%2;"_s.arg(client).arg(code)));
    ASSERT_TRUE(S::Save(QString(), -1, all.mid(1, 3), code, false));
    EXPECT_EQ(Scalar(u"SELECT COUNT(*) FROM `W_SeleccionesProps` WHERE `Selec_Codigo`=%1;"_s.arg(code)), 4);
    EXPECT_EQ(Text(u"SELECT `Selec_Estado` FROM `W_Selecciones` WHERE `Selec_Codigo`=%1;"_s.arg(code)), u"AM"_s);
    EXPECT_EQ(S::ClientOf(code), client);
    EXPECT_EQ(Text(u"SELECT `Selec_FechaMod` FROM `W_Selecciones` WHERE `Selec_Codigo`=%1;"_s.arg(code)), u"<null>"_s);
    EXPECT_EQ(S::NameOf(code), u"Existente"_s);
    // Choosing "no client" while adding clears it.
    ASSERT_TRUE(S::Save(QString(), 0, {}, code, false));
    EXPECT_EQ(S::ClientOf(code), 0);
    EXPECT_EQ(S::NameOf(code), u"Existente"_s);
}

TEST_F(SelectionsTest, DeleteRemovesALocalSelectionAndMarksADeliveredOne)
{
    const QStringList members = Properties(2);
    const qint64 local = Create(u"Local"_s, members);
    const qint64 delivered = Delivered(u"Del servicio"_s, members, me);
    for (qint64 code : {local, delivered})
        ASSERT_TRUE(S::Share({code}, {{u"x"_s, other, 0, 1}}));
    ASSERT_TRUE(S::Delete(local));
    ASSERT_TRUE(S::Delete(delivered));
    for (const char* table : {"W_Selecciones", "W_SeleccionesProps", "W_SeleccionesCompartidas"})
        EXPECT_EQ(
            Scalar(u"SELECT COUNT(*) FROM `%1` WHERE `Selec_Codigo`=%2;"_s.arg(QLatin1StringView(table)).arg(local)), 0)
            << table;
    EXPECT_EQ(Scalar(u"SELECT COUNT(*) FROM `W_SeleccionesProps` WHERE `Selec_Codigo`=%1;"_s.arg(delivered)), 0);
    EXPECT_EQ(Scalar(u"SELECT COUNT(*) FROM `W_SeleccionesCompartidas` WHERE `Selec_Codigo`=%1;"_s.arg(delivered)), 0);
    EXPECT_EQ(Text(u"SELECT `Selec_Estado` FROM `W_Selecciones` WHERE `Selec_Codigo`=%1;"_s.arg(delivered)), u"B"_s);
    EXPECT_EQ(Text(u"SELECT `Selec_Compartir` FROM `W_Selecciones` WHERE `Selec_Codigo`=%1;"_s.arg(delivered)),
              u"<null>"_s);
    EXPECT_NE(Text(u"SELECT `Selec_FechaMod` FROM `W_Selecciones` WHERE `Selec_Codigo`=%1;"_s.arg(delivered)),
              u"<null>"_s);
    EXPECT_EQ(S::CountListed(), 0);
    EXPECT_TRUE(fatal.calls.empty());
}

// A delete that fails half-way leaves the selection whole.
TEST_F(SelectionsTest, AFailedDeleteLeavesNoOrphans)
{
    const qint64 delivered = Delivered(u"Entera"_s, Properties(2), me);
    // The selection row refuses the change; the members' delete before it must go back.
    ASSERT_TRUE(DB()->ExecNoCount(u"CREATE TRIGGER refuse BEFORE UPDATE ON `W_Selecciones` BEGIN SELECT "
                                  u"RAISE(ABORT, 'no'); END;"_s));
    EXPECT_FALSE(S::Delete(delivered));
    ASSERT_EQ(fatal.calls.size(), 1u);
    ASSERT_TRUE(OpenDatabase(Paths.DatabaseFile, Config::DatabasePassword, Config::DatabaseDriverId));
    EXPECT_EQ(Scalar(u"SELECT COUNT(*) FROM `W_SeleccionesProps` WHERE `Selec_Codigo`=%1;"_s.arg(delivered)), 2);
    EXPECT_EQ(Text(u"SELECT `Selec_Estado` FROM `W_Selecciones` WHERE `Selec_Codigo`=%1;"_s.arg(delivered)), u"OK"_s);
}

TEST_F(SelectionsTest, AFailedSaveLeavesNoEmptySelection)
{
    ASSERT_TRUE(DB()->ExecNoCount(u"CREATE TRIGGER refuse BEFORE INSERT ON `W_SeleccionesProps` BEGIN SELECT "
                                  u"RAISE(ABORT, 'no'); END;"_s));
    EXPECT_FALSE(S::Save(u"Nueva"_s, -1, Properties(2), -1, true));
    ASSERT_TRUE(OpenDatabase(Paths.DatabaseFile, Config::DatabasePassword, Config::DatabaseDriverId));
    EXPECT_EQ(Scalar(u"SELECT COUNT(*) FROM `W_Selecciones`;"_s), 0);
}

TEST_F(SelectionsTest, NameCheckIgnoresDeletedSelectionsAndOtherUsers)
{
    const qint64 code = Delivered(u"Repetido"_s, {}, me);
    EXPECT_TRUE(S::NameExists(u"Repetido"_s));
    EXPECT_FALSE(S::NameExists(u"repetido "_s));
    ASSERT_TRUE(S::Delete(code));
    EXPECT_FALSE(S::NameExists(u"Repetido"_s));
    Delivered(u"Ajeno"_s, {}, other);
    EXPECT_FALSE(S::NameExists(u"Ajeno"_s));
}

TEST_F(SelectionsTest, RemoveMemberAndEditMarkTheSelectionPending)
{
    const QStringList members = Properties(3);
    const qint64 code = Delivered(u"Original"_s, members, me);
    ASSERT_TRUE(S::RemoveMember(members[1].toLongLong(), code));
    QStringList left;
    ASSERT_TRUE(S::Members({code}, left));
    EXPECT_EQ(left, (QStringList{members[0], members[2]}));
    EXPECT_EQ(Text(u"SELECT `Selec_Estado` FROM `W_Selecciones` WHERE `Selec_Codigo`=%1;"_s.arg(code)), u"AM"_s);
    ASSERT_TRUE(DB()->ExecNoCount(u"UPDATE `W_Selecciones` SET `Selec_Estado`=\"OK\";"_s));
    ASSERT_TRUE(S::Edit(code, u"Renombrada"_s, -1));
    EXPECT_EQ(S::NameOf(code), u"Renombrada"_s);
    EXPECT_EQ(Text(u"SELECT `Selec_Estado` FROM `W_Selecciones` WHERE `Selec_Codigo`=%1;"_s.arg(code)), u"AM"_s);
}

// Sharing follows the users' states: all shares, none unshares, partial leaves alone.
TEST_F(SelectionsTest, ShareStatesAndAcceptanceByTheOtherUser)
{
    const qint64 a = Create(u"A"_s, Properties(1));
    const qint64 b = Create(u"B"_s, Properties(1, 1));
    ASSERT_TRUE(S::Share({a}, {{u"x"_s, other, 0, 1}}));
    QList<TSharedUsersData> users;
    ASSERT_TRUE(S::ShareUsers({a, b}, users));
    const auto him = std::find_if(users.begin(), users.end(), [&](const auto& u) { return u.Code == other; });
    ASSERT_NE(him, users.end());
    EXPECT_EQ(him->State, -1);
    EXPECT_EQ(him->Shared, 1);
    EXPECT_TRUE(std::none_of(users.begin(), users.end(), [&](const auto& u) { return u.Code == me; }));
    // Left partial: nothing changes for him.
    ASSERT_TRUE(S::Share({a, b}, {*him}));
    EXPECT_EQ(Scalar(u"SELECT COUNT(*) FROM `W_SeleccionesCompartidas` WHERE `Usuario_Codigo`=%1;"_s.arg(other)), 1);
    ASSERT_TRUE(S::Share({a, b}, {{u"x"_s, other, 1, 1}}));
    EXPECT_EQ(Scalar(u"SELECT COUNT(*) FROM `W_SeleccionesCompartidas` WHERE `Usuario_Codigo`=%1;"_s.arg(other)), 2);
    EXPECT_EQ(Scalar(u"SELECT COUNT(*) FROM `W_Selecciones` WHERE `Selec_Compartir`=1;"_s), 2);
    ASSERT_TRUE(S::Share({b}, {{u"x"_s, other, 1, 0}}));
    EXPECT_EQ(Text(u"SELECT `Selec_Compartir` FROM `W_Selecciones` WHERE `Selec_Codigo`=%1;"_s.arg(b)), u"<null>"_s);

    // As the other user: offered, not listed until accepted, then listed.
    ASSERT_TRUE(DB()->ExecNoCount(u"UPDATE `W_Selecciones` SET `Selec_Estado`=\"OK\";"_s));
    SessionUserCode = other;
    EXPECT_EQ(S::CountListed(), 0);
    EXPECT_TRUE(S::AnythingSharedWithMe());
    QList<TOthersSelectionsData> offered;
    ASSERT_TRUE(S::OthersSelections(std::nullopt, offered));
    ASSERT_EQ(offered.size(), 1);
    EXPECT_FALSE(offered[0].Accepted);
    offered[0].Accepted = true;
    ASSERT_TRUE(S::Accept(offered));
    EXPECT_EQ(S::CountListed(), 1);
    // Only his share row goes up; the owner's selection is not sent back.
    EXPECT_EQ(Text(u"SELECT `Selec_Estado` FROM `W_Selecciones` WHERE `Selec_Codigo`=%1;"_s.arg(a)), u"OK"_s);
    EXPECT_EQ(Text(u"SELECT `%1` FROM `W_SeleccionesCompartidas` WHERE `Selec_Codigo`=%2 AND `Usuario_Codigo`=%3;"_s
                       .arg(kShareStateColumn)
                       .arg(a)
                       .arg(other)),
              u"AM"_s);
    // Withdrawing it after a join keeps the share row but hides it.
    ASSERT_TRUE(S::Withdraw({a}));
    EXPECT_EQ(S::CountListed(), 0);
    EXPECT_EQ(Scalar(u"SELECT COUNT(*) FROM `W_SeleccionesCompartidas` WHERE `Usuario_Codigo`=%1;"_s.arg(other)), 1);
}

TEST(SelectionNames, DuplicateSuffixRules)
{
    const QDateTime noon(QDate(2026, 12, 11), QTime(12, 30, 5));
    const QDateTime midnight(QDate(2026, 12, 11), QTime(0, 0, 0));
    const QString long64 = QString(64, u'x');
    const struct {
        const char* what;
        QString name;
        QDateTime now;
        QString expected;
    } cases[] = {
        {"plain", u"Casas"_s, noon, u"Casas_Dup. 2026-12-11 12-30-05_#4321"_s},
        {"earlier suffix replaced", u"Casas_Dup. 2025-01-02 03-04-05_#1111"_s, noon,
         u"Casas_Dup. 2026-12-11 12-30-05_#4321"_s},
        {"midnight keeps its time", u"Casas"_s, midnight, u"Casas_Dup. 2026-12-11 00-00-00_#4321"_s},
        {"suffix without time replaced", u"Casas_Dup. 2025-01-02_#1111"_s, noon,
         u"Casas_Dup. 2026-12-11 12-30-05_#4321"_s},
        {"64 characters cut", long64, noon, QString(33, u'x') + u"_Dup. 2026-12-11 12-30-05_#4321"_s},
    };
    for (const auto& c : cases) {
        const std::optional<QString> name = Selections::FreeDuplicateName(
            c.name, c.now, [](const QString&) { return false; }, [] { return 4321; });
        ASSERT_TRUE(name) << c.what;
        EXPECT_EQ(*name, c.expected) << c.what;
        EXPECT_LE(name->size(), 64) << c.what;
    }
    // Duplicating a duplicate made at midnight yields one suffix, not two.
    const QString first = *Selections::FreeDuplicateName(
        u"Casas"_s, midnight, [](const QString&) { return false; }, [] { return 1000; });
    EXPECT_EQ(Selections::StripDuplicateSuffix(first), u"Casas"_s);
}

TEST(SelectionNames, TheSearchForAFreeNameEnds)
{
    int asked = 0;
    const auto never = [&](const QString&) {
        ++asked;
        return true;
    };
    EXPECT_FALSE(Selections::FreeDuplicateName(u"Casas"_s, QDateTime::currentDateTime(), never));
    EXPECT_EQ(asked, Selections::kDuplicateAttempts);
    int draws = 0;
    const auto second = Selections::FreeDuplicateName(
        u"Casas"_s, QDateTime::currentDateTime(), [&](const QString&) { return draws < 2; },
        [&] {
            ++draws;
            return 1000 + draws;
        });
    ASSERT_TRUE(second);
    EXPECT_TRUE(second->endsWith(u"_#1002"_s));
}
