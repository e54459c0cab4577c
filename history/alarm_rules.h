// Alarms on the history's series: a value above or below a threshold, or a
// status word with any of the bits of a mask set. A condition must hold for the
// rule's delay, poll after poll, before the alarm is raised; a raised alarm
// clears only once the value is back past the threshold by the hysteresis (a
// status word: once none of the bits is set). The engine is fed each complete
// state poll; a lost link starts every pending delay again. No Qt.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "history/history_recorder.h"
#include "model/system_data.h"

namespace korvan {

enum class AlarmCondition : uint8_t { Above, Below, FlagSet };

// What a threshold is counted from: itself, or a setting of the system read
// from it (an alarm on an unread setting does not watch).
enum class AlarmBase : uint8_t { None, Alternator1FaultTemp, Alternator2FaultTemp };

struct AlarmRule {
    std::string Name;
    std::string Series;  // a name of the history's series table
    AlarmCondition Condition = AlarmCondition::Above;
    double Threshold = 0;   // a value; FlagSet: the mask; with a base: added to it
    double Hysteresis = 0;  // in the series' unit
    std::chrono::seconds Delay{0};
    // The threshold holds for a 12 V system and doubles on a 24 V one.
    bool Per12Volts = false;
    AlarmBase Base = AlarmBase::None;
    bool Enabled = true;
    bool operator==(const AlarmRule&) const = default;
};

// The rules a new user starts with: state of charge below 50 %, battery voltage
// above 15.0 V (12 V system), alternator temperature above its fault setting
// minus 10 °C, any fault bit of a status word.
std::vector<AlarmRule> DefaultAlarmRules();

// The rules as text, one a line (CSV with a header line), and back. Parsing
// skips lines it cannot read and says which in `errors`.
std::string AlarmRulesText(const std::vector<AlarmRule>& rules);
std::vector<AlarmRule> ParseAlarmRules(const std::string& text, std::vector<std::string>* errors);

const char* AlarmConditionName(AlarmCondition condition);  // "above", "below", "flag set"

// The longest delay a rule may have.
constexpr std::chrono::seconds MaxAlarmDelay{24 * 3600};
// Whether the engine can watch the rule: finite numbers, a hysteresis not below
// zero, a delay of 0 to MaxAlarmDelay, and for a status word a mask of 1 to
// 0xFFFF bits.
bool AlarmRuleValid(const AlarmRule& rule);

struct AlarmChange {
    size_t Rule;
    bool Raised;       // false: cleared
    double Value;      // the value that raised or cleared it
    std::string Text;  // "Alarm raised: Battery SOC low (Battery SOC 42 %, below 50)"
};

class AlarmEngine {
  public:
    // A rule that stays as it was keeps its state; a raised alarm whose rule was
    // changed or removed is cleared, and the clears are returned.
    std::vector<AlarmChange> SetRules(std::vector<AlarmRule> rules);
    const std::vector<AlarmRule>& Rules() const { return rules_; }
    bool Raised(size_t rule) const { return state_[rule].Raised; }
    size_t RaisedCount() const;

    std::vector<AlarmChange> Evaluate(HistoryTime time, const SystemData& data);
    // The link was lost: no delay runs on across the gap; raised alarms stay.
    void LinkLost();

  private:
    struct State {
        std::optional<HistoryTime> Since;  // the condition has held since
        bool Raised = false;
    };
    std::vector<AlarmRule> rules_;
    std::vector<State> state_;
};

}  // namespace korvan
