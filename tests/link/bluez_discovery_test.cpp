// Discovery against python3-dbusmock's BlueZ template on a private bus: never the
// machine's system bus.
#include "platform/bluez_discovery.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <filesystem>
#include <fstream>
#include <thread>

#include "link/bt_transport.h"
#include "platform/posix_serial_port.h"
#include "tests/link/pty_pair.h"

extern char** environ;

namespace korvan {
namespace {

namespace fs = std::filesystem;

pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> envStrings(extraEnv);
    for (char** e = environ; *e; ++e) envStrings.emplace_back(*e);
    std::vector<char*> envp;
    for (std::string& e : envStrings) envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0) return -1;
    return pid;
}

void Stop(pid_t& pid) {
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    pid = -1;
}

template <typename Ready>
bool WaitFor(Ready ready, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!ready()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

class BluezDiscoveryTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir = fs::temp_directory_path() / ("korvan-bluez-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        const fs::path socket = dir / "bus";
        address = "unix:path=" + socket.string();
        std::ofstream(dir / "bus.conf")
            << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration "
               "1.0//EN\"\n"
               " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
               "<busconfig>\n  <type>system</type>\n  <listen>"
            << address
            << "</listen>\n"
               "  <auth>EXTERNAL</auth>\n"
               "  <policy context=\"default\">\n"
               "    <allow user=\"*\"/>\n    <allow own=\"*\"/>\n"
               "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
               "    <allow receive_sender=\"*\"/>\n  </policy>\n</busconfig>\n";
        daemon = Spawn({KORVAN_DBUS_DAEMON, "--nofork", "--nopidfile",
                        "--config-file=" + (dir / "bus.conf").string()},
                       {});
        WaitFor([&] { return fs::exists(socket); }, std::chrono::seconds(5));
    }
    static void TearDownTestSuite() {
        QDBusConnection::disconnectFromBus(QStringLiteral("korvan-test-control"));
        Stop(daemon);
        fs::remove_all(dir);
    }

    void SetUp() override {
        if (std::string(KORVAN_DBUSMOCK_PYTHON).empty())
            GTEST_SKIP() << "no python3 with the dbusmock module";
        ASSERT_GT(daemon, 0);
        // The bus's socket file exists from its bind; it accepts only once it listens.
        WaitFor(
            [&] {
                QDBusConnection::disconnectFromBus(QStringLiteral("korvan-test-control"));
                control = QDBusConnection::connectToBus(QString::fromStdString(address),
                                                        QStringLiteral("korvan-test-control"));
                return control.isConnected();
            },
            std::chrono::seconds(5));
        ASSERT_TRUE(control.isConnected()) << control.lastError().message().toStdString();
        mock = Spawn({KORVAN_DBUSMOCK_PYTHON, "-m", "dbusmock", "--system", "--template", "bluez5"},
                     {"DBUS_SYSTEM_BUS_ADDRESS=" + address});
        ASSERT_GT(mock, 0);
        ASSERT_TRUE(WaitFor(
            [&] {
                return control.interface()
                    ->isServiceRegistered(QStringLiteral("org.bluez"))
                    .value();
            },
            std::chrono::seconds(10)));
        tty = dir / "tty";
        dev = dir / "dev";
        fs::create_directories(tty);
        fs::create_directories(dev);
    }
    void TearDown() override {
        Stop(mock);
        if (control.isConnected())
            WaitFor(
                [&] {
                    return !control.interface()
                                ->isServiceRegistered(QStringLiteral("org.bluez"))
                                .value();
                },
                std::chrono::seconds(5));
        fs::remove_all(tty);
        fs::remove_all(dev);
    }

    void Mock(const QString& method, const QVariantList& args) {
        QDBusMessage call =
            QDBusMessage::createMethodCall(QStringLiteral("org.bluez"), QStringLiteral("/"),
                                           QStringLiteral("org.bluez.Mock"), method);
        call.setArguments(args);
        const QDBusMessage reply = control.call(call);
        ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    }
    void Adapter(const QString& name) {
        Mock(QStringLiteral("AddAdapter"), {name, QStringLiteral("boat-pc")});
    }
    void Paired(const QString& adapter, const QString& addr, const QString& name) {
        Mock(QStringLiteral("AddDevice"), {adapter, addr, name});
        Mock(QStringLiteral("PairDevice"), {adapter, addr, 0});
    }
    std::string Connect() {
        BluezDiscovery discovery(address, tty.string(), dev.string());
        PosixSerialPort port;
        BtTransport bt(port, discovery);
        connected = bt.BtConnect();
        return bt.BtStatusText;
    }

    static inline fs::path dir;
    static inline std::string address;
    static inline pid_t daemon = -1;
    pid_t mock = -1;
    QDBusConnection control{QString()};
    fs::path tty, dev;
    bool connected = false;

    const std::string notPaired =
        "This computer has not been paired to KORVAN KX4; run discovery and pairing, and restart "
        "application";
    const std::string info =
        "Remote device info:\rName=KORVAN-III\rAddress=001A7DDA7113\rClass=0\rConnected=False\r"
        "Remembered=True\rPaired=True";
};

TEST_F(BluezDiscoveryTest, NoRadio) {
    EXPECT_EQ(
        Connect(),
        "This computer is not Bluetooth capable; install Bluetooth hardware, pair to Linkmate, "
        "and restart application");
    EXPECT_FALSE(connected);
}

TEST_F(BluezDiscoveryTest, RadioWithoutThePairedSystem) {
    Adapter(QStringLiteral("hci0"));
    EXPECT_EQ(Connect(), notPaired);
    Paired(QStringLiteral("hci0"), QStringLiteral("11:22:33:44:55:66"), QStringLiteral("Phone"));
    // Letter case counts, and a device that is known but not paired is not remembered.
    Paired(QStringLiteral("hci0"), QStringLiteral("00:1A:7D:DA:71:14"),
           QStringLiteral("korvan-iii"));
    Mock(QStringLiteral("AddDevice"), {QStringLiteral("hci0"), QStringLiteral("00:1A:7D:DA:71:13"),
                                       QStringLiteral("KORVAN-III")});
    EXPECT_EQ(Connect(), notPaired);
    EXPECT_FALSE(connected);
}

TEST_F(BluezDiscoveryTest, PairedWithoutPort) {
    Adapter(QStringLiteral("hci0"));
    Paired(QStringLiteral("hci0"), QStringLiteral("00:1A:7D:DA:71:13"),
           QStringLiteral("KORVAN-III"));
    // An RFCOMM port bound to another device does not count.
    fs::create_directories(tty / "rfcomm0");
    std::ofstream(tty / "rfcomm0" / "address") << "00:1a:7d:da:71:99\n";
    EXPECT_EQ(Connect(), "Close application, pair to KORVAN KX4, and restart application\r" + info);
    EXPECT_FALSE(connected);
}

TEST_F(BluezDiscoveryTest, PortFoundOnTheSecondRadio) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    Adapter(QStringLiteral("hci0"));
    Adapter(QStringLiteral("hci1"));
    Paired(QStringLiteral("hci1"), QStringLiteral("00:1A:7D:DA:71:13"),
           QStringLiteral("KORVAN-III"));
    fs::create_directories(tty / "rfcomm1");
    std::ofstream(tty / "rfcomm1" / "address") << "00:1a:7d:da:71:13\n";
    fs::create_symlink(pty.SlavePath(), dev / "rfcomm1");
    const std::string port = (dev / "rfcomm1").string();
    EXPECT_EQ(Connect(), "Connection to KORVAN KX4 created\r" + info + "\rPort= " + port);
    EXPECT_TRUE(connected);

    BluezDiscovery discovery(address, tty.string(), dev.string());
    EXPECT_EQ(discovery.RadioCount(), 2);
    EXPECT_TRUE(discovery.RememberedDevices(0).empty());
    EXPECT_EQ(discovery.RememberedDevices(1).size(), 1u);
    EXPECT_TRUE(discovery.RememberedDevices(2).empty());
}

TEST_F(BluezDiscoveryTest, PairingMadeWhileTheToolRunsIsSeenAtTheNextConnect) {
    BluezDiscovery discovery(address, tty.string(), dev.string());
    PosixSerialPort port;
    BtTransport bt(port, discovery);
    EXPECT_FALSE(bt.BtConnect());
    Adapter(QStringLiteral("hci0"));
    EXPECT_FALSE(bt.BtConnect());
    EXPECT_EQ(bt.BtStatusText, notPaired);
    Paired(QStringLiteral("hci0"), QStringLiteral("00:1A:7D:DA:71:13"),
           QStringLiteral("KORVAN-III"));
    EXPECT_FALSE(bt.BtConnect());
    EXPECT_EQ(bt.BtStatusText,
              "Close application, pair to KORVAN KX4, and restart application\r" + info);
}

TEST(LinkBluezAddress, ParseBluetoothAddress) {
    std::array<uint8_t, 6> a{};
    EXPECT_TRUE(ParseBluetoothAddress("00:1A:7d:DA:71:13", a));
    EXPECT_EQ(a, (std::array<uint8_t, 6>{0x00, 0x1A, 0x7D, 0xDA, 0x71, 0x13}));
    EXPECT_FALSE(ParseBluetoothAddress("00:1A:7D:DA:71", a));
    EXPECT_FALSE(ParseBluetoothAddress("00:1A:7D:DA:71:13:55", a));
    EXPECT_FALSE(ParseBluetoothAddress("", a));
}

TEST(LinkBluezAddress, UnreachableBusMeansNoRadio) {
    BluezDiscovery discovery("unix:path=/nonexistent/korvan-bus");
    EXPECT_EQ(discovery.RadioCount(), 0);
    EXPECT_TRUE(discovery.RememberedDevices(0).empty());
}

}  // namespace
}  // namespace korvan
