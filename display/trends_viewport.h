// The time range the "Trends" page shows and how it moves: a window button
// follows the newest point with its span (or everything), the wheel zooms around
// a moment, a drag pans. A range moved away from the newest point stays where it
// is while points arrive; brought back to the newest point it follows again with
// its span. Moves stop at the oldest and the newest point recorded. Plain
// arithmetic on milliseconds since the epoch, without the toolkit, so it is
// checked on its own.
#pragma once

#include <cstdint>
#include <optional>

namespace korvan {

enum class TrendsWindow { FiveMinutes, OneHour, OneDay, All };

// The span of a window; 0 for All, whose span is whatever is recorded.
int64_t TrendsWindowSpanMs(TrendsWindow window);

struct TrendsRange {
    int64_t FromMs = 0;
    int64_t ToMs = 0;  // included
    bool operator==(const TrendsRange&) const = default;
};

class TrendsViewport {
  public:
    // The closest and the widest the wheel goes.
    static constexpr int64_t MinSpanMs = 10'000;
    static constexpr int64_t MaxSpanMs = 40LL * 86'400'000;
    // All never shows less, so that a lone point or an empty history still has a
    // time axis.
    static constexpr int64_t MinAllSpanMs = 60'000;

    explicit TrendsViewport(TrendsWindow window = TrendsWindow::OneHour);

    // What is recorded: the oldest and the newest point's time, or nullopt when
    // nothing is; then the range ends at `nowMs`. Given before every move and
    // whenever points arrive: a following range moves with it, one moved away
    // stays unless what it showed is gone (the history cleared, the clock set
    // back), and then it follows again.
    void SetData(std::optional<TrendsRange> recorded, int64_t nowMs);

    // Follows the newest point with the window's span, or with everything.
    void SetWindow(TrendsWindow window);
    // Below 1 closer, above 1 wider, keeping `aroundMs` where it is on the axis.
    // A factor that is not a positive number changes nothing.
    void Zoom(int64_t aroundMs, double factor);
    // Later by `byMs` (earlier when negative).
    void Pan(int64_t byMs);

    TrendsWindow Window() const { return window_; }
    bool Following() const { return following_; }
    TrendsRange Range() const { return range_; }

  private:
    void Follow();
    void MoveTo(int64_t fromMs, int64_t toMs);

    TrendsWindow window_;
    bool following_ = true;
    bool followAll_ = false;  // All as chosen: the span grows with the history
    int64_t spanMs_ = 0;      // while following otherwise
    int64_t oldestMs_ = 0, newestMs_ = 0;
    TrendsRange range_;
};

}  // namespace korvan
