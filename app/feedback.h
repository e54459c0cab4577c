// What the window tells the user after a command: a short notice in the status
// bar, the warning of a write that stopped part-way, and the list of typed values
// that the checks of the read-back replaced.
#pragma once

#include <QDialog>
#include <QString>
#include <string>
#include <vector>

#include "link/link.h"
#include "model/modules.h"
#include "session/system_session.h"

class QMainWindow;
class QPlainTextEdit;

namespace korvan {

// How long a notice stays in the status bar before the link's status text shows again.
constexpr int NoticeMs = 6000;

// A typed value that the checks replaced, by module and row.
struct SettingsCorrection {
    ModuleId Module;
    std::string Label;
    std::string Range;  // as the row's tooltip gives it; "" when no check bounds the row
    std::string Typed;
    std::string Used;
};

// The warning of a write that stopped before its last report: where it stopped,
// how far it got, and that the system may hold a mix of old and new settings.
// `writing` names the command ("Writing all settings"), `again` its repetition.
QString InterruptedWriteText(const WriteOutcome& outcome, const char* writing, const char* again);

// What the window says when a command has ended: a notice in the status bar
// and, for some ends, a message box.
struct CommandReport {
    QString Notice;
    std::optional<MessageKind> Kind;  // the box, when there is one
    QString Message;
};
CommandReport ReportOf(const CommandResult& result);

// One line per correction: module, row label, what was typed, what was used.
QString CorrectionsText(const std::vector<SettingsCorrection>& corrections);

class CorrectionsNotice;
class UserDialogs;

// How the window tells the user things: a notice in its status bar, a message
// box, the list of typed values that the checks replaced.
class WindowNotices {
  public:
    WindowNotices(QMainWindow& window, UserDialogs& dialogs) : window_(window), dialogs_(dialogs) {}
    // A few seconds in the status bar, over the link's status text.
    void Notice(const QString& text);
    void Message(MessageKind kind, const QString& text);
    // Nothing when none were replaced.
    void Corrections(const std::vector<SettingsCorrection>& corrections);
    // Before a write: the typed values the checks would replace, with the choice
    // to write them so or to go back; true at once when there are none.
    bool MayWriteCorrections(const std::vector<SettingsCorrection>& corrections);
    // Before `what` (a sentence: "Loading X replaces them.") replaces typed
    // settings not yet written: true when there are none (`edited` false) or the
    // user lets them go with `proceed`.
    bool MayDropEdits(bool edited, const QString& what, const QString& proceed);

  private:
    QMainWindow& window_;
    UserDialogs& dialogs_;
    CorrectionsNotice* corrections_ = nullptr;  // made when first needed
};

// A window beside the main window, not modal: the user reads it while working on.
class CorrectionsNotice : public QDialog {
  public:
    explicit CorrectionsNotice(QWidget* parent);
    void Show(const std::vector<SettingsCorrection>& corrections);
    QString Text() const;

  private:
    QPlainTextEdit* text_;
};

}  // namespace korvan
