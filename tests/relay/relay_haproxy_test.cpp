// The relay past one machine, on loopback: HAProxy with the shipped
// configuration (TLS ended there, sessions hashed to relays) in front of two
// relays. Sessions exchange state, settings and chat through it; one relay is
// stopped halfway and its sessions move to the other.
#include <arpa/inet.h>
#include <gnutls/gnutls.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "relay/relay_protocol.h"
#include "tests/relay/raw_client.h"

extern char** environ;

namespace korvan {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr char Haproxy[] = "/usr/sbin/haproxy";

// An HTTPS client on one kept-alive connection, made again when the proxy
// closes it; the certificate is the test's own and is not checked.
class TlsClient {
  public:
    TlsClient(uint16_t port, std::string from) : port_(port), from_(std::move(from)) {
        gnutls_certificate_allocate_credentials(&credentials_);
    }
    ~TlsClient() {
        Drop();
        gnutls_certificate_free_credentials(credentials_);
    }
    // The answer to GET target, "" when there was none.
    std::string Get(const std::string& target) {
        const std::string request = "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (!session_ && !Open()) return "";
            if (Send(request)) {
                std::string answer = Read();
                if (!answer.empty()) return answer;
            }
            Drop();  // closed while idle: once more on a new connection
        }
        return "";
    }

  private:
    bool Open() {
        socket_ = std::make_unique<RawClient>(port_, from_.c_str());
        if (!socket_->Connected()) return false;
        timeval limit{5, 0};
        setsockopt(socket_->Fd(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        setsockopt(socket_->Fd(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        gnutls_init(&session_, GNUTLS_CLIENT);
        gnutls_set_default_priority(session_);
        gnutls_credentials_set(session_, GNUTLS_CRD_CERTIFICATE, credentials_);
        gnutls_transport_set_int(session_, socket_->Fd());
        int result = 0;
        do {
            result = gnutls_handshake(session_);
        } while (result < 0 && !gnutls_error_is_fatal(result));
        if (result < 0) Drop();
        return session_ != nullptr;
    }
    // A record carries at most 16 KiB.
    bool Send(const std::string& data) {
        ssize_t put = 0;
        for (size_t sent = 0; sent < data.size(); sent += static_cast<size_t>(put))
            if ((put = gnutls_record_send(session_, &data[sent], data.size() - sent)) <= 0)
                return false;
        return true;
    }
    // One answer by its Content-Length; the connection is dropped when the answer closes it.
    std::string Read() {
        std::string data;
        char chunk[8192];
        while (true) {
            std::string head = data.substr(0, data.find("\r\n\r\n") + 4);
            std::transform(head.begin(), head.end(), head.begin(), ::tolower);
            const size_t at = head.find("content-length: ");
            if (head.ends_with("\r\n\r\n") && at != std::string::npos) {
                const size_t total =
                    head.size() + std::strtoul(head.c_str() + at + 16, nullptr, 10);
                if (data.size() >= total) {
                    if (head.find("connection: close") != std::string::npos) Drop();
                    return data.substr(0, total);
                }
            }
            const ssize_t got = gnutls_record_recv(session_, chunk, sizeof chunk);
            if (got == GNUTLS_E_AGAIN || got == GNUTLS_E_INTERRUPTED) continue;
            if (got <= 0) return "";
            data.append(chunk, static_cast<size_t>(got));
        }
    }
    void Drop() {
        if (session_) gnutls_deinit(session_);
        session_ = nullptr;
        socket_.reset();
    }

    uint16_t port_;
    std::string from_;
    gnutls_certificate_credentials_t credentials_{};
    gnutls_session_t session_ = nullptr;
    std::unique_ptr<RawClient> socket_;
};

uint16_t FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    inet_pton(AF_INET, "127.0.0.1", &any.sin_addr);
    socklen_t size = sizeof any;
    bind(fd, reinterpret_cast<sockaddr*>(&any), sizeof any);
    getsockname(fd, reinterpret_cast<sockaddr*>(&any), &size);
    close(fd);
    return ntohs(any.sin_port);
}

long Metric(uint16_t port, const std::string& name) {
    RawClient client(port);
    client.Send(RawGet("/metrics"));
    const std::string page = BodyOf(client.ReadAnswer());
    const size_t at = page.find("\n" + name + " ");
    return at == std::string::npos ? -1 : std::atol(page.c_str() + at + name.size() + 2);
}

// A program with its standard output on a pipe; killed at the end.
class Process {
  public:
    explicit Process(std::vector<std::string> args) {
        std::vector<char*> argv;
        for (auto& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        int out[2];
        if (pipe(out) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        out_ = fdopen(out[0], "r");
    }
    ~Process() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (out_) fclose(out_);
    }
    // The port of a relay's start-up line.
    uint16_t Port() {
        char line[256] = "";
        if (!fgets(line, sizeof line, out_) || !std::strrchr(line, ' ')) return 0;
        return static_cast<uint16_t>(std::atoi(std::strrchr(line, ' ') + 1));
    }
    // Ends it with SIGTERM; its exit status.
    int Stop() {
        int status = -1;
        kill(pid_, SIGTERM);
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return status;
    }

  private:
    pid_t pid_ = -1;
    FILE* out_ = nullptr;
};

std::string Target(int session, bool client, const std::string& data) {
    char code[16];
    std::snprintf(code, sizeof code, "HAPX-%04d", session);
    return "/" + std::string(code) + "/support3.php?user=" + (client ? "client" : "support") +
           "&data=" + data;
}

TEST(RelayBehindHaproxy, SessionsKeepToOneRelayAndMoveWhenItStops) {
    if (!fs::exists(Haproxy)) GTEST_SKIP() << "no " << Haproxy << " (tools/install-deps)";
    const fs::path dir = fs::temp_directory_path() / ("korvan-haproxy-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string pem = (dir / "proxy.pem").string();
    const std::string make =
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1 "
        "-subj /CN=127.0.0.1 -keyout " +
        pem + ".key -out " + pem + " >/dev/null 2>&1 && cat " + pem + ".key >> " + pem;
    ASSERT_EQ(std::system(make.c_str()), 0);

    auto relay = [](int) {
        return std::make_unique<Process>(
            std::vector<std::string>{KORVAN_RELAY_BINARY, "--port", "0", "--trusted-proxy",
                                     "127.0.0.1", "--admin-from", "127.0.0.1", "--drain", "2"});
    };
    auto first = relay(1);
    auto second = relay(2);
    const uint16_t relay1 = first->Port();
    const uint16_t relay2 = second->Port();
    ASSERT_TRUE(relay1 && relay2);
    const uint16_t proxy = FreePort();
    setenv("KORVAN_PROXY_BIND", ("127.0.0.1:" + std::to_string(proxy)).c_str(), 1);
    setenv("KORVAN_PROXY_CERT", pem.c_str(), 1);
    setenv("KORVAN_RELAY_1", ("127.0.0.1:" + std::to_string(relay1)).c_str(), 1);
    setenv("KORVAN_RELAY_2", ("127.0.0.1:" + std::to_string(relay2)).c_str(), 1);
    Process haproxy({"/bin/sh", "-c",
                     std::string("exec ") + Haproxy + " -db -f " + KORVAN_HAPROXY_CONFIG + " >" +
                         (dir / "haproxy.log").string() + " 2>&1"});
    {
        TlsClient probe(proxy, "127.0.0.1");
        std::string answer;
        for (int i = 0; i < 100 && StatusOf(answer) != 404; ++i) {
            if (i) std::this_thread::sleep_for(50ms);
            answer = probe.Get("/not-a-relay-page");
        }
        ASSERT_EQ(StatusOf(answer), 404) << "HAProxy did not come up";
        // The relays' own pages are not served to the public.
        EXPECT_EQ(StatusOf(probe.Get("/metrics")), 404);
    }

    constexpr int Sessions = 200;
    constexpr int Threads = 8;
    // One round: every session exchanges state, settings and chat; firstAnswers
    // gets what each client's first request took.
    auto round = [&](int number, std::vector<std::string>& firstAnswers) {
        std::vector<std::thread> threads;
        for (int t = 0; t < Threads; ++t) {
            threads.emplace_back([&, t] {
                TlsClient client(proxy, "127.0.3." + std::to_string(2 * t + 1));
                TlsClient support(proxy, "127.0.3." + std::to_string(2 * t + 2));
                auto say = [](TlsClient& side, const std::string& target) {
                    const std::string answer = side.Get(target);
                    return StatusOf(answer) == 200 ? ExtractMessage(BodyOf(answer))
                                                   : "status " + std::to_string(StatusOf(answer));
                };
                for (int s = t; s < Sessions; s += Threads) {
                    const std::string tag = std::to_string(number) + "$" + std::to_string(s);
                    const std::string got[] = {
                        say(client, Target(s, true, "2$" + tag)),
                        say(support, Target(s, false, "3$" + tag)),
                        say(client, Target(s, true, "4$" + tag + "$33")),
                        say(support, Target(s, false, "0")),
                    };
                    const std::string want[] = {got[0], "2$" + tag, "3$" + tag, "4$" + tag + "$33"};
                    for (int i = 1; i < 4; ++i)
                        EXPECT_EQ(got[i], want[i]) << "round " << number << " session " << s;
                    firstAnswers[static_cast<size_t>(s)] = got[0];
                }
            });
        }
        for (std::thread& thread : threads) thread.join();
    };

    std::vector<std::string> firstAnswers(Sessions);
    round(1, firstAnswers);
    EXPECT_EQ(std::count(firstAnswers.begin(), firstAnswers.end(), ""), Sessions);
    // Each session on exactly one relay, and both relays used.
    const long on1 = Metric(relay1, "korvan_relay_sessions");
    const long on2 = Metric(relay2, "korvan_relay_sessions");
    EXPECT_EQ(on1 + on2, Sessions);
    EXPECT_GT(on1, Sessions / 5);
    EXPECT_GT(on2, Sessions / 5);

    // The first relay stops; its sessions move, the second's are untouched:
    // these still had the state request of round 1 waiting, the moved ones
    // start afresh on the second relay.
    EXPECT_EQ(first->Stop(), 0);
    first.reset();
    round(2, firstAnswers);
    EXPECT_EQ(std::count(firstAnswers.begin(), firstAnswers.end(), "0"), on2);
    EXPECT_EQ(std::count(firstAnswers.begin(), firstAnswers.end(), ""), on1);
    EXPECT_EQ(Metric(relay2, "korvan_relay_sessions"), Sessions);

    // The longest message a tool sends, a chat of 8,192 bytes of 255, passes whole.
    std::string longest = "4";
    for (size_t i = 0; i < RelayBufferSize; ++i) longest += "$255";
    TlsClient support(proxy, "127.0.3.100");
    TlsClient client(proxy, "127.0.3.101");
    EXPECT_EQ(StatusOf(support.Get(Target(Sessions, false, longest))), 200);
    EXPECT_EQ(ExtractMessage(BodyOf(client.Get(Target(Sessions, true, "2$1")))), longest);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace korvan
