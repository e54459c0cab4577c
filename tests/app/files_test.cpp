// Settings files and the data log through the menu commands.
#include <QAbstractItemDelegate>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QLocale>
#include <QTableView>
#include <QTemporaryDir>
#include <cstring>

#include "model/data_log.h"
#include "tests/app/app_fixture.h"

namespace korvan {
namespace {

class AppFilesTest : public AppUsbTest {
  protected:
    QByteArray Read(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    template <typename T>
    static bool SameBytes(const T& a, const T& b) {
        return std::memcmp(&a, &b, sizeof(T)) == 0;
    }
    QTemporaryDir dir;
};

TEST_F(AppFilesTest, SaveThenLoadRestoresEverySettingsFieldBitForBit) {
    ASSERT_TRUE(dir.isValid());
    W().USBTimerTimer();
    Settle();
    W().ReadAllSettingsFromSystemClick();
    Settle();
    W().Ui().PIComboBox->setCurrentIndex(4);
    // The Wi-Fi password shows as dots, also while typed, until asked for; the
    // file keeps it as typed, padded as its layout has it.
    QTableView* control = W().Ui().ControlBoxSettingsStringGrid();
    const QModelIndex password = control->model()->index(ControlBoxPasswordRow, 1);
    Type(control, ControlBoxPasswordRow, "Harbour7");
    auto editorEcho = [&] {
        std::unique_ptr<QWidget> editor(
            control->itemDelegate()->createEditor(control->viewport(), {}, password));
        return qobject_cast<QLineEdit*>(editor.get())->echoMode();
    };
    EXPECT_EQ(Cell(control, ControlBoxPasswordRow), QString(8, QChar(0x25CF)));
    EXPECT_EQ(editorEcho(), QLineEdit::Password);
    W().Ui().ShowWifiPassword->setChecked(true);
    EXPECT_EQ(Cell(control, ControlBoxPasswordRow), "Harbour7");
    EXPECT_EQ(editorEcho(), QLineEdit::Normal);
    const QString path = dir.filePath("boat.korvan3");
    dialogs.SavePath = path;
    W().SaveSettingsToFileClick();
    Settle();
    EXPECT_EQ(Read(path).mid(23, 16), QByteArray("Harbour7        "));
    ASSERT_EQ(dialogs.SaveRequests.size(), 1u);
    EXPECT_EQ(dialogs.SaveRequests[0].Title, "Save Settings To File");
    EXPECT_EQ(dialogs.SaveRequests[0].Filter, "KORVAN III Settings File (*.korvan3)");
    EXPECT_EQ(dialogs.SaveRequests[0].DefaultSuffix, "korvan3");
    EXPECT_EQ(Read(path).size(), 752);
    const SystemData saved = W().Records();
    EXPECT_EQ(saved.ControlSettings.ProfileIndex, 4);
    EXPECT_EQ(saved.BatterySettings.Marker, 0xFF);

    // Other settings arrive, then the file comes back.
    Type(W().Ui().FieldBox1SettingsStringGrid(), 0, "20");
    W().WriteAllSettingsToSystemClick();
    Settle();
    W().ReadAllSettingsFromSystemClick();
    Settle();
    W().Ui().PIComboBox->setCurrentIndex(0);
    ASSERT_FALSE(SameBytes(W().Records().FieldSettings[0], saved.FieldSettings[0]));

    dialogs.OpenPath = path;
    dialogs.AskAnswers = {true};  // the drop-down's choice is an edit not yet written
    W().LoadSettingsFromFileClick();
    Settle();
    ASSERT_EQ(dialogs.Questions.size(), 1u);
    EXPECT_TRUE(dialogs.Questions[0].endsWith("Loading boat.korvan3 replaces them."));
    EXPECT_EQ(dialogs.OpenRequests.back().Title, "Load Settings From File");
    EXPECT_TRUE(W().Flags().SettingsLoaded);
    EXPECT_TRUE(SameBytes(W().Records().ControlSettings, saved.ControlSettings));
    EXPECT_TRUE(SameBytes(W().Records().BatterySettings, saved.BatterySettings));
    EXPECT_TRUE(SameBytes(W().Records().FieldSettings, saved.FieldSettings));
    EXPECT_EQ(W().Ui().PIComboBox->currentIndex(), 4);
    // Both files are in the event log, by their paths.
    const std::vector<HistoryEvent>& events = W().Session().Events();
    for (const std::string text : {"Settings saved to ", "Settings loaded from "})
        EXPECT_TRUE(std::any_of(events.begin(), events.end(), [&](const HistoryEvent& e) {
            return e.Kind == EventKind::File && e.Text == text + path.toStdString();
        })) << text;
    for (QTableView* table :
         {W().Ui().ControlBoxSettingsStringGrid(), W().Ui().BatteryBoxSettingsStringGrid(),
          W().Ui().FieldBox1SettingsStringGrid(), W().Ui().FieldBox2SettingsStringGrid()})
        EXPECT_TRUE(NoneEmpty(table));

    // Saving what was loaded gives the same file.
    dialogs.SavePath = dir.filePath("again.korvan3");
    W().SaveSettingsToFileClick();
    Settle();
    EXPECT_EQ(Read(dialogs.SavePath), Read(path));
}

TEST_F(AppFilesTest, SaveAfterALostLinkKeepsTheSettingsNotTheEmptyTablesDefaults) {
    ASSERT_TRUE(dir.isValid());
    // Before anything was read, the empty tables read back as their row defaults.
    dialogs.SavePath = dir.filePath("template.korvan3");
    W().SaveSettingsToFileClick();
    Settle();
    EXPECT_EQ(W().Records().BatterySettings.BankSize, 100);
    EXPECT_EQ(W().Records().FieldSettings[1].Poles, 12);

    W().USBTimerTimer();
    Settle();
    W().ReadAllSettingsFromSystemClick();
    Settle();
    Type(W().Ui().FieldBox1SettingsStringGrid(), 0, "18");
    dialogs.SavePath = dir.filePath("before.korvan3");
    W().SaveSettingsToFileClick();
    Settle();
    simHid.Unplug();
    W().USBTimerTimer();
    Settle();
    ASSERT_EQ(Cell(W().Ui().FieldBox1SettingsStringGrid(), 0), "18");
    EXPECT_TRUE(Unconfirmed(W().Ui().FieldBox1SettingsStringGrid(), 0));
    dialogs.SavePath = dir.filePath("after.korvan3");
    W().SaveSettingsToFileClick();
    Settle();
    EXPECT_EQ(Read(dir.filePath("after.korvan3")), Read(dir.filePath("before.korvan3")));
    EXPECT_EQ(W().Records().FieldSettings[0].Poles, 18);
    // A file loaded while no system answers was never confirmed by one: not greyed.
    dialogs.OpenPath = dialogs.SavePath;
    dialogs.AskAnswers = {true};
    W().LoadSettingsFromFileClick();
    W().USBTimerTimer();
    Settle();
    EXPECT_FALSE(Unconfirmed(W().Ui().FieldBox1SettingsStringGrid(), 0));
}

// Nothing is cleared until a file has loaded: a cancelled dialog, a bad file or
// "Keep the edits" leave tables, typed texts, records and SettingsLoaded alone.
TEST_F(AppFilesTest, LoadThatDoesNotHappenChangesNothing) {
    ASSERT_TRUE(dir.isValid());
    const QString shortFile = dir.filePath("short.korvan3");
    QFile file(shortFile);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(700, '\0'));
    file.close();
    W().ReadAllSettingsFromSystemClick();
    Settle();
    dialogs.SavePath = dir.filePath("good.korvan3");
    W().SaveSettingsToFileClick();
    Type(W().Ui().FieldBox1SettingsStringGrid(), 0, "20");
    const SystemData before = W().Records();
    auto settingsTexts = [this] {
        std::vector<std::vector<std::string>> texts;
        for (ModuleId module : AllModules)
            texts.push_back(Values(W().Ui().Module(module).SettingsStringGrid));
        return texts;
    };
    const std::vector<std::vector<std::string>> shown = settingsTexts();

    struct Case {
        const char* Name;
        QString Path;
        QString Message;  // the error box, if any
    } cases[] = {
        {"cancelled", QString(), QString()},
        {"too short", shortFile, "Stream read error"},
        {"missing", dir.filePath("missing.korvan3"), "Cannot open file \""},
        {"good file, edits kept", dir.filePath("good.korvan3"), QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        dialogs.Messages.clear();
        dialogs.OpenPath = c.Path;
        W().LoadSettingsFromFileClick();
        Settle();
        ASSERT_EQ(dialogs.Messages.size(), c.Message.isEmpty() ? 0u : 1u);
        if (!c.Message.isEmpty()) {
            EXPECT_TRUE(dialogs.Messages[0].Text.startsWith(c.Message));
        }
        EXPECT_TRUE(W().Flags().SettingsLoaded);
        EXPECT_EQ(settingsTexts(), shown);
        EXPECT_TRUE(SameBytes(W().Records().FieldSettings, before.FieldSettings));
        EXPECT_TRUE(SameBytes(W().Records().ControlSettings, before.ControlSettings));
    }
    EXPECT_EQ(dialogs.Questions.size(), 1u);  // asked only once a file had loaded
    EXPECT_TRUE(Edited(W().Ui().FieldBox1SettingsStringGrid(), 0));

    dialogs.SavePath = dir.filePath("no/such/folder/x.korvan3");
    W().SaveSettingsToFileClick();
    Settle();
    ASSERT_EQ(dialogs.Messages.size(), 1u);
    EXPECT_TRUE(dialogs.Messages[0].Text.startsWith("Cannot create file \"" + dialogs.SavePath));
}

TEST_F(AppFilesTest, DataLogGetsHeaderOnceALinePerCompletePollAndStopsOnFailure) {
    ASSERT_TRUE(dir.isValid());
    const QString logDir = dir.filePath("logs");
    QDir().mkpath(logDir);
    const QString path = logDir + "/Log.txt";
    dialogs.SavePath = path;
    W().Ui().EnableDataLoggingToFile->trigger();
    Settle();
    Quiet();
    ASSERT_TRUE(W().Ui().EnableDataLoggingToFile->isChecked());
    EXPECT_EQ(W().Flags().DataLogPath, path.toStdString());

    for (int i = 0; i < 3; ++i) {
        W().USBTimerTimer();
        Settle();
    }
    hid.FailCode = CmdFieldBox1State;  // an incomplete poll writes no line
    W().USBTimerTimer();
    Settle();
    hid.FailCode = -1;

    const QList<QByteArray> lines = Read(path).split('\n');
    ASSERT_EQ(lines.size(), 5);  // header, three lines, nothing after the last CR LF
    EXPECT_EQ(lines[0] + '\n', QByteArray::fromStdString(DataLogHeader()));
    EXPECT_TRUE(lines[0].startsWith("SCM:Charging Stage\t"));
    EXPECT_EQ(lines[1].count('\t'), lines[0].count('\t'));
    EXPECT_TRUE(lines[3].endsWith('\r'));
    EXPECT_TRUE(lines[4].isEmpty());

    // The folder goes away: the append fails and logging switches itself off.
    QDir(logDir).removeRecursively();
    W().USBTimerTimer();
    Settle();
    EXPECT_FALSE(W().Ui().EnableDataLoggingToFile->isChecked());
    QDir().mkpath(logDir);
    W().USBTimerTimer();
    Settle();
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_EQ(W().Flags().DataLogPath, path.toStdString());
}

TEST_F(AppFilesTest, BatterySettingsFollowTheSystemVoltageScale) {
    ASSERT_TRUE(dir.isValid());
    // Settings from a file shown before any state: the 12 V scale.
    W().ReadAllSettingsFromSystemClick();
    Settle();
    const double at100 = W().Records().BatterySettings.VoltageAt100;
    dialogs.SavePath = dir.filePath("s.korvan3");
    W().SaveSettingsToFileClick();
    Settle();
    simHid.Unplug();
    W().USBTimerTimer();
    Settle();  // lost link: no state
    simHid.Replug();
    W().USBTimerTimer();
    Settle();  // finds the device again, still without a state
    dialogs.OpenPath = dialogs.SavePath;
    W().LoadSettingsFromFileClick();
    Settle();
    QTableView* battery = W().Ui().BatteryBoxSettingsStringGrid();
    const QString shown12 = Cell(battery, 2, 1);
    Type(battery, 0, "250");

    SimConfig config = simulator.Config();
    config.SystemVoltage = 24;
    simulator.SetConfig(config);
    W().USBTimerTimer();
    Settle();
    ASSERT_EQ(W().Records().BatteryState.SystemVoltage, 24);
    const QString shown24 = Cell(battery, 2, 1);
    EXPECT_NE(shown24, shown12);
    EXPECT_NEAR(QLocale().toDouble(shown24), 2 * at100, 0.006);  // in the user's locale
    EXPECT_TRUE(Edited(battery, 0));                             // the edit moved with its table
    EXPECT_FALSE(Edited(battery, 2));                            // a new scale is no edit
    // A lost link (no system voltage) does not change the scale the table is read on.
    simHid.Unplug();
    W().USBTimerTimer();
    Settle();
    W().SaveSettingsToFileClick();
    EXPECT_NEAR(W().Records().BatterySettings.VoltageAt100, at100, 0.006);
    simHid.Replug();
    for (int tick = 0; tick < 2; ++tick) {
        W().USBTimerTimer();
        Settle();
    }
    // Read back on the scale it is shown on, the held value is the 12 V one.
    W().WriteAllSettingsToSystemClick();
    Settle();
    EXPECT_NEAR(simulator.Settings().Battery.VoltageAt100, at100, 0.006);
}

}  // namespace
}  // namespace korvan
