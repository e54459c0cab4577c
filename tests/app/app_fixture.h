// A main window on the simulated system: the simulator behind the HID seam (with
// a switch that fails chosen requests) and behind a pseudo-terminal serial line,
// a waiter that records the pauses, and dialogs that answer from a script.
#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <QTemporaryDir>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/window_ui.h"
#include "link/bt_transport.h"
#include "link/usb_transport.h"
#include "platform/posix_serial_port.h"
#include "relay/remote_support.h"
#include "sim/sim_bluetooth_discovery.h"
#include "sim/sim_hid_devices.h"
#include "sim/sim_serial_line.h"
#include "sim/simulator.h"
#include "tests/support/recording_waiter.h"
#include "tests/support/table_cells.h"

class QTableView;

namespace korvan {

struct ShownMessage {
    MessageKind Kind;
    QString Text;
};

class ScriptedDialogs : public UserDialogs {
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
    // Answered from AskAnswers too; the question and its details go to Questions.
    bool Confirm(QWidget* parent, const QString& title, const QString& text, const QString& details,
                 const QString& proceed, const QString& back) override;
    int ChooseItem(QWidget* parent, const QString& title, const QString& label,
                   const QStringList& items) override;

    std::vector<ShownMessage> Messages;
    std::vector<FileDialogRequest> SaveRequests;
    std::vector<FileDialogRequest> OpenRequests;
    QString SavePath;  // empty: the dialog is cancelled
    QString OpenPath;
    std::deque<QString> Inputs;    // answers in order; none left: cancelled
    std::vector<QString> Prompts;  // of every input box, with its pre-filled text
    std::vector<QString> Prefilled;
    std::function<void()> DuringMessage;
    // Runs while an input box or the settings question is open, as the user reads it.
    std::function<void()> WhileOpen;
    // Answers to settings from support in order ("Write": true); none left: "Refuse".
    std::deque<bool> SettingsAnswers;
    std::vector<std::vector<SettingsChangeRow>> SettingsQuestions;
    std::vector<QString> SessionCodes;
    // Answers to two-way questions in order (the first answer: true); none left: the second.
    std::deque<bool> AskAnswers;
    std::vector<QString> Questions;
    // Choices from lists in order (an index); none left: cancelled.
    std::deque<int> Choices;
    std::vector<QStringList> ChoiceLists;
};

// The simulator's HID device, with requests of one code failing on demand.
class SwitchableHid : public HidDevices {
  public:
    explicit SwitchableHid(HidDevices& inner) : inner_(inner) {}
    std::vector<HidDeviceInfo> Enumerate() override { return inner_.Enumerate(); }
    Handle Open(const std::string& path) override { return inner_.Open(path); }
    int Write(Handle h, const uint8_t* data, size_t length) override;
    int Read(Handle h, uint8_t* data, size_t length, int timeoutMs) override {
        return inner_.Read(h, data, length, timeoutMs);
    }
    bool Close(Handle h) override { return inner_.Close(h); }
    std::string LastError() override { return failed_ ? "Write failed" : inner_.LastError(); }

    int FailCode = -1;  // command code whose writes fail; -1: none
    // When > 0, only this many more writes of FailCode succeed before they fail.
    int FailAfter = 0;
    std::vector<std::array<uint8_t, 65>> Written;

  private:
    HidDevices& inner_;
    bool failed_ = false;
};

class AppTest : public ::testing::Test {
  protected:
    AppTest();
    ~AppTest() override;

    // The seams the window was built with, for a window of a test's own.
    WindowSeams Seams();
    // Stops the window's timers so that only the test drives the handlers.
    void Quiet();
    // Lets the window's session finish what it was given and the window show it.
    static void Settle(TMainFormKX4& window);
    void Settle() { Settle(W()); }
    TMainFormKX4& W() { return *window; }
    std::vector<uint8_t> UsbCodes() { return simulator.ReceivedUsbCodes(); }
    static std::vector<std::string> Values(const QTableView* table);
    static bool AllEmpty(const QTableView* table);  // every value cell "-"
    static bool NoneEmpty(const QTableView* table);
    // The first exchange finds and opens the device (and fails, as on a real
    // start); the record of what the simulator received starts after it.
    void ConnectUsb();
    // A few Bluetooth ticks until a StateImage was decoded; false if none came.
    bool PollBluetoothUntilState();

    std::chrono::milliseconds now{0};
    QTemporaryDir backups;  // the settings kept before writes and resets
    KorvanSimulator simulator;
    SimHidDevices simHid{simulator};
    SwitchableHid hid{simHid};
    SimSerialLine line{simulator};
    std::unique_ptr<SimBluetoothDiscovery> bluetooth;
    PosixSerialPort serial;
    RecordingWaiter waiter;
    ScriptedDialogs dialogs;
    std::unique_ptr<TMainFormKX4> window;
};

// The same with the USB link already open.
class AppUsbTest : public AppTest {
  protected:
    AppUsbTest() { ConnectUsb(); }
};

}  // namespace korvan
