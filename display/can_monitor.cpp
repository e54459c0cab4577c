#include "display/can_monitor.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QEvent>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSplitter>
#include <QTextBlock>
#include <QTime>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "display/can_decoded_view.h"
#include "display/can_format.h"
#include "display/can_frame_model.h"

namespace korvan {

namespace {

// Every field of a line, at its widest: the time, the length, the identifier in
// both views (a CAN identifier has at most 29 bits), a data byte in both views.
constexpr const char* WidestFields[] = {"00:00:00.000", "255 bytes", "ID=0xFFFFFFFF",
                                        "ID=536870911", "b7=0xFF",   "b7=255"};

// One stop distance for the whole line, so that every column starts on a stop
// whatever the kind and the view. A field must end before the next stop; a kind
// text with k TABs must land on the third stop after its start, so it must reach
// stop 3 - k and end before stop 4 - k. In a fixed-pitch font the range this
// leaves is wide enough; the middle of it keeps a gap on both sides.
qreal ColumnTabStop(const QFontMetricsF& fm) {
    qreal lower = 0;
    qreal upper = 1e9;
    for (const char* field : WidestFields)
        lower = std::max(lower, fm.horizontalAdvance(QLatin1String(field)));
    for (uint8_t kind = 0; kind < CanFrameKindCount; ++kind) {
        const QString text = QString::fromStdString(CanFrameKindText(kind));
        const int tabs = int(text.count(QLatin1Char('\t')));
        const qreal width = fm.horizontalAdvance(text.trimmed());
        lower = std::max(lower, width / (4 - tabs));
        if (tabs < 3) upper = std::min(upper, width / (3 - tabs));
    }
    return upper > lower ? (lower + upper) / 2 : std::ceil(lower + 1);
}

QString TimeText(int msecsOfDay) {
    return QTime::fromMSecsSinceStartOfDay(msecsOfDay).toString(QStringLiteral("hh:mm:ss.zzz"));
}

QToolButton* NewButton(QAction* action, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setDefaultAction(action);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setFocusPolicy(Qt::StrongFocus);
    return button;
}

}  // namespace

CanMonitor::CanMonitor(QWidget* parent) : QWidget(parent) {
    CanLabel = new QLabel(QStringLiteral("Raw CAN Frames"), this);
    CanViewHexCheckBox = new QCheckBox(QStringLiteral("View in Hex"), this);
    CanViewHexCheckBox->setChecked(true);

    CanMemo = new QPlainTextEdit(this);
    CanMemo->setReadOnly(true);
    CanMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
    CanMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    CanMemo->setMaximumBlockCount(MaxLines);
    CanMemo->setUndoRedoEnabled(false);  // an undo history would grow with every line
    // Fixed pitch: the columns line up on tab stops of one width. Only the family
    // is set, so the size still follows the window's font.
    QFont mono;
    mono.setFamily(QFontDatabase::systemFont(QFontDatabase::FixedFont).family());
    mono.setStyleHint(QFont::TypeWriter);
    mono.setFixedPitch(true);
    CanMemo->setFont(mono);
    SetColumnStops();

    CanRxMemoPopupMenu = new QMenu(this);
    PauseCanWatch = CanRxMemoPopupMenu->addAction(QStringLiteral("Pause"));
    PauseCanWatch->setCheckable(true);
    ClearAllLines = CanRxMemoPopupMenu->addAction(QStringLiteral("Clear"));
    CopyToClipboard = CanRxMemoPopupMenu->addAction(QStringLiteral("Copy to Clipboard"));
    connect(ClearAllLines, &QAction::triggered, this, &CanMonitor::ClearAllLinesClick);
    connect(CopyToClipboard, &QAction::triggered, this, &CanMonitor::CopyToClipboardClick);

    CanMemo->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(CanMemo, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        CanRxMemoPopupMenu->popup(CanMemo->viewport()->mapToGlobal(pos));
    });

    PausedLabel = new QLabel(QStringLiteral("Paused"), this);
    PausedLabel->setObjectName(QStringLiteral("PausedLabel"));
    PausedLabel->setStyleSheet(
        QStringLiteral("QLabel { background: #ffd699; color: black; font-weight: bold; "
                       "padding: 1px 8px; }"));
    PausedLabel->hide();
    connect(PauseCanWatch, &QAction::toggled, PausedLabel, &QWidget::setVisible);

    PauseButton = NewButton(PauseCanWatch, this);
    ClearButton = NewButton(ClearAllLines, this);
    CopyButton = NewButton(CopyToClipboard, this);

    auto* top = new QHBoxLayout;
    top->addWidget(CanLabel);
    top->addWidget(PausedLabel);
    top->addStretch(1);
    top->addWidget(CanViewHexCheckBox);
    top->addWidget(PauseButton);
    top->addWidget(ClearButton);
    top->addWidget(CopyButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    DecodedView = new CanDecodedView(this);
    // The decoded view under the list, so that the list's lines keep the whole width.
    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(CanMemo);
    split->addWidget(DecodedView);
    split->setStretchFactor(0, 2);
    split->setStretchFactor(1, 3);
    split->setSizes({200, 300});  // scaled to the page's height when it is first laid out
    split->setChildrenCollapsible(false);
    layout->addWidget(split, 1);
    setTabOrder(CanViewHexCheckBox, PauseButton);
    setTabOrder(PauseButton, ClearButton);
    setTabOrder(ClearButton, CopyButton);
    setTabOrder(CopyButton, CanMemo);
    connect(CanViewHexCheckBox, &QCheckBox::toggled, this, &CanMonitor::Reformat);
    TrackScrolling();
    CanMemo->installEventFilter(this);
}

void CanMonitor::TrackScrolling() {
    // Where the user has the list, kept for the time its page is hidden.
    connect(CanMemo->verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int top) {
        if (hidden_) return;
        follow_ = AtEnd();
        top_ = top;
    });
    // The list lays itself out again in steps when its page comes back: at the end
    // it stays at the end.
    connect(CanMemo->verticalScrollBar(), &QScrollBar::rangeChanged, this, [this](int, int most) {
        if (follow_ && CanMemo->isVisible()) CanMemo->verticalScrollBar()->setValue(most);
    });
    connect(CanMemo->horizontalScrollBar(), &QScrollBar::valueChanged, this, [this](int left) {
        if (!hidden_) left_ = left;
    });
}

void CanMonitor::SetColumnStops() {
    CanMemo->setTabStopDistance(ColumnTabStop(QFontMetricsF(CanMemo->font())));
}

bool CanMonitor::Paused() const { return PauseCanWatch->isChecked(); }

bool CanMonitor::ViewInHex() const { return CanViewHexCheckBox->isChecked(); }

QString CanMonitor::LineText(const Captured& frame, bool hex) const {
    return TimeText(frame.MsecsOfDay) + QLatin1Char('\t') +
           QString::fromStdString(FormatCanFrame(frame.Record, hex));
}

void CanMonitor::AddFrameRecords(const uint8_t* answer) {
    for (size_t offset : CanFrameRecordOffsets) {
        const CanFrameRecord frame = ParseCanFrameRecord(answer + offset);
        if (frame.DataLength == 0) continue;
        const int now = QTime::currentTime().msecsSinceStartOfDay();
        captured_.push_back({now, frame});
        if (captured_.size() > size_t(MaxLines)) captured_.pop_front();
        ++unshown_;
        DecodedView->Model()->AddRecord(frame, now);
    }
    // A hidden list is written when it is shown (or read): laying out lines
    // nobody sees would cost the poll more than everything else it does.
    if (CanMemo->isVisible()) ShowUnshown();
}

void CanMonitor::ShowUnshown() const {
    const size_t count = std::min(unshown_, captured_.size());
    unshown_ = 0;
    if (count == 0) return;
    const bool hex = ViewInHex();
    QStringList lines;
    for (size_t i = captured_.size() - count; i < captured_.size(); ++i)
        lines << LineText(captured_[i], hex);
    AppendLines(lines.join(QLatin1Char('\n')), int(count));
}

void CanMonitor::Reformat() {
    QScrollBar* down = CanMemo->verticalScrollBar();
    const bool follow = AtEnd();
    const int top = down->value();
    const bool hex = ViewInHex();
    QStringList lines;
    for (const Captured& frame : captured_) lines << LineText(frame, hex);
    unshown_ = 0;
    CanMemo->setPlainText(lines.join(QLatin1Char('\n')));
    down->setValue(follow ? down->maximum() : top);
}

QString CanMonitor::CopyText(int first, int last) const {
    QStringList lines;
    const bool hex = ViewInHex();
    last = std::min(last, int(captured_.size()) - 1);
    for (int i = std::max(first, 0); i <= last; ++i) {
        const Captured& frame = captured_[size_t(i)];
        QStringList fields{TimeText(frame.MsecsOfDay)};
        for (const std::string& field : CanFrameColumns(frame.Record, hex))
            fields << QString::fromStdString(field);
        lines << fields.join(QLatin1Char('\t'));
    }
    return lines.join(QLatin1Char('\n'));
}

bool CanMonitor::AtEnd() const {
    // A hidden list is not laid out, so its scroll range is stale: it keeps
    // what it was when last seen.
    if (!CanMemo->isVisible()) return follow_;
    const QScrollBar* down = CanMemo->verticalScrollBar();
    return down->value() >= down->maximum();
}

// The view follows the newest line while it shows the end of the list, also
// while another page is shown; scrolled up, it stays on the lines the user is
// reading, also when the oldest line is dropped. Across, it stays where it was.
void CanMonitor::AppendLines(const QString& text, int count) const {
    QScrollBar* down = CanMemo->verticalScrollBar();
    QScrollBar* across = CanMemo->horizontalScrollBar();
    const bool follow = AtEnd();
    const int top = down->value();
    const int left = across->value();
    const int before = CanMemo->document()->isEmpty() ? 0 : CanMemo->blockCount();
    CanMemo->appendPlainText(text);
    // The text cursor at the start of the newest line: the list brings the cursor
    // into view when it is shown again, and at the end of a long line that would
    // scroll the time and kind columns out of sight.
    if (!CanMemo->textCursor().hasSelection())
        CanMemo->setTextCursor(QTextCursor(CanMemo->document()->lastBlock()));
    across->setValue(left);
    const int most = CanMemo->maximumBlockCount();
    const int dropped = most > 0 ? std::max(0, before + count - most) : 0;
    // The place kept for the page's return moves with the lines dropped.
    if (hidden_ && !follow_) top_ = std::max(0, top_ - dropped);
    if (!CanMemo->isVisible()) return;
    down->setValue(follow ? down->maximum() : std::max(0, top - dropped));
}

QStringList CanMonitor::Lines() const {
    ShowUnshown();
    QStringList lines;
    const QTextDocument* doc = CanMemo->document();
    if (doc->isEmpty()) return lines;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) lines << b.text();
    return lines;
}

bool CanMonitor::eventFilter(QObject* watched, QEvent* event) {
    if (watched == CanMemo &&
        (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) &&
        static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
        event->accept();
        if (event->type() == QEvent::KeyPress) CopySelectedLines();
        return event->type() == QEvent::KeyPress;
    }
    return QWidget::eventFilter(watched, event);
}

void CanMonitor::CopySelectedLines() {
    const QTextCursor cursor = CanMemo->textCursor();
    if (!cursor.hasSelection()) {
        CopyToClipboardClick();
        return;
    }
    const QTextDocument* doc = CanMemo->document();
    const int first = doc->findBlock(cursor.selectionStart()).blockNumber();
    const int last = doc->findBlock(cursor.selectionEnd()).blockNumber();
    QGuiApplication::clipboard()->setText(CopyText(first, last));
}

void CanMonitor::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    ShowUnshown();
    // Lines came while the page was hidden: the end, or the lines the user was
    // reading, once the list is laid out again. Until then the list's own moves
    // (it is shown before this page) are not the user's.
    QMetaObject::invokeMethod(
        this,
        [this] {
            QScrollBar* down = CanMemo->verticalScrollBar();
            down->setValue(follow_ ? down->maximum() : top_);
            // Showing brings the text cursor at the end of the last line into view.
            CanMemo->horizontalScrollBar()->setValue(left_);
            hidden_ = false;
        },
        Qt::QueuedConnection);
}

void CanMonitor::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    hidden_ = true;
}

void CanMonitor::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // The window's font reaches the memo after construction; the stops follow it.
    if (event->type() == QEvent::FontChange) SetColumnStops();
}

void CanMonitor::PauseCanWatchClick() { PauseCanWatch->toggle(); }

void CanMonitor::ClearAllLinesClick() {
    CanMemo->clear();
    captured_.clear();
    unshown_ = 0;
    DecodedView->Model()->Clear();
}

void CanMonitor::CopyToClipboardClick() {
    QScrollBar* down = CanMemo->verticalScrollBar();
    QScrollBar* across = CanMemo->horizontalScrollBar();
    const int top = down->value();
    const int left = across->value();
    QGuiApplication::clipboard()->setText(CopyText(0, int(captured_.size()) - 1));
    QTextCursor cursor = CanMemo->textCursor();
    cursor.clearSelection();
    CanMemo->setTextCursor(cursor);
    // The copy leaves the view where the user had it.
    down->setValue(top);
    across->setValue(left);
}

}  // namespace korvan
