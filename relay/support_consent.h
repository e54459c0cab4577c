// What settings from support would do to the customer's system: the values a
// write would change, as the owner is asked about them. No Qt.
#pragma once

#include <string>
#include <vector>

#include "model/settings_fields.h"
#include "model/system_data.h"

namespace korvan {

// One value the write would change. Sent is the value support sent where this
// tool's own read-back and checks made it the one written; "" elsewhere.
struct WriteChange : settings_fields::FieldChange {
    std::string Sent;
};

// What writing `written` (the checks' result of `sent`) over `now` changes in
// the system: only what the modules' settings blocks carry counts, so bytes the
// blocks do not hold and differences their encoding does not keep are no change.
std::vector<WriteChange> ChangesOfWrite(const SystemData& now, const SystemData& sent,
                                        const SystemData& written, char sep);

}  // namespace korvan
