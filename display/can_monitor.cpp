#include "display/can_monitor.h"

#include <QAction>
#include <QCheckBox>
#include <QEvent>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QHBoxLayout>
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
}

void CanMonitor::SetColumnStops() {
    CanMemo->setTabStopDistance(ColumnTabStop(QFontMetricsF(CanMemo->font())));
}

bool CanMonitor::Paused() const { return PauseCanWatch->isChecked(); }

bool CanMonitor::ViewInHex() const { return CanViewHexCheckBox->isChecked(); }

void CanMonitor::AddFrameRecords(const uint8_t* answer) {
    const bool hex = ViewInHex();
    for (size_t offset : CanFrameRecordOffsets) {
        const CanFrameRecord frame = ParseCanFrameRecord(answer + offset);
        if (frame.DataLength == 0) continue;
        const QTime now = QTime::currentTime();
        AppendLine(now.toString(QStringLiteral("hh:mm:ss.zzz")) + QLatin1Char('\t') +
                   QString::fromStdString(FormatCanFrame(frame, hex)));
        DecodedView->Model()->AddRecord(frame, now.msecsSinceStartOfDay());
    }
}

// The view follows the newest line while it shows the end of the list; scrolled
// up, it stays on the lines the user is reading, also when the oldest line is
// dropped. Across, it stays where it was.
void CanMonitor::AppendLine(const QString& line) {
    QScrollBar* down = CanMemo->verticalScrollBar();
    QScrollBar* across = CanMemo->horizontalScrollBar();
    const bool follow = down->value() >= down->maximum();
    const int top = down->value();
    const int left = across->value();
    const int before = CanMemo->blockCount();
    CanMemo->appendPlainText(line);
    across->setValue(left);
    if (follow) {
        down->setValue(down->maximum());
    } else {
        const int most = CanMemo->maximumBlockCount();
        const bool dropped = most > 0 && before >= most;
        down->setValue(dropped ? std::max(0, top - 1) : top);
    }
}

QStringList CanMonitor::Lines() const {
    QStringList lines;
    const QTextDocument* doc = CanMemo->document();
    if (doc->isEmpty()) return lines;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) lines << b.text();
    return lines;
}

void CanMonitor::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // The window's font reaches the memo after construction; the stops follow it.
    if (event->type() == QEvent::FontChange) SetColumnStops();
}

void CanMonitor::PauseCanWatchClick() { PauseCanWatch->toggle(); }

void CanMonitor::ClearAllLinesClick() {
    CanMemo->clear();
    DecodedView->Model()->Clear();
}

void CanMonitor::CopyToClipboardClick() {
    QScrollBar* down = CanMemo->verticalScrollBar();
    QScrollBar* across = CanMemo->horizontalScrollBar();
    const int top = down->value();
    const int left = across->value();
    CanMemo->selectAll();
    CanMemo->copy();
    QTextCursor cursor = CanMemo->textCursor();
    cursor.clearSelection();
    CanMemo->setTextCursor(cursor);
    // The copy leaves the view where the user had it.
    down->setValue(top);
    across->setValue(left);
}

}  // namespace korvan
