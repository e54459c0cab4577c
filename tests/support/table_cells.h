// Reading and typing the cells of a module table as a user would see them.
#pragma once

#include <QAbstractItemModel>
#include <QFont>
#include <QString>
#include <QTableView>

namespace korvan {

inline QString Cell(const QTableView* table, int row, int column = 1) {
    return table->model()->index(row, column).data().toString();
}

// What typing the text into the cell and pressing Enter does.
inline void Type(QTableView* table, int row, const QString& text) {
    QAbstractItemModel* model = table->model();
    model->setData(model->index(row, 1), text, Qt::EditRole);
}

inline Qt::ItemFlags CellFlags(const QTableView* table, int row, int column) {
    return table->model()->flags(table->model()->index(row, column));
}

// The marks of a value cell: typed and not yet written or read back; not
// confirmed by the system.
inline bool Edited(const QTableView* table, int row) {
    return table->model()->index(row, 1).data(Qt::FontRole).value<QFont>().bold();
}
inline bool Unconfirmed(const QTableView* table, int row) {
    return table->model()
        ->index(row, 1)
        .data(Qt::ToolTipRole)
        .toString()
        .contains("Not confirmed by the system");
}

inline int RowCount(const QTableView* table) { return table->model()->rowCount(); }

}  // namespace korvan
