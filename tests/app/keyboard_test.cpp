// The window without a mouse: pages by key, Tab out of a table (into it only
// while editing), Ctrl+C copying cells in a table and the chat elsewhere.
#include "app/keyboard.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QtTest/QTest>

#include "tests/app/app_fixture.h"

namespace korvan {
namespace {

class AppKeyboardTest : public AppUsbTest {
  protected:
    AppKeyboardTest() {
        W().show();
        QApplication::setActiveWindow(&W());
    }
    ~AppKeyboardTest() override { W().hide(); }

    // A key as the user presses it: to whatever has the focus.
    static void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        QTest::keyClick(focus, key, modifiers);
    }
    QWidget* Page() { return W().Ui().PageControl->currentWidget(); }
};

// From the first page to a settings cell on the last module page, typed and
// left by Tab, and back to the first page, by keys alone.
TEST_F(AppKeyboardTest, KeysReachASettingsCellOnTheLastModulePageAndBack) {
    W().ReadAllSettingsFromSystemClick();
    Settle();
    QTabWidget* pages = W().Ui().PageControl;
    pages->setCurrentIndex(0);
    W().Ui().BatteryBoxStateStringGrid()->setFocus();

    Press(Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(Page(), W().Ui().FieldBox1TabSheet());
    EXPECT_EQ(QApplication::focusWidget(), W().Ui().FieldBox1StateStringGrid());
    Press(Qt::Key_PageDown, Qt::ControlModifier);
    Press(Qt::Key_Tab, Qt::ControlModifier);
    ASSERT_EQ(Page(), W().Ui().ControlBoxTabSheet());

    QTableView* settings = W().Ui().ControlBoxSettingsStringGrid();
    Press(Qt::Key_Tab);  // out of the state table
    ASSERT_EQ(QApplication::focusWidget(), settings);
    settings->setCurrentIndex(settings->model()->index(0, 1));
    for (int row = 0; row < 8; ++row) Press(Qt::Key_Down);  // alternator #1 limit
    ASSERT_EQ(settings->currentIndex().row(), 8);
    Press(Qt::Key_F2);
    ASSERT_NE(qobject_cast<QLineEdit*>(QApplication::focusWidget()), nullptr);
    QTest::keyClicks(QApplication::focusWidget(), "321");
    Press(Qt::Key_Tab);  // while editing, the table takes Tab: the cell is written
    EXPECT_EQ(Cell(settings, 8), "321");
    EXPECT_TRUE(settings->isAncestorOf(QApplication::focusWidget()) ||
                QApplication::focusWidget() == settings);
    Press(Qt::Key_Escape);
    settings->setFocus();
    Press(Qt::Key_Tab);  // not editing: Tab leaves the table
    EXPECT_EQ(QApplication::focusWidget(), W().Ui().PIComboBox);

    Press(Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    Press(Qt::Key_PageUp, Qt::ControlModifier);
    Press(Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(Page(), W().Ui().BatteryBoxTabSheet());
    EXPECT_EQ(QApplication::focusWidget(), W().Ui().BatteryBoxStateStringGrid());
    // Round the ring backwards: the last page, then on past hidden pages.
    Press(Qt::Key_PageUp, Qt::ControlModifier);
    EXPECT_EQ(pages->currentIndex(), pages->count() - 1);
}

// A page the bus does not show is passed over.
TEST_F(AppKeyboardTest, PageKeysSkipAHiddenPage) {
    QTabWidget* pages = W().Ui().PageControl;
    const int can = pages->indexOf(W().Ui().CanTabSheet);
    pages->setTabVisible(can, false);
    pages->setCurrentIndex(can - 1);
    StepPage(pages, 1);
    EXPECT_EQ(pages->currentIndex(), can + 1);
    StepPage(pages, -1);
    EXPECT_EQ(pages->currentIndex(), can - 1);
}

// Ctrl+C copies the selected cells of the focused table, a line per row and a
// TAB per column; outside tables and text selections it stays the chat key.
TEST_F(AppKeyboardTest, CtrlCCopiesTableCellsAndIsTheChatKeyElsewhere) {
    QStandardItemModel model(3, 3);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            model.setItem(r, c, new QStandardItem(QString("%1%2").arg(r).arg(c)));
    QTableView view;
    view.setModel(&model);
    view.setSelectionMode(QAbstractItemView::ExtendedSelection);
    struct Case {
        std::vector<std::pair<int, int>> Selected;
        QString Copied;
    } const cases[] = {
        {{{1, 1}}, "11"},
        {{{0, 0}, {0, 1}, {1, 0}, {1, 1}}, "00\t01\n10\t11"},
        {{{0, 0}, {2, 2}}, "00\t\t\n\t\t22"},  // the cells between stay empty
        {{}, "21"},                            // none selected: the current cell
    };
    for (const Case& c : cases) {
        view.selectionModel()->clear();
        view.selectionModel()->setCurrentIndex(model.index(2, 1), QItemSelectionModel::NoUpdate);
        for (auto [r, col] : c.Selected)
            view.selectionModel()->select(model.index(r, col), QItemSelectionModel::Select);
        EXPECT_EQ(SelectedCellsText(&view), c.Copied);
    }

    W().USBTimerTimer();
    Settle();
    QTableView* state = W().Ui().ControlBoxStateStringGrid();
    state->setFocus();
    state->setCurrentIndex(state->model()->index(0, 1));
    QApplication::clipboard()->clear();
    Press(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), Cell(state, 0));

    // On the tab bar the key is the chat's again.
    W().Ui().SendChatMessage->setEnabled(true);
    int chats = 0;
    QObject::connect(W().Ui().SendChatMessage, &QAction::triggered, &W(), [&] { ++chats; });
    W().Ui().PageControl->tabBar()->setFocus();
    dialogs.Inputs.clear();  // the chat box is cancelled
    Press(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(chats, 1);
}

}  // namespace
}  // namespace korvan
