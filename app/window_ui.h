// Every component of the main window by its name: the pages with their tables,
// the menus and their items, the status bar and the three timers. The window
// builds them once; its parts and the tests reach them here.
#pragma once

#include <array>

#include "model/modules.h"

class QAction;
class QActionGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QTabBar;
class QTabWidget;
class QTableView;
class QTimer;
class QWidget;

namespace korvan {

class CanMonitor;
class ModuleTableModel;
class OutlineView;
class SupportPanel;
class TrendsView;

// One module's page: the state table with its status lines, the settings table.
struct ModulePage {
    QWidget* TabSheet = nullptr;
    QTableView* StateStringGrid = nullptr;
    ModuleTableModel* StateTable = nullptr;
    QPlainTextEdit* StatusMemo = nullptr;
    QTableView* SettingsStringGrid = nullptr;
    ModuleTableModel* SettingsTable = nullptr;
};

struct WindowUi {
    QTabWidget* PageControl = nullptr;
    // Indexed by ModuleId.
    std::array<ModulePage, 4> Modules;
    QWidget* OutlineTabSheet = nullptr;
    TrendsView* TrendsTabSheet = nullptr;
    QWidget* CanTabSheet = nullptr;
    QTabBar* ChargeProfileTabControl = nullptr;
    QTableView* ChargeProfileStringGrid = nullptr;
    QComboBox* PIComboBox = nullptr;
    QCheckBox* ShowWifiPassword = nullptr;  // under the control box settings
    OutlineView* Outline = nullptr;
    CanMonitor* Can = nullptr;
    QLabel* MessagePanel = nullptr;
    QLabel* StatusText = nullptr;
    QProgressBar* WriteProgress = nullptr;
    SupportPanel* Support = nullptr;  // the chat history of remote support

    QTimer* USBTimer = nullptr;
    QTimer* BTTimer = nullptr;
    QTimer* INETTimer = nullptr;

    QMenu* SystemMenu = nullptr;
    QMenu* OptionsMenu = nullptr;
    QAction* SaveSettingsToFile = nullptr;
    QAction* LoadSettingsFromFile = nullptr;
    QAction* RestoreSettingsFromBackup = nullptr;
    QAction* ExportHistoryToCsv = nullptr;
    QAction* ReadAllSettingsFromSystem1 = nullptr;
    QAction* WriteAllSettingsToSystem1 = nullptr;
    QAction* WriteControlBoxSettingsToSystem = nullptr;
    QAction* ResetControlBoxSettingsToDefaultValues = nullptr;
    QAction* ResetBluetoothRadio = nullptr;
    QAction* Exit1 = nullptr;
    QAction* ConnectionUSB = nullptr;
    QAction* ConnectionBlueTooth = nullptr;
    QAction* RemoteViaInternetToProvideSupport = nullptr;
    QAction* CenterGaugeDisplayVoltage = nullptr;
    QAction* CenterGaugeDisplayCurrent = nullptr;
    QAction* CenterGaugeDisplaySOC = nullptr;
    QAction* CenterGaugeDisplayLoadCurrent = nullptr;
    QAction* CenterGaugeDisplayTemperature = nullptr;
    QAction* OnScreenFRSControls = nullptr;
    QAction* ShareDataWithSupport = nullptr;
    QAction* SendChatMessage = nullptr;
    QAction* SupportDomain1 = nullptr;
    QAction* NewSupportSession = nullptr;
    QAction* JoinSupportSession = nullptr;
    QAction* EndSupportSession = nullptr;
    QAction* SupportChatHistory = nullptr;
    QAction* EnableDataLoggingToFile = nullptr;

    ModulePage& Module(ModuleId module) { return Modules[static_cast<size_t>(module)]; }
    // The system's component names of the module pages.
    QTableView* BatteryBoxStateStringGrid() { return Module(ModuleId::BatteryBox).StateStringGrid; }
    QTableView* BatteryBoxSettingsStringGrid() {
        return Module(ModuleId::BatteryBox).SettingsStringGrid;
    }
    QPlainTextEdit* BatteryBoxStatusMemo() { return Module(ModuleId::BatteryBox).StatusMemo; }
    QTableView* FieldBox1StateStringGrid() { return Module(ModuleId::FieldBox1).StateStringGrid; }
    QTableView* FieldBox1SettingsStringGrid() {
        return Module(ModuleId::FieldBox1).SettingsStringGrid;
    }
    QPlainTextEdit* FieldBox1StatusMemo() { return Module(ModuleId::FieldBox1).StatusMemo; }
    QTableView* FieldBox2StateStringGrid() { return Module(ModuleId::FieldBox2).StateStringGrid; }
    QTableView* FieldBox2SettingsStringGrid() {
        return Module(ModuleId::FieldBox2).SettingsStringGrid;
    }
    QPlainTextEdit* FieldBox2StatusMemo() { return Module(ModuleId::FieldBox2).StatusMemo; }
    QTableView* ControlBoxStateStringGrid() { return Module(ModuleId::ControlBox).StateStringGrid; }
    QTableView* ControlBoxSettingsStringGrid() {
        return Module(ModuleId::ControlBox).SettingsStringGrid;
    }
    QPlainTextEdit* ControlBoxStatusMemo() { return Module(ModuleId::ControlBox).StatusMemo; }
    QWidget* BatteryBoxTabSheet() { return Module(ModuleId::BatteryBox).TabSheet; }
    QWidget* FieldBox1TabSheet() { return Module(ModuleId::FieldBox1).TabSheet; }
    QWidget* FieldBox2TabSheet() { return Module(ModuleId::FieldBox2).TabSheet; }
    QWidget* ControlBoxTabSheet() { return Module(ModuleId::ControlBox).TabSheet; }
};

}  // namespace korvan
