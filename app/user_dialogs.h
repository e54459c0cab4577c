// Message boxes, file dialogs and input boxes of the main window, behind a small
// seam so that tests can answer them without blocking.
#pragma once

#include <QString>

#include "link/link.h"

class QWidget;

namespace korvan {

struct FileDialogRequest {
    QString Title;
    QString Filter;         // Qt filter text, e.g. "Text Files (*.txt)"
    QString DefaultSuffix;  // without the dot
    QString DefaultName;    // pre-filled file name; may be empty
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
};

// The real dialogs of the toolkit.
class QtUserDialogs : public UserDialogs {
  public:
    void ShowMessage(QWidget* parent, MessageKind kind, const QString& text) override;
    QString SaveFileName(QWidget* parent, const FileDialogRequest& request) override;
    QString OpenFileName(QWidget* parent, const FileDialogRequest& request) override;
    bool InputText(QWidget* parent, const QString& title, const QString& prompt,
                   QString& text) override;
};

}  // namespace korvan
