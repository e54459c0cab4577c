// The HTTP relay exchange against the reference relay server on loopback, and
// against small misbehaving servers, made on threads with no event loop.
#include "relay/http_relay.h"

#include <gtest/gtest.h>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "tools/relay/relay_server.h"

namespace korvan {
namespace {

// A server that answers each request head with whatever Reply returns; an
// empty reply keeps the connection open without answering. The answer goes in
// pieces of Piece bytes (all at once for 0) a few milliseconds apart, and the
// connection is closed after it unless Close is false.
class FakeServer {
  public:
    std::function<QByteArray(const QByteArray& head)> Reply;
    std::vector<QByteArray> Heads;
    int Piece = 0;
    bool Close = true;

    FakeServer() {
        server_.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                auto buffer = std::make_shared<QByteArray>();
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
                    *buffer += socket->readAll();
                    if (!buffer->contains("\r\n\r\n")) return;
                    Heads.push_back(*buffer);
                    QByteArray answer = Reply(*buffer);
                    buffer->clear();
                    if (!answer.isEmpty()) Send(socket, answer);
                });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    std::string Domain(const std::string& host = "127.0.0.1") const {
        return host + ":" + std::to_string(server_.serverPort());
    }

  private:
    void Send(QTcpSocket* socket, QByteArray rest) {
        socket->write(rest.left(Piece > 0 ? Piece : rest.size()));
        rest.remove(0, Piece > 0 ? Piece : rest.size());
        if (!rest.isEmpty()) {
            QTimer::singleShot(2, socket, [this, socket, rest] { Send(socket, rest); });
        } else if (Close) {
            socket->disconnectFromHost();
        }
    }

    QTcpServer server_;
};

// The transport as the tool's worker uses it: each exchange on a thread of its
// own with no event loop, while this thread's loop keeps the fake servers and
// timers going.
class WorkerTransport : public HttpRelayTransport {
  public:
    using HttpRelayTransport::HttpRelayTransport;
    bool RelayExchange(RelayState& state) override {
        QEventLoop loop;
        bool ok = false;
        std::thread worker([&] {
            EXPECT_EQ(QAbstractEventDispatcher::instance(), nullptr);
            ok = HttpRelayTransport::RelayExchange(state);
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        loop.exec();
        worker.join();
        return ok;
    }
};

QByteArray Answer(const QByteArray& extraHeaders, const QByteArray& body) {
    return "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\nConnection: close\r\n" + extraHeaders + "\r\n" +
           body;
}

// Qt's complaints during a test: sockets used wrongly on a thread without an
// event loop warn.
std::mutex qtMessagesMutex;
std::vector<std::string> qtMessages;

class RelayHttp : public testing::Test {
  protected:
    void SetUp() override {
        qtMessages.clear();
        previousHandler =
            qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) {
                std::lock_guard<std::mutex> lock(qtMessagesMutex);
                qtMessages.push_back(text.toStdString());
            });
        // The server answers on threads of its own: the observer is set first.
        server.SetObserver([this](const std::string& head, int status) {
            std::lock_guard<std::mutex> lock(seen);
            heads.push_back(head);
            statuses.push_back(status);
        });
        ASSERT_TRUE(server.Listen("127.0.0.1", 0));
        client.SupportDomain = support.SupportDomain = "127.0.0.1:" + std::to_string(server.Port());
        client.RelayRole = RoleClient;
        support.RelayRole = RoleSupport;
    }
    void TearDown() override {
        // Its threads tell the observer, whose lists go before the server would.
        server.Stop();
        qInstallMessageHandler(previousHandler);
        EXPECT_EQ(qtMessages, std::vector<std::string>{});
    }

    // The answer may reach the client before the server's thread tells the
    // observer: one of its lists once `count` entries are there (a bounded
    // wait), copied.
    template <typename T>
    std::vector<T> Seen(const std::vector<T>& list, size_t count) {
        for (int wait = 0; wait < 200; ++wait) {
            {
                std::lock_guard<std::mutex> lock(seen);
                if (list.size() >= count) return list;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::lock_guard<std::mutex> lock(seen);
        return list;
    }

    QtMessageHandler previousHandler = nullptr;
    RelayServer server;
    std::mutex seen;
    std::vector<std::string> heads;
    std::vector<int> statuses;
    std::vector<bool> cues;
    const std::thread::id testThread = std::this_thread::get_id();
    WorkerTransport transport{[this](bool busy) {
        EXPECT_NE(std::this_thread::get_id(), testThread);  // on the exchanging thread
        cues.push_back(busy);
    }};
    RelayState client;
    RelayState support;
};

TEST_F(RelayHttp, SendsTheRelayHeadersAndCarriesMessagesBothWays) {
    client.OutKind = MsgState;
    client.OutCount = 2;
    client.ClientBuffer[0] = 170;
    client.ClientBuffer[1] = 1;
    ASSERT_TRUE(transport.RelayExchange(client));
    EXPECT_EQ(client.RelayStatusText, "Nothing received");
    EXPECT_EQ(cues, (std::vector<bool>{true, false}));
    const std::vector<std::string> seenHeads = Seen(heads, 1);
    ASSERT_EQ(seenHeads.size(), 1u);
    const std::string& head = seenHeads[0];
    EXPECT_EQ(head.rfind("GET /support3.php?user=client&data=2$170$1&time=", 0), 0u) << head;
    for (const char* header : {"User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n",
                               "Accept: text/html, */*\r\n", "Accept-Encoding: *\r\n",
                               "Cache-Control: \"no-cache\"\r\n", "Content-Type: text/html\r\n"}) {
        EXPECT_NE(head.find(header), std::string::npos) << header << " in\n" << head;
    }

    support.OutKind = MsgRequestState;
    ASSERT_TRUE(transport.RelayExchange(support));
    EXPECT_EQ(support.RelayStatusText, "Client sent system state");
    EXPECT_EQ(support.InKind, MsgState);
    ASSERT_EQ(support.InCount, 2);
    EXPECT_EQ(support.ClientBuffer[0], 170);

    ASSERT_TRUE(transport.RelayExchange(client));
    EXPECT_EQ(client.RelayStatusText, "Support requested system state");
}

TEST_F(RelayHttp, StatusLineOfAFailedRequest) {
    client.SupportDomain += "/not/a/session";
    EXPECT_FALSE(transport.RelayExchange(client));
    EXPECT_EQ(client.RelayStatusText, "HTTP/1.1 404 Not Found");
    EXPECT_EQ(Seen(statuses, 1), std::vector<int>{404});
    EXPECT_EQ(cues, (std::vector<bool>{true, false}));
}

TEST_F(RelayHttp, SessionCodesInTheSupportDomainKeepConversationsApart) {
    const std::string relay = client.SupportDomain;
    support.SupportDomain = relay + "/K7QM2XDF";
    support.OutKind = MsgChat;
    support.OutCount = 2;
    support.SupportBuffer[0] = 'H';
    support.SupportBuffer[1] = 'i';
    ASSERT_TRUE(transport.RelayExchange(support));

    RelayState stranger = client;
    stranger.SupportDomain = relay + "/Other-42x";
    ASSERT_TRUE(transport.RelayExchange(stranger));
    EXPECT_EQ(stranger.RelayStatusText, "Nothing received");
    ASSERT_TRUE(transport.RelayExchange(client));  // the bare domain: the default conversation
    EXPECT_EQ(client.RelayStatusText, "Nothing received");
    client.SupportDomain = relay + "/K7QM2XDF";
    ASSERT_TRUE(transport.RelayExchange(client));
    EXPECT_EQ(client.RelayStatusText, "Support sent chat");
    EXPECT_EQ(client.InCount, 2);

    const std::vector<std::string> seenHeads = Seen(heads, 4);
    ASSERT_EQ(seenHeads.size(), 4u);
    EXPECT_EQ(seenHeads[0].rfind("GET /K7QM2XDF/support3.php?user=support&data=4$72$105&time=", 0),
              0u)
        << seenHeads[0];
    EXPECT_EQ(server.Service().Sessions(), 3u);
}

TEST_F(RelayHttp, RefusedConnectionAndBadDomains) {
    quint16 closedPort = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        closedPort = probe.serverPort();
    }
    client.SupportDomain = "127.0.0.1:" + std::to_string(closedPort);
    EXPECT_FALSE(transport.RelayExchange(client));
    EXPECT_EQ(client.RelayStatusText, "Connection refused");
    EXPECT_EQ(cues, (std::vector<bool>{true, false}));

    for (const char* domain : {"", "bad domain", "127.0.0.1:99999", "no-such-host.invalid"}) {
        client.SupportDomain = domain;
        EXPECT_FALSE(transport.RelayExchange(client)) << domain;
        EXPECT_FALSE(client.RelayStatusText.empty()) << domain;
    }
}

TEST_F(RelayHttp, AnInvalidValueFailsTheExchange) {
    FakeServer fake;
    fake.Reply = [](const QByteArray&) { return Answer("", "<body>\r\n3$12\r\n</body>"); };
    client.SupportDomain = fake.Domain();
    EXPECT_FALSE(transport.RelayExchange(client));
    EXPECT_EQ(client.RelayStatusText, "'12\r\n' is not a valid integer value");
}

TEST_F(RelayHttp, CookiesAreKeptAndReturned) {
    FakeServer fake;
    fake.Reply = [](const QByteArray&) {
        return Answer("Set-Cookie: relay=abc123; Path=/\r\n", "<body>\r\n0</body>");
    };
    client.SupportDomain = fake.Domain();
    ASSERT_TRUE(transport.RelayExchange(client));
    ASSERT_TRUE(transport.RelayExchange(client));
    ASSERT_EQ(fake.Heads.size(), 2u);
    EXPECT_FALSE(fake.Heads[0].contains("Cookie:"));
    EXPECT_TRUE(fake.Heads[1].contains("Cookie: relay=abc123\r\n")) << fake.Heads[1].toStdString();
}

TEST_F(RelayHttp, ASilentServerIsGivenUpWhileTheWindowKeepsWorking) {
    FakeServer fake;
    fake.Reply = [](const QByteArray&) { return QByteArray(); };
    client.SupportDomain = fake.Domain();
    transport.SetExchangeLimit(std::chrono::milliseconds(600));
    int ticks = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] { ++ticks; });
    poll.start(50);
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(transport.RelayExchange(client));
    EXPECT_GE(clock.elapsed(), 550);
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_GE(ticks, 5);  // other timers ran during the wait
    EXPECT_EQ(client.RelayStatusText, "No answer from the relay server within 1 s");
    EXPECT_FALSE(transport.Busy());
}

TEST_F(RelayHttp, OneExchangeAtATime) {
    FakeServer fake;
    client.SupportDomain = fake.Domain();
    RelayState other = client;
    bool nestedResult = true;
    std::string nestedStatus;
    fake.Reply = [&](const QByteArray&) {
        // Still inside the first exchange's wait.
        nestedResult = transport.RelayExchange(other);
        nestedStatus = other.RelayStatusText;
        return Answer("", "<body>\r\n0</body>");
    };
    ASSERT_TRUE(transport.RelayExchange(client));
    EXPECT_FALSE(nestedResult);
    EXPECT_EQ(nestedStatus, RelayBusyText);
    EXPECT_EQ(fake.Heads.size(), 1u);
}

TEST_F(RelayHttp, OversizedAnswersAreRefused) {
    FakeServer fake;
    fake.Reply = [](const QByteArray&) {
        return Answer(
            "",
            "<body>\r\n4" + QByteArray(HttpRelayTransport::MaxResponseBytes + 10, '1') + "</body>");
    };
    client.SupportDomain = fake.Domain();
    EXPECT_FALSE(transport.RelayExchange(client));
    EXPECT_NE(client.RelayStatusText.find("larger than"), std::string::npos);
}

TEST_F(RelayHttp, AnswersAreReadHoweverFramed) {
    const QByteArray body = "<html><body>\r\n4$72$105</body></html>";
    const QByteArray chunks = "7;piece=1\r\n" + body.left(7) + "\r\n" +
                              QByteArray::number(body.size() - 7, 16) + "\r\n" + body.mid(7) +
                              "\r\n0\r\nX-Trailer: 1\r\n\r\n";
    for (const QByteArray& answer :
         {Answer("", body), "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + chunks,
          "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n" + body,
          "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.0 200 OK\nContent-Length: " +
              QByteArray::number(body.size()) + "\n\n" + body}) {
        FakeServer fake;
        fake.Piece = 5;  // lines and chunks cut across reads
        fake.Reply = [&](const QByteArray&) { return answer; };
        client.SupportDomain = fake.Domain("localhost");  // a name to look up
        EXPECT_TRUE(transport.RelayExchange(client)) << answer.toStdString();
        EXPECT_EQ(client.RelayStatusText, "Support sent chat");
        EXPECT_EQ(client.InCount, 2);
        EXPECT_EQ(client.SupportBuffer[1], 'i');
    }
}

// The limit holds for the exchange as a whole, not for each wait: a server that
// trickles its answer is given up as one that stalls.
TEST_F(RelayHttp, AnswersThatAreNoRelayPageFail) {
    transport.SetExchangeLimit(std::chrono::milliseconds(400));
    const std::string invalid = "Invalid answer from the relay server";
    const std::string large = "Relay answer larger than 1048576 bytes";
    const std::string late = "No answer from the relay server within 1 s";
    const QByteArray ok = "HTTP/1.1 200 OK\r\n";
    const QByteArray chunked = ok + "Transfer-Encoding: chunked\r\n\r\n";
    const QByteArray half(HttpRelayTransport::MaxResponseBytes / 2 + 1, '1');
    const QByteArray halfChunk = QByteArray::number(half.size(), 16) + "\r\n" + half + "\r\n";
    const QByteArray body = "<body>\r\n0</body>";
    const std::tuple<QByteArray, std::string, int> cases[] = {
        {"Hello\r\n\r\n", invalid, 0},
        {ok + "No colon\r\n\r\n", invalid, 0},
        {ok + "X-Long: " + QByteArray(70000, 'a') + "\r\n\r\n", invalid, 0},
        {chunked + "zz\r\n", invalid, 0},
        {ok + "Content-Length: 99\r\n\r\n<body>", "The remote host closed the connection", 0},
        {chunked + QByteArray::number(2 * half.size(), 16) + "\r\n", large, 0},
        {chunked + halfChunk + halfChunk + "0\r\n\r\n", large, 0},
        {chunked + halfChunk + "7fffffffffffffff\r\n", large, 0},
        {ok + "\r\n" + half + half, large, 0},
        {ok + "Content-Le", late, 0},
        {Answer("", body).chopped(3), late, 0},
        {chunked + "10\r\n<body>", late, 0},
        {ok + "\r\n" + body, late, 0},
        {Answer("", QByteArray(5000, ' ') + body), late, 1},
    };
    for (const auto& [answer, status, piece] : cases) {
        FakeServer fake;
        fake.Piece = piece;
        fake.Close = status != late;  // the stalling servers keep the connection open
        fake.Reply = [&](const QByteArray&) { return answer; };
        client.SupportDomain = fake.Domain();
        QElapsedTimer clock;
        clock.start();
        EXPECT_FALSE(transport.RelayExchange(client));
        EXPECT_EQ(client.RelayStatusText, status) << answer.left(60).toStdString();
        EXPECT_LT(clock.elapsed(), 2000);
    }
}

TEST_F(RelayHttp, TheServerBoundsWhatItReads) {
    QTcpSocket raw;
    raw.connectToHost(QHostAddress::LocalHost, server.Port());
    ASSERT_TRUE(raw.waitForConnected(5000));
    raw.write("GET /support3.php?user=client&data=4" +
              QByteArray(RelayService::MaxRequestBytes + 100, '1'));
    QByteArray answer;
    QElapsedTimer clock;
    clock.start();
    while (!answer.contains("\r\n") && clock.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        answer += raw.readAll();
    }
    EXPECT_TRUE(answer.startsWith("HTTP/1.1 414 URI Too Long\r\n"))
        << answer.left(60).toStdString();
    EXPECT_EQ(Seen(statuses, 1), std::vector<int>{414});
    EXPECT_EQ(server.Service().Waiting("", RelaySide::Support), 0u);
    EXPECT_EQ(server.Service().Sessions(), 0u);
}

TEST(RelayServerProcess, TheReferenceServerRelaysOnLoopback) {
    QProcess relay;
    relay.start(KORVAN_RELAY_BINARY, {"--port", "0"});
    ASSERT_TRUE(relay.waitForStarted(5000));
    ASSERT_TRUE(relay.waitForReadyRead(5000));
    const QString line = QString::fromUtf8(relay.readLine());
    const auto match = QRegularExpression("listening on 127\\.0\\.0\\.1 port (\\d+)").match(line);
    ASSERT_TRUE(match.hasMatch()) << line.toStdString();
    const std::string domain = "127.0.0.1:" + match.captured(1).toStdString();

    HttpRelayTransport transport{HttpRelayTransport::CueCallback{}};
    RelayState support;
    support.SupportDomain = domain;
    support.RelayRole = RoleSupport;
    support.OutKind = MsgChat;
    support.OutCount = 2;
    support.SupportBuffer[0] = 'H';
    support.SupportBuffer[1] = 'i';
    ASSERT_TRUE(transport.RelayExchange(support)) << support.RelayStatusText;

    RelayState client;
    client.SupportDomain = domain;
    ASSERT_TRUE(transport.RelayExchange(client)) << client.RelayStatusText;
    EXPECT_EQ(client.InKind, MsgChat);
    EXPECT_EQ(client.InCount, 2);
    EXPECT_EQ(client.SupportBuffer[1], 'i');

    relay.kill();
    relay.waitForFinished(5000);
    EXPECT_FALSE(transport.RelayExchange(client));
}

TEST(RelayServerProcess, RefusesBadArguments) {
    QProcess relay;
    relay.start(KORVAN_RELAY_BINARY, {"--listen", "not-an-address"});
    ASSERT_TRUE(relay.waitForFinished(5000));
    EXPECT_NE(relay.exitCode(), 0);
}

// korvan-relay serving HTTPS with a certificate for 127.0.0.1 made for this run.
class RelayTls : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QProcess openssl;
        openssl.start(
            "openssl",
            {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
             "-days", "2", "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
             "-keyout", dir.filePath("key.pem"), "-out", dir.filePath("cert.pem")});
        ASSERT_TRUE(openssl.waitForFinished(20000));
        ASSERT_EQ(openssl.exitCode(), 0) << openssl.readAllStandardError().toStdString();

        relay.start(KORVAN_RELAY_BINARY, {"--port", "0", "--tls-cert", dir.filePath("cert.pem"),
                                          "--tls-key", dir.filePath("key.pem")});
        ASSERT_TRUE(relay.waitForStarted(5000));
        ASSERT_TRUE(relay.waitForReadyRead(5000)) << relay.readAllStandardError().toStdString();
        const auto match =
            QRegularExpression("port (\\d+)").match(QString::fromUtf8(relay.readLine()));
        ASSERT_TRUE(match.hasMatch());
        port = match.captured(1).toStdString();
    }
    void TearDown() override {
        relay.kill();
        relay.waitForFinished(5000);
    }
    // A chat from support, then a customer's poll: true when the chat came through.
    bool ChatCameThrough(HttpRelayTransport& transport, const std::string& domain,
                         std::string& status) {
        RelayState support;
        support.SupportDomain = domain;
        support.RelayRole = RoleSupport;
        support.OutKind = MsgChat;
        support.OutCount = 1;
        support.SupportBuffer[0] = 'T';
        RelayState client;
        client.SupportDomain = domain;
        const bool ok = transport.RelayExchange(support) && transport.RelayExchange(client);
        status = ok ? client.RelayStatusText : support.RelayStatusText;
        return ok && client.InKind == MsgChat && client.InCount == 1 &&
               client.SupportBuffer[0] == 'T';
    }

    QTemporaryDir dir;
    QProcess relay;
    std::string port;
};

TEST_F(RelayTls, AnHttpsDomainReachesTheRelayOverTls) {
    HttpRelayTransport transport{HttpRelayTransport::CueCallback{}};
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setCaCertificates(QSslCertificate::fromPath(dir.filePath("cert.pem")));  // this one only
    ASSERT_EQ(tls.caCertificates().size(), 1);
    transport.SetSslConfiguration(tls);
    std::string status;
    bool came = false;  // on a thread with no event loop, as the tool's worker
    std::thread([&] {
        came = ChatCameThrough(transport, "https://127.0.0.1:" + port + "/K7QM2XDF", status);
    }).join();
    EXPECT_TRUE(came) << status;
    EXPECT_EQ(status, "Support sent chat");
    // The same port without TLS is no relay.
    EXPECT_FALSE(ChatCameThrough(transport, "127.0.0.1:" + port + "/K7QM2XDF", status));
}

TEST_F(RelayTls, ACertificateTheClientDoesNotTrustFailsTheExchange) {
    HttpRelayTransport transport{HttpRelayTransport::CueCallback{}};  // the system's store
    std::string status;
    EXPECT_FALSE(ChatCameThrough(transport, "https://127.0.0.1:" + port, status));
    EXPECT_FALSE(status.empty());
}

}  // namespace
}  // namespace korvan
