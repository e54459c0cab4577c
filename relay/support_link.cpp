#include "relay/support_link.h"

namespace korvan {

std::optional<LinkRefusal> SupportLink::Refusal(LinkOperation operation) const {
    if (operation == LinkOperation::WriteAllSettings) return std::nullopt;
    return UsbOnlyRefusal(operation);
}

}  // namespace korvan
