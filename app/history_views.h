// The window's side of the stored history, the event log and the alarms: the
// "Events" page, the "Alarms..." dialog with the rules kept in the user's
// settings, raised and cleared alarms in the status bar (a notice, and the
// names of the raised ones for as long as they are) and as desktop
// notifications, and the history store's notices.
#pragma once

#include <QObject>
#include <QString>

#include "app/main_window.h"
#include "app/user_dialogs.h"
#include "app/window_ui.h"
#include "session/system_session.h"

class QLabel;
class QMainWindow;

namespace korvan {

class AlarmsDialog;
class EventLogPage;
class WindowNotices;

class HistoryViews : public QObject {
  public:
    // The rules are kept in the seams' AlarmSettings file; none: the defaults, not kept.
    HistoryViews(QMainWindow& window, WindowUi& ui, SystemSession& session,
                 const WindowSeams& seams, WindowNotices& notices);

    EventLogPage* Events() const { return events_; }
    // In the status bar while alarms are raised: their names; hidden when none is.
    QLabel* ActiveAlarms() const { return active_; }
    // Opens the dialog (not modal to the event loop); its OK applies and keeps the rules.
    AlarmsDialog* EditAlarms();
    void ApplyAlarms(const std::vector<AlarmRule>& rules);

  private:
    void AlarmChanged(const QString& text, bool raised);

    QMainWindow& window_;
    SystemSession& session_;
    UserDialogs& dialogs_;
    WindowNotices& notices_;
    QString alarmSettings_;
    EventLogPage* events_;
    QLabel* active_;
};

}  // namespace korvan
