#include "tools/monitor/signalk_delta.h"

#include "tools/monitor/monitor_values.h"

namespace korvan {

namespace {

constexpr double ZeroCelsius = 273.15;

// A status bit pair (or a single bit) of a module and the notification it raises.
struct FaultFlag {
    int Module;        // 0 control box, 1 battery box, 2 and 3 the field boxes
    uint16_t Warning;  // 0: none
    uint16_t Fault;    // 0: none
    const char* Name;  // the last path segment
    const char* Message;
};

const FaultFlag Flags[] = {
    {0, 0, 0x0001, "hardwareFault", "System Control Module internal hardware fault"},
    {0, 0x0200, 0x0400, "systemFault", "System warning or critical fault present"},
    {0, 0, 0x0800, "settingsFault", "Control box settings fault present"},
    {0, 0, 0x1000, "overvoltage", "System overvoltage"},
    {0, 0x2000, 0, "wiringLosses", "Losses in wiring are too large"},
    {1, 0, 0x0001, "hardwareFault", "Battery Control Module internal hardware fault"},
    {1, 0x0002, 0x0004, "temperature1", "Battery #1 temperature"},
    {1, 0x0008, 0x0010, "temperature2", "Battery #2 temperature"},
    {1, 0x0020, 0x0040, "temperature3", "Battery #3 temperature"},
    {1, 0x0080, 0x0100, "overvoltage", "Battery overvoltage"},
    {1, 0x0200, 0x0400, "dischargeCurrent", "Battery discharge current"},
    {1, 0x0800, 0, "lowStateOfCharge", "Battery low state of charge"},
    {1, 0x1000, 0, "surgeProtector", "Surge protector is active"},
    {1, 0x2000, 0, "safetySwitch", "Safety switch is active"},
    {2, 0, 0x01, "hardwareFault", "Field Control Module internal hardware fault"},
    {2, 0x02, 0x04, "temperature", "Alternator temperature"},
    {2, 0, 0x08, "wiring", "Alternator B- or B+ leads are not connected correctly"},
};

class Values {
  public:
    void Add(const std::string& path, const std::string& json) {
        text_ += (text_.empty() ? "" : ",") + std::string("{\"path\":") + JsonString(path) +
                 ",\"value\":" + json + "}";
        paths_.insert(path);
    }
    void Number(const std::string& path, double value, int decimals) {
        Add(path, JsonNumber(value, decimals));
    }
    const std::string& Text() const { return text_; }
    const std::set<std::string>& Paths() const { return paths_; }

  private:
    std::string text_;
    std::set<std::string> paths_;
};

std::string NoteJson(const std::string& state, const std::string& message) {
    const std::string methods = state == "normal" ? "[]" : "[\"visual\",\"sound\"]";
    return "{\"state\":" + JsonString(state) + ",\"method\":" + methods +
           ",\"message\":" + JsonString(message) + "}";
}

// The notifications in an update of their own: a server may handle them apart
// (signalk-server's notification API does) without touching the values' update.
std::string Wrap(const Values& values, const Values& notes, const std::string& isoTime) {
    const std::string head =
        "{\"source\":{\"label\":\"korvan-monitor\",\"type\":\"KORVAN\"},"
        "\"timestamp\":" +
        JsonString(isoTime) + ",\"values\":[";
    std::string updates;
    if (!values.Text().empty() || notes.Text().empty()) updates = head + values.Text() + "]}";
    if (!notes.Text().empty()) updates += (updates.empty() ? "" : ",") + head + notes.Text() + "]}";
    return "{\"context\":\"vessels.self\",\"updates\":[" + updates + "]}";
}

}  // namespace

const char* SignalKChargingMode(uint8_t stage) {
    switch (stage) {
        case StageMonitoring:
        case StageWarmup:
            return "other";
        case StageMandatoryBulk:
        case StageBulkAbsorb:
            return "bulk";
        case StageFloat:
            return "float";
        default:
            return "unknown";
    }
}

std::string SignalKDeltas::Delta(const SystemData& d, const std::string& isoTime,
                                 bool allNotifications) {
    Values v;
    const uint16_t connected = d.ControlState.ConnectedModules;
    const BatteryBoxState& b = d.BatteryState;
    if (connected & BatteryBoxConnected) {
        const std::string battery = "electrical.batteries." + ids_.Battery;
        v.Number(battery + ".voltage", b.TrueBatteryVoltage, 2);
        v.Number(battery + ".current", b.BatteryCurrent, 0);
        if (b.Temperature1 != NoTemperatureSensor)
            v.Number(battery + ".temperature", b.Temperature1 + ZeroCelsius, 2);
        v.Number(battery + ".capacity.stateOfCharge", b.Soc / 100.0, 2);
    }
    for (int n = 0; n < 2; ++n) {
        if (!(connected & (n == 0 ? FieldBox1Connected : FieldBox2Connected))) continue;
        const FieldBoxState& f = d.FieldState[static_cast<size_t>(n)];
        const FieldBoxSettings& fs = d.FieldSettings[static_cast<size_t>(n)];
        const std::string alt =
            "electrical.alternators." + ids_.Alternators[static_cast<size_t>(n)];
        const ControlBoxState& c = d.ControlState;
        if (connected & BatteryBoxConnected)
            v.Number(alt + ".current", n == 0 ? b.Alternator1Current : b.Alternator2Current, 0);
        if (f.AlternatorTemperature != NoTemperatureSensor)
            v.Number(alt + ".temperature", f.AlternatorTemperature + ZeroCelsius, 2);
        v.Number(alt + ".setpointVoltage", n == 0 ? c.Alt1SetPoint : c.Alt2SetPoint, 2);
        const uint16_t drive = n == 0 ? c.Alt1DigitalFieldControl : c.Alt2DigitalFieldControl;
        v.Number(alt + ".fieldDrive", drive * 100.0 / FieldControlFullScale, 1);
        v.Add(alt + ".chargingMode", JsonString(SignalKChargingMode(c.ChargingStage)));
        if (fs.PulleyRatio > 0) {
            v.Number(alt + ".pulleyRatio", fs.PulleyRatio, 2);
            v.Number(alt + ".revolutions", f.EngineRpm * fs.PulleyRatio / 60.0, 3);
        }
        v.Number("propulsion." + ids_.Engines[static_cast<size_t>(n)] + ".revolutions",
                 f.EngineRpm / 60.0, 3);
    }
    // What had a value and has none now is taken back.
    const std::set<std::string> valued = v.Paths();
    for (const std::string& path : valued_)
        if (!valued.count(path)) v.Add(path, "null");
    valued_ = valued;

    Values notes;
    for (const FaultFlag& flag : Flags) {
        for (int fieldBox = 0; fieldBox < (flag.Module == 2 ? 2 : 1); ++fieldBox) {
            const int module = flag.Module + fieldBox;
            uint16_t bits = 0;
            bool present = true;
            std::string path = "notifications.electrical.";
            if (module == 0) {
                bits = d.ControlState.ConnectedModules;
                path += "chargingSystem.";
            } else if (module == 1) {
                present = (connected & BatteryBoxConnected) != 0;
                bits = b.StatusCode;
                path += "batteries." + ids_.Battery + ".";
            } else {
                present =
                    (connected & (module == 2 ? FieldBox1Connected : FieldBox2Connected)) != 0;
                bits = d.FieldState[static_cast<size_t>(module - 2)].StatusCode;
                path += "alternators." + ids_.Alternators[static_cast<size_t>(module - 2)] + ".";
            }
            path += flag.Name;
            auto last = notified_.find(path);
            if (!present) {
                // Its module dropped off: what it raised is over; all of it is sent
                // again when it comes back.
                if (last == notified_.end()) continue;
                if (last->second.State != "normal")
                    notes.Add(path, NoteJson("normal", flag.Message));
                notified_.erase(last);
                continue;
            }
            const std::string state = (bits & flag.Fault)     ? "alarm"
                                      : (bits & flag.Warning) ? "warn"
                                                              : "normal";
            if (!allNotifications && last != notified_.end() && last->second.State == state)
                continue;
            notified_[path] = Note{state, flag.Message};
            std::string message = flag.Message;
            if (flag.Warning && flag.Fault)
                message += state == "alarm" ? " fault" : state == "warn" ? " warning" : "";
            notes.Add(path, NoteJson(state, message));
        }
    }
    return Wrap(v, notes, isoTime);
}

std::string SignalKDeltas::Cleared(const std::string& isoTime) {
    Values values, notes;
    for (const std::string& path : valued_) values.Add(path, "null");
    for (const auto& [path, note] : notified_)
        if (note.State != "normal") notes.Add(path, NoteJson("normal", note.Message));
    valued_.clear();
    notified_.clear();
    if (values.Text().empty() && notes.Text().empty()) return {};
    return Wrap(values, notes, isoTime);
}

}  // namespace korvan
