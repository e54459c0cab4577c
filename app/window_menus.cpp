// The main menu: System (files, transfers, resets, Exit) and Options
// (connection, centre gauge, on-screen FRS controls, remote support, data log).
#include <QAction>
#include <QActionGroup>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

#include "app/main_window.h"
#include "display/outline_view.h"

namespace korvan {

namespace {

using ActionSlot = void (TMainFormKX4::*)();

// One menu line; a row without caption is a separator.
struct MenuRow {
    QAction* TMainFormKX4::*Action;
    const char* Caption;
    ActionSlot Handler;
    bool Checkable;
};

constexpr MenuRow SystemRows[] = {
    {&TMainFormKX4::SaveSettingsToFile, "Save Settings To File",
     &TMainFormKX4::SaveSettingsToFileClick, false},
    {&TMainFormKX4::LoadSettingsFromFile, "Load Settings From File",
     &TMainFormKX4::LoadSettingsFromFileClick, false},
    {nullptr, nullptr, nullptr, false},
    {&TMainFormKX4::ReadAllSettingsFromSystem1, "Read All Settings From System",
     &TMainFormKX4::ReadAllSettingsFromSystemClick, false},
    {&TMainFormKX4::WriteAllSettingsToSystem1, "Write All Settings To System",
     &TMainFormKX4::WriteAllSettingsToSystemClick, false},
    {&TMainFormKX4::WriteControlBoxSettingsToSystem, "Write Control Box Settings Only To System",
     &TMainFormKX4::WriteControlBoxSettingsToSystemClick, false},
    {nullptr, nullptr, nullptr, false},
    {&TMainFormKX4::ResetControlBoxSettingsToDefaultValues,
     "Reset Control Box Settings To Default Values",
     &TMainFormKX4::ResetControlBoxSettingsToDefaultValuesClick, false},
    {&TMainFormKX4::ResetBluetoothRadio, "Reset Bluetooth Radio ",
     &TMainFormKX4::ResetBluetoothRadioClick, false},
    {nullptr, nullptr, nullptr, false},
    {&TMainFormKX4::Exit1, "Exit", &TMainFormKX4::Exit1Click, false},
};

constexpr MenuRow ConnectionRows[] = {
    {&TMainFormKX4::ConnectionUSB, "USB", &TMainFormKX4::ConnectionUSBClick, true},
    {&TMainFormKX4::ConnectionBlueTooth, "BlueTooth", &TMainFormKX4::ConnectionBlueToothClick,
     true},
    {&TMainFormKX4::RemoteViaInternetToProvideSupport, "Remote via Internet",
     &TMainFormKX4::RemoteViaInternetToProvideSupportClick, true},
};

struct CenterRow {
    QAction* TMainFormKX4::*Action;
    const char* Caption;
    CenterChoice Choice;
};

constexpr CenterRow CenterRows[] = {
    {&TMainFormKX4::CenterGaugeDisplayVoltage, "Battery Voltage", CenterChoice::BatteryVoltage},
    {&TMainFormKX4::CenterGaugeDisplayCurrent, "Battery Current", CenterChoice::BatteryCurrent},
    {&TMainFormKX4::CenterGaugeDisplaySOC, "SOC", CenterChoice::Soc},
    {&TMainFormKX4::CenterGaugeDisplayLoadCurrent, "Load Current", CenterChoice::LoadCurrent},
    {&TMainFormKX4::CenterGaugeDisplayTemperature, "Battery Temperature",
     CenterChoice::BatteryTemperature},
};

// "On-screen FRS Controls" and "Share data with support" only carry their check
// marks; what they switch is read from the marks.
constexpr MenuRow OptionRows[] = {
    {&TMainFormKX4::OnScreenFRSControls, "On-screen FRS Controls", nullptr, true},
    {nullptr, nullptr, nullptr, false},
    {&TMainFormKX4::ShareDataWithSupport, "Share data with support", nullptr, true},
    {&TMainFormKX4::SendChatMessage, "Send Chat Message", &TMainFormKX4::SendChatMessageClick,
     false},
    {&TMainFormKX4::SupportDomain1, "Support Domain...", &TMainFormKX4::SupportDomain1Click, false},
    {nullptr, nullptr, nullptr, false},
    {&TMainFormKX4::EnableDataLoggingToFile, "Enable Data Logging to File",
     &TMainFormKX4::EnableDataLoggingToFileClick, true},
};

template <size_t N>
void AddRows(TMainFormKX4* window, QMenu* menu, const MenuRow (&rows)[N],
             QActionGroup* group = nullptr) {
    for (const MenuRow& row : rows) {
        if (!row.Caption) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(QString::fromLatin1(row.Caption));
        action->setCheckable(row.Checkable);
        if (group) group->addAction(action);
        window->*row.Action = action;
        if (row.Handler) QObject::connect(action, &QAction::triggered, window, row.Handler);
    }
}

}  // namespace

void TMainFormKX4::BuildMenus() {
    SystemMenu = menuBar()->addMenu(QStringLiteral("System"));
    AddRows(this, SystemMenu, SystemRows);

    OptionsMenu = menuBar()->addMenu(QStringLiteral("Options"));
    QMenu* connection = OptionsMenu->addMenu(QStringLiteral("Connection"));
    AddRows(this, connection, ConnectionRows, new QActionGroup(this));
    ConnectionUSB->setChecked(true);
    OptionsMenu->addSeparator();

    QMenu* center = OptionsMenu->addMenu(QStringLiteral("Center Gauge Display"));
    auto* centerGroup = new QActionGroup(this);
    for (const CenterRow& row : CenterRows) {
        QAction* action = center->addAction(QString::fromLatin1(row.Caption));
        action->setCheckable(true);
        centerGroup->addAction(action);
        this->*row.Action = action;
        const CenterChoice choice = row.Choice;
        connect(action, &QAction::triggered, this, [this, choice] {
            if (Outline) Outline->SetCenterChoice(choice);
        });
    }
    CenterGaugeDisplayVoltage->setChecked(true);

    AddRows(this, OptionsMenu, OptionRows);
    // Checking one of these three clears the other two; all three may be clear.
    optionsGroup_ = new QActionGroup(this);
    optionsGroup_->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    optionsGroup_->addAction(OnScreenFRSControls);
    optionsGroup_->addAction(ShareDataWithSupport);
    optionsGroup_->addAction(EnableDataLoggingToFile);
    connect(OnScreenFRSControls, &QAction::toggled, this, [this](bool checked) {
        if (Outline) Outline->SetFrsControlsChecked(checked);
    });

    SendChatMessage->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    SendChatMessage->setShortcutContext(Qt::WindowShortcut);
    SendChatMessage->setEnabled(false);
}

}  // namespace korvan
