// korvel-service on a loopback port: the fault switch, concurrent clients and the body limit.

#include "ServiceClient.h"
#include "sync/Envelope.h"
#include "sync/WireProtocol.h"

#include <QElapsedTimer>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace Qt::StringLiterals;
using K = TRequestKind;

namespace {

Members TermsMembers()
{
    return {{Wire::MAppName, u"Korvel"_s}, {Wire::MTermsVersion, 0.0}};
}

TEST(ServiceFaults, EachModeBreaksTheAnswerAsAnnouncedAndThenPasses)
{
    ServiceProcess service;
    ASSERT_TRUE(service.Start()) << service.LastError().toStdString();
    ServiceClient client(service);
    const struct {
        const char* mode;
        int status;   // HTTP status seen; -1: no answer at all
        bool unpacks; // the body is still a readable envelope
    } cases[] = {
        {"close", -1, false},      {"http500", 500, false},     {"garbage", 200, false}, {"truncated", 200, false},
        {"badmarker", 200, false}, {"badchecksum", 200, false}, {"delay", 200, true},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(service.InjectFault(u"tos"_s, QString::fromLatin1(c.mode), 300, 1)) << c.mode;
        // Another kind is not affected.
        EXPECT_FALSE(client.Call(K::rkSessionCheck).IsError()) << c.mode;
        QElapsedTimer timer;
        timer.start();
        const Reply broken = client.Call(K::rkTermsOfService, TermsMembers());
        EXPECT_EQ(broken.status, c.status) << c.mode;
        EXPECT_EQ(broken.unpacked, c.unpacks) << c.mode;
        if (std::string_view(c.mode) == "delay") {
            EXPECT_GE(timer.elapsed(), 300);
        }
        // Used up after one request.
        const Reply healed = client.Call(K::rkTermsOfService, TermsMembers());
        EXPECT_TRUE(healed.unpacked && !healed.IsError()) << c.mode;
    }
    EXPECT_TRUE(service.Output().contains(u"fault close"_s));

    // A wrongly marked envelope is the real answer but for its marker.
    ASSERT_TRUE(service.InjectFault(u"session"_s, u"badmarker"_s, 0, 1));
    QByteArray request;
    PackEnvelope(RequestPreamble(), ServiceClient::RequestText(K::rkSessionCheck, {}, {}), request);
    QByteArray body = service.PostForm(Wire::SyncPath, Wire::FormFieldName, request).body;
    QByteArray answer;
    EXPECT_FALSE(UnpackEnvelope(body, Wire::ResponsePreambleLength, answer));
    body.replace(Wire::ResponsePreambleLength, 4, Wire::Marker);
    ASSERT_TRUE(UnpackEnvelope(body, Wire::ResponsePreambleLength, answer));
    EXPECT_TRUE(answer.contains(Wire::ASessionStatus.toUtf8()));
}

TEST(ServiceFaults, AFaultForEveryKindLastsUntilCleared)
{
    ServiceProcess service;
    ASSERT_TRUE(service.Start()) << service.LastError().toStdString();
    ServiceClient client(service);
    ASSERT_TRUE(service.InjectFault(u"*"_s, u"http500"_s));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(client.Call(K::rkSessionCheck).status, 500);
    EXPECT_EQ(client.Call(K::rkVersionInfo).status, 500);
    // A fault of its own wins over the general one.
    ASSERT_TRUE(service.InjectFault(u"version"_s, u"delay"_s, 10, 1));
    EXPECT_EQ(client.Call(K::rkVersionInfo).status, 200);
    ASSERT_TRUE(service.ClearFaults());
    EXPECT_EQ(client.Call(K::rkSessionCheck).status, 200);

    // Only well-formed switches are taken.
    for (const QByteArray& bad :
         {QByteArray("{\"kind\":\"tos\",\"mode\":\"explode\"}"), QByteArray("{\"mode\":\"close\"}"),
          QByteArray("{\"kind\":\"tos\",\"mode\":\"delay\",\"ms\":\"x\"}"), QByteArray("nope")})
        EXPECT_EQ(service.Post(u"/admin/fault"_s, bad, "application/json").status, 400) << bad.toStdString();
    EXPECT_EQ(service.Get(u"/admin/fault"_s).body, "[]");
}

TEST(ServiceRobustness, ConcurrentClientsAllGetTheirOwnAnswers)
{
    ServiceProcess service;
    ASSERT_TRUE(service.Start()) << service.LastError().toStdString();
    std::atomic<int> good{0}, bad{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&, t] {
            ServiceClient client(service);
            Credentials who;
            if (t % 2)
                who.password = u"otra"_s; // half of them are refused, each with its own answer
            for (int i = 0; i < 6; ++i) {
                const Reply reply =
                    i % 3 == 0
                        ? client.Call(K::rkFullData, {{Wire::MMode, qint64(0)}, {Wire::MDataVersion, qint64(-1)}}, who)
                        : client.Call(K::rkTermsOfService, TermsMembers(), who);
                const bool expectedRefusal = t % 2 == 1;
                (reply.unpacked && reply.IsError() == expectedRefusal ? good : bad)++;
            }
        });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(good, 48);
    EXPECT_EQ(bad, 0);
}

TEST(ServiceRobustness, OversizedBodiesAreRefusedAndTheServiceGoesOn)
{
    ServiceOptions options;
    options.arguments = {u"--max-body"_s, u"65536"_s};
    ServiceProcess service(options);
    ASSERT_TRUE(service.Start()) << service.LastError().toStdString();
    ServiceClient client(service);
    QByteArray huge(200000, 'x');
    const ServiceProcess::HttpReply reply = service.PostForm(Wire::SyncPath, Wire::FormFieldName, huge);
    EXPECT_GE(reply.status, 400);
    EXPECT_LT(reply.status, 500);
    // An upload above the limit is refused the same way; a normal request still works.
    QByteArray noise(300000, Qt::Uninitialized);
    for (char& c : noise)
        c = char(QRandomGenerator::global()->bounded(256)); // beyond the limit even compressed
    const Reply upload = client.Call(K::rkUploadChanges, {{Wire::MPayload, QString::fromLatin1(noise.toBase64())}});
    EXPECT_GE(upload.status, 400);
    EXPECT_LT(upload.status, 500);
    EXPECT_FALSE(client.Call(K::rkSessionCheck).IsError());
    EXPECT_TRUE(service.IsRunning());
}

} // namespace
