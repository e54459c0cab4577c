// The two dialogs of remote support: the owner's question before settings from
// support are written, and a new session's code for reading out on the phone.
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "app/user_dialogs.h"

namespace korvan {

namespace {

// A fifth column says which values this tool's checks changed, when any did.
QTableWidget* ChangesTable(QWidget* parent, const std::vector<SettingsChangeRow>& changes) {
    const bool notes =
        std::any_of(changes.begin(), changes.end(),
                    [](const SettingsChangeRow& row) { return !row.Note.isEmpty(); });
    const int columns = notes ? 5 : 4;
    auto* table = new QTableWidget(static_cast<int>(changes.size()), columns, parent);
    table->setObjectName(QStringLiteral("SettingsChangesTable"));
    table->setHorizontalHeaderLabels({QStringLiteral("Module"), QStringLiteral("Field"),
                                      QStringLiteral("Value now"), QStringLiteral("Value to write"),
                                      QStringLiteral("Note")});
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->hide();
    for (int row = 0; row < static_cast<int>(changes.size()); ++row) {
        const SettingsChangeRow& change = changes[static_cast<size_t>(row)];
        const QString cells[] = {change.Module, change.Field, change.Now, change.Received,
                                 change.Note};
        for (int column = 0; column < columns; ++column)
            table->setItem(row, column, new QTableWidgetItem(cells[column]));
    }
    table->resizeColumnsToContents();
    table->horizontalHeader()->setStretchLastSection(true);
    table->setMinimumSize(640, 240);
    return table;
}

}  // namespace

bool UserDialogs::ConfirmSettings(QWidget*, const QString&, const std::vector<SettingsChangeRow>&) {
    return false;
}

void UserDialogs::ShowSessionCode(QWidget* parent, const QString& code) {
    ShowMessage(parent, MessageKind::Information, code);
}

bool QtUserDialogs::ConfirmSettings(QWidget* parent, const QString& title,
                                    const std::vector<SettingsChangeRow>& changes) {
    QDialog dialog(parent);
    dialog.setWindowTitle(title);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(changes.empty()
                                     ? QStringLiteral("The settings from support change no value.")
                                     : QStringLiteral("Support sent settings that change:"),
                                 &dialog));
    if (!changes.empty()) layout->addWidget(ChangesTable(&dialog, changes));
    layout->addWidget(new QLabel(QStringLiteral("Write these settings to the system?"), &dialog));
    auto* buttons = new QDialogButtonBox(&dialog);
    QPushButton* write = buttons->addButton(QStringLiteral("Write"), QDialogButtonBox::AcceptRole);
    QPushButton* refuse =
        buttons->addButton(QStringLiteral("Refuse"), QDialogButtonBox::RejectRole);
    write->setObjectName(QStringLiteral("WriteButton"));
    refuse->setObjectName(QStringLiteral("RefuseButton"));
    // Enter or a stray key press must not write a charging system.
    write->setAutoDefault(false);
    refuse->setDefault(true);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    return dialog.exec() == QDialog::Accepted;
}

void QtUserDialogs::ShowSessionCode(QWidget* parent, const QString& code) {
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Support Session"));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QStringLiteral("Read this code to the customer:"), &dialog));
    auto* shown = new QLabel(code, &dialog);
    shown->setObjectName(QStringLiteral("SessionCodeLabel"));
    QFont big = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    big.setPixelSize(40);
    big.setBold(true);
    shown->setFont(big);
    shown->setAlignment(Qt::AlignCenter);
    shown->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(shown);
    layout->addWidget(new QLabel(QStringLiteral("The customer chooses Options \u2192 Join Support "
                                                "Session... and types it."),
                                 &dialog));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
    QPushButton* copy = buttons->addButton(QStringLiteral("Copy"), QDialogButtonBox::ActionRole);
    copy->setObjectName(QStringLiteral("CopyButton"));
    QObject::connect(copy, &QPushButton::clicked, &dialog, [code, copy] {
        QApplication::clipboard()->setText(code);
        copy->setText(QStringLiteral("Copied"));
    });
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    layout->addWidget(buttons);
    dialog.exec();
}

}  // namespace korvan
