// The window's side of remote support: the chat box and the "Support" panel, the
// support domain and session codes, the owner's consent to settings from support,
// the check marks the roles change and the relay exchange cue.
#pragma once

#include <QObject>
#include <QString>

#include "app/user_dialogs.h"
#include "app/window_ui.h"
#include "session/system_session.h"

class QLabel;
class QMainWindow;

namespace korvan {

class RemoteSupportView : public QObject {
  public:
    RemoteSupportView(QMainWindow& window, WindowUi& ui, SystemSession& session,
                      UserDialogs& dialogs);

    void SendChat();
    void ChangeDomain();
    void NewSession();
    void JoinSession();
    void EndSession();
    void ShowHistory();

  private:
    void ShowPanel();
    void AskConsent(const SystemData& now, const SystemData& received, const SystemData& checked);
    void ShowSessionState(const SupportSessionStatus& status);
    // The customer's values stay in view, marked as old, once sharing stopped.
    void MarkStale(bool stale);
    void ChatLine(ChatSide side, const QString& text);
    void ShowCue(bool busy);

    QMainWindow& window_;
    WindowUi& ui_;
    SystemSession& session_;
    UserDialogs& dialogs_;
    QLabel* sessionState_;  // in the status bar
    bool stale_ = false;
};

}  // namespace korvan
