#include "history/history_recorder.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace korvan {

namespace {

constexpr double NoValue = std::numeric_limits<double>::quiet_NaN();
constexpr int16_t Int16NoValue = std::numeric_limits<int16_t>::min();

// One value per slot of a ring, held in its series' coding.
class Column {
  public:
    Column(HistoryCoding coding, double step) : coding_(coding), step_(step) {}

    void Reserve(size_t n) {
        if (coding_ == HistoryCoding::Float32)
            floats_.reserve(n);
        else
            words_.reserve(n);
    }
    void Append() {
        if (coding_ == HistoryCoding::Float32)
            floats_.push_back(0);
        else
            words_.push_back(0);
    }
    void Clear() {
        std::vector<uint16_t>().swap(words_);
        std::vector<float>().swap(floats_);
    }
    void Put(size_t slot, double v) {
        switch (coding_) {
            case HistoryCoding::Float32:
                floats_[slot] = float(v);
                return;
            case HistoryCoding::Int16: {
                // The lowest count stands for no value; real values stop above it.
                const double n = std::isnan(v)
                                     ? Int16NoValue
                                     : std::clamp(std::round(v / step_), -32767.0, 32767.0);
                words_[slot] = uint16_t(int16_t(n));
                return;
            }
            case HistoryCoding::UInt16:
                words_[slot] =
                    uint16_t(std::isnan(v) ? 0 : std::clamp(std::round(v / step_), 0.0, 65535.0));
                return;
        }
    }
    double Get(size_t slot) const {
        switch (coding_) {
            case HistoryCoding::Float32:
                return floats_[slot];
            case HistoryCoding::Int16: {
                const int16_t n = int16_t(words_[slot]);
                return n == Int16NoValue ? NoValue : n * step_;
            }
            case HistoryCoding::UInt16:
                return words_[slot] * step_;
        }
        return NoValue;
    }
    size_t Width() const { return coding_ == HistoryCoding::Float32 ? 4 : 2; }
    size_t Bytes() const { return words_.capacity() * 2 + floats_.capacity() * 4; }

  private:
    HistoryCoding coding_;
    double step_;
    std::vector<uint16_t> words_;
    std::vector<float> floats_;
};

}  // namespace

// A ring of rows: a time, a segment flag, a poll count and one value per column.
// It grows as it fills, never beyond its capacity.
class HistoryRecorder::Store {
  public:
    // `countsPolls`: the rows are minutes and count the polls folded into them.
    Store(size_t capacity, std::vector<Column> columns, bool countsPolls)
        : capacity_(capacity), countsPolls_(countsPolls), columns_(std::move(columns)) {}

    size_t Count() const { return count_; }
    bool Full() const { return count_ == capacity_; }
    size_t Slot(size_t i) const { return (head_ + i) % capacity_; }
    size_t Last() const { return Slot(count_ - 1); }

    // A new row after the newest; the oldest goes when the ring is full.
    size_t PushBack() {
        if (Full()) PopFront();
        const size_t slot = Slot(count_);
        if (slot == times_.size()) Grow();
        ++count_;
        return slot;
    }
    void PopFront() {
        head_ = (head_ + 1) % capacity_;
        --count_;
    }
    void Clear() {
        head_ = count_ = 0;
        std::vector<int64_t>().swap(times_);
        std::vector<uint8_t>().swap(segments_);
        std::vector<uint32_t>().swap(polls_);
        for (Column& c : columns_) c.Clear();
    }

    int64_t& Time(size_t slot) { return times_[slot]; }
    int64_t Time(size_t slot) const { return times_[slot]; }
    uint8_t& Segment(size_t slot) { return segments_[slot]; }
    bool Segment(size_t slot) const { return segments_[slot] != 0; }
    uint32_t& Polls(size_t slot) { return polls_[slot]; }
    uint32_t Polls(size_t slot) const { return polls_[slot]; }
    Column& At(size_t column) { return columns_[column]; }
    const Column& At(size_t column) const { return columns_[column]; }

    size_t Bytes() const {
        size_t bytes = times_.capacity() * 8 + segments_.capacity() + polls_.capacity() * 4;
        for (const Column& c : columns_) bytes += c.Bytes();
        return bytes;
    }
    size_t LimitBytes() const {
        size_t row = 8 + 1 + (countsPolls_ ? 4 : 0);
        for (const Column& c : columns_) row += c.Width();
        return row * capacity_;
    }

  private:
    // Exact reservations, so that the allocation never passes the capacity.
    void Grow() {
        if (times_.size() == times_.capacity()) {
            const size_t n = std::min(capacity_, std::max<size_t>(1024, times_.size() * 2));
            times_.reserve(n);
            segments_.reserve(n);
            if (countsPolls_) polls_.reserve(n);
            for (Column& c : columns_) c.Reserve(n);
        }
        times_.push_back(0);
        segments_.push_back(0);
        if (countsPolls_) polls_.push_back(0);
        for (Column& c : columns_) c.Append();
    }

    size_t capacity_;
    bool countsPolls_;
    size_t head_ = 0;
    size_t count_ = 0;
    std::vector<int64_t> times_;
    std::vector<uint8_t> segments_;
    std::vector<uint32_t> polls_;
    std::vector<Column> columns_;
};

// The newest minute while polls fold into it: its sums and its minimum, middle
// and maximum as doubles. They go into the minute ring when the next minute
// starts; until then reads of that minute come from here.
struct HistoryRecorder::Accumulator {
    bool Open = false;
    int64_t Minute = 0;
    std::vector<double> Sums, Min, Max, Mid;
    std::vector<uint32_t> Counts, AllBits, AnyBits;

    void Resize(size_t n) {
        for (auto* v : {&Sums, &Min, &Max, &Mid}) v->resize(n);
        for (auto* v : {&Counts, &AllBits, &AnyBits}) v->resize(n);
    }
    void Start(int64_t minute) {
        Open = true;
        Minute = minute;
        std::fill(Sums.begin(), Sums.end(), 0.0);
        for (auto* v : {&Min, &Max, &Mid}) std::fill(v->begin(), v->end(), NoValue);
        std::fill(Counts.begin(), Counts.end(), 0);
        std::fill(AllBits.begin(), AllBits.end(), ~0u);
        std::fill(AnyBits.begin(), AnyBits.end(), 0u);
    }
    void Add(size_t s, HistoryFold fold, double v) {
        const bool first = Counts[s]++ == 0;
        switch (fold) {
            case HistoryFold::Analog:
                Sums[s] += v;
                Mid[s] = Sums[s] / Counts[s];
                break;
            case HistoryFold::Bits:
                AllBits[s] &= uint32_t(v);
                AnyBits[s] |= uint32_t(v);
                Min[s] = AllBits[s];
                Max[s] = Mid[s] = AnyBits[s];
                return;
            case HistoryFold::Level:
                Mid[s] = v;
                break;
        }
        if (first || v < Min[s]) Min[s] = v;
        if (first || v > Max[s]) Max[s] = v;
    }
};

namespace {

std::vector<Column> PollColumns() {
    std::vector<Column> columns;
    for (const HistorySeries& s : HistorySeriesTable()) columns.emplace_back(s.Coding, s.Step);
    return columns;
}

// Per series: minimum and maximum in the series' coding, then the middle value
// (a mean needs more than the coding's steps) as float32.
std::vector<Column> MinuteColumns() {
    std::vector<Column> columns;
    for (const HistorySeries& s : HistorySeriesTable()) {
        columns.emplace_back(s.Coding, s.Step);
        columns.emplace_back(s.Coding, s.Step);
        columns.emplace_back(HistoryCoding::Float32, 1.0);
    }
    return columns;
}

int64_t FloorTo(int64_t t, int64_t span) {
    const int64_t q = t / span;
    return (t % span < 0 ? q - 1 : q) * span;
}

}  // namespace

HistoryRecorder::HistoryRecorder(HistoryLimits limits)
    : limits_(limits),
      polls_(
          std::make_unique<Store>(std::max<size_t>(1, limits.FullCapacity), PollColumns(), false)),
      minutes_(std::make_unique<Store>(std::max<size_t>(1, limits.BucketCapacity), MinuteColumns(),
                                       true)),
      open_(std::make_unique<Accumulator>()) {
    open_->Resize(HistorySeriesTable().size());
}

HistoryRecorder::HistoryRecorder(const HistoryRecorder& other)
    : limits_(other.limits_),
      polls_(std::make_unique<Store>(*other.polls_)),
      minutes_(std::make_unique<Store>(*other.minutes_)),
      open_(std::make_unique<Accumulator>(*other.open_)),
      lastPoll_(other.lastPoll_),
      pendingGap_(other.pendingGap_),
      busy_(other.busy_),
      rejected_(other.rejected_) {}

HistoryRecorder::~HistoryRecorder() = default;

void HistoryRecorder::Record(HistoryTime time, const SystemData& data) {
    const auto& table = HistorySeriesTable();
    scratch_.resize(table.size());
    for (size_t s = 0; s < table.size(); ++s) scratch_[s] = table[s].Read(data);
    const int64_t t = time.time_since_epoch().count();
    if (!Keep(t, std::nullopt, scratch_)) return;
    if (sink_) {
        // What the rings hold, so that a restart brings back the same points.
        const size_t slot = polls_->Last();
        for (size_t s = 0; s < table.size(); ++s) scratch_[s] = polls_->At(s).Get(slot);
        sink_->PollKept(time, polls_->Segment(slot), scratch_);
    }
}

void HistoryRecorder::RestorePoll(HistoryTime time, bool startsSegment,
                                  const std::vector<double>& values) {
    if (values.size() != HistorySeriesTable().size()) return;
    Keep(time.time_since_epoch().count(), startsSegment, values);
}

void HistoryRecorder::RestoreMinute(HistoryTime minute, bool startsSegment, uint32_t polls,
                                    const std::vector<double>& min, const std::vector<double>& max,
                                    const std::vector<double>& mid) {
    const size_t n = HistorySeriesTable().size();
    const int64_t t = minute.time_since_epoch().count();
    if (polls_->Count() > 0 || min.size() != n || max.size() != n || mid.size() != n) return;
    if (minutes_->Count() > 0 && t <= minutes_->Time(minutes_->Last())) return;
    CloseMinute();
    const size_t slot = minutes_->PushBack();
    minutes_->Time(slot) = t;
    minutes_->Segment(slot) = startsSegment;
    minutes_->Polls(slot) = polls;
    for (size_t s = 0; s < n; ++s) {
        minutes_->At(3 * s).Put(slot, min[s]);
        minutes_->At(3 * s + 1).Put(slot, max[s]);
        minutes_->At(3 * s + 2).Put(slot, mid[s]);
    }
}

bool HistoryRecorder::Keep(int64_t t, std::optional<bool> startsSegment,
                           const std::vector<double>& values) {
    if (lastPoll_ && t <= *lastPoll_) {
        ++rejected_;
        return false;
    }
    Age(t);
    if (polls_->Full()) {
        Fold(polls_->Slot(0));
        polls_->PopFront();
    }
    const bool segment = startsSegment.value_or(
        pendingGap_ || !lastPoll_ || (!busy_ && t - *lastPoll_ > limits_.GapAfter.count()));
    const size_t slot = polls_->PushBack();
    polls_->Time(slot) = t;
    polls_->Segment(slot) = segment || Size() == 1;
    for (size_t s = 0; s < values.size(); ++s) polls_->At(s).Put(slot, values[s]);
    lastPoll_ = t;
    pendingGap_ = false;
    busy_ = false;
    return true;
}

void HistoryRecorder::LinkBusy() { busy_ = true; }

void HistoryRecorder::MarkGap(HistoryTime time) {
    pendingGap_ = true;
    Age(time.time_since_epoch().count());
}

void HistoryRecorder::Clear() {
    polls_->Clear();
    minutes_->Clear();
    open_->Open = false;
    lastPoll_.reset();
    pendingGap_ = false;
    busy_ = false;
    rejected_ = 0;
}

// Folds what is older than the full-resolution span into minutes and drops the
// minutes older than the folded span.
void HistoryRecorder::Age(int64_t now) {
    while (polls_->Count() > 0 && polls_->Time(polls_->Slot(0)) < now - limits_.FullSpan.count()) {
        Fold(polls_->Slot(0));
        polls_->PopFront();
    }
    const int64_t span = limits_.BucketSpan.count();
    const int64_t keep = span * int64_t(limits_.BucketCapacity);
    while (minutes_->Count() > 0 && minutes_->Time(minutes_->Slot(0)) + span <= now - keep)
        minutes_->PopFront();
}

void HistoryRecorder::Fold(size_t poll) {
    const int64_t minute = FloorTo(polls_->Time(poll), limits_.BucketSpan.count());
    const auto& table = HistorySeriesTable();
    Accumulator& a = *open_;
    if (!OpenMinute() || a.Minute != minute) {
        CloseMinute();
        const size_t slot = minutes_->PushBack();
        minutes_->Time(slot) = minute;
        minutes_->Segment(slot) = 0;
        minutes_->Polls(slot) = 0;
        a.Start(minute);
    }
    const size_t slot = minutes_->Last();
    minutes_->Segment(slot) |= uint8_t(polls_->Segment(poll));
    ++minutes_->Polls(slot);
    for (size_t s = 0; s < table.size(); ++s) {
        const double v = polls_->At(s).Get(poll);
        if (!std::isnan(v)) a.Add(s, table[s].Fold, v);
    }
}

// The accumulated minute is the newest of the ring (it may have been dropped as
// too old meanwhile).
bool HistoryRecorder::OpenMinute() const {
    return open_->Open && minutes_->Count() > 0 &&
           minutes_->Time(minutes_->Last()) == open_->Minute;
}

void HistoryRecorder::CloseMinute() {
    if (OpenMinute()) {
        const size_t slot = minutes_->Last();
        for (size_t s = 0; s < open_->Mid.size(); ++s) {
            minutes_->At(3 * s).Put(slot, open_->Min[s]);
            minutes_->At(3 * s + 1).Put(slot, open_->Max[s]);
            minutes_->At(3 * s + 2).Put(slot, open_->Mid[s]);
        }
        if (sink_) {
            const size_t n = open_->Mid.size();
            for (auto* v : {&scratchMin_, &scratchMax_, &scratchMid_}) v->resize(n);
            for (size_t s = 0; s < n; ++s) {
                scratchMin_[s] = minutes_->At(3 * s).Get(slot);
                scratchMax_[s] = minutes_->At(3 * s + 1).Get(slot);
                scratchMid_[s] = minutes_->At(3 * s + 2).Get(slot);
            }
            sink_->MinuteFolded(HistoryTime(std::chrono::milliseconds(minutes_->Time(slot))),
                                minutes_->Segment(slot), minutes_->Polls(slot), scratchMin_,
                                scratchMax_, scratchMid_);
        }
    }
    open_->Open = false;
}

// A series' three values in a folded minute, in the order of their slots.
enum class HistoryRecorder::FoldedValue { Min, Max, Mid };

double HistoryRecorder::Folded(size_t series, size_t point, FoldedValue which) const {
    if (point + 1 == minutes_->Count() && OpenMinute()) {
        const std::vector<double>& v = which == FoldedValue::Min   ? open_->Min
                                       : which == FoldedValue::Max ? open_->Max
                                                                   : open_->Mid;
        return v[series];
    }
    return minutes_->At(3 * series + static_cast<size_t>(which)).Get(minutes_->Slot(point));
}

size_t HistoryRecorder::Size() const { return minutes_->Count() + polls_->Count(); }
size_t HistoryRecorder::FoldedCount() const { return minutes_->Count(); }

HistoryTime HistoryRecorder::Time(size_t point) const {
    const size_t folded = minutes_->Count();
    const int64_t t = point < folded ? minutes_->Time(minutes_->Slot(point))
                                     : polls_->Time(polls_->Slot(point - folded));
    return HistoryTime(std::chrono::milliseconds(t));
}

bool HistoryRecorder::StartsSegment(size_t point) const {
    const size_t folded = minutes_->Count();
    return point < folded ? minutes_->Segment(minutes_->Slot(point))
                          : polls_->Segment(polls_->Slot(point - folded));
}

uint32_t HistoryRecorder::Polls(size_t point) const {
    const size_t folded = minutes_->Count();
    return point < folded ? minutes_->Polls(minutes_->Slot(point)) : 1;
}

double HistoryRecorder::Value(size_t series, size_t point) const {
    const size_t folded = minutes_->Count();
    if (point < folded) return Folded(series, point, FoldedValue::Mid);
    return polls_->At(series).Get(polls_->Slot(point - folded));
}

double HistoryRecorder::Min(size_t series, size_t point) const {
    const size_t folded = minutes_->Count();
    if (point < folded) return Folded(series, point, FoldedValue::Min);
    return polls_->At(series).Get(polls_->Slot(point - folded));
}

double HistoryRecorder::Max(size_t series, size_t point) const {
    const size_t folded = minutes_->Count();
    if (point < folded) return Folded(series, point, FoldedValue::Max);
    return polls_->At(series).Get(polls_->Slot(point - folded));
}

size_t HistoryRecorder::LowerBound(HistoryTime time) const {
    size_t lo = 0, hi = Size();
    while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        if (Time(mid) < time)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

std::optional<HistoryTime> HistoryRecorder::LastPollTime() const {
    if (!lastPoll_) return std::nullopt;
    return HistoryTime(std::chrono::milliseconds(*lastPoll_));
}

size_t HistoryRecorder::MemoryBytes() const { return polls_->Bytes() + minutes_->Bytes(); }

size_t HistoryRecorder::MemoryLimitBytes() const {
    return polls_->LimitBytes() + minutes_->LimitBytes();
}

}  // namespace korvan
