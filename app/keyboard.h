// The main window without a mouse: Tab goes from control to control (a table
// takes it only while a cell is edited), Ctrl+Tab / Ctrl+PgDn and Ctrl+Shift+Tab /
// Ctrl+PgUp go from page to page, and Ctrl+C copies what the focused table or
// text box has selected; elsewhere Ctrl+C stays the chat shortcut.
#pragma once

#include <QString>

class QAbstractItemView;
class QEvent;
class QObject;
class QTabWidget;
class QWidget;

namespace korvan {

// Every table under `root`; call again for pages added later.
void LeaveTablesByTab(QWidget* root);

// The page keys on `window`; the page reached gets the focus on its first control.
void AddPageKeys(QWidget* window, QTabWidget* pages);
// The next (step 1) or previous (-1) shown page, wrapping round.
void StepPage(QTabWidget* pages, int step);

// The selected cells, a line per row, TAB between columns (the cells between
// selected ones empty); the current cell when none is selected.
QString SelectedCellsText(const QAbstractItemView* view);

// Ctrl+C on the focused widget: true when the event was a copy it took (the
// chat shortcut then stays out of it). Call for ShortcutOverride and KeyPress.
bool TakeCopyKey(QObject* watched, QEvent* event);

}  // namespace korvan
