// korvan-relay's command line: the options as read, and the program itself
// (help, version, the start-up line scripts read, a clean stop on SIGTERM).
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "tests/relay/raw_client.h"
#include "tools/relay/relay_options.h"

extern char** environ;

namespace korvan {
namespace {

using Action = RelayCommandLine::Action;

TEST(RelayCommandLine, OptionsAndTheirDefaults) {
    RelayCommandLine plain = ParseRelayCommandLine({});
    EXPECT_EQ(plain.What, Action::Run);
    EXPECT_EQ(plain.Address, "127.0.0.1");
    EXPECT_EQ(plain.Port, 8080u);
    EXPECT_TRUE(plain.Limits.DefaultSession);
    EXPECT_EQ(plain.Limits.SessionIdle, std::chrono::seconds(900));
    EXPECT_EQ(plain.Limits.MaxSessions, 10000u);
    EXPECT_EQ(plain.Connections.PerAddress, 32u);

    RelayCommandLine all = ParseRelayCommandLine(
        {"--listen", "::1", "--port=0", "--verbose", "--no-default-session", "--session-idle", "60",
         "--max-sessions=5", "--per-ip-limit", "0", "--max-connections", "2000", "--timeout", "3",
         "--tls-cert", "c.pem", "--tls-key", "k.pem"});
    ASSERT_EQ(all.What, Action::Run) << all.ErrorText;
    EXPECT_EQ(all.Address, "::1");
    EXPECT_EQ(all.Port, 0u);
    EXPECT_TRUE(all.Verbose);
    EXPECT_FALSE(all.Limits.DefaultSession);
    EXPECT_EQ(all.Limits.SessionIdle, std::chrono::seconds(60));
    EXPECT_EQ(all.Limits.MaxSessions, 5u);
    EXPECT_EQ(all.Connections.PerAddress, 0u);
    EXPECT_EQ(all.Connections.MaxConnections, 2000u);
    EXPECT_EQ(all.Connections.IdleSeconds, 3u);
    EXPECT_EQ(all.TlsCertFile, "c.pem");
    EXPECT_EQ(all.TlsKeyFile, "k.pem");

    RelayCommandLine proxied = ParseRelayCommandLine(
        {"--head-timeout", "2", "--trusted-proxy", "10.0.0.1", "--trusted-proxy=::1",
         "--sessions-per-address", "7", "--admin-from", "10.0.0.0/8", "--drain=4"});
    ASSERT_EQ(proxied.What, Action::Run) << proxied.ErrorText;
    EXPECT_EQ(proxied.Connections.HeadSeconds, 2u);
    EXPECT_EQ(proxied.Connections.TrustedProxies, (std::vector<std::string>{"10.0.0.1", "::1"}));
    EXPECT_EQ(proxied.Limits.SessionsPerAddress, 7u);
    EXPECT_EQ(proxied.AdminFrom, std::vector<std::string>{"10.0.0.0/8"});
    EXPECT_EQ(proxied.DrainSeconds, 4u);

    EXPECT_EQ(ParseRelayCommandLine({"--port", "1", "--help", "--bogus"}).What, Action::Help);
    EXPECT_EQ(ParseRelayCommandLine({"--version"}).What, Action::Version);
}

TEST(RelayCommandLine, BadArgumentsAreRefused) {
    const std::vector<std::vector<std::string>> bad = {{"--bogus"},
                                                       {"stray"},
                                                       {"--trusted-proxy", "proxy.example"},
                                                       {"--admin-from", "10.0.0.0/40"},
                                                       {"--port"},
                                                       {"--port", "65536"},
                                                       {"--port", "-1"},
                                                       {"--port", "8080x"},
                                                       {"--session-idle=0"},
                                                       {"--max-sessions", "0"},
                                                       {"--verbose=yes"},
                                                       {"--tls-cert", "c.pem"},
                                                       {"--tls-key=k.pem"},
                                                       {"--listen="},
                                                       {"--per-ip-limit", ""}};
    for (const auto& args : bad) {
        RelayCommandLine line = ParseRelayCommandLine(args);
        EXPECT_EQ(line.What, Action::Error) << args[0];
        EXPECT_FALSE(line.ErrorText.empty());
    }
}

// korvan-relay with its standard output on a pipe.
class RelayProcess {
  public:
    explicit RelayProcess(std::vector<std::string> args) {
        args.insert(args.begin(), KORVAN_RELAY_BINARY);
        std::vector<char*> argv;
        for (auto& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        int out[2];
        if (pipe(out) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        fd_ = out[0];
    }
    ~RelayProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (fd_ >= 0) close(fd_);
    }
    // Standard output up to its first line break or its end, within 5 s.
    std::string Line() {
        std::string text;
        char c = 0;
        pollfd waiting{fd_, POLLIN, 0};
        while (poll(&waiting, 1, 5000) > 0 && read(fd_, &c, 1) == 1 && c != '\n') text += c;
        return text;
    }
    // Standard output to its end, within 5 s of silence.
    std::string All() {
        std::string text;
        char chunk[4096];
        pollfd waiting{fd_, POLLIN, 0};
        ssize_t got = 0;
        while (poll(&waiting, 1, 5000) > 0 && (got = read(fd_, chunk, sizeof chunk)) > 0) {
            text.append(chunk, static_cast<size_t>(got));
        }
        return text;
    }
    // The exit status, or -1 when it did not end within 5 s.
    int Wait() {
        for (int i = 0; i < 500; ++i) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            usleep(10000);
        }
        return -1;
    }
    void Signal(int signal) { kill(pid_, signal); }
    // The port of the start-up line, 0 without one.
    uint16_t Port() {
        const std::string line = Line();
        return static_cast<uint16_t>(std::atoi(line.c_str() + line.rfind(' ') + 1));
    }

  private:
    pid_t pid_ = -1;
    int fd_ = -1;
};

TEST(RelayProgram, HelpAndVersionWithoutStarting) {
    RelayProcess version({"--version"});
    EXPECT_EQ(version.Line(), std::string("korvan-relay ") + KORVAN_VERSION);
    EXPECT_EQ(version.Wait(), 0);

    RelayProcess help({"--help"});
    const std::string text = help.All();
    EXPECT_EQ(help.Wait(), 0);
    for (const char* option :
         {"--listen", "--port", "--verbose", "--no-default-session", "--session-idle",
          "--max-sessions", "--per-ip-limit", "--tls-cert", "--tls-key", "--version"}) {
        EXPECT_NE(text.find(option), std::string::npos) << option;
    }
}

TEST(RelayProgram, StartUpLineAndACleanStop) {
    RelayProcess relay({"--port", "0"});
    const std::string line = relay.Line();
    EXPECT_TRUE(std::regex_match(
        line, std::regex("korvan-relay listening on 127\\.0\\.0\\.1 port [1-9][0-9]*")))
        << line;
    relay.Signal(SIGTERM);
    EXPECT_EQ(relay.Wait(), 0);
}

TEST(RelayProgram, BadArgumentsEndAtOnce) {
    for (std::vector<std::string> args :
         {std::vector<std::string>{"--listen", "not-an-address"},
          {"--port", "x"},
          {"--tls-cert", "/nonexistent", "--tls-key", "/nonexistent"}}) {
        RelayProcess relay(args);
        EXPECT_EQ(relay.Wait(), 2) << args[0];
    }
}

using namespace std::chrono_literals;

// CPU time of the children waited for so far, user and system.
std::chrono::microseconds ChildrenCpu() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return std::chrono::seconds(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           std::chrono::microseconds(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

// Pages the children waited for so far have faulted in.
long ChildrenFaults() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_minflt;
}

TEST(RelayProgram, ANewConnectionCostsLittleCpu) {
    constexpr int Threads = 32;
    constexpr int Each = 100;
    const auto before = ChildrenCpu();
    const long faultsBefore = ChildrenFaults();
    RelayProcess relay({"--port", "0"});
    const uint16_t port = relay.Port();
    ASSERT_NE(port, 0);
    std::atomic<int> answered{0};
    std::vector<std::thread> clients;
    for (int t = 0; t < Threads; ++t) {
        clients.emplace_back([&, t] {
            const std::string from = "127.0.4." + std::to_string(t + 1);
            for (int i = 0; i < Each; ++i) {
                RawClient client(port, from.c_str());
                if (client.Send(RawGet("/K7QM2XDF/support3.php?user=client&data=0")) &&
                    StatusOf(client.ReadAnswer()) == 200)
                    ++answered;
            }
        });
    }
    for (std::thread& client : clients) client.join();
    relay.Signal(SIGTERM);
    ASSERT_EQ(relay.Wait(), 0);
    const auto perConnection = (ChildrenCpu() - before) / (Threads * Each);
    // Those of starting the program included.
    const double faults = double(ChildrenFaults() - faultsBefore) / (Threads * Each);
    EXPECT_EQ(answered, Threads * Each);
    std::printf("relay CPU per new connection: %lld us, pages faulted in: %.2f\n",
                static_cast<long long>(perConnection.count()), faults);
#if defined(__OPTIMIZE__) && !defined(__SANITIZE_ADDRESS__)
    // The figures hold for an optimised build without sanitizers only. The CPU is
    // about 20-40 us on the machines we run on and was 280-340 us before; the
    // bound catches that again while leaving room for a busier machine. A
    // connection's memory is kept for the next one: faulting in fresh pages for
    // each (about 20) was the larger part of what a connection cost.
    EXPECT_LT(perConnection, 160us);
#if defined(__LP64__)  // where the program keeps its connections' memory
    EXPECT_LT(faults, 3);
#endif
#endif
}

TEST(RelayProgram, ASigtermDrainsTheOpenConnectionsThenEnds) {
    RelayProcess relay({"--port", "0", "--drain", "2"});
    const uint16_t port = relay.Port();
    RawClient kept(port);
    ASSERT_TRUE(kept.Send(RawGet("/K7QM2XDF/support3.php?user=client&data=4$1")));
    EXPECT_EQ(StatusOf(kept.ReadAnswer()), 200);
    const auto signalled = std::chrono::steady_clock::now();
    relay.Signal(SIGTERM);
    std::this_thread::sleep_for(200ms);
    // No new connections; the open one is served, told it is stopping, and closed.
    RawClient late(port);
    EXPECT_FALSE(late.Connected() && late.Send(RawGet("/healthz")) &&
                 StatusOf(late.ReadAnswer(1s)) != 0);
    ASSERT_TRUE(kept.Send(RawGet("/healthz")));
    const std::string health = kept.ReadAnswer();
    EXPECT_EQ(StatusOf(health), 503);
    EXPECT_NE(health.find("Connection: close"), std::string::npos) << health;
    EXPECT_EQ(relay.Wait(), 0);
    // Ended once its last connection closed, before the drain time was up.
    EXPECT_LT(std::chrono::steady_clock::now() - signalled, 2s);

    // A connection that stays open: the drain time bounds the stop.
    RelayProcess held({"--port", "0", "--drain", "1"});
    RawClient idle(held.Port());
    ASSERT_TRUE(idle.Connected());
    std::this_thread::sleep_for(100ms);
    const auto stopAsked = std::chrono::steady_clock::now();
    held.Signal(SIGTERM);
    EXPECT_EQ(held.Wait(), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - stopAsked, 900ms);
}

}  // namespace
}  // namespace korvan
