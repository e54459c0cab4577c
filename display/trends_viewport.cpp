#include "display/trends_viewport.h"

#include <algorithm>
#include <cmath>

namespace korvan {

namespace {

// Far beyond any history, and small enough that adding it to a time cannot
// overflow; a longer pan ends at the same end of the history.
constexpr int64_t MaxPanMs = int64_t(1) << 50;

}  // namespace

int64_t TrendsWindowSpanMs(TrendsWindow window) {
    switch (window) {
        case TrendsWindow::FiveMinutes:
            return 5 * 60'000;
        case TrendsWindow::OneHour:
            return 3'600'000;
        case TrendsWindow::OneDay:
            return 24 * 3'600'000;
        case TrendsWindow::All:
            break;
    }
    return 0;
}

TrendsViewport::TrendsViewport(TrendsWindow window) : window_(window) { SetWindow(window); }

void TrendsViewport::SetData(std::optional<TrendsRange> recorded, int64_t nowMs) {
    oldestMs_ = recorded ? recorded->FromMs : nowMs;
    newestMs_ = recorded ? std::max(recorded->ToMs, oldestMs_) : nowMs;
    if (following_)
        Follow();
    else
        MoveTo(range_.FromMs, range_.ToMs);
}

void TrendsViewport::SetWindow(TrendsWindow window) {
    window_ = window;
    following_ = true;
    followAll_ = window == TrendsWindow::All;
    if (!followAll_) spanMs_ = TrendsWindowSpanMs(window);
    Follow();
}

void TrendsViewport::Follow() {
    const int64_t span = followAll_ ? std::max(newestMs_ - oldestMs_, MinAllSpanMs) : spanMs_;
    range_ = {newestMs_ - span, newestMs_};
}

void TrendsViewport::Zoom(int64_t aroundMs, double factor) {
    if (!std::isfinite(factor) || factor <= 0) return;
    const int64_t span = range_.ToMs - range_.FromMs;
    const int64_t at = std::clamp(aroundMs, range_.FromMs, range_.ToMs);
    const double wanted = std::clamp(double(span) * factor, double(MinSpanMs), double(MaxSpanMs));
    // The moment under the cursor keeps its place on the axis.
    const double left = double(at - range_.FromMs) / double(std::max<int64_t>(1, span));
    const int64_t from = at - int64_t(wanted * left);
    MoveTo(from, from + int64_t(wanted));
}

void TrendsViewport::Pan(int64_t byMs) {
    byMs = std::clamp(byMs, -MaxPanMs, MaxPanMs);
    MoveTo(range_.FromMs + byMs, range_.ToMs + byMs);
}

// Keeps the span and stops at the ends of what is recorded; a range wider than
// the history ends at its newest point. Ending there is following it.
void TrendsViewport::MoveTo(int64_t fromMs, int64_t toMs) {
    const int64_t span = toMs - fromMs;
    if (fromMs < oldestMs_) {
        toMs += oldestMs_ - fromMs;
        fromMs = oldestMs_;
    }
    if (toMs > newestMs_) {
        toMs = newestMs_;
        fromMs = toMs - span;
    }
    // A move that stops where it started leaves a following window as it was
    // (All keeps growing with the history).
    if (following_ && TrendsRange{fromMs, toMs} == range_) return;
    range_ = {fromMs, toMs};
    followAll_ = false;
    spanMs_ = span;
    following_ = toMs == newestMs_;
}

}  // namespace korvan
