#include "display/can_monitor.h"

#include <QAction>
#include <QCheckBox>
#include <QEvent>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "display/can_format.h"

namespace korvan {

namespace {

// The kind texts carry one to three TABs so that the columns after them line
// up on the third tab stop; that needs a stop wide enough that no text with
// k TABs reaches stop 4 - k. The smallest such stop in the memo's font.
qreal KindTabStop(const QFontMetricsF& fm) {
    qreal stop = 0;
    for (uint8_t kind = 0; kind < CanFrameKindCount; ++kind) {
        const QString text = QString::fromStdString(CanFrameKindText(kind));
        const int tabs = int(text.count(QLatin1Char('\t')));
        const qreal width = fm.horizontalAdvance(text.trimmed());
        stop = std::max(stop, width / (4 - tabs) + 1);
    }
    return std::ceil(stop);
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
    CanMemo->setTabStopDistance(KindTabStop(QFontMetricsF(CanMemo->font())));

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

    auto* top = new QHBoxLayout;
    top->addWidget(CanLabel);
    top->addStretch(1);
    top->addWidget(CanViewHexCheckBox);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(CanMemo, 1);
}

bool CanMonitor::Paused() const { return PauseCanWatch->isChecked(); }

bool CanMonitor::ViewInHex() const { return CanViewHexCheckBox->isChecked(); }

void CanMonitor::AddFrameRecords(const uint8_t* answer) {
    const bool hex = ViewInHex();
    for (size_t offset : CanFrameRecordOffsets) {
        const CanFrameRecord frame = ParseCanFrameRecord(answer + offset);
        if (frame.DataLength == 0) continue;
        CanMemo->appendPlainText(QString::fromStdString(FormatCanFrame(frame, hex)));
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
    if (event->type() == QEvent::FontChange)
        CanMemo->setTabStopDistance(KindTabStop(QFontMetricsF(CanMemo->font())));
}

void CanMonitor::PauseCanWatchClick() { PauseCanWatch->toggle(); }

void CanMonitor::ClearAllLinesClick() { CanMemo->clear(); }

void CanMonitor::CopyToClipboardClick() {
    CanMemo->selectAll();
    CanMemo->copy();
    QTextCursor cursor = CanMemo->textCursor();
    cursor.clearSelection();
    CanMemo->setTextCursor(cursor);
}

}  // namespace korvan
