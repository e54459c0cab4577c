#include "app/table_model.h"

#include <QBrush>
#include <QColor>
#include <algorithm>

namespace korvan {

namespace {

const QColor MarkedCellColour(255, 214, 153);

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

QVariant ModuleTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const auto row = static_cast<size_t>(index.row());
    const std::string label = row < labels_.size() ? labels_[row] : std::string();
    switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            return Text(index.column() == 0 ? label : values_[row]);
        case Qt::ToolTipRole: {
            // The label in full (the column cuts long ones) and, on a settings row,
            // what the checks allow.
            QString tip = Text(label);
            if (row < ranges_.size())
                tip += QStringLiteral("\nAllowed: %1")
                           .arg(ranges_[row].empty() ? QStringLiteral("any number")
                                                     : Text(ranges_[row]));
            if (const CellCorrection* mark = MarkOf(index.row()))
                tip += QStringLiteral("\nThe checks would use %1").arg(Text(mark->Used));
            return tip;
        }
        case Qt::BackgroundRole:
            if (index.column() == 1 && MarkOf(index.row())) return QBrush(MarkedCellColour);
            return {};
        default:
            return {};
    }
}

bool ModuleTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || index.column() != 1 || index.row() >= rowCount()) return false;
    SetValue(index.row(), value.toString().toStdString());
    return true;
}

Qt::ItemFlags ModuleTableModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (editable_ && index.column() == 1) flags |= Qt::ItemIsEditable;
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

// Marks follow the typed texts of a table that holds settings.
void ModuleTableModel::Remark() {
    std::vector<CellCorrection> marks;
    if (checker_ && holdsSettings_) marks = checker_(values_);
    if (marks == marked_) return;
    marked_ = std::move(marks);
    if (rowCount() > 0) emit dataChanged(index(0, 1), index(rowCount() - 1, 1));
}

}  // namespace korvan
