// The "NMEA-2000" page: the raw CAN frame list with "View in Hex", and "Pause",
// "Clear" and "Copy to Clipboard" both as buttons beside it and in the list's
// context menu. Each line starts with the time it was received. Under the list, the
// same frames decoded (CanDecodedView), with their filters.
#pragma once

#include <QWidget>
#include <cstdint>
#include <deque>

#include "display/can_format.h"

class QCheckBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QAction;
class QToolButton;

namespace korvan {

class CanDecodedView;

class CanMonitor : public QWidget {
    Q_OBJECT
  public:
    // The list keeps this many lines and drops the oldest beyond it, so that a
    // monitor left running for days stays small and quick.
    static constexpr int MaxLines = 20000;
    // "hh:mm:ss.zzz" and a TAB in front of every frame line.
    static constexpr int TimeColumnLength = 13;

    explicit CanMonitor(QWidget* parent = nullptr);

    bool Paused() const;     // "Pause" checked: no frames are requested
    bool ViewInHex() const;  // "View in Hex" checked
    // Adds one line per record of a 64-byte answer to CmdCanFrames (offsets 0 and 32)
    // whose data length is not 0, the frame at offset 0 first.
    void AddFrameRecords(const uint8_t* answer);
    QStringList Lines() const;
    // Lines `first` to `last` as copied: the time and the frame's columns, one TAB
    // between fields, the same number of fields on every line.
    QString CopyText(int first, int last) const;

    QLabel* CanLabel = nullptr;  // "Raw CAN Frames"
    QLabel* PausedLabel = nullptr;
    QPlainTextEdit* CanMemo = nullptr;
    QCheckBox* CanViewHexCheckBox = nullptr;
    QMenu* CanRxMemoPopupMenu = nullptr;
    QAction* PauseCanWatch = nullptr;
    QAction* ClearAllLines = nullptr;
    QAction* CopyToClipboard = nullptr;
    QToolButton* PauseButton = nullptr;
    QToolButton* ClearButton = nullptr;
    QToolButton* CopyButton = nullptr;
    CanDecodedView* DecodedView = nullptr;

  public slots:
    void PauseCanWatchClick();  // toggles "Pause", as a click on the item does
    void ClearAllLinesClick();  // the decoded frames too
    void CopyToClipboardClick();

  protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    // Ctrl+C in the list copies the selected lines (all when none are selected).
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // One line's frame, kept to write the line again in the other view and to copy it.
    struct Captured {
        int MsecsOfDay;
        CanFrameRecord Record;
    };

    // `count` lines at the end of the list, the place the user has kept.
    void AppendLines(const QString& text, int count) const;
    // The captured frames the list does not show yet, written into it.
    void ShowUnshown() const;
    // The list shows its last line (or did when it was last visible).
    bool AtEnd() const;
    // Keeps where the user has the list while its page is hidden.
    void TrackScrolling();
    void SetColumnStops();
    // Every line written again in the view now chosen, the scroll place kept.
    void Reformat();
    QString LineText(const Captured& frame, bool hex) const;
    void CopySelectedLines();

    std::deque<Captured> captured_;  // one per line, as many as the list keeps
    // The newest captured frames not yet written into the list (it was hidden).
    mutable size_t unshown_ = 0;
    bool follow_ = true;
    mutable int top_ = 0;  // the first line shown, while not following
    int left_ = 0;         // how far across the user has scrolled
    bool hidden_ = true;   // the page is hidden or being shown again
};

}  // namespace korvan
