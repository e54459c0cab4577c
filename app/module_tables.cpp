#include "app/module_tables.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStringList>
#include <QStyledItemDelegate>
#include <QTableView>
#include <utility>

#include "app/table_model.h"
#include "model/module_descriptors.h"

namespace korvan {

namespace {

const char* const LinkLostReason =
    "the link was lost. Write the settings again once it is back, or read them from the system";

// The editor of a masked row hides what is typed as the cell does.
class SecretRowDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        const auto* model = qobject_cast<const ModuleTableModel*>(index.model());
        if (auto* line = qobject_cast<QLineEdit*>(editor);
            line && model && model->Masked(index.row()))
            line->setEchoMode(QLineEdit::Password);
        return editor;
    }
};

}  // namespace

void SetUpModuleTable(QTableView* table, ModuleTableModel* model, int rowHeight) {
    table->setModel(model);
    table->horizontalHeader()->hide();
    table->verticalHeader()->hide();
    // A section holds its cell and the grid line below or right of it.
    table->horizontalHeader()->setMinimumSectionSize(1);
    table->verticalHeader()->setMinimumSectionSize(1);
    table->horizontalHeader()->setDefaultSectionSize(TableColumnWidth);
    table->verticalHeader()->setDefaultSectionSize(rowHeight + 1);
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table->setFrameShape(QFrame::Box);
    table->setLineWidth(1);
    table->setFixedWidth(2 * TableColumnWidth + 2);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setWordWrap(false);
    table->setEditTriggers(model->Editable() ? QAbstractItemView::DoubleClicked |
                                                   QAbstractItemView::EditKeyPressed |
                                                   QAbstractItemView::AnyKeyPressed |
                                                   QAbstractItemView::SelectedClicked
                                             : QAbstractItemView::NoEditTriggers);
    table->setFixedHeight(FittedTableHeight(0, rowHeight));
}

int FittedTableHeight(int rows, int rowHeight) { return rows * (rowHeight + 1) + 1; }

void ShowStatusLines(QPlainTextEdit* memo, const std::vector<std::string>& lines) {
    QStringList texts;
    for (const std::string& line : lines) texts << QString::fromStdString(line);
    const QString text = texts.join(QLatin1Char('\n'));
    if (memo->toPlainText() != text) memo->setPlainText(text);
}

ModuleTables::ModuleTables(WindowUi& ui, SystemData& data, char sep)
    : ui_(ui), data_(data), sep_(sep) {
    for (ModuleId module : AllModules) SetChecks(module);
    ModuleTableModel& control = Settings(ModuleId::ControlBox);
    control.SetSecretRow(ControlBoxPasswordRow);
    QTableView* controlTable = ui_.ControlBoxSettingsStringGrid();
    controlTable->setItemDelegate(new SecretRowDelegate(controlTable));
    QObject::connect(ui_.ShowWifiPassword, &QCheckBox::toggled, controlTable,
                     [&control](bool show) { control.Reveal(show); });
    // The drop-down edits the profile row; an index outside the eight profiles
    // shows none and leaves the row as the record has it.
    QComboBox* profile = ui_.PIComboBox;
    QObject::connect(profile, &QComboBox::currentIndexChanged, profile, [&control](int index) {
        if (index >= 0) control.SetValue(ProfileRow, std::to_string(index));
    });
    // It covers the profile cell, so it shows the cell's edit mark itself.
    QObject::connect(&control, &QAbstractItemModel::dataChanged, profile, [&control, profile] {
        QFont font = profile->font();
        font.setBold(control.Edited(ProfileRow));
        profile->setFont(font);
    });
}

ModuleTableModel& ModuleTables::Settings(ModuleId module) const {
    return *ui_.Module(module).SettingsTable;
}

bool ModuleTables::HoldsSettings(ModuleId module) const { return Settings(module).HoldsSettings(); }

bool ModuleTables::HasEdits() const {
    for (ModuleId module : AllModules)
        if (Settings(module).HasEdits()) return true;
    return false;
}

void ModuleTables::Lock(bool locked) {
    for (ModuleId module : AllModules) Settings(module).SetLocked(locked);
    ui_.PIComboBox->setEnabled(!locked);
}

std::vector<SettingsCorrection> ModuleTables::Corrections(std::optional<ModuleId> only) const {
    std::vector<SettingsCorrection> corrections;
    for (ModuleId module : AllModules) {
        if (only && module != *only) continue;
        const ModuleTableModel& table = Settings(module);
        for (const CellCorrection& mark : table.Marked()) {
            const int row = static_cast<int>(mark.Row);
            corrections.push_back({module, table.Label(row), table.Range(row),
                                   table.Shown(row, mark.Typed).toStdString(),
                                   table.Shown(row, mark.Used).toStdString()});
        }
    }
    return corrections;
}

void ModuleTables::FitTable(QTableView* table) const {
    const int rows = table->model()->rowCount();
    const int rowHeight = table->verticalHeader()->defaultSectionSize() - 1;
    const int height = FittedTableHeight(rows, rowHeight);
    if (table->height() != height) table->setFixedHeight(height);
}

std::vector<std::string> ModuleTables::SettingsTexts(ModuleId module, const SystemData& data,
                                                     uint8_t systemVoltage) const {
    return DescriptorOf(module).SettingsTexts(data, module, systemVoltage, sep_);
}

void ModuleTables::ReadSettingsInto(ModuleId module, const std::vector<std::string>& cells,
                                    uint8_t systemVoltage, SystemData& data) const {
    DescriptorOf(module).ReadSettingsTable(data, module, cells, systemVoltage, sep_);
}

// The marks of a settings table: the read-back of the typed cells over a copy of
// the records, shown again and compared with what was typed.
void ModuleTables::SetChecks(ModuleId module) {
    Settings(module).SetChecker([this, module](const std::vector<std::string>& cells) {
        SystemData copy = data_;
        const uint8_t voltage = batterySettingsOn24V_ ? 24 : 12;
        ReadSettingsInto(module, cells, voltage, copy);
        return FindCorrections(cells, SettingsTexts(module, copy, voltage), sep_);
    });
}

void ModuleTables::ResetState(ModuleId module) {
    ModulePage& page = ui_.Module(module);
    page.StateTable->Reset(DescriptorOf(module).StateLabels());
    FitTable(page.StateStringGrid);
    page.StatusMemo->clear();
}

void ModuleTables::ResetSettings(ModuleId module) {
    ModulePage& page = ui_.Module(module);
    const ModuleDescriptor& row = DescriptorOf(module);
    page.SettingsTable->Reset(row.SettingsLabels());
    page.SettingsTable->SetRanges(row.SettingsRanges(data_.BatteryState.SystemVoltage, sep_));
    if (module == ModuleId::ControlBox) ui_.ChargeProfileStringGrid->hide();
    FitTable(page.SettingsStringGrid);
}

void ModuleTables::ResetAllSettings() {
    for (ModuleId module : AllModules) ResetSettings(module);
}

void ModuleTables::ResetAll() {
    for (ModuleId module : AllModules) {
        ResetState(module);
        ResetSettings(module);
    }
}

void ModuleTables::ShowState(ModuleId module) {
    systemAnswered_ = true;
    ModulePage& page = ui_.Module(module);
    const ModuleDescriptor& row = DescriptorOf(module);
    page.StateTable->Fill(row.StateLines(data_, module, sep_));
    FitTable(page.StateStringGrid);
    ShowStatusLines(page.StatusMemo, row.StatusLines(data_, module));
    if (module == ModuleId::BatteryBox) UpdateBatterySettingsScale();
}

void ModuleTables::ShowAllStates() {
    for (ModuleId module : AllModules) ShowState(module);
}

void ModuleTables::ShowSettings(ModuleId module) {
    const uint8_t systemVoltage = data_.BatteryState.SystemVoltage;
    if (module == ModuleId::BatteryBox) {
        batterySettingsOn24V_ = systemVoltage == 24;
        Settings(module).SetRanges(BatteryBoxSettingsRanges(systemVoltage, sep_));
    }
    Settings(module).Fill(SettingsTexts(module, data_, systemVoltage));
    FitTable(ui_.Module(module).SettingsStringGrid);
    // An index from a file may lie outside the eight profiles: the drop-down then
    // shows none, and the profile row keeps the record's index.
    if (module != ModuleId::ControlBox) return;
    const int profile = data_.ControlSettings.ProfileIndex;
    ui_.PIComboBox->setCurrentIndex(profile < ui_.PIComboBox->count() ? profile : -1);
}

void ModuleTables::ShowSettingsTables(bool onlyConnected) {
    const uint16_t connected = data_.ControlState.ConnectedModules;
    for (ModuleId module : AllModules)
        if (!onlyConnected || ModuleConnected(connected, module)) ShowSettings(module);
}

// A battery box table that holds settings is read on the scale it shows them on,
// which a lost link (system voltage 0) does not change.
uint8_t ModuleTables::SystemVoltageOf(ModuleId module) const {
    if (module == ModuleId::BatteryBox && HoldsSettings(module))
        return batterySettingsOn24V_ ? 24 : 12;
    return data_.BatteryState.SystemVoltage;
}

void ModuleTables::ReadSettings(ModuleId module) {
    ReadSettingsInto(module, Settings(module).Values(), SystemVoltageOf(module), data_);
}

// A table in its empty form holds no settings: its module's record keeps the
// settings last read or loaded, so that a write does not send the "-" cells' row
// defaults to a module that is there (a read made before any poll had seen the
// modules shows the control box table only).
void ModuleTables::ReadAllSettings() {
    for (ModuleId module : AllModules)
        if (HoldsSettings(module)) ReadSettings(module);
}

void ModuleTables::ReadEveryTable() {
    for (ModuleId module : AllModules) ReadSettings(module);
}

// Once per loss of a system that was there: settings loaded from a file while
// no system answers are not greyed for a link they never came through.
void ModuleTables::LinkLost() {
    for (ModuleId module : AllModules) ResetState(module);
    if (std::exchange(systemAnswered_, false))
        MarkUnconfirmed({AllModules.begin(), AllModules.end()}, LinkLostReason);
}

void ModuleTables::MarkUnconfirmed(const std::vector<ModuleId>& modules,
                                   const std::string& reason) {
    for (ModuleId module : modules)
        if (HoldsSettings(module)) Settings(module).SetUnconfirmed(reason);
}

// The battery box settings table shows its voltage rows on the 24 V scale of a
// 24 V system. When the system voltage changes while the table shows settings,
// the cells are taken in on the scale they were shown on and shown again on the
// new one, so that a later read-back does not halve or double them by mistake.
void ModuleTables::UpdateBatterySettingsScale() {
    if (!HoldsSettings(ModuleId::BatteryBox)) return;
    const bool on24V = data_.BatteryState.SystemVoltage == 24;
    if (on24V == batterySettingsOn24V_) return;
    ModuleTableModel& table = Settings(ModuleId::BatteryBox);
    const uint8_t shownOn = batterySettingsOn24V_ ? 24 : 12;
    // The texts last shown move to the new scale too, so that edits stay marked.
    SystemData shown = data_;
    ReadSettingsInto(ModuleId::BatteryBox, table.EditState().Shown, shownOn, shown);
    ModuleTableModel::Edits edits{
        SettingsTexts(ModuleId::BatteryBox, shown, data_.BatteryState.SystemVoltage),
        table.EditState().Unconfirmed};
    ReadSettingsInto(ModuleId::BatteryBox, table.Values(), shownOn, data_);
    ShowSettings(ModuleId::BatteryBox);
    table.SetEditState(std::move(edits));
}

}  // namespace korvan
