// Session codes and the support domains built from them; the session's state
// and the failures as the user reads them; what settings from support change.
#include "relay/support_session.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <set>

#include "model/module_descriptors.h"
#include "relay/support_consent.h"

namespace korvan {
namespace {

TEST(SupportSession, CodesComeFromTheAlphabetWithoutBias) {
    // Words from the top of the range, where whole alphabets no longer fit, are
    // drawn again; the others map by their remainder.
    // 2^32 = 4 (mod 31): words from 0xFFFFFFFC on are drawn again.
    std::deque<uint32_t> words = {0xFFFFFFFFu, 0,  30, 31, 0xFFFFFFFCu, 0xFFFFFFFBu,
                                  9,           61, 1,  2,  3,           4};
    const std::string code = MakeSessionCode([&] {
        const uint32_t word = words.front();
        words.pop_front();
        return word;
    });
    EXPECT_EQ(code, "2Z2ZBZ3456");
    EXPECT_TRUE(words.empty());
    for (char c : std::string("01ILO")) EXPECT_EQ(SessionCodeAlphabet.find(c), std::string::npos);
    EXPECT_EQ(SessionCodeAlphabet.size(), 31u);
}

TEST(SupportSession, CodesFromTheSystemAreDistinctAndValid) {
    std::set<std::string> codes;
    std::set<char> seen;
    for (int i = 0; i < 2000; ++i) {
        std::string error;
        const std::string code = MakeSessionCode(error);
        ASSERT_TRUE(error.empty()) << error;
        ASSERT_EQ(code.size(), SessionCodeLength);
        for (char c : code) ASSERT_NE(SessionCodeAlphabet.find(c), std::string::npos) << code;
        EXPECT_TRUE(ValidSessionCode(code));
        seen.insert(code.begin(), code.end());
        codes.insert(code);
    }
    EXPECT_EQ(codes.size(), 2000u);
    EXPECT_EQ(seen.size(), SessionCodeAlphabet.size());  // 20000 draws reach every symbol
}

TEST(SupportSession, CodesOfTheRelaysForm) {
    EXPECT_TRUE(ValidSessionCode("K7QM2XDF"));
    EXPECT_TRUE(ValidSessionCode("desk-04-a1b2"));
    EXPECT_TRUE(ValidSessionCode(std::string(64, 'A')));
    EXPECT_FALSE(ValidSessionCode("K7QM2XD"));
    EXPECT_FALSE(ValidSessionCode(std::string(65, 'A')));
    EXPECT_FALSE(ValidSessionCode("K7QM 2XDF"));
    EXPECT_FALSE(ValidSessionCode("K7QM/2XDF"));
    EXPECT_FALSE(ValidSessionCode("K7QM_2XDF"));
    EXPECT_FALSE(ValidSessionCode("K7QM2XD\xC3\x84"));
    EXPECT_FALSE(ValidSessionCode(""));
}

TEST(SupportSession, TheHostStaysAndTheSessionPathIsReplaced) {
    EXPECT_EQ(SessionDomain("localhost:8080", "K7QM2XDF9A"), "localhost:8080/K7QM2XDF9A");
    EXPECT_EQ(SessionDomain("relay.example.org/OLDCODE1", "NEWCODE22"),
              "relay.example.org/NEWCODE22");
    EXPECT_EQ(SessionDomain("https://relay.example.org:8443/OLDCODE1/x", "NEWCODE22"),
              "https://relay.example.org:8443/NEWCODE22");
    EXPECT_EQ(SessionDomain("HTTPS://Relay.example.org", "NEWCODE22"),
              "HTTPS://Relay.example.org/NEWCODE22");
    EXPECT_EQ(SessionDomain("http://10.0.0.5/", "NEWCODE22"), "http://10.0.0.5/NEWCODE22");
}

TEST(SupportSession, OneLineSaysCodeRelayConnectionAndLastSeen) {
    using std::chrono::system_clock;
    const auto seen = system_clock::time_point{};
    struct Case {
        SupportSessionStatus Status;
        const char* Text;
    };
    const Case cases[] = {
        {{}, ""},
        {{SupportRole::Support, "localhost:8080/K7QM2XDF9A", true, "", seen, false, ""},
         "Support session K7QM2XDF9A on localhost:8080: connected, customer last seen 14:03:07"},
        {{SupportRole::Customer, "https://relay.example.org", true, "", std::nullopt, false, ""},
         "Support session without a code on https://relay.example.org: connected to the relay, "
         "waiting for support"},
        {{SupportRole::Support, "r.example/ABCDEFGH", false, "Connection refused", seen, false,
          "written and read back"},
         "Support session ABCDEFGH on r.example: relay not reached (Connection refused); "
         "settings sent: written and read back"},
        {{SupportRole::Support, "r.example/ABCDEFGH", true, "", seen, true, ""},
         "Support session ABCDEFGH on r.example: the customer stopped sharing"},
    };
    for (const Case& c : cases) EXPECT_EQ(SupportSessionText(c.Status, "14:03:07"), c.Text);
}

TEST(SupportSession, RelayRefusalsNameWhatToDo) {
    struct Case {
        const char* Status;
        const char* Domain;
        bool Support;
        const char* Text;
    };
    const Case cases[] = {
        {"Connection refused", "localhost:8080", true, "Connection refused"},
        {"HTTP/1.1 404 Not Found", "localhost:8080", true,
         "The relay server at localhost:8080 serves support sessions only. Choose Options \u2192 "
         "New Support Session... and read its code to the customer."},
        {"HTTP/1.1 404 Not Found", "localhost:8080", false,
         "The relay server at localhost:8080 serves support sessions only. Choose Options \u2192 "
         "Join Support Session... and type the code that support reads to you."},
        {"HTTP/1.1 404 Not Found", "relay.example.org/sub/K7QM2XDF", true,
         "The relay server at relay.example.org has no page for this session (404 Not Found): "
         "check the address in Options \u2192 Support Domain..."},
        {"HTTP/1.1 503 Service Unavailable", "r.example/K7QM2XDF", false,
         "The relay server at r.example is busy (503 Service Unavailable): try again in a "
         "minute."},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RelayFailureText(c.Status, c.Domain, c.Support), c.Text) << c.Status;
}

TEST(SupportSession, OutcomesOfSettingsAreKnownChatLines) {
    EXPECT_EQ(SettingsOutcomeOf(SettingsWrittenText), "written and read back");
    EXPECT_EQ(SettingsOutcomeOf(SettingsRefusedText), "refused by the customer");
    EXPECT_EQ(SettingsOutcomeOf(SettingsStoppedText(11, 83)), "stopped after 11 of 83 reports");
    EXPECT_EQ(SettingsOutcomeOf("Settings are fine, thanks"), "");
    EXPECT_EQ(SessionCodeOf("https://relay.example.org/K7QM2XDF"), "K7QM2XDF");
    EXPECT_EQ(SessionCodeOf("relay.example.org/"), "");
}

// Only what the modules' blocks carry counts; a value the checks changed says
// what support sent.
TEST(SupportConsent, OnlyChangesTheSystemWouldHoldAreListed) {
    SystemData now;
    now.BatteryState.SystemVoltage = 12;
    // Settings the checks keep as they are (one pass over all-zero records
    // still leaves a warning voltage the next pass moves).
    now = CheckedSettings(CheckedSettings(now));
    now.BatterySettings.BankSize = 400;
    struct Case {
        const char* Name;
        std::function<void(SystemData&)> Edit;
        size_t Rows;
        std::string Sent;
    };
    const Case cases[] = {
        {"nothing", [](SystemData&) {}, 0, ""},
        {"profile", [](SystemData& d) { d.ControlSettings.ProfileIndex ^= 1; }, 1, ""},
        {"below a hundredth", [](SystemData& d) { d.BatterySettings.FaultVoltage += 1e-6; }, 0, ""},
        {"out of range", [](SystemData& d) { d.BatterySettings.BankSize = 12000; }, 1, "12000"},
        {"put back by the checks", [&](SystemData& d) { d.BatterySettings.DeviceId = 0; }, 0, ""},
    };
    for (const Case& c : cases) {
        SystemData sent = now;
        c.Edit(sent);
        const std::vector<WriteChange> rows = ChangesOfWrite(now, sent, CheckedSettings(sent), '.');
        ASSERT_EQ(rows.size(), c.Rows) << c.Name;
        if (c.Rows > 0) {
            EXPECT_EQ(rows[0].Sent, c.Sent) << c.Name;
        }
    }
}

}  // namespace
}  // namespace korvan
