#include "tools/relay/relay_options.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <functional>

#include "relay/relay_protocol.h"

namespace korvan {

namespace {

bool ParseNumber(const std::string& text, uint64_t most, uint64_t& value) {
    const char* end = text.data() + text.size();
    auto [at, error] = std::from_chars(text.data(), end, value);
    return !text.empty() && error == std::errc() && at == end && value <= most;
}

struct OptionRow {
    const char* Name;
    const char* Argument;  // nullptr for a switch
    std::string Help;
    std::function<bool(RelayCommandLine&, const std::string&)> Apply;
};

// A numeric option: false when the text is not a number within [least, most].
auto Number(uint64_t least, uint64_t most,
            const std::function<void(RelayCommandLine&, uint64_t)>& set) {
    return [=](RelayCommandLine& line, const std::string& text) {
        uint64_t value = 0;
        if (!ParseNumber(text, most, value) || value < least) return false;
        set(line, value);
        return true;
    };
}

// A text option: false when the text is empty.
auto Text(const std::function<void(RelayCommandLine&, const std::string&)>& set) {
    return [=](RelayCommandLine& line, const std::string& text) {
        if (text.empty()) return false;
        set(line, text);
        return true;
    };
}

auto Switch(const std::function<void(RelayCommandLine&)>& set) {
    return [=](RelayCommandLine& line, const std::string&) {
        set(line);
        return true;
    };
}

const std::vector<OptionRow>& Rows() {
    static const std::vector<OptionRow> rows = {
        {"listen", "ADDR", "Address to listen on, IPv4 or IPv6 (default 127.0.0.1).",
         Text([](RelayCommandLine& l, const std::string& v) { l.Address = v; })},
        {"port", "N", "TCP port, 0 for any free one (default 8080).",
         Number(0, 65535,
                [](RelayCommandLine& l, uint64_t v) { l.Port = static_cast<unsigned>(v); })},
        {"verbose", nullptr, "Print each request line and the status answered.",
         Switch([](RelayCommandLine& l) { l.Verbose = true; })},
        {"no-default-session", nullptr,
         "Answer 404 to the bare " + std::string(RelayPagePath) + " (session codes only).",
         Switch([](RelayCommandLine& l) { l.Limits.DefaultSession = false; })},
        {"session-idle", "SECONDS", "Drop a conversation unused for this long (default 900).",
         Number(1, 30u * 86400,
                [](RelayCommandLine& l, uint64_t v) {
                    l.Limits.SessionIdle = std::chrono::seconds(v);
                })},
        {"max-sessions", "N", "Most conversations at a time; 503 when full (default 10000).",
         Number(1, 10000000, [](RelayCommandLine& l, uint64_t v) { l.Limits.MaxSessions = v; })},
        {"sessions-per-address", "N",
         "Most live conversations one client address may create, 0 for no limit "
         "(default 64).",
         Number(0, 10000000,
                [](RelayCommandLine& l, uint64_t v) { l.Limits.SessionsPerAddress = v; })},
        {"per-ip-limit", "N", "Most connections from one address, 0 for no limit (default 32).",
         Number(0, 1000000,
                [](RelayCommandLine& l, uint64_t v) {
                    l.Connections.PerAddress = static_cast<unsigned>(v);
                })},
        {"max-connections", "N", "Most connections at a time (default 4096).",
         Number(1, 1000000,
                [](RelayCommandLine& l, uint64_t v) {
                    l.Connections.MaxConnections = static_cast<unsigned>(v);
                })},
        {"timeout", "SECONDS", "Close a connection silent for this long (default 10).",
         Number(1, 3600,
                [](RelayCommandLine& l, uint64_t v) {
                    l.Connections.IdleSeconds = static_cast<unsigned>(v);
                })},
        {"head-timeout", "SECONDS",
         "Close a connection whose request head is not whole this long after its first "
         "byte (default 5).",
         Number(1, 3600,
                [](RelayCommandLine& l, uint64_t v) {
                    l.Connections.HeadSeconds = static_cast<unsigned>(v);
                })},
        {"trusted-proxy", "ADDR",
         "A proxy whose X-Forwarded-For names the client; not limited per address. "
         "Repeatable.",
         [](RelayCommandLine& l, const std::string& v) {
             if (!ValidListenAddress(v)) return false;
             l.Connections.TrustedProxies.push_back(v);
             return true;
         }},
        {"admin-from", "RANGE",
         "Answer GET /healthz and /metrics to this address or range (e.g. 10.0.0.0/8); "
         "repeatable (default loopback).",
         [](RelayCommandLine& l, const std::string& v) {
             if (!ValidAddressRange(v)) return false;
             l.AdminFrom.push_back(v);
             return true;
         }},
        {"drain", "SECONDS",
         "On SIGTERM: accept no more connections, serve the open ones and answer 503 on "
         "/healthz for at most this long, then exit (default 10).",
         Number(
             0, 3600,
             [](RelayCommandLine& l, uint64_t v) { l.DrainSeconds = static_cast<unsigned>(v); })},
        {"tls-cert", "FILE", "PEM certificate (chain): serve HTTPS. Needs --tls-key.",
         Text([](RelayCommandLine& l, const std::string& v) { l.TlsCertFile = v; })},
        {"tls-key", "FILE", "PEM private key of the certificate.",
         Text([](RelayCommandLine& l, const std::string& v) { l.TlsKeyFile = v; })},
        {"help", nullptr, "Show this help and exit.",
         Switch([](RelayCommandLine& l) { l.What = RelayCommandLine::Action::Help; })},
        {"version", nullptr, "Show the version and exit.",
         Switch([](RelayCommandLine& l) { l.What = RelayCommandLine::Action::Version; })},
    };
    return rows;
}

const OptionRow* Find(const std::string& name) {
    for (const OptionRow& row : Rows()) {
        if (name == row.Name) return &row;
    }
    return nullptr;
}

RelayCommandLine Fail(std::string text) {
    RelayCommandLine line;
    line.What = RelayCommandLine::Action::Error;
    line.ErrorText = std::move(text);
    return line;
}

}  // namespace

RelayCommandLine ParseRelayCommandLine(const std::vector<std::string>& args) {
    RelayCommandLine line;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.rfind("--", 0) != 0) return Fail("unexpected argument: " + arg);
        const size_t eq = arg.find('=');
        const std::string name =
            arg.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
        const OptionRow* row = Find(name);
        if (!row) return Fail("unknown option: --" + name);
        std::string value;
        if (row->Argument && eq != std::string::npos) {
            value = arg.substr(eq + 1);
        } else if (row->Argument) {
            if (i + 1 == args.size()) return Fail("--" + name + " needs " + row->Argument);
            value = args[++i];
        } else if (eq != std::string::npos) {
            return Fail("--" + name + " takes no value");
        }
        if (!row->Apply(line, value)) {
            std::string message = "bad value for --";
            message += name;
            message += ": ";
            message += value;
            return Fail(message);
        }
        if (line.What != RelayCommandLine::Action::Run) return line;
    }
    if (line.TlsCertFile.empty() != line.TlsKeyFile.empty()) {
        return Fail("--tls-cert and --tls-key go together");
    }
    return line;
}

std::string RelayHelpText() {
    std::string text =
        "Usage: korvan-relay [options]\n"
        "Relay server for KORVAN KX4 remote support. Each GET of " +
        std::string(RelayPagePath) + " or\n/CODE" + std::string(RelayPagePath) +
        " posts the sender's message into that conversation and\n"
        "answers with the other side's next one.\n\nOptions:\n";
    for (const OptionRow& row : Rows()) {
        std::string left =
            std::string("  --") + row.Name + (row.Argument ? std::string(" ") + row.Argument : "");
        left.resize(std::max<size_t>(left.size() + 2, 26), ' ');
        text += left + row.Help + "\n";
    }
    return text;
}

}  // namespace korvan
