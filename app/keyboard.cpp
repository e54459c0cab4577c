#include "app/keyboard.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QTabWidget>
#include <QTextEdit>
#include <algorithm>
#include <map>

namespace korvan {

namespace {

// A focused text box with selected text keeps Ctrl+C as its own copy.
bool TextWidgetWantsCopy(QWidget* focus) {
    if (auto* plain = qobject_cast<QPlainTextEdit*>(focus))
        return plain->textCursor().hasSelection();
    if (auto* rich = qobject_cast<QTextEdit*>(focus)) return rich->textCursor().hasSelection();
    if (auto* line = qobject_cast<QLineEdit*>(focus)) return line->hasSelectedText();
    return false;
}

bool TakesTabFocus(const QWidget* w, const QWidget* page) {
    return page->isAncestorOf(w) && w->isVisibleTo(page) && w->isEnabled() &&
           (w->focusPolicy() & Qt::TabFocus) == Qt::TabFocus;
}

void FocusFirstControl(QWidget* page) {
    if (!page) return;
    // The focus chain is a ring over the whole window; one round at most.
    for (QWidget* w = page->nextInFocusChain(); w && w != page; w = w->nextInFocusChain()) {
        if (TakesTabFocus(w, page)) {
            w->setFocus(Qt::TabFocusReason);
            return;
        }
    }
    page->setFocus(Qt::TabFocusReason);
}

void AddKeys(QWidget* window, QTabWidget* pages, std::initializer_list<QKeyCombination> keys,
             int step) {
    for (QKeyCombination key : keys) {
        auto* shortcut = new QShortcut(QKeySequence(key), window);
        shortcut->setContext(Qt::WindowShortcut);
        QObject::connect(shortcut, &QShortcut::activated, pages,
                         [pages, step] { StepPage(pages, step); });
    }
}

}  // namespace

void LeaveTablesByTab(QWidget* root) {
    for (QAbstractItemView* view : root->findChildren<QAbstractItemView*>())
        view->setTabKeyNavigation(false);
}

void StepPage(QTabWidget* pages, int step) {
    const int count = pages->count();
    int index = pages->currentIndex();
    for (int i = 0; i < count; ++i) {
        index = (index + step + count) % count;
        if (pages->isTabVisible(index) && pages->isTabEnabled(index)) break;
    }
    pages->setCurrentIndex(index);
    FocusFirstControl(pages->currentWidget());
}

void AddPageKeys(QWidget* window, QTabWidget* pages) {
    AddKeys(window, pages, {Qt::CTRL | Qt::Key_Tab, Qt::CTRL | Qt::Key_PageDown}, 1);
    AddKeys(window, pages,
            {Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab, Qt::CTRL | Qt::SHIFT | Qt::Key_Tab,
             Qt::CTRL | Qt::Key_PageUp},
            -1);
}

QString SelectedCellsText(const QAbstractItemView* view) {
    QModelIndexList cells =
        view->selectionModel() ? view->selectionModel()->selectedIndexes() : QModelIndexList();
    if (cells.isEmpty() && view->currentIndex().isValid()) cells << view->currentIndex();
    if (cells.isEmpty()) return {};
    int left = cells.front().column();
    int right = left;
    std::map<int, std::map<int, QString>> rows;
    for (const QModelIndex& cell : cells) {
        left = std::min(left, cell.column());
        right = std::max(right, cell.column());
        rows[cell.row()][cell.column()] = cell.data(Qt::DisplayRole).toString();
    }
    QStringList lines;
    for (const auto& [row, texts] : rows) {
        QStringList fields;
        for (int column = left; column <= right; ++column) {
            const auto it = texts.find(column);
            fields << (it == texts.end() ? QString() : it->second);
        }
        lines << fields.join(QLatin1Char('\t'));
    }
    return lines.join(QLatin1Char('\n'));
}

bool TakeCopyKey(QObject* watched, QEvent* event) {
    const bool override = event->type() == QEvent::ShortcutOverride;
    if (!override && event->type() != QEvent::KeyPress) return false;
    if (!static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) return false;
    QWidget* focus = QApplication::focusWidget();
    auto* view = qobject_cast<QAbstractItemView*>(focus);
    if (override) {
        // The focused widget gets the key press and copies.
        if (view || TextWidgetWantsCopy(focus)) event->accept();
        return false;
    }
    if (!view || watched != view) return false;
    QGuiApplication::clipboard()->setText(SelectedCellsText(view));
    return true;
}

}  // namespace korvan
