#include "app/main_window.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextEdit>
#include <QTimer>

#include "app/status_text.h"
#include "display/can_monitor.h"
#include "display/outline_view.h"

namespace korvan {

namespace {

const char* const StartCaption = "Ardexon KORVAN KX4 system";
const char* const UserModeTitle = "Ardexon KORVAN KX4 system [User Mode]";
constexpr int ClientWidth = 916;
constexpr int ClientHeight = 663;
constexpr qint64 MessagePanelMs = 5000;

// Without a relay the support roles still run; every exchange fails with this text.
class NoRelay : public RelayTransport {
  public:
    bool RelayExchange(RelayState& state) override {
        state.RelayStatusText = "Remote support is not available in this program";
        return false;
    }
};

// The user's decimal separator, as long as it is one byte; '.' otherwise.
char UserDecimalSeparator() {
    const QString point = QLocale().decimalPoint();
    if (point.size() == 1 && point.at(0).unicode() < 0x80) return point.at(0).toLatin1();
    return '.';
}

// A focused text box with selected text keeps Ctrl+C as copy.
bool TextWidgetWantsCopy(QWidget* focus) {
    if (auto* plain = qobject_cast<QPlainTextEdit*>(focus))
        return plain->textCursor().hasSelection();
    if (auto* rich = qobject_cast<QTextEdit*>(focus)) return rich->textCursor().hasSelection();
    if (auto* line = qobject_cast<QLineEdit*>(focus)) return line->hasSelectedText();
    return false;
}

}  // namespace

TMainFormKX4::TMainFormKX4(const WindowSeams& seams, QWidget* parent)
    : QMainWindow(parent),
      usb_(*seams.Hid),
      bt_(*seams.Serial, *seams.Bluetooth),
      waiter_(*seams.Wait),
      dialogs_(*seams.Dialogs),
      sep_(UserDecimalSeparator()) {
    setObjectName(QStringLiteral("MainFormKX4"));
    setWindowTitle(QString::fromLatin1(StartCaption));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    QFont face = font();
    face.setFamily(QStringLiteral("MS Sans Serif"));
    face.setPixelSize(11);
    setFont(face);

    BuildPages();
    BuildMenus();
    BuildStatusBar();
    SetFixedClientSize();

    relay_ = seams.MakeRelay ? seams.MakeRelay(this) : nullptr;
    if (!relay_) relay_ = std::make_unique<NoRelay>();
    remote_ = std::make_unique<RemoteSupport>(*this, *relay_);

    struct TimerRow {
        QTimer* TMainFormKX4::*Timer;
        int PeriodMs;
        void (TMainFormKX4::*Handler)();
    };
    static constexpr TimerRow Timers[] = {
        {&TMainFormKX4::USBTimer, 500, &TMainFormKX4::USBTimerTimer},
        {&TMainFormKX4::BTTimer, 1000, &TMainFormKX4::BTTimerTimer},
        {&TMainFormKX4::INETTimer, 2000, &TMainFormKX4::INETTimerTimer},
    };
    for (const TimerRow& row : Timers) {
        auto* timer = new QTimer(this);
        timer->setInterval(row.PeriodMs);
        connect(timer, &QTimer::timeout, this, row.Handler);
        this->*row.Timer = timer;
    }

    connect(PageControl, &QTabWidget::currentChanged, this, &TMainFormKX4::PageControlChange);
    connect(Outline, &OutlineView::FRSPlusButtonClick, this, &TMainFormKX4::FRSPlusButtonClick);
    connect(Outline, &OutlineView::FRSMinusButtonClick, this, &TMainFormKX4::FRSMinusButtonClick);

    FormCreate();
    for (const TimerRow& row : Timers) (this->*row.Timer)->start();
}

TMainFormKX4::~TMainFormKX4() { qApp->removeEventFilter(this); }

void TMainFormKX4::FormCreate() {
    remote_->State.SupportDomain = DefaultSupportDomain;
    SettingsLoaded = false;
    FrsPlusPending = false;
    FrsMinusPending = false;
    ApplicationTitle = QString::fromLatin1(UserModeTitle);
    ChargeProfileTabControl->hide();
    qApp->installEventFilter(this);

    ResetAllTables();
    PageControlChange();
}

// A fixed border: the client area keeps its design size; the menu bar sits above it.
void TMainFormKX4::SetFixedClientSize() {
    setFixedSize(ClientWidth, ClientHeight + menuBar()->sizeHint().height());
}

void TMainFormKX4::PageControlChange() {
    if (PageControl->currentWidget() == OutlineTabSheet) {
        if (isMaximized()) return;
        // A fixed-size window cannot grow: free it for the maximised state.
        setMinimumSize(0, 0);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        setWindowState(windowState() | Qt::WindowMaximized);
        return;
    }
    if (isMaximized()) setWindowState(windowState() & ~Qt::WindowMaximized);
    SetFixedClientSize();
}

bool TMainFormKX4::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress:
            if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) MessagePanel->hide();
            break;
        case QEvent::ShortcutOverride: {
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->matches(QKeySequence::Copy) &&
                TextWidgetWantsCopy(QApplication::focusWidget()))
                event->accept();  // the text box gets the key press and copies
            break;
        }
        default:
            break;
    }
    if (!MessagePanel->isHidden() && MessageShownAt.isValid() &&
        MessageShownAt.msecsTo(QDateTime::currentDateTime()) > MessagePanelMs)
        MessagePanel->hide();
    return QMainWindow::eventFilter(watched, event);
}

void TMainFormKX4::closeEvent(QCloseEvent* event) {
    // A settings command in a message-processing wait finishes first.
    if (commandRunning_) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void TMainFormKX4::Exit1Click() {
    usb_.Close();
    bt_.Close();
    close();
}

void TMainFormKX4::ConnectionUSBClick() { ConnectionUSB->setChecked(true); }
void TMainFormKX4::ConnectionBlueToothClick() { ConnectionBlueTooth->setChecked(true); }
void TMainFormKX4::RemoteViaInternetToProvideSupportClick() {
    RemoteViaInternetToProvideSupport->setChecked(true);
}

void TMainFormKX4::FRSPlusButtonClick() { FrsPlusPending = true; }
void TMainFormKX4::FRSMinusButtonClick() { FrsMinusPending = true; }

void TMainFormKX4::SetStatusText(const std::string& text) {
    const QString line = QString::fromStdString(OneLineStatus(text));
    if (StatusText->text() != line) StatusText->setText(line);
    StatusText->setToolTip(QString::fromStdString(text));
}

void TMainFormKX4::ShowMessage(MessageKind kind, const char* text) {
    dialogs_.ShowMessage(this, kind, QString::fromUtf8(text));
}

}  // namespace korvan
