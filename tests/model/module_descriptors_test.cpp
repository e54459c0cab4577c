#include "model/module_descriptors.h"

#include <gtest/gtest.h>

#include <cstring>

namespace korvan {
namespace {

// The two field boxes share one row's functions: each must reach its own records.
TEST(ModelModuleDescriptors, FieldBoxesReachTheirOwnRecords) {
    for (const int index : {0, 1}) {
        const ModuleId module = FieldBoxModule(index);
        const ModuleDescriptor& row = DescriptorOf(module);
        SystemData data{};
        data.FieldState[index].EngineRpm = 1234;
        data.FieldState[index].StatusCode = 0x01;
        EXPECT_EQ(row.StateLines(data, module, '.')[7], "1234") << index;
        EXPECT_EQ(row.StatusLines(data, module), FieldBoxStatusLines(data.FieldState[index]));

        const std::vector<std::string> cells = {"12", "2.75", "1.10", "95", "800", "1"};
        const FieldBoxSettings other = data.FieldSettings[1 - index];
        row.ReadSettingsTable(data, module, cells, 12, '.');
        EXPECT_EQ(row.SettingsTexts(data, module, 12, '.'),
                  FieldBoxSettingsTexts(data.FieldSettings[index], '.'));
        EXPECT_EQ(FieldBoxSettingsTexts(data.FieldSettings[index], '.')[1], "2.75");
        EXPECT_EQ(std::memcmp(&other, &data.FieldSettings[1 - index], sizeof other), 0) << index;
    }
}

TEST(ModelModuleDescriptors, BatteryBoxTextsFollowTheSystemVoltage) {
    const ModuleDescriptor& row = DescriptorOf(ModuleId::BatteryBox);
    SystemData data{};
    data.BatterySettings.VoltageAt100 = 12.7;
    for (const uint8_t volts : {uint8_t{12}, uint8_t{24}}) {
        EXPECT_EQ(row.SettingsTexts(data, ModuleId::BatteryBox, volts, '.'),
                  BatteryBoxSettingsTexts(data.BatterySettings, volts, '.'));
        EXPECT_EQ(row.SettingsRanges(volts, '.'), BatteryBoxSettingsRanges(volts, '.'));
    }
}

TEST(ModelModuleDescriptors, ConnectedBitsOfTheStatusWord) {
    struct Case {
        uint16_t Word;
        std::array<bool, 4> Connected;  // in the order of AllModules
    };
    const Case cases[] = {
        {0x0000, {true, false, false, false}}, {0x0002, {true, false, true, false}},
        {0x0004, {true, false, false, true}},  {0x0008, {true, true, false, false}},
        {0x0011, {true, false, false, false}},  // NMEA 2000 and a hardware fault only
        {0x000E, {true, true, true, true}},
    };
    for (const Case& c : cases)
        for (size_t i = 0; i < AllModules.size(); ++i)
            EXPECT_EQ(ModuleConnected(c.Word, AllModules[i]), c.Connected[i])
                << std::hex << c.Word << " " << ModuleName(AllModules[i]);
}

}  // namespace
}  // namespace korvan
