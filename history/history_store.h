// The history and the event log in one SQLite file, so that they survive a
// restart. The recorder tells the store of every poll kept and every minute
// folded; the store only queues them there (the poll path never touches the
// file) and a writer thread of its own commits the queue every few seconds in
// one transaction (WAL mode), so that a tool killed at any moment loses at most
// the batch not yet committed. The file holds the folded minutes and the events
// of the last thirty days and the polls not folded yet; older rows go with each
// batch.
//
// Faults: a file that is not ours, damaged, or written by a newer version is
// moved aside and a fresh one started; a file that cannot be written (read-only
// folder, full disk) leaves the history in memory only. Either is said once, as
// a notice. No Qt.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "history/history_event.h"
#include "history/history_recorder.h"

struct sqlite3;

namespace korvan {

struct HistoryStoreOptions {
    std::string Path;
    // The recorder's: the minute span and how many minutes (days) are kept.
    HistoryLimits Limits;
    std::chrono::milliseconds BatchPeriod = std::chrono::seconds(3);
    // The clock that says which rows are too old; the wall clock when empty.
    std::function<HistoryTime()> Now;
    // The file may not grow beyond this (0: as far as the disk allows); past it a
    // batch fails as on a full disk.
    uint64_t MaxFileBytes = 0;
};

struct HistoryStoreStats {
    uint64_t Batches = 0;
    double LastCommitMs = 0;
    double MaxCommitMs = 0;
    uint64_t RowsWritten = 0;
};

class HistoryStore final : public HistorySink {
  public:
    // Opens (or creates) the file and starts the writer.
    explicit HistoryStore(HistoryStoreOptions options);
    // Commits what is queued, then closes the file.
    ~HistoryStore() override;
    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    // What the file holds: the history into `recorder` (before its first poll of
    // this run) and the events, oldest first, into `events`.
    void Load(HistoryRecorder& recorder, std::vector<HistoryEvent>& events);

    // HistorySink: on the poll path, queue only.
    void PollKept(HistoryTime time, bool startsSegment, const std::vector<double>& values) override;
    void MinuteFolded(HistoryTime minute, bool startsSegment, uint32_t polls,
                      const std::vector<double>& min, const std::vector<double>& max,
                      const std::vector<double>& mid) override;
    void AddEvent(const HistoryEvent& event);

    // Commits the queue now and returns when it is in the file (or dropped).
    void Flush();
    // False: the file could not be opened or written; history stays in memory.
    bool Writing() const { return writing_; }
    const std::string& Path() const { return options_.Path; }
    // Notices for the owner, each given once.
    bool HasNotices() const { return hasNotices_; }
    std::vector<std::string> TakeNotices();
    HistoryStoreStats Stats() const;

  private:
    struct Row;
    void Open();
    bool OpenFile(std::string* reason);
    bool OpenAtClose();
    void StartFresh(const std::string& reason);
    void StopWriting(const std::string& reason);
    void Notice(std::string text);
    void Run();
    void Write(std::vector<Row>& rows);
    void Commit(std::vector<Row>& rows, bool relayout);
    bool LoadRows(HistoryRecorder& recorder, std::vector<HistoryEvent>& events);
    int DropFuture(int64_t now);
    HistoryTime Now() const;

    HistoryStoreOptions options_;
    sqlite3* db_ = nullptr;
    std::mutex dbMutex_;  // the connection: the loader and the writer
    std::atomic<bool> writing_{false};

    mutable std::mutex queueMutex_;
    std::condition_variable wake_;
    std::condition_variable flushed_;
    std::vector<Row> queue_;
    uint64_t flushWanted_ = 0;
    uint64_t flushDone_ = 0;
    bool stop_ = false;
    HistoryStoreStats stats_;

    std::mutex noticeMutex_;
    std::vector<std::string> notices_;
    std::atomic<bool> hasNotices_{false};
    bool cannotWriteSaid_ = false;
    std::thread writer_;
};

}  // namespace korvan
