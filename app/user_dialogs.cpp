#include "app/user_dialogs.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

namespace korvan {

namespace {

struct MessageStyle {
    MessageKind Kind;
    QMessageBox::Icon Icon;
    const char* Caption;
};

constexpr MessageStyle MessageStyles[] = {
    {MessageKind::Warning, QMessageBox::Warning, "Warning"},
    {MessageKind::Error, QMessageBox::Critical, "Error"},
    {MessageKind::Information, QMessageBox::Information, "Information"},
};

QString RunFileDialog(QWidget* parent, const FileDialogRequest& request, bool save) {
    QFileDialog dialog(parent, request.Title);
    dialog.setNameFilter(request.Filter);
    dialog.setDefaultSuffix(request.DefaultSuffix);
    if (save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        // Settings files are replaced and logs appended to: no question either way.
        dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (!request.DefaultName.isEmpty()) dialog.selectFile(request.DefaultName);
    if (dialog.exec() != QDialog::Accepted) return {};
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

}  // namespace

void QtUserDialogs::ShowMessage(QWidget* parent, MessageKind kind, const QString& text) {
    for (const MessageStyle& style : MessageStyles) {
        if (style.Kind != kind) continue;
        QMessageBox box(style.Icon, QString::fromLatin1(style.Caption), text, QMessageBox::Ok,
                        parent);
        box.exec();
        return;
    }
}

QString QtUserDialogs::SaveFileName(QWidget* parent, const FileDialogRequest& request) {
    return RunFileDialog(parent, request, true);
}

QString QtUserDialogs::OpenFileName(QWidget* parent, const FileDialogRequest& request) {
    return RunFileDialog(parent, request, false);
}

bool QtUserDialogs::InputText(QWidget* parent, const QString& title, const QString& prompt,
                              QString& text) {
    bool ok = false;
    const QString entered =
        QInputDialog::getText(parent, title, prompt, QLineEdit::Normal, text, &ok);
    if (ok) text = entered;
    return ok;
}

bool UserDialogs::Ask(QWidget*, const QString&, const QString&, const QString&, const QString&) {
    return false;
}

bool QtUserDialogs::Ask(QWidget* parent, const QString& title, const QString& text,
                        const QString& first, const QString& second) {
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, parent);
    QPushButton* yes = box.addButton(first, QMessageBox::AcceptRole);
    box.setDefaultButton(yes);
    box.addButton(second, QMessageBox::RejectRole);
    box.exec();
    return box.clickedButton() == yes;
}

bool UserDialogs::Confirm(QWidget*, const QString&, const QString&, const QString&, const QString&,
                          const QString&) {
    return false;
}

bool UserDialogs::ConfirmAction(QWidget* parent, const QString& title, const QString& text,
                                const QString& action) {
    return Confirm(parent, title, text, QString(), action, QStringLiteral("Cancel"));
}

int UserDialogs::ChooseItem(QWidget*, const QString&, const QString&, const QStringList&) {
    return -1;
}

bool QtUserDialogs::Confirm(QWidget* parent, const QString& title, const QString& text,
                            const QString& details, const QString& proceed, const QString& back) {
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::NoButton, parent);
    box.setInformativeText(details);
    QPushButton* yes = box.addButton(proceed, QMessageBox::AcceptRole);
    QPushButton* no = box.addButton(back, QMessageBox::RejectRole);
    box.setDefaultButton(no);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

int QtUserDialogs::ChooseItem(QWidget* parent, const QString& title, const QString& label,
                              const QStringList& items) {
    if (items.isEmpty()) return -1;
    bool ok = false;
    const QString chosen = QInputDialog::getItem(parent, title, label, items, 0, false, &ok);
    return ok ? int(items.indexOf(chosen)) : -1;
}

}  // namespace korvan
