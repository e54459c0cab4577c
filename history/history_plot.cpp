#include "history/history_plot.h"

#include <cmath>

namespace korvan {

namespace {

using std::chrono::milliseconds;

int64_t Ms(HistoryTime t) { return t.time_since_epoch().count(); }

// The points of a range with their neighbours outside it.
std::pair<size_t, size_t> Span(const HistoryRecorder& h, HistoryRange range) {
    size_t begin = h.LowerBound(range.From);
    size_t end = h.LowerBound(range.To + milliseconds(1));
    if (begin > 0) --begin;
    if (end < h.Size()) ++end;
    return {begin, end};
}

struct ColumnExtremes {
    bool Any = false;
    int64_t Column = 0;
    PlotPoint Min{}, Max{};

    void FlushInto(PlotSegment& segment) {
        if (!Any) return;
        Any = false;
        if (Min.TimeMs == Max.TimeMs && Min.Value == Max.Value) {
            segment.push_back(Min);
        } else if (Max.TimeMs < Min.TimeMs) {
            segment.push_back(Max);
            segment.push_back(Min);
        } else {
            segment.push_back(Min);
            segment.push_back(Max);
        }
    }
};

}  // namespace

std::vector<PlotSegment> DecimateHistory(const HistoryRecorder& h, size_t series,
                                         HistoryRange range, int columns) {
    std::vector<PlotSegment> segments;
    if (columns < 1 || range.To < range.From) return segments;
    const double width = double(Ms(range.To) - Ms(range.From) + 1) / columns;
    const auto [begin, end] = Span(h, range);
    ColumnExtremes column;
    bool open = false;
    auto close = [&] {
        if (open) column.FlushInto(segments.back());
        open = false;
    };
    for (size_t p = begin; p < end; ++p) {
        if (p > begin && h.StartsSegment(p)) close();
        const bool folded = p < h.FoldedCount();
        const double lo = folded ? h.Min(series, p) : h.Value(series, p);
        const double hi = folded ? h.Max(series, p) : lo;
        if (std::isnan(lo) || std::isnan(hi)) {
            close();
            continue;
        }
        if (!open) {
            segments.emplace_back();
            open = true;
        }
        const int64_t t = Ms(h.Time(p));
        const auto c = int64_t(std::floor(double(t - Ms(range.From)) / width));
        if (column.Any && c != column.Column) column.FlushInto(segments.back());
        if (!column.Any) {
            column = {true, c, {t, lo}, {t, hi}};
            continue;
        }
        if (lo < column.Min.Value) column.Min = {t, lo};
        if (hi > column.Max.Value) column.Max = {t, hi};
    }
    close();
    return segments;
}

std::vector<LevelRun> HistoryLevelRuns(const HistoryRecorder& h, size_t series,
                                       HistoryRange range) {
    std::vector<LevelRun> runs;
    const auto [begin, end] = Span(h, range);
    const int64_t bucket = h.Limits().BucketSpan.count();
    bool joined = false;  // the last run may grow
    for (size_t p = begin; p < end; ++p) {
        const double v = h.Value(series, p);
        const int64_t t = Ms(h.Time(p));
        const bool nextJoins = p + 1 < h.Size() && !h.StartsSegment(p + 1);
        const int64_t to = nextJoins ? Ms(h.Time(p + 1)) : t + (p < h.FoldedCount() ? bucket : 0);
        if (h.StartsSegment(p)) joined = false;
        if (std::isnan(v)) {
            joined = false;
            continue;
        }
        if (joined && runs.back().Level == v)
            runs.back().ToMs = to;
        else
            runs.push_back({t, to, v});
        joined = nextJoins;
    }
    return runs;
}

std::vector<TimeSpan> HistoryGaps(const HistoryRecorder& h, HistoryRange range) {
    std::vector<TimeSpan> gaps;
    const auto [begin, end] = Span(h, range);
    for (size_t p = begin + 1; p < end; ++p)
        if (h.StartsSegment(p)) gaps.push_back({Ms(h.Time(p - 1)), Ms(h.Time(p))});
    return gaps;
}

std::optional<size_t> HistoryPointAt(const HistoryRecorder& h, HistoryTime time) {
    const size_t after = h.LowerBound(time + milliseconds(1));
    if (after == 0) return std::nullopt;
    const size_t p = after - 1;
    if (after < h.Size() && !h.StartsSegment(after)) return p;
    const auto hold = p < h.FoldedCount() ? h.Limits().BucketSpan : h.Limits().GapAfter;
    if (time - h.Time(p) <= hold) return p;
    return std::nullopt;
}

}  // namespace korvan
