// The module pages' tables and status text boxes over the records: the widget
// side of the data model's table texts. The model makes the strings and reads
// them back; these only carry them between the records and the table models.
#pragma once

#include <string>
#include <vector>

#include "app/feedback.h"
#include "app/window_ui.h"
#include "model/system_data.h"

class QTableView;

namespace korvan {

constexpr int TableColumnWidth = 210;
constexpr int TableRowHeight = 16;  // the cell, without its grid line
constexpr int ProfileTableRowHeight = 15;
constexpr int ProfileRow = 5;  // "Charging Profile" in the control box settings

// A table view of two 210-pixel columns without headers over `model`; values
// are editable only when the model lets them be.
void SetUpModuleTable(QTableView* table, ModuleTableModel* model, int rowHeight = TableRowHeight);
// Height that shows every row without scrolling: rows x (row height + 1) + 1.
int FittedTableHeight(int rows, int rowHeight = TableRowHeight);

class ModuleTables {
  public:
    ModuleTables(WindowUi& ui, SystemData& data, char sep);

    // Empty forms.
    void ResetState(ModuleId module);
    void ResetSettings(ModuleId module);
    void ResetAllSettings();
    void ResetAll();  // every state and settings table in its empty form
    // Texts from the records.
    void ShowState(ModuleId module);
    void ShowAllStates();
    void ShowSettings(ModuleId module);
    // Settings tables of the modules present (all when !onlyConnected), the
    // profile drop-down on the record's profile.
    void ShowSettingsTables(bool onlyConnected);
    // The edited cells back into the records: parsed, derived, checked.
    void ReadSettings(ModuleId module);
    // Every table that holds settings; the records of empty tables stay as they are.
    void ReadAllSettings();
    // Before a save: a table that a lost link emptied is not read back, so that
    // its record keeps the settings last read or loaded.
    void ReadShownSettings();
    // The first exchange of a poll failed: every table empty; settings that were
    // loaded count as lost from the tables (the records keep them).
    void LinkLost(bool settingsLoaded);
    bool HoldsSettings(ModuleId module) const;
    // The typed values the checks would replace, by module and row; taken
    // before a read-back, which leaves the typed texts but changes the records.
    std::vector<SettingsCorrection> Corrections() const;
    // The battery box settings move to the scale of a changed system voltage.
    void UpdateBatterySettingsScale();

  private:
    ModuleTableModel& Settings(ModuleId module) const;
    void SetChecks(ModuleId module);
    std::vector<std::string> SettingsTexts(ModuleId module, const SystemData& data,
                                           uint8_t systemVoltage) const;
    void ReadSettingsInto(ModuleId module, const std::vector<std::string>& cells,
                          uint8_t systemVoltage, SystemData& data) const;
    void FitTable(QTableView* table) const;

    WindowUi& ui_;
    SystemData& data_;
    char sep_;
    // The settings tables were emptied by a lost USB link while the records kept
    // the settings last read or loaded.
    bool settingsTablesLost_ = false;
    // The scale the battery box settings table was last shown on.
    bool batterySettingsOn24V_ = false;
};

// One status line per line of the text box.
void ShowStatusLines(QPlainTextEdit* memo, const std::vector<std::string>& lines);

}  // namespace korvan
