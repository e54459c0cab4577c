// The "Events" page: the session's event log, newest first, filtered by kind and
// by a word, and exported to CSV as the filter shows it.
#pragma once

#include <QWidget>

#include "app/user_dialogs.h"
#include "history/history_event.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace korvan {

class SystemSession;

class EventLogPage : public QWidget {
    Q_OBJECT
  public:
    EventLogPage(SystemSession& session, UserDialogs& dialogs, QWidget* parent);

    EventFilter Filter() const;
    QTableWidget* Table() const { return table_; }
    QComboBox* KindBox() const { return kind_; }
    QLineEdit* TextBox() const { return text_; }
    // Asks for a file and writes the events that the filter shows.
    void Export();

  private:
    void Refill();
    void Add(const HistoryEvent& event);
    void SetRow(int row, const HistoryEvent& event);

    SystemSession& session_;
    UserDialogs& dialogs_;
    QComboBox* kind_;
    QLineEdit* text_;
    QPushButton* export_;
    QTableWidget* table_;
};

}  // namespace korvan
