// The Trends page's time range without a display: windows follow the newest
// point, zoom and pan stop at the limits and the ends of the history, a range
// moved away stays put until it is brought back, an empty history ends at now.
#include "display/trends_viewport.h"

#include <gtest/gtest.h>

#include <limits>

namespace korvan {
namespace {

constexpr int64_t S = 1000, M = 60 * S;
constexpr int64_t T0 = 1'796'734'920'000;  // the oldest point
constexpr int64_t Now = T0 + 10 * M;       // the newest point, or the clock without one
constexpr std::optional<TrendsRange> TenMinutes = TrendsRange{T0, Now};
constexpr std::optional<TrendsRange> Empty;

TrendsViewport On(TrendsWindow window, std::optional<TrendsRange> recorded) {
    TrendsViewport v(window);
    v.SetData(recorded, Now);
    return v;
}

TEST(TrendsViewport, FollowsTheNewestPointWithTheWindowsSpan) {
    const struct {
        TrendsWindow Window;
        std::optional<TrendsRange> Recorded, Later;  // Later: one more point
        TrendsRange Shown, ShownLater;
    } cases[] = {
        {TrendsWindow::FiveMinutes,
         TenMinutes,
         TrendsRange{T0, Now + S},
         {Now - 5 * M, Now},
         {Now + S - 5 * M, Now + S}},
        {TrendsWindow::OneHour,
         TenMinutes,
         TrendsRange{T0, Now + S},
         {Now - 60 * M, Now},
         {Now + S - 60 * M, Now + S}},
        {TrendsWindow::All, TenMinutes, TrendsRange{T0, Now + S}, {T0, Now}, {T0, Now + S}},
        {TrendsWindow::All,
         TrendsRange{T0, T0},
         TrendsRange{T0, T0 + S},
         {T0 - M, T0},
         {T0 + S - M, T0 + S}},
        {TrendsWindow::All, Empty, Empty, {Now - M, Now}, {Now + 5 * S - M, Now + 5 * S}},
    };
    for (const auto& c : cases) {
        TrendsViewport v = On(c.Window, c.Recorded);
        EXPECT_EQ(v.Range(), c.Shown) << int(c.Window);
        v.SetData(c.Later, Now + 5 * S);
        EXPECT_EQ(v.Range(), c.ShownLater) << int(c.Window);
        EXPECT_TRUE(v.Following());
    }
}

// From five minutes up to the newest point, [Now - 5 min, Now]: a zoom, then a pan.
TEST(TrendsViewport, ZoomsAndPansWithinItsLimitsAndTheHistorysEnds) {
    constexpr int64_t Far = std::numeric_limits<int64_t>::max();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        std::optional<TrendsRange> Recorded;
        int64_t At;
        double Factor;
        int64_t By;
        TrendsRange Shown;
        bool Following;
    } cases[] = {
        {TenMinutes, Now - M, 0.5, 0, {Now - 3 * M, Now - 30 * S}, false},
        {TenMinutes, T0, 0.5, 0, {Now - 5 * M, Now - 150 * S}, false},  // the range's start
        {TenMinutes, Now, 0.5, 0, {Now - 150 * S, Now}, true},
        {TenMinutes, Now - M, 0.001, 0, {Now - M - 8 * S, Now - M + 2 * S}, false},
        {TenMinutes, Now - 150 * S, 1.5, 0, {Now - 450 * S, Now}, true},
        {TenMinutes, Now - 150 * S, 10, 0, {Now - 50 * M, Now}, true},
        {TenMinutes, Now - 150 * S, 1e9, 0, {Now - TrendsViewport::MaxSpanMs, Now}, true},
        {Empty, Now - 150 * S, 0.5, 0, {Now - 150 * S, Now}, true},
        {TenMinutes, Now - M, 0, 0, {Now - 5 * M, Now}, true},
        {TenMinutes, Now - M, nan, 0, {Now - 5 * M, Now}, true},
        {TenMinutes, Now, 1, -M, {Now - 6 * M, Now - M}, false},
        {TenMinutes, Now, 1, -Far - 1, {T0, T0 + 5 * M}, false},
        {TenMinutes, Now, 1, Far, {Now - 5 * M, Now}, true},
        {Empty, Now, 1, -M, {Now - 5 * M, Now}, true},
    };
    for (const auto& c : cases) {
        TrendsViewport v = On(TrendsWindow::FiveMinutes, c.Recorded);
        v.Zoom(c.At, c.Factor);
        v.Pan(c.By);
        EXPECT_EQ(v.Range(), c.Shown) << c.Factor << " at " << c.At - Now << " by " << c.By;
        EXPECT_EQ(v.Following(), c.Following) << c.Factor << " at " << c.At - Now << " by " << c.By;
    }
}

// Moved away the range stays while points arrive; back at the newest point it
// follows again with the span it had, also below a minute and in All.
TEST(TrendsViewport, FollowsAgainWithItsSpanWhenBroughtBack) {
    for (const auto window : {TrendsWindow::FiveMinutes, TrendsWindow::All}) {
        TrendsViewport v = On(window, TenMinutes);
        v.Zoom(Now - M, 0.05);
        const TrendsRange zoomed = v.Range();
        ASSERT_LT(zoomed.ToMs - zoomed.FromMs, M);
        v.SetData(TrendsRange{T0, Now + M}, Now + M);
        EXPECT_EQ(v.Range(), zoomed);
        v.Pan(2 * M);
        EXPECT_TRUE(v.Following());
        v.SetData(TrendsRange{T0, Now + 2 * M}, Now + 2 * M);
        EXPECT_EQ(v.Range().ToMs, Now + 2 * M);
        EXPECT_EQ(v.Range().ToMs - v.Range().FromMs, zoomed.ToMs - zoomed.FromMs);
    }
}

// The history cleared or the clock set back under a range moved away: it would
// show nothing ever again, so it follows the newest point instead.
TEST(TrendsViewport, FollowsAgainWhenWhatItShowedIsGone) {
    TrendsViewport v = On(TrendsWindow::FiveMinutes, TenMinutes);
    v.Pan(-3 * M);
    v.SetData(Empty, T0 - M);
    EXPECT_TRUE(v.Following());
    EXPECT_EQ(v.Range(), (TrendsRange{T0 - 6 * M, T0 - M}));
    v.SetData(TrendsRange{T0 - M, T0}, T0);
    EXPECT_EQ(v.Range(), (TrendsRange{T0 - 5 * M, T0}));
}

}  // namespace
}  // namespace korvan
