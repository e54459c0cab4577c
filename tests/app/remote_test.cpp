// The window as host of remote support: the relay tick, the relay paths of the
// settings commands, the chat and the support domain, with a scripted relay.
#include <QAction>
#include <QLabel>
#include <QTimer>

#include "link/protocol.h"
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
        seams.MakeRelay = [this](QWidget*) {
            auto relay = std::make_unique<ScriptedRelay>();
            scripted = relay.get();
            return relay;
        };
        window = std::make_unique<TMainFormKX4>(seams);
        Quiet();
        ConnectUsb();
    }
    ScriptedRelay* scripted = nullptr;
};

TEST_F(AppRemoteTest, SupportTickClosesLocalLinksAndShowsTheCustomersState) {
    ASSERT_TRUE(W().Usb().IsOpen());
    W().Ui().RemoteViaInternetToProvideSupport->trigger();
    W().USBTimerTimer();  // not the chosen link any more
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
    ASSERT_EQ(dialogs.Messages.size(), 1u);
    EXPECT_EQ(dialogs.Messages[0].Text, "Internet Connection: Connection refused");
    EXPECT_TRUE(W().Ui().ConnectionUSB->isChecked());
}

TEST_F(AppRemoteTest, SettingsCommandsGoThroughTheRelayWithBlockingWaits) {
    W().Ui().RemoteViaInternetToProvideSupport->trigger();
    W().ReadAllSettingsFromSystemClick();
    ASSERT_EQ(scripted->Log.size(), 1u);
    EXPECT_EQ(scripted->Log[0].Kind, MsgRequestSettings);
    EXPECT_TRUE(W().Flags().SettingsLoaded);
    ASSERT_GE(waiter.Waits.size(), 2u);
    for (const RecordedWait& wait : waiter.Waits) EXPECT_FALSE(wait.ProcessMessages);

    W().WriteAllSettingsToSystemClick();
    ASSERT_EQ(scripted->Log.size(), 2u);
    EXPECT_EQ(scripted->Log[1].Kind, MsgSettings);
    EXPECT_EQ(scripted->Log[1].Count, static_cast<int>(SettingsImageSize));
    EXPECT_EQ(static_cast<uint8_t>(scripted->Log[1].Bytes[0]), SettingsMarker);
    EXPECT_TRUE(UsbCodes().empty());
}

TEST_F(AppRemoteTest, ChatAndSupportDomainUseTheirInputBoxes) {
    W().SupportDomain1Click();  // cancelled: the default domain
    EXPECT_EQ(W().Remote().State.SupportDomain, DefaultSupportDomain);
    dialogs.Inputs = {"relay.example.net"};
    W().SupportDomain1Click();
    EXPECT_EQ(W().Remote().State.SupportDomain, "relay.example.net");

    W().Ui().ShareDataWithSupport->trigger();
    dialogs.Inputs = {""};
    W().SendChatMessageClick();  // an empty line is not sent
    EXPECT_TRUE(scripted->Log.empty());
    dialogs.Inputs = {"Hello"};
    W().SendChatMessageClick();
    ASSERT_EQ(scripted->Log.size(), 1u);
    EXPECT_EQ(scripted->Log[0].Role, 0);
    EXPECT_EQ(scripted->Log[0].Kind, MsgChat);
    EXPECT_EQ(scripted->Log[0].Bytes, "Hello");
    EXPECT_EQ(scripted->Log[0].Domain, "relay.example.net");
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
    EXPECT_TRUE(NoneEmpty(W().Ui().ControlBoxStateStringGrid()));
    EXPECT_TRUE(AllEmpty(second.Ui().ControlBoxStateStringGrid()));
}

}  // namespace
}  // namespace korvan
