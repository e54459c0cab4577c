// The pages of the main window: the four module pages with their tables and
// status text boxes, the outline page, the CAN frame page; the message panel and
// the status bar.
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/main_window.h"
#include "app/module_tables.h"
#include "display/can_monitor.h"
#include "display/outline_view.h"
#include "model/charge_profiles.h"

namespace korvan {

namespace {

constexpr int GroupMargin = 8;
constexpr int ProfileRow = 5;
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
    return memo;
}

QTableWidget* NewModuleTable(QWidget* parent, bool editable) {
    auto* table = new QTableWidget(parent);
    SetUpModuleTable(table, editable);
    return table;
}

QVBoxLayout* NewGroupLayout(QGroupBox* group) {
    auto* layout = new QVBoxLayout(group);
    layout->setContentsMargins(GroupMargin, GroupMargin, GroupMargin, GroupMargin);
    // The status text box starts 8 pixels below its table and ends 8 above the frame.
    layout->setSpacing(GroupMargin);
    return layout;
}

}  // namespace

void TMainFormKX4::BuildModulePage(QWidget* page, QTableWidget*& state, QPlainTextEdit*& memo,
                                   QTableWidget*& settings) {
    auto* pageLayout = new QHBoxLayout(page);
    pageLayout->setContentsMargins(GroupMargin, GroupMargin, GroupMargin, GroupMargin);
    pageLayout->setSpacing(GroupMargin * 2);

    auto* stateGroup = new QGroupBox(QStringLiteral("System State"), page);
    QVBoxLayout* stateLayout = NewGroupLayout(stateGroup);
    state = NewModuleTable(stateGroup, false);
    memo = NewStatusMemo(stateGroup);
    stateLayout->addWidget(state, 0, Qt::AlignLeft);
    stateLayout->addWidget(memo, 1);

    auto* settingsGroup = new QGroupBox(QStringLiteral("Settings"), page);
    QVBoxLayout* settingsLayout = NewGroupLayout(settingsGroup);
    settings = NewModuleTable(settingsGroup, true);
    settingsLayout->addWidget(settings, 0, Qt::AlignLeft);
    settingsLayout->addStretch(1);

    pageLayout->addWidget(stateGroup, 1);
    pageLayout->addWidget(settingsGroup, 1);
}

// The profile drop-down over the "Charging Profile" value cell and the profile
// strip and table, which stay hidden.
void TMainFormKX4::BuildControlBoxExtras(QWidget* settingsGroup) {
    auto* layout = static_cast<QVBoxLayout*>(settingsGroup->layout());

    ChargeProfileTabControl = new QTabBar(settingsGroup);
    for (size_t i = 0; i < ChargeProfileCount; ++i)
        ChargeProfileTabControl->addTab(
            QStringLiteral("%1 - %2").arg(i).arg(QString::fromStdString(ChargeProfileNames()[i])));
    ChargeProfileStringGrid = new QTableWidget(settingsGroup);
    SetUpModuleTable(ChargeProfileStringGrid, true, ProfileTableRowHeight);
    ChargeProfileStringGrid->setRowCount(ChargeProfileRows);
    ChargeProfileStringGrid->setFixedHeight(
        FittedTableHeight(ChargeProfileRows, ProfileTableRowHeight));
    layout->insertWidget(1, ChargeProfileTabControl, 0, Qt::AlignLeft);
    layout->insertWidget(2, ChargeProfileStringGrid, 0, Qt::AlignLeft);
    ChargeProfileTabControl->hide();
    ChargeProfileStringGrid->hide();

    // A child of the table, so it stays over the cell wherever the table goes.
    PIComboBox = new QComboBox(ControlBoxSettingsStringGrid);
    for (const std::string& name : ChargeProfileNames())
        PIComboBox->addItem(QString::fromStdString(name));
    const int frame = ControlBoxSettingsStringGrid->frameWidth();
    PIComboBox->setGeometry(frame + TableColumnWidth, frame + ProfileRow * (TableRowHeight + 1),
                            TableColumnWidth - 1, TableRowHeight);
    PIComboBox->setCurrentIndex(0);
}

void TMainFormKX4::BuildPages() {
    auto* central = new QWidget(this);
    auto* centralLayout = new QVBoxLayout(central);
    centralLayout->setContentsMargins(0, 0, 0, 0);
    centralLayout->setSpacing(0);

    PageControl = new QTabWidget(central);
    struct PageRow {
        QWidget* TMainFormKX4::*Page;
        const char* Caption;
    };
    static constexpr PageRow Pages[] = {
        {&TMainFormKX4::BatteryBoxTabSheet, "Battery Control Module"},
        {&TMainFormKX4::FieldBox1TabSheet, "Field Control Module #1"},
        {&TMainFormKX4::FieldBox2TabSheet, "Field Control Module #2"},
        {&TMainFormKX4::ControlBoxTabSheet, "System Control Module"},
        {&TMainFormKX4::OutlineTabSheet, "System Outline"},
        {&TMainFormKX4::CanTabSheet, "NMEA-2000"},
    };
    for (const PageRow& row : Pages) {
        this->*row.Page = new QWidget(PageControl);
        PageControl->addTab(this->*row.Page, QString::fromLatin1(row.Caption));
    }

    BuildModulePage(BatteryBoxTabSheet, BatteryBoxStateStringGrid, BatteryBoxStatusMemo,
                    BatteryBoxSettingsStringGrid);
    BuildModulePage(FieldBox1TabSheet, FieldBox1StateStringGrid, FieldBox1StatusMemo,
                    FieldBox1SettingsStringGrid);
    BuildModulePage(FieldBox2TabSheet, FieldBox2StateStringGrid, FieldBox2StatusMemo,
                    FieldBox2SettingsStringGrid);
    BuildModulePage(ControlBoxTabSheet, ControlBoxStateStringGrid, ControlBoxStatusMemo,
                    ControlBoxSettingsStringGrid);
    BuildControlBoxExtras(ControlBoxSettingsStringGrid->parentWidget());

    auto* outlineLayout = new QVBoxLayout(OutlineTabSheet);
    outlineLayout->setContentsMargins(0, 0, 0, 0);
    Outline = new OutlineView(data_, OutlineTabSheet);
    outlineLayout->addWidget(Outline);

    auto* canLayout = new QVBoxLayout(CanTabSheet);
    canLayout->setContentsMargins(0, 0, 0, 0);
    Can = new CanMonitor(CanTabSheet);
    canLayout->addWidget(Can);

    MessagePanel = new QLabel(QStringLiteral(" Message"), central);
    MessagePanel->setFixedHeight(17);
    MessagePanel->setAutoFillBackground(true);
    QPalette palette = MessagePanel->palette();
    palette.setColor(QPalette::Window, Qt::yellow);
    palette.setColor(QPalette::WindowText, Qt::black);
    MessagePanel->setPalette(palette);
    QFont panelFont = MessagePanel->font();
    panelFont.setFamily(QStringLiteral("MS Sans Serif"));
    panelFont.setPixelSize(11);
    panelFont.setBold(true);
    MessagePanel->setFont(panelFont);
    MessagePanel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    MessagePanel->hide();

    centralLayout->addWidget(PageControl, 1);
    centralLayout->addWidget(MessagePanel);
    setCentralWidget(central);
    PageControl->setCurrentWidget(ControlBoxTabSheet);
}

void TMainFormKX4::BuildStatusBar() {
    StatusText = new QLabel(statusBar());
    StatusText->setTextFormat(Qt::PlainText);
    WriteProgress = new QProgressBar(statusBar());
    WriteProgress->setFixedWidth(260);
    WriteProgress->setMaximumHeight(16);
    WriteProgress->hide();
    statusBar()->addWidget(StatusText, 1);
    statusBar()->addPermanentWidget(WriteProgress);
    statusBar()->setSizeGripEnabled(false);
}

}  // namespace korvan
