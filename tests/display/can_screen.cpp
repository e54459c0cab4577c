// Not a test: the NMEA-2000 page fed from the simulated bus, with the decoded
// view filtered and a frame selected, saved as a picture for a person to look at:
//   can-screen <file.png> [filter]
#include <QApplication>
#include <QLineEdit>
#include <QTableView>
#include <cstdio>

#include "display/can_decoded_view.h"
#include "display/can_frame_model.h"
#include "display/can_monitor.h"
#include "sim/can_traffic.h"
#include "sim/live_system.h"

using namespace korvan;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: can-screen <file.png> [filter]\n");
        return 2;
    }
    SimSettings settings = DefaultSimSettings();
    const SimConfig config;  // the live system keeps a reference to it
    LiveSystem live(config);
    CanTraffic traffic;

    CanMonitor monitor;
    monitor.resize(1280, 720);
    monitor.show();
    for (int i = 0; i < 300; ++i) {
        live.Advance(1.0, settings);
        DeviceReport answer{};
        traffic.Fill(answer, live);
        monitor.AddFrameRecords(answer.data());
    }
    CanDecodedView* view = monitor.DecodedView;
    view->PgnFilterEdit->setText(QString::fromLocal8Bit(argc > 2 ? argv[2] : "Battery"));
    const int rows = view->Model()->rowCount();
    if (rows > 0) view->FrameTable->selectRow(rows - 1);
    app.processEvents();
    return monitor.grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
