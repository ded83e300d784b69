#include "serial/port_resolver.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "serial/port_discovery.h"

namespace tally {
namespace {

namespace fs = std::filesystem;

// A private program folder, /dev and /sys/class/tty under one temporary root.
class PortTree : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ =
            fs::temp_directory_path() / ("tally-ports-" + std::to_string(std::random_device{}()));
        fs::create_directories(root_ / "app");
        fs::create_directories(root_ / "dev");
        fs::create_directories(root_ / "sys");
        env_.appDir = root_ / "app";
        env_.devDir = root_ / "dev";
        env_.sysTtyDir = root_ / "sys";
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    std::string Dev(const std::string& name) { return (root_ / "dev" / name).string(); }
    void AddDevice(const std::string& name) { std::ofstream(root_ / "dev" / name).put('\0'); }
    // A ttyS port whose sysfs type is `type` (0 is the 8250 driver's empty slot).
    void AddUart(const std::string& name, int type) {
        AddDevice(name);
        fs::create_directories(root_ / "sys" / name);
        std::ofstream(root_ / "sys" / name / "type") << type << '\n';
    }
    void Link(int n, const fs::path& target) {
        fs::create_symlink(target, root_ / "app" / ("COM" + std::to_string(n)));
    }

    fs::path root_;
    PortEnvironment env_;
};

TEST_F(PortTree, SystemDevicesComeUsbThenAcmThenUartsInNumericOrder) {
    for (const char* name : {"ttyS0", "ttyUSB10", "ttyACM1", "ttyUSB2", "ttyACM0"})
        AddDevice(name);
    AddUart("ttyS0", 4);
    AddUart("ttyS12", 4);
    AddUart("ttyS3", 4);
    EXPECT_EQ(
        SystemSerialDevices(env_),
        (std::vector<std::string>{Dev("ttyUSB2"), Dev("ttyUSB10"), Dev("ttyACM0"), Dev("ttyACM1"),
                                  Dev("ttyS0"), Dev("ttyS3"), Dev("ttyS12")}));
}

TEST_F(PortTree, UartSlotsWithoutHardwareAndUnrelatedNamesAreSkipped) {
    AddUart("ttyS0", 0);  // 8250 placeholder: PORT_UNKNOWN
    AddDevice("ttyS1");   // no sysfs entry at all
    AddUart("ttyS2", 4);
    for (const char* name : {"tty0", "ttyUSB", "ttyUSBx", "ttyACM-1", "ttyS2a", "console"})
        AddDevice(name);
    fs::create_directories(env_.sysTtyDir / "ttyS3");
    std::ofstream(env_.sysTtyDir / "ttyS3" / "type") << "garbage";
    AddDevice("ttyS3");
    EXPECT_EQ(SystemSerialDevices(env_), std::vector<std::string>{Dev("ttyS2")});
}

TEST_F(PortTree, SingleUsbAdapterIsPortOneWithoutSetUp) {
    AddUart("ttyS0", 4);
    AddDevice("ttyUSB0");
    EXPECT_EQ(ResolvePort(1, env_), Dev("ttyUSB0"));
    EXPECT_EQ(ResolvePort(2, env_), Dev("ttyS0"));
    EXPECT_EQ(ResolvePort(3, env_), "");
    EXPECT_EQ(ResolvePortDetails(1, env_).description, Dev("ttyUSB0") + " (1st serial device)");
    EXPECT_EQ(ResolvePortDetails(2, env_).description, Dev("ttyS0") + " (2nd serial device)");
    EXPECT_EQ(ResolvePortDetails(3, env_).description, "no device for port 3");
}

TEST_F(PortTree, ComLinkInProgramFolderWinsOverPosition) {
    AddDevice("ttyUSB0");
    AddDevice("ttyUSB1");
    Link(1, root_ / "dev" / "ttyUSB1");
    const ResolvedPort port = ResolvePortDetails(1, env_);
    EXPECT_EQ(port.device, fs::canonical(Dev("ttyUSB1")).string());
    EXPECT_TRUE(port.present);
    EXPECT_EQ(port.description, "COM1 \u2192 " + port.device + " (link in the program folder)");
    // Other numbers keep counting system devices from the first.
    EXPECT_EQ(ResolvePort(2, env_), Dev("ttyUSB1"));
}

TEST_F(PortTree, RelativeLinkResolvesAgainstProgramFolder) {
    AddDevice("ttyACM0");
    Link(4, fs::path("..") / "dev" / "ttyACM0");
    EXPECT_EQ(ResolvePort(4, env_), fs::canonical(Dev("ttyACM0")).string());
}

TEST_F(PortTree, DanglingLinkStillNamesItsTargetButIsNotPresent) {
    AddDevice("ttyUSB0");
    Link(1, "/dev/pts/does-not-exist");
    const ResolvedPort port = ResolvePortDetails(1, env_);
    // Falling back to ttyUSB0 would quietly talk to another device.
    EXPECT_EQ(port.device, "/dev/pts/does-not-exist");
    EXPECT_FALSE(port.present);
    EXPECT_NE(port.description.find("missing"), std::string::npos);
}

TEST_F(PortTree, NumbersOutsideOneToSixteenResolveToNothing) {
    for (int i = 0; i < 20; ++i)
        AddDevice("ttyUSB" + std::to_string(i));
    EXPECT_EQ(ResolvePort(0, env_), "");
    EXPECT_EQ(ResolvePort(-1, env_), "");
    EXPECT_EQ(ResolvePort(16, env_), Dev("ttyUSB15"));
    EXPECT_EQ(ResolvePort(17, env_), "");
}

TEST_F(PortTree, TooltipCountsDevicesInPlainEnglish) {
    for (int i = 0; i < 16; ++i)
        AddDevice("ttyUSB" + std::to_string(i));
    const std::pair<int, const char*> cases[] = {
        {3, "3rd"}, {4, "4th"}, {11, "11th"}, {12, "12th"}, {13, "13th"}};
    for (const auto& [n, ordinal] : cases) {
        EXPECT_EQ(ResolvePortDetails(n, env_).description,
                  Dev("ttyUSB" + std::to_string(n - 1)) + " (" + ordinal + " serial device)");
    }
}

TEST_F(PortTree, MissingFoldersResolveToNothingWithoutThrowing) {
    env_.appDir = root_ / "nowhere";
    env_.devDir = root_ / "nowhere";
    env_.sysTtyDir = root_ / "nowhere";
    EXPECT_EQ(ResolvePort(1, env_), "");
    EXPECT_TRUE(ListPortNumbers(env_).empty());
}

TEST_F(PortTree, ListingHasOnePerExistingDeviceUpToNine) {
    for (int i = 0; i < 12; ++i)
        AddDevice("ttyUSB" + std::to_string(i));
    EXPECT_EQ(ListPortNumbers(env_), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
}

TEST_F(PortTree, ListingLeavesOutDanglingLinksAndKeepsLinksBeyondTheDevices) {
    AddDevice("ttyUSB0");
    Link(3, "/dev/pts/does-not-exist");
    Link(5, root_ / "dev" / "ttyUSB0");
    Link(12, root_ / "dev" / "ttyUSB0");  // typed only, never listed
    EXPECT_EQ(ListPortNumbers(env_), (std::vector<int>{1, 5}));
}

TEST_F(PortTree, ListingKeepsDevicesNobodyMayOpen) {
    AddDevice("ttyUSB0");
    // Probing never opens, so a device without permissions (or held elsewhere) still counts.
    fs::permissions(root_ / "dev" / "ttyUSB0", fs::perms::none);
    EXPECT_EQ(ListPortNumbers(env_), std::vector<int>{1});
}

}  // namespace
}  // namespace tally
