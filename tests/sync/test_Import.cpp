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
#include "sync/Import.h"
#include "sync/Upload.h"
#include "sync/WireProtocol.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <nlohmann/json.hpp>
#include <sqlite3.h>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// An empty installation database with the whole schema.
class ImportTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(OpenEmptyInstallationDatabase()); }
    void TearDown() override { ResetInstallContext(); }

    static qint64 Scalar(const QString& sql)
    {
        std::unique_ptr<TResultSet> r;
        if (!DB()->QueryNoCount(sql, r) || !r || r->RecordCount() == 0)
            return -999;
        return r->AsInt64At(0);
    }
    static QString Text(const QString& sql)
    {
        std::unique_ptr<TResultSet> r;
        if (!DB()->QueryNoCount(sql, r) || !r || r->RecordCount() == 0)
            return u"<none>"_s;
        return r->IsNullAt(0) ? u"<null>"_s : r->AsStringAt(0);
    }

    TestRoot root;
    RecordingFatalHandler fatal;
};

const QByteArray kHead = R"("DBVer":"5","Data_Type":"0","ServerTime":"2026-12-09 10:11:12",)";

QByteArray Answer(const QByteArray& tables, const QByteArray& blocks)
{
    return "{" + kHead + "\"Tables\":\"" + tables + "\"," + blocks; // blocks close the object
}

} // namespace

TEST_F(ImportTest, RowsTypesAndNulls)
{
    const QByteArray answer = Answer(
        "W_Monedas,W_Zonas",
        R"("W_Monedas":{"Fields":"Moneda_Codigo,Moneda_Nombre,Moneda_Simbolo,Moneda_Cotizacion","Types":"int,text,text,real",)"
        R"("Count":3,"1":"1~Pesos~$~1","2":"2~D\u00f3lares~U$S~12,5","3":"3~~~"},)"
        R"("W_Zonas":{"Fields":"Zon_Codigo,Loc_Codigo,Zon_Nombre","Types":"int,int,text","Count":1,"1":"5~~Centro"}})");
    const TImportResult r = ImportTables(answer, -1);
    ASSERT_TRUE(r.ok) << root.LogLines().join(u'\n').toStdString();
    EXPECT_TRUE(r.changed);
    EXPECT_EQ(r.dataVersion, 5);
    EXPECT_EQ(r.serverTime, u"2026-12-09 10:11:12"_s);
    EXPECT_EQ(Text(u"SELECT `Moneda_Nombre` FROM `W_Monedas` WHERE `Moneda_Codigo`=2;"_s), u"Dólares"_s);
    EXPECT_EQ(Text(u"SELECT `Moneda_Cotizacion` FROM `W_Monedas` WHERE `Moneda_Codigo`=2;"_s), u"12.5"_s);
    EXPECT_EQ(Text(u"SELECT `Moneda_Nombre` FROM `W_Monedas` WHERE `Moneda_Codigo`=3;"_s), u"<null>"_s);
    EXPECT_EQ(Text(u"SELECT `Moneda_Cotizacion` FROM `W_Monedas` WHERE `Moneda_Codigo`=3;"_s), u"<null>"_s);
    EXPECT_EQ(Text(u"SELECT `Loc_Codigo` FROM `W_Zonas` WHERE `Zon_Codigo`=5;"_s), u"<null>"_s); // empty int
    EXPECT_FALSE(root.LogLines().filter(u"Table W_Monedas: 3 records received."_s).isEmpty());
}

TEST_F(ImportTest, VersionRuleTruncateListsAndReplacement)
{
    ASSERT_TRUE(
        ImportTables(Answer("W_Calles", R"("W_Calles":{"Fields":"Calle_Codigo,Calle_Nombre","Types":"int,text",)"
                                        R"("Count":3,"1":"1~Uno","2":"2~Dos","3":"3~Tres"}})"),
                     -1)
            .ok);

    // An answer that is not a full one, for a version the client already has: nothing to do.
    const QByteArray same = R"({"DBVer":"5","Data_Type":"1","ServerTime":"x","Tables":"W_Calles","W_Calles":)"
                            R"({"Truncate":1,"Fields":"Calle_Codigo","Types":"int","Count":0}})";
    TImportResult r = ImportTables(same, 5);
    EXPECT_TRUE(r.ok);
    EXPECT_FALSE(r.changed);
    EXPECT_EQ(Scalar(u"SELECT COUNT(*) FROM `W_Calles`;"_s), 3);
    // Then the tables it names need not be there at all.
    r = ImportTables(R"({"DBVer":"5","Data_Type":"1","ServerTime":"x","Tables":"W_Calles,W_Barrios"})", 5);
    EXPECT_TRUE(r.ok);
    EXPECT_FALSE(r.changed);

    // Delete by list, then a later block of the same table replaces by key.
    r = ImportTables(Answer("W_Calles", R"("W_Calles":{"PropList":"1,3","Fields":"Calle_Codigo,Calle_Nombre",)"
                                        R"("Types":"int,text","Count":1,"1":"4~Cuatro"},)"
                                        R"("W_Calles":{"Fields":"Calle_Codigo,Calle_Nombre","Types":"int,text",)"
                                        R"("Count":1,"1":"2~Dos bis"}})"),
                     -1);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(Scalar(u"SELECT COUNT(*) FROM `W_Calles`;"_s), 2);
    EXPECT_EQ(Text(u"SELECT `Calle_Nombre` FROM `W_Calles` WHERE `Calle_Codigo`=2;"_s), u"Dos bis"_s);

    // Truncate with no rows empties the table and commits.
    ASSERT_TRUE(ImportTables(Answer("W_Calles", R"("W_Calles":{"Truncate":1,"Fields":"Calle_Codigo,Calle_Nombre",)"
                                                R"("Types":"int,text","Count":0}})"),
                             -1)
                    .ok);
    EXPECT_EQ(Scalar(u"SELECT COUNT(*) FROM `W_Calles`;"_s), 0);
}

TEST_F(ImportTest, AFailingTableStopsTheImportAndKeepsTheEarlierOnes)
{
    const QByteArray answer =
        Answer("W_Paises,W_Calles,W_Barrios",
               R"("W_Paises":{"Fields":"Pais_Codigo,Pais_Nombre","Types":"int,text","Count":1,"1":"2~Argentina"},)"
               R"("W_Calles":{"Fields":"Calle_Codigo,Calle_Nombre","Types":"int,text","Count":1,"1":"1~Sarmiento"},)"
               R"("W_Barrios":{"Fields":"Barrio_Codigo,Barrio_Nombre,NoSuchColumn","Types":"int,text,text","Count":1,)"
               R"("1":"1~Nordelta~x"}})");
    const TImportResult r = ImportTables(answer, -1);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.tablesDone, (QStringList{u"W_Paises"_s, u"W_Calles"_s}));
    EXPECT_EQ(Scalar(u"SELECT COUNT(*) FROM `W_Paises`;"_s), 1);
    EXPECT_EQ(Scalar(u"SELECT COUNT(*) FROM `W_Calles`;"_s), 1);
    EXPECT_EQ(Scalar(u"SELECT COUNT(*) FROM `W_Barrios`;"_s), 0);
    EXPECT_FALSE(root.LogLines().filter(u"Commit of table W_Barrios failed."_s).isEmpty());
    EXPECT_FALSE(root.LogLines().filter(u"$3030: ROLLBACK"_s).isEmpty());
    EXPECT_TRUE(fatal.calls.empty());
}

TEST_F(ImportTest, MalformedAnswersFailWithoutHarm)
{
    const QByteArray good = Answer("W_Calles", R"("W_Calles":{"Fields":"Calle_Codigo,Calle_Nombre","Types":"int,text",)"
                                               R"("Count":2,"1":"1~Uno","2":"2~Dos"}})");
    struct Case {
        const char* what;
        QByteArray answer;
    };
    const Case cases[] = {
        {"not json", "<html>error</html>"},
        {"no version", R"({"Tables":"W_Calles"})"},
        {"no tables", "{" + kHead.chopped(1) + R"(,"W_Calles":{"Fields":"Calle_Codigo","Types":"int","Count":0}})"},
        {"int that is no integer", Answer("W_Calles", R"("W_Calles":{"Fields":"Calle_Codigo,Calle_Nombre",)"
                                                      R"("Types":"int,text","Count":1,"1":"1.5~Uno"}})")},
        {"wrong field count", Answer("W_Calles", R"("W_Calles":{"Fields":"Calle_Codigo,Calle_Nombre",)"
                                                 R"("Types":"int,text","Count":1,"1":"1~Uno~extra"}})")},
        {"fewer rows than Count", Answer("W_Calles", R"("W_Calles":{"Fields":"Calle_Codigo,Calle_Nombre",)"
                                                     R"("Types":"int,text","Count":3,"1":"1~Uno"}})")},
        {"truncated stream", good.left(good.size() - 12)},
        {"a name that is not a name",
         Answer("W_Calles; DROP TABLE W_System", R"("W_Calles; DROP TABLE W_System":{"Fields":"Calle_Codigo",)"
                                                 R"("Types":"int","Count":0}})")},
        {"a field that is not a name", Answer("W_Calles", R"("W_Calles":{"Fields":"Calle_Codigo,x) VALUES(1);--",)"
                                                          R"("Types":"int,text","Count":0}})")},
        // A table named in "Tables" that the answer does not carry: nothing of the answer
        // is applied, not even the tables that are there.
        {"a named table absent after the others",
         Answer("W_Calles,W_Barrios", R"("W_Calles":{"Fields":"Calle_Codigo,Calle_Nombre","Types":"int,text",)"
                                      R"("Count":1,"1":"1~Uno"}})")},
        {"a named table absent before the others",
         Answer("W_Barrios,W_Calles", R"("W_Calles":{"Fields":"Calle_Codigo,Calle_Nombre","Types":"int,text",)"
                                      R"("Count":1,"1":"1~Uno"}})")},
        {"a named table that is a text, not a block",
         Answer("W_Calles,W_Barrios", R"("W_Calles":{"Fields":"Calle_Codigo,Calle_Nombre","Types":"int,text",)"
                                      R"("Count":1,"1":"1~Uno"},"W_Barrios":"{}"}})")},
        {"a named table only inside another block",
         Answer("W_Calles,W_Barrios", R"("W_Calles":{"Fields":"Calle_Codigo,Calle_Nombre","Types":"int,text",)"
                                      R"("W_Barrios":{"Count":0},"Count":1,"1":"1~Uno"}})")},
    };
    for (const Case& c : cases) {
        const TImportResult r = ImportTables(c.answer, -1);
        EXPECT_FALSE(r.ok) << c.what;
        EXPECT_EQ(Scalar(u"SELECT COUNT(*) FROM `W_Calles`;"_s), 0) << c.what;
    }
    EXPECT_EQ(root.LogLines().filter(u"W_Barrios is named in \"Tables\" but absent from the answer."_s).size(), 4);
    EXPECT_EQ(Scalar(u"SELECT COUNT(*) FROM `W_System`;"_s), 0); // still there, untouched
    // The database is usable and a good answer goes in afterwards.
    EXPECT_TRUE(ImportTables(good, -1).ok);
    EXPECT_EQ(Scalar(u"SELECT COUNT(*) FROM `W_Calles`;"_s), 2);
    EXPECT_TRUE(fatal.calls.empty());
}

// What a hostile or broken service may send: each answer is refused before anything is
// written, so the table an earlier block of the answer fills stays as it was too.
class RefusedAnswerTest : public ImportTest {
protected:
    void SetUp() override
    {
        ImportTest::SetUp();
        ASSERT_TRUE(DB()->ExecNoCount(u"INSERT INTO `W_System` (`Sys_Codigo`, `Sys_DataVersion`) VALUES (1, 5);"_s));
        ASSERT_TRUE(DB()->ExecNoCount(u"INSERT INTO `W_Marcas` VALUES (7, 1, 700001);"_s));
        ASSERT_TRUE(DB()->ExecNoCount(u"INSERT INTO `W_Calles` VALUES (1, 'Uno'), (2, 'Dos'), (3, 'Tres');"_s));
    }

    struct Case {
        const char* what;
        QByteArray answer;
    };

    void ExpectRefused(const Case& c, int localVersion = -1)
    {
        ExpectUnchanged(ImportTables(c.answer, localVersion), c.what);
    }

    void ExpectUnchanged(const TImportResult& r, const char* what)
    {
        const Case c{what, {}};
        EXPECT_FALSE(r.ok) << c.what;
        EXPECT_FALSE(r.changed) << c.what;
        EXPECT_EQ(Text(u"SELECT GROUP_CONCAT(`Calle_Nombre`) FROM `W_Calles`;"_s), u"Uno,Dos,Tres"_s) << c.what;
        EXPECT_EQ(Scalar(u"SELECT COUNT(*) FROM `W_Barrios`;"_s), 0) << c.what;
        EXPECT_EQ(Scalar(u"SELECT COUNT(*) FROM `W_Marcas`;"_s), 1) << c.what;
        EXPECT_EQ(Scalar(u"SELECT `Sys_DataVersion` FROM `W_System`;"_s), 5) << c.what;
        EXPECT_TRUE(fatal.calls.empty()) << c.what;
    }

    // A block that the import would write if the answer were accepted.
    static QByteArray Barrios()
    {
        return R"("W_Barrios":{"Fields":"Barrio_Codigo,Barrio_Nombre","Types":"int,text","Count":1,"1":"1~Centro"})";
    }
};

TEST_F(RefusedAnswerTest, OnlyTheTablesTheServiceKeepsInStep)
{
    const auto emptying = [](const QByteArray& table) {
        return Answer("W_Barrios," + table,
                      Barrios() + ",\"" + table + R"(":{"Truncate":1,"Fields":"Sys_Codigo","Types":"int","Count":0}})");
    };
    const Case cases[] = {
        {"settings", emptying("W_System")},
        {"marks", emptying("W_Marcas")},
        {"settings in other letters", emptying("w_system")},
        {"settings quoted", emptying("`W_System`")},
        {"the catalogue", emptying("sqlite_master")},
        {"settings first", Answer("W_System,W_Barrios", R"("W_System":{"Truncate":1,"Count":0},)" + Barrios() + "}")},
        {"settings spelled with an escape",
         Answer(R"(W_Barrios,W\u005fSystem)", Barrios() + R"(,"W\u005fSystem":{"Truncate":1,"Count":0}})")},
    };
    for (const Case& c : cases)
        ExpectRefused(c);

    // The list of importable tables follows the schema the service delivers.
    for (const QString& table : Schema::TableNames())
        EXPECT_EQ(IsSyncedTable(table), table != u"W_System"_s && table != u"W_Marcas"_s) << table.toStdString();
}

TEST_F(RefusedAnswerTest, TruncateOrPropListAfterCount)
{
    const auto late = [](const QByteArray& calles) {
        return Answer("W_Barrios,W_Calles", Barrios() + R"(,"W_Calles":{"Fields":"Calle_Codigo,Calle_Nombre",)" +
                                                "\"Types\":\"int,text\"," + calles + "}}");
    };
    const Case cases[] = {
        {"truncate after the rows", late(R"("Count":1,"1":"4~Cuatro","Truncate":1)")},
        {"truncate between count and rows", late(R"("Count":1,"Truncate":1,"1":"4~Cuatro")")},
        {"list after the rows", late(R"("Count":1,"1":"4~Cuatro","PropList":"1,2")")},
        {"list after no rows", late(R"("Count":0,"PropList":"1")")},
        {"truncate spelled with an escape", late(R"("Count":1,"1":"4~Cuatro","Tr\u0075ncate":1)")},
    };
    for (const Case& c : cases)
        ExpectRefused(c);
    // Before "Count" they still act.
    ASSERT_TRUE(ImportTables(late(R"("PropList":"1,2","Count":1,"1":"4~Cuatro")"), -1).ok);
    EXPECT_EQ(Text(u"SELECT GROUP_CONCAT(`Calle_Nombre`) FROM `W_Calles`;"_s), u"Tres,Cuatro"_s);
}

TEST_F(RefusedAnswerTest, AnswerThatIsNoObjectOrVersionOutOfRange)
{
    const auto versioned = [](const QByteArray& version, const QByteArray& dataType = "0") {
        return R"({"DBVer":)" + version + R"(,"Data_Type":)" + dataType +
               R"(,"ServerTime":"2026-12-09 10:11:12","Tables":"W_Barrios",)" + Barrios() + "}";
    };
    const Case cases[] = {
        {"an array", "[]"},
        {"an array of the answer", "[" + versioned("6") + "]"},
        {"a text", R"("{}")"},
        {"a number", "6"},
        {"null", "null"},
        {"negative version", versioned("-1")},
        {"negative version as text", versioned("\"-7\"")},
        {"version past 32 bits", versioned("2147483648")},
        {"version past 64 bits", versioned("\"99999999999999999999\"")},
        {"negative version of an incremental answer", versioned("-1", "1")},
    };
    for (const Case& c : cases)
        ExpectRefused(c, 5);
    // The largest version that fits is a version like any other.
    const TImportResult r = ImportTables(versioned("2147483647"), 5);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.dataVersion, 2147483647);
}

// An answer as the transfer hands it over: still in its envelope.
QByteArray Packed(const QByteArray& text)
{
    QByteArray envelope;
    EXPECT_TRUE(PackEnvelope(QByteArray(Wire::ResponsePreambleLength, 'R'), text, envelope));
    return envelope;
}

// Past any limit nothing is written, not even the tables that come before the excess: the
// answer is read through once before the first table is touched.
TEST_F(RefusedAnswerTest, PastALimitNothingIsWritten)
{
    const QByteArray answer =
        Answer("W_Barrios,W_Calles", Barrios() +
                                         R"(,"W_Calles":{"Truncate":1,"Fields":"Calle_Codigo,Calle_Nombre",)"
                                         R"("Types":"int,text","Count":1,"1":"9~)" +
                                         QByteArray(2000, 'N') + "\"}}");
    TImportLimits small;
    small.maxAnswer = answer.size() - 1;
    TImportLimits shortValues;
    shortValues.maxValue = 1000;
    TImportLimits shallow;
    shallow.maxDepth = 1;
    const struct {
        const char* what;
        TImportLimits limits;
        bool tooLarge;
    } cases[] = {{"answer past the limit", small, true},
                 {"value past the limit", shortValues, false},
                 {"nested past the limit", shallow, false}};
    for (const auto& c : cases) {
        TMemorySource text(answer);
        TImportResult r = ImportTables(text, -1, c.limits);
        ExpectUnchanged(r, c.what);
        EXPECT_EQ(r.tooLarge, c.tooLarge) << c.what;
        EXPECT_FALSE(r.error.isEmpty()) << c.what;
        TEnvelopeReader packed(Packed(answer), Wire::ResponsePreambleLength, c.limits.maxAnswer);
        r = ImportTables(packed, -1, c.limits);
        ExpectUnchanged(r, c.what);
        EXPECT_EQ(r.tooLarge, c.tooLarge) << c.what;
    }
    // A number is held whole by the parser as well.
    TMemorySource longNumber(R"({"DBVer":12345678901,"Data_Type":0})");
    TImportLimits tenDigits;
    tenDigits.maxValue = 10;
    ExpectUnchanged(ImportTables(longNumber, -1, tenDigits), "number past the limit");

    // At exactly the limits the answer goes in.
    TImportLimits exact;
    exact.maxAnswer = answer.size();
    exact.maxValue = 2002;
    exact.maxDepth = 2;
    TEnvelopeReader packed(Packed(answer), Wire::ResponsePreambleLength, exact.maxAnswer);
    const TImportResult r = ImportTables(packed, -1, exact);
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(Text(u"SELECT LENGTH(`Calle_Nombre`) FROM `W_Calles`;"_s), u"2000"_s);
    EXPECT_EQ(Scalar(u"SELECT COUNT(*) FROM `W_Barrios`;"_s), 1);
}

// The checksum is the last thing an envelope gives: an answer whose tables are all sound but
// whose checksum is wrong writes none of them, also when the first table is long done by
// the time the text ends.
TEST_F(RefusedAnswerTest, ACorruptChecksumAfterSoundTablesWritesNothing)
{
    QByteArray rows;
    const int count = 8000;
    for (int i = 1; i <= count; ++i)
        rows +=
            ",\"" + QByteArray::number(i) + "\":\"" + QByteArray::number(i) + "~Calle " + QByteArray::number(i) + '"';
    const QByteArray answer =
        Answer("W_Barrios,W_Calles", Barrios() +
                                         R"(,"W_Calles":{"Truncate":1,"Fields":"Calle_Codigo,Calle_Nombre",)"
                                         R"("Types":"int,text","Count":)" +
                                         QByteArray::number(count) + rows + "}}");
    ASSERT_GT(answer.size(), 2 * 64 * 1024); // the import reads it in several pieces
    QByteArray envelope = Packed(answer);
    const qsizetype at = envelope.size() - Wire::PaddingBytes - 1;
    envelope[at] = static_cast<char>(envelope[at] ^ 0x55);
    TEnvelopeReader corrupt(envelope, Wire::ResponsePreambleLength);
    const TImportResult r = ImportTables(corrupt, -1);
    ExpectUnchanged(r, "corrupt checksum");
    EXPECT_FALSE(r.tooLarge);
    EXPECT_FALSE(root.LogLines().filter(u"corrupt data"_s).isEmpty());

    TEnvelopeReader sound(Packed(answer), Wire::ResponsePreambleLength);
    ASSERT_TRUE(ImportTables(sound, -1).ok);
    EXPECT_EQ(Scalar(u"SELECT COUNT(*) FROM `W_Calles`;"_s), count);
    EXPECT_EQ(Scalar(u"SELECT COUNT(*) FROM `W_Barrios`;"_s), 1);
}

TEST_F(ImportTest, PhotoListDeletesThePhotosOfThePropertiesWithTheirFiles)
{
    ASSERT_TRUE(DB()->ExecNoCount(u"INSERT INTO `W_Fotos` (`Foto_Codigo`, `Prop_Codigo`) VALUES (1, 700001), "
                                  u"(2, 700001), (3, 700002);"_s));
    const QString kept = PhotoFileName(700002, 3);
    const QString gone = PhotoFileName(700001, 1);
    for (const QString& file : {kept, gone}) {
        QDir().mkpath(QFileInfo(file).absolutePath());
        ASSERT_TRUE(WriteBytesFile(file, "jpg"));
    }
    ASSERT_TRUE(ImportTables(Answer("W_Fotos", R"("W_Fotos":{"PropList":"700001","Fields":"Foto_Codigo,Prop_Codigo",)"
                                               R"("Types":"int,int","Count":1,"1":"9~700001"}})"),
                             -1)
                    .ok);
    EXPECT_EQ(Text(u"SELECT GROUP_CONCAT(`Foto_Codigo`) FROM (SELECT `Foto_Codigo` FROM `W_Fotos` ORDER BY 1);"_s),
              u"3,9"_s);
    EXPECT_FALSE(QFile::exists(gone));
    EXPECT_TRUE(QFile::exists(kept));
}

TEST(TableDisplayName, NamesForTheLogAndTheStatus)
{
    struct Case {
        const char* table;
        const char16_t* name;
    };
    const Case cases[] = {
        {"W_TipoCampos", u"Tipos de campo"}, {"W_Paises", u"Países"},     {"W_DetalleEdif", u"Detalle Edificaciones"},
        {"W_MasDatos", u"Más Datos"},        {"W_Zonaprop", u"Zonaprop"}, {"W_SeleccionesProps", u"Selecciones Props"}};
    for (const Case& c : cases)
        EXPECT_EQ(TableDisplayName(QString::fromLatin1(c.table)), QString::fromUtf16(c.name)) << c.table;
}
