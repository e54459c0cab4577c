// korvan-relay: the relay server for remote support. The customer's tool and
// the technician's tool both poll it; each GET of /support3.php (or of
// /CODE/support3.php for the conversation CODE) posts the sender's message and
// answers with the other side's next one. Needs no display and no toolkit.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "tools/relay/relay_options.h"
#include "tools/relay/relay_server.h"

#ifndef KORVAN_VERSION
#define KORVAN_VERSION "unknown"
#endif

namespace {

std::atomic<int> stopsRequested{0};

extern "C" void OnStopSignal(int) { ++stopsRequested; }

bool ReadWholeFile(const std::string& path, std::string& text) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    std::ostringstream content;
    content << file.rdbuf();
    text = content.str();
    return true;
}

bool ConfigureTls(const korvan::RelayCommandLine& line, korvan::RelayServer& server) {
    if (line.TlsCertFile.empty()) return true;
    std::string certificate;
    std::string key;
    for (auto [path, text] :
         {std::pair{&line.TlsCertFile, &certificate}, std::pair{&line.TlsKeyFile, &key}}) {
        if (!ReadWholeFile(*path, *text)) {
            std::fprintf(stderr, "korvan-relay: cannot read %s\n", path->c_str());
            return false;
        }
    }
    server.SetTls(std::move(certificate), std::move(key));
    return true;
}

void PrintRequests(korvan::RelayServer& server) {
    static std::mutex printing;
    server.SetPrintLog(true);
    server.SetObserver([](const std::string& head, int status) {
        std::lock_guard<std::mutex> lock(printing);
        std::printf("%d %s\n", status, head.substr(0, head.find("\r\n")).c_str());
        std::fflush(stdout);
    });
}

// Until SIGINT or SIGTERM; idle conversations are dropped now and then even
// when no request comes to do it. Then the drain: no new connections, the open
// ones served (and told to close) until they are gone or the drain time is up,
// or a second signal comes.
void Serve(korvan::RelayServer& server, std::chrono::seconds drain) {
    using Clock = std::chrono::steady_clock;
    auto lastSweep = Clock::now();
    while (stopsRequested == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (Clock::now() - lastSweep >= std::chrono::seconds(30)) {
            server.Service().DropIdle();
            lastSweep = Clock::now();
        }
    }
    server.BeginDrain();
    const auto end = Clock::now() + drain;
    while (stopsRequested == 1 && Clock::now() < end && server.OpenConnections() > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

}  // namespace

int main(int argc, char** argv) {
    const korvan::RelayCommandLine line =
        korvan::ParseRelayCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    switch (line.What) {
        case korvan::RelayCommandLine::Action::Help:
            std::fputs(korvan::RelayHelpText().c_str(), stdout);
            return 0;
        case korvan::RelayCommandLine::Action::Version:
            std::printf("korvan-relay %s\n", KORVAN_VERSION);
            return 0;
        case korvan::RelayCommandLine::Action::Error:
            std::fprintf(stderr, "korvan-relay: %s\n", line.ErrorText.c_str());
            return 2;
        case korvan::RelayCommandLine::Action::Run:
            break;
    }
    if (!korvan::ValidListenAddress(line.Address)) {
        std::fprintf(stderr, "korvan-relay: not an address: %s\n", line.Address.c_str());
        return 2;
    }
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);  // a client gone mid-answer is not the server's end
#endif

    korvan::RelayConnectionLimits connections = line.Connections;
    const uint64_t files = korvan::RaiseOpenFileLimit();
    constexpr uint64_t ReservedFiles = 64;  // listening sockets, pipes, certificate files
    if (files != 0 && files < connections.MaxConnections + ReservedFiles) {
        connections.MaxConnections = static_cast<unsigned>(
            files > ReservedFiles * 2 ? files - ReservedFiles : ReservedFiles);
        std::fprintf(stderr, "korvan-relay: open-file limit %llu: at most %u connections\n",
                     static_cast<unsigned long long>(files), connections.MaxConnections);
    }

    korvan::RelayServer server(line.Limits);
    server.SetConnectionLimits(connections);
    if (!line.AdminFrom.empty()) {
        korvan::AddressRanges admin;
        for (const std::string& range : line.AdminFrom) admin.Add(range);
        server.SetAdminFrom(std::move(admin));
    }
    if (!ConfigureTls(line, server)) return 2;
    if (line.Verbose) PrintRequests(server);
    // Before the start-up line: a script may stop the server as soon as it reads it.
    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGTERM, OnStopSignal);
    if (!server.Listen(line.Address, static_cast<uint16_t>(line.Port))) {
        std::fprintf(stderr, "korvan-relay: cannot listen on %s port %u: %s\n",
                     line.Address.c_str(), line.Port, server.ErrorText().c_str());
        return 1;
    }
    std::printf("korvan-relay listening on %s port %u\n", server.Address().c_str(), server.Port());
    std::fflush(stdout);
    Serve(server, std::chrono::seconds(line.DrainSeconds));
    server.Stop();
    return 0;
}
