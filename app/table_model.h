// The texts of one two-column module table: labels and values. The settings
// tables edit their value column; the model knows each row's allowed range and
// marks, while the user types, a value the checks would replace.
#pragma once

#include <QAbstractTableModel>
#include <functional>
#include <string>
#include <vector>

#include "model/values.h"

namespace korvan {

class ModuleTableModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    // What the read-back and checks would make of the typed values.
    using Checker = std::function<std::vector<CellCorrection>(const std::vector<std::string>&)>;

    ModuleTableModel(bool editable, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The empty form: the labels, "-" in every value cell; holds no settings.
    void Reset(const std::vector<std::string>& labels);
    // Row count := number of values; holds what the records say.
    void Fill(const std::vector<std::string>& values);
    std::vector<std::string> Values() const;
    const std::string& Value(int row) const { return values_[static_cast<size_t>(row)]; }
    void SetValue(int row, const std::string& text);
    bool HoldsSettings() const { return holdsSettings_; }
    bool Editable() const { return editable_; }

    void SetRanges(std::vector<std::string> ranges) { ranges_ = std::move(ranges); }
    std::string Label(int row) const;
    std::string Range(int row) const;  // "" when no check bounds the row
    void SetChecker(Checker checker) { checker_ = std::move(checker); }
    // Rows the checks would change, with what they would use instead.
    const std::vector<CellCorrection>& Marked() const { return marked_; }

  private:
    void SetRowCount(int rows);
    void Remark();
    const CellCorrection* MarkOf(int row) const;

    bool editable_;
    bool holdsSettings_ = false;
    std::vector<std::string> labels_;
    std::vector<std::string> values_;
    std::vector<std::string> ranges_;
    Checker checker_;
    std::vector<CellCorrection> marked_;
};

}  // namespace korvan
