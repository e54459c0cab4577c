#include "app/table_model.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <algorithm>

namespace korvan {

namespace {

const QColor MarkedCellColour(255, 214, 153);
const QColor EditedColour(0, 0, 160);
const QColor UnconfirmedColour(128, 128, 128);
const QChar SecretDot(0x25CF);

QString Text(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

ModuleTableModel::ModuleTableModel(bool editable, QObject* parent)
    : QAbstractTableModel(parent), editable_(editable) {}

int ModuleTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(values_.size());
}

int ModuleTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

const CellCorrection* ModuleTableModel::MarkOf(int row) const {
    for (const CellCorrection& mark : marked_)
        if (static_cast<int>(mark.Row) == row) return &mark;
    return nullptr;
}

QString ModuleTableModel::Shown(int row, const std::string& text) const {
    const QString shown = Text(text);
    if (!Masked(row) || text == EmptyCell) return shown;
    return QString(shown.size(), SecretDot);
}

// The full label (the column cuts long ones) and, on a settings row, what the
// checks allow, what they would use, and whether the system has the text.
QString ModuleTableModel::ToolTip(int row) const {
    const auto at = static_cast<size_t>(row);
    QString tip = Text(at < labels_.size() ? labels_[at] : std::string());
    if (at < ranges_.size())
        tip += QStringLiteral("\nAllowed: %1")
                   .arg(ranges_[at].empty() ? QStringLiteral("any number") : Text(ranges_[at]));
    if (const CellCorrection* mark = MarkOf(row))
        tip += QStringLiteral("\nThe checks would use %1").arg(Shown(row, mark->Used));
    if (Edited(row)) tip += QStringLiteral("\nEdited: not yet written to the system");
    if (!edits_.Unconfirmed.empty())
        tip += QStringLiteral("\nNot confirmed by the system: %1").arg(Text(edits_.Unconfirmed));
    return tip;
}

// A replaced value on orange; an edit in bold; texts the system has not confirmed
// in grey.
QVariant ModuleTableModel::Look(int row, int role) const {
    switch (role) {
        case Qt::BackgroundRole:
            return MarkOf(row) ? QVariant(QBrush(MarkedCellColour)) : QVariant();
        case Qt::FontRole: {
            if (!Edited(row)) return {};
            QFont font;
            font.setBold(true);
            return font;
        }
        case Qt::ForegroundRole:
            if (!edits_.Unconfirmed.empty()) return QBrush(UnconfirmedColour);
            return Edited(row) ? QVariant(QBrush(EditedColour)) : QVariant();
        default:
            return {};
    }
}

QVariant ModuleTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const int row = index.row();
    const bool value = index.column() == 1;
    switch (role) {
        case Qt::DisplayRole:
            return value ? Shown(row, values_[static_cast<size_t>(row)]) : Text(Label(row));
        case Qt::EditRole:
            return Text(value ? values_[static_cast<size_t>(row)] : Label(row));
        case Qt::ToolTipRole:
            return ToolTip(row);
        default:
            return value ? Look(row, role) : QVariant();
    }
}

bool ModuleTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || index.column() != 1 || index.row() >= rowCount() || locked_)
        return false;
    SetValue(index.row(), value.toString().toStdString());
    return true;
}

Qt::ItemFlags ModuleTableModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (editable_ && !locked_ && index.column() == 1) flags |= Qt::ItemIsEditable;
    return flags;
}

void ModuleTableModel::SetRowCount(int rows) {
    const int now = rowCount();
    if (rows > now) {
        beginInsertRows({}, now, rows - 1);
        values_.resize(static_cast<size_t>(rows));
        endInsertRows();
    } else if (rows < now) {
        beginRemoveRows({}, rows, now - 1);
        values_.resize(static_cast<size_t>(rows));
        endRemoveRows();
    }
}

void ModuleTableModel::Reset(const std::vector<std::string>& labels) {
    labels_ = labels;
    SetRowCount(static_cast<int>(labels.size()));
    holdsSettings_ = false;
    const std::string empty(EmptyCell);
    std::fill(values_.begin(), values_.end(), empty);
    marked_.clear();
    edits_ = {values_, {}};
    if (!labels.empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, 1));
}

void ModuleTableModel::Fill(const std::vector<std::string>& values) {
    SetRowCount(static_cast<int>(values.size()));
    holdsSettings_ = true;
    // Unchanged cells are left alone so that a poll repaints only what moved.
    for (size_t row = 0; row < values.size(); ++row) {
        if (values_[row] == values[row]) continue;
        values_[row] = values[row];
        emit dataChanged(index(static_cast<int>(row), 1), index(static_cast<int>(row), 1));
    }
    // The state tables are filled at every poll and are never edited.
    if (editable_) SetEditState({values_, {}});
    Remark();
}

std::vector<std::string> ModuleTableModel::Values() const { return values_; }

std::string ModuleTableModel::Label(int row) const {
    return row >= 0 && static_cast<size_t>(row) < labels_.size() ? labels_[static_cast<size_t>(row)]
                                                                 : std::string();
}

std::string ModuleTableModel::Range(int row) const {
    return row >= 0 && static_cast<size_t>(row) < ranges_.size() ? ranges_[static_cast<size_t>(row)]
                                                                 : std::string();
}

void ModuleTableModel::SetValue(int row, const std::string& text) {
    if (row < 0 || row >= rowCount() || values_[static_cast<size_t>(row)] == text) return;
    values_[static_cast<size_t>(row)] = text;
    emit dataChanged(index(row, 1), index(row, 1));
    Remark();
}

bool ModuleTableModel::Edited(int row) const {
    const auto at = static_cast<size_t>(row);
    return editable_ && at < values_.size() && at < edits_.Shown.size() &&
           values_[at] != edits_.Shown[at];
}

bool ModuleTableModel::HasEdits() const {
    for (int row = 0; row < rowCount(); ++row)
        if (Edited(row)) return true;
    return false;
}

void ModuleTableModel::SetEditState(Edits edits) {
    if (edits.Shown == edits_.Shown && edits.Unconfirmed == edits_.Unconfirmed) return;
    edits_ = std::move(edits);
    ValuesChanged();
}

void ModuleTableModel::SetUnconfirmed(const std::string& reason) {
    SetEditState({edits_.Shown, reason});
}

void ModuleTableModel::Reveal(bool reveal) {
    if (revealed_ == reveal) return;
    revealed_ = reveal;
    ValuesChanged();
}

void ModuleTableModel::ValuesChanged() {
    if (rowCount() > 0) emit dataChanged(index(0, 1), index(rowCount() - 1, 1));
}

// Marks follow the typed texts of a table that holds settings.
void ModuleTableModel::Remark() {
    std::vector<CellCorrection> marks;
    if (checker_ && holdsSettings_) marks = checker_(values_);
    if (marks == marked_) return;
    marked_ = std::move(marks);
    ValuesChanged();
}

}  // namespace korvan
