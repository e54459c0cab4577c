#include "app/alarms_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace korvan {

namespace {

enum Column { On, Name, Series, Condition, Threshold, Hysteresis, Delay, Per12, Base, Count };

const char* const Headers[Count] = {"On",    "Name",    "Series",     "Condition",   "Threshold",
                                    "Hyst.", "Delay s", "x2 on 24 V", "Counted from"};
const char* const BaseTexts[] = {"the threshold", "Field Box #1 fault temp.",
                                 "Field Box #2 fault temp."};

QComboBox* Combo(const QStringList& items, int current) {
    auto* box = new QComboBox;
    box->addItems(items);
    box->setCurrentIndex(current);
    return box;
}

QString Number(double v) { return QString::number(v, 'g', 10); }

// A status word's mask reads best in hexadecimal.
QString ThresholdText(const AlarmRule& r) {
    if (r.Condition != AlarmCondition::FlagSet || r.Threshold < 0) return Number(r.Threshold);
    return QStringLiteral("0x") + QString::number(qulonglong(r.Threshold), 16).toUpper();
}

double ReadThreshold(const QString& text, bool* ok) {
    if (text.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive))
        return double(text.mid(2).toULongLong(ok, 16));
    return text.toDouble(ok);
}

}  // namespace

AlarmsDialog::AlarmsDialog(const std::vector<AlarmRule>& rules, UserDialogs& dialogs,
                           QWidget* parent)
    : QDialog(parent), dialogs_(dialogs), table_(new QTableWidget(0, Count, this)) {
    setObjectName(QStringLiteral("AlarmsDialog"));
    setWindowTitle(QStringLiteral("Alarms"));
    for (int c = 0; c < Count; ++c)
        table_->setHorizontalHeaderItem(c, new QTableWidgetItem(QString::fromUtf8(Headers[c])));
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table_->verticalHeader()->hide();
    auto* add = new QPushButton(QStringLiteral("Add"), this);
    auto* remove = new QPushButton(QStringLiteral("Remove"), this);
    auto* defaults = new QPushButton(QStringLiteral("Defaults"), this);
    auto* exportButton = new QPushButton(QStringLiteral("Export..."), this);
    auto* importButton = new QPushButton(QStringLiteral("Import..."), this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* row = new QHBoxLayout;
    for (QPushButton* b : {add, remove, defaults, exportButton, importButton}) row->addWidget(b);
    row->addStretch();
    row->addWidget(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_);
    layout->addLayout(row);
    connect(add, &QPushButton::clicked, this, [this] {
        AddRow({"New alarm", HistorySeriesTable().front().Name, AlarmCondition::Above, 0, 0,
                std::chrono::seconds(10)});
    });
    connect(remove, &QPushButton::clicked, this,
            [this] { table_->removeRow(table_->currentRow()); });
    connect(defaults, &QPushButton::clicked, this, [this] { Show(DefaultAlarmRules()); });
    connect(exportButton, &QPushButton::clicked, this, &AlarmsDialog::Export);
    connect(importButton, &QPushButton::clicked, this, &AlarmsDialog::Import);
    connect(buttons, &QDialogButtonBox::accepted, this, &AlarmsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    Show(rules);
    resize(980, 360);
}

void AlarmsDialog::Show(const std::vector<AlarmRule>& rules) {
    table_->setRowCount(0);
    for (const AlarmRule& r : rules) AddRow(r);
}

void AlarmsDialog::AddRow(const AlarmRule& r) {
    const int n = table_->rowCount();
    table_->insertRow(n);
    auto* on = new QTableWidgetItem;
    on->setCheckState(r.Enabled ? Qt::Checked : Qt::Unchecked);
    table_->setItem(n, On, on);
    table_->setItem(n, Name, new QTableWidgetItem(QString::fromStdString(r.Name)));
    QStringList series;
    for (const HistorySeries& s : HistorySeriesTable()) series << QString::fromStdString(s.Name);
    table_->setCellWidget(n, Series, Combo(series, int(FindHistorySeries(r.Series).value_or(0))));
    table_->setCellWidget(
        n, Condition,
        Combo({AlarmConditionName(AlarmCondition::Above), AlarmConditionName(AlarmCondition::Below),
               AlarmConditionName(AlarmCondition::FlagSet)},
              int(r.Condition)));
    table_->setItem(n, Threshold, new QTableWidgetItem(ThresholdText(r)));
    table_->setItem(n, Hysteresis, new QTableWidgetItem(Number(r.Hysteresis)));
    table_->setItem(n, Delay, new QTableWidgetItem(QString::number(r.Delay.count())));
    auto* per12 = new QTableWidgetItem;
    per12->setCheckState(r.Per12Volts ? Qt::Checked : Qt::Unchecked);
    table_->setItem(n, Per12, per12);
    table_->setCellWidget(n, Base, Combo({BaseTexts[0], BaseTexts[1], BaseTexts[2]}, int(r.Base)));
}

std::vector<AlarmRule> AlarmsDialog::Rules(QString* error) const {
    std::vector<AlarmRule> rules;
    auto combo = [this](int row, int column) {
        return static_cast<QComboBox*>(table_->cellWidget(row, column))->currentIndex();
    };
    for (int n = 0; n < table_->rowCount(); ++n) {
        bool ok[3] = {};
        AlarmRule r;
        r.Enabled = table_->item(n, On)->checkState() == Qt::Checked;
        r.Name = table_->item(n, Name)->text().toStdString();
        r.Series = HistorySeriesTable()[size_t(combo(n, Series))].Name;
        r.Condition = AlarmCondition(combo(n, Condition));
        r.Threshold = ReadThreshold(table_->item(n, Threshold)->text(), &ok[0]);
        r.Hysteresis = table_->item(n, Hysteresis)->text().toDouble(&ok[1]);
        r.Delay = std::chrono::seconds(table_->item(n, Delay)->text().toInt(&ok[2]));
        r.Per12Volts = table_->item(n, Per12)->checkState() == Qt::Checked;
        r.Base = AlarmBase(combo(n, Base));
        if (!ok[0] || !ok[1] || !ok[2] || !AlarmRuleValid(r)) {
            if (error)
                *error = QStringLiteral(
                             "Alarm %1 (%2): threshold, hysteresis and delay must be "
                             "numbers, the hysteresis not below zero, the delay from 0 to %3 s, "
                             "and the mask of a status word from 0x1 to 0xFFFF.")
                             .arg(n + 1)
                             .arg(QString::fromStdString(r.Name))
                             .arg(MaxAlarmDelay.count());
            return {};
        }
        rules.push_back(r);
    }
    return rules;
}

void AlarmsDialog::accept() {
    QString error;
    Rules(&error);
    if (!error.isEmpty()) {
        dialogs_.ShowMessage(this, MessageKind::Warning, error);
        return;
    }
    QDialog::accept();
}

void AlarmsDialog::Export() {
    QString error;
    const std::vector<AlarmRule> rules = Rules(&error);
    if (!error.isEmpty()) {
        dialogs_.ShowMessage(this, MessageKind::Warning, error);
        return;
    }
    const QString path = dialogs_.SaveFileName(
        this, {QStringLiteral("Export Alarms"), QStringLiteral("CSV Files (*.csv)"),
               QStringLiteral("csv"), QStringLiteral("Alarms.csv")});
    if (path.isEmpty()) return;
    std::ofstream out(std::filesystem::path(path.toStdU16String()), std::ios::binary);
    out << AlarmRulesText(rules);
    out.close();
    if (!out)
        dialogs_.ShowMessage(this, MessageKind::Error,
                             QStringLiteral("Writing %1 failed.").arg(path));
}

void AlarmsDialog::Import() {
    const QString path = dialogs_.OpenFileName(
        this, {QStringLiteral("Import Alarms"), QStringLiteral("CSV Files (*.csv)"),
               QStringLiteral("csv"), QString()});
    if (path.isEmpty()) return;
    std::ifstream in(std::filesystem::path(path.toStdU16String()), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    std::vector<std::string> errors;
    const std::vector<AlarmRule> rules = ParseAlarmRules(text.str(), &errors);
    if (!in.is_open() || rules.empty()) {
        dialogs_.ShowMessage(this, MessageKind::Error,
                             QStringLiteral("%1 holds no alarms this tool can read.").arg(path));
        return;
    }
    Show(rules);
    if (!errors.empty())
        dialogs_.ShowMessage(
            this, MessageKind::Warning,
            QStringLiteral("Lines left out of %1:\n%2")
                .arg(path, QString::fromStdString(errors.front()) +
                               (errors.size() > 1 ? QStringLiteral(" ...") : QString())));
}

}  // namespace korvan
