#include "display/can_monitor.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextLayout>
#include <QToolButton>
#include <QtTest/QTest>
#include <array>

#include "display/can_format.h"

using namespace korvan;

namespace {

std::array<uint8_t, 64> Answer(uint8_t len0, uint8_t len1) {
    std::array<uint8_t, 64> a{};
    a[0] = 4;
    a[4] = 0x23;
    a[5] = 0x01;
    a[6] = 0xF8;
    a[7] = 0x09;
    a[8] = len0;
    for (int i = 0; i < 8; ++i) a[9 + i] = uint8_t(0x10 + i);
    a[32] = 6;
    a[32 + 8] = len1;
    for (int i = 0; i < 8; ++i) a[32 + 9 + i] = uint8_t(0xA0 + i);
    return a;
}

// The frame part of a line, after its "hh:mm:ss.zzz" and TAB; the time must be there.
QString Frame(const QString& line) {
    static const QRegularExpression time(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d{3}\t"));
    EXPECT_TRUE(time.match(line).hasMatch()) << line.toStdString();
    return line.mid(CanMonitor::TimeColumnLength);
}

QStringList Frames(const QStringList& lines) {
    QStringList frames;
    for (const QString& line : lines) frames << Frame(line);
    return frames;
}

}  // namespace

TEST(CanMonitor, StartsInHexWithAReadOnlyUnwrappedList) {
    CanMonitor m;
    EXPECT_EQ(m.CanLabel->text(), "Raw CAN Frames");
    EXPECT_EQ(m.CanViewHexCheckBox->text(), "View in Hex");
    EXPECT_TRUE(m.ViewInHex());
    EXPECT_FALSE(m.Paused());
    EXPECT_TRUE(m.CanMemo->isReadOnly());
    EXPECT_EQ(m.CanMemo->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_EQ(m.CanMemo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(m.PauseCanWatch->text(), "Pause");
    EXPECT_TRUE(m.PauseCanWatch->isCheckable());
    EXPECT_EQ(m.ClearAllLines->text(), "Clear");
    EXPECT_EQ(m.CopyToClipboard->text(), "Copy to Clipboard");
    EXPECT_TRUE(m.Lines().isEmpty());
}

TEST(CanMonitor, AddsOneLinePerFilledRecordInOrder) {
    CanMonitor m;
    auto a = Answer(0, 3);
    m.AddFrameRecords(a.data());
    ASSERT_EQ(m.Lines().size(), 1);
    EXPECT_EQ(Frame(m.Lines()[0]),
              "N2K message\t\t\t3 bytes\tID=0x00000000\tb0=0xA0\tb1=0xA1\tb2=0xA2\t");
    a = Answer(2, 1);
    m.AddFrameRecords(a.data());
    ASSERT_EQ(m.Lines().size(), 3);
    EXPECT_EQ(Frame(m.Lines()[1]),
              "Extended data frame\t\t2 bytes\tID=0x09F80123\tb0=0x10\tb1=0x11\t");
    EXPECT_TRUE(Frame(m.Lines()[2]).startsWith("N2K message"));
    a = Answer(0, 0);
    m.AddFrameRecords(a.data());
    EXPECT_EQ(m.Lines().size(), 3);
}

// "View in Hex" writes every line kept again, each with the time it came. A copy
// has the time and the eleven frame columns on every line, one TAB apart,
// whatever the kind and the length; Ctrl+C in the list copies the lines its
// selection touches.
TEST(CanMonitor, HexRewritesTheLinesAndACopyHasTheSameColumnsOnEach) {
    CanMonitor m;
    auto a = Answer(1, 8);
    a[0] = 12;  // a kind without a text
    m.CanViewHexCheckBox->setChecked(false);
    m.AddFrameRecords(a.data());
    const QString received = m.Lines()[0].left(CanMonitor::TimeColumnLength);
    EXPECT_EQ(Frame(m.Lines()[0]), "1 bytes\tID=167248163\tb0=16\t");
    m.CanViewHexCheckBox->setChecked(true);
    EXPECT_EQ(m.Lines()[0], received + "1 bytes\tID=0x09F80123\tb0=0x10\t");
    m.CopyToClipboard->trigger();
    const QStringList copied = QApplication::clipboard()->text().split('\n');
    ASSERT_EQ(copied.size(), 2);
    EXPECT_EQ(copied[0].section('\t', 1), "\t1 bytes\tID=0x09F80123\tb0=0x10\t\t\t\t\t\t\t");
    EXPECT_EQ(copied[1].count('\t'), 11);

    m.show();
    m.CanMemo->setFocus();
    QTextCursor cursor(m.CanMemo->document()->findBlockByNumber(1));
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    m.CanMemo->setTextCursor(cursor);
    QTest::keyClick(m.CanMemo, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), copied[1]);
}

TEST(CanMonitor, PauseClearAndCopy) {
    CanMonitor m;
    m.PauseCanWatchClick();
    EXPECT_TRUE(m.Paused());
    m.PauseCanWatch->trigger();  // the menu item toggles the same check mark
    EXPECT_FALSE(m.Paused());

    auto a = Answer(1, 2);
    m.AddFrameRecords(a.data());
    const QStringList lines = m.Lines();
    m.CopyToClipboard->trigger();
    EXPECT_EQ(QApplication::clipboard()->text().count('\n'), lines.size() - 1);
    EXPECT_FALSE(m.CanMemo->textCursor().hasSelection());

    m.ClearAllLines->trigger();
    EXPECT_TRUE(m.Lines().isEmpty());
    m.AddFrameRecords(a.data());
    EXPECT_EQ(Frames(m.Lines()), Frames(lines));
}

// The same three commands as buttons beside "View in Hex", and a visible pause.
TEST(CanMonitor, ButtonsPauseClearAndCopyAndThePauseShows) {
    CanMonitor m;
    m.show();
    EXPECT_EQ(m.PauseButton->text(), "Pause");
    EXPECT_EQ(m.ClearButton->text(), "Clear");
    EXPECT_EQ(m.CopyButton->text(), "Copy to Clipboard");
    EXPECT_FALSE(m.PausedLabel->isVisible());
    m.PauseButton->click();
    EXPECT_TRUE(m.Paused());
    EXPECT_TRUE(m.PauseButton->isChecked());
    EXPECT_TRUE(m.PausedLabel->isVisible());
    EXPECT_EQ(m.PausedLabel->text(), "Paused");
    m.PauseCanWatch->trigger();  // the context menu's item is the same switch
    EXPECT_FALSE(m.PauseButton->isChecked());
    EXPECT_FALSE(m.PausedLabel->isVisible());

    auto a = Answer(2, 3);
    m.AddFrameRecords(a.data());
    QApplication::clipboard()->clear();
    m.CopyButton->click();
    EXPECT_EQ(QApplication::clipboard()->text().count('\n'), m.Lines().size() - 1);
    m.ClearButton->click();
    EXPECT_TRUE(m.Lines().isEmpty());
}

// Every column starts at the same place on every line, whatever the kind, the
// length of the identifier and the view.
TEST(CanMonitor, ColumnsLineUpInBothViews) {
    CanMonitor m;
    m.resize(1600, 400);
    m.show();
    for (bool hex : {true, false}) {
        m.CanViewHexCheckBox->setChecked(hex);
        for (uint8_t kind = 0; kind < 10; ++kind) {
            auto a = Answer(8, 0);
            a[0] = kind;
            if (kind % 2) {  // "ID=5" beside "ID=167248163"
                a[4] = 5;
                a[5] = a[6] = a[7] = 0;
            }
            a[8] = uint8_t(kind % 3 ? 8 : 20);  // "20 bytes" beside "8 bytes"
            m.AddFrameRecords(a.data());
        }
    }
    std::vector<qreal> first;
    for (QTextBlock b = m.CanMemo->document()->begin(); b.isValid(); b = b.next()) {
        // The start of each field: the time, then one after each run of TABs.
        std::vector<qreal> starts{0};
        const QString text = b.text();
        for (int i = 1; i < text.size(); ++i)
            if (text[i - 1] == '\t' && text[i] != '\t')
                starts.push_back(b.layout()->lineAt(0).cursorToX(i));
        ASSERT_EQ(starts.size(), 12u) << text.toStdString();
        if (first.empty()) first = starts;
        for (size_t i = 0; i < starts.size(); ++i)
            EXPECT_DOUBLE_EQ(starts[i], first[i]) << i << ": " << text.toStdString();
    }
}

// While the end of the list shows, the newest line stays in view; scrolled up,
// the view stays where the user put it, across too.
TEST(CanMonitor, FollowsTheNewestLineUnlessScrolledUp) {
    CanMonitor m;
    m.resize(500, 200);
    m.show();
    auto a = Answer(8, 8);
    for (int i = 0; i < 50; ++i) m.AddFrameRecords(a.data());
    QScrollBar* down = m.CanMemo->verticalScrollBar();
    QScrollBar* across = m.CanMemo->horizontalScrollBar();
    ASSERT_GT(down->maximum(), 0);
    EXPECT_EQ(down->value(), down->maximum());
    m.AddFrameRecords(a.data());
    EXPECT_EQ(down->value(), down->maximum());

    down->setValue(10);
    ASSERT_GT(across->maximum(), 0);
    across->setValue(across->maximum() / 2);
    const int left = across->value();
    for (int i = 0; i < 5; ++i) m.AddFrameRecords(a.data());
    EXPECT_EQ(down->value(), 10);
    EXPECT_EQ(across->value(), left);
    m.CopyButton->click();
    EXPECT_EQ(down->value(), 10);
    EXPECT_EQ(across->value(), left);
}

// At the end when another page is shown, the list is at its end again when its
// page comes back, with the lines that came meanwhile; scrolled up, it is not.
TEST(CanMonitor, FollowsWhatCameWhileAnotherPageShowed) {
    QTabWidget pages;
    auto* m = new CanMonitor;
    pages.addTab(m, "NMEA-2000");
    pages.addTab(new QWidget, "Other");
    pages.resize(500, 300);
    pages.show();
    auto a = Answer(8, 8);
    QScrollBar* down = m->CanMemo->verticalScrollBar();
    for (bool atEnd : {true, false}) {
        for (int i = 0; i < 30; ++i) m->AddFrameRecords(a.data());
        down->setValue(atEnd ? down->maximum() : 5);
        pages.setCurrentIndex(1);
        const int shown = m->CanMemo->blockCount();
        for (int i = 0; i < 60; ++i) m->AddFrameRecords(a.data());
        EXPECT_EQ(m->CanMemo->blockCount(), shown);  // nothing laid out while hidden
        pages.setCurrentIndex(0);
        QCoreApplication::processEvents();
        EXPECT_EQ(m->CanMemo->blockCount(), shown + 60 * 2);
        if (atEnd)
            EXPECT_EQ(down->value(), down->maximum());
        else
            EXPECT_EQ(down->value(), 5);
    }
}

// Left running for days, the list keeps its newest lines and stays quick.
TEST(CanMonitor, KeepsABoundedNumberOfLines) {
    CanMonitor m;
    auto a = Answer(8, 8);
    QElapsedTimer timer;
    timer.start();
    const int answers = CanMonitor::MaxLines / 2 + 50;
    for (int i = 0; i < answers; ++i) {
        a[5] = uint8_t(i);
        a[6] = uint8_t(i >> 8);
        m.AddFrameRecords(a.data());
    }
    const qint64 elapsed = timer.elapsed();
    const QStringList lines = m.Lines();
    ASSERT_EQ(lines.size(), CanMonitor::MaxLines);
    // The oldest 100 lines (50 answers) are gone: the first kept is from answer 50.
    EXPECT_TRUE(lines.first().contains("ID=0x09003223")) << lines.first().toStdString();
    EXPECT_LT(elapsed, 20000);
    RecordProperty("append_ms", int(elapsed));
}

// The kind texts' TABs line the length column up in the memo's font, also
// after the window's font changes.
TEST(CanMonitor, KindColumnsLineUpOnOneTabStop) {
    CanMonitor m;
    for (int pixelSize : {11, 13, 17}) {
        QFont font = m.font();
        font.setPixelSize(pixelSize);
        m.setFont(font);
        const QFontMetricsF fm(m.CanMemo->font());
        const qreal stop = m.CanMemo->tabStopDistance();
        ASSERT_GT(stop, 0);
        for (uint8_t kind = 0; kind < 10; ++kind) {
            const QString text = QString::fromStdString(CanFrameKindText(kind));
            const int tabs = int(text.count('\t'));
            const qreal width = fm.horizontalAdvance(text.trimmed());
            // After its k TABs every text lands on the third stop: it ends before
            // stop 4 - k and, with fewer than three TABs, reaches past stop 3 - k.
            EXPECT_LT(width, (4 - tabs) * stop) << int(kind) << " at " << pixelSize;
            if (tabs < 3) {
                EXPECT_GE(width, (3 - tabs) * stop) << int(kind) << " at " << pixelSize;
            }
        }
    }
}
