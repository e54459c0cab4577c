// The Trends page's time range without a display: each case is a run of steps,
// each with the range and the following it must leave.
#include "display/trends_viewport.h"

#include <gtest/gtest.h>

#include <limits>

namespace korvan {
namespace {

constexpr int64_t S = 1000, M = 60 * S, Far = std::numeric_limits<int64_t>::max();
constexpr int64_t T0 = 1'796'734'920'000, Now = T0 + 10 * M;  // the oldest point; ten minutes on
constexpr int64_t Five = int64_t(TrendsWindow::FiveMinutes), All = int64_t(TrendsWindow::All);

// Data: points from T0 up to A; NoData: none, the clock at A.
enum Op { Window, Data, NoData, Zoom, Pan };
struct Step {
    Op Do;
    int64_t A;
    double Factor;
    TrendsRange Shown;
    bool Following;
};

// From a window on ten minutes of history, [T0, Now].
void Expect(TrendsWindow window, std::initializer_list<Step> steps) {
    TrendsViewport v(window);
    v.SetData(TrendsRange{T0, Now}, Now);
    int n = 0;
    for (const Step& s : steps) {
        if (s.Do == Window) v.SetWindow(TrendsWindow(s.A));
        if (s.Do == Data || s.Do == NoData)
            v.SetData(s.Do == Data ? std::optional(TrendsRange{T0, s.A}) : std::nullopt, s.A);
        if (s.Do == Zoom) v.Zoom(s.A, s.Factor);
        if (s.Do == Pan) v.Pan(s.A);
        EXPECT_EQ(v.Range(), s.Shown) << "step " << ++n;
        EXPECT_EQ(v.Following(), s.Following) << "step " << n;
    }
}

TEST(TrendsViewport, FollowsTheNewestPointWithTheWindowsSpan) {
    Expect(TrendsWindow::OneHour,
           {{Data, Now + S, 0, {Now + S - 60 * M, Now + S}, true},
            {Window, Five, 0, {Now + S - 5 * M, Now + S}, true},
            {Window, All, 0, {T0, Now + S}, true},
            {Pan, -M, 0, {T0, Now + S}, true},    // nothing to pan to: still everything
            {Data, T0, 0, {T0 - M, T0}, true}});  // one point: a minute
}

TEST(TrendsViewport, ZoomsAroundAMomentWithinItsLimitsAndTheHistorysEnds) {
    Expect(TrendsWindow::FiveMinutes,
           {{Zoom, Now, 0, {Now - 5 * M, Now}, true},
            {Zoom, Now, std::numeric_limits<double>::quiet_NaN(), {Now - 5 * M, Now}, true},
            {Zoom, Now, 0.5, {Now - 150 * S, Now}, true},
            {Zoom, Now - 75 * S, 4, {T0, Now}, true},
            {Zoom, T0 - M, 0.5, {T0, T0 + 5 * M}, false},
            {Zoom, T0 + M, 0.001, {T0 + M - 2 * S, T0 + M + 8 * S}, false},
            {Zoom, T0 + M, 1e9, {Now - TrendsViewport::MaxSpanMs, Now}, true}});
}

// Also below a minute and in All, where the span once became a minute or all.
TEST(TrendsViewport, PannedAwayStaysAndBroughtBackFollowsWithItsSpan) {
    Expect(TrendsWindow::FiveMinutes,
           {{Pan, -M, 0, {Now - 6 * M, Now - M}, false},
            {Data, Now + M, 0, {Now - 6 * M, Now - M}, false},
            {Pan, -Far - 1, 0, {T0, T0 + 5 * M}, false},
            {Pan, Far, 0, {Now - 4 * M, Now + M}, true},
            {Zoom, Now, 0.1, {Now - 24 * S, Now + 6 * S}, false},
            {Pan, M, 0, {Now + M - 30 * S, Now + M}, true},
            {Data, Now + 2 * M, 0, {Now + 2 * M - 30 * S, Now + 2 * M}, true},
            {Window, All, 0, {T0, Now + 2 * M}, true},
            {Zoom, T0, 0.5, {T0, T0 + 6 * M}, false},
            {Pan, Far, 0, {Now - 4 * M, Now + 2 * M}, true},
            {Data, Now + 3 * M, 0, {Now - 3 * M, Now + 3 * M}, true}});
}

// Cleared, or the clock set back under a range panned away: it follows again.
TEST(TrendsViewport, WithoutHistoryEndsAtTheClock) {
    Expect(TrendsWindow::FiveMinutes, {{Pan, -M, 0, {Now - 6 * M, Now - M}, false},
                                       {NoData, T0, 0, {T0 - 5 * M, T0}, true},
                                       {Pan, -M, 0, {T0 - 5 * M, T0}, true},
                                       {Zoom, T0 - M, 0.5, {T0 - 150 * S, T0}, true},
                                       {Window, All, 0, {T0 - M, T0}, true},
                                       {NoData, T0 + S, 0, {T0 + S - M, T0 + S}, true}});
}

}  // namespace
}  // namespace korvan
