#include "app/history_views.h"

#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QSettings>
#include <QStatusBar>
#include <QTabWidget>
#ifdef KORVAN_DESKTOP_NOTIFICATIONS
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#endif

#include "app/alarms_dialog.h"
#include "app/event_log_page.h"
#include "app/feedback.h"

namespace korvan {

namespace {

const char* const RulesKey = "Alarms/Rules";

// The freedesktop notification service, asked without waiting for its answer:
// where no service runs, the status bar alone tells.
void DesktopNotification(const QString& title, const QString& text) {
#ifdef KORVAN_DESKTOP_NOTIFICATIONS
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    call << QStringLiteral("KORVAN KX4") << 0u << QString() << title << text << QStringList()
         << QVariantMap() << -1;
    QDBusConnection::sessionBus().asyncCall(call);
#else
    (void)title;
    (void)text;
#endif
}

}  // namespace

HistoryViews::HistoryViews(QMainWindow& window, WindowUi& ui, SystemSession& session,
                           const WindowSeams& seams, WindowNotices& notices)
    : QObject(&window),
      window_(window),
      session_(session),
      dialogs_(*seams.Dialogs),
      notices_(notices),
      alarmSettings_(seams.AlarmSettings),
      events_(new EventLogPage(session, dialogs_, ui.PageControl)),
      active_(new QLabel(&window)) {
    ui.PageControl->addTab(events_, QStringLiteral("Events"));
    active_->setObjectName(QStringLiteral("ActiveAlarms"));
    active_->setStyleSheet(QStringLiteral(
        "QLabel { background: #c62828; color: white; padding: 0 6px; font-weight: bold; }"));
    active_->hide();
    window.statusBar()->addPermanentWidget(active_);
    QAction* alarms = ui.OptionsMenu->addAction(QStringLiteral("&Alarms..."));
    alarms->setObjectName(QStringLiteral("Alarms"));
    connect(alarms, &QAction::triggered, this, [this] { EditAlarms(); });
    connect(&session_, &SystemSession::AlarmChanged, this, &HistoryViews::AlarmChanged);
    // Queued: the box waits for the user, and the poll that brought the notice ends first.
    connect(
        &session_, &SystemSession::StoreNotice, this,
        [this](const QString& text) {
            notices_.Notice(text);
            dialogs_.ShowMessage(&window_, MessageKind::Warning, text);
        },
        Qt::QueuedConnection);

    std::vector<AlarmRule> rules = DefaultAlarmRules();
    std::vector<std::string> unread;
    if (!alarmSettings_.isEmpty()) {
        const QSettings settings(alarmSettings_, QSettings::IniFormat);
        if (settings.contains(QString::fromLatin1(RulesKey)))
            rules = ParseAlarmRules(
                settings.value(QString::fromLatin1(RulesKey)).toString().toStdString(), &unread);
    }
    if (!unread.empty())
        notices_.Notice(QStringLiteral("%1 stored alarm rules could not be read and do not watch "
                                       "(Options > Alarms... shows the others).")
                            .arg(unread.size()));
    session_.SetAlarmRules(rules);
}

AlarmsDialog* HistoryViews::EditAlarms() {
    auto* dialog = new AlarmsDialog(session_.Alarms().Rules(), dialogs_, &window_);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this,
            [this, dialog] { ApplyAlarms(dialog->Rules(nullptr)); });
    dialog->open();
    return dialog;
}

void HistoryViews::ApplyAlarms(const std::vector<AlarmRule>& rules) {
    session_.SetAlarmRules(rules);
    if (alarmSettings_.isEmpty()) return;
    QSettings settings(alarmSettings_, QSettings::IniFormat);
    settings.setValue(QString::fromLatin1(RulesKey), QString::fromStdString(AlarmRulesText(rules)));
}

void HistoryViews::AlarmChanged(const QString& text, bool raised) {
    notices_.Notice(text);
    QStringList names;
    const AlarmEngine& alarms = session_.Alarms();
    for (size_t i = 0; i < alarms.Rules().size(); ++i)
        if (alarms.Raised(i)) names << QString::fromStdString(alarms.Rules()[i].Name);
    active_->setText(names.size() == 1 ? QStringLiteral("Alarm: ") + names[0]
                                       : QStringLiteral("%1 alarms: ").arg(names.size()) +
                                             names.join(QStringLiteral(", ")));
    active_->setToolTip(names.join(QLatin1Char('\n')));
    active_->setVisible(!names.isEmpty());
    DesktopNotification(raised ? QStringLiteral("KORVAN KX4 alarm") : QStringLiteral("KORVAN KX4"),
                        text);
}

}  // namespace korvan
