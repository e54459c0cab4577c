#include "relay/support_consent.h"

#include "link/protocol.h"
#include "model/settings_file.h"

namespace korvan {

namespace {

// `data`'s settings as the system would hold them, over `base`'s.
SettingsFileImage AsWritten(const SystemData& base, SystemData data) {
    const auto image = BuildSettingsImage(data);
    SystemData held = base;
    DecodeSettingsImage(image.data(), held);
    return BuildSettingsFileImage(held);
}

}  // namespace

std::vector<WriteChange> ChangesOfWrite(const SystemData& now, const SystemData& sent,
                                        const SystemData& written, char sep) {
    using settings_fields::CompareImages;
    using settings_fields::FieldChange;
    const SettingsFileImage after = AsWritten(now, written);
    const std::vector<FieldChange> checked = CompareImages(AsWritten(now, sent), after, sep);
    std::vector<WriteChange> changes;
    for (const FieldChange& change : CompareImages(AsWritten(now, now), after, sep)) {
        WriteChange row{change, {}};
        for (const FieldChange& c : checked)
            if (c.Sec == change.Sec && c.Name == change.Name) row.Sent = c.Old;
        changes.push_back(std::move(row));
    }
    return changes;
}

}  // namespace korvan
