// The module pages' tables and status text boxes over the records: the widget
// side of the data model's table texts. The model makes the strings and reads
// them back; these only carry them between the records and the table models.
#pragma once

#include <optional>
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
    // Before a save: every table, an empty one as its rows' defaults.
    void ReadEveryTable();
    // The first exchange of a poll failed: the state tables are empty; the
    // settings tables keep what they show, no longer confirmed by the system
    // when it had answered since the last loss.
    void LinkLost();
    // The tables of `modules` that hold settings keep their texts, marked as not
    // confirmed by the system for `reason`.
    void MarkUnconfirmed(const std::vector<ModuleId>& modules, const std::string& reason);
    bool HoldsSettings(ModuleId module) const;
    // Typed texts not yet written or read back, in any settings table.
    bool HasEdits() const;
    // The settings tables and the profile drop-down take no typing.
    void Lock(bool locked);
    // The typed values the checks would replace, by module and row (of one
    // module, or of all); taken before a read-back, which leaves the typed texts
    // but changes the records. A masked row shows its values as dots.
    std::vector<SettingsCorrection> Corrections(std::optional<ModuleId> only = {}) const;
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
    // The scale a settings table is read back on.
    uint8_t SystemVoltageOf(ModuleId module) const;

    WindowUi& ui_;
    SystemData& data_;
    char sep_;
    // A state was shown since the link was last lost.
    bool systemAnswered_ = false;
    // The scale the battery box settings table was last shown on.
    bool batterySettingsOn24V_ = false;
};

// One status line per line of the text box.
void ShowStatusLines(QPlainTextEdit* memo, const std::vector<std::string>& lines);

}  // namespace korvan
