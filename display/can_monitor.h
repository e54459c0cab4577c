// The "NMEA-2000" page: the raw CAN frame list with "View in Hex", and "Pause",
// "Clear" and "Copy to Clipboard" both as buttons beside it and in the list's
// context menu. Each line starts with the time it was received. Under the list, the
// same frames decoded (CanDecodedView), with their filters.
#pragma once

#include <QWidget>
#include <cstdint>

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

  private:
    void AppendLine(const QString& line);
    void SetColumnStops();
};

}  // namespace korvan
