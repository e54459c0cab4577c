#include "app/module_tables.h"

#include <QComboBox>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTableWidget>

#include "app/main_window.h"
#include "model/battery_box.h"
#include "model/control_box.h"
#include "model/field_box.h"

namespace korvan {

namespace {

QTableWidgetItem* CellItem(QTableWidget* table, int row, int column) {
    QTableWidgetItem* item = table->item(row, column);
    if (item) return item;
    item = new QTableWidgetItem;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (column == 1 && table->property("korvanEditable").toBool()) flags |= Qt::ItemIsEditable;
    item->setFlags(flags);
    table->setItem(row, column, item);
    return item;
}

void SetCellText(QTableWidget* table, int row, int column, const QString& text) {
    QTableWidgetItem* item = CellItem(table, row, column);
    // Unchanged cells are left alone so that a poll repaints only what moved.
    if (item->text() != text) item->setText(text);
}

void SetRowCount(QTableWidget* table, int rows) {
    if (table->rowCount() != rows) table->setRowCount(rows);
    const int rowHeight = table->verticalHeader()->defaultSectionSize() - 1;
    const int height = FittedTableHeight(rows, rowHeight);
    if (table->height() != height) table->setFixedHeight(height);
}

}  // namespace

void SetUpModuleTable(QTableWidget* table, bool editable, int rowHeight) {
    table->setColumnCount(2);
    table->horizontalHeader()->hide();
    table->verticalHeader()->hide();
    // A section holds its cell and the grid line below or right of it.
    table->horizontalHeader()->setMinimumSectionSize(1);
    table->verticalHeader()->setMinimumSectionSize(1);
    table->horizontalHeader()->setDefaultSectionSize(TableColumnWidth);
    table->verticalHeader()->setDefaultSectionSize(rowHeight + 1);
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->setColumnWidth(0, TableColumnWidth);
    table->setColumnWidth(1, TableColumnWidth);
    table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table->setFrameShape(QFrame::Box);
    table->setLineWidth(1);
    table->setFixedWidth(2 * TableColumnWidth + 2);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setWordWrap(false);
    table->setProperty("korvanEditable", editable);
    table->setEditTriggers(
        editable ? QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                       QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked
                 : QAbstractItemView::NoEditTriggers);
    SetRowCount(table, 0);
}

int FittedTableHeight(int rows, int rowHeight) { return rows * (rowHeight + 1) + 1; }

void ResetModuleTable(QTableWidget* table, const std::vector<std::string>& labels) {
    SetRowCount(table, static_cast<int>(labels.size()));
    const QString empty = QString::fromLatin1(EmptyCell);
    for (int row = 0; row < static_cast<int>(labels.size()); ++row) {
        SetCellText(table, row, 0, QString::fromStdString(labels[row]));
        SetCellText(table, row, 1, empty);
    }
}

void FillModuleTable(QTableWidget* table, const std::vector<std::string>& values) {
    SetRowCount(table, static_cast<int>(values.size()));
    for (int row = 0; row < static_cast<int>(values.size()); ++row)
        SetCellText(table, row, 1, QString::fromStdString(values[row]));
}

std::vector<std::string> ModuleTableValues(const QTableWidget* table) {
    std::vector<std::string> cells;
    cells.reserve(table->rowCount());
    for (int row = 0; row < table->rowCount(); ++row) {
        const QTableWidgetItem* item = table->item(row, 1);
        cells.push_back(item ? item->text().toStdString() : std::string());
    }
    return cells;
}

void SetModuleTableValue(QTableWidget* table, int row, const std::string& text) {
    if (row < table->rowCount()) SetCellText(table, row, 1, QString::fromStdString(text));
}

void ShowStatusLines(QPlainTextEdit* memo, const std::vector<std::string>& lines) {
    QStringList texts;
    for (const std::string& line : lines) texts << QString::fromStdString(line);
    const QString text = texts.join(QLatin1Char('\n'));
    if (memo->toPlainText() != text) memo->setPlainText(text);
}

// The window's table operations, one per module table.

void TMainFormKX4::ResetBatteryBoxStateTable() {
    ResetModuleTable(BatteryBoxStateStringGrid, BatteryBoxStateLabels());
    BatteryBoxStatusMemo->clear();
}

void TMainFormKX4::ResetBatteryBoxSettingsTable() {
    ResetModuleTable(BatteryBoxSettingsStringGrid, BatteryBoxSettingsLabels());
    batterySettingsShown_ = false;
}

void TMainFormKX4::ResetFieldBoxStateTable(int box) {
    QTableWidget* table = box == 0 ? FieldBox1StateStringGrid : FieldBox2StateStringGrid;
    ResetModuleTable(table, FieldBoxStateLabels());
    (box == 0 ? FieldBox1StatusMemo : FieldBox2StatusMemo)->clear();
}

void TMainFormKX4::ResetFieldBoxSettingsTable(int box) {
    ResetModuleTable(box == 0 ? FieldBox1SettingsStringGrid : FieldBox2SettingsStringGrid,
                     FieldBoxSettingsLabels());
}

void TMainFormKX4::ClearControlBoxState() {
    ResetModuleTable(ControlBoxStateStringGrid, ControlBoxStateLabels());
    ControlBoxStatusMemo->clear();
}

void TMainFormKX4::ClearControlBoxSettings() {
    ResetModuleTable(ControlBoxSettingsStringGrid, ControlBoxSettingsLabels());
    ChargeProfileStringGrid->hide();
}

void TMainFormKX4::ShowBatteryBoxState() {
    std::vector<std::string> lines;
    BatteryBoxStateLines(data_.BatteryState, data_.BatterySettings, sep_, &lines);
    FillModuleTable(BatteryBoxStateStringGrid, lines);
    ShowStatusLines(BatteryBoxStatusMemo, BatteryBoxStatusLines(data_.BatteryState));
}

void TMainFormKX4::ShowBatteryBoxSettings() {
    const uint8_t systemVoltage = data_.BatteryState.SystemVoltage;
    FillModuleTable(BatteryBoxSettingsStringGrid,
                    BatteryBoxSettingsTexts(data_.BatterySettings, systemVoltage, sep_));
    batterySettingsShown_ = true;
    batterySettingsOn24V_ = systemVoltage == 24;
}

void TMainFormKX4::ShowFieldBoxState(int box) {
    std::vector<std::string> lines;
    FieldBoxStateLines(data_.FieldState[box], sep_, &lines);
    FillModuleTable(box == 0 ? FieldBox1StateStringGrid : FieldBox2StateStringGrid, lines);
    ShowStatusLines(box == 0 ? FieldBox1StatusMemo : FieldBox2StatusMemo,
                    FieldBoxStatusLines(data_.FieldState[box]));
}

void TMainFormKX4::ShowFieldBoxSettings(int box) {
    FillModuleTable(box == 0 ? FieldBox1SettingsStringGrid : FieldBox2SettingsStringGrid,
                    FieldBoxSettingsTexts(data_.FieldSettings[box], sep_));
}

void TMainFormKX4::ShowControlBoxState() {
    std::vector<std::string> lines;
    ControlBoxStateLines(data_.ControlState, sep_, &lines);
    FillModuleTable(ControlBoxStateStringGrid, lines);
    ShowStatusLines(ControlBoxStatusMemo, ControlBoxStatusLines(data_.ControlState));
}

void TMainFormKX4::ShowControlBoxSettings() {
    FillModuleTable(ControlBoxSettingsStringGrid,
                    ControlBoxSettingsTexts(data_.ControlSettings, sep_));
}

void TMainFormKX4::ReadBatteryBoxSettingsTable() {
    korvan::ReadBatteryBoxSettingsTable(data_.BatterySettings,
                                        ModuleTableValues(BatteryBoxSettingsStringGrid),
                                        data_.BatteryState.SystemVoltage, sep_);
}

void TMainFormKX4::ReadFieldBoxSettingsTable(int box) {
    korvan::ReadFieldBoxSettingsTable(
        data_.FieldSettings[box],
        ModuleTableValues(box == 0 ? FieldBox1SettingsStringGrid : FieldBox2SettingsStringGrid),
        sep_);
}

void TMainFormKX4::ReadControlBoxSettingsTable() {
    constexpr int ProfileRow = 5;
    const int chosen = PIComboBox->currentIndex();
    SetModuleTableValue(ControlBoxSettingsStringGrid, ProfileRow,
                        std::to_string(chosen >= 0 ? chosen : data_.ControlSettings.ProfileIndex));
    korvan::ReadControlBoxSettingsTable(data_.ControlSettings,
                                        ModuleTableValues(ControlBoxSettingsStringGrid), sep_);
}

void TMainFormKX4::ResetAllTables() {
    ResetBatteryBoxStateTable();
    ResetBatteryBoxSettingsTable();
    for (int box = 0; box < 2; ++box) {
        ResetFieldBoxStateTable(box);
        ResetFieldBoxSettingsTable(box);
    }
    ClearControlBoxState();
    ClearControlBoxSettings();
}

}  // namespace korvan
