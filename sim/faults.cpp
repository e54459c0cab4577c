#include "sim/faults.h"

#include <algorithm>
#include <utility>

namespace korvan {

namespace {

using std::chrono::milliseconds;

constexpr std::array<SimFaultInfo, SimFaultKindCount> Kinds{{
    {SimFault::UsbNoAnswer, SimChannel::Usb, "usb-no-answer", "USB: no answer"},
    {SimFault::UsbShortReport, SimChannel::Usb, "usb-short-report", "USB: short report"},
    {SimFault::UsbRandomBytes, SimChannel::Usb, "usb-random-bytes", "USB: garbled answer"},
    {SimFault::UsbStaleAnswer, SimChannel::Usb, "usb-stale-answer", "USB: previous answer again"},
    {SimFault::UsbUnplugBeforeRead, SimChannel::Usb, "usb-unplug-before-read",
     "USB: unplugged between request and answer"},
    {SimFault::UsbUnplugAfterReport, SimChannel::Usb, "usb-unplug-after-report",
     "USB: unplugged after an answer"},
    {SimFault::BtByteLoss, SimChannel::Bluetooth, "bt-byte-loss", "Bluetooth: bytes lost"},
    {SimFault::BtByteCorruption, SimChannel::Bluetooth, "bt-byte-corruption",
     "Bluetooth: bytes corrupted"},
    {SimFault::BtLateImage, SimChannel::Bluetooth, "bt-late-image", "Bluetooth: answer late"},
    {SimFault::BtSplitImage, SimChannel::Bluetooth, "bt-split-image",
     "Bluetooth: answer split in two"},
    {SimFault::BtPortVanish, SimChannel::Bluetooth, "bt-port-vanish",
     "Bluetooth: serial port lost"},
}};

// Whether a kind is the last of the enumeration. The switch has no default, so a
// kind added to SimFault without its case here fails the build (-Wswitch); once
// it has one, the check below wants its row in Kinds and SimFaultKindCount to
// count it.
constexpr bool LastKind(SimFault kind) {
    switch (kind) {
        case SimFault::UsbNoAnswer:
        case SimFault::UsbShortReport:
        case SimFault::UsbRandomBytes:
        case SimFault::UsbStaleAnswer:
        case SimFault::UsbUnplugBeforeRead:
        case SimFault::UsbUnplugAfterReport:
        case SimFault::BtByteLoss:
        case SimFault::BtByteCorruption:
        case SimFault::BtLateImage:
        case SimFault::BtSplitImage:
            return false;
        case SimFault::BtPortVanish:
            return true;
    }
    return false;
}

// Row i describes enumerator i, every row is filled in (std::array leaves rows
// missing from its initialiser empty), and the last row is the last kind.
constexpr bool OneRowPerKindInOrder() {
    for (size_t i = 0; i < Kinds.size(); ++i) {
        const SimFaultInfo& row = Kinds[i];
        if (static_cast<size_t>(row.Kind) != i || row.Name == nullptr || row.Label == nullptr)
            return false;
        if (LastKind(row.Kind) != (i + 1 == Kinds.size())) return false;
    }
    return true;
}
static_assert(OneRowPerKindInOrder(), "Kinds needs one row per SimFault, in enumeration order");

// Plain modulo and scaling rather than the standard distributions, whose results
// differ between standard libraries: a seed gives the same faults everywhere.
uint32_t Below(std::mt19937& rng, size_t n) {
    return n == 0 ? 0 : static_cast<uint32_t>(rng() % static_cast<uint32_t>(n));
}

double Chance(std::mt19937& rng) { return static_cast<double>(rng()) / 4294967296.0; }

constexpr uint32_t BluetoothStream = 0x5BD1E995u;  // the second stream's seed offset
constexpr size_t LongestLoss = 16;
constexpr size_t MostCorrupted = 4;

}  // namespace

const std::array<SimFaultInfo, SimFaultKindCount>& SimFaultKinds() { return Kinds; }

const SimFaultInfo& SimFaultInfoOf(SimFault kind) { return Kinds[static_cast<size_t>(kind)]; }

SimFaultPlan SimFaultPlan::Random(double rate, uint32_t seed) {
    SimFaultPlan plan;
    plan.Enabled.fill(true);
    plan.Rate = rate;
    plan.Seed = seed;
    return plan;
}

uint64_t SimFaultCounts::Total() const {
    uint64_t total = 0;
    for (uint64_t n : Injected) total += n;
    return total;
}

std::string SimFaultCounts::Text() const {
    std::string text = "usb exchanges=" + std::to_string(UsbExchanges) +
                       " bt exchanges=" + std::to_string(BtExchanges);
    for (const SimFaultInfo& info : Kinds)
        text += std::string(" ") + info.Name + "=" + std::to_string((*this)[info.Kind]);
    return text;
}

SimFaults::SimFaults(Clock clock) : clock_(std::move(clock)) { SetPlan(SimFaultPlan{}); }

void SimFaults::SetPlan(const SimFaultPlan& plan) {
    Lock lock(mutex_);
    plan_ = plan;
    plan_.Script.clear();
    usbRng_.seed(plan.Seed);
    btRng_.seed(plan.Seed ^ BluetoothStream);
    counts_ = SimFaultCounts{};
    usbExchange_ = 0;
    btExchange_ = 0;
    script_.clear();
    heldBack_.clear();
    for (const SimScriptedFault& fault : plan.Script) AddScriptedLocked(fault);
}

SimFaultPlan SimFaults::Plan() {
    Lock lock(mutex_);
    return plan_;
}

void SimFaults::SetRate(double rate) {
    Lock lock(mutex_);
    plan_.Rate = std::clamp(rate, 0.0, 1.0);
}

void SimFaults::Enable(SimFault kind, bool on) {
    Lock lock(mutex_);
    plan_.Enable(kind, on);
}

void SimFaults::AddScripted(const SimScriptedFault& fault) {
    Lock lock(mutex_);
    AddScriptedLocked(fault);
}

// Without a start code the count starts with the link's next exchange.
void SimFaults::AddScriptedLocked(const SimScriptedFault& fault) {
    plan_.Script.push_back(fault);
    ScriptState state{fault, std::nullopt, false};
    if (fault.StartCode == 0) {
        const bool usb = SimFaultInfoOf(fault.Kind).Channel == SimChannel::Usb;
        state.Anchor = (usb ? usbExchange_ : btExchange_) + 1;
    }
    script_.push_back(state);
}

SimFaultCounts SimFaults::Counts() {
    Lock lock(mutex_);
    return counts_;
}

void SimFaults::ResetCounts() {
    Lock lock(mutex_);
    counts_ = SimFaultCounts{};
}

bool SimFaults::PresentLocked(Away& away) {
    if (away.Out && away.BackAt && clock_() >= *away.BackAt) away.Out = false;
    return !away.Out;
}

void SimFaults::UnplugUsb() {
    Lock lock(mutex_);
    usb_ = Away{true, std::nullopt};
    ++usbUnplugs_;
}

void SimFaults::ReplugUsb() {
    Lock lock(mutex_);
    usb_ = Away{};
}

bool SimFaults::UsbPresent() {
    Lock lock(mutex_);
    return PresentLocked(usb_);
}

uint64_t SimFaults::UsbUnplugs() {
    Lock lock(mutex_);
    return usbUnplugs_;
}

void SimFaults::PullUsbCable() {
    Lock lock(mutex_);
    usb_ = Away{true, clock_() + plan_.ComesBackAfter};
    ++usbUnplugs_;
}

void SimFaults::VanishBluetoothPort() {
    Lock lock(mutex_);
    bt_ = Away{true, std::nullopt};
    heldBack_.clear();
}

void SimFaults::RestoreBluetoothPort() {
    Lock lock(mutex_);
    bt_ = Away{};
}

bool SimFaults::BluetoothPortPresent() {
    Lock lock(mutex_);
    return PresentLocked(bt_);
}

std::optional<SimFault> SimFaults::Scripted(SimChannel channel, uint8_t code, uint64_t exchange) {
    for (ScriptState& s : script_) {
        if (s.Fired || SimFaultInfoOf(s.Fault.Kind).Channel != channel) continue;
        if (!s.Anchor) {
            if (code != s.Fault.StartCode) continue;
            s.Anchor = exchange;
        }
        if (exchange - *s.Anchor + 1 == std::max<uint64_t>(s.Fault.At, 1)) {
            s.Fired = true;
            return s.Fault.Kind;
        }
    }
    return std::nullopt;
}

// A scripted fault wins; otherwise, at the plan's rate, one of the link's enabled kinds.
std::optional<SimFault> SimFaults::Draw(SimChannel channel, uint8_t code, uint64_t exchange,
                                        std::mt19937& rng) {
    if (const auto scripted = Scripted(channel, code, exchange)) return scripted;
    if (plan_.Rate <= 0) return std::nullopt;
    std::vector<SimFault> kinds;
    for (const SimFaultInfo& info : Kinds) {
        if (info.Channel == channel && plan_.IsEnabled(info.Kind)) kinds.push_back(info.Kind);
    }
    if (kinds.empty() || Chance(rng) >= plan_.Rate) return std::nullopt;
    return kinds[Below(rng, kinds.size())];
}

std::optional<SimFault> SimFaults::NextUsbExchange(uint8_t code) {
    Lock lock(mutex_);
    ++counts_.UsbExchanges;
    const auto fault = Draw(SimChannel::Usb, code, ++usbExchange_, usbRng_);
    if (fault) Count(*fault);
    return fault;
}

size_t SimFaults::ShortReportLength() {
    Lock lock(mutex_);
    return 1 + Below(usbRng_, HidTransferSize - 1);
}

void SimFaults::Garble(DeviceReport& report) {
    Lock lock(mutex_);
    for (uint8_t& b : report) b = static_cast<uint8_t>(usbRng_());
}

std::vector<uint8_t> SimFaults::ShapeBluetoothAnswer(uint8_t kind, std::vector<uint8_t> wire) {
    Lock lock(mutex_);
    ++counts_.BtExchanges;
    std::vector<uint8_t> out = std::exchange(heldBack_, {});
    const auto fault = Draw(SimChannel::Bluetooth, kind, ++btExchange_, btRng_);
    // Bytes can only be lost, changed, delayed or split where there are some.
    if (fault && (wire.size() >= 2 || *fault == SimFault::BtPortVanish)) {
        Count(*fault);
        if (*fault == SimFault::BtPortVanish) {
            bt_ = Away{true, clock_() + plan_.ComesBackAfter};
            heldBack_.clear();
            return {};
        }
        wire = ShapeLocked(*fault, std::move(wire));
    }
    out.insert(out.end(), wire.begin(), wire.end());
    return out;
}

std::vector<uint8_t> SimFaults::ShapeLocked(SimFault kind, std::vector<uint8_t> wire) {
    switch (kind) {
        case SimFault::BtByteLoss: {
            const size_t length = 1 + Below(btRng_, std::min(LongestLoss, wire.size() - 1));
            const size_t at = Below(btRng_, wire.size() - length + 1);
            const auto first = wire.begin() + static_cast<long>(at);
            wire.erase(first, first + static_cast<long>(length));
            break;
        }
        case SimFault::BtByteCorruption: {
            const size_t count = 1 + Below(btRng_, MostCorrupted);
            for (size_t i = 0; i < count; ++i) {
                const size_t at = Below(btRng_, wire.size());
                wire[at] = static_cast<uint8_t>(wire[at] ^ (1 + Below(btRng_, 255)));
            }
            break;
        }
        case SimFault::BtLateImage:
            heldBack_.insert(heldBack_.end(), wire.begin(), wire.end());
            wire.clear();
            break;
        case SimFault::BtSplitImage: {
            const size_t cut = 1 + Below(btRng_, wire.size() - 1);
            heldBack_.insert(heldBack_.end(), wire.begin() + static_cast<long>(cut), wire.end());
            wire.resize(cut);
            break;
        }
        default:
            break;
    }
    return wire;
}

}  // namespace korvan
