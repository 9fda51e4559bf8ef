#include "db/DBSchema.h"
#include "db/InstallContext.h"
#include "records/ClientSearch.h"
#include "search/Filter.h"
#include "search/NewMatches.h"
#include "search/StoredSearchText.h"
#include "search/StoredSearches.h"
#include "support/DemoFixture.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

class StoredSearchesTest : public DemoDatabaseTest {
protected:
    void SetUp() override
    {
        DemoDatabaseTest::SetUp();
        SetCurrentAgencyCode(7);
    }
    static QString Text(const QString& sql)
    {
        std::unique_ptr<TResultSet> result;
        if (!DB() || !DB()->QueryNoCount(sql, result) || !result || result->RecordCount() == 0)
            return u"<none>"_s;
        return result->AsStringAt(0);
    }
    static void Run(const QString& sql) { ASSERT_TRUE(DB()->ExecNoCount(sql)) << sql.toStdString(); }
    static QString State(int code)
    {
        return Text(u"SELECT `Filtro_Estado` FROM `W_Filtros` WHERE `Filtro_Codigo`=%1;"_s.arg(code));
    }
    // A client of the agency, as the service delivered it.
    static int SomeClient(int skip = 0)
    {
        return int(Scalar(
            u"SELECT `Cli_Codigo` FROM `W_Clientes` WHERE `Inmo_Codigo`=7 ORDER BY 1 LIMIT 1 OFFSET %1;"_s.arg(skip)));
    }
    // The parameter text of a filter on one building type and a price range.
    static QString Search(int buildingType, qint64 from, qint64 to)
    {
        const TFilterEnv env = CurrentFilterEnv();
        TFilterState state = DefaultFilterState(env, false);
        state.Set(FilterList::Edificacion)[0] = buildingType;
        state.Precio = {from, to};
        return ComposeSearchParameters(state, env);
    }
};

TEST_F(StoredSearchesTest, OwnSearchesAreMarkedForUploadAndDeletedByWhatTheServiceKnows)
{
    const QString text = Search(1, 100000, 200000);
    int local = 0;
    ASSERT_TRUE(InsertStoredSearch(7, 1, u"Casas baratas"_s, text, &local));
    EXPECT_GE(local, kLocalCodeFirst);
    EXPECT_EQ(State(local), u"AM"_s);
    QString read;
    ASSERT_TRUE(ReadStoredSearchParameters(local, read));
    EXPECT_EQ(read, text);
    EXPECT_TRUE(StoredSearchNameExists(7, 1, u"Casas baratas"_s));
    EXPECT_FALSE(StoredSearchNameExists(7, 2, u"Casas baratas"_s));

    // As the service left one after an upload: its final code, nothing pending.
    int synced = 0;
    ASSERT_TRUE(InsertStoredSearch(7, 1, u"Departamentos"_s, Search(2, 0, 90000), &synced));
    Run(u"UPDATE `W_Filtros` SET `Filtro_Codigo`=4100, `Filtro_Estado`='OK' WHERE `Filtro_Codigo`=%1;"_s.arg(synced));
    ASSERT_TRUE(UpdateStoredSearch(4100, 7, 1, text));
    EXPECT_EQ(State(4100), u"AM"_s) << "a change the upload does not see is undone by the next import";
    Run(u"UPDATE `W_Filtros` SET `Filtro_Estado`='OK' WHERE `Filtro_Codigo`=4100;"_s);
    // Another user's search is not this user's to change.
    EXPECT_FALSE(UpdateStoredSearch(4100, 7, 2, text));

    ASSERT_TRUE(DeleteStoredSearch(local, 7, 1));
    EXPECT_EQ(State(local), u"<none>"_s);
    ASSERT_TRUE(DeleteStoredSearch(4100, 7, 1));
    EXPECT_EQ(State(4100), u"B"_s);
    // The deleted row keeps its name until the upload removes it, but leaves the list.
    EXPECT_TRUE(StoredSearchNameExists(7, 1, u"Departamentos"_s));
    QList<TStoredSrchData> list;
    ASSERT_TRUE(ListStoredSearches(7, 1, list));
    for (const TStoredSrchData& entry : list)
        EXPECT_NE(entry.Code, 4100);
    EXPECT_TRUE(fatal.calls.empty());
}

TEST_F(StoredSearchesTest, ClientSearchesAreReadWrittenAndClearedWithTheirPendingMark)
{
    const int client = SomeClient();
    ASSERT_GT(client, 0);
    TClientSearch search;
    ASSERT_TRUE(ReadClientSearch(7, client, search));
    EXPECT_TRUE(search.Parameters.isEmpty());

    const QString text = Search(1, 0, 150000);
    ASSERT_TRUE(WriteClientSearch(7, client, text, 1));
    EXPECT_EQ(Text(u"SELECT `Cli_Estado` FROM `W_Clientes` WHERE `Cli_Codigo`=%1;"_s.arg(client)), u"AM"_s);
    ASSERT_TRUE(ReadClientSearch(7, client, search));
    EXPECT_EQ(search.Parameters, text);
    EXPECT_EQ(search.User, 1);
    EXPECT_FALSE(search.UserName.isEmpty());
    EXPECT_LE(qAbs(search.Date.secsTo(QDateTime::currentDateTime())), 5);

    // The list: own searches by name first, then the clients', by client name.
    ASSERT_TRUE(InsertStoredSearch(7, 1, u"Zeta"_s, text));
    ASSERT_TRUE(InsertStoredSearch(7, 1, u"Alfa"_s, text));
    QList<TStoredSrchData> list;
    ASSERT_TRUE(ListStoredSearches(7, 1, list));
    ASSERT_EQ(list.size(), 3);
    EXPECT_EQ(list[0].Name, u"Alfa"_s);
    EXPECT_EQ(list[1].Name, u"Zeta"_s);
    EXPECT_EQ(list[2].Kind, int(SrchClient));
    EXPECT_EQ(list[2].Code, client);

    Run(u"UPDATE `W_Clientes` SET `Cli_Estado`='OK' WHERE `Cli_Codigo`=%1;"_s.arg(client));
    ASSERT_TRUE(ClearClientSearch(7, client));
    EXPECT_EQ(
        Text(u"SELECT `Cli_Estado` || '/' || `Cli_Filtro` FROM `W_Clientes` WHERE `Cli_Codigo`=%1;"_s.arg(client)),
        u"AM/"_s);
    ASSERT_TRUE(ListStoredSearches(7, 1, list));
    EXPECT_EQ(list.size(), 2);

    // A client deleted here (waiting for its upload) has no search to read or write.
    Run(u"UPDATE `W_Clientes` SET `Cli_Estado`='B' WHERE `Cli_Codigo`=%1;"_s.arg(client));
    EXPECT_FALSE(ReadClientSearch(7, client, search));
    EXPECT_FALSE(WriteClientSearch(7, client, text, 1));
    EXPECT_TRUE(fatal.calls.empty());
}

TEST(StoredSearchText, MalformedTextsAreRefusedWithAWord)
{
    TFilterEnv env;
    env.DataDate = QDate(2026, 12, 1);
    TFilterState state = DefaultFilterState(env, false);
    state.Texto = u"casa (con jardín"_s;
    const QString sound = ComposeSearchParameters(state, env);
    EXPECT_EQ(StoredSearchTextProblem(sound), QString());

    QString cut = sound;
    cut.replace(u"<Texto(casa (con jardín)>"_s, u"<Texto(casa (con) jardín)>"_s);
    const QString refused[] = {
        QString(),
        u"hola"_s,
        sound.chopped(1),
        sound.mid(1),
        cut,
        u"{<Foo(1)>}"_s,
        u"{<Precio(1,2)><Texto(<b>)>}"_s,
        u"{<Texto(a\u0001b)>}"_s,
    };
    for (const QString& text : refused)
        EXPECT_FALSE(StoredSearchTextProblem(text).isEmpty()) << text.toStdString();

    EXPECT_FALSE(StoredSearchSaveProblem(u"casa (con jardín)"_s).isEmpty());
    EXPECT_TRUE(StoredSearchSaveProblem(u"casa (con jardín"_s).isEmpty());
}

TEST_F(StoredSearchesTest, NewMatchesAreWhatTheSearchFindsAmongTheArrivedProperties)
{
    ASSERT_TRUE(EnsureSchema());
    // What arrived: every third current property.
    QStringList arrivedCodes;
    ASSERT_TRUE(LoadCodeList(
        u"SELECT `Prop_Codigo` AS c FROM `W_Propiedades` WHERE `Prop_Estado`=2 AND `Prop_Codigo` % 3 = 0;"_s,
        arrivedCodes));
    ASSERT_GT(arrivedCodes.size(), 20);
    QList<qint64> arrived;
    for (const QString& code : arrivedCodes)
        arrived << code.toLongLong();

    const TFilterEnv env = CurrentFilterEnv();
    const int type = int(Scalar(u"SELECT `Edif_Codigo` FROM `W_Propiedades` WHERE `Prop_Estado`=2 GROUP BY 1 "
                                u"ORDER BY COUNT(*) DESC LIMIT 1;"_s));
    const QString text = Search(type, 0, 0);
    int own = 0;
    ASSERT_TRUE(InsertStoredSearch(7, 1, u"Las de siempre"_s, text, &own));
    const int client = SomeClient(1);
    const QString clientText = Search(type, 1, 500000000);
    ASSERT_TRUE(WriteClientSearch(7, client, clientText, 1));
    // A damaged search is passed over, not fatal.
    ASSERT_TRUE(InsertStoredSearch(7, 1, u"Dañada"_s, u"{<Precio(1,"_s));

    // What the filter panel's own statement finds among them.
    const auto expected = [&](const QString& parameters) {
        const TFilterState state = ApplySearchParameters(parameters, env);
        QStringList codes;
        EXPECT_TRUE(
            LoadCodeList(u"SELECT `Prop_Codigo` AS c FROM (%1AND `W_Propiedades`.`Prop_Codigo` IN (%2)) "
                         u"ORDER BY 1;"_s.arg(BuildFilterStatement(state, env).BaseSql, arrivedCodes.join(u',')),
                         codes));
        return codes.join(u',');
    };
    const QString ownExpected = expected(text);
    ASSERT_FALSE(ownExpected.isEmpty());

    auto recorder = std::make_unique<TArrivalRecorder>();
    ASSERT_TRUE(recorder->Fill(arrived));
    TNewMatchRun run(std::move(recorder), LoadWatchedSearches(7));
    // The property list reopens the connection when it lets a result go, which takes the
    // temporary tables with it; the run goes on regardless.
    ASSERT_TRUE(run.Step(0));
    ASSERT_TRUE(ReopenDatabase());
    run.RunAll();
    EXPECT_EQ(run.Done(), 3);
    EXPECT_EQ(NewMatchCodes(7, SrchOwn, own), ownExpected);
    const QString clientExpected = expected(clientText);
    ASSERT_FALSE(clientExpected.isEmpty());
    EXPECT_NE(clientExpected, ownExpected);
    EXPECT_EQ(NewMatchCodes(7, SrchClient, client), clientExpected);
    TNewMatchCounts counts = NewMatchCounts(7);
    EXPECT_EQ(counts.value({int(SrchOwn), own}), int(ownExpected.count(u',') + 1));

    // The upload gives the search its final code; its matches go with it.
    Run(u"UPDATE `W_Filtros` SET `Filtro_Codigo`=4200, `Filtro_Estado`='OK' WHERE `Filtro_Codigo`=%1;"_s.arg(own));
    EXPECT_EQ(NewMatchCodes(7, SrchOwn, 4200), ownExpected);
    ASSERT_TRUE(ClearNewMatches(7, SrchOwn, 4200));
    counts = NewMatchCounts(7);
    EXPECT_FALSE(counts.contains({int(SrchOwn), 4200}));
    EXPECT_TRUE(counts.contains({int(SrchClient), client}));

    // A client's search cleared elsewhere (an import) leaves nothing behind for the next one.
    Run(u"UPDATE `W_Clientes` SET `Cli_Filtro`='' WHERE `Cli_Codigo`=%1;"_s.arg(client));
    ASSERT_TRUE(PruneNewMatches());
    ASSERT_TRUE(WriteClientSearch(7, client, clientText, 1));
    EXPECT_EQ(NewMatchCodes(7, SrchClient, client), QString());
    EXPECT_TRUE(fatal.calls.empty());
}

TEST_F(StoredSearchesTest, TheRecorderSeesOnlyTheWritesWhileItRecords)
{
    const qint64 model = Scalar(u"SELECT MIN(`Prop_Codigo`) FROM `W_Propiedades`;"_s);
    Run(u"CREATE TEMP TABLE `x` AS SELECT * FROM `W_Propiedades` WHERE `Prop_Codigo`=%1;"_s.arg(model));
    const auto copy = [&](qint64 code) {
        Run(u"UPDATE `x` SET `Prop_Codigo`=%1; INSERT INTO `W_Propiedades` SELECT * FROM `x`;"_s.arg(code));
    };
    TArrivalRecorder recorder;
    ASSERT_TRUE(recorder.Active());
    copy(900000001);
    // A changed row arrives as a replaced one.
    Run(u"DELETE FROM `W_Propiedades` WHERE `Prop_Codigo`=%1; "_s.arg(model));
    copy(model);
    EXPECT_EQ(recorder.Count(), 2);
    recorder.Stop();
    copy(900000002);
    EXPECT_EQ(recorder.Count(), 2);
}
