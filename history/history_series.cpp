#include "history/history_series.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "model/control_box.h"
#include "model/module_descriptors.h"

namespace korvan {

namespace {

constexpr double NoValue = std::numeric_limits<double>::quiet_NaN();
constexpr double FieldPercent = 100.0 / FieldControlFullScale;

double Temperature(int8_t t) { return t == NoTemperatureSensor ? NoValue : t; }

std::string StageText(double v) {
    return std::isnan(v) ? std::string() : ChargingStageName(uint8_t(std::lround(v)));
}

using G = HistoryGroup;
using F = HistoryFold;
using C = HistoryCoding;
using Reader = double (*)(const SystemData&);

HistorySeries Volts(std::string name, bool shown, Reader read) {
    // Split decimals: counts of hundredths hold them exactly.
    return {std::move(name), "V", G::Voltages, F::Analog, C::Int16, 0.01, 2, shown, read, nullptr};
}
HistorySeries Whole(std::string name, const char* unit, G group, bool shown, Reader read) {
    return {std::move(name), unit, group, F::Analog, C::Int16, 1, 0, shown, read, nullptr};
}
HistorySeries FieldDrive(std::string name, bool shown, Reader read) {
    return {std::move(name), "%", G::Engines, F::Analog, C::UInt16,
            FieldPercent,    0,   shown,      read,      nullptr};
}
// A status word's set flags by name, as the module's status lines call them.
template <ModuleId M>
std::string FlagsText(double v) {
    if (std::isnan(v)) return {};
    std::string text;
    for (const std::string& name : StatusFlagNames(M, uint16_t(std::lround(v))))
        text += (text.empty() ? "" : "; ") + name;
    return text;
}

template <ModuleId M>
HistorySeries Word(std::string name, Reader read) {
    return {std::move(name), "", G::Status, F::Bits, C::UInt16, 1, 0, false, read, FlagsText<M>};
}

// The field boxes' series, for box I (0 = field box #1).
template <int I>
void AddFieldBox(std::vector<HistorySeries>& table, G group) {
    const std::string box = "Field Box #" + std::to_string(I + 1) + " ";
    using S = const SystemData&;
    if (group == G::Voltages) {
        table.push_back(
            Volts(box + "B+ Voltage", false, [](S d) { return d.FieldState[I].BPlusVoltage; }));
        table.push_back(
            Volts(box + "B- Voltage", false, [](S d) { return d.FieldState[I].BMinusVoltage; }));
        table.push_back(Volts(box + "Field #1 Output Voltage", false,
                              [](S d) { return d.FieldState[I].Field1OutputVoltage; }));
        table.push_back(Volts(box + "Field #2 Output Voltage", false,
                              [](S d) { return d.FieldState[I].Field2OutputVoltage; }));
    } else if (group == G::Temperatures) {
        table.push_back(Whole(box + "Alternator Temperature", "°C", group, true, [](S d) {
            return Temperature(d.FieldState[I].AlternatorTemperature);
        }));
    } else if (group == G::Engines) {
        HistorySeries rpm = Whole(box + "Engine RPM", "1/min", group, true,
                                  [](S d) -> double { return d.FieldState[I].EngineRpm; });
        rpm.Coding = C::UInt16;
        table.push_back(rpm);
    } else {
        table.push_back(Word<FieldBoxModule(I)>(
            box + "Status", [](S d) -> double { return d.FieldState[I].StatusCode; }));
    }
}

template <G Group>
void AddFieldBoxes(std::vector<HistorySeries>& table) {
    AddFieldBox<0>(table, Group);
    AddFieldBox<1>(table, Group);
}

std::vector<HistorySeries> BuildTable() {
    using S = const SystemData&;
    std::vector<HistorySeries> t;
    t.push_back(
        Volts("Battery Voltage", true, [](S d) { return d.BatteryState.TrueBatteryVoltage; }));
    t.push_back(
        Volts("Loads Voltage", true, [](S d) { return d.BatteryState.MeasuredLoadsVoltage; }));
    t.push_back(Volts("Voltage Drop", false, [](S d) { return d.BatteryState.VoltageDrop; }));
    t.push_back(Volts("Alt #1 SetPoint", true, [](S d) { return d.ControlState.Alt1SetPoint; }));
    t.push_back(
        Volts("Alt #1 Voltage Drop", false, [](S d) { return d.ControlState.Alt1VoltageDrop; }));
    t.push_back(Volts("Alt #2 SetPoint", true, [](S d) { return d.ControlState.Alt2SetPoint; }));
    t.push_back(
        Volts("Alt #2 Voltage Drop", false, [](S d) { return d.ControlState.Alt2VoltageDrop; }));
    AddFieldBoxes<G::Voltages>(t);

    const G currents = G::Currents;
    t.push_back(Whole("Battery Current", "A", currents, true,
                      [](S d) -> double { return d.BatteryState.BatteryCurrent; }));
    t.push_back(Whole("Alternator #1 Current", "A", currents, true,
                      [](S d) -> double { return d.BatteryState.Alternator1Current; }));
    t.push_back(Whole("Alternator #2 Current", "A", currents, true,
                      [](S d) -> double { return d.BatteryState.Alternator2Current; }));
    t.push_back(Whole("Load Current", "A", currents, true,
                      [](S d) -> double { return d.BatteryState.LoadCurrent; }));

    t.push_back(Whole("Battery SOC", "%", G::Charge, true,
                      [](S d) -> double { return d.BatteryState.Soc; }));
    t.push_back({"Charge Content", "A*h", G::Charge, F::Analog, C::Float32, 1, 2, false,
                 [](S d) { return d.BatteryState.ChargeContent; }, nullptr});

    const G temperatures = G::Temperatures;
    t.push_back(Whole("Battery #1 Temperature", "°C", temperatures, true,
                      [](S d) { return Temperature(d.BatteryState.Temperature1); }));
    t.push_back(Whole("Battery #2 Temperature", "°C", temperatures, true,
                      [](S d) { return Temperature(d.BatteryState.Temperature2); }));
    t.push_back(Whole("Battery #3 Temperature", "°C", temperatures, true,
                      [](S d) { return Temperature(d.BatteryState.Temperature3); }));
    AddFieldBoxes<G::Temperatures>(t);

    AddFieldBoxes<G::Engines>(t);
    t.push_back(FieldDrive("Alt #1 Digital Field Control", true, [](S d) {
        return d.ControlState.Alt1DigitalFieldControl * FieldPercent;
    }));
    t.push_back(FieldDrive("Alt #2 Digital Field Control", true, [](S d) {
        return d.ControlState.Alt2DigitalFieldControl * FieldPercent;
    }));
    t.push_back(FieldDrive("System Field Control Limit", false,
                           [](S d) { return d.ControlState.FieldControlLimit * FieldPercent; }));
    t.push_back(Whole("Field Reduction Switch Value", "%", G::Engines, false,
                      [](S d) -> double { return d.ControlState.FrsValue * 10; }));

    t.push_back({"Charging Stage", "", G::Stage, F::Level, C::Int16, 1, 0, true,
                 [](S d) -> double { return d.ControlState.ChargingStage; }, StageText});

    t.push_back(Word<ModuleId::ControlBox>(
        "Control Box Status", [](S d) -> double { return d.ControlState.ConnectedModules; }));
    t.push_back(Word<ModuleId::BatteryBox>(
        "Battery Box Status", [](S d) -> double { return d.BatteryState.StatusCode; }));
    AddFieldBoxes<G::Status>(t);
    return t;
}

const std::vector<HistorySeries> Table = BuildTable();

}  // namespace

const std::vector<HistorySeries>& HistorySeriesTable() { return Table; }

std::optional<size_t> FindHistorySeries(std::string_view name) {
    for (size_t i = 0; i < Table.size(); ++i)
        if (name == Table[i].Name) return i;
    return std::nullopt;
}

size_t ChargingStageSeries() {
    static const size_t index = *FindHistorySeries("Charging Stage");
    return index;
}

const char* HistoryGroupName(HistoryGroup group) {
    switch (group) {
        case G::Voltages:
            return "Voltages";
        case G::Currents:
            return "Currents";
        case G::Charge:
            return "State of Charge";
        case G::Temperatures:
            return "Temperatures";
        case G::Engines:
            return "Engines and Field Drive";
        case G::Stage:
            return "Charging Stage";
        case G::Status:
            return "Status Words";
    }
    return "";
}

std::string HistorySeriesHeader(const HistorySeries& series) {
    std::string header = series.Name;
    if (*series.Unit) header.append(", ").append(series.Unit);
    return header;
}

std::string HistoryNumberText(const HistorySeries& series, double value, int extraDecimals) {
    if (std::isnan(value)) return {};
    char buffer[64];
    const int decimals = series.Decimals + extraDecimals;
    auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    if (ec != std::errc()) return {};
    std::string text(buffer, end);
    // "-0" and "-0.00" read as a sign where there is none.
    if (text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos) text.erase(0, 1);
    return text;
}

}  // namespace korvan
