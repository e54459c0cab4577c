// The pages of the main window: the four module pages with their tables and
// status text boxes, the outline page, the CAN frame page; the message panel and
// the status bar.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>

#include "app/module_tables.h"
#include "app/table_model.h"
#include "app/window_parts.h"
#include "display/can_monitor.h"
#include "display/outline_view.h"
#include "display/trends_view.h"
#include "model/charge_profiles.h"

namespace korvan {

namespace {

constexpr int GroupMargin = 8;
constexpr int ChargeProfileRows = 6;

// A status text box: a memo without border on the window's face colour.
QPlainTextEdit* NewStatusMemo(QWidget* parent) {
    auto* memo = new QPlainTextEdit(parent);
    memo->setReadOnly(true);
    memo->setFrameShape(QFrame::NoFrame);
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    QPalette palette = memo->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    memo->setPalette(palette);
    // Its lines can be selected and copied with the mouse; the Tab key goes
    // from table to table.
    memo->setFocusPolicy(Qt::ClickFocus);
    return memo;
}

QTableView* NewModuleTable(QWidget* parent, bool editable, ModuleTableModel*& model) {
    auto* table = new QTableView(parent);
    model = new ModuleTableModel(editable, table);
    SetUpModuleTable(table, model);
    return table;
}

QVBoxLayout* NewGroupLayout(QGroupBox* group) {
    auto* layout = new QVBoxLayout(group);
    layout->setContentsMargins(GroupMargin, GroupMargin, GroupMargin, GroupMargin);
    // The status text box starts 8 pixels below its table and ends 8 above the frame.
    layout->setSpacing(GroupMargin);
    return layout;
}

void BuildModulePage(ModulePage& module) {
    QWidget* page = module.TabSheet;
    auto* pageLayout = new QHBoxLayout(page);
    pageLayout->setContentsMargins(GroupMargin, GroupMargin, GroupMargin, GroupMargin);
    pageLayout->setSpacing(GroupMargin * 2);

    auto* stateGroup = new QGroupBox(QStringLiteral("System State"), page);
    QVBoxLayout* stateLayout = NewGroupLayout(stateGroup);
    module.StateStringGrid = NewModuleTable(stateGroup, false, module.StateTable);
    module.StatusMemo = NewStatusMemo(stateGroup);
    stateLayout->addWidget(module.StateStringGrid, 0, Qt::AlignLeft);
    stateLayout->addWidget(module.StatusMemo, 1);

    auto* settingsGroup = new QGroupBox(QStringLiteral("Settings"), page);
    QVBoxLayout* settingsLayout = NewGroupLayout(settingsGroup);
    module.SettingsStringGrid = NewModuleTable(settingsGroup, true, module.SettingsTable);
    settingsLayout->addWidget(module.SettingsStringGrid, 0, Qt::AlignLeft);
    settingsLayout->addStretch(1);

    pageLayout->addWidget(stateGroup, 1);
    pageLayout->addWidget(settingsGroup, 1);
    QWidget::setTabOrder(module.StateStringGrid, module.SettingsStringGrid);
}

// The profile drop-down over the "Charging Profile" value cell and the profile
// strip and table, which stay hidden.
void BuildControlBoxExtras(WindowUi& ui) {
    QTableView* settings = ui.ControlBoxSettingsStringGrid();
    QWidget* settingsGroup = settings->parentWidget();
    auto* layout = static_cast<QVBoxLayout*>(settingsGroup->layout());

    ui.ChargeProfileTabControl = new QTabBar(settingsGroup);
    for (size_t i = 0; i < ChargeProfileCount; ++i)
        ui.ChargeProfileTabControl->addTab(
            QStringLiteral("%1 - %2").arg(i).arg(QString::fromStdString(ChargeProfileNames()[i])));
    ui.ChargeProfileStringGrid = new QTableView(settingsGroup);
    auto* profileTable = new ModuleTableModel(true, ui.ChargeProfileStringGrid);
    SetUpModuleTable(ui.ChargeProfileStringGrid, profileTable, ProfileTableRowHeight);
    profileTable->Reset(std::vector<std::string>(ChargeProfileRows));
    ui.ChargeProfileStringGrid->setFixedHeight(
        FittedTableHeight(ChargeProfileRows, ProfileTableRowHeight));
    layout->insertWidget(1, ui.ChargeProfileTabControl, 0, Qt::AlignLeft);
    layout->insertWidget(2, ui.ChargeProfileStringGrid, 0, Qt::AlignLeft);
    ui.ChargeProfileTabControl->hide();
    ui.ChargeProfileStringGrid->hide();

    // A child of the table, so it stays over the cell wherever the table goes.
    ui.PIComboBox = new QComboBox(settings);
    for (const std::string& name : ChargeProfileNames())
        ui.PIComboBox->addItem(QString::fromStdString(name));
    const int frame = settings->frameWidth();
    ui.PIComboBox->setGeometry(frame + TableColumnWidth, frame + ProfileRow * (TableRowHeight + 1),
                               TableColumnWidth - 1, TableRowHeight);
    ui.PIComboBox->setCurrentIndex(0);
    ui.PIComboBox->setToolTip(
        QStringLiteral("Charging Profile\nThe profile the system charges by"));
    QWidget::setTabOrder(settings, ui.PIComboBox);

    // The Wi-Fi password shows as dots until the owner asks to see it.
    ui.ShowWifiPassword = new QCheckBox(QStringLiteral("Show Wi-Fi password"), settingsGroup);
    layout->insertWidget(3, ui.ShowWifiPassword, 0, Qt::AlignLeft);
    QWidget::setTabOrder(ui.PIComboBox, ui.ShowWifiPassword);
}

QLabel* NewMessagePanel(QWidget* parent) {
    auto* panel = new QLabel(QStringLiteral(" Message"), parent);
    panel->setFixedHeight(17);
    panel->setAutoFillBackground(true);
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, Qt::yellow);
    palette.setColor(QPalette::WindowText, Qt::black);
    panel->setPalette(palette);
    QFont panelFont = panel->font();
    panelFont.setFamily(QStringLiteral("MS Sans Serif"));
    panelFont.setPixelSize(11);
    panelFont.setBold(true);
    panel->setFont(panelFont);
    panel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    panel->hide();
    return panel;
}

QVBoxLayout* NewPageLayout(QWidget* page) {
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    return layout;
}

}  // namespace

// The module pages in this order, then "System Outline" and "NMEA-2000".
void BuildPages(QMainWindow* window, WindowUi& ui, SystemData& data,
                const HistoryRecorder& history) {
    auto* central = new QWidget(window);
    auto* centralLayout = new QVBoxLayout(central);
    centralLayout->setContentsMargins(0, 0, 0, 0);
    centralLayout->setSpacing(0);

    ui.PageControl = new QTabWidget(central);
    // Every page's tab in sight: no scroll arrows to find the last ones behind.
    ui.PageControl->setUsesScrollButtons(false);
    for (ModuleId module :
         {ModuleId::BatteryBox, ModuleId::FieldBox1, ModuleId::FieldBox2, ModuleId::ControlBox}) {
        ModulePage& page = ui.Module(module);
        page.TabSheet = new QWidget(ui.PageControl);
        ui.PageControl->addTab(page.TabSheet, QString::fromLatin1(ModuleName(module)));
        BuildModulePage(page);
    }
    BuildControlBoxExtras(ui);

    ui.OutlineTabSheet = new QWidget(ui.PageControl);
    ui.PageControl->addTab(ui.OutlineTabSheet, QStringLiteral("System Outline"));
    ui.Outline = new OutlineView(data, ui.OutlineTabSheet);
    NewPageLayout(ui.OutlineTabSheet)->addWidget(ui.Outline);

    ui.TrendsTabSheet = new TrendsView(history, ui.PageControl);
    ui.PageControl->addTab(ui.TrendsTabSheet, QStringLiteral("Trends"));

    ui.CanTabSheet = new QWidget(ui.PageControl);
    ui.PageControl->addTab(ui.CanTabSheet, QStringLiteral("NMEA-2000"));
    ui.Can = new CanMonitor(ui.CanTabSheet);
    NewPageLayout(ui.CanTabSheet)->addWidget(ui.Can);

    ui.MessagePanel = NewMessagePanel(central);
    centralLayout->addWidget(ui.PageControl, 1);
    centralLayout->addWidget(ui.MessagePanel);
    window->setCentralWidget(central);
    ui.PageControl->setCurrentWidget(ui.ControlBoxTabSheet());
}

void BuildStatusBar(QMainWindow* window, WindowUi& ui) {
    QStatusBar* bar = window->statusBar();
    ui.StatusText = new QLabel(bar);
    ui.StatusText->setTextFormat(Qt::PlainText);
    ui.WriteProgress = new QProgressBar(bar);
    ui.WriteProgress->setFixedWidth(260);
    ui.WriteProgress->setMaximumHeight(16);
    ui.WriteProgress->hide();
    bar->addWidget(ui.StatusText, 1);
    bar->addPermanentWidget(ui.WriteProgress);
    bar->setSizeGripEnabled(false);
}

}  // namespace korvan
