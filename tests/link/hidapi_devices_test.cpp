#include "platform/hidapi_devices.h"

#include <gtest/gtest.h>

namespace korvan {
namespace {

TEST(LinkHidapi, WideStringsBecomeUtf8) {
    EXPECT_EQ(WideToUtf8(nullptr), "");
    EXPECT_EQ(WideToUtf8(L"KORVAN KX4"), "KORVAN KX4");
    EXPECT_EQ(WideToUtf8(L"Ardexon \u00C5B \u00B0C \u20AC"),
              "Ardexon \xC3\x85"
              "B \xC2\xB0"
              "C \xE2\x82\xAC");
    const wchar_t beyondBmp[] = {static_cast<wchar_t>(0x1F6A4), 0};  // speedboat
    if constexpr (sizeof(wchar_t) == 4) {
        EXPECT_EQ(WideToUtf8(beyondBmp), "\xF0\x9F\x9A\xA4");
    }
    // A lone surrogate is no character: it is replaced rather than passed on as bad UTF-8.
    const wchar_t lone[] = {L'A', static_cast<wchar_t>(0xD800), L'B', 0};
    EXPECT_EQ(WideToUtf8(lone),
              "A\xEF\xBF\xBD"
              "B");
}

TEST(LinkHidapi, FailuresLeaveTheLibraryText) {
    HidapiDevices hid;
    hid.Enumerate();  // whatever this machine has; it must not disturb what follows
    EXPECT_LT(hid.Open("/nonexistent/hidraw9"), 0);
    EXPECT_FALSE(hid.LastError().empty());
    uint8_t transfer[65] = {};
    EXPECT_EQ(hid.Write(7, transfer, sizeof transfer), -1);
    EXPECT_EQ(hid.LastError(), "The handle is invalid");
    EXPECT_EQ(hid.Read(7, transfer, sizeof transfer, 10), -1);
    EXPECT_FALSE(hid.Close(7));
}

}  // namespace
}  // namespace korvan
