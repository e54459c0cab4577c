#include "display/can_frame_model.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace korvan {

namespace {

QString Hex(unsigned v, int digits) {
    return QStringLiteral("0x") +
           QString::number(v, 16).toUpper().rightJustified(digits, QLatin1Char('0'));
}

bool ContainsLower(const char* text, const QByteArray& lower) {
    if (text == nullptr) return false;
    const size_t n = std::strlen(text);
    const size_t m = size_t(lower.size());
    for (size_t i = 0; i + m <= n; ++i) {
        size_t k = 0;
        while (k < m &&
               char(std::tolower(static_cast<unsigned char>(text[i + k]))) == lower[qsizetype(k)])
            ++k;
        if (k == m) return true;
    }
    return false;
}

}  // namespace

CanFrameModel::CanFrameModel(QObject* parent) : QAbstractTableModel(parent) {}

void CanFrameModel::AddRecord(const CanFrameRecord& record, int msecsOfDay) {
    n2k::DecodedFrame d = decoder_.Decode(record, false);
    Frame f{msecsOfDay, record, d.Record, d.Def, std::move(d.Whole)};
    if (frames_.size() >= MaxFrames) DropOldest(DropCount);
    NoteSource(f);
    frames_.push_back(std::move(f));
    if (Passes(frames_.back())) {
        const int row = int(shown_.size());
        beginInsertRows({}, row, row);
        shown_.push_back(firstSerial_ + frames_.size() - 1);
        endInsertRows();
    }
}

void CanFrameModel::DropOldest(size_t count) {
    count = std::min(count, frames_.size());
    const uint64_t kept = firstSerial_ + count;
    // The shown rows are in capture order: those dropped are the first ones.
    const auto end = std::lower_bound(shown_.begin(), shown_.end(), kept);
    if (end != shown_.begin()) {
        beginRemoveRows({}, 0, int(end - shown_.begin()) - 1);
        shown_.erase(shown_.begin(), end);
        endRemoveRows();
    }
    frames_.erase(frames_.begin(), frames_.begin() + std::ptrdiff_t(count));
    firstSerial_ = kept;
}

void CanFrameModel::NoteSource(const Frame& f) {
    if (!f.Bytes.N2k) return;
    auto [it, added] = sources_.try_emplace(f.Bytes.Id.Source);
    ++it->second.Frames;
    bool changed = added;
    if (f.Def != nullptr && f.Def->Pgn == 126996 && f.Whole) {
        const auto fields = n2k::DecodeFields(*f.Def, {f.Whole->data(), 0, f.Whole->size()});
        for (const n2k::DecodedField& field : fields) {
            if (std::strcmp(field.Def->Id, "modelId") != 0 || field.State != n2k::FieldState::Value)
                continue;
            const QString name = QString::fromStdString(field.Text);
            if (name != it->second.Name) {
                it->second.Name = name;
                changed = true;
            }
        }
    }
    if (changed) emit SourcesChanged();
}

void CanFrameModel::Clear() {
    beginResetModel();
    frames_.clear();
    shown_.clear();
    firstSerial_ = 0;
    sources_.clear();
    decoder_.Reset();
    endResetModel();
    emit SourcesChanged();
}

void CanFrameModel::SetFilter(const CanFrameFilter& filter) {
    filter_ = filter;
    const QString text = filter.Pgn.trimmed();
    bool number = false;
    filterPgn_ = text.toUInt(&number);
    filterByNumber_ = number;
    filterName_ = text.toLower().toUtf8();
    nameMatches_.clear();
    beginResetModel();
    shown_.clear();
    for (size_t i = 0; i < frames_.size(); ++i)
        if (Passes(frames_[i])) shown_.push_back(firstSerial_ + i);
    endResetModel();
}

bool CanFrameModel::Passes(const Frame& f) const {
    if (filter_.N2kOnly && !f.Bytes.N2k) return false;
    if (filter_.Source >= 0 && (!f.Bytes.N2k || f.Bytes.Id.Source != filter_.Source)) return false;
    if (filterName_.isEmpty()) return true;
    if (!f.Bytes.N2k) return false;
    if (filterByNumber_) return f.Bytes.Id.Pgn == filterPgn_;
    auto [it, added] = nameMatches_.try_emplace(f.Def, false);
    if (added) it->second = f.Def != nullptr && ContainsLower(f.Def->Name, filterName_);
    return it->second;
}

const CanFrameModel::Frame& CanFrameModel::FrameAt(int row) const {
    return frames_[size_t(shown_[size_t(row)] - firstSerial_)];
}

std::vector<n2k::DecodedField> CanFrameModel::Fields(int row) const {
    if (row < 0 || size_t(row) >= shown_.size()) return {};
    const Frame& f = FrameAt(row);
    if (f.Def == nullptr) return {};
    const n2k::MessageBytes bytes =
        f.Whole ? n2k::MessageBytes{f.Whole->data(), 0, f.Whole->size()} : f.Bytes.View();
    return n2k::DecodeFields(*f.Def, bytes);
}

int CanFrameModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(shown_.size());
}

int CanFrameModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant CanFrameModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= int(shown_.size())) return {};
    const Frame& f = FrameAt(index.row());
    if (role == Qt::TextAlignmentRole && index.column() != NameColumn)
        return QVariant(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole) return {};
    const bool n2k = f.Bytes.N2k;
    switch (index.column()) {
        case TimeColumn: {
            const int t = f.Time;
            return QStringLiteral("%1:%2:%3.%4")
                .arg(t / 3600000, 2, 10, QLatin1Char('0'))
                .arg(t / 60000 % 60, 2, 10, QLatin1Char('0'))
                .arg(t / 1000 % 60, 2, 10, QLatin1Char('0'))
                .arg(t % 1000, 3, 10, QLatin1Char('0'));
        }
        case PgnColumn:
            return n2k ? QVariant(uint(f.Bytes.Id.Pgn)) : QVariant();
        case NameColumn:
            if (!n2k)
                return QString::fromStdString(CanFrameKindText(f.Record.Kind)).trimmed() +
                       QLatin1Char(' ') + Hex(f.Record.Identifier, 3);
            if (f.Def == nullptr) return QStringLiteral("Unknown PGN");
            if (f.Def->Pgn != f.Bytes.Id.Pgn)
                return QString::fromUtf8(f.Def->Name) + QStringLiteral(" (catch-all)");
            return QString::fromUtf8(f.Def->Name);
        case SourceColumn:
            return n2k ? QVariant(uint(f.Bytes.Id.Source)) : QVariant();
        case DestinationColumn:
            if (!n2k) return {};
            return f.Bytes.Id.Destination == n2k::Global ? QStringLiteral("all")
                                                         : QString::number(f.Bytes.Id.Destination);
        case PriorityColumn:
            return n2k ? QVariant(uint(f.Bytes.Id.Priority)) : QVariant();
        default:
            return {};
    }
}

QVariant CanFrameModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const Headers[ColumnCount] = {"Time",   "PGN",         "Name",
                                                     "Source", "Destination", "Priority"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(Headers[section])
                                                 : QVariant();
}

}  // namespace korvan
