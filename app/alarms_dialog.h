// The "Alarms..." dialog: the alarm rules as a table to edit (on or off, name,
// series, condition, threshold, hysteresis, delay, 12 V scaling, what the
// threshold counts from), with the defaults, and export and import as a file.
#pragma once

#include <QDialog>
#include <vector>

#include "app/user_dialogs.h"
#include "history/alarm_rules.h"

class QTableWidget;

namespace korvan {

class AlarmsDialog : public QDialog {
    Q_OBJECT
  public:
    AlarmsDialog(const std::vector<AlarmRule>& rules, UserDialogs& dialogs, QWidget* parent);

    // The rules as the table holds them; a row whose numbers do not read is
    // named in `error` and the result is empty.
    std::vector<AlarmRule> Rules(QString* error) const;
    QTableWidget* Table() const { return table_; }
    void Show(const std::vector<AlarmRule>& rules);
    void Export();
    void Import();
    // Closes only when every row reads.
    void accept() override;

  private:
    void AddRow(const AlarmRule& rule);

    UserDialogs& dialogs_;
    QTableWidget* table_;
};

}  // namespace korvan
