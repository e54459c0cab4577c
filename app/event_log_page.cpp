#include "app/event_log_page.h"

#include <QComboBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "session/system_session.h"

namespace korvan {

EventLogPage::EventLogPage(SystemSession& session, UserDialogs& dialogs, QWidget* parent)
    : QWidget(parent),
      session_(session),
      dialogs_(dialogs),
      kind_(new QComboBox(this)),
      text_(new QLineEdit(this)),
      export_(new QPushButton(QStringLiteral("Export to CSV..."), this)),
      table_(new QTableWidget(0, 3, this)) {
    setObjectName(QStringLiteral("EventsTabSheet"));
    kind_->addItem(QStringLiteral("All kinds"));
    for (EventKind k : EventKinds) kind_->addItem(QString::fromUtf8(EventKindName(k)));
    text_->setPlaceholderText(QStringLiteral("Filter"));
    text_->setClearButtonEnabled(true);
    auto* bar = new QHBoxLayout;
    bar->addWidget(new QLabel(QStringLiteral("Show:"), this));
    bar->addWidget(kind_);
    bar->addWidget(text_, 1);
    bar->addWidget(export_);
    table_->setHorizontalHeaderLabels(
        {QStringLiteral("Time"), QStringLiteral("Kind"), QStringLiteral("Event")});
    table_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->verticalHeader()->hide();
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(table_);

    connect(kind_, &QComboBox::currentIndexChanged, this, &EventLogPage::Refill);
    connect(text_, &QLineEdit::textChanged, this, &EventLogPage::Refill);
    connect(export_, &QPushButton::clicked, this, &EventLogPage::Export);
    connect(&session_, &SystemSession::EventLogged, this, [this](const HistoryEvent& event) {
        if (Filter().Matches(event)) Add(event);
    });
    Refill();
}

EventFilter EventLogPage::Filter() const {
    EventFilter filter;
    if (kind_->currentIndex() > 0) filter.Kind = EventKinds[kind_->currentIndex() - 1];
    filter.Text = text_->text().toStdString();
    return filter;
}

// The rows made at once, newest first: a month of events is many thousands.
void EventLogPage::Refill() {
    const EventFilter filter = Filter();
    std::vector<const HistoryEvent*> shown;
    const std::vector<HistoryEvent>& events = session_.Events();
    for (auto e = events.rbegin(); e != events.rend(); ++e)
        if (filter.Matches(*e)) shown.push_back(&*e);
    table_->setUpdatesEnabled(false);
    table_->setRowCount(0);
    table_->setRowCount(int(shown.size()));
    for (size_t r = 0; r < shown.size(); ++r) SetRow(int(r), *shown[r]);
    table_->setUpdatesEnabled(true);
}

// Newest first: each event goes on top; the oldest go as the session's log drops them.
void EventLogPage::Add(const HistoryEvent& event) {
    table_->insertRow(0);
    SetRow(0, event);
    if (size_t(table_->rowCount()) > SystemSession::EventLimit)
        table_->setRowCount(int(SystemSession::EventLimit));
}

void EventLogPage::SetRow(int row, const HistoryEvent& event) {
    const QDateTime time = QDateTime::fromMSecsSinceEpoch(event.Time.time_since_epoch().count());
    const QString cells[] = {time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                             QString::fromUtf8(EventKindName(event.Kind)),
                             QString::fromStdString(event.Text)};
    for (int c = 0; c < 3; ++c) table_->setItem(row, c, new QTableWidgetItem(cells[c]));
}

void EventLogPage::Export() {
    const QString path = dialogs_.SaveFileName(
        this, {QStringLiteral("Export Events to CSV"), QStringLiteral("CSV Files (*.csv)"),
               QStringLiteral("csv"), QStringLiteral("Events.csv")});
    if (path.isEmpty()) return;
    const std::filesystem::path file(path.toStdU16String());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) {
        dialogs_.ShowMessage(this, MessageKind::Error,
                             QStringLiteral("Cannot write %1: %2").arg(path, std::strerror(errno)));
        return;
    }
    const bool written = WriteEventsCsv(out, session_.Events(), Filter());
    out.close();
    if (written && out) return;
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
    dialogs_.ShowMessage(this, MessageKind::Error, QStringLiteral("Writing %1 failed.").arg(path));
}

}  // namespace korvan
