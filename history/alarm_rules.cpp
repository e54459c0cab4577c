#include "history/alarm_rules.h"

#include <charconv>
#include <cmath>
#include <sstream>

#include "history/history_csv.h"

namespace korvan {

namespace {

constexpr const char* ConditionNames[] = {"above", "below", "flag set"};
constexpr const char* BaseNames[] = {"", "Field Box #1 fault temperature",
                                     "Field Box #2 fault temperature"};
constexpr const char* Header =
    "Name,Series,Condition,Threshold,Hysteresis,Delay s,Per 12 V,"
    "Relative to,Enabled";

// The threshold the rule holds against on this system; none while the setting
// it is counted from has not been read.
std::optional<double> Threshold(const AlarmRule& r, const SystemData& d) {
    double t = r.Threshold;
    if (r.Per12Volts && d.BatteryState.SystemVoltage == 24) t *= 2;
    if (r.Base == AlarmBase::None) return t;
    const int8_t fault =
        d.FieldSettings[r.Base == AlarmBase::Alternator1FaultTemp ? 0 : 1].FaultTemp;
    if (fault == 0) return std::nullopt;
    return fault + t;
}

std::string Number(double v) {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << v;
    return out.str();
}

std::optional<double> ParseNumber(const std::string& text) {
    double v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

// One CSV line into its fields (quotes as CsvField writes them).
std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"')
            fields.back() += line[++i];
        else if (c == '"')
            quoted = !quoted;
        else if (c == ',' && !quoted)
            fields.emplace_back();
        else
            fields.back() += c;
    }
    return fields;
}

template <size_t N>
std::optional<size_t> Find(const char* const (&names)[N], const std::string& name) {
    for (size_t i = 0; i < N; ++i)
        if (name == names[i]) return i;
    return std::nullopt;
}

}  // namespace

const char* AlarmConditionName(AlarmCondition condition) {
    return ConditionNames[static_cast<size_t>(condition)];
}

std::vector<AlarmRule> DefaultAlarmRules() {
    using std::chrono::seconds;
    using C = AlarmCondition;
    std::vector<AlarmRule> rules = {
        {"State of charge low", "Battery SOC", C::Below, 50, 2, seconds(60)},
        {"Battery voltage high", "Battery Voltage", C::Above, 15.0, 0.2, seconds(10), true},
        {"Alternator #1 hot", "Field Box #1 Alternator Temperature", C::Above, -10, 3, seconds(30),
         false, AlarmBase::Alternator1FaultTemp},
        {"Alternator #2 hot", "Field Box #2 Alternator Temperature", C::Above, -10, 3, seconds(30),
         false, AlarmBase::Alternator2FaultTemp},
        // The fault bits of each status word; warnings and "connected" bits are not faults.
        {"Control box fault", "Control Box Status", C::FlagSet, 0x3E01, 0, seconds(0)},
        {"Battery box fault", "Battery Box Status", C::FlagSet, 0x0555, 0, seconds(0)},
        {"Field box #1 fault", "Field Box #1 Status", C::FlagSet, 0x000D, 0, seconds(0)},
        {"Field box #2 fault", "Field Box #2 Status", C::FlagSet, 0x000D, 0, seconds(0)},
    };
    return rules;
}

std::string AlarmRulesText(const std::vector<AlarmRule>& rules) {
    std::string text = std::string(Header) + "\r\n";
    for (const AlarmRule& r : rules) {
        text += CsvField(r.Name) + ',' + CsvField(r.Series) + ',' +
                AlarmConditionName(r.Condition) + ',' + Number(r.Threshold) + ',' +
                Number(r.Hysteresis) + ',' + std::to_string(r.Delay.count()) + ',' +
                (r.Per12Volts ? "yes" : "no") + ',' + BaseNames[static_cast<size_t>(r.Base)] + ',' +
                (r.Enabled ? "yes" : "no") + "\r\n";
    }
    return text;
}

std::vector<AlarmRule> ParseAlarmRules(const std::string& text, std::vector<std::string>* errors) {
    std::vector<AlarmRule> rules;
    std::istringstream in(text);
    std::string line;
    for (size_t n = 1; std::getline(in, line); ++n) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line == Header) continue;
        const std::vector<std::string> f = Fields(line);
        AlarmRule r;
        const auto condition = f.size() == 9 ? Find(ConditionNames, f[2]) : std::nullopt;
        const auto base = f.size() == 9 ? Find(BaseNames, f[7]) : std::nullopt;
        const auto threshold = f.size() == 9 ? ParseNumber(f[3]) : std::nullopt;
        const auto hysteresis = f.size() == 9 ? ParseNumber(f[4]) : std::nullopt;
        const auto delay = f.size() == 9 ? ParseNumber(f[5]) : std::nullopt;
        const bool read = condition && base && threshold && hysteresis && delay &&
                          std::abs(*delay) <= double(MaxAlarmDelay.count());
        if (read) {
            r.Name = f[0];
            r.Series = f[1];
            r.Condition = AlarmCondition(*condition);
            r.Threshold = *threshold;
            r.Hysteresis = *hysteresis;
            r.Delay = std::chrono::seconds(int64_t(*delay));
            r.Per12Volts = f[6] == "yes";
            r.Base = AlarmBase(*base);
            r.Enabled = f[8] == "yes";
        }
        if (!read || !AlarmRuleValid(r)) {
            if (errors) errors->push_back("line " + std::to_string(n) + ": " + line);
            continue;
        }
        rules.push_back(r);
    }
    return rules;
}

bool AlarmRuleValid(const AlarmRule& r) {
    const bool mask =
        r.Condition != AlarmCondition::FlagSet ||
        (r.Threshold >= 1 && r.Threshold <= 0xFFFF && std::trunc(r.Threshold) == r.Threshold);
    return std::isfinite(r.Threshold) && std::isfinite(r.Hysteresis) && r.Hysteresis >= 0 &&
           r.Delay.count() >= 0 && r.Delay <= MaxAlarmDelay && mask &&
           FindHistorySeries(r.Series).has_value();
}

std::vector<AlarmChange> AlarmEngine::SetRules(std::vector<AlarmRule> rules) {
    std::vector<State> state(rules.size());
    std::vector<bool> kept(rules_.size());
    for (size_t i = 0; i < rules.size(); ++i)
        for (size_t j = 0; j < rules_.size(); ++j)
            if (!kept[j] && rules_[j] == rules[i]) {
                state[i] = state_[j];
                kept[j] = true;
                break;
            }
    std::vector<AlarmChange> cleared;
    for (size_t j = 0; j < rules_.size(); ++j)
        if (state_[j].Raised && !kept[j])
            cleared.push_back(
                {j, false, NAN, "Alarm cleared: " + rules_[j].Name + " (rule changed)"});
    rules_ = std::move(rules);
    state_ = std::move(state);
    return cleared;
}

size_t AlarmEngine::RaisedCount() const {
    size_t n = 0;
    for (const State& s : state_) n += s.Raised ? 1 : 0;
    return n;
}

void AlarmEngine::LinkLost() {
    for (State& s : state_) s.Since.reset();
}

std::vector<AlarmChange> AlarmEngine::Evaluate(HistoryTime time, const SystemData& data) {
    std::vector<AlarmChange> changes;
    const auto& table = HistorySeriesTable();
    for (size_t i = 0; i < rules_.size(); ++i) {
        const AlarmRule& r = rules_[i];
        State& s = state_[i];
        const std::optional<size_t> series = FindHistorySeries(r.Series);
        const std::optional<double> limit = Threshold(r, data);
        const double v = series ? table[*series].Read(data) : NAN;
        if (!r.Enabled || !limit || std::isnan(v)) {
            s.Since.reset();
            if (r.Enabled) continue;  // no value: a raised alarm stays until one comes
            if (s.Raised) changes.push_back({i, false, v, "Alarm cleared: " + r.Name + " (off)"});
            s.Raised = false;
            continue;
        }
        const uint32_t bits = r.Condition == AlarmCondition::FlagSet
                                  ? uint32_t(std::lround(v)) & uint32_t(std::lround(*limit))
                                  : 0;
        const bool holds = r.Condition == AlarmCondition::Above   ? v > *limit
                           : r.Condition == AlarmCondition::Below ? v < *limit
                                                                  : bits != 0;
        const bool back = r.Condition == AlarmCondition::Above   ? v < *limit - r.Hysteresis
                          : r.Condition == AlarmCondition::Below ? v > *limit + r.Hysteresis
                                                                 : bits == 0;
        const HistorySeries& h = table[*series];
        const std::string reading = h.Name + " " + HistoryNumberText(h, v) +
                                    (*h.Unit ? std::string(" ") + h.Unit : std::string());
        if (s.Raised) {
            if (back) {
                s.Raised = false;
                changes.push_back({i, false, v, "Alarm cleared: " + r.Name + " (" + reading + ")"});
            }
            continue;
        }
        if (!holds) {
            s.Since.reset();
            continue;
        }
        if (!s.Since) s.Since = time;
        if (time - *s.Since >= r.Delay) {
            s.Raised = true;
            s.Since.reset();
            const std::string limitText = r.Condition == AlarmCondition::FlagSet
                                              ? "bits " + std::to_string(bits)
                                              : std::string(AlarmConditionName(r.Condition)) + " " +
                                                    HistoryNumberText(h, *limit);
            changes.push_back(
                {i, true, v, "Alarm raised: " + r.Name + " (" + reading + ", " + limitText + ")"});
        }
    }
    return changes;
}

}  // namespace korvan
