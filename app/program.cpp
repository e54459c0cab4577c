#include "app/program.h"

#include <QApplication>
#include <QScreen>
#include <QStandardPaths>
#include <algorithm>

#include "app/single_instance.h"
#include "relay/http_relay.h"

namespace korvan {

namespace {

// What the window system's border and title bar take, about.
constexpr int WindowFrameWidth = 16;
constexpr int WindowFrameHeight = 40;

}  // namespace

bool RefuseSecondInstance(const SingleInstance& instance, UserDialogs& dialogs) {
    if (!instance.AnotherRunning()) return false;
    dialogs.ShowMessage(
        nullptr, MessageKind::Warning,
        QStringLiteral(
            "Another instance of Ardexon KORVAN KX4 is already running on this computer"));
    return true;
}

int RunMainWindow(QApplication& app, const WindowSeams& seams, const WindowExtension& extend) {
    // The title for the window system and the message boxes; the window keeps
    // its own caption text (the window system would append a display name).
    QApplication::setApplicationName(QStringLiteral("Ardexon KORVAN KX4 system"));
    TMainFormKX4 window(seams);
    if (extend) extend(window);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        // On a screen smaller than the design size the window fits it, title bar
        // and border included.
        const QRect area = screen->availableGeometry();
        window.resize(window.size()
                          .boundedTo(area.size() - QSize(WindowFrameWidth, WindowFrameHeight))
                          .expandedTo(window.minimumSizeHint()));
        const QPoint centred = area.center() - QPoint(window.width() / 2, window.height() / 2);
        window.move(std::max(centred.x(), area.left()), std::max(centred.y(), area.top()));
    }
    window.show();
    return app.exec();
}

std::string HistoryFilePath(const char* name) {
    return (QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
            QStringLiteral("/korvan-kx4/") + QString::fromUtf8(name))
        .toStdString();
}

QString AlarmSettingsPath(const char* historyFile) {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/korvan-kx4/") + QString::fromUtf8(historyFile).section('.', 0, 0) +
           QStringLiteral("-alarms.ini");
}

// Beside the history file: "settings-backups" for the tool, "demo-settings-backups"
// for the demo.
QString BackupFolderPath(const char* historyFile) {
    const QString name = QString::fromUtf8(historyFile).section('.', 0, 0);
    return QString::fromStdString(HistoryFilePath("")) +
           QString(name).replace(QStringLiteral("history"), QStringLiteral("settings-backups"));
}

int RunTool(QApplication& app, HidDevices& hid, SerialPort& serial, BluetoothDiscovery& bluetooth,
            UserDialogs& dialogs, const char* historyFile, const WindowExtension& extend) {
    SleepingWaiter waiter;
    WindowSeams seams;
    seams.HistoryPath = HistoryFilePath(historyFile);
    seams.AlarmSettings = AlarmSettingsPath(historyFile);
    seams.BackupFolder = BackupFolderPath(historyFile);
    seams.Hid = &hid;
    seams.Serial = &serial;
    seams.Bluetooth = &bluetooth;
    seams.MakeRelay = [](SessionSeams::RelayCue busy) {
        return std::make_unique<HttpRelayTransport>(std::move(busy));
    };
    seams.Wait = &waiter;
    seams.Dialogs = &dialogs;
    return RunMainWindow(app, seams, extend);
}

}  // namespace korvan
