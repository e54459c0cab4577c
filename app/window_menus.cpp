// The main menu: System (files, transfers, resets, Exit) and Options
// (connection, centre gauge, on-screen FRS controls, remote support, data log).
#include <QAction>
#include <QActionGroup>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>
#include <QTimer>

#include "app/main_window.h"
#include "app/window_ui.h"
#include "display/outline_view.h"

namespace korvan {

namespace {

using ActionSlot = void (TMainFormKX4::*)();

// One menu line; a row without caption is a separator. Each caption carries its
// access key after the '&', one per menu.
struct MenuRow {
    QAction* WindowUi::*Action;
    const char* Caption;
    ActionSlot Handler;
    bool Checkable;
};

constexpr MenuRow SystemRows[] = {
    {&WindowUi::SaveSettingsToFile, "&Save Settings To File",
     &TMainFormKX4::SaveSettingsToFileClick, false},
    {&WindowUi::LoadSettingsFromFile, "&Load Settings From File",
     &TMainFormKX4::LoadSettingsFromFileClick, false},
    {&WindowUi::RestoreSettingsFromBackup, "Res&tore Settings From Backup...",
     &TMainFormKX4::RestoreSettingsFromBackupClick, false},
    {&WindowUi::ExportHistoryToCsv, "Export &History to CSV...",
     &TMainFormKX4::ExportHistoryToCsvClick, false},
    {nullptr, nullptr, nullptr, false},
    {&WindowUi::ReadAllSettingsFromSystem1, "&Read All Settings From System",
     &TMainFormKX4::ReadAllSettingsFromSystemClick, false},
    {&WindowUi::WriteAllSettingsToSystem1, "&Write All Settings To System",
     &TMainFormKX4::WriteAllSettingsToSystemClick, false},
    {&WindowUi::WriteControlBoxSettingsToSystem, "Write &Control Box Settings Only To System",
     &TMainFormKX4::WriteControlBoxSettingsToSystemClick, false},
    {nullptr, nullptr, nullptr, false},
    {&WindowUi::ResetControlBoxSettingsToDefaultValues,
     "Reset Control Box Settings To &Default Values",
     &TMainFormKX4::ResetControlBoxSettingsToDefaultValuesClick, false},
    {&WindowUi::ResetBluetoothRadio, "Reset &Bluetooth Radio ",
     &TMainFormKX4::ResetBluetoothRadioClick, false},
    {nullptr, nullptr, nullptr, false},
    {&WindowUi::Exit1, "E&xit", &TMainFormKX4::Exit1Click, false},
};

constexpr MenuRow ConnectionRows[] = {
    {&WindowUi::ConnectionUSB, "&USB", &TMainFormKX4::ConnectionUSBClick, true},
    {&WindowUi::ConnectionBlueTooth, "&BlueTooth", &TMainFormKX4::ConnectionBlueToothClick, true},
    {&WindowUi::RemoteViaInternetToProvideSupport, "&Remote via Internet",
     &TMainFormKX4::RemoteViaInternetToProvideSupportClick, true},
};

struct CenterRow {
    QAction* WindowUi::*Action;
    const char* Caption;
    CenterChoice Choice;
};

constexpr CenterRow CenterRows[] = {
    {&WindowUi::CenterGaugeDisplayVoltage, "Battery &Voltage", CenterChoice::BatteryVoltage},
    {&WindowUi::CenterGaugeDisplayCurrent, "Battery &Current", CenterChoice::BatteryCurrent},
    {&WindowUi::CenterGaugeDisplaySOC, "&SOC", CenterChoice::Soc},
    {&WindowUi::CenterGaugeDisplayLoadCurrent, "&Load Current", CenterChoice::LoadCurrent},
    {&WindowUi::CenterGaugeDisplayTemperature, "Battery &Temperature",
     CenterChoice::BatteryTemperature},
};

// "On-screen FRS Controls" and "Share data with support" only carry their check
// marks; what they switch is read from the marks.
constexpr MenuRow OptionRows[] = {
    {&WindowUi::OnScreenFRSControls, "On-screen &FRS Controls", nullptr, true},
    {nullptr, nullptr, nullptr, false},
    {&WindowUi::ShareDataWithSupport, "Share data with &support", nullptr, true},
    {&WindowUi::SendChatMessage, "Send Chat &Message", &TMainFormKX4::SendChatMessageClick, false},
    {&WindowUi::SupportDomain1, "Support &Domain...", &TMainFormKX4::SupportDomain1Click, false},
    {&WindowUi::NewSupportSession, "&New Support Session...", &TMainFormKX4::NewSupportSessionClick,
     false},
    {&WindowUi::JoinSupportSession, "&Join Support Session...",
     &TMainFormKX4::JoinSupportSessionClick, false},
    {&WindowUi::EndSupportSession, "&End Support Session", &TMainFormKX4::EndSupportSessionClick,
     false},
    {&WindowUi::SupportChatHistory, "Chat &History", &TMainFormKX4::SupportChatHistoryClick, false},
    {nullptr, nullptr, nullptr, false},
    {&WindowUi::EnableDataLoggingToFile, "Enable Data &Logging to File",
     &TMainFormKX4::EnableDataLoggingToFileClick, true},
};

template <size_t N>
void AddRows(TMainFormKX4* window, WindowUi& ui, QMenu* menu, const MenuRow (&rows)[N],
             QActionGroup* group = nullptr) {
    for (const MenuRow& row : rows) {
        if (!row.Caption) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(QString::fromLatin1(row.Caption));
        action->setCheckable(row.Checkable);
        if (group) group->addAction(action);
        ui.*row.Action = action;
        if (row.Handler) QObject::connect(action, &QAction::triggered, window, row.Handler);
    }
}

}  // namespace

void BuildMenus(TMainFormKX4* window, WindowUi& ui) {
    QMenuBar* bar = window->menuBar();
    ui.SystemMenu = bar->addMenu(QStringLiteral("&System"));
    AddRows(window, ui, ui.SystemMenu, SystemRows);

    ui.OptionsMenu = bar->addMenu(QStringLiteral("&Options"));
    QMenu* connection = ui.OptionsMenu->addMenu(QStringLiteral("&Connection"));
    AddRows(window, ui, connection, ConnectionRows, new QActionGroup(window));
    ui.ConnectionUSB->setChecked(true);
    ui.OptionsMenu->addSeparator();

    QMenu* center = ui.OptionsMenu->addMenu(QStringLiteral("Center &Gauge Display"));
    auto* centerGroup = new QActionGroup(window);
    for (const CenterRow& row : CenterRows) {
        QAction* action = center->addAction(QString::fromLatin1(row.Caption));
        action->setCheckable(true);
        centerGroup->addAction(action);
        ui.*row.Action = action;
        const CenterChoice choice = row.Choice;
        OutlineView* outline = ui.Outline;
        QObject::connect(action, &QAction::triggered, outline,
                         [outline, choice] { outline->SetCenterChoice(choice); });
    }
    ui.CenterGaugeDisplayVoltage->setChecked(true);

    AddRows(window, ui, ui.OptionsMenu, OptionRows);
    // Checking one of these three clears the other two; all three may be clear.
    auto* options = new QActionGroup(window);
    options->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    options->addAction(ui.OnScreenFRSControls);
    options->addAction(ui.ShareDataWithSupport);
    options->addAction(ui.EnableDataLoggingToFile);
    OutlineView* outline = ui.Outline;
    QObject::connect(ui.OnScreenFRSControls, &QAction::toggled, outline,
                     [outline](bool checked) { outline->SetFrsControlsChecked(checked); });

    ui.SendChatMessage->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    ui.SendChatMessage->setShortcutContext(Qt::WindowShortcut);
    ui.SendChatMessage->setEnabled(false);

    // F10 opens the menu bar at its first menu, as on the desktops that have it.
    auto* f10 = new QShortcut(QKeySequence(Qt::Key_F10), window);
    QMenu* system = ui.SystemMenu;
    QObject::connect(f10, &QShortcut::activated, bar,
                     [bar, system] { bar->setActiveAction(system->menuAction()); });
}

}  // namespace korvan
