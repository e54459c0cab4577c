// The customer and support roles against a scripted relay and a recording host.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "link/protocol.h"
#include "model/module_descriptors.h"
#include "relay/remote_support.h"
#include "tests/support/recording_waiter.h"

namespace korvan {
namespace {

using namespace std::chrono_literals;

struct Scripted {
    int Status = 200;     // 0: the connection failed with Error
    std::string Message;  // put between the body markers
    std::string Error = "Connection refused";
};

class ScriptedRelay : public RelayTransport {
  public:
    std::deque<Scripted> Script;
    std::vector<std::string> Urls;
    std::function<void()> During;  // runs while the "server" is awaited

    bool RelayExchange(RelayState& state) override {
        state.RelayStatusText.clear();
        Urls.push_back(BuildRequestUrl(state, 42));
        // Runs once; it may start exchanges of its own.
        if (auto during = std::exchange(During, nullptr)) during();
        Scripted next;
        if (!Script.empty()) {
            next = Script.front();
            Script.pop_front();
        }
        if (next.Status == 0) {
            state.RelayStatusText = next.Error;
            return false;
        }
        if (next.Status != 200) {
            state.RelayStatusText = "HTTP/1.1 " + std::to_string(next.Status) + " Not Found";
            return false;
        }
        std::string error;
        if (!ParseRelayResponse(state, "<html><body>\r\n" + next.Message + "</body></html>",
                                error)) {
            state.RelayStatusText = error;
            return false;
        }
        return true;
    }
    // The values of the data field of the last URL.
    std::string LastData() const {
        const std::string& url = Urls.back();
        size_t start = url.find("data=") + 5;
        return url.substr(start, url.find("&time=") - start);
    }
};

class RecordingHost : public RemoteSupportHost {
  public:
    SystemData Records;
    bool Share = false;
    bool Remote = false;
    bool ChatEnabled = false;
    std::vector<std::string> Log;
    std::vector<std::string> Panel;
    std::vector<std::string> Errors;
    std::string Status;

    SystemData& Data() override { return Records; }
    bool ShareDataChecked() const override { return Share; }
    void SetShareDataChecked(bool checked) override { Share = checked; }
    bool RemoteViaInternetChecked() const override { return Remote; }
    void SelectUsbConnection() override {
        Remote = false;
        Log.push_back("usb");
    }
    void SetSendChatEnabled(bool enabled) override { ChatEnabled = enabled; }
    void ShowPanelMessage(const std::string& text) override { Panel.push_back(text); }
    void ShowConnectionError(const std::string& text) override { Errors.push_back(text); }
    void SetStatusText(const std::string& text) override { Status = text; }
    void CloseLocalLinks() override { Log.push_back("close"); }
    // After a write, the read-back answers ReadBackOk and finds ReadBackChange.
    bool ReadAllSettingsFromSystem() override {
        const bool wrote = std::find(Log.begin(), Log.end(), "write") != Log.end();
        Log.push_back("read");
        if (wrote && ReadBackChange) ReadBackChange(Records);
        return !wrote || ReadBackOk;
    }
    WriteOutcome WriteAllSettingsToSystem() override {
        Log.push_back("write");
        Written = BuildSettingsImage(Records);
        return WriteResult;
    }
    WriteOutcome WriteResult{true, 83, 83};
    bool ReadBackOk = true;
    std::function<void(SystemData&)> ReadBackChange;
    void SettingsArrived(const SystemData&, bool onlyConnected) override {
        Log.push_back(onlyConnected ? "settings tables (connected)" : "settings tables (all)");
    }
    void AskSupportSettings(const SystemData& received, const SystemData&) override {
        SystemData copy = received;
        Asked.push_back(BuildSettingsImage(copy));
        AskedWhileRecordsHeld.push_back(BuildSettingsImage(Records));
        Question = true;
    }
    void ChatLine(ChatSide side, const std::string& text) override {
        Chat.push_back((side == ChatSide::Support ? "SUPPORT: " : "CLIENT: ") + text);
    }
    void SessionChanged(const SupportSessionStatus&) override {}

    std::array<uint8_t, SettingsImageSize> Written{};
    bool Consent = true;  // the owner's answer to settings from support
    std::vector<std::array<uint8_t, SettingsImageSize>> Asked;
    std::vector<std::array<uint8_t, SettingsImageSize>> AskedWhileRecordsHeld;
    bool Question = false;  // asked and not answered yet
    std::vector<std::string> Chat;
};

template <size_t N>
std::string Values(int kind, const std::array<uint8_t, N>& image, size_t count = N) {
    std::string message = std::to_string(kind);
    for (size_t i = 0; i < count; ++i) message += "$" + std::to_string(image[i]);
    return message;
}

std::string ChatValues(const std::string& text) {
    std::string values;
    for (unsigned char c : text) values += "$" + std::to_string(c);
    return values;
}

// What the customer's tool writes of `image` over its records: the image as
// its own read-back and checks leave it.
std::array<uint8_t, SettingsImageSize> CheckedImage(
    SystemData records, const std::array<uint8_t, SettingsImageSize>& image) {
    DecodeSettingsImage(image.data(), records);
    SystemData checked = CheckedSettings(records);
    return BuildSettingsImage(checked);
}

size_t ValueCount(const std::string& data) {
    return static_cast<size_t>(std::count(data.begin(), data.end(), '$'));
}

bool Has(const std::vector<std::string>& log, const std::string& entry) {
    return std::find(log.begin(), log.end(), entry) != log.end();
}

class RelayRoles : public testing::Test {
  protected:
    // A relay tick of the side that is active; the owner answers a question it
    // raised once it has ended.
    void Tick() {
        remote.Tick();
        if (host.Remote) LastPoll = remote.SupportPoll(host.Records);
        if (std::exchange(host.Question, false)) remote.AnswerSupportSettings(host.Consent);
    }

    std::optional<PollOutcome> LastPoll;
    RecordingHost host;
    ScriptedRelay relay;
    RemoteSupport remote{host, relay};
};

TEST_F(RelayRoles, StartsWithTheDefaultDomainAndNoRole) {
    EXPECT_EQ(remote.State.SupportDomain, DefaultSupportDomain);
    remote.Tick();
    EXPECT_TRUE(relay.Urls.empty());
    EXPECT_FALSE(host.ChatEnabled);
}

TEST_F(RelayRoles, CustomerPostsItsStateUntilAskedForMore) {
    host.Share = true;
    host.Records.ControlState.ConnectedModules = 0x000E;
    relay.Script = {{200, "0"}, {200, ""}};
    remote.Tick();
    ASSERT_EQ(relay.Urls.size(), 1u);
    EXPECT_EQ(relay.Urls[0].rfind("http://localhost:8080/support3.php?user=client&data=2$170$", 0),
              0u);
    const auto image = BuildStateImage(host.Records);
    EXPECT_EQ(relay.LastData(), Values(2, image));
    EXPECT_EQ(host.Status, "Support requested system state");
    EXPECT_TRUE(host.ChatEnabled);

    // Nothing new from support: the state is posted again, rebuilt from the records.
    host.Records.ControlState.ConnectedModules = 0x001E;
    remote.Tick();
    EXPECT_EQ(relay.LastData(), Values(2, BuildStateImage(host.Records)));
    EXPECT_EQ(host.Status, "Nothing received");
    EXPECT_TRUE(host.Errors.empty());
}

TEST_F(RelayRoles, CustomerAnswersASettingsRequestOnEveryTickUntilANewMessage) {
    host.Share = true;
    host.Records.ControlSettings.ProfileIndex = 4;
    relay.Script = {{200, "1"}, {200, ""}, {200, "0"}, {200, ""}};
    remote.Tick();
    remote.Tick();
    EXPECT_EQ(host.Panel, std::vector<std::string>{" Settings requested by SUPPORT"});
    EXPECT_EQ(host.Log, std::vector<std::string>{"read"});
    EXPECT_EQ(relay.LastData(), Values(3, BuildSettingsImage(host.Records)));
    EXPECT_EQ(ValueCount(relay.LastData()), SettingsImageSize);
    remote.Tick();
    EXPECT_EQ(host.Log.size(), 2u);
    EXPECT_EQ(relay.LastData().substr(0, 2), "3$");
    remote.Tick();
    EXPECT_EQ(relay.LastData().substr(0, 2), "2$");
}

TEST_F(RelayRoles, CustomerRefusesAShortSettingsImage) {
    host.Share = true;
    std::array<uint8_t, SettingsImageSize> image{};
    image.fill(0x55);
    relay.Script = {{200, Values(3, image, 100)}};
    remote.Tick();
    remote.Tick();
    EXPECT_EQ(host.Panel,
              std::vector<std::string>{
                  " SUPPORT sent new settings: received 100 bytes (must be 224 bytes)"});
    EXPECT_TRUE(host.Log.empty());
    EXPECT_EQ(host.Records.ControlSettings.ProfileIndex, 0);
}

TEST_F(RelayRoles, CustomerWritesACompleteSettingsImage) {
    SystemData support;
    support.ControlSettings.ProfileIndex = 5;
    support.BatterySettings = host.Records.BatterySettings;
    const auto image = BuildSettingsImage(support);
    host.Share = true;
    relay.Script = {{200, Values(3, image)}};
    Tick();
    EXPECT_EQ(host.Status, "Support sent new settings");
    Tick();
    EXPECT_EQ(host.Panel.back(),
              " SUPPORT sent new settings: received 224 bytes (must be 224 bytes)");
    // Written as this tool's read-back and checks leave it (the zeros support
    // sent are out of range), then read back; support is told at once.
    EXPECT_EQ(host.Log,
              (std::vector<std::string>{"read", "settings tables (all)", "write", "read"}));
    EXPECT_EQ(host.Records.ControlSettings.ProfileIndex, 5);
    EXPECT_EQ(host.Written, CheckedImage(SystemData{}, image));
    EXPECT_NE(host.Written, image);
    EXPECT_EQ(relay.LastData(), "4" + ChatValues(SettingsWrittenText));
    // Then the outgoing message is left as it was: the state of the first tick again.
    Tick();
    EXPECT_EQ(relay.LastData().substr(0, 6), "2$170$");
}

TEST_F(RelayRoles, CustomerAsksTheOwnerOncePerSettingsMessage) {
    SystemData support = host.Records;
    support.ControlSettings.ProfileIndex = 5;
    const auto image = BuildSettingsImage(support);
    const auto before = BuildSettingsImage(host.Records);
    host.Share = true;
    host.Consent = false;
    relay.Script = {{200, Values(3, image)}, {200, ""}, {200, ""}, {200, Values(3, image)}};
    Tick();
    Tick();  // asks: refused
    ASSERT_EQ(host.Asked.size(), 1u);
    EXPECT_EQ(host.Asked[0], image);
    EXPECT_EQ(host.AskedWhileRecordsHeld[0], before);  // the records are not touched yet
    // The tick's own exchange, then one that carries the answer at once.
    EXPECT_EQ(relay.Urls.size(), 3u);
    EXPECT_EQ(host.Log, std::vector<std::string>{"read"});
    EXPECT_EQ(BuildSettingsImage(host.Records), before);
    // The refusal goes to support as one chat line, then the state again.
    EXPECT_EQ(relay.LastData(), "4" + ChatValues(SettingsRefusedText));
    EXPECT_EQ(host.Chat, std::vector<std::string>{"CLIENT: Settings refused by the customer"});
    Tick();  // the same message: no second question, nothing written
    EXPECT_EQ(host.Asked.size(), 1u);
    EXPECT_EQ(host.Log.size(), 1u);
    EXPECT_EQ(relay.LastData().substr(0, 6), "2$170$");
    EXPECT_EQ(host.Panel.size(), 1u);  // announced once, when it arrived

    // The same settings sent again are a new message: asked again, and written.
    host.Consent = true;
    Tick();
    Tick();
    ASSERT_EQ(host.Asked.size(), 2u);
    EXPECT_EQ(host.Log,
              (std::vector<std::string>{"read", "read", "settings tables (all)", "write", "read"}));
    EXPECT_EQ(host.Written, CheckedImage(SystemData{}, image));
    EXPECT_EQ(host.Chat.back(), "CLIENT: Settings written and read back");
    Tick();
    EXPECT_EQ(host.Log.size(), 5u);  // written once
}

TEST_F(RelayRoles, EveryChatLineReachesTheHostOnceInBothDirections) {
    host.Share = true;
    relay.Script = {{200, "4$72$105"}, {200, ""}, {200, "4$72"}, {0, ""}};
    Tick();
    Tick();  // acts on the chat again: still one line
    remote.SendChat("thanks");
    remote.SendChat("lost");
    EXPECT_EQ(host.Chat, (std::vector<std::string>{"SUPPORT: Hi", "CLIENT: thanks",
                                                   "CLIENT: lost (not sent: Connection refused)"}));

    host.Chat.clear();
    host.Share = false;
    host.Remote = true;
    relay.Script = {{200, "4$79$107"}, {200, ""}};
    Tick();
    remote.SendChat("H\xC3\xA9");
    Tick();
    EXPECT_EQ(host.Chat, (std::vector<std::string>{"CLIENT: Ok", "SUPPORT: H\xC3\xA9"}));
}

TEST_F(RelayRoles, CustomerShowsChatsOfTwoCharactersOrMore) {
    host.Share = true;
    relay.Script = {{200, "4$72"}, {200, "4$72$105$32$176"}};
    remote.Tick();
    remote.Tick();
    EXPECT_TRUE(host.Panel.empty());
    remote.Tick();
    EXPECT_EQ(host.Panel, std::vector<std::string>{" Message from SUPPORT: Hi \xC2\xB0"});
}

TEST_F(RelayRoles, CustomerStopsOnRequestAfterOneMorePost) {
    host.Share = true;
    relay.Script = {{200, "5"}};
    remote.Tick();
    EXPECT_TRUE(host.Share);
    remote.Tick();
    EXPECT_FALSE(host.Share);
    EXPECT_EQ(relay.Urls.size(), 2u);
    EXPECT_EQ(relay.LastData().substr(0, 2), "2$");
    remote.Tick();
    EXPECT_EQ(relay.Urls.size(), 2u);
    EXPECT_FALSE(host.ChatEnabled);
    host.Share = true;  // shared again later: the old stop does not end it
    remote.Tick();
    EXPECT_TRUE(host.Share);
}

TEST_F(RelayRoles, CustomerFailureShowsTheBoxAndStopsSharing) {
    host.Share = true;
    relay.Script = {{0, "", "Connection refused"}};
    remote.Tick();
    EXPECT_EQ(host.Errors, std::vector<std::string>{"Internet Connection: Connection refused"});
    EXPECT_FALSE(host.Share);
    EXPECT_EQ(host.Status, "Connection refused");

    host.Share = true;
    relay.Script = {{200, "3$12\r\n"}};
    remote.Tick();
    EXPECT_EQ(host.Errors.back(), "Internet Connection: '12\r\n' is not a valid integer value");
    EXPECT_FALSE(host.Share);
    // The broken message is not acted upon when sharing starts again.
    host.Share = true;
    remote.Tick();
    EXPECT_TRUE(host.Panel.empty());
    EXPECT_EQ(relay.LastData().substr(0, 2), "2$");
}

TEST_F(RelayRoles, OneProgramIsNeverBothSides) {
    host.Share = true;
    host.Remote = true;
    Tick();
    EXPECT_FALSE(host.Share);
    ASSERT_EQ(relay.Urls.size(), 1u);
    EXPECT_NE(relay.Urls[0].find("user=support&data=0&"), std::string::npos);
    EXPECT_TRUE(host.ChatEnabled);
}

TEST_F(RelayRoles, SupportShowsTheCustomersState) {
    SystemData customer;
    customer.ControlState.ConnectedModules = 0x000E;
    customer.ControlState.ChargingStage = 2;
    const auto image = BuildStateImage(customer);
    host.Remote = true;
    relay.Script = {{200, Values(2, image)}, {200, Values(2, image, 143)}};
    Tick();
    EXPECT_EQ(relay.LastData(), "0");
    EXPECT_EQ(host.Log, std::vector<std::string>{"close"});
    EXPECT_EQ(LastPoll, PollOutcome::Complete);
    EXPECT_EQ(host.Records.ControlState.ConnectedModules, 0x000E);
    EXPECT_EQ(host.Records.ControlState.ChargingStage, 2);
    EXPECT_EQ(host.Status, "Client sent system state");
    host.Log.clear();
    Tick();
    EXPECT_EQ(host.Log, std::vector<std::string>{"close"});
    EXPECT_EQ(LastPoll, PollOutcome::Partial);  // a short image is no state
}

TEST_F(RelayRoles, SupportTakesTheCustomersSettings) {
    SystemData customer;
    customer.ControlSettings.ProfileIndex = 3;
    const auto image = BuildSettingsImage(customer);
    host.Remote = true;
    relay.Script = {{200, Values(3, image, 200)}, {200, Values(3, image)}};
    Tick();
    EXPECT_EQ(host.Panel.back(), " CLIENT sent settings: received 200 bytes (must be 224 bytes)");
    EXPECT_FALSE(Has(host.Log, "settings tables (connected)"));
    EXPECT_EQ(host.Records.ControlSettings.ProfileIndex, 0);
    Tick();
    EXPECT_EQ(host.Panel.back(), " CLIENT sent settings: received 224 bytes (must be 224 bytes)");
    EXPECT_TRUE(Has(host.Log, "settings tables (connected)"));
    EXPECT_EQ(host.Records.ControlSettings.ProfileIndex, 3);
    Tick();  // nothing new: no "received 0 bytes"
    EXPECT_EQ(host.Panel.size(), 2u);
}

// The customer's tool tells support at once how a write of its settings ended.
TEST_F(RelayRoles, CustomerTellsSupportHowTheWriteEnded) {
    struct Case {
        WriteOutcome Write;
        bool ReadBackOk;
        bool ReadBackDiffers;
        std::string Line;
    };
    const Case cases[] = {
        {{false, 11, 83}, true, false, "Settings stopped after 11 of 83 reports"},
        {{true, 83, 83}, false, false, SettingsNotReadBackText},
        {{true, 83, 83}, true, true, SettingsDifferText},
    };
    for (const Case& c : cases) {
        RecordingHost customer;
        ScriptedRelay script;
        RemoteSupport role{customer, script};
        customer.Share = true;
        customer.WriteResult = c.Write;
        customer.ReadBackOk = c.ReadBackOk;
        if (c.ReadBackDiffers)
            customer.ReadBackChange = [](SystemData& d) { d.ControlSettings.ProfileIndex ^= 1; };
        script.Script = {{200, Values(3, BuildSettingsImage(customer.Records))}};
        role.Tick();
        role.Tick();
        role.AnswerSupportSettings(true);
        EXPECT_EQ(script.LastData(), "4" + ChatValues(c.Line)) << c.Line;
    }
}

TEST_F(RelayRoles, SupportFallsBackToUsbWhenTheRelayFails) {
    host.Remote = true;
    relay.Script = {{404, ""}};
    Tick();
    EXPECT_EQ(host.Errors,
              std::vector<std::string>{"Internet Connection: The relay server at localhost:8080 "
                                       "serves support sessions only. Choose Options \u2192 New "
                                       "Support Session... and read its code to the customer."});
    EXPECT_FALSE(host.Remote);
    EXPECT_TRUE(Has(host.Log, "usb"));
    Tick();
    EXPECT_EQ(relay.Urls.size(), 1u);
    EXPECT_EQ(host.Errors.size(), 1u);
}

TEST_F(RelayRoles, SupportChatsOnceThenAsksForTheStateAgain) {
    host.Remote = true;
    relay.Script = {{200, ""}, {200, "4$79$107"}, {200, ""}};
    Tick();
    remote.SendChat("H\xC3\xA9");
    EXPECT_EQ(relay.LastData(), "4$72$233");
    EXPECT_EQ(host.Panel, std::vector<std::string>{" Message from CLIENT: Ok"});
    Tick();
    EXPECT_EQ(relay.LastData(), "0");
    EXPECT_EQ(host.Panel.size(), 1u);
}

TEST_F(RelayRoles, SupportCommandsActOnTheMessageTheirExchangeBrings) {
    SystemData customer;
    customer.ControlSettings.ProfileIndex = 2;
    host.Remote = true;
    RecordingWaiter waiter;
    relay.Script = {{200, Values(3, BuildSettingsImage(customer))}};
    remote.RequestSettings(host.Records, waiter);
    EXPECT_EQ(host.Records.ControlSettings.ProfileIndex, 2);
    EXPECT_TRUE(Has(host.Log, "settings tables (connected)"));
    relay.Script = {{200, "4$98$121$101"}};
    remote.SendSettings(host.Records, waiter);
    EXPECT_EQ(host.Panel.back(), " Message from CLIENT: bye");
}

TEST_F(RelayRoles, CustomerChatKeepsAMessageNotActedUponYet) {
    SystemData support;
    support.ControlSettings.ProfileIndex = 7;
    const auto image = BuildSettingsImage(support);
    host.Share = true;
    relay.Script = {{200, Values(3, image)}, {200, ""}, {200, ""}};
    Tick();
    remote.SendChat("thanks");
    EXPECT_EQ(relay.LastData(), "4$116$104$97$110$107$115");
    Tick();
    EXPECT_EQ(host.Panel.back(),
              " SUPPORT sent new settings: received 224 bytes (must be 224 bytes)");
    EXPECT_EQ(host.Written, CheckedImage(SystemData{}, image));
    // A message the chat's exchange brings replaces it, as a tick's would.
    relay.Script = {{200, "4$111$107"}};
    remote.SendChat("hi");
    Tick();
    EXPECT_EQ(host.Panel.back(), " Message from SUPPORT: ok");
}

TEST_F(RelayRoles, ChatsAreBoundedAndNeedAnActiveSide) {
    remote.SendChat("nobody listens");
    EXPECT_TRUE(relay.Urls.empty());
    host.Share = true;
    remote.SendChat("");
    EXPECT_TRUE(relay.Urls.empty());
    remote.SendChat(std::string(20000, 'x'));
    ASSERT_EQ(relay.Urls.size(), 1u);
    EXPECT_EQ(remote.State.RelayRole, RoleClient);
    EXPECT_EQ(ValueCount(relay.LastData()), RelayBufferSize);
    EXPECT_EQ(relay.LastData().substr(0, 5), "4$120");
}

TEST_F(RelayRoles, SettingsCommandsOfTheSupportSideWaitWithoutProcessingMessages) {
    host.Remote = true;
    RecordingWaiter waiter;
    relay.Script = {{200, ""}, {200, ""}};
    remote.RequestSettings(host.Records, waiter);
    EXPECT_EQ(relay.LastData(), "1");
    EXPECT_EQ(remote.State.RelayRole, RoleSupport);
    EXPECT_EQ(waiter.Waits, (std::vector<RecordedWait>{{1000ms, false}, {3000ms, false}}));
    EXPECT_EQ(host.Status, "Nothing received");

    host.Records.ControlSettings.ProfileIndex = 6;
    waiter.Waits.clear();
    remote.SendSettings(host.Records, waiter);
    EXPECT_EQ(relay.LastData(), Values(3, BuildSettingsImage(host.Records)));
    EXPECT_EQ(waiter.Waits, (std::vector<RecordedWait>{{1000ms, false}, {1000ms, false}}));
}

TEST_F(RelayRoles, NothingStartsWhileAnExchangeIsOutstanding) {
    host.Share = true;
    RecordingWaiter waiter;
    int nested = 0;
    relay.During = [&] {
        ++nested;
        Tick();
        remote.SendChat("later");
        remote.RequestSettings(host.Records, waiter);
        remote.SendSettings(host.Records, waiter);
        EXPECT_EQ(host.Status, RelayBusyText);
    };
    Tick();
    EXPECT_EQ(relay.Urls.size(), 1u);
    EXPECT_TRUE(waiter.Waits.empty());
    EXPECT_EQ(relay.LastData().substr(0, 2), "2$");
    EXPECT_FALSE(remote.ExchangeOutstanding());
}

}  // namespace
}  // namespace korvan
