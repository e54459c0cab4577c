#include "history/history_store.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <limits>
#include <optional>
#include <utility>

namespace korvan {

namespace {

// "KX4H" in the file's header: this file is a history of this tool.
constexpr int ApplicationId = 0x4B583448;

// Schema steps: step i takes a file from version i to i + 1. A new version adds
// a step; a file of any older version is brought forward on opening.
constexpr const char* SchemaSteps[] = {
    R"(CREATE TABLE meta(key TEXT PRIMARY KEY, value TEXT NOT NULL);
       CREATE TABLE polls(t INTEGER PRIMARY KEY, segment INTEGER NOT NULL, v BLOB NOT NULL);
       CREATE TABLE minutes(t INTEGER PRIMARY KEY, segment INTEGER NOT NULL,
                            polls INTEGER NOT NULL, v BLOB NOT NULL);
       CREATE TABLE events(id INTEGER PRIMARY KEY, t INTEGER NOT NULL, kind TEXT NOT NULL,
                           text TEXT NOT NULL);
       CREATE INDEX events_t ON events(t);)",
};
constexpr int SchemaVersion = int(std::size(SchemaSteps));

// The values of a row are float32, little-endian, one per series in the order of
// the layout stored under meta 'series' (the names, one a line); a minute holds
// all minima, then all maxima, then all middle values. Every value the recorder
// holds is a float32 or a 16-bit count, which a float32 carries exactly.
std::string SeriesLayout() {
    std::string layout;
    for (const HistorySeries& s : HistorySeriesTable()) layout += s.Name + '\n';
    return layout;
}

void AppendValues(std::vector<float>& out, const std::vector<double>& values) {
    for (double v : values) out.push_back(float(v));
}

// The statement and its reset, so that every path finalizes.
class Statement {
  public:
    Statement(sqlite3* db, const char* sql) { rc_ = sqlite3_prepare_v2(db, sql, -1, &s_, nullptr); }
    ~Statement() { sqlite3_finalize(s_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    bool Ok() const { return rc_ == SQLITE_OK; }
    int Code() const { return rc_; }
    sqlite3_stmt* operator*() const { return s_; }
    // SQLITE_ROW, SQLITE_DONE or an error.
    int Step() {
        rc_ = sqlite3_step(s_);
        return rc_;
    }
    void Reset() {
        sqlite3_reset(s_);
        sqlite3_clear_bindings(s_);
    }

  private:
    sqlite3_stmt* s_ = nullptr;
    int rc_;
};

int Exec(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }

int64_t IntPragma(sqlite3* db, const char* sql, int* rc) {
    Statement s(db, sql);
    if (!s.Ok()) {
        *rc = s.Code();
        return 0;
    }
    const int step = s.Step();
    if (step != SQLITE_ROW) {
        *rc = step;
        return 0;
    }
    return sqlite3_column_int64(*s, 0);
}

// The rows of every table whose time `where` ("t < ?") picks; SQLITE_OK or the error.
int DeleteRows(sqlite3* db, const char* where, int64_t time) {
    for (const char* table : {"polls", "minutes", "events"}) {
        Statement s(db, (std::string("DELETE FROM ") + table + " WHERE " + where).c_str());
        sqlite3_bind_int64(*s, 1, time);
        if (s.Step() != SQLITE_DONE) return s.Code();
    }
    return SQLITE_OK;
}

bool Damaged(int rc) { return rc == SQLITE_NOTADB || rc == SQLITE_CORRUPT; }

// A moment in local time, as `format` (strftime) writes it.
std::string LocalText(std::time_t time, const char* format) {
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &time);
#else
    localtime_r(&time, &tm);
#endif
    char text[32];
    std::strftime(text, sizeof text, format, &tm);
    return text;
}

std::string Stamp() { return LocalText(std::time(nullptr), "%Y%m%d-%H%M%S"); }

}  // namespace

struct HistoryStore::Row {
    enum class Kind : uint8_t { Poll, Minute, Event } What;
    int64_t Time;
    bool Segment = false;
    uint32_t Polls = 0;
    std::vector<float> Values;
    EventKind Event = EventKind::Link;
    std::string Text;
};

HistoryStore::HistoryStore(HistoryStoreOptions options) : options_(std::move(options)) {
    Open();
    writer_ = std::thread([this] { Run(); });
}

HistoryStore::~HistoryStore() {
    {
        std::lock_guard lock(queueMutex_);
        stop_ = true;
    }
    wake_.notify_all();
    writer_.join();
    if (db_ && writing_) Exec(db_, "UPDATE meta SET value = '0' WHERE key = 'open'");
    if (db_) sqlite3_close(db_);
}

// The file's mark that it is in use, set on opening and cleared on closing;
// a file from before the mark counts as open.
bool HistoryStore::OpenAtClose() {
    Statement s(db_, "SELECT value FROM meta WHERE key = 'open'");
    if (!s.Ok() || s.Step() != SQLITE_ROW) return true;
    return std::string_view(reinterpret_cast<const char*>(sqlite3_column_text(*s, 0))) != "0";
}

HistoryTime HistoryStore::Now() const {
    if (options_.Now) return options_.Now();
    return std::chrono::floor<std::chrono::milliseconds>(std::chrono::system_clock::now());
}

void HistoryStore::Notice(std::string text) {
    std::lock_guard lock(noticeMutex_);
    notices_.push_back(std::move(text));
    hasNotices_ = true;
}

std::vector<std::string> HistoryStore::TakeNotices() {
    std::lock_guard lock(noticeMutex_);
    hasNotices_ = false;
    return std::exchange(notices_, {});
}

HistoryStoreStats HistoryStore::Stats() const {
    std::lock_guard lock(queueMutex_);
    return stats_;
}

// Opens the file as ours, bringing an older schema forward; `reason` says why
// not. A damaged or foreign file is moved aside; a file that cannot be written
// leaves the store in memory only.
void HistoryStore::Open() {
    if (options_.Path.empty()) return;
    std::error_code ec;
    const std::filesystem::path path(options_.Path);
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
    std::string reason;
    if (OpenFile(&reason)) {
        writing_ = true;
        return;
    }
    if (!reason.empty()) StartFresh(reason);
}

bool HistoryStore::OpenFile(std::string* reason) {
    if (db_) sqlite3_close(db_);
    db_ = nullptr;
    int rc =
        sqlite3_open_v2(options_.Path.c_str(), &db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        StopWriting(sqlite3_errstr(rc));
        return false;
    }
    sqlite3_busy_timeout(db_, 2000);
    // The header first: a file that is no database fails here.
    const int64_t appId = IntPragma(db_, "PRAGMA application_id", &rc);
    const int64_t version = IntPragma(db_, "PRAGMA user_version", &rc);
    const int64_t tables = IntPragma(db_, "SELECT count(*) FROM sqlite_master", &rc);
    if (Damaged(rc)) {
        *reason = "it is not a database or is damaged";
        return false;
    }
    if (rc != SQLITE_OK) {
        StopWriting(sqlite3_errstr(rc));
        return false;
    }
    if (appId != ApplicationId && (appId != 0 || tables != 0)) {
        *reason = "it belongs to another program";
        return false;
    }
    if (version > SchemaVersion) {
        *reason = "it was written by a newer version of the tool";
        return false;
    }
    // A file that was not closed (the tool was killed or the machine stopped) is
    // checked whole; the loader reads every row of a closed one anyway.
    if (tables != 0 && OpenAtClose()) {
        std::string check;
        Statement s(db_, "PRAGMA quick_check");
        if (s.Ok() && s.Step() == SQLITE_ROW)
            check = reinterpret_cast<const char*>(sqlite3_column_text(*s, 0));
        if (check != "ok") {
            *reason = "it is damaged";
            return false;
        }
    }
    // WAL: a batch is one commit, and a kill between commits leaves the file whole.
    Exec(db_, "PRAGMA journal_mode=WAL");
    Exec(db_, "PRAGMA synchronous=NORMAL");
    if (options_.MaxFileBytes) {
        const int64_t page = IntPragma(db_, "PRAGMA page_size", &rc);
        const std::string sql = "PRAGMA max_page_count=" +
                                std::to_string(std::max<int64_t>(1, options_.MaxFileBytes / page));
        Exec(db_, sql.c_str());
    }
    rc = Exec(db_, "BEGIN IMMEDIATE");
    for (int64_t v = version; rc == SQLITE_OK && v < SchemaVersion; ++v)
        rc = Exec(db_, SchemaSteps[v]);
    if (rc == SQLITE_OK && version < SchemaVersion) {
        const std::string sql = "PRAGMA application_id=" + std::to_string(ApplicationId) +
                                "; PRAGMA user_version=" + std::to_string(SchemaVersion);
        rc = Exec(db_, sql.c_str());
    }
    if (rc == SQLITE_OK) {
        // The layout of a new file; an older layout stays until the loader maps it.
        Statement s(db_, "INSERT OR IGNORE INTO meta(key, value) VALUES('series', ?)");
        const std::string layout = SeriesLayout();
        sqlite3_bind_text(*s, 1, layout.c_str(), int(layout.size()), SQLITE_TRANSIENT);
        rc = s.Ok() ? s.Step() : s.Code();
        if (rc == SQLITE_DONE) rc = SQLITE_OK;
    }
    if (rc == SQLITE_OK)
        rc = Exec(db_, "INSERT OR REPLACE INTO meta(key, value) VALUES('open', '1')");
    if (rc == SQLITE_OK) rc = Exec(db_, "COMMIT");
    if (rc != SQLITE_OK) {
        Exec(db_, "ROLLBACK");
        if (Damaged(rc)) {
            *reason = "it is damaged";
            return false;
        }
        StopWriting(sqlite3_errstr(rc));
        return false;
    }
    return true;
}

// Moves the unusable file (and its WAL) aside and starts a fresh one there.
void HistoryStore::StartFresh(const std::string& reason) {
    if (db_) sqlite3_close(db_);
    db_ = nullptr;
    const std::string aside = options_.Path + ".unreadable-" + Stamp();
    std::error_code ec;
    std::filesystem::rename(options_.Path, aside, ec);
    for (const char* extra : {"-wal", "-shm"}) {
        std::error_code ignored;
        if (ec) break;
        std::filesystem::rename(options_.Path + extra, aside + extra, ignored);
    }
    if (ec) {
        StopWriting("it cannot be read and cannot be moved aside: " + ec.message());
        return;
    }
    Notice("The history file " + options_.Path + " could not be used (" + reason +
           "). It was moved to " + aside + " and a new history was started.");
    std::string again;
    if (OpenFile(&again))
        writing_ = true;
    else if (!again.empty())
        StopWriting(again);
}

void HistoryStore::StopWriting(const std::string& reason) {
    writing_ = false;
    if (cannotWriteSaid_) return;
    cannotWriteSaid_ = true;
    Notice("The history cannot be written to " + options_.Path + " (" + reason +
           "). It is kept in memory only until the tool closes.");
}

void HistoryStore::Load(HistoryRecorder& recorder, std::vector<HistoryEvent>& events) {
    std::lock_guard lock(dbMutex_);
    if (!db_ || !writing_) return;
    if (LoadRows(recorder, events)) return;
    // Damage past the header shows while reading: what was read is dropped with
    // the file.
    recorder.Clear();
    events.clear();
    StartFresh("it is damaged");
}

// Rows later than the clock (it was set back, or ran ahead when they were
// written) would stop the recorder, which takes no poll before its newest one:
// they go, and the owner is told. A file that cannot be written keeps them;
// the load leaves them out. The error of a damaged file, else SQLITE_OK.
int HistoryStore::DropFuture(int64_t now) {
    int64_t newest = 0;
    {
        Statement s(db_,
                    "SELECT max(t) FROM (SELECT max(t) AS t FROM polls UNION ALL "
                    "SELECT max(t) FROM minutes UNION ALL SELECT max(t) FROM events)");
        if (s.Ok() && s.Step() == SQLITE_ROW) newest = sqlite3_column_int64(*s, 0);
    }
    if (newest <= now) return SQLITE_OK;
    int rc = Exec(db_, "BEGIN IMMEDIATE");
    if (rc == SQLITE_OK) rc = DeleteRows(db_, "t > ?", now);
    if (rc == SQLITE_OK) rc = Exec(db_, "COMMIT");
    if (rc != SQLITE_OK) {
        Exec(db_, "ROLLBACK");
        if (Damaged(rc)) return rc;
        StopWriting(sqlite3_errstr(rc));
        return SQLITE_OK;
    }
    const char* format = "%Y-%m-%d %H:%M";
    Notice("The history file held values up to " + LocalText(std::time_t(newest / 1000), format) +
           ", later than this computer's clock (" + LocalText(std::time_t(now / 1000), format) +
           "). They were dropped, and the history goes on from now.");
    return SQLITE_OK;
}

bool HistoryStore::LoadRows(HistoryRecorder& recorder, std::vector<HistoryEvent>& events) {
    // Where each stored series goes in the series table of this version.
    std::vector<std::optional<size_t>> place;
    {
        Statement s(db_, "SELECT value FROM meta WHERE key = 'series'");
        if (!s.Ok() || s.Step() != SQLITE_ROW) return !Damaged(s.Code());
        std::string layout = reinterpret_cast<const char*>(sqlite3_column_text(*s, 0));
        size_t from = 0;
        for (size_t end; (end = layout.find('\n', from)) != std::string::npos; from = end + 1)
            place.push_back(FindHistorySeries(std::string_view(layout).substr(from, end - from)));
    }
    const size_t n = HistorySeriesTable().size(), stored = place.size();
    std::vector<double> lo(n), hi(n), mid(n);
    auto mapped = [&](const void* blob, size_t group,
                      std::vector<double>& v) -> std::vector<double>& {
        std::fill(v.begin(), v.end(), std::numeric_limits<double>::quiet_NaN());
        const auto* p = static_cast<const unsigned char*>(blob) + group * stored * 4;
        for (size_t i = 0; i < stored; ++i) {
            float f;
            std::memcpy(&f, p + i * 4, 4);
            if (place[i]) v[*place[i]] = f;
        }
        return v;
    };
    const int64_t keep =
        options_.Limits.BucketSpan.count() * int64_t(options_.Limits.BucketCapacity);
    const int64_t now = Now().time_since_epoch().count(), oldest = now - keep;
    if (Damaged(DropFuture(now))) return false;
    int rc;
    {
        Statement s(db_,
                    "SELECT t, segment, polls, v FROM minutes WHERE t BETWEEN ? AND ? ORDER BY t");
        sqlite3_bind_int64(*s, 1, oldest);
        sqlite3_bind_int64(*s, 2, now);
        while ((rc = s.Step()) == SQLITE_ROW) {
            if (size_t(sqlite3_column_bytes(*s, 3)) != stored * 12) continue;
            const void* blob = sqlite3_column_blob(*s, 3);
            recorder.RestoreMinute(
                HistoryTime(std::chrono::milliseconds(sqlite3_column_int64(*s, 0))),
                sqlite3_column_int(*s, 1) != 0, uint32_t(sqlite3_column_int64(*s, 2)),
                mapped(blob, 0, lo), mapped(blob, 1, hi), mapped(blob, 2, mid));
        }
        if (rc != SQLITE_DONE) return !Damaged(rc);
    }
    {
        Statement s(db_, "SELECT t, segment, v FROM polls WHERE t BETWEEN ? AND ? ORDER BY t");
        sqlite3_bind_int64(*s, 1, oldest);
        sqlite3_bind_int64(*s, 2, now);
        while ((rc = s.Step()) == SQLITE_ROW) {
            if (size_t(sqlite3_column_bytes(*s, 2)) != stored * 4) continue;
            recorder.RestorePoll(
                HistoryTime(std::chrono::milliseconds(sqlite3_column_int64(*s, 0))),
                sqlite3_column_int(*s, 1) != 0, mapped(sqlite3_column_blob(*s, 2), 0, mid));
        }
        if (rc != SQLITE_DONE) return !Damaged(rc);
    }
    {
        Statement s(db_, "SELECT t, kind, text FROM events WHERE t BETWEEN ? AND ? ORDER BY t, id");
        sqlite3_bind_int64(*s, 1, oldest);
        sqlite3_bind_int64(*s, 2, now);
        while ((rc = s.Step()) == SQLITE_ROW) {
            const auto kind =
                FindEventKind(reinterpret_cast<const char*>(sqlite3_column_text(*s, 1)));
            if (!kind) continue;
            events.push_back({HistoryTime(std::chrono::milliseconds(sqlite3_column_int64(*s, 0))),
                              *kind, reinterpret_cast<const char*>(sqlite3_column_text(*s, 2))});
        }
        if (rc != SQLITE_DONE) return !Damaged(rc);
    }
    // A file from before a change of the series table: what was loaded is written
    // again in this version's layout, in the commit that changes the layout, so
    // that no moment holds the file without its history.
    bool same = stored == n;
    for (size_t i = 0; same && i < n; ++i) same = place[i] == i;
    if (!same) {
        std::vector<Row> rows;
        rows.reserve(recorder.Size());
        std::vector<double> v(n);
        for (size_t i = 0; i < recorder.Size(); ++i) {
            const bool folded = i < recorder.FoldedCount();
            Row row{folded ? Row::Kind::Minute : Row::Kind::Poll,
                    recorder.Time(i).time_since_epoch().count(),
                    recorder.StartsSegment(i),
                    folded ? recorder.Polls(i) : 1,
                    {},
                    {},
                    {}};
            auto append = [&](double (HistoryRecorder::*read)(size_t, size_t) const) {
                for (size_t k = 0; k < n; ++k) v[k] = (recorder.*read)(k, i);
                AppendValues(row.Values, v);
            };
            if (folded) {
                append(&HistoryRecorder::Min);
                append(&HistoryRecorder::Max);
            }
            append(&HistoryRecorder::Value);
            rows.push_back(std::move(row));
        }
        Commit(rows, true);
    }
    return true;
}

void HistoryStore::PollKept(HistoryTime time, bool startsSegment,
                            const std::vector<double>& values) {
    Row row{Row::Kind::Poll, time.time_since_epoch().count(), startsSegment, 1, {}, {}, {}};
    row.Values.reserve(values.size());
    AppendValues(row.Values, values);
    std::lock_guard lock(queueMutex_);
    if (writing_) queue_.push_back(std::move(row));
}

void HistoryStore::MinuteFolded(HistoryTime minute, bool startsSegment, uint32_t polls,
                                const std::vector<double>& min, const std::vector<double>& max,
                                const std::vector<double>& mid) {
    Row row{Row::Kind::Minute, minute.time_since_epoch().count(), startsSegment, polls, {}, {}, {}};
    row.Values.reserve(3 * mid.size());
    AppendValues(row.Values, min);
    AppendValues(row.Values, max);
    AppendValues(row.Values, mid);
    std::lock_guard lock(queueMutex_);
    if (writing_) queue_.push_back(std::move(row));
}

void HistoryStore::AddEvent(const HistoryEvent& event) {
    Row row{Row::Kind::Event, event.Time.time_since_epoch().count(), false, 0, {}, event.Kind,
            event.Text};
    std::lock_guard lock(queueMutex_);
    if (writing_) queue_.push_back(std::move(row));
}

void HistoryStore::Flush() {
    std::unique_lock lock(queueMutex_);
    const uint64_t wanted = ++flushWanted_;
    wake_.notify_all();
    flushed_.wait(lock, [&] { return flushDone_ >= wanted || stop_; });
}

void HistoryStore::Run() {
    std::unique_lock lock(queueMutex_);
    for (;;) {
        wake_.wait_for(lock, options_.BatchPeriod,
                       [&] { return stop_ || flushWanted_ > flushDone_; });
        const uint64_t wanted = flushWanted_;
        const bool stop = stop_;
        std::vector<Row> rows = std::exchange(queue_, {});
        lock.unlock();
        if (!rows.empty()) Write(rows);
        lock.lock();
        flushDone_ = wanted;
        flushed_.notify_all();
        if (stop) return;
    }
}

// One batch, one transaction: the rows, then what has grown too old. Polls that
// a stored minute holds go with the minute's commit, so the file never holds a
// poll twice.
void HistoryStore::Write(std::vector<Row>& rows) {
    std::lock_guard lock(dbMutex_);
    if (db_ && writing_) Commit(rows, false);
}

// `relayout`: the rows replace every stored poll and minute, in this version's
// series layout.
void HistoryStore::Commit(std::vector<Row>& rows, bool relayout) {
    const auto started = std::chrono::steady_clock::now();
    int rc = Exec(db_, "BEGIN IMMEDIATE");
    if (rc == SQLITE_OK && relayout) rc = Exec(db_, "DELETE FROM polls; DELETE FROM minutes;");
    if (rc == SQLITE_OK && relayout) {
        Statement s(db_, "UPDATE meta SET value = ? WHERE key = 'series'");
        const std::string layout = SeriesLayout();
        sqlite3_bind_text(*s, 1, layout.c_str(), int(layout.size()), SQLITE_TRANSIENT);
        rc = !s.Ok() ? s.Code() : s.Step() == SQLITE_DONE ? SQLITE_OK : s.Code();
    }
    int64_t newestMinute = INT64_MIN;
    {
        Statement poll(db_, "INSERT OR REPLACE INTO polls(t, segment, v) VALUES(?, ?, ?)");
        Statement minute(db_,
                         "INSERT OR REPLACE INTO minutes(t, segment, polls, v) VALUES(?, ?, ?, ?)");
        Statement event(db_, "INSERT INTO events(t, kind, text) VALUES(?, ?, ?)");
        if (rc == SQLITE_OK && !(poll.Ok() && minute.Ok() && event.Ok()))
            rc = !poll.Ok() ? poll.Code() : !minute.Ok() ? minute.Code() : event.Code();
        for (size_t i = 0; rc == SQLITE_OK && i < rows.size(); ++i) {
            const Row& r = rows[i];
            Statement& s = r.What == Row::Kind::Poll     ? poll
                           : r.What == Row::Kind::Minute ? minute
                                                         : event;
            sqlite3_bind_int64(*s, 1, r.Time);
            if (r.What == Row::Kind::Event) {
                sqlite3_bind_text(*s, 2, EventKindName(r.Event), -1, SQLITE_STATIC);
                sqlite3_bind_text(*s, 3, r.Text.c_str(), int(r.Text.size()), SQLITE_STATIC);
            } else {
                sqlite3_bind_int(*s, 2, r.Segment);
                int next = 3;
                if (r.What == Row::Kind::Minute) {
                    sqlite3_bind_int64(*s, next++, r.Polls);
                    newestMinute = std::max(newestMinute, r.Time);
                }
                sqlite3_bind_blob(*s, next, r.Values.data(), int(r.Values.size() * 4),
                                  SQLITE_STATIC);
            }
            rc = s.Step();
            if (rc == SQLITE_DONE) rc = SQLITE_OK;
            s.Reset();
        }
    }
    const int64_t span = options_.Limits.BucketSpan.count();
    const int64_t oldest =
        Now().time_since_epoch().count() - span * int64_t(options_.Limits.BucketCapacity);
    if (rc == SQLITE_OK && newestMinute != INT64_MIN) {
        Statement s(db_, "DELETE FROM polls WHERE t < ?");
        sqlite3_bind_int64(*s, 1, newestMinute + span);
        rc = s.Step() == SQLITE_DONE ? SQLITE_OK : s.Code();
    }
    if (rc == SQLITE_OK) rc = DeleteRows(db_, "t < ?", oldest);
    if (rc == SQLITE_OK) rc = Exec(db_, "COMMIT");
    if (rc != SQLITE_OK) {
        Exec(db_, "ROLLBACK");
        std::lock_guard queue(queueMutex_);
        StopWriting(sqlite3_errstr(rc));
        queue_.clear();
        return;
    }
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
            .count();
    std::lock_guard queue(queueMutex_);
    ++stats_.Batches;
    stats_.LastCommitMs = ms;
    stats_.MaxCommitMs = std::max(stats_.MaxCommitMs, ms);
    stats_.RowsWritten += rows.size();
}

}  // namespace korvan
