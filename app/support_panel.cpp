#include "app/support_panel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace korvan {

SupportPanel::SupportPanel(QWidget* parent) : QDockWidget(QStringLiteral("Support"), parent) {
    setObjectName(QStringLiteral("SupportPanel"));
    auto* body = new QWidget(this);
    auto* layout = new QVBoxLayout(body);
    auto* top = new QHBoxLayout;
    Session = new QLabel(QStringLiteral("No support session"), body);
    Session->setObjectName(QStringLiteral("SupportSessionLabel"));
    Session->setWordWrap(true);
    Session->setTextInteractionFlags(Qt::TextSelectableByMouse);
    End = new QPushButton(QStringLiteral("End Support Session"), body);
    End->setObjectName(QStringLiteral("EndSupportSessionButton"));
    End->setEnabled(false);
    top->addWidget(Session, 1);
    top->addWidget(End);
    layout->addLayout(top);
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
    connect(End, &QPushButton::clicked, this, &SupportPanel::EndRequested);
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

void SupportPanel::SetSessionText(const QString& text) {
    Session->setText(text.isEmpty() ? QStringLiteral("No support session") : text);
    End->setEnabled(!text.isEmpty());
}

QPoint SupportPanel::PlaceBeside(const QRect& window, const QSize& size, const QRect& screen) {
    constexpr int Gap = 8;
    const int rightmost = std::max(screen.left(), screen.x() + screen.width() - size.width());
    int x = window.x() + window.width() + Gap;
    if (x > rightmost) x = window.x() - Gap - size.width();
    // Neither side has room: over the window's right edge, inside the screen.
    if (x < screen.left()) x = rightmost;
    const int y = std::clamp(window.top(), screen.top(),
                             std::max(screen.top(), screen.bottom() + 1 - size.height()));
    return {x, y};
}

void SupportPanel::SendTyped() {
    const QString text = Line->text();
    if (text.isEmpty() || !Send->isEnabled()) return;
    Line->clear();
    emit SendLine(text);
}

}  // namespace korvan
