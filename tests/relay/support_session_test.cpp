// Session codes and the support domains built from them; what settings from
// support change.
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

// A difference the modules' blocks do not carry, or one the checks undo, is no
// change to ask the owner about.
TEST(SupportConsent, OnlyChangesTheSystemWouldHoldAreListed) {
    SystemData now;
    // Settings the checks keep as they are (one pass over all-zero records
    // still leaves a warning voltage the next pass moves).
    now = CheckedSettings(CheckedSettings(now));
    const std::function<void(SystemData&)> edits[] = {
        [](SystemData&) {},
        [](SystemData& d) { d.BatterySettings.FaultVoltage += 1e-6; },  // below a hundredth
        [](SystemData& d) { d.BatterySettings.DeviceId = 0; },          // out of range
    };
    for (const auto& edit : edits) {
        SystemData sent = now;
        edit(sent);
        EXPECT_TRUE(ChangesOfWrite(now, sent, CheckedSettings(sent), '.').empty()) << &edit - edits;
    }
}

}  // namespace
}  // namespace korvan
