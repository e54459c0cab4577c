// The two-column module tables and their status text boxes: the widget side of
// the data model's table texts. The model makes the strings; these only copy them.
#pragma once

#include <string>
#include <vector>

class QPlainTextEdit;
class QTableWidget;

namespace korvan {

constexpr int TableColumnWidth = 210;
constexpr int TableRowHeight = 16;  // the cell, without its grid line
constexpr int ProfileTableRowHeight = 15;

// A table of two 210-pixel columns without headers; labels are never editable,
// values only when `editable`.
void SetUpModuleTable(QTableWidget* table, bool editable, int rowHeight = TableRowHeight);
// Height that shows every row without scrolling: rows x (row height + 1) + 1.
int FittedTableHeight(int rows, int rowHeight = TableRowHeight);
// The empty form: the labels, "-" in every value cell, height fitted.
void ResetModuleTable(QTableWidget* table, const std::vector<std::string>& labels);
// Row count := number of values; values into column 1; height fitted.
void FillModuleTable(QTableWidget* table, const std::vector<std::string>& values);
// The texts of column 1, row by row.
std::vector<std::string> ModuleTableValues(const QTableWidget* table);
void SetModuleTableValue(QTableWidget* table, int row, const std::string& text);
// One status line per line of the text box.
void ShowStatusLines(QPlainTextEdit* memo, const std::vector<std::string>& lines);

}  // namespace korvan
