#include "tests/app/app_fixture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTableView>
#include <QTimer>
#include <thread>

namespace korvan {

void ScriptedDialogs::ShowMessage(QWidget*, MessageKind kind, const QString& text) {
    Messages.push_back({kind, text});
    if (DuringMessage) DuringMessage();
}

QString ScriptedDialogs::SaveFileName(QWidget*, const FileDialogRequest& request) {
    SaveRequests.push_back(request);
    return SavePath;
}

QString ScriptedDialogs::OpenFileName(QWidget*, const FileDialogRequest& request) {
    OpenRequests.push_back(request);
    return OpenPath;
}

bool ScriptedDialogs::InputText(QWidget*, const QString&, const QString& prompt, QString& text) {
    Prompts.push_back(prompt);
    Prefilled.push_back(text);
    if (WhileOpen) WhileOpen();
    if (Inputs.empty()) return false;
    text = Inputs.front();
    Inputs.pop_front();
    return true;
}

bool ScriptedDialogs::ConfirmSettings(QWidget*, const QString&,
                                      const std::vector<SettingsChangeRow>& changes) {
    SettingsQuestions.push_back(changes);
    if (WhileOpen) WhileOpen();
    if (SettingsAnswers.empty()) return false;
    const bool write = SettingsAnswers.front();
    SettingsAnswers.pop_front();
    return write;
}

void ScriptedDialogs::ShowSessionCode(QWidget*, const QString& code) {
    SessionCodes.push_back(code);
}

int ScriptedDialogs::ChooseItem(QWidget*, const QString&, const QString&,
                                const QStringList& items) {
    ChoiceLists.push_back(items);
    if (Choices.empty()) return -1;
    const int chosen = Choices.front();
    Choices.pop_front();
    return chosen;
}

bool ScriptedDialogs::Ask(QWidget*, const QString&, const QString& text, const QString&,
                          const QString&) {
    Questions.push_back(text);
    if (AskAnswers.empty()) return false;
    const bool first = AskAnswers.front();
    AskAnswers.pop_front();
    return first;
}

bool ScriptedDialogs::Confirm(QWidget* parent, const QString& title, const QString& text,
                              const QString& details, const QString& proceed, const QString& back) {
    return Ask(parent, title, details.isEmpty() ? text : text + '\n' + details, proceed, back);
}

int SwitchableHid::Write(Handle h, const uint8_t* data, size_t length) {
    failed_ = false;
    if (length >= 2 && FailCode >= 0 && data[1] == FailCode) {
        if (FailAfter > 0) {
            --FailAfter;
        } else {
            failed_ = true;
            return -1;
        }
    }
    if (length == 65) {
        std::array<uint8_t, 65> copy{};
        std::copy(data, data + 65, copy.begin());
        Written.push_back(copy);
    }
    return inner_.Write(h, data, length);
}

AppTest::AppTest() : simulator(SimConfig{}, [this] { return now; }) {
    EXPECT_TRUE(line.Start()) << line.LastError();
    bluetooth = std::make_unique<SimBluetoothDiscovery>(line.SlaveName());
    window = std::make_unique<TMainFormKX4>(Seams());
    Quiet();
}

WindowSeams AppTest::Seams() {
    WindowSeams seams;
    seams.Hid = &hid;
    seams.Serial = &serial;
    seams.Bluetooth = bluetooth.get();
    seams.Wait = &waiter;
    seams.Dialogs = &dialogs;
    seams.BackupFolder = backups.filePath(QStringLiteral("settings-backups"));
    return seams;
}

AppTest::~AppTest() {
    window.reset();
    line.Stop();
}

// The timers keep running, as they do in the program, but their ticks reach
// nothing: only the test drives the handlers.
void AppTest::Quiet() {
    for (QTimer* timer : {window->Ui().USBTimer, window->Ui().BTTimer, window->Ui().INETTimer})
        timer->blockSignals(true);
}

void AppTest::Settle(TMainFormKX4& window) {
    QElapsedTimer clock;
    clock.start();
    while (!window.Session().Idle() && clock.elapsed() < 60000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_TRUE(window.Session().Idle()) << "the session did not settle within 60 s";
    QCoreApplication::processEvents();
}

std::vector<std::string> AppTest::Values(const QTableView* table) {
    std::vector<std::string> values;
    for (int row = 0; row < RowCount(table); ++row)
        values.push_back(Cell(table, row).toStdString());
    return values;
}

bool AppTest::AllEmpty(const QTableView* table) {
    for (const std::string& value : Values(table))
        if (value != "-") return false;
    return RowCount(table) > 0;
}

bool AppTest::NoneEmpty(const QTableView* table) {
    for (const std::string& value : Values(table))
        if (value == "-" || value.empty()) return false;
    return RowCount(table) > 0;
}

void AppTest::ConnectUsb() {
    W().USBTimerTimer();
    Settle();
    EXPECT_TRUE(W().Usb().IsOpen()) << W().Usb().UsbStatusText;
    simulator.ClearRecord();
    hid.Written.clear();
}

bool AppTest::PollBluetoothUntilState() {
    for (int tick = 0; tick < 20; ++tick) {
        W().BTTimerTimer();
        Settle();
        if (W().Records().ControlState.ConnectedModules != 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
    }
    return false;
}

}  // namespace korvan
