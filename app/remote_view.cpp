#include "app/remote_view.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QLabel>
#include <QMainWindow>
#include <QScreen>
#include <QStatusBar>
#include <QTableView>
#include <QTime>

#include "app/support_panel.h"
#include "display/outline_view.h"
#include "model/settings_fields.h"
#include "relay/support_consent.h"
#include "relay/support_session.h"

namespace korvan {

RemoteSupportView::RemoteSupportView(QMainWindow& window, WindowUi& ui, SystemSession& session,
                                     UserDialogs& dialogs)
    : QObject(&window),
      window_(window),
      ui_(ui),
      session_(session),
      dialogs_(dialogs),
      sessionState_(new QLabel(window.statusBar())) {
    sessionState_->setObjectName(QStringLiteral("SupportSessionState"));
    window.statusBar()->addPermanentWidget(sessionState_);
    sessionState_->hide();
    ui_.EndSupportSession->setEnabled(false);
    auto* panel = new SupportPanel(&window);
    ui_.Support = panel;
    window.addDockWidget(Qt::RightDockWidgetArea, panel);
    // Floating, so that the fixed-size window keeps its pages whole until the
    // user docks it.
    panel->setFloating(true);
    panel->hide();
    connect(panel, &SupportPanel::SendLine, this,
            [this](const QString& text) { session_.SendChat(text.toStdString()); });
    connect(panel, &SupportPanel::EndRequested, this, &RemoteSupportView::EndSession);

    SystemSession* s = &session_;
    connect(s, &SystemSession::ChatLine, this, &RemoteSupportView::ChatLine);
    connect(s, &SystemSession::ConsentNeeded, this, &RemoteSupportView::AskConsent);
    connect(s, &SystemSession::ConnectionError, this, [this](const QString& text) {
        dialogs_.ShowMessage(&window_, MessageKind::Error, text);
    });
    connect(s, &SystemSession::ShareDataChanged, ui_.ShareDataWithSupport, &QAction::setChecked);
    connect(ui_.ShareDataWithSupport, &QAction::toggled, s, &SystemSession::SetShareData);
    connect(s, &SystemSession::ConnectionChanged, this, [this](Connection connection) {
        if (connection == Connection::Usb) ui_.ConnectionUSB->setChecked(true);
    });
    connect(s, &SystemSession::SendChatEnabled, this, [this](bool enabled) {
        ui_.SendChatMessage->setEnabled(enabled);
        ui_.Support->SetSendEnabled(enabled);
    });
    connect(s, &SystemSession::RelayBusy, this, &RemoteSupportView::ShowCue);
    connect(s, &SystemSession::SupportSessionChanged, this, &RemoteSupportView::ShowSessionState);
    connect(s, &SystemSession::StatePolled, this, [this] { MarkStale(false); });
}

// The same line in the status bar and in the "Support" panel.
void RemoteSupportView::ShowSessionState(const SupportSessionStatus& status) {
    QString seen;
    if (status.LastSeen) {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
            status.LastSeen->time_since_epoch());
        seen = QDateTime::fromMSecsSinceEpoch(ms.count()).toString(QStringLiteral("HH:mm:ss"));
    }
    const QString text = QString::fromStdString(SupportSessionText(status, seen.toStdString()));
    sessionState_->setText(text);
    sessionState_->setVisible(!text.isEmpty());
    ui_.Support->SetSessionText(text);
    ui_.EndSupportSession->setEnabled(!text.isEmpty());
    if (status.CustomerStopped) MarkStale(true);
}

void RemoteSupportView::MarkStale(bool stale) {
    if (stale == stale_) return;
    stale_ = stale;
    const QString why = stale ? QString::fromLatin1(SharingStoppedText) : QString();
    for (ModuleId module : AllModules) {
        QTableView* table = ui_.Module(module).StateStringGrid;
        QPalette palette = table->palette();
        const QPalette::ColorGroup group = stale ? QPalette::Disabled : QPalette::Active;
        palette.setColor(QPalette::Active, QPalette::Text,
                         QApplication::palette().color(group, QPalette::Text));
        palette.setColor(QPalette::Inactive, QPalette::Text,
                         QApplication::palette().color(group, QPalette::Text));
        table->setPalette(palette);
        table->setToolTip(why);
    }
    ui_.Outline->SetStale(why);
}

// The window's background darkens while the relay is asked.
void RemoteSupportView::ShowCue(bool busy) {
    QPalette palette = window_.palette();
    palette.setColor(QPalette::Window,
                     QApplication::palette().color(busy ? QPalette::Dark : QPalette::Button));
    window_.setAutoFillBackground(true);
    window_.setPalette(palette);
}

// The polls go on while the chat box is open.
void RemoteSupportView::SendChat() {
    QString text;
    if (dialogs_.InputText(&window_, QStringLiteral("Send a chat"), QStringLiteral("Message"),
                           text) &&
        !text.isEmpty())
        session_.SendChat(text.toStdString());
}

// Pre-filled with the domain in use, the relay and the session code named above
// it; cancelling keeps it.
void RemoteSupportView::ChangeDomain() {
    const std::string now = session_.SupportDomain();
    const std::string code = SessionCodeOf(now);
    const QString prompt =
        QStringLiteral("Relay now: %1, session code: %2\n\nDomain Name")
            .arg(QString::fromStdString(SupportHost(now)),
                 code.empty() ? QStringLiteral("none") : QString::fromStdString(code));
    QString domain = QString::fromStdString(now);
    if (!dialogs_.InputText(&window_, QStringLiteral("Remote Support"), prompt, domain)) return;
    session_.SetSupportDomain(domain.trimmed().toStdString());
}

// A fresh code from the system's random source after the relay's host; the
// technician reads it to the customer.
void RemoteSupportView::NewSession() {
    std::string error;
    const std::string code = MakeSessionCode(error);
    if (code.empty()) {
        dialogs_.ShowMessage(&window_, MessageKind::Error, QString::fromStdString(error));
        return;
    }
    SystemSession& session = session_;
    session.SetSupportDomain(SessionDomain(session.SupportDomain(), code));
    // A new session is the technician's: it starts at once, whichever was chosen first.
    ui_.RemoteViaInternetToProvideSupport->setChecked(true);
    ShowPanel();
    dialogs_.ShowSessionCode(&window_, QString::fromStdString(code));
}

// Either side: the other side is told, and the code is dropped from the domain.
void RemoteSupportView::EndSession() {
    SystemSession& session = session_;
    if (ui_.ShareDataWithSupport->isChecked())
        ui_.ShareDataWithSupport->setChecked(false);
    else
        session.EndSupportSession();
    session.SetSupportDomain(SupportHost(session.SupportDomain()));
}

// The customer types the code read out to them; the relay's host stays.
void RemoteSupportView::JoinSession() {
    QString entered;
    if (!dialogs_.InputText(&window_, QStringLiteral("Join Support Session"),
                            QStringLiteral("Session Code"), entered))
        return;
    // Blanks around a code and small letters are the reader's, not the code's:
    // the codes the tool makes are capitals and digits.
    const std::string code = entered.trimmed().toUpper().toStdString();
    if (!ValidSessionCode(code)) {
        dialogs_.ShowMessage(
            &window_, MessageKind::Warning,
            QStringLiteral("A session code has 8 to 64 letters, digits and '-' and nothing else"));
        return;
    }
    SystemSession& session = session_;
    session.SetSupportDomain(SessionDomain(session.SupportDomain(), code));
    ui_.ShareDataWithSupport->setChecked(true);
    ShowPanel();
}

void RemoteSupportView::ShowHistory() {
    ShowPanel();
    ui_.Support->raise();
}

void RemoteSupportView::ShowPanel() {
    SupportPanel* panel = ui_.Support;
    if (!panel->isHidden()) return;
    QScreen* screen = window_.screen();
    if (panel->isFloating() && screen)
        panel->move(SupportPanel::PlaceBeside(
            window_.frameGeometry(), panel->frameGeometry().size(), screen->availableGeometry()));
    panel->show();
}

// What the write would change, field by field; the answer goes back to the
// customer role, which went on sharing meanwhile.
void RemoteSupportView::AskConsent(const SystemData& now, const SystemData& received,
                                   const SystemData& checked) {
    std::vector<SettingsChangeRow> rows;
    for (const WriteChange& change :
         ChangesOfWrite(now, received, checked, session_.DecimalSeparator())) {
        const QString note = change.Sent.empty()
                                 ? QString()
                                 : QStringLiteral("Support sent %1; this tool's checks changed it")
                                       .arg(QString::fromStdString(change.Sent));
        rows.push_back({QString::fromUtf8(settings_fields::SectionTitle(change.Sec)),
                        QString::fromStdString(change.Name), QString::fromStdString(change.Old),
                        QString::fromStdString(change.New), note});
    }
    session_.AnswerSupportSettings(
        dialogs_.ConfirmSettings(&window_, QStringLiteral("Settings from support"), rows));
}

void RemoteSupportView::ChatLine(ChatSide side, const QString& text) {
    ui_.Support->AddLine(
        QTime::currentTime().toString(QStringLiteral("HH:mm:ss")),
        side == ChatSide::Support ? QStringLiteral("SUPPORT") : QStringLiteral("CLIENT"), text);
    ShowPanel();
}

}  // namespace korvan
