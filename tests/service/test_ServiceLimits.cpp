// korvel-service on a loopback port: what one request may cost, slow callers, and the
// limits on error reports.

#include "ServiceClient.h"
#include "core/ErrorReport.h"
#include "sync/Envelope.h"
#include "sync/WireProtocol.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <vector>

using namespace Qt::StringLiterals;
using K = TRequestKind;

namespace {

// A raw loopback connection, for callers that do not behave like an HTTP client.
class RawConnection {
public:
    explicit RawConnection(int port)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(quint16(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (m_fd >= 0 && ::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~RawConnection()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;

    bool IsOpen() const { return m_fd >= 0; }
    bool Send(const QByteArray& bytes) const
    {
        return ::send(m_fd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL) == bytes.size();
    }
    // False once the peer has closed its side.
    bool StillOpen() const
    {
        pollfd one{m_fd, POLLIN, 0};
        char byte = 0;
        return ::poll(&one, 1, 0) == 0 || ::recv(m_fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) > 0;
    }
    // What arrives until the peer closes or waitMs pass without anything new.
    QByteArray Receive(int waitMs) const
    {
        QByteArray received;
        pollfd one{m_fd, POLLIN, 0};
        char buffer[4096];
        while (::poll(&one, 1, waitMs) == 1) {
            const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            received.append(buffer, n);
        }
        return received;
    }

private:
    int m_fd = -1;
};

QByteArray SessionRequest(const Members& extras = {})
{
    QByteArray envelope;
    PackEnvelope(RequestPreamble(), ServiceClient::RequestText(K::rkSessionCheck, extras, {}), envelope);
    return envelope;
}

TEST(ServiceLimits, ARequestThatInflatesBeyondTheLimitIsRefusedAndARealOneIsNot)
{
    ServiceProcess service;
    ASSERT_TRUE(service.Start()) << service.LastError().toStdString();

    // About 120 KB on the wire that would unpack to 128 MB.
    QByteArray bomb;
    ASSERT_TRUE(PackEnvelope(RequestPreamble(), QByteArray(128 * 1024 * 1024, ' '), bomb));
    ASSERT_LT(bomb.size(), 512 * 1024);
    const ServiceProcess::HttpReply refused = service.PostForm(Wire::SyncPath, Wire::FormFieldName, bomb);
    EXPECT_EQ(refused.status, 400);
    QByteArray answer;
    ASSERT_TRUE(UnpackEnvelope(refused.body, Wire::ResponsePreambleLength, answer));
    EXPECT_TRUE(IsErrorObject(answer));
    EXPECT_TRUE(service.Output().contains(u"too large"_s));

    // A request as large as a big upload of changes still goes through.
    const Members padding = {{u"Relleno"_s, QString(24 * 1024 * 1024, u'a')}};
    const ServiceProcess::HttpReply large =
        service.PostForm(Wire::SyncPath, Wire::FormFieldName, SessionRequest(padding));
    EXPECT_EQ(large.status, 200);
    ASSERT_TRUE(UnpackEnvelope(large.body, Wire::ResponsePreambleLength, answer));
    EXPECT_FALSE(IsErrorObject(answer)) << answer.left(200).toStdString();

    // The limit is an option.
    ServiceProcess tight(ServiceOptions{.arguments = {u"--max-inflated"_s, u"4096"_s}});
    ASSERT_TRUE(tight.Start()) << tight.LastError().toStdString();
    EXPECT_EQ(tight.PostForm(Wire::SyncPath, Wire::FormFieldName, SessionRequest()).status, 200);
    const Members small = {{u"Relleno"_s, QString(8192, u'a')}};
    EXPECT_EQ(tight.PostForm(Wire::SyncPath, Wire::FormFieldName, SessionRequest(small)).status, 400);
}

TEST(ServiceLimits, CallersThatSendTheirHeaderSlowlyDoNotKeepOthersWaiting)
{
    ServiceProcess service;
    ASSERT_TRUE(service.Start()) << service.LastError().toStdString();

    std::vector<std::unique_ptr<RawConnection>> slow;
    for (int i = 0; i < 24; ++i) {
        slow.push_back(std::make_unique<RawConnection>(service.Port()));
        ASSERT_TRUE(slow.back()->IsOpen());
        ASSERT_TRUE(slow.back()->Send("POST /sync/R3/sync.php HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Ty"));
    }
    // The slow callers hold their connections; a plain request is still answered, long
    // before they would be timed out.
    RawConnection normal(service.Port());
    ASSERT_TRUE(normal.IsOpen());
    ASSERT_TRUE(normal.Send("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n"));
    const QByteArray reply = normal.Receive(8000);
    EXPECT_TRUE(reply.startsWith("HTTP/1.1 200")) << reply.left(100).toStdString();

    // A caller that stays silent half way through its header is let go.
    ServiceProcess quick(ServiceOptions{.arguments = {u"--read-timeout"_s, u"1"_s}});
    ASSERT_TRUE(quick.Start()) << quick.LastError().toStdString();
    RawConnection stalled(quick.Port());
    ASSERT_TRUE(stalled.Send("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n"));
    const auto started = std::chrono::steady_clock::now();
    stalled.Receive(30000); // returns when the service closes the connection
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));

    // One that never falls silent but takes too long over its header is cut off too.
    ServiceProcess strict(ServiceOptions{.arguments = {u"--header-timeout"_s, u"2"_s}});
    ASSERT_TRUE(strict.Start()) << strict.LastError().toStdString();
    RawConnection trickling(strict.Port());
    ASSERT_TRUE(trickling.Send("GET / HTTP/1.1\r\n"));
    bool cut = false;
    for (int i = 0; i < 40 && !cut; ++i) {
        // A byte every half second, and the service closing shows as the end of the stream.
        cut = !trickling.Send("X") || !trickling.Receive(500).isEmpty() || !trickling.StillOpen();
    }
    EXPECT_TRUE(cut);
    // The others are not affected by the deadline.
    EXPECT_EQ(strict.Get(u"/"_s).status, 200);
}

qint64 FolderBytes(const QString& path)
{
    qint64 total = 0;
    for (const QFileInfo& info : QDir(path).entryInfoList(QDir::Files))
        total += info.size();
    return total;
}

TEST(ServiceLimits, ErrorReportsAreCappedInSizeRateAndTotal)
{
    const QString report = u"Error fatal en $2003\r\n\r\n---\r\nInmobiliaria=7\r\n---"_s;
    // A refused report is answered before its body is read, and the test's HTTP client may
    // still be writing it when the service closes: that must not end the test program.
    std::signal(SIGPIPE, SIG_IGN);
    {
        // The defaults: 256 KB a report, 30 reports an hour from one address.
        ServiceProcess service;
        ASSERT_TRUE(service.Start()) << service.LastError().toStdString();
        const auto post = [&](const QString& text) {
            return service.PostForm(Wire::ErrorReportPath, Wire::FormFieldName, EncodeErrorReport(text)).status;
        };
        EXPECT_EQ(post(report), 200);
        // Refused with 413 as soon as its length is seen; the sender may still be writing it
        // when the connection closes, and then sees no answer at all.
        const int oversized = post(report + QString(512 * 1024, u'x'));
        EXPECT_TRUE(oversized == 413 || oversized == -1) << oversized;
        // A body announced as large is refused without being waited for.
        RawConnection announced(service.Port());
        ASSERT_TRUE(announced.Send("POST " + Wire::ErrorReportPath.toUtf8() +
                                   " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: multipart/form-data; "
                                   "boundary=b\r\nContent-Length: 100000000\r\n\r\n"));
        EXPECT_TRUE(announced.Receive(8000).startsWith("HTTP/1.1 413"));

        // The refused ones leave no file and do not count against the address.
        std::vector<int> statuses;
        for (int i = 0; i < 31; ++i)
            statuses.push_back(post(report));
        std::vector<int> expected(29, 200);
        expected.insert(expected.end(), {429, 429});
        EXPECT_EQ(statuses, expected);
        EXPECT_EQ(QDir(service.DataFolder() + u"/errors"_s).entryList(QDir::Files).size(), 30);
    }
    {
        ServiceProcess service(ServiceOptions{.arguments = {u"--reports-per-hour"_s, u"2"_s}});
        ASSERT_TRUE(service.Start()) << service.LastError().toStdString();
        std::vector<int> statuses;
        for (int i = 0; i < 3; ++i)
            statuses.push_back(
                service.PostForm(Wire::ErrorReportPath, Wire::FormFieldName, EncodeErrorReport(report)).status);
        EXPECT_EQ(statuses, (std::vector<int>{200, 200, 429}));
    }
    {
        // The folder never holds more than its total, counting what it held at start.
        ServiceOptions options{.arguments = {u"--max-reports"_s, u"20000"_s, u"--reports-per-hour"_s, u"100"_s}};
        ServiceProcess service(options);
        ASSERT_TRUE(service.Start()) << service.LastError().toStdString();
        const QString errors = service.DataFolder() + u"/errors"_s;
        QDir().mkpath(errors);
        QFile earlier(errors + u"/earlier.txt"_s);
        ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
        earlier.write(QByteArray(8000, 'x'));
        earlier.close();
        const QString big = report + QString(1500, u'y');
        int stored = 0, refused = 0;
        for (int i = 0; i < 20; ++i) {
            const int status =
                service.PostForm(Wire::ErrorReportPath, Wire::FormFieldName, EncodeErrorReport(big)).status;
            stored += status == 200;
            refused += status == 507;
        }
        EXPECT_GT(stored, 0);
        EXPECT_GT(refused, 0);
        EXPECT_EQ(stored + refused, 20);
        EXPECT_LE(FolderBytes(errors), 20000);
    }
}

} // namespace
