#include "display/can_decoded_view.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>
#include <QSplitter>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>
#include <utility>

#include "display/can_frame_model.h"

namespace korvan {

CanDecodedView::CanDecodedView(QWidget* parent) : QWidget(parent) {
    model_ = new CanFrameModel(this);

    PgnFilterEdit = new QLineEdit(this);
    PgnFilterEdit->setPlaceholderText(QStringLiteral("PGN or name"));
    PgnFilterEdit->setClearButtonEnabled(true);
    N2kOnlyCheckBox = new QCheckBox(QStringLiteral("NMEA 2000 only"), this);

    FrameTable = new QTableView(this);
    FrameTable->setModel(model_);
    FrameTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    FrameTable->setSelectionMode(QAbstractItemView::SingleSelection);
    FrameTable->verticalHeader()->hide();
    FrameTable->verticalHeader()->setDefaultSectionSize(FrameTable->fontMetrics().height() + 4);
    FrameTable->horizontalHeader()->setSectionResizeMode(CanFrameModel::NameColumn,
                                                         QHeaderView::Stretch);
    // Time and PGN keep the width of their longest text from the start: sized to
    // the rows shown, they came out as "23..." and "1...".
    const QFontMetrics metrics = FrameTable->fontMetrics();
    const int padding = 2 * metrics.horizontalAdvance(QLatin1Char('0'));
    for (const auto& [column, widest] : {std::pair{CanFrameModel::TimeColumn, "00:00:00.000"},
                                         {CanFrameModel::PgnColumn, "000000"}}) {
        FrameTable->horizontalHeader()->setSectionResizeMode(column, QHeaderView::Fixed);
        FrameTable->horizontalHeader()->resizeSection(
            column, metrics.horizontalAdvance(QLatin1String(widest)) + padding);
    }
    for (int c : {CanFrameModel::SourceColumn, CanFrameModel::DestinationColumn,
                  CanFrameModel::PriorityColumn})
        FrameTable->horizontalHeader()->setSectionResizeMode(c, QHeaderView::ResizeToContents);

    FieldTable = new QTableWidget(0, 2, this);
    FieldTable->setHorizontalHeaderLabels({QStringLiteral("Field"), QStringLiteral("Value")});
    FieldTable->verticalHeader()->hide();
    FieldTable->verticalHeader()->setDefaultSectionSize(
        FrameTable->verticalHeader()->defaultSectionSize());
    FieldTable->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    FieldTable->horizontalHeader()->setStretchLastSection(true);
    FieldTable->setEditTriggers(QAbstractItemView::NoEditTriggers);

    SourceList = new QListWidget(this);

    auto* filters = new QHBoxLayout;
    filters->addWidget(new QLabel(QStringLiteral("PGN:"), this));
    filters->addWidget(PgnFilterEdit, 1);
    filters->addWidget(N2kOnlyCheckBox);

    // The frames on the left; the selected frame's fields over the sources on the right.
    auto* right = new QSplitter(Qt::Vertical, this);
    right->addWidget(FieldTable);
    auto* sourcesBox = new QWidget(right);
    auto* sourcesLayout = new QVBoxLayout(sourcesBox);
    sourcesLayout->setContentsMargins(0, 0, 0, 0);
    sourcesLayout->addWidget(new QLabel(QStringLiteral("Sources"), sourcesBox));
    sourcesLayout->addWidget(SourceList);
    right->addWidget(sourcesBox);
    right->setStretchFactor(0, 3);
    right->setStretchFactor(1, 1);

    auto* split = new QSplitter(Qt::Horizontal, this);
    split->addWidget(FrameTable);
    split->addWidget(right);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(filters);
    layout->addWidget(split, 1);

    connect(PgnFilterEdit, &QLineEdit::textChanged, this, &CanDecodedView::ApplyFilter);
    connect(N2kOnlyCheckBox, &QCheckBox::toggled, this, &CanDecodedView::ApplyFilter);
    connect(SourceList, &QListWidget::currentRowChanged, this, &CanDecodedView::ApplyFilter);
    connect(model_, &CanFrameModel::SourcesChanged, this, &CanDecodedView::RefreshSources);
    connect(FrameTable->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &CanDecodedView::ShowFields);
    connect(model_, &QAbstractItemModel::modelReset, this, &CanDecodedView::ShowFields);
    // New rows keep the table at its end while it shows the end; a hidden table
    // goes there when it is shown again.
    connect(model_, &QAbstractItemModel::rowsInserted, this, [this] {
        if (FrameTable->isVisible() && AtEnd()) FrameTable->scrollToBottom();
    });
    RefreshSources();
}

bool CanDecodedView::AtEnd() const {
    const QScrollBar* down = FrameTable->verticalScrollBar();
    return down->value() >= down->maximum() - 1;
}

void CanDecodedView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (follow_) FrameTable->scrollToBottom();
}

void CanDecodedView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    follow_ = AtEnd();
}

void CanDecodedView::ApplyFilter() {
    CanFrameFilter filter;
    filter.Pgn = PgnFilterEdit->text();
    filter.N2kOnly = N2kOnlyCheckBox->isChecked();
    const QListWidgetItem* item = SourceList->currentItem();
    filter.Source = item ? item->data(Qt::UserRole).toInt() : -1;
    if (filter == model_->Filter()) return;
    model_->SetFilter(filter);
}

void CanDecodedView::RefreshSources() {
    const int current =
        SourceList->currentItem() ? SourceList->currentItem()->data(Qt::UserRole).toInt() : -1;
    QSignalBlocker block(SourceList);
    SourceList->clear();
    auto* all = new QListWidgetItem(QStringLiteral("All sources"), SourceList);
    all->setData(Qt::UserRole, -1);
    if (current == -1) SourceList->setCurrentItem(all);
    for (const auto& [address, info] : model_->Sources()) {
        QString text =
            QStringLiteral("%1 (0x%2)").arg(address).arg(address, 2, 16, QLatin1Char('0'));
        if (!info.Name.isEmpty()) text += QStringLiteral("  ") + info.Name;
        auto* item = new QListWidgetItem(text, SourceList);
        item->setData(Qt::UserRole, int(address));
        if (current == address) SourceList->setCurrentItem(item);
    }
}

void CanDecodedView::ShowFields() {
    const QModelIndex current = FrameTable->currentIndex();
    const auto fields = model_->Fields(current.isValid() ? current.row() : -1);
    FieldTable->setRowCount(0);
    for (const n2k::DecodedField& f : fields) {
        if (f.State == n2k::FieldState::Reserved) continue;
        const int row = FieldTable->rowCount();
        FieldTable->insertRow(row);
        // The entries of a list by their number: "PGN [3]".
        QString name = QString::fromUtf8(f.Def->Name);
        if (f.Set != 0) name += QStringLiteral(" [%1]").arg(f.Entry + 1);
        FieldTable->setItem(row, 0, new QTableWidgetItem(name));
        const QString text = f.State == n2k::FieldState::NotDecoded
                                 ? QStringLiteral("not decoded")
                                 : QString::fromStdString(f.Text);
        FieldTable->setItem(row, 1, new QTableWidgetItem(text));
    }
}

}  // namespace korvan
