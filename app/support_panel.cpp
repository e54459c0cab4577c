#include "app/support_panel.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace korvan {

SupportPanel::SupportPanel(QWidget* parent) : QDockWidget(QStringLiteral("Support"), parent) {
    setObjectName(QStringLiteral("SupportPanel"));
    auto* body = new QWidget(this);
    auto* layout = new QVBoxLayout(body);
    History = new QPlainTextEdit(body);
    History->setObjectName(QStringLiteral("SupportChatHistory"));
    History->setReadOnly(true);
    History->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    layout->addWidget(History);
    auto* row = new QHBoxLayout;
    Line = new QLineEdit(body);
    Line->setObjectName(QStringLiteral("SupportChatLine"));
    Send = new QPushButton(QStringLiteral("Send"), body);
    Send->setObjectName(QStringLiteral("SupportChatSend"));
    row->addWidget(Line);
    row->addWidget(Send);
    layout->addLayout(row);
    setWidget(body);
    resize(420, 300);
    connect(Send, &QPushButton::clicked, this, &SupportPanel::SendTyped);
    connect(Line, &QLineEdit::returnPressed, this, &SupportPanel::SendTyped);
    SetSendEnabled(false);
}

void SupportPanel::AddLine(const QString& time, const QString& side, const QString& text) {
    // One line per chat line, whatever the other side typed.
    QString flat = text;
    for (QChar& c : flat)
        if (c.unicode() < 0x20) c = QLatin1Char(' ');
    History->appendPlainText(time + QLatin1Char(' ') + side + QStringLiteral(": ") + flat);
}

QStringList SupportPanel::Lines() const {
    const QString text = History->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

void SupportPanel::SetSendEnabled(bool enabled) {
    Send->setEnabled(enabled);
    Line->setEnabled(enabled);
}

void SupportPanel::SendTyped() {
    const QString text = Line->text();
    if (text.isEmpty() || !Send->isEnabled()) return;
    Line->clear();
    emit SendLine(text);
}

}  // namespace korvan
