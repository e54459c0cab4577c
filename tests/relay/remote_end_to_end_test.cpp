// Remote support end to end on loopback: a customer's window on the simulated
// system shares it through korvan-relay's server with a technician's window on
// "Remote via Internet". The timers' handlers are driven directly.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QTableView>
#include <QTimer>
#include <functional>

#include "app/support_panel.h"
#include "app/window_ui.h"
#include "display/outline_view.h"
#include "relay/http_relay.h"
#include "tests/app/app_fixture.h"
#include "tools/relay/relay_server.h"

namespace korvan {
namespace {

class RelayEndToEnd : public AppTest {
  protected:
    RelayEndToEnd() {
        EXPECT_TRUE(server.Listen("127.0.0.1", 0));
        const std::string domain = "127.0.0.1:" + std::to_string(server.Port());
        auto http = [](SessionSeams::RelayCue busy) {
            return std::make_unique<HttpRelayTransport>(std::move(busy));
        };

        WindowSeams seams = Seams();
        seams.MakeRelay = http;
        window = std::make_unique<TMainFormKX4>(seams);
        Quiet();
        ConnectUsb();
        W().Session().SetSupportDomain(domain);

        WindowSeams remoteSeams = Seams();
        remoteSeams.Hid = &supportHid;  // a system of its own that it never talks to
        remoteSeams.Wait = &supportWaiter;
        remoteSeams.Dialogs = &supportDialogs;
        remoteSeams.MakeRelay = http;
        support = std::make_unique<TMainFormKX4>(remoteSeams);
        QuietBoth();
        S().Session().SetSupportDomain(domain);
    }
    ~RelayEndToEnd() override { support.reset(); }

    TMainFormKX4& S() { return *support; }
    void QuietBoth() {
        Quiet();
        for (QTimer* timer : {S().Ui().USBTimer, S().Ui().BTTimer, S().Ui().INETTimer})
            timer->stop();
        Settle();
        Settle(S());
    }
    void CustomerTick() {
        W().USBTimerTimer();
        Settle();
        W().INETTimerTimer();
        QuietBoth();
    }
    void SupportTick() {
        S().INETTimerTimer();
        QuietBoth();
    }
    // Alternating ticks of both sides until done() holds.
    bool Rounds(const std::function<bool()>& done, int most = 8) {
        for (int round = 0; round < most; ++round) {
            CustomerTick();
            if (done()) return true;
            SupportTick();
            if (done()) return true;
        }
        return false;
    }
    std::string Panel(TMainFormKX4& w) { return w.Ui().MessagePanel->text().toStdString(); }
    // The session's line in the status bar, which the "Support" panel shows too.
    QString SessionLine(TMainFormKX4& w) {
        const QString bar = w.findChild<QLabel*>(QStringLiteral("SupportSessionState"))->text();
        EXPECT_EQ(bar.isEmpty() ? QStringLiteral("No support session") : bar,
                  w.Ui().Support->Session->text());
        return bar;
    }
    // The technician makes a session and the customer joins it.
    void StartSession() {
        S().NewSupportSessionClick();
        QuietBoth();
        ASSERT_EQ(supportDialogs.SessionCodes.size(), 1u);
        dialogs.Inputs = {supportDialogs.SessionCodes[0]};
        W().JoinSupportSessionClick();
        QuietBoth();
        ASSERT_TRUE(S().Ui().RemoteViaInternetToProvideSupport->isChecked());
        ASSERT_TRUE(W().Ui().ShareDataWithSupport->isChecked());
    }

    RelayServer server;
    KorvanSimulator otherSystem;
    SimHidDevices supportHid{otherSystem};
    RecordingWaiter supportWaiter;
    ScriptedDialogs supportDialogs;
    std::unique_ptr<TMainFormKX4> support;
};

TEST_F(RelayEndToEnd, TechnicianWatchesReadsWritesAndChats) {
    S().Ui().RemoteViaInternetToProvideSupport->trigger();
    SupportTick();
    EXPECT_EQ(S().windowTitle().toStdString(),
              S().Flags().ApplicationTitle.toStdString() + " - remote Internet connection");
    W().Ui().ShareDataWithSupport->trigger();
    QuietBoth();
    ASSERT_TRUE(W().Ui().ShareDataWithSupport->isChecked());

    // The customer's live state appears in the technician's tables and outline.
    ASSERT_TRUE(Rounds([&] { return S().Records().ControlState.ConnectedModules != 0; }));
    SupportTick();
    EXPECT_EQ(S().Records().ControlState.ConnectedModules,
              W().Records().ControlState.ConnectedModules);
    for (ModuleId module : AllModules) {
        QTableView* grid = S().Ui().Module(module).StateStringGrid;
        EXPECT_TRUE(NoneEmpty(grid));
        EXPECT_EQ(Values(grid), Values(W().Ui().Module(module).StateStringGrid));
    }
    EXPECT_EQ(S().Ui().Outline->VoltageGauge.ValueText, W().Ui().Outline->VoltageGauge.ValueText);
    EXPECT_EQ(S().Ui().Outline->SocGauge.ValueText, W().Ui().Outline->SocGauge.ValueText);
    EXPECT_EQ(S().Ui().Outline->ChargeModeLabel->text(), W().Ui().Outline->ChargeModeLabel->text());

    // A read of all settings on the support side brings the customer's settings.
    S().ReadAllSettingsFromSystemClick();
    QuietBoth();
    ASSERT_TRUE(Rounds([&] {
        return Panel(S()) == " CLIENT sent settings: received 224 bytes (must be 224 bytes)";
    }));
    EXPECT_TRUE(S().Flags().SettingsLoaded);
    Rounds([] { return false; }, 2);  // later ticks do not count the bytes again
    EXPECT_EQ(Panel(S()), " CLIENT sent settings: received 224 bytes (must be 224 bytes)");
    EXPECT_EQ(Values(S().Ui().ControlBoxSettingsStringGrid()),
              Values(W().Ui().ControlBoxSettingsStringGrid()));
    EXPECT_EQ(Values(S().Ui().BatteryBoxSettingsStringGrid()),
              Values(W().Ui().BatteryBoxSettingsStringGrid()));
    EXPECT_EQ(S().Ui().PIComboBox->currentIndex(), simulator.Settings().Control.ProfileIndex);

    // The technician picks another charge profile and writes: it reaches the system.
    const int profile = (simulator.Settings().Control.ProfileIndex + 1) % 8;
    S().Ui().PIComboBox->setCurrentIndex(profile);
    dialogs.SettingsAnswers = {true};  // the owner agrees
    S().WriteAllSettingsToSystemClick();
    QuietBoth();
    ASSERT_TRUE(Rounds([&] { return simulator.Settings().Control.ProfileIndex == profile; }));
    ASSERT_EQ(dialogs.SettingsQuestions.size(), 1u);
    EXPECT_EQ(Panel(W()), " SUPPORT sent new settings: received 224 bytes (must be 224 bytes)");
    EXPECT_EQ(W().Ui().PIComboBox->currentIndex(), profile);
    // Everything else the technician sent arrived as sent, and the technician hears so.
    SystemData sent = S().Records();
    EXPECT_EQ(simulator.SettingsImage(), BuildSettingsImage(sent));
    ASSERT_TRUE(
        Rounds([&] { return SessionLine(S()).endsWith("settings sent: written and read back"); }));

    // A chat each way.
    supportDialogs.Inputs = {QString::fromUtf8("Charging at 14,4 V \xC2\xB0")};
    S().SendChatMessageClick();
    QuietBoth();
    ASSERT_TRUE(
        Rounds([&] { return Panel(W()) == " Message from SUPPORT: Charging at 14,4 V \xC2\xB0"; }));
    dialogs.Inputs = {QStringLiteral("Thanks!")};
    W().SendChatMessageClick();
    QuietBoth();
    ASSERT_TRUE(Rounds([&] { return Panel(S()) == " Message from CLIENT: Thanks!"; }));

    EXPECT_TRUE(dialogs.Messages.empty());
    EXPECT_TRUE(supportDialogs.Messages.empty());
    EXPECT_TRUE(W().Ui().ShareDataWithSupport->isChecked());
    EXPECT_TRUE(S().Ui().RemoteViaInternetToProvideSupport->isChecked());
}

TEST_F(RelayEndToEnd, WithoutARelayTheTechnicianFallsBackToUsb) {
    S().Session().SetSupportDomain("127.0.0.1:1");
    S().Ui().RemoteViaInternetToProvideSupport->trigger();
    SupportTick();
    ASSERT_EQ(supportDialogs.Messages.size(), 1u);
    EXPECT_EQ(supportDialogs.Messages[0].Text.toStdString(),
              "Internet Connection: Connection refused");
    EXPECT_TRUE(S().Ui().ConnectionUSB->isChecked());
    SupportTick();
    EXPECT_EQ(supportDialogs.Messages.size(), 1u);
}

// The owner refuses: the system keeps its settings and the technician reads why.
TEST_F(RelayEndToEnd, TheOwnerRefusesSettingsFromSupport) {
    StartSession();
    EXPECT_EQ(W().Remote().State.SupportDomain, S().Remote().State.SupportDomain);
    ASSERT_TRUE(Rounds([&] { return S().Records().ControlState.ConnectedModules != 0; }));

    S().ReadAllSettingsFromSystemClick();
    QuietBoth();
    ASSERT_TRUE(Rounds([&] {
        return Panel(S()) == " CLIENT sent settings: received 224 bytes (must be 224 bytes)";
    }));
    const auto before = simulator.SettingsImage();
    const int profile = (simulator.Settings().Control.ProfileIndex + 1) % 8;
    S().Ui().PIComboBox->setCurrentIndex(profile);
    S().WriteAllSettingsToSystemClick();
    QuietBoth();
    ASSERT_TRUE(Rounds([&] {
        return S().Ui().Support->Lines().join('\n').contains(
            "CLIENT: Settings refused by the customer");
    }));
    ASSERT_EQ(dialogs.SettingsQuestions.size(), 1u);
    bool profileRow = false;
    for (const SettingsChangeRow& row : dialogs.SettingsQuestions[0])
        profileRow |= row.Field == "Charging Profile" && row.Received == QString::number(profile);
    EXPECT_TRUE(profileRow);
    EXPECT_EQ(simulator.SettingsImage(), before);
    // Sharing goes on, and nobody is asked twice.
    Rounds([] { return false; }, 3);
    EXPECT_EQ(dialogs.SettingsQuestions.size(), 1u);
    EXPECT_TRUE(W().Ui().ShareDataWithSupport->isChecked());
    EXPECT_EQ(simulator.SettingsImage(), before);
    EXPECT_TRUE(
        W().Ui().Support->Lines().join('\n').contains("CLIENT: Settings refused by the customer"));
    EXPECT_TRUE(dialogs.Messages.empty());
    EXPECT_TRUE(supportDialogs.Messages.empty());
}

// Both sides show the code, the relay, "connected" and when the other was last
// seen; the customer's stop reaches the technician, and either side ends.
TEST_F(RelayEndToEnd, BothSidesSeeTheSessionAndEitherEndsIt) {
    StartSession();
    ASSERT_TRUE(Rounds([&] { return S().Records().ControlState.ConnectedModules != 0; }));
    CustomerTick();
    const QString head = "Support session " + supportDialogs.SessionCodes[0] +
                         " on 127.0.0.1:" + QString::number(server.Port()) + ": connected, ";
    EXPECT_TRUE(SessionLine(S()).startsWith(head + "customer last seen "));
    EXPECT_TRUE(SessionLine(W()).startsWith(head + "support last seen "));

    // The customer stops sharing: the technician is told, the values are marked old.
    W().Ui().ShareDataWithSupport->trigger();
    QuietBoth();
    EXPECT_EQ(SessionLine(W()), "");
    ASSERT_TRUE(Rounds([&] { return SessionLine(S()).endsWith("the customer stopped sharing"); }));
    EXPECT_EQ(S().Ui().ControlBoxStateStringGrid()->toolTip(), "The customer stopped sharing");
    EXPECT_EQ(S().Ui().Outline->ChargeModeLabel->text(), "The customer stopped sharing");
    EXPECT_EQ(S().Session().Events().back().Text, "The customer stopped sharing");
    W().Ui().ShareDataWithSupport->trigger();
    QuietBoth();
    ASSERT_TRUE(Rounds([&] { return SessionLine(S()).contains("connected, customer last seen"); }));
    EXPECT_EQ(S().Ui().ControlBoxStateStringGrid()->toolTip(), "");

    // The technician ends the session: the customer stops sharing, the code is dropped.
    S().EndSupportSessionClick();
    QuietBoth();
    EXPECT_TRUE(S().Ui().ConnectionUSB->isChecked());
    EXPECT_EQ(S().Remote().State.SupportDomain, "127.0.0.1:" + std::to_string(server.Port()));
    ASSERT_TRUE(Rounds([&] { return !W().Ui().ShareDataWithSupport->isChecked(); }));
    EXPECT_EQ(Panel(W()), " SUPPORT ended the session");
    EXPECT_EQ(SessionLine(S()), "");
}

// A relay that serves session codes only: "Remote via Internet" chosen first
// says what to do, and "New Support Session..." then starts the session.
TEST_F(RelayEndToEnd, ARelayOfSessionsOnlyTellsTheTechnicianWhatToDo) {
    RelayLimits limits;
    limits.DefaultSession = false;
    RelayServer sessionsOnly(limits);
    ASSERT_TRUE(sessionsOnly.Listen("127.0.0.1", 0));
    const std::string domain = "127.0.0.1:" + std::to_string(sessionsOnly.Port());
    S().Session().SetSupportDomain(domain);
    W().Session().SetSupportDomain(domain);
    S().Ui().RemoteViaInternetToProvideSupport->trigger();
    SupportTick();
    ASSERT_EQ(supportDialogs.Messages.size(), 1u);
    EXPECT_TRUE(supportDialogs.Messages[0].Text.contains("New Support Session..."));
    StartSession();
    ASSERT_TRUE(Rounds([&] { return S().Records().ControlState.ConnectedModules != 0; }));
    EXPECT_EQ(supportDialogs.Messages.size(), 1u);
    EXPECT_TRUE(dialogs.Messages.empty());
}

}  // namespace
}  // namespace korvan
