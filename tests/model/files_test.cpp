#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "model/data_log.h"
#include "model/settings_file.h"

namespace korvan {
namespace {

namespace fs = std::filesystem;

class ModelFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ =
            fs::temp_directory_path() /
            ("korvan-model-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Path(const char* name) const { return (dir_ / name).string(); }

    static std::string Contents(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    static std::vector<uint8_t> RandomImage(unsigned seed) {
        std::mt19937 rng(seed);
        std::vector<uint8_t> bytes(SettingsFileSize);
        for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng());
        return bytes;
    }

    fs::path dir_;
};

TEST_F(ModelFiles, ImageKeepsEveryByteThroughLoadAndSave) {
    const std::vector<uint8_t> bytes = RandomImage(1);  // unknown and padding bytes included
    SystemData data;
    ASSERT_TRUE(LoadSettingsFileImage(data, bytes));
    SettingsFileImage image = BuildSettingsFileImage(data);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), bytes.begin()));

    std::string error;
    ASSERT_TRUE(SaveSettingsFile(Path("a.korvan3"), data, error)) << error;
    SystemData loaded;
    ASSERT_TRUE(LoadSettingsFile(Path("a.korvan3"), loaded, error)) << error;
    EXPECT_EQ(BuildSettingsFileImage(loaded), image);
    EXPECT_EQ(Contents(Path("a.korvan3")).size(), SettingsFileSize);
}

TEST_F(ModelFiles, RecordsSitAtTheirFileOffsets) {
    SystemData data;
    data.ControlSettings.ProfileIndex = 5;
    data.ControlSettings.Profiles[1].BulkLimit = 14.8;
    data.ControlSettings.Alt2ToleranceBand = 0.05;
    data.BatterySettings.Marker = 0xFF;
    data.BatterySettings.BankSize = 0x01020304;
    data.FieldSettings[0].Marker = 0xFF;
    data.FieldSettings[1].LowRpmLimit = 500;
    SettingsFileImage img = BuildSettingsFileImage(data);
    EXPECT_EQ(img[432], 5);
    double d;
    std::memcpy(&d, &img[48 + 48 + 24], 8);
    EXPECT_EQ(d, 14.8);
    std::memcpy(&d, &img[504], 8);
    EXPECT_EQ(d, 0.05);
    EXPECT_EQ(img[512], 0xFF);
    EXPECT_EQ(img[520], 0x04);  // little-endian
    EXPECT_EQ(img[523], 0x01);
    EXPECT_EQ(img[656], 0xFF);
    EXPECT_EQ(img[704 + 36], 500 & 0xFF);
    EXPECT_EQ(img[704 + 37], 500 >> 8);
}

TEST_F(ModelFiles, ShortFileLeavesEveryRecordAsItWas) {
    SystemData data;
    ASSERT_TRUE(LoadSettingsFileImage(data, RandomImage(2)));
    const SettingsFileImage before = BuildSettingsFileImage(data);
    std::vector<uint8_t> shortBytes = RandomImage(3);
    shortBytes.resize(751);
    {
        std::ofstream out(Path("short.korvan3"), std::ios::binary);
        out.write(reinterpret_cast<const char*>(shortBytes.data()), 751);
    }
    std::string error;
    EXPECT_FALSE(LoadSettingsFile(Path("short.korvan3"), data, error));
    EXPECT_EQ(error, "Stream read error");
    EXPECT_EQ(BuildSettingsFileImage(data), before);
    EXPECT_FALSE(LoadSettingsFileImage(data, {}));
    EXPECT_EQ(BuildSettingsFileImage(data), before);
}

TEST_F(ModelFiles, LongerFileLoadsItsFirst752Bytes) {
    std::vector<uint8_t> bytes = RandomImage(4);
    bytes.resize(760, 0xEE);
    {
        std::ofstream out(Path("long.korvan3"), std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), 760);
    }
    SystemData data;
    std::string error;
    ASSERT_TRUE(LoadSettingsFile(Path("long.korvan3"), data, error));
    SettingsFileImage img = BuildSettingsFileImage(data);
    EXPECT_TRUE(std::equal(img.begin(), img.end(), bytes.begin()));
}

TEST_F(ModelFiles, FileErrorsCarryPathAndReason) {
    SystemData data;
    std::string error;
    EXPECT_FALSE(LoadSettingsFile(Path("missing.korvan3"), data, error));
    EXPECT_EQ(error.rfind("Cannot open file \"" + Path("missing.korvan3") + "\". ", 0), 0u)
        << error;
    EXPECT_GT(error.size(), Path("missing.korvan3").size() + 20);
    EXPECT_FALSE(SaveSettingsFile(Path("no/such/dir.korvan3"), data, error));
    EXPECT_EQ(error.rfind("Cannot create file \"", 0), 0u) << error;
}

TEST_F(ModelFiles, LogHeaderOnlyForANewFileAndOneFieldPerRow) {
    SystemData data;
    data.ControlState.ChargingStage = 4;
    data.BatteryState.Temperature1 = -128;
    data.BatteryState.TrueBatteryVoltage = 12.5;
    data.FieldState[1].EngineRpm = 3000;
    const std::string path = Path("Log.txt");
    ASSERT_TRUE(AppendDataLogLine(path, data, ','));
    ASSERT_TRUE(AppendDataLogLine(path, data, ','));
    const std::string text = Contents(path);
    const std::string header = DataLogHeader();
    EXPECT_EQ(text.rfind("SCM:Charging Stage\t", 0), 0u);
    EXPECT_NE(header.find("BCM:Battery #1 Temperature, \xB0"
                          "C\t"),
              std::string::npos);
    EXPECT_NE(header.find("FCM #2:Engine RPM, 1/min\t\r\n"), std::string::npos);
    const std::string line = DataLogLine(data, ',');
    EXPECT_EQ(text, header + line + line);
    EXPECT_EQ(line.rfind("Float\t0\t0\tStand-alone\t0,00\t", 0), 0u);
    EXPECT_NE(line.find("\t12,50\t"), std::string::npos);
    EXPECT_NE(line.find("\tSensor is not connected\t"), std::string::npos);
    EXPECT_EQ(line.substr(line.size() - 8), "\t3000\t\r\n");
    auto tabs = [](const std::string& s) { return std::count(s.begin(), s.end(), '\t'); };
    EXPECT_EQ(tabs(header), 11 + 15 + 8 + 8);
    EXPECT_EQ(tabs(line), tabs(header));
}

TEST_F(ModelFiles, LogAppendsToAnExistingFileWithoutHeader) {
    const std::string path = Path("notes.txt");
    {
        std::ofstream out(path, std::ios::binary);
        out << "my notes\r\n";
    }
    SystemData data;
    ASSERT_TRUE(AppendDataLogLine(path, data, '.'));
    EXPECT_EQ(Contents(path), "my notes\r\n" + DataLogLine(data, '.'));
}

TEST_F(ModelFiles, LogStopsAtTheSizeLimitAndOnErrors) {
    const std::string path = Path("big.txt");
    SystemData data;
    { std::ofstream(path, std::ios::binary) << "x"; }
    fs::resize_file(path, DataLogSizeLimit - 1);
    EXPECT_TRUE(AppendDataLogLine(path, data, '.'));
    fs::resize_file(path, DataLogSizeLimit);
    EXPECT_FALSE(AppendDataLogLine(path, data, '.'));
    EXPECT_EQ(fs::file_size(path), DataLogSizeLimit);
    EXPECT_FALSE(AppendDataLogLine(Path("no/such/dir/Log.txt"), data, '.'));
    EXPECT_FALSE(AppendDataLogLine(dir_.string(), data, '.'));  // a directory, not a file
}

}  // namespace
}  // namespace korvan
