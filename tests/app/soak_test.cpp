// The soak: the main window on the simulated system for a set time with link
// faults drawn from a seed (KORVAN_SOAK_SECONDS, KORVAN_SOAK_SEED, KORVAN_SOAK_RATE).
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/app/soak_run.h"

namespace korvan {
namespace {

std::string summary;  // printed after the test framework's own lines

SoakOptions OptionsFromEnvironment() {
    SoakOptions options;
    if (const char* seconds = std::getenv("KORVAN_SOAK_SECONDS"))
        options.Duration = std::chrono::milliseconds(static_cast<long>(std::atof(seconds) * 1000));
    if (const char* seed = std::getenv("KORVAN_SOAK_SEED"))
        options.Seed = static_cast<uint32_t>(std::strtoul(seed, nullptr, 10));
    if (const char* rate = std::getenv("KORVAN_SOAK_RATE")) options.FaultRate = std::atof(rate);
    return options;
}

TEST(Soak, WindowSurvivesLinkFaultsAndKeepsTheSystemsSettings) {
    const SoakOptions options = OptionsFromEnvironment();
    SoakRun run(options);
    const SoakTally tally = run.Run();
    for (const std::string& failure : tally.Failures) ADD_FAILURE() << failure;
    EXPECT_GT(tally.Ticks, 0u);
    EXPECT_GT(tally.Faults.Total(), 0u);
    EXPECT_GT(tally.WritesCompleted, 0u);
    std::printf("simulator: %s\n", tally.Faults.Text().c_str());
    summary = run.Summary();
}

}  // namespace
}  // namespace korvan

// The offscreen platform, as for every widget test; the soak's line comes last.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    if (!korvan::summary.empty()) std::printf("%s\n", korvan::summary.c_str());
    return result;
}
