// The texts of the event log for what the session sees: the end of a command,
// a command the link refuses, and the faults and warnings that the modules'
// status words report. No Qt.
#pragma once

#include <string>
#include <vector>

#include "link/link.h"
#include "model/system_data.h"
#include "session/system_session.h"

namespace korvan {

std::string CommandEventText(const CommandResult& result);
std::string RefusalEventText(LinkOperation operation, const char* link);

// The faults and warnings of the status words, poll by poll: what is new since
// the last complete poll ("Battery Box: Battery overvoltage warning") and what is
// gone ("... cleared").
class FaultWatch {
  public:
    std::vector<std::string> Changes(const SystemData& data);

  private:
    std::vector<std::string> shown_;
};

}  // namespace korvan
