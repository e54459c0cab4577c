#include "app/feedback.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QVBoxLayout>

#include "app/status_text.h"
#include "app/user_dialogs.h"

namespace korvan {

QString InterruptedWriteText(const WriteOutcome& outcome, const char* writing, const char* again) {
    return QStringLiteral(
               "%1 stopped at the %2: %3 of %4 reports were sent.\n\n"
               "The system may now hold a mix of old and new settings. Check the connection, "
               "then %5.")
        .arg(QLatin1String(writing), QLatin1String(ModuleName(outcome.Module)))
        .arg(outcome.Sent)
        .arg(outcome.Total)
        .arg(QLatin1String(again));
}

namespace {

// The link's last word, or the user's stop, for a notice that says why a command failed.
QString Reason(const CommandResult& result) {
    if (result.Write.Stopped) return QStringLiteral("stopped at your request");
    return QString::fromStdString(OneLineStatus(result.Reason));
}

CommandReport WriteReport(const CommandResult& result, const char* writing, const char* again) {
    const WriteOutcome& write = result.Write;
    return {QStringLiteral("%1 stopped after %2 of %3 reports: ")
                    .arg(QLatin1String(writing))
                    .arg(write.Sent)
                    .arg(write.Total) +
                Reason(result),
            MessageKind::Warning, InterruptedWriteText(write, writing, again)};
}

CommandReport Notice(const QString& text) { return {text, std::nullopt, QString()}; }

}  // namespace

void WindowNotices::Notice(const QString& text) {
    window_.statusBar()->showMessage(text, NoticeMs);
}

void WindowNotices::Message(MessageKind kind, const QString& text) {
    dialogs_.ShowMessage(&window_, kind, text);
}

void WindowNotices::Corrections(const std::vector<SettingsCorrection>& corrections) {
    if (corrections.empty()) return;
    if (!corrections_) corrections_ = new CorrectionsNotice(&window_);
    corrections_->Show(corrections);
}

bool WindowNotices::MayWriteCorrections(const std::vector<SettingsCorrection>& corrections) {
    if (corrections.empty()) return true;
    return dialogs_.Confirm(
        &window_, QStringLiteral("Values the checks would replace"),
        QStringLiteral("Some typed values are out of range or not numbers. The checks would "
                       "write other values in their place:"),
        CorrectionsText(corrections), QStringLiteral("Write"), QStringLiteral("Go back"));
}

bool WindowNotices::MayDropEdits(bool edited, const QString& what, const QString& proceed) {
    if (!edited) return true;
    return dialogs_.Confirm(&window_, QStringLiteral("Settings not written"),
                            QStringLiteral("Some edited settings have not been written to the "
                                           "system. ") +
                                what,
                            QString(), proceed, QStringLiteral("Keep the edits"));
}

CommandReport ReportOf(const CommandResult& result) {
    const bool ok = result.Ok;
    switch (result.Kind) {
        case SettingsCommand::ReadAllSettings:
            if (!ok)
                return Notice(QStringLiteral("Reading the settings failed: ") + Reason(result));
            return Notice(result.Forwarded
                              ? QStringLiteral("Settings requested from the customer's system")
                              : QStringLiteral("All settings read from the system"));
        case SettingsCommand::WriteAllSettings:
            if (!ok) return WriteReport(result, "Writing all settings", "write all settings again");
            return Notice(
                result.Forwarded
                    ? QStringLiteral("All settings sent to the customer's system")
                    : QStringLiteral("All settings written: %1 reports").arg(result.Write.Total));
        case SettingsCommand::WriteControlBoxSettings:
            if (!ok)
                return WriteReport(result, "Writing the control box settings",
                                   "write the control box settings again");
            if (!result.Write.ReadBack)
                return Notice(
                    QStringLiteral("Control box settings written; reading them back failed: ") +
                    Reason(result));
            return Notice(QStringLiteral("Control box settings written and read back"));
        case SettingsCommand::ResetControlBoxDefaults:
            if (ok)
                return Notice(QStringLiteral("Control box settings reset to their default values"));
            return {QStringLiteral("Control box settings not reset"), MessageKind::Error,
                    QString::fromLatin1(UsbRequiredText)};
        case SettingsCommand::ResetBluetoothRadio:
            if (ok)
                return {QStringLiteral("Bluetooth radio reset"), MessageKind::Information,
                        QStringLiteral("Bluetooth Module has been reset")};
            return {QStringLiteral("Bluetooth radio not reset"), MessageKind::Error,
                    QString::fromLatin1(UsbRequiredText)};
    }
    return {};
}

QString CorrectionsText(const std::vector<SettingsCorrection>& corrections) {
    QStringList lines;
    for (const SettingsCorrection& c : corrections) {
        QString line =
            QStringLiteral("%1, %2: typed \"%3\", used %4")
                .arg(QLatin1String(ModuleName(c.Module)), QString::fromStdString(c.Label),
                     QString::fromStdString(c.Typed), QString::fromStdString(c.Used));
        if (!c.Range.empty())
            line += QStringLiteral(" (allowed: %1)").arg(QString::fromStdString(c.Range));
        lines << line;
    }
    return lines.join(QLatin1Char('\n'));
}

CorrectionsNotice::CorrectionsNotice(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("CorrectionsNotice"));
    setWindowTitle(QStringLiteral("Values replaced by the checks"));
    setModal(false);
    auto* intro = new QLabel(
        QStringLiteral("These typed values were out of range or not numbers. The checks used "
                       "other values in their place; the tables still show what was typed, "
                       "with the cells marked."),
        this);
    intro->setWordWrap(true);
    text_ = new QPlainTextEdit(this);
    text_->setObjectName(QStringLiteral("CorrectionsText"));
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::hide);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(text_, 1);
    layout->addWidget(buttons);
    resize(560, 220);
}

void CorrectionsNotice::Show(const std::vector<SettingsCorrection>& corrections) {
    text_->setPlainText(CorrectionsText(corrections));
    show();
    raise();
}

QString CorrectionsNotice::Text() const { return text_->toPlainText(); }

}  // namespace korvan
