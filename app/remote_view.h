// The window's side of remote support: the chat box and the "Support" panel, the
// support domain and session codes, the owner's consent to settings from support,
// the check marks the roles change and the relay exchange cue.
#pragma once

#include <QObject>
#include <QString>

#include "app/user_dialogs.h"
#include "app/window_ui.h"
#include "session/system_session.h"

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
    void ShowHistory();

  private:
    void ShowPanel();
    void AskConsent(const SystemData& now, const SystemData& received);
    void ChatLine(ChatSide side, const QString& text);
    void ShowCue(bool busy);

    QMainWindow& window_;
    WindowUi& ui_;
    SystemSession& session_;
    UserDialogs& dialogs_;
};

}  // namespace korvan
