// The "Support" panel: every chat line of the run with its time and side, and a
// line to type the next one. A dock beside the main window, floating at first so
// that the window keeps its size.
#pragma once

#include <QDockWidget>
#include <QString>
#include <QStringList>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace korvan {

class SupportPanel : public QDockWidget {
    Q_OBJECT
  public:
    explicit SupportPanel(QWidget* parent);

    // Appends "hh:mm:ss SIDE: text" (the side as "SUPPORT" or "CLIENT").
    void AddLine(const QString& time, const QString& side, const QString& text);
    QStringList Lines() const;
    // Sending is possible while one side of remote support is active.
    void SetSendEnabled(bool enabled);
    // The session's state in one line; "" without a session.
    void SetSessionText(const QString& text);

    // Where a floating panel of `size` goes: beside `window`, on the side of it
    // that `screen` has room for, and never beyond `screen`.
    static QPoint PlaceBeside(const QRect& window, const QSize& size, const QRect& screen);

    QPlainTextEdit* History = nullptr;
    QLineEdit* Line = nullptr;
    QPushButton* Send = nullptr;
    QLabel* Session = nullptr;
    QPushButton* End = nullptr;

  signals:
    void SendLine(const QString& text);
    void EndRequested();

  private:
    void SendTyped();
};

}  // namespace korvan
