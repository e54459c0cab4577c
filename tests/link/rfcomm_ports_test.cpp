#include "platform/rfcomm_ports.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/link/pty_pair.h"

namespace korvan {
namespace {

namespace fs = std::filesystem;

// A temporary stand-in for /sys/class/tty and /dev.
class RfcommTree : public testing::Test {
  protected:
    void SetUp() override {
        root = fs::temp_directory_path() /
               ("korvan-tty-" + std::to_string(::getpid()) + "-" +
                testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root / "class");
        fs::create_directories(root / "dev");
        ASSERT_TRUE(pty.Ok());
    }
    void TearDown() override { fs::remove_all(root); }

    void Entry(const std::string& name, const std::string& address) {
        fs::create_directories(root / "class" / name);
        std::ofstream(root / "class" / name / "address") << address << "\n";
    }
    // A device node that is a character device (the pty's slave side).
    void SerialNode(const std::string& name) {
        fs::create_symlink(pty.SlavePath(), root / "dev" / name);
    }
    std::string Find(const std::string& address) {
        return FindRfcommPort(address, (root / "class").string(), (root / "dev").string());
    }

    fs::path root;
    PtyPair pty;
};

TEST_F(RfcommTree, MatchingEntryWithASerialNode) {
    Entry("rfcomm0", "11:22:33:44:55:66");
    SerialNode("rfcomm0");
    Entry("rfcomm1", "00:1a:7d:da:71:13");  // the kernel writes lower case
    SerialNode("rfcomm1");
    EXPECT_EQ(Find("001A7DDA7113"), (root / "dev" / "rfcomm1").string());
    EXPECT_EQ(Find("001A7DDA7199"), "");
}

TEST_F(RfcommTree, EntriesThatAreNoSerialPortAreSkipped) {
    Entry("ttyS0", "00:1A:7D:DA:71:13");  // not an RFCOMM entry
    SerialNode("ttyS0");
    Entry("rfcomm2", "00:1A:7D:DA:71:13");  // no device node at all
    Entry("rfcomm3", "00:1A:7D:DA:71:13");  // a plain file, no device
    std::ofstream(root / "dev" / "rfcomm3") << "x";
    Entry("rfcomm10", "00:1A:7D:DA:71:13");
    SerialNode("rfcomm10");
    Entry("rfcomm11", "00:1A:7D:DA:71:13");
    SerialNode("rfcomm11");
    // rfcomm10 comes after rfcomm2 and rfcomm3, and before rfcomm11.
    EXPECT_EQ(Find("001A7DDA7113"), (root / "dev" / "rfcomm10").string());
}

TEST_F(RfcommTree, MissingTreeOrEmptyAddress) {
    EXPECT_EQ(FindRfcommPort("001A7DDA7113", (root / "nothing").string(), (root / "dev").string()),
              "");
    Entry("rfcomm0", "");
    SerialNode("rfcomm0");
    EXPECT_EQ(Find(""), "");
}

}  // namespace
}  // namespace korvan
