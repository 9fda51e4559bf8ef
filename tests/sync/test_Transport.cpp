#include "core/MiscFunc.h"
#include "core/uTypes.h"
#include "support/TestRoot.h"
#include "sync/Dwl.h"
#include "sync/Envelope.h"
#include "sync/Requests.h"
#include "sync/Sync.h"
#include "sync/WireProtocol.h"

#include <QElapsedTimer>

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class RecordingTimers : public TConnectionTimers {
public:
    RecordingTimers() { SetConnectionTimers(this); }
    ~RecordingTimers() override { SetConnectionTimers(nullptr); }
    void StartResetTimer() override { events << u"start-reset"_s; }
    void StopResetTimer() override { events << u"stop-reset"_s; }
    void StartConnectionTestTimer() override { events << u"start-test"_s; }
    void ShowOffline() override { events << u"offline"_s; }
    QStringList events;
};

std::vector<std::string> MemberNames(const QByteArray& json)
{
    std::vector<std::string> names;
    const auto object = nlohmann::ordered_json::parse(WireToStandardJson(json).toStdString());
    for (auto it = object.begin(); it != object.end(); ++it)
        names.push_back(it.key());
    return names;
}

} // namespace

TEST(Transport, RequestObjectHasTheCommonMembersInOrder)
{
    TestRoot root;
    TSyncRequestData d;
    d.Kind = TRequestKind::rkPhotos;
    d.AgencyCode = 7;
    d.UserName = u"admin"_s;
    d.Password = u"demo"_s;
    d.InstallKey = u"KEY-1"_s;
    d.ItemCode = 700123;
    d.PhotoList = u"1,2"_s;
    const QByteArray json = BuildRequestJson(d);
    const std::vector<std::string> expected = {
        "Inmo_Codigo",      "Usuario",          "Clave",    "Version",     "Plataforma",
        "Arquitectura",     "SistemaOperativo", "Pantalla", "Fecha",       "Nonce",
        "ClaveInstalacion", "TOS_Aceptado",     "Accion",   "Prop_Codigo", "Fotos"};
    EXPECT_EQ(MemberNames(json), expected);
    const auto object = nlohmann::json::parse(json.toStdString());
    EXPECT_EQ(object["Inmo_Codigo"], 7);
    EXPECT_EQ(object["Clave"], Md5Hex(u"demo"_s).toStdString());
    EXPECT_EQ(object["Accion"], ActionText(TRequestKind::rkPhotos).toStdString());
    EXPECT_EQ(object["TOS_Aceptado"], 0);
    EXPECT_EQ(QString::fromStdString(object["Nonce"].get<std::string>()).size(), 32);

    // The two kinds that go out before an installation exists carry neither key nor terms.
    d.Kind = TRequestKind::rkTermsOfService;
    d.TermsVersion = 2.5;
    const std::vector<std::string> terms = {"Inmo_Codigo",  "Usuario",          "Clave",      "Version", "Plataforma",
                                            "Arquitectura", "SistemaOperativo", "Pantalla",   "Fecha",   "Nonce",
                                            "Accion",       "Aplicacion",       "TOS_Version"};
    EXPECT_EQ(MemberNames(BuildRequestJson(d)), terms);
}

TEST(Transport, ExtraMembersOfTheReportKinds)
{
    TestRoot root;
    TSyncRequestData d;
    d.Kind = TRequestKind::rkWebReport;
    d.MailTo = u"ana@correo.com"_s;
    d.SendCopy = true;
    d.Subject = u"Propuesta \"especial\""_s;
    d.PropertyList = u"700001,700002"_s;
    d.ReportFlag = true;
    const QByteArray json = BuildRequestJson(d);
    // The web report leaves the recipient and the copy out, in their places.
    EXPECT_TRUE(json.contains(R"("Para":"","Asunto":"Propuesta \\"especial\\"")")) << json.toStdString();
    EXPECT_TRUE(json.contains(R"("Copia":0,"Marca":1)"));
    d.Kind = TRequestKind::rkMailReport;
    EXPECT_TRUE(BuildRequestJson(d).contains(R"("Para":"ana@correo.com")"));
    EXPECT_TRUE(BuildRequestJson(d).contains(R"("Copia":1,"Marca":1)"));

    d.Kind = TRequestKind::rkShareLink;
    d.Channel = 0x1206; // only the low byte travels
    EXPECT_TRUE(BuildRequestJson(d).endsWith(R"("Canal":6})"));
    for (const char c : BuildRequestJson(d))
        EXPECT_LT(static_cast<unsigned char>(c), 128);
}

TEST(Transport, AnswersAreReadAsAscii)
{
    EXPECT_EQ(ResponseValue(R"({"Msg":"M\u00e1s"})", u"Msg"_s), u"Más"_s);
    EXPECT_NE(ResponseValue("{\"Msg\":\"M\xC3\xA1s\"}", u"Msg"_s), u"Más"_s); // a raw byte is not á
    EXPECT_EQ(ResponseValue(R"({"Count":3,"Rate":1.5})", u"Count"_s), u"3"_s);
    EXPECT_EQ(ResponseValue(R"({"Count":3,"Rate":1.5})", u"Rate"_s), u"1.5"_s);
    EXPECT_EQ(ResponseValue(R"({"Count":3})", u"Missing"_s), QString());
    EXPECT_EQ(ResponseValue("not json", u"Count"_s), QString());
    QString text;
    EXPECT_TRUE(ExtractServiceError(R"({"Error":"Usuario inexistente"})", text));
    EXPECT_EQ(text, u"Usuario inexistente"_s);
}

TEST(Transport, OfflineSendsNothing)
{
    TestRoot root;
    SyncEnabled = false;
    QByteArray answer;
    TSyncRequestData d;
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(SendRequest(d, answer));
    TStatusAnswer status;
    EXPECT_FALSE(RequestServiceStatus({}, status).isEmpty());
    EXPECT_LT(clock.elapsed(), 1000); // nothing was attempted: no connection time-out passed
    EXPECT_EQ(ConsecutiveFailures(), 0);
}

TEST(Transport, ThreeFailuresInARowGoOffline)
{
    TestRoot root;
    qputenv("KORVEL_SERVICE_URL", "http://127.0.0.1:1/sync/R3/sync.php"); // nothing listens there
    RecordingTimers timers;
    SyncEnabled = true;
    ResetConsecutiveFailures();
    QByteArray answer;
    TSyncRequestData d;
    EXPECT_FALSE(SendRequest(d, answer));
    EXPECT_FALSE(SendRequest(d, answer));
    EXPECT_EQ(ConsecutiveFailures(), 2);
    EXPECT_TRUE(SyncEnabled);
    // The reset timer's expiry clears the count: two more failures stay online.
    ResetConsecutiveFailures();
    EXPECT_FALSE(SendRequest(d, answer));
    EXPECT_FALSE(SendRequest(d, answer));
    EXPECT_TRUE(SyncEnabled);
    EXPECT_FALSE(SendRequest(d, answer));
    EXPECT_FALSE(SyncEnabled);
    EXPECT_EQ(ConsecutiveFailures(), 0);
    EXPECT_EQ(timers.events,
              (QStringList{u"start-reset"_s, u"start-reset"_s, u"stop-reset"_s, u"start-test"_s, u"offline"_s}));
    qunsetenv("KORVEL_SERVICE_URL");
}

// The start-up offers the service's program only when it is newer, part by part as numbers:
// compared as text, 3.10.0 would never reach a 3.9 client.
TEST(ProgramUpdate, NewerVersionsAreComparedAsNumbers)
{
    struct Case {
        const char* offered;
        const char* own;
        bool expected;
    };
    const Case cases[] = {
        {"3.10.0", "3.9.4", true},   {"10.0.0", "3.0.0", true},  {"3.0.10", "3.0.9", true}, {"3.0.1", "3.0", true},
        {" 3.1.0\n", "3.0.0", true}, {"3.9.4", "3.10.0", false}, {"3.0", "3.0.0", false},   {"3.0.0", "3.0.0", false},
        {"2.99.99", "3.0.0", false}, {"", "3.0.0", false},       {"03.1", "3.1.0", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(UpdateOffered(QString::fromLatin1(c.offered), QString::fromLatin1(c.own)), c.expected)
            << c.offered << " vs " << c.own;
    EXPECT_GT(CompareVersions(u"3.10"_s, u"3.9"_s), 0);
    EXPECT_LT(CompareVersions(u"3.9"_s, u"3.10"_s), 0);
    EXPECT_EQ(CompareVersions(u"3.1"_s, u"3.1.0.0"_s), 0);
}

// An answer other than table data that claims more than any genuine one (a status or photo
// answer made into a deflate bomb) is refused without being unpacked whole.
TEST(Transport, SmallAnswersHaveTheirOwnCap)
{
    QByteArray bomb;
    ASSERT_TRUE(
        PackEnvelope(QByteArray(Wire::ResponsePreambleLength, 'R'), QByteArray(AnswerMaxInflated + 1, ' '), bomb));
    ASSERT_LT(bomb.size(), 1 << 20);
    QByteArray out;
    EXPECT_FALSE(DecodeEnvelope(bomb, out));
    EXPECT_TRUE(out.isEmpty());
    // A program build in base64 is the largest genuine answer and still fits.
    QByteArray build;
    ASSERT_TRUE(PackEnvelope(QByteArray(Wire::ResponsePreambleLength, 'R'), QByteArray(64 << 20, 'A'), build));
    EXPECT_TRUE(DecodeEnvelope(build, out));
    EXPECT_EQ(out.size(), 64 << 20);
}
