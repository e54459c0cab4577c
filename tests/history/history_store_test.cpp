// The history store: a day through the file and back, retention in the file,
// a writer killed at random moments, files that are not ours or damaged, and a
// file that cannot be written.
#include "history/history_store.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "history_test_support.h"

namespace korvan {
namespace {

using namespace std::chrono_literals;
using test::At;
using test::StateFor;
namespace fs = std::filesystem;

class HistoryStoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("korvan-store-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(dir_);
    }
    HistoryStoreOptions Options(HistoryTime now, HistoryLimits limits = {}) {
        HistoryStoreOptions o;
        o.Path = (dir_ / "history.sqlite").string();
        o.Limits = limits;
        o.BatchPeriod = 1h;  // batches when the test flushes
        o.Now = [now] { return now; };
        return o;
    }
    // Rows of a table, straight from the file.
    int64_t Count(const std::string& sql) {
        sqlite3* db = nullptr;
        sqlite3_open_v2((dir_ / "history.sqlite").c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* s = nullptr;
        int64_t n = -1;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) == SQLITE_OK &&
            sqlite3_step(s) == SQLITE_ROW)
            n = sqlite3_column_int64(s, 0);
        sqlite3_finalize(s);
        sqlite3_close(db);
        return n;
    }
    fs::path dir_;
};

void ExpectSameHistory(const HistoryRecorder& a, const HistoryRecorder& b) {
    ASSERT_EQ(a.Size(), b.Size());
    ASSERT_EQ(a.FoldedCount(), b.FoldedCount());
    const size_t series = HistorySeriesTable().size();
    for (size_t p = 0; p < a.Size(); ++p) {
        ASSERT_EQ(a.Time(p), b.Time(p)) << p;
        ASSERT_EQ(a.StartsSegment(p), b.StartsSegment(p)) << p;
        ASSERT_EQ(a.Polls(p), b.Polls(p)) << p;
        for (size_t s = 0; s < series; ++s) {
            for (auto [x, y] : {std::pair{a.Value(s, p), b.Value(s, p)},
                                {a.Min(s, p), b.Min(s, p)},
                                {a.Max(s, p), b.Max(s, p)}}) {
                if (std::isnan(x))
                    ASSERT_TRUE(std::isnan(y)) << p << " " << s;
                else
                    ASSERT_FLOAT_EQ(x, y) << p << " " << HistorySeriesTable()[s].Name;
            }
        }
    }
}

TEST_F(HistoryStoreTest, ADayAndMoreComesBackAsItWasRecordedWithItsGapsAndEvents) {
    // 26 hours of polls, a gap of ten minutes in the middle: the oldest two
    // hours fold into minutes, the open minute's polls stay polls in the file.
    HistoryRecorder first;
    const int64_t polls = 26 * 3600 * 2;
    const HistoryTime end = At(polls * 500 + 600000);
    {
        HistoryStore store(Options(end));
        first.SetSink(&store);
        for (int64_t n = 0; n < polls; ++n) {
            const int64_t t = n * 500 + (n >= polls / 2 ? 600000 : 0);
            if (n == polls / 2) first.MarkGap(At(t - 1000));
            first.Record(At(t), StateFor(n));
            if (n % 20000 == 0) store.Flush();  // several batches, as when running
        }
        store.AddEvent({At(1000), EventKind::Link, "Link lost"});
        store.AddEvent({At(2000), EventKind::Settings, "Settings read from the system"});
        first.SetSink(nullptr);
    }
    ASSERT_GT(first.FoldedCount(), 100u);

    HistoryRecorder second;
    std::vector<HistoryEvent> events;
    HistoryStore store(Options(end));
    EXPECT_TRUE(store.Writing());
    store.Load(second, events);
    EXPECT_FALSE(store.HasNotices());
    ExpectSameHistory(first, second);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].Kind, EventKind::Settings);
    EXPECT_EQ(events[1].Text, "Settings read from the system");
    EXPECT_EQ(events[0].Time, At(1000));
    // The file holds no poll that a stored minute already holds.
    EXPECT_EQ(Count("SELECT count(*) FROM polls WHERE t < (SELECT max(t) FROM minutes) + 60000"),
              0);
}

// A file of a version whose series table held one more series, and a file with
// rows later than the clock (set back since): both load what they can, and the
// recorder goes on.
TEST_F(HistoryStoreTest, AnOlderLayoutIsRewrittenAndRowsAheadOfTheClockGo) {
    const int64_t polls = 3 * 3600 * 2;  // three hours: folded minutes and polls
    const HistoryTime end = At(polls * 500);
    HistoryRecorder first;
    {
        HistoryStore store(Options(end));
        first.SetSink(&store);
        for (int64_t n = 0; n < polls; ++n) first.Record(At(n * 500), StateFor(n));
        store.AddEvent({end - 30min, EventKind::Link, "Link lost"});
        first.SetSink(nullptr);
    }
    const std::string n4 = std::to_string(HistorySeriesTable().size() * 4);
    sqlite3* db = nullptr;
    sqlite3_open((dir_ / "history.sqlite").c_str(), &db);
    const std::string retired =
        "UPDATE meta SET value = value || 'Retired Series' || char(10) WHERE key = 'series';"
        "UPDATE polls SET v = v || x'0000803f';"
        "UPDATE minutes SET v = substr(v, 1, " +
        n4 + ") || x'0000803f' || substr(v, " + n4 + " + 1, " + n4 +
        ") || x'0000803f' || substr(v, 2 * " + n4 + " + 1) || x'0000803f';";
    ASSERT_EQ(sqlite3_exec(db, retired.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);

    for (int open = 0; open < 2; ++open) {  // the rewritten file loads the same again
        HistoryRecorder h;
        std::vector<HistoryEvent> events;
        HistoryStore store(Options(end));
        store.Load(h, events);
        EXPECT_FALSE(store.HasNotices());
        ExpectSameHistory(first, h);
        EXPECT_EQ(events.size(), 1u);
        // Rewritten at once, not batch by batch after the old rows were gone.
        EXPECT_EQ(Count("SELECT count(*) FROM polls WHERE length(v) = " + n4),
                  int64_t(h.Size() - h.FoldedCount()));
    }

    // The clock an hour behind the newest row: the rows after it go, and the next poll is kept.
    HistoryRecorder h;
    std::vector<HistoryEvent> events;
    HistoryStore store(Options(end - 1h));
    store.Load(h, events);
    const std::vector<std::string> notices = store.TakeNotices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].find("later than this computer's clock"), std::string::npos);
    EXPECT_TRUE(events.empty());
    const size_t loaded = h.Size();
    h.SetSink(&store);
    h.Record(end - 1h + 500ms, StateFor(0));
    EXPECT_EQ(h.Size(), loaded + 1);
}

TEST_F(HistoryStoreTest, TheFileKeepsNoMinuteOrEventOlderThanTheKeptDays) {
    // Two days kept, one hour in full; polls every 30 s over five days.
    HistoryLimits limits;
    limits.FullSpan = 1h;
    limits.BucketCapacity = 2 * 24 * 60;
    const int64_t step = 30000, polls = 5 * 24 * 3600 / 30;
    HistoryTime now = At(0);
    HistoryStoreOptions options = Options(now, limits);
    options.Now = [&now] { return now; };
    HistoryRecorder h(limits);
    HistoryStore store(options);
    h.SetSink(&store);
    for (int64_t n = 0; n < polls; ++n) {
        now = At(n * step);
        h.Record(now, StateFor(n));
        if (n % 1000 == 0) store.AddEvent({now, EventKind::Fault, "fault " + std::to_string(n)});
        if (n % 500 == 0) store.Flush();
    }
    store.Flush();
    const int64_t cutoff = (now - 48h).time_since_epoch().count();
    EXPECT_EQ(Count("SELECT count(*) FROM minutes WHERE t < " + std::to_string(cutoff)), 0);
    EXPECT_EQ(Count("SELECT count(*) FROM events WHERE t < " + std::to_string(cutoff)), 0);
    EXPECT_GT(Count("SELECT count(*) FROM events"), 0);
    EXPECT_LE(Count("SELECT count(*) FROM minutes"), int64_t(limits.BucketCapacity));
    // The last hour is still there poll by poll.
    EXPECT_GE(Count("SELECT count(*) FROM polls"), 3600 / 30 - 2);
}

// A child records a poll every millisecond with batches every 20 ms and tells the
// parent, after each poll, how many polls it has queued and how many rows the
// store had committed. Whatever was committed before the kill is in the file.
TEST_F(HistoryStoreTest, AWriterKilledAtRandomMomentsLosesAtMostItsLastBatch) {
    std::mt19937 random(20);
    std::uniform_int_distribution<int> lifetime(30, 250);
    HistoryStoreOptions options = Options(At(0) + 24h);
    options.BatchPeriod = 20ms;
    int64_t next = 0;  // the child's first poll number, after what the file holds
    int64_t lost = 0;  // polls queued but not committed when a child was killed
    for (int round = 0; round < 20; ++round) {
        int pipe_[2];
        ASSERT_EQ(pipe(pipe_), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(pipe_[0]);
            HistoryRecorder h;
            HistoryStore store(options);
            std::vector<HistoryEvent> events;
            store.Load(h, events);
            h.SetSink(&store);
            for (int64_t n = next;; ++n) {
                h.Record(At(n * 500), StateFor(n));
                const int64_t report[2] = {n, int64_t(store.Stats().RowsWritten)};
                if (write(pipe_[1], report, sizeof report) != sizeof report) _exit(2);
                std::this_thread::sleep_for(1ms);
            }
        }
        close(pipe_[1]);
        std::this_thread::sleep_for(std::chrono::milliseconds(lifetime(random)));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status));
        int64_t report[2] = {-1, 0}, last[2] = {-1, 0};
        while (read(pipe_[0], report, sizeof report) == sizeof report) std::copy_n(report, 2, last);
        close(pipe_[0]);
        ASSERT_GE(last[0], next) << "round " << round;

        HistoryRecorder h;
        std::vector<HistoryEvent> events;
        HistoryStore store(options);
        store.Load(h, events);
        EXPECT_TRUE(store.Writing());
        EXPECT_FALSE(store.HasNotices()) << "round " << round;
        const int64_t kept = int64_t(h.Size());
        // Every committed row is there (the rows of this child come after the
        // rows of the earlier ones); nothing past the last queued poll.
        EXPECT_GE(kept, next + last[1]) << "round " << round;
        EXPECT_LE(kept, last[0] + 1) << "round " << round;
        lost += last[0] + 1 - kept;
        if (kept > 0) {
            EXPECT_EQ(h.Time(h.Size() - 1), At((kept - 1) * 500));
        }
        next = kept;
    }
    // A batch holds at most 20 polls (20 ms of polls 1 ms apart); a writer that
    // does not commit would lose every child's polls, about 3,000.
    EXPECT_LE(lost, 20 * 20);
}

struct BadFile {
    const char* Name;
    void (*Make)(const std::string& path);
    const char* Reason;
};

void MakeText(const std::string& path) { std::ofstream(path) << "Battery log, not a database\n"; }
void MakeForeign(const std::string& path) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_exec(db, "CREATE TABLE photos(name TEXT); INSERT INTO photos VALUES('boat')", nullptr,
                 nullptr, nullptr);
    sqlite3_close(db);
}
void MakeNewer(const std::string& path) {
    {
        HistoryStoreOptions o;
        o.Path = path;
        HistoryStore store(o);
    }
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_exec(db, "PRAGMA user_version=99", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}
// A stored history whose middle pages are overwritten.
void MakeDamaged(const std::string& path) {
    {
        HistoryStoreOptions o;
        o.Path = path;
        HistoryRecorder h;
        HistoryStore store(o);
        h.SetSink(&store);
        for (int n = 0; n < 20000; ++n) h.Record(At(n * 500), StateFor(n));
    }
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(0, std::ios::end);
    const auto size = int64_t(f.tellp());
    ASSERT_GT(size, 40000);
    f.seekp(size / 2);
    const std::string junk(16384, '\x5a');
    f.write(junk.data(), std::streamsize(junk.size()));
}

TEST_F(HistoryStoreTest, AFileThatIsNotOursOrIsDamagedIsMovedAsideAndAFreshOneStarted) {
    const BadFile cases[] = {
        {"text", MakeText, "not a database"},
        {"another program's database", MakeForeign, "another program"},
        {"newer version", MakeNewer, "newer version"},
        {"damaged pages", MakeDamaged, "damaged"},
    };
    for (const BadFile& c : cases) {
        SCOPED_TRACE(c.Name);
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        const std::string path = (dir_ / "history.sqlite").string();
        c.Make(path);
        const auto before = fs::file_size(path);

        HistoryRecorder h;
        std::vector<HistoryEvent> events;
        HistoryStore store(Options(At(0)));
        store.Load(h, events);
        EXPECT_TRUE(store.Writing());
        EXPECT_EQ(h.Size(), 0u);
        const std::vector<std::string> notices = store.TakeNotices();
        ASSERT_EQ(notices.size(), 1u);
        EXPECT_NE(notices[0].find(c.Reason), std::string::npos) << notices[0];
        EXPECT_FALSE(store.HasNotices());
        // The old file is kept, whole, beside the fresh one.
        std::vector<fs::path> aside;
        for (const auto& e : fs::directory_iterator(dir_))
            if (e.path().filename().string().starts_with("history.sqlite.unreadable-") &&
                e.path().extension() != ".sqlite-wal")
                aside.push_back(e.path());
        ASSERT_FALSE(aside.empty());
        EXPECT_NE(notices[0].find(aside[0].string()), std::string::npos);
        EXPECT_GE(fs::file_size(aside[0]), std::min<uintmax_t>(before, 1));
        // The fresh file records.
        h.SetSink(&store);
        h.Record(At(500), StateFor(1));
        store.Flush();
        EXPECT_EQ(Count("SELECT count(*) FROM polls"), 1);
    }
}

TEST_F(HistoryStoreTest, AFileThatCannotBeWrittenKeepsTheHistoryInMemoryAndSaysSoOnce) {
    // A read-only folder (root writes anywhere; /proc takes no new files even
    // from root), then a file that fills its limit: a full disk.
    HistoryStoreOptions readOnly = Options(At(0));
    if (geteuid() == 0) {
        readOnly.Path = "/proc/korvan-history.sqlite";
    } else {
        fs::create_directories(dir_ / "ro");
        fs::permissions(dir_ / "ro", fs::perms::owner_read | fs::perms::owner_exec);
        readOnly.Path = (dir_ / "ro" / "history.sqlite").string();
    }
    HistoryStoreOptions full = Options(At(0));
    full.MaxFileBytes = 256 * 1024;
    for (const HistoryStoreOptions& options : {readOnly, full}) {
        SCOPED_TRACE(options.Path);
        fs::remove(full.Path);
        HistoryRecorder h;
        std::vector<HistoryEvent> events;
        HistoryStore store(options);
        store.Load(h, events);
        h.SetSink(&store);
        size_t notices = 0;
        for (int n = 0; n < 20000; ++n) {
            h.Record(At(n * 500), StateFor(n));
            if (n % 1000 == 999) store.Flush();
            notices += store.TakeNotices().size();
        }
        EXPECT_FALSE(store.Writing());
        EXPECT_EQ(notices, 1u);
        EXPECT_EQ(h.Size(), 20000u);  // the recorder is untouched
    }
}

}  // namespace
}  // namespace korvan
