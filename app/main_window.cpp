#include "app/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMenuBar>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

#include "app/keyboard.h"
#include "app/status_text.h"
#include "app/window_parts.h"
#include "display/outline_view.h"
#include "display/trends_view.h"
#include "model/values.h"

namespace korvan {

namespace {

const char* const StartCaption = "Ardexon KORVAN KX4 system";
const char* const UserModeTitle = "Ardexon KORVAN KX4 system [User Mode]";
constexpr int ClientWidth = 916;
constexpr int ClientHeight = 663;
constexpr qint64 MessagePanelMs = 5000;

// The user's decimal separator, as long as it is one byte; '.' otherwise.
char UserDecimalSeparator() { return DecimalSeparatorOf(QLocale().decimalPoint().toStdString()); }

// Escape hides the message panel; Ctrl+C in a table or a text box with a
// selection copies. True when the event was taken.
bool FilterKeys(QObject* watched, QEvent* event, QLabel* panel) {
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
        panel->hide();
    return TakeCopyKey(watched, event);
}

// The pointer crossing the menu bar or a menu sends empty status tips, each of
// which would wipe a notice from the status bar long before its time is up.
bool WipesNotice(QEvent* event, QStatusBar* bar) {
    return event->type() == QEvent::StatusTip &&
           static_cast<QStatusTipEvent*>(event)->tip().isEmpty() &&
           !bar->currentMessage().isEmpty();
}

// The window's name, caption and face as designed; its border can be resized
// and maximised, so that the plots and the frame list can be given more room.
void SetDesignLook(QMainWindow& window) {
    window.setObjectName(QStringLiteral("MainFormKX4"));
    window.setWindowTitle(QString::fromLatin1(StartCaption));
    QFont face = window.font();
    face.setFamily(QStringLiteral("MS Sans Serif"));
    face.setPixelSize(11);
    window.setFont(face);
}

}  // namespace

TMainFormKX4::Parts::Parts(QMainWindow& window, const WindowSeams& seams, char sep)
    : Session(seams, sep), Dialogs(*seams.Dialogs), Notices(window, *seams.Dialogs) {}

TMainFormKX4::TMainFormKX4(const WindowSeams& seams, QWidget* parent)
    : QMainWindow(parent), p_(std::make_unique<Parts>(*this, seams, UserDecimalSeparator())) {
    SetDesignLook(*this);

    WindowUi& ui = p_->Ui;
    SystemSession& session = p_->Session;
    BuildPages(this, ui, session.Records(), session.History());
    BuildMenus(this, ui);
    BuildStatusBar(this, ui);
    ui.USBTimer = session.Timer(PollTimer::Usb);
    ui.BTTimer = session.Timer(PollTimer::Bluetooth);
    ui.INETTimer = session.Timer(PollTimer::Relay);
    resize(ClientWidth, ClientHeight + menuBar()->sizeHint().height());
    p_->Tables = std::make_unique<ModuleTables>(ui, session.Records(), session.DecimalSeparator());
    p_->Remote = new RemoteSupportView(*this, ui, session, p_->Dialogs);
    p_->Files = std::make_unique<FileCommands>(*this, ui, p_->Flags, session, *p_->Tables,
                                               p_->Dialogs, p_->Notices);
    p_->History = new HistoryViews(*this, ui, session, seams, p_->Notices);
    LeaveTablesByTab(ui.PageControl);
    AddPageKeys(this, ui.PageControl);

    connect(ui.PageControl, &QTabWidget::currentChanged, this, &TMainFormKX4::PageControlChange);
    connect(ui.Outline, &OutlineView::FRSPlusButtonClick, this, &TMainFormKX4::FRSPlusButtonClick);
    connect(ui.TrendsTabSheet, &TrendsView::ExportRequested, this,
            [this](HistoryRange range) { p_->Files->ExportHistory(range); });
    connect(ui.Outline, &OutlineView::FRSMinusButtonClick, this,
            &TMainFormKX4::FRSMinusButtonClick);
    for (QAction* choice :
         {ui.ConnectionUSB, ui.ConnectionBlueTooth, ui.RemoteViaInternetToProvideSupport})
        connect(choice, &QAction::toggled, this, &TMainFormKX4::ChooseLink);
    ConnectSession();

    FormCreate();
    for (QTimer* timer : {ui.USBTimer, ui.BTTimer, ui.INETTimer}) timer->start();
}

TMainFormKX4::~TMainFormKX4() { qApp->removeEventFilter(this); }

WindowUi& TMainFormKX4::Ui() { return p_->Ui; }
WindowFlags& TMainFormKX4::Flags() { return p_->Flags; }
SystemSession& TMainFormKX4::Session() { return p_->Session; }
const SystemData& TMainFormKX4::Records() const { return p_->Session.Records(); }
UsbTransport& TMainFormKX4::Usb() { return p_->Session.Usb(); }
BtTransport& TMainFormKX4::Bt() { return p_->Session.Bt(); }
RemoteSupport& TMainFormKX4::Remote() { return p_->Session.Remote(); }
char TMainFormKX4::DecimalSeparator() const { return p_->Session.DecimalSeparator(); }
bool TMainFormKX4::CommandRunning() const { return p_->Session.CommandRunning(); }

void TMainFormKX4::FormCreate() {
    p_->Session.SetSupportDomain(DefaultSupportDomain);
    p_->Flags.SettingsLoaded = false;
    p_->Flags.ApplicationTitle = QString::fromLatin1(UserModeTitle);
    p_->Ui.ChargeProfileTabControl->hide();
    qApp->installEventFilter(this);

    p_->Tables->ResetAll();
    PageControlChange();
}

// The one place that looks at which connection is checked.
void TMainFormKX4::ChooseLink() {
    const WindowUi& ui = p_->Ui;
    if (ui.ConnectionBlueTooth->isChecked())
        p_->Session.Choose(Connection::Bluetooth);
    else if (ui.RemoteViaInternetToProvideSupport->isChecked())
        p_->Session.Choose(Connection::RemoteSupport);
    else
        p_->Session.Choose(Connection::Usb);
}

void TMainFormKX4::PageControlChange() {
    UpdateCanPage();
    // The gauges show the last state at once, even while a command holds the polls.
    RefreshOutline();
    // The pages of gauges and plots take the whole screen; leaving them gives the
    // window back its size, unless the user had maximised it.
    QWidget* page = p_->Ui.PageControl->currentWidget();
    const bool wide = page == p_->Ui.OutlineTabSheet || page == p_->Ui.TrendsTabSheet;
    if (wide && !isMaximized()) {
        p_->MaximisedForPage = true;
        setWindowState(windowState() | Qt::WindowMaximized);
    } else if (!wide && std::exchange(p_->MaximisedForPage, false) && isMaximized()) {
        setWindowState(windowState() & ~Qt::WindowMaximized);
    }
}

bool TMainFormKX4::eventFilter(QObject* watched, QEvent* event) {
    QLabel* panel = p_->Ui.MessagePanel;
    if (FilterKeys(watched, event, panel) || WipesNotice(event, statusBar())) return true;
    const QDateTime& shownAt = p_->Flags.MessageShownAt;
    if (!panel->isHidden() && shownAt.isValid() &&
        shownAt.msecsTo(QDateTime::currentDateTime()) > MessagePanelMs)
        panel->hide();
    return QMainWindow::eventFilter(watched, event);
}

// Closing during a write: the user waits for its end or stops it at the next
// report boundary; either way the window closes when the write has ended and
// has said what was written.
void TMainFormKX4::closeEvent(QCloseEvent* event) {
    if (!p_->Session.CommandRunning()) {
        if (p_->Notices.MayDropEdits(p_->Tables->HasEdits(),
                                     QStringLiteral("Closing the tool loses them."),
                                     QStringLiteral("Close")))
            QMainWindow::closeEvent(event);
        else
            event->ignore();
        return;
    }
    event->ignore();
    if (p_->CloseWhenDone) return;
    p_->CloseWhenDone = true;
    if (!p_->Dialogs.Ask(this, QStringLiteral("A command is running"),
                         QStringLiteral("The system is still being written to. Wait until "
                                        "the write has ended, or stop it after the report "
                                        "now being sent?"),
                         QStringLiteral("Wait"), QStringLiteral("Stop")))
        p_->Session.RequestStop();
}

void TMainFormKX4::Exit1Click() {
    p_->Session.CloseLinks();
    close();
}

void TMainFormKX4::SaveSettingsToFileClick() { p_->Files->Save(); }
void TMainFormKX4::LoadSettingsFromFileClick() { p_->Files->Load(); }
void TMainFormKX4::RestoreSettingsFromBackupClick() { p_->Files->RestoreBackup(); }
void TMainFormKX4::EnableDataLoggingToFileClick() { p_->Files->ToggleDataLog(); }
void TMainFormKX4::ExportHistoryToCsvClick() { p_->Files->ExportHistory(std::nullopt); }
void TMainFormKX4::SendChatMessageClick() { p_->Remote->SendChat(); }
void TMainFormKX4::SupportDomain1Click() { p_->Remote->ChangeDomain(); }
void TMainFormKX4::NewSupportSessionClick() { p_->Remote->NewSession(); }
void TMainFormKX4::JoinSupportSessionClick() { p_->Remote->JoinSession(); }
void TMainFormKX4::EndSupportSessionClick() { p_->Remote->EndSession(); }
void TMainFormKX4::SupportChatHistoryClick() { p_->Remote->ShowHistory(); }

void TMainFormKX4::ConnectionUSBClick() { p_->Ui.ConnectionUSB->setChecked(true); }
void TMainFormKX4::ConnectionBlueToothClick() { p_->Ui.ConnectionBlueTooth->setChecked(true); }
void TMainFormKX4::RemoteViaInternetToProvideSupportClick() {
    p_->Ui.RemoteViaInternetToProvideSupport->setChecked(true);
}

void TMainFormKX4::FRSPlusButtonClick() { p_->Session.PressFrsPlus(); }
void TMainFormKX4::FRSMinusButtonClick() { p_->Session.PressFrsMinus(); }

void TMainFormKX4::SetStatusText(const QString& text) {
    QLabel* status = p_->Ui.StatusText;
    const QString line = QString::fromStdString(OneLineStatus(text.toStdString()));
    if (status->text() != line) status->setText(line);
    status->setToolTip(text);
}

void TMainFormKX4::ShowPanelMessage(const std::string& text) {
    p_->Ui.MessagePanel->setText(QString::fromStdString(text));
    p_->Ui.MessagePanel->show();
    p_->Flags.MessageShownAt = QDateTime::currentDateTime();
}

void TMainFormKX4::RefreshOutline() {
    if (p_->Ui.Outline) p_->Ui.Outline->RefreshOutline();
}

}  // namespace korvan
