// The decoded frames of the NMEA-2000 page: a bounded ring of the captured frame
// records, named and split as they arrive, and the rows the filters let through.
// The filters apply to every frame still in the ring, also those captured before.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <vector>

#include "display/can_format.h"
#include "n2k/record.h"

namespace korvan {

struct CanFrameFilter {
    QString Pgn;      // a PGN number, or part of a PGN's name (any case); empty: all
    int Source = -1;  // a source address, -1: all
    bool N2kOnly = false;

    bool operator==(const CanFrameFilter&) const = default;
};

struct CanSourceInfo {
    int Frames = 0;
    QString Name;  // the model id from its product information (126996), once seen
};

class CanFrameModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column {
        TimeColumn,
        PgnColumn,
        NameColumn,
        SourceColumn,
        DestinationColumn,
        PriorityColumn,
        ColumnCount
    };
    // As many frames as the text list keeps lines. A full ring drops its oldest
    // frames by the thousand: a view takes out any number of its first rows for
    // the price of one, and that price grows with the rows it holds.
    static constexpr size_t MaxFrames = 20000;
    static constexpr size_t DropCount = 1000;

    explicit CanFrameModel(QObject* parent = nullptr);

    // One received record; `msecsOfDay` is the time shown in the first column.
    void AddRecord(const CanFrameRecord& record, int msecsOfDay);
    void Clear();

    void SetFilter(const CanFrameFilter& filter);
    const CanFrameFilter& Filter() const { return filter_; }

    size_t CapturedCount() const { return frames_.size(); }
    // The decoded fields of a shown row: the whole message when a fast packet was
    // completed by that record, else the bytes the record holds.
    std::vector<n2k::DecodedField> Fields(int row) const;
    const std::map<uint8_t, CanSourceInfo>& Sources() const { return sources_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  signals:
    void SourcesChanged();

  private:
    struct Frame {
        int Time = 0;
        CanFrameRecord Record;
        n2k::RecordBytes Bytes;
        const n2k::PgnDef* Def = nullptr;
        std::shared_ptr<const std::vector<uint8_t>> Whole;
    };
    const Frame& FrameAt(int row) const;
    bool Passes(const Frame& f) const;
    void DropOldest(size_t count);
    void NoteSource(const Frame& f);

    n2k::Decoder decoder_;
    std::deque<Frame> frames_;
    uint64_t firstSerial_ = 0;    // serial number of frames_.front()
    std::deque<uint64_t> shown_;  // serial numbers of the rows, oldest first
    CanFrameFilter filter_;
    uint32_t filterPgn_ = 0;  // filter_.Pgn as a number
    bool filterByNumber_ = false;
    QByteArray filterName_;  // filter_.Pgn in lower case
    mutable std::map<const n2k::PgnDef*, bool> nameMatches_;
    std::map<uint8_t, CanSourceInfo> sources_;
};

}  // namespace korvan
