// Alarm rules on the history's series: delay, hysteresis, status-word masks,
// thresholds that follow the system, the rules as text; and the event log's CSV.
#include "history/alarm_rules.h"

#include <gtest/gtest.h>

#include <sstream>

#include "history/history_event.h"
#include "history_test_support.h"

namespace korvan {
namespace {

using namespace std::chrono_literals;
using test::At;

SystemData WithSoc(double soc) {
    SystemData d{};
    d.BatteryState.Soc = uint8_t(soc);
    d.BatteryState.SystemVoltage = 12;
    return d;
}

// Feeds one value a second from `start` and returns the raises (+1) and clears (-1).
std::vector<int> Feed(AlarmEngine& engine, const std::vector<double>& socs, int64_t start = 0) {
    std::vector<int> seen;
    for (size_t n = 0; n < socs.size(); ++n)
        for (const AlarmChange& c :
             engine.Evaluate(At(start + int64_t(n) * 1000), WithSoc(socs[n])))
            seen.push_back(c.Raised ? +1 : -1);
    return seen;
}

TEST(AlarmRules, AConditionMustHoldForTheDelayAndClearsOnlyPastTheHysteresis) {
    AlarmEngine engine;
    engine.SetRules({{"low", "Battery SOC", AlarmCondition::Below, 50, 5, 3s}});
    // Below for 3 polls (2 s) then back: nothing within the delay.
    EXPECT_TRUE(Feed(engine, {60, 45, 45, 45, 60, 45, 45, 60}).empty());
    // Held 3 s: raised once; back above 50 but inside the hysteresis: stays.
    EXPECT_EQ(Feed(engine, {45, 44, 43, 42, 41, 52, 54, 49, 55}, 20000), (std::vector<int>{+1}));
    EXPECT_TRUE(engine.Raised(0));
    EXPECT_EQ(Feed(engine, {56}, 40000), (std::vector<int>{-1}));
    // Above with its mirror: the hysteresis lies below the threshold.
    AlarmEngine high;
    high.SetRules({{"high", "Battery SOC", AlarmCondition::Above, 90, 5, 0s}});
    EXPECT_EQ(Feed(high, {91, 88, 86, 84, 95}), (std::vector<int>{+1, -1, +1}));
}

TEST(AlarmRules, ALostLinkStartsTheDelayAgainAndAnAlarmWithoutAValueStays) {
    AlarmEngine engine;
    engine.SetRules({{"low", "Battery SOC", AlarmCondition::Below, 50, 0, 3s}});
    EXPECT_TRUE(Feed(engine, {40, 40}).empty());
    engine.LinkLost();
    EXPECT_TRUE(Feed(engine, {40, 40, 40}, 10000).empty());  // 2 s since the link came back
    EXPECT_EQ(Feed(engine, {40}, 13000), (std::vector<int>{+1}));
    // An unread setting gives no threshold: nothing is decided.
    AlarmEngine hot;
    hot.SetRules({DefaultAlarmRules()[2]});
    SystemData d{};
    d.FieldState[0].AlternatorTemperature = 110;
    EXPECT_TRUE(hot.Evaluate(At(0), d).empty());
    d.FieldSettings[0].FaultTemp = 105;  // watches above 95 °C
    EXPECT_EQ(hot.Evaluate(At(1000), d).size(), 0u);
    const auto raised = hot.Evaluate(At(31000), d);
    ASSERT_EQ(raised.size(), 1u);
    EXPECT_EQ(
        raised[0].Text,
        "Alarm raised: Alternator #1 hot (Field Box #1 Alternator Temperature 110 °C, above 95)");
}

TEST(AlarmRules, StatusWordsRaiseOnTheBitsOfTheMaskAndVoltagesFollowTheSystem) {
    const std::vector<AlarmRule> defaults = DefaultAlarmRules();
    struct Case {
        const char* Name;
        size_t Rule;
        void (*Set)(SystemData& d);
        bool Raised;
    };
    const Case cases[] = {
        {"battery overvoltage fault", 5, [](SystemData& d) { d.BatteryState.StatusCode = 1 << 8; },
         true},
        {"battery warning only", 5, [](SystemData& d) { d.BatteryState.StatusCode = 1 << 7; },
         false},
        {"module connected bits", 4,
         [](SystemData& d) { d.ControlState.ConnectedModules = 0x001E; }, false},
        {"critical fault", 4, [](SystemData& d) { d.ControlState.ConnectedModules = 0x0400; },
         true},
        {"15.2 V on 12 V", 1, [](SystemData& d) { d.BatteryState.TrueBatteryVoltage = 15.2; },
         true},
        {"15.2 V on 24 V", 1,
         [](SystemData& d) {
             d.BatteryState.SystemVoltage = 24;
             d.BatteryState.TrueBatteryVoltage = 15.2;
         },
         false},
        {"30.5 V on 24 V", 1,
         [](SystemData& d) {
             d.BatteryState.SystemVoltage = 24;
             d.BatteryState.TrueBatteryVoltage = 30.5;
         },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        AlarmEngine engine;
        engine.SetRules({defaults[c.Rule]});
        SystemData d = WithSoc(80);
        c.Set(d);
        engine.Evaluate(At(0), d);
        engine.Evaluate(At(60000), d);
        EXPECT_EQ(engine.Raised(0), c.Raised);
    }
}

TEST(AlarmRules, RulesGoToTextAndBackAndUnreadableLinesAreNamed) {
    std::vector<AlarmRule> rules = DefaultAlarmRules();
    rules[0].Name = "Low, \"house\" bank";
    rules[0].Enabled = false;
    std::vector<std::string> errors;
    EXPECT_EQ(ParseAlarmRules(AlarmRulesText(rules), &errors), rules);
    EXPECT_TRUE(errors.empty());
    // Unknown names, and numbers the engine could not watch with: a delay past a
    // day (or past what a count of seconds holds), a mask that no status word has.
    const std::string bad = AlarmRulesText({rules[1]}) + "x,No Such Series,above,1,0,0,no,,yes\n" +
                            "y,Battery SOC,sideways,1,0,0,no,,yes\n" +
                            "z,Battery SOC,below,50,2,1e30,no,,yes\n" +
                            "w,Battery SOC,below,50,2,86401,no,,yes\n" +
                            "v,Battery Box Status,flag set,1e30,0,0,no,,yes\n" +
                            "u,Battery Box Status,flag set,0.5,0,0,no,,yes\n";
    EXPECT_EQ(ParseAlarmRules(bad, &errors).size(), 1u);
    EXPECT_EQ(errors.size(), 6u);
}

TEST(EventLog, TheExportHasTheHistoryExportsConventionsAndFollowsTheFilter) {
    const std::vector<HistoryEvent> events = {
        {At(0), EventKind::Link, "USB link lost"},
        {At(1000), EventKind::Alarm, "Alarm raised: Low, \"house\" bank"},
        {At(2000), EventKind::Link, "USB link back"},
    };
    std::ostringstream all, links, word;
    ASSERT_TRUE(WriteEventsCsv(all, events, {}, [](HistoryTime) { return 3600; }));
    EXPECT_EQ(all.str(),
              "\xEF\xBB\xBFTime,Kind,Event\r\n"
              "2026-12-08T14:02:17.500+01:00,Link,USB link lost\r\n"
              "2026-12-08T14:02:18.500+01:00,Alarm,\"Alarm raised: Low, \"\"house\"\" bank\"\r\n"
              "2026-12-08T14:02:19.500+01:00,Link,USB link back\r\n");
    WriteEventsCsv(
        links, events, {EventKind::Link, ""}, [](HistoryTime) { return 0; }, false);
    EXPECT_EQ(links.str(),
              "Time,Kind,Event\r\n2026-12-08T13:02:17.500+00:00,Link,USB link lost\r\n"
              "2026-12-08T13:02:19.500+00:00,Link,USB link back\r\n");
    WriteEventsCsv(
        word, events, {std::nullopt, "BACK"}, [](HistoryTime) { return 0; }, false);
    EXPECT_EQ(word.str(),
              "Time,Kind,Event\r\n2026-12-08T13:02:19.500+00:00,Link,USB link back\r\n");
}

}  // namespace
}  // namespace korvan
