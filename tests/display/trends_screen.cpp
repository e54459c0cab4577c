// Feeds the trends page from the simulated system (state images decoded as a
// poll tick decodes them, a poll every 500 ms on a hand-driven clock, with a
// minute of lost link) and saves the page as a PNG file:
//   trends-screen <file.png> [minutes] [width height]
#include <QApplication>
#include <QPixmap>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "display/trends_view.h"
#include "link/protocol.h"
#include "sim/simulator.h"

using namespace korvan;
using namespace std::chrono_literals;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: trends-screen <file.png> [minutes] [width height]\n");
        return 2;
    }
    const int minutes = argc > 2 ? std::atoi(argv[2]) : 8;
    const int width = argc > 4 ? std::atoi(argv[3]) : 1280;
    const int height = argc > 4 ? std::atoi(argv[4]) : 860;

    std::chrono::milliseconds now{0};
    SimConfig config;
    config.TimeScale = 12;  // a few minutes on screen show the stages move on
    config.InitialSoc = 55;
    KorvanSimulator simulator(config, [&now] { return now; });
    SystemData data{};
    DecodeSettingsImage(simulator.SettingsImage().data(), data);

    HistoryRecorder history;
    const HistoryTime start = std::chrono::floor<std::chrono::milliseconds>(
        std::chrono::system_clock::now() - std::chrono::minutes(minutes));
    const int polls = minutes * 120;
    for (int n = 0; n < polls; ++n) {
        now += 500ms;
        const HistoryTime t = start + n * 500ms;
        // A minute with the link lost, two thirds of the way through.
        if (n >= polls * 2 / 3 && n < polls * 2 / 3 + 120) {
            if (n == polls * 2 / 3) history.MarkGap(t);
            continue;
        }
        DecodeStateImage(simulator.StateImage().data(), data);
        history.Record(t, data);
    }

    TrendsView view(history);
    // Shown first at the window's fixed size, then on the whole screen, as the
    // page is when it is chosen.
    view.resize(900, 560);
    view.show();
    QApplication::processEvents();
    view.resize(width, height);
    QApplication::processEvents();
    view.SetWindow(TrendsWindow::FiveMinutes);
    view.SetWindow(TrendsWindow::OneHour);
    view.Zoom(*history.LastPollTime(), double(minutes + 1) / 60);
    view.SetStale(*history.LastPollTime());
    view.ShowReadout(*history.LastPollTime() - std::chrono::minutes(minutes) / 2);
    QApplication::processEvents();
    return view.grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
