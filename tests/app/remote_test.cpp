// The window as host of remote support: the relay tick, the relay paths of the
// settings commands, the chat and the support domain, with a scripted relay.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTimer>

#include "app/support_panel.h"
#include "link/protocol.h"
#include "model/control_box.h"
#include "relay/support_session.h"
#include "tests/app/app_fixture.h"

namespace korvan {
namespace {

// Records every exchange and answers from a script.
class ScriptedRelay : public RelayTransport {
  public:
    struct Sent {
        uint8_t Role;
        uint8_t Kind;
        int Count;
        std::string Bytes;  // the outgoing buffer's first Count bytes
        std::string Domain;
    };
    bool RelayExchange(RelayState& state) override {
        const auto& buffer = state.RelayRole == 0 ? state.ClientBuffer : state.SupportBuffer;
        const int count = std::min<int>(state.OutCount, 16);
        Log.push_back({state.RelayRole, state.OutKind, state.OutCount,
                       std::string(buffer.begin(), buffer.begin() + std::max(count, 0)),
                       state.SupportDomain});
        state.RelayStatusText = Succeed ? "HTTP/1.1 200 OK" : "Connection refused";
        if (OnExchange) OnExchange(state);
        return Succeed;
    }
    std::vector<Sent> Log;
    bool Succeed = true;
    std::function<void(RelayState&)> OnExchange;
};

class AppRemoteTest : public AppUsbTest {
  protected:
    AppRemoteTest() {
        WindowSeams seams = Seams();
        seams.MakeRelay = [this](SessionSeams::RelayCue) {
            auto relay = std::make_unique<ScriptedRelay>();
            scripted = relay.get();
            return relay;
        };
        window = std::make_unique<TMainFormKX4>(seams);
        Quiet();
        ConnectUsb();
    }
    ScriptedRelay* scripted = nullptr;

    // The next exchange brings this message from support; the later ones nothing.
    void SupportSends(uint8_t kind, std::vector<uint8_t> values) {
        scripted->OnExchange = [kind, values, once = true](RelayState& state) mutable {
            if (!once) {
                state.RelayStatusText = NothingReceivedText;
                return;
            }
            once = false;
            state.InKind = kind;
            state.InCount = static_cast<int>(values.size());
            std::copy(values.begin(), values.end(), state.SupportBuffer.begin());
            state.RelayStatusText = RelayKindStatusText(kind, true);
        };
    }
    // The system's settings with another charge profile, as support would send them.
    // With `bankSize`, also a battery bank size of support's own.
    std::vector<uint8_t> OtherProfile(int& profile, int32_t bankSize = 0) {
        SystemData support;
        const auto now = simulator.SettingsImage();
        DecodeSettingsImage(now.data(), support);
        profile = (support.ControlSettings.ProfileIndex + 3) % 8;
        support.ControlSettings.ProfileIndex = static_cast<uint8_t>(profile);
        if (bankSize) support.BatterySettings.BankSize = bankSize;
        const auto image = BuildSettingsImage(support);
        return {image.begin(), image.end()};
    }
    void Tick() {
        W().INETTimerTimer();
        Settle();
        Quiet();
    }
    bool Wrote() {
        for (uint8_t code : UsbCodes())
            if (code >= CmdWriteControlBoxSettings && code <= CmdWriteFieldBox2Item) return true;
        return false;
    }
    QStringList ChatLines() { return W().Ui().Support->Lines(); }
};

TEST_F(AppRemoteTest, SupportTickClosesLocalLinksAndShowsTheCustomersState) {
    ASSERT_TRUE(W().Usb().IsOpen());
    W().Ui().RemoteViaInternetToProvideSupport->trigger();
    Settle();
    W().USBTimerTimer();
    Settle();  // not the chosen link any more
    EXPECT_TRUE(UsbCodes().empty());

    // The customer's state as the relay hands it over.
    SystemData customer;
    const auto image = simulator.StateImage();
    DecodeStateImage(image.data(), customer);
    scripted->OnExchange = [&](RelayState& state) {
        state.InKind = MsgState;
        state.InCount = static_cast<int>(StateImageSize);
        std::copy(image.begin(), image.end(), state.ClientBuffer.begin());
    };
    W().INETTimerTimer();
    Settle();
    EXPECT_FALSE(W().Usb().IsOpen());
    ASSERT_EQ(scripted->Log.size(), 1u);
    EXPECT_EQ(scripted->Log[0].Role, 1);
    EXPECT_EQ(scripted->Log[0].Kind, MsgRequestState);
    EXPECT_EQ(W().Records().ControlState.ConnectedModules, customer.ControlState.ConnectedModules);
    EXPECT_TRUE(NoneEmpty(W().Ui().BatteryBoxStateStringGrid()));
    EXPECT_EQ(W().windowTitle(),
              "Ardexon KORVAN KX4 system [User Mode] - remote Internet connection");
    EXPECT_EQ(W().Ui().StatusText->text(), "HTTP/1.1 200 OK");
    EXPECT_TRUE(W().Ui().SendChatMessage->isEnabled());
    EXPECT_TRUE(W().Ui().INETTimer->isActive());

    // A relay that cannot be reached: one error box, back to USB.
    scripted->Succeed = false;
    scripted->OnExchange = nullptr;
    W().INETTimerTimer();
    Settle();
    ASSERT_EQ(dialogs.Messages.size(), 1u);
    EXPECT_EQ(dialogs.Messages[0].Text, "Internet Connection: Connection refused");
    EXPECT_TRUE(W().Ui().ConnectionUSB->isChecked());
}

TEST_F(AppRemoteTest, SettingsCommandsGoThroughTheRelayWithBlockingWaits) {
    W().Ui().RemoteViaInternetToProvideSupport->trigger();
    Settle();
    W().ReadAllSettingsFromSystemClick();
    Settle();
    ASSERT_EQ(scripted->Log.size(), 1u);
    EXPECT_EQ(scripted->Log[0].Kind, MsgRequestSettings);
    EXPECT_TRUE(W().Flags().SettingsLoaded);
    ASSERT_GE(waiter.Waits.size(), 2u);
    for (const RecordedWait& wait : waiter.Waits) EXPECT_FALSE(wait.ProcessMessages);

    // The scripted customer sent no settings: the checks would replace the zeros.
    dialogs.AskAnswers = {true};
    W().WriteAllSettingsToSystemClick();
    Settle();
    EXPECT_EQ(dialogs.Questions.size(), 1u);
    ASSERT_EQ(scripted->Log.size(), 2u);
    EXPECT_EQ(scripted->Log[1].Kind, MsgSettings);
    EXPECT_EQ(scripted->Log[1].Count, static_cast<int>(SettingsImageSize));
    EXPECT_EQ(static_cast<uint8_t>(scripted->Log[1].Bytes[0]), SettingsMarker);
    EXPECT_TRUE(UsbCodes().empty());
}

TEST_F(AppRemoteTest, ChatAndSupportDomainUseTheirInputBoxes) {
    dialogs.Inputs = {"relay.example.net/K7QM2XDF"};
    W().SupportDomain1Click();
    Settle();
    EXPECT_EQ(W().Remote().State.SupportDomain, "relay.example.net/K7QM2XDF");
    // The box shows the relay and the code in use; cancelling keeps them.
    W().SupportDomain1Click();
    Settle();
    EXPECT_EQ(W().Remote().State.SupportDomain, "relay.example.net/K7QM2XDF");
    EXPECT_EQ(dialogs.Prefilled.back(), "relay.example.net/K7QM2XDF");
    EXPECT_TRUE(
        dialogs.Prompts.back().startsWith("Relay now: relay.example.net, session code: K7QM2XDF"));
    EXPECT_TRUE(dialogs.Prompts.back().endsWith("Domain Name"));

    W().Ui().ShareDataWithSupport->trigger();
    Settle();
    dialogs.Inputs = {""};
    W().SendChatMessageClick();
    Settle();  // an empty line is not sent
    EXPECT_TRUE(scripted->Log.empty());
    dialogs.Inputs = {"Hello"};
    W().SendChatMessageClick();
    Settle();
    ASSERT_EQ(scripted->Log.size(), 1u);
    EXPECT_EQ(scripted->Log[0].Role, 0);
    EXPECT_EQ(scripted->Log[0].Kind, MsgChat);
    EXPECT_EQ(scripted->Log[0].Bytes, "Hello");
    EXPECT_EQ(scripted->Log[0].Domain, "relay.example.net/K7QM2XDF");
    EXPECT_TRUE(W().Ui().USBTimer->isActive() && W().Ui().INETTimer->isActive());
}

TEST_F(AppRemoteTest, TwoWindowsLiveSideBySideInOneProcess) {
    TMainFormKX4 second(Seams());
    second.Ui().USBTimer->stop();
    second.Ui().BTTimer->stop();
    second.Ui().INETTimer->stop();
    second.ShowPanelMessage(" Message from CLIENT: hi");
    EXPECT_TRUE(W().Ui().MessagePanel->isHidden());
    W().USBTimerTimer();
    Settle();
    EXPECT_TRUE(NoneEmpty(W().Ui().ControlBoxStateStringGrid()));
    EXPECT_TRUE(AllEmpty(second.Ui().ControlBoxStateStringGrid()));
}

TEST_F(AppRemoteTest, SettingsFromSupportAreWrittenOnlyWithTheOwnersConsent) {
    W().Ui().ShareDataWithSupport->trigger();
    Settle();
    int profile = 0;
    const int before = simulator.Settings().Control.ProfileIndex;
    const int32_t bank = simulator.Settings().Battery.BankSize;
    SupportSends(MsgSettings, OtherProfile(profile, 12000));
    Tick();
    dialogs.SettingsAnswers = {false};
    Tick();  // read, ask, refuse
    ASSERT_EQ(dialogs.SettingsQuestions.size(), 1u);
    // Only the values that would change; the bank size beyond its range is
    // said as this tool's checks leave it.
    const std::vector<SettingsChangeRow>& rows = dialogs.SettingsQuestions[0];
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].Module, "System Control Module");
    EXPECT_EQ(rows[0].Field.toStdString(), ControlBoxSettingsLabels()[5]);
    EXPECT_EQ(rows[0].Now, QString::number(before));
    EXPECT_EQ(rows[0].Received, QString::number(profile));
    EXPECT_TRUE(rows[0].Note.isEmpty());
    EXPECT_EQ(rows[1].Now, QString::number(bank));
    EXPECT_EQ(rows[1].Received, "0");
    EXPECT_EQ(rows[1].Note, "Support sent 12000; this tool's checks changed it");
    EXPECT_FALSE(Wrote());
    EXPECT_EQ(simulator.Settings().Control.ProfileIndex, before);
    // The refusal travels to support as a chat line.
    EXPECT_EQ(scripted->Log.back().Kind, MsgChat);
    EXPECT_EQ(scripted->Log.back().Count, 32);
    EXPECT_EQ(scripted->Log.back().Bytes, "Settings refused");
    ASSERT_EQ(ChatLines().size(), 1);
    EXPECT_TRUE(ChatLines()[0].endsWith(" CLIENT: Settings refused by the customer"));
    Tick();
    Tick();  // the same message: no question again, the state is posted again
    EXPECT_EQ(dialogs.SettingsQuestions.size(), 1u);
    EXPECT_EQ(scripted->Log.back().Kind, MsgState);
    EXPECT_FALSE(Wrote());

    // A new settings message: "Write" writes it into the system.
    SupportSends(MsgSettings, OtherProfile(profile));
    Tick();
    dialogs.SettingsAnswers = {true};
    Tick();
    EXPECT_EQ(dialogs.SettingsQuestions.size(), 2u);
    EXPECT_TRUE(Wrote());
    EXPECT_EQ(simulator.Settings().Control.ProfileIndex, profile);
    ASSERT_EQ(ChatLines().size(), 2);
    EXPECT_TRUE(ChatLines()[1].endsWith(" CLIENT: Settings written and read back"));
    EXPECT_TRUE(dialogs.Messages.empty());
}

// The polls go on while the chat box and the question about settings from
// support are open: the history has no gap for either.
TEST_F(AppRemoteTest, OpenDialogsLeaveNoGapInTheHistory) {
    WindowSeams seams = Seams();
    seams.MakeRelay = [this](SessionSeams::RelayCue) {
        auto relay = std::make_unique<ScriptedRelay>();
        scripted = relay.get();
        return relay;
    };
    seams.History.GapAfter = std::chrono::milliseconds(1500);
    window = std::make_unique<TMainFormKX4>(seams);
    Quiet();
    W().Ui().USBTimer->blockSignals(false);
    const HistoryRecorder& history = W().Session().History();
    auto spin = [](int ms) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    };
    spin(1500);
    const size_t before = history.Size();
    dialogs.WhileOpen = [&] { spin(2500); };
    dialogs.Inputs = {"one moment"};
    W().SendChatMessageClick();
    W().Ui().ShareDataWithSupport->trigger();
    int profile = 0;
    SupportSends(MsgSettings, OtherProfile(profile));
    for (int tick = 0; tick < 2; ++tick) {  // the second asks; the box stays open 2.5 s
        W().INETTimerTimer();
        Settle();
    }
    spin(1000);
    ASSERT_EQ(dialogs.SettingsQuestions.size(), 1u);
    EXPECT_GT(history.Size(), before + 8);
    size_t segments = 0;
    for (size_t p = 0; p < history.Size(); ++p) segments += history.StartsSegment(p) ? 1 : 0;
    EXPECT_EQ(segments, 1u);
}

TEST_F(AppRemoteTest, ChatHistoryListsEveryLineWithTimeAndSide) {
    SupportPanel* panel = W().Ui().Support;
    EXPECT_TRUE(panel->isHidden());
    EXPECT_FALSE(panel->Send->isEnabled());
    W().Ui().ShareDataWithSupport->trigger();
    Settle();
    SupportSends(MsgChat, {72, 105, 32, 176});
    Tick();
    EXPECT_TRUE(panel->Send->isEnabled());
    EXPECT_FALSE(panel->isHidden());
    dialogs.Inputs = {"Hello"};
    W().SendChatMessageClick();
    Settle();
    panel->Line->setText(QStringLiteral("From the panel"));
    panel->Send->click();
    Settle();
    EXPECT_TRUE(panel->Line->text().isEmpty());
    ASSERT_EQ(scripted->Log.size(), 3u);
    EXPECT_EQ(scripted->Log.back().Kind, MsgChat);
    EXPECT_EQ(scripted->Log.back().Bytes, "From the panel");
    Tick();  // the chat is still the last message from support: listed once
    const QRegularExpression stamp(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d "));
    const QStringList lines = ChatLines();
    ASSERT_EQ(lines.size(), 3) << lines.join('\n').toStdString();
    for (const QString& line : lines)
        EXPECT_TRUE(stamp.match(line).hasMatch()) << line.toStdString();
    EXPECT_EQ(lines[0].mid(9), QString::fromUtf8("SUPPORT: Hi \xC2\xB0"));
    EXPECT_EQ(lines[1].mid(9), "CLIENT: Hello");
    EXPECT_EQ(lines[2].mid(9), "CLIENT: From the panel");
    EXPECT_EQ(W().Ui().MessagePanel->text(),
              QString::fromUtf8(" Message from SUPPORT: Hi \xC2\xB0"));
}

TEST_F(AppRemoteTest, SessionsPutTheirCodeAfterTheRelaysHost) {
    W().NewSupportSessionClick();
    Settle();
    ASSERT_EQ(dialogs.SessionCodes.size(), 1u);
    const std::string first = dialogs.SessionCodes[0].toStdString();
    EXPECT_EQ(first.size(), SessionCodeLength);
    EXPECT_TRUE(ValidSessionCode(first));
    EXPECT_EQ(W().Remote().State.SupportDomain, std::string(DefaultSupportDomain) + "/" + first);
    EXPECT_TRUE(W().Ui().RemoteViaInternetToProvideSupport->isChecked());
    W().NewSupportSessionClick();
    Settle();
    const std::string second = dialogs.SessionCodes.at(1).toStdString();
    EXPECT_NE(second, first);
    EXPECT_EQ(W().Remote().State.SupportDomain, std::string(DefaultSupportDomain) + "/" + second);
    EXPECT_FALSE(W().Ui().ShareDataWithSupport->isChecked());
    W().Ui().ConnectionUSB->trigger();

    dialogs.Inputs = {"https://relay.example.org/OLDCODE1"};
    W().SupportDomain1Click();
    Settle();
    dialogs.Inputs = {" k7qm2xdf9a "};
    W().JoinSupportSessionClick();
    Settle();
    EXPECT_EQ(W().Remote().State.SupportDomain, "https://relay.example.org/K7QM2XDF9A");
    EXPECT_TRUE(W().Ui().ShareDataWithSupport->isChecked());
    EXPECT_TRUE(dialogs.Messages.empty());

    // A bad code is refused with a message and changes nothing; a cancel says nothing.
    W().Ui().ShareDataWithSupport->trigger();
    Settle();
    dialogs.Inputs = {"K7QM2XDF?x=1"};
    W().JoinSupportSessionClick();
    Settle();
    ASSERT_EQ(dialogs.Messages.size(), 1u);
    EXPECT_EQ(dialogs.Messages[0].Kind, MessageKind::Warning);
    EXPECT_EQ(dialogs.Messages[0].Text,
              "A session code has 8 to 64 letters, digits and '-' and nothing else");
    W().JoinSupportSessionClick();
    Settle();
    EXPECT_EQ(dialogs.Messages.size(), 1u);
    EXPECT_EQ(W().Remote().State.SupportDomain, "https://relay.example.org/K7QM2XDF9A");
    EXPECT_FALSE(W().Ui().ShareDataWithSupport->isChecked());
}

// The toolkit's dialogs behind the seam, answered by clicking their buttons.
TEST_F(AppRemoteTest, TheRealDialogsShowTheChangesAndTheCode) {
    QtUserDialogs real;
    const std::vector<SettingsChangeRow> changes = {
        {"System Control Module", "Battery Type", "1 - AGM", "4 - LiFePO4", ""},
        {"Battery Control Module", "Battery Bank Size, Ah", "400", "500", "Support sent 900"}};
    QStringList seen;
    auto answer = [&](const char* button) {
        QTimer::singleShot(0, [&seen, button] {
            QWidget* dialog = QApplication::activeModalWidget();
            ASSERT_NE(dialog, nullptr);
            auto* table = dialog->findChild<QTableWidget*>(QStringLiteral("SettingsChangesTable"));
            ASSERT_NE(table, nullptr);
            for (int row = 0; row < table->rowCount(); ++row)
                for (int column = 0; column < table->columnCount(); ++column)
                    seen << table->item(row, column)->text();
            dialog->findChild<QPushButton*>(QString::fromLatin1(button))->click();
        });
    };
    answer("WriteButton");
    EXPECT_TRUE(real.ConfirmSettings(&W(), QStringLiteral("Settings from support"), changes));
    EXPECT_EQ(seen, (QStringList{"System Control Module", "Battery Type", "1 - AGM", "4 - LiFePO4",
                                 "", "Battery Control Module", "Battery Bank Size, Ah", "400",
                                 "500", "Support sent 900"}));
    answer("RefuseButton");
    EXPECT_FALSE(real.ConfirmSettings(&W(), QStringLiteral("Settings from support"), changes));

    QString shown, copyText;
    int pixels = 0;
    QTimer::singleShot(0, [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        auto* label = dialog->findChild<QLabel*>(QStringLiteral("SessionCodeLabel"));
        shown = label->text();
        pixels = label->font().pixelSize();
        auto* copy = dialog->findChild<QPushButton*>(QStringLiteral("CopyButton"));
        copy->click();
        copyText = copy->text();
        static_cast<QDialog*>(dialog)->accept();
    });
    real.ShowSessionCode(&W(), QStringLiteral("K7QM2XDF9A"));
    EXPECT_EQ(shown, "K7QM2XDF9A");
    EXPECT_GE(pixels, 32);
    EXPECT_EQ(QApplication::clipboard()->text(), "K7QM2XDF9A");
    EXPECT_EQ(copyText, "Copied");
}

// The panel floats beside the window on the side the screen has room for.
TEST(SupportPanelPlace, BesideTheWindowAndOnTheScreen) {
    const QRect screen(0, 0, 1280, 900);
    const QSize panel(420, 300);
    struct Case {
        QRect Window;
        QPoint At;
    };
    const Case cases[] = {
        {{10, 20, 700, 600}, {718, 20}},    // room on the right
        {{600, 20, 680, 600}, {172, 20}},   // at the right edge: on the left
        {{0, 700, 1280, 200}, {860, 600}},  // no room: over its right edge, lifted
    };
    for (const Case& c : cases) {
        const QPoint at = SupportPanel::PlaceBeside(c.Window, panel, screen);
        EXPECT_EQ(at, c.At) << c.Window.x() << "," << c.Window.y();
        EXPECT_TRUE(screen.contains(QRect(at, panel))) << c.Window.x() << "," << c.Window.y();
    }
}

}  // namespace
}  // namespace korvan
