// korvan-relay's command line, read without any toolkit.
#pragma once

#include <string>
#include <vector>

#include "tools/relay/relay_server.h"

namespace korvan {

struct RelayCommandLine {
    enum class Action { Run, Help, Version, Error };

    Action What = Action::Run;
    std::string ErrorText;  // for Action::Error
    std::string Address = "127.0.0.1";
    unsigned Port = 8080;
    bool Verbose = false;
    std::string TlsCertFile;
    std::string TlsKeyFile;
    RelayLimits Limits;
    RelayConnectionLimits Connections;
    // Who may ask /healthz and /metrics; loopback when empty.
    std::vector<std::string> AdminFrom;
    // After SIGTERM: how long /healthz answers 503 while what is open is served.
    unsigned DrainSeconds = 10;
};

// args without the program name.
RelayCommandLine ParseRelayCommandLine(const std::vector<std::string>& args);
std::string RelayHelpText();

}  // namespace korvan
