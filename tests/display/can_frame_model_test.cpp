// The decoded view's model: filters over the captured frames, the bounded ring,
// the sources seen.
#include "display/can_frame_model.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QListWidget>
#include <QSignalSpy>
#include <QTableView>
#include <QTableWidget>
#include <set>

#include "display/can_decoded_view.h"
#include "display/can_monitor.h"
#include "n2k/identifier.h"
#include "tests/n2k/sim_bus.h"

namespace korvan {
namespace {

// The simulated bus's records of `polls` polls.
std::vector<CanFrameRecord> SimRecords(int polls) { return n2k::SimulatedBusRecords(polls, 1.0); }

std::set<QString> Column(const CanFrameModel& m, int column) {
    std::set<QString> values;
    for (int r = 0; r < m.rowCount(); ++r) values.insert(m.index(r, column).data().toString());
    return values;
}

TEST(CanFrameModel, FiltersApplyToEveryCapturedFrame) {
    const auto records = SimRecords(200);
    CanFrameModel model;
    for (size_t i = 0; i < records.size(); ++i) model.AddRecord(records[i], int(i));
    ASSERT_EQ(size_t(model.rowCount()), records.size());

    struct Case {
        CanFrameFilter Filter;
        std::set<QString> Pgns;  // the PGN column of the rows let through
    };
    const std::vector<Case> cases = {
        {{QStringLiteral("127508"), -1, false}, {QStringLiteral("127508")}},
        {{QStringLiteral(" battery "), -1, false}, {QStringLiteral("127508")}},
        {{QStringLiteral("engine parameters"), -1, false},
         {QStringLiteral("127488"), QStringLiteral("127489")}},
        {{QString(), 0x24, false},
         {QStringLiteral("127508"), QStringLiteral("127506"), QStringLiteral("130312")}},
        {{QStringLiteral("status"), 0x23, true}, {QStringLiteral("127507")}},
        {{QStringLiteral("no such name"), -1, false}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Filter.Pgn.toStdString() + " source " + std::to_string(c.Filter.Source));
        model.SetFilter(c.Filter);
        EXPECT_EQ(Column(model, CanFrameModel::PgnColumn), c.Pgns);
        if (c.Filter.Source >= 0) {
            EXPECT_EQ(Column(model, CanFrameModel::SourceColumn),
                      std::set{QString::number(c.Filter.Source)});
        }
    }
    // "NMEA 2000 only" hides the error and 11-bit frames, which have no PGN.
    model.SetFilter({});
    EXPECT_TRUE(Column(model, CanFrameModel::PgnColumn).count(QString()));
    model.SetFilter({QString(), -1, true});
    EXPECT_FALSE(Column(model, CanFrameModel::PgnColumn).count(QString()));
    // New frames meet the filter in force.
    model.SetFilter({QStringLiteral("127508"), -1, false});
    const int before = model.rowCount();
    for (const CanFrameRecord& r : SimRecords(20)) model.AddRecord(r, 0);
    EXPECT_GT(model.rowCount(), before);
    EXPECT_EQ(Column(model, CanFrameModel::PgnColumn), std::set{QStringLiteral("127508")});
    // The fields of a shown frame.
    const auto fields = model.Fields(0);
    ASSERT_EQ(fields.size(), 5u);
    EXPECT_STREQ(fields[1].Def->Name, "Voltage");
    EXPECT_EQ(fields[1].State, n2k::FieldState::Value);
}

TEST(CanFrameModel, KeepsABoundedRingAndTheSourcesWithTheirNames) {
    CanFrameModel model;
    QSignalSpy sources(&model, &CanFrameModel::SourcesChanged);
    const auto records = SimRecords(400);
    ASSERT_GT(records.size(), CanFrameModel::MaxFrames / 40);
    // Enough frames to go round the ring, with a filter showing some of them.
    model.SetFilter({QStringLiteral("127508"), -1, false});
    size_t added = 0;
    while (added < CanFrameModel::MaxFrames + 500)
        for (const CanFrameRecord& r : records) model.AddRecord(r, int(added++));
    const size_t kept = model.CapturedCount();
    EXPECT_LE(kept, CanFrameModel::MaxFrames);
    EXPECT_GT(kept, CanFrameModel::MaxFrames - CanFrameModel::DropCount);
    // The rows shown while the oldest frames went are those the filter finds again.
    const int shown = model.rowCount();
    model.SetFilter({QStringLiteral("127508"), -1, false});
    EXPECT_EQ(model.rowCount(), shown);
    model.SetFilter({});
    EXPECT_EQ(size_t(model.rowCount()), kept);
    // The oldest frames went first: the first row is not the first frame added.
    EXPECT_NE(model.index(0, CanFrameModel::TimeColumn).data().toString(),
              QStringLiteral("00:00:00.000"));

    const auto& seen = model.Sources();
    ASSERT_TRUE(seen.count(0x23));
    EXPECT_EQ(seen.at(0x23).Name, QStringLiteral("KORVAN KX4 Control Box"));
    EXPECT_TRUE(seen.count(0x24));
    EXPECT_TRUE(seen.at(0x24).Name.isEmpty());
    EXPECT_GT(sources.count(), 0);
    model.Clear();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_TRUE(model.Sources().empty());
}

}  // namespace
}  // namespace korvan

namespace korvan {
namespace {

// The page feeds its decoded view with the records its text list shows; the
// view's controls set the model's filter; "Clear" empties both.
TEST(CanDecodedView, FollowsThePageAndItsControls) {
    CanMonitor monitor;
    const auto records = SimRecords(60);
    for (size_t i = 0; i + 1 < records.size(); i += 2) {
        std::array<uint8_t, 64> answer{};
        for (size_t k = 0; k < 2; ++k) {
            const CanFrameRecord& r = records[i + k];
            uint8_t* p = answer.data() + CanFrameRecordOffsets[k];
            p[0] = r.Kind;
            for (int b = 0; b < 4; ++b) p[4 + b] = uint8_t(r.Identifier >> (8 * b));
            p[8] = r.DataLength;
            std::copy(r.Data.begin(), r.Data.end(), p + 9);
        }
        monitor.AddFrameRecords(answer.data());
    }
    CanDecodedView* view = monitor.DecodedView;
    EXPECT_EQ(view->Model()->rowCount(), monitor.Lines().size());
    view->PgnFilterEdit->setText(QStringLiteral("charger"));
    EXPECT_GT(view->Model()->rowCount(), 0);
    EXPECT_EQ(Column(*view->Model(), CanFrameModel::NameColumn),
              std::set{QStringLiteral("Charger Status")});
    view->FrameTable->selectRow(0);
    EXPECT_EQ(view->FieldTable->item(2, 0)->text(), QStringLiteral("Operating State"));
    view->PgnFilterEdit->clear();
    // The sources list filters by source.
    const auto items =
        view->SourceList->findItems(QStringLiteral("36 (0x24)"), Qt::MatchStartsWith);
    ASSERT_EQ(items.size(), 1);
    view->SourceList->setCurrentItem(items[0]);
    EXPECT_EQ(Column(*view->Model(), CanFrameModel::SourceColumn), std::set{QStringLiteral("36")});
    monitor.ClearAllLinesClick();
    EXPECT_EQ(view->Model()->rowCount(), 0);
    EXPECT_TRUE(monitor.Lines().isEmpty());
}

}  // namespace
}  // namespace korvan
