// What the system did over the last minutes, hours and days: every series of the
// series table, fed once per complete state poll. The last day is kept poll by
// poll; older polls are folded into one-minute buckets kept for thirty days. Both
// stores are rings of fixed capacity, so memory has a bound set at construction
// (MemoryLimitBytes). A sink (the history store) is told of every poll kept and
// every minute folded, so that it can keep them across restarts.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "history/history_series.h"
#include "model/system_data.h"

namespace korvan {

using HistoryTime = std::chrono::sys_time<std::chrono::milliseconds>;

struct HistoryLimits {
    std::chrono::milliseconds FullSpan = std::chrono::hours(24);
    size_t FullCapacity = 24 * 3600 * 2;  // a day of polls every 500 ms
    std::chrono::milliseconds BucketSpan = std::chrono::minutes(1);
    size_t BucketCapacity = 30 * 24 * 60;  // thirty days of minutes
    // Polls further apart than this are not joined: the link was away.
    std::chrono::milliseconds GapAfter = std::chrono::seconds(10);
};

// What a store of the history hears from the recorder, on the recorder's thread
// and on the poll path: an implementation only queues. Values are as the
// recorder holds them (its codings), one per series of the series table; a
// minute's are its minima, maxima and middle values.
class HistorySink {
  public:
    virtual ~HistorySink() = default;
    virtual void PollKept(HistoryTime time, bool startsSegment,
                          const std::vector<double>& values) = 0;
    virtual void MinuteFolded(HistoryTime minute, bool startsSegment, uint32_t polls,
                              const std::vector<double>& min, const std::vector<double>& max,
                              const std::vector<double>& mid) = 0;
};

class HistoryRecorder {
  public:
    explicit HistoryRecorder(HistoryLimits limits = {});
    ~HistoryRecorder();
    // A copy holds the same points and goes on on its own (without the sink): an
    // export that lets the window's timers run meanwhile reads a copy.
    HistoryRecorder(const HistoryRecorder& other);
    HistoryRecorder& operator=(const HistoryRecorder&) = delete;

    // One complete state poll. A time not after the last poll's is not recorded
    // (the wall clock was set back); RejectedPolls counts them.
    void Record(HistoryTime time, const SystemData& data);
    // The link was lost at `time`: the next poll starts a new segment.
    void MarkGap(HistoryTime time);
    // The link was busy with a command, not lost: the next poll joins the last
    // one however long the command took (unless a gap is marked meanwhile).
    void LinkBusy();
    void Clear();

    // Tells `sink` (or nobody) from now on; the sink outlives the recorder's use of it.
    void SetSink(HistorySink* sink) { sink_ = sink; }
    // Stored history brought back, oldest first, before any poll of this run: the
    // folded minutes, then the polls not folded yet. Polls that are older than the
    // full-resolution span fold into minutes (and the sink hears of them); a point
    // not after the last one is ignored. Values are one per series.
    void RestoreMinute(HistoryTime minute, bool startsSegment, uint32_t polls,
                       const std::vector<double>& min, const std::vector<double>& max,
                       const std::vector<double>& mid);
    void RestorePoll(HistoryTime time, bool startsSegment, const std::vector<double>& values);

    // Points, oldest first: the folded minutes, then the polls kept in full.
    size_t Size() const;
    size_t FoldedCount() const;
    HistoryTime Time(size_t point) const;    // a minute's start for a folded point
    bool StartsSegment(size_t point) const;  // nothing joins it to the point before
    uint32_t Polls(size_t point) const;      // 1 for a poll; a minute's poll count
    // The mean (Analog), OR (Bits) or last value (Level) of a folded minute; NaN
    // when the module reported no value.
    double Value(size_t series, size_t point) const;
    double Min(size_t series, size_t point) const;
    double Max(size_t series, size_t point) const;
    // The first point at or after `time` (Size() when none).
    size_t LowerBound(HistoryTime time) const;

    std::optional<HistoryTime> LastPollTime() const;
    uint64_t RejectedPolls() const { return rejected_; }
    const HistoryLimits& Limits() const { return limits_; }
    // What the stores hold allocated now, and the most they ever will.
    size_t MemoryBytes() const;
    size_t MemoryLimitBytes() const;

  private:
    class Store;
    struct Accumulator;
    void Age(int64_t now);
    // Keeps one poll (values one per series); false when its time is not after the last.
    bool Keep(int64_t t, std::optional<bool> startsSegment, const std::vector<double>& values);
    void Fold(size_t oldest);
    bool OpenMinute() const;
    void CloseMinute();
    enum class FoldedValue;
    double Folded(size_t series, size_t point, FoldedValue which) const;

    HistoryLimits limits_;
    std::unique_ptr<Store> polls_;
    std::unique_ptr<Store> minutes_;
    std::unique_ptr<Accumulator> open_;  // sums of the newest minute
    std::optional<int64_t> lastPoll_;
    bool pendingGap_ = false;
    bool busy_ = false;
    uint64_t rejected_ = 0;
    HistorySink* sink_ = nullptr;
    std::vector<double> scratch_, scratchMin_, scratchMax_, scratchMid_;
};

}  // namespace korvan
