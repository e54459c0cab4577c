// The texts of one two-column module table: labels and values. The settings
// tables edit their value column; the model knows each row's allowed range and
// marks, while the user types, a value the checks would replace. It also marks
// what the user typed since the texts were last shown from the records, and a
// table whose texts the system has not confirmed (the link was lost, a write did
// not finish).
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

    // What the value texts carry besides themselves: the texts last shown from
    // the records (Fill, Reset) and why the system has not confirmed them ("" when
    // it has). A row whose text differs from its shown text is an edit not yet
    // written or read back.
    struct Edits {
        std::vector<std::string> Shown;
        std::string Unconfirmed;
    };
    const Edits& EditState() const { return edits_; }
    void SetEditState(Edits edits);
    bool Edited(int row) const;
    bool HasEdits() const;
    void SetUnconfirmed(const std::string& reason);
    // No editing while a command takes the texts to the system or brings new ones.
    void SetLocked(bool locked) { locked_ = locked; }
    // A row shown as dots until revealed; editing and Values() keep the text.
    void SetSecretRow(int row) { secretRow_ = row; }
    void Reveal(bool reveal);
    bool Masked(int row) const { return row == secretRow_ && !revealed_; }
    // The text as the table shows it: dots in place of a masked row's characters.
    QString Shown(int row, const std::string& text) const;

  private:
    void SetRowCount(int rows);
    void Remark();
    void ValuesChanged();
    QString ToolTip(int row) const;
    QVariant Look(int row, int role) const;
    const CellCorrection* MarkOf(int row) const;

    bool editable_;
    bool holdsSettings_ = false;
    std::vector<std::string> labels_;
    std::vector<std::string> values_;
    std::vector<std::string> ranges_;
    Checker checker_;
    std::vector<CellCorrection> marked_;
    Edits edits_;
    bool locked_ = false;
    int secretRow_ = -1;
    bool revealed_ = false;
};

}  // namespace korvan
