// Message boxes, file dialogs and input boxes of the main window, behind a small
// seam so that tests can answer them without blocking.
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "link/link.h"

class QWidget;

namespace korvan {

struct FileDialogRequest {
    QString Title;
    QString Filter;         // Qt filter text, e.g. "Text Files (*.txt)"
    QString DefaultSuffix;  // without the dot
    QString DefaultName;    // pre-filled file name; may be empty
};

// One value that settings from support would change.
struct SettingsChangeRow {
    QString Module;
    QString Field;
    QString Now;
    QString Received;  // what would be written
    // Not empty when this tool's checks changed the value support sent.
    QString Note;
};

class UserDialogs {
  public:
    virtual ~UserDialogs() = default;
    // A modal box with one OK button.
    virtual void ShowMessage(QWidget* parent, MessageKind kind, const QString& text) = 0;
    // The chosen path, or an empty string when the dialog was cancelled.
    virtual QString SaveFileName(QWidget* parent, const FileDialogRequest& request) = 0;
    // Only an existing file in an existing folder can be chosen.
    virtual QString OpenFileName(QWidget* parent, const FileDialogRequest& request) = 0;
    // An input box pre-filled with `text`; false (text unchanged) when cancelled.
    virtual bool InputText(QWidget* parent, const QString& title, const QString& prompt,
                           QString& text) = 0;
    // The changes that settings from support would make and the question "Write
    // these settings to the system?"; true for "Write", false for "Refuse". Without
    // an answer of the user's nothing is written.
    virtual bool ConfirmSettings(QWidget* parent, const QString& title,
                                 const std::vector<SettingsChangeRow>& changes);
    // A new support session's code in large letters, with a button that copies it.
    virtual void ShowSessionCode(QWidget* parent, const QString& code);
    // A question with two answers; true for `first`, false for `second` or when
    // the box is closed. Without an answer of the user's, the second.
    virtual bool Ask(QWidget* parent, const QString& title, const QString& text,
                     const QString& first, const QString& second);
    // A question before something that replaces or loses what the user has: true
    // for `proceed`. `back` is the default button and the answer of Escape and of
    // closing the box; without an answer of the user's, `back`. `details` (may be
    // empty) lists what is at stake.
    virtual bool Confirm(QWidget* parent, const QString& title, const QString& text,
                         const QString& details, const QString& proceed, const QString& back);
    // A question before a step that cannot be taken back: true for `action`; "Cancel"
    // is the default button, so Enter alone does not take the step (a `Confirm`).
    bool ConfirmAction(QWidget* parent, const QString& title, const QString& text,
                       const QString& action);
    // One of `items` chosen from a list; -1 when cancelled or there are none.
    virtual int ChooseItem(QWidget* parent, const QString& title, const QString& label,
                           const QStringList& items);
};

// The real dialogs of the toolkit.
class QtUserDialogs : public UserDialogs {
  public:
    void ShowMessage(QWidget* parent, MessageKind kind, const QString& text) override;
    QString SaveFileName(QWidget* parent, const FileDialogRequest& request) override;
    QString OpenFileName(QWidget* parent, const FileDialogRequest& request) override;
    bool InputText(QWidget* parent, const QString& title, const QString& prompt,
                   QString& text) override;
    bool ConfirmSettings(QWidget* parent, const QString& title,
                         const std::vector<SettingsChangeRow>& changes) override;
    void ShowSessionCode(QWidget* parent, const QString& code) override;
    bool Ask(QWidget* parent, const QString& title, const QString& text, const QString& first,
             const QString& second) override;
    bool Confirm(QWidget* parent, const QString& title, const QString& text, const QString& details,
                 const QString& proceed, const QString& back) override;
    int ChooseItem(QWidget* parent, const QString& title, const QString& label,
                   const QStringList& items) override;
};

}  // namespace korvan
