#include "app/feedback.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

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
