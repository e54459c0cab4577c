// korvan-relay's command line: the options as read, and the program itself
// (help, version, the start-up line scripts read, a clean stop on SIGTERM).
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <string>
#include <vector>

#include "tests/relay/relay_process.h"
#include "tools/relay/relay_options.h"

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

    RelayCommandLine all = ParseRelayCommandLine({"--listen",
                                                  "::1",
                                                  "--port=0",
                                                  "--verbose",
                                                  "--no-default-session",
                                                  "--session-idle",
                                                  "60",
                                                  "--max-sessions=5",
                                                  "--per-ip-limit",
                                                  "0",
                                                  "--max-connections",
                                                  "2000",
                                                  "--timeout",
                                                  "3",
                                                  "--head-timeout",
                                                  "2",
                                                  "--trusted-proxy",
                                                  "10.0.0.1",
                                                  "--trusted-proxy=::1",
                                                  "--sessions-per-address",
                                                  "7",
                                                  "--admin-from",
                                                  "10.0.0.0/8",
                                                  "--drain=4",
                                                  "--tls-cert",
                                                  "c.pem",
                                                  "--tls-key",
                                                  "k.pem"});
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
    EXPECT_EQ(all.Connections.HeadSeconds, 2u);
    EXPECT_EQ(all.Connections.TrustedProxies, (std::vector<std::string>{"10.0.0.1", "::1"}));
    EXPECT_EQ(all.Limits.SessionsPerAddress, 7u);
    EXPECT_EQ(all.AdminFrom, std::vector<std::string>{"10.0.0.0/8"});
    EXPECT_EQ(all.DrainSeconds, 4u);
    EXPECT_EQ(all.TlsCertFile, "c.pem");
    EXPECT_EQ(all.TlsKeyFile, "k.pem");

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

}  // namespace
}  // namespace korvan
