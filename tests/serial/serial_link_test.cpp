#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDeadlineTimer>

#include <fstream>
#include <functional>
#include <random>
#include <utility>

#include "serial/line_speed.h"
#include "serial/port_description.h"
#include "serial/port_discovery.h"
#include "serial/port_resolver.h"
#include "serial/posix_serial_port.h"

namespace tally {
namespace {

namespace fs = std::filesystem;

constexpr int kDeadlineMs = 3000;  // only stops a hang: every wait ends once its condition holds

template <typename Call>
std::string ErrorOf(Call call, int ms = 0) {  // why `call` throws within `ms`, or ""
    for (QDeadlineTimer deadline(ms);;) {
        try {
            call();
        } catch (const SerialError& e) {
            return e.what();
        }
        if (deadline.hasExpired()) return "";
    }
}

class PortTree : public ::testing::Test {  // program folder, /dev, /sys/class/tty in a temp dir
  protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("tally-" + std::to_string(std::random_device{}()));
        env_ = {root_ / "app", root_ / "dev", root_ / "sys", root_ / "config"};
        for (const fs::path& dir : {env_.appDir, env_.devDir, env_.sysTtyDir, env_.configDir})
            fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(root_); }
    std::string Dev(const std::string& name) { return (root_ / "dev" / name).string(); }
    // With `type`, UARTs whose sysfs type reads so ("0" is the 8250 driver's empty slot).
    void AddDevices(const std::vector<std::string>& names, const char* type = nullptr) {
        for (const std::string& name : names) {
            std::ofstream(root_ / "dev" / name).put('\0');
            if (!type) continue;
            fs::create_directories(root_ / "sys" / name);
            std::ofstream(root_ / "sys" / name / "type") << type << '\n';
        }
    }
    void Link(int n, const fs::path& target) {
        fs::remove(env_.appDir / ("COM" + std::to_string(n)));
        if (!target.empty()) fs::create_symlink(target, env_.appDir / ("COM" + std::to_string(n)));
    }

    fs::path root_;
    PortEnvironment env_;
};

TEST_F(PortTree, SystemDevicesComeUsbThenAcmThenUartsWithHardwareInNumericOrder) {
    // ttyS1 has no sysfs entry; the other names are no serial devices of ours.
    AddDevices({"ttyUSB10", "ttyACM1", "ttyUSB2", "ttyACM0", "ttyS1", "tty0", "ttyUSB", "ttyUSBx",
                "ttyACM-1", "ttyS2a", "console"});
    AddDevices({"ttyS0", "ttyS12", "ttyS3"}, "4");
    AddDevices({"ttyS4"}, "0");
    AddDevices({"ttyS5"}, "garbage");
    EXPECT_EQ(
        SystemSerialDevices(env_),
        (std::vector<std::string>{Dev("ttyUSB2"), Dev("ttyUSB10"), Dev("ttyACM0"), Dev("ttyACM1"),
                                  Dev("ttyS0"), Dev("ttyS3"), Dev("ttyS12")}));
}

TEST_F(PortTree, PortNumberIsThatSystemDeviceUpToSixteenAndListedUpToNine) {
    for (int i = 0; i < 15; ++i)
        AddDevices({"ttyUSB" + std::to_string(i)});
    AddDevices({"ttyS0", "ttyS1"}, "4");  // ttyS1 is a 17th device, never reachable
    const std::pair<int, const char*> rows[] = {
        {1, "1st"},   {2, "2nd"},   {3, "3rd"}, {4, "4th"}, {11, "11th"}, {12, "12th"},
        {13, "13th"}, {16, "16th"}, {0, ""},    {-1, ""},   {17, ""}};
    for (const auto& [n, ordinal] : rows) {
        const std::string device =
            !*ordinal ? "" : Dev(n == 16 ? "ttyS0" : "ttyUSB" + std::to_string(n - 1));
        EXPECT_EQ(ResolvePort(n, env_), device);
        EXPECT_EQ(ResolvePortDetails(n, env_).description,
                  !*ordinal ? "no device for port " + std::to_string(n)
                            : device + " (" + ordinal + " serial device)");
    }
    // Probing never opens, so a device without permissions (or held elsewhere) still counts.
    fs::permissions(root_ / "dev" / "ttyUSB0", fs::perms::none);
    EXPECT_EQ(ListPortNumbers(env_), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    env_ = {root_ / "nowhere", root_ / "nowhere", root_ / "nowhere", root_ / "nowhere"};
    EXPECT_TRUE(ListPortNumbers(env_).empty());
    EXPECT_EQ(ResolvePortDetails(1, env_).description, "no device for port 1");
}

TEST_F(PortTree, ComLinkInProgramFolderWinsAndADanglingOneIsNeitherListedNorReplaced) {
    AddDevices({"ttyUSB0", "ttyUSB1", "ttyACM0"});
    Link(1, root_ / "dev" / "ttyUSB1");
    Link(3, "/dev/pts/gone");
    Link(4, fs::path("..") / "dev" / "ttyACM0");  // relative to the program folder
    Link(12, root_ / "dev" / "ttyUSB0");          // may be typed, never listed
    ResolvedPort port = ResolvePortDetails(1, env_);
    EXPECT_EQ(port.device, fs::canonical(Dev("ttyUSB1")).string());
    EXPECT_TRUE(port.present);
    EXPECT_EQ(port.description, "COM1 \u2192 " + port.device + " (link in the program folder)");
    EXPECT_EQ(ResolvePort(2, env_), Dev("ttyUSB1"));  // others count system devices from the first
    EXPECT_EQ(ResolvePort(4, env_), fs::canonical(Dev("ttyACM0")).string());
    port = ResolvePortDetails(3, env_);
    EXPECT_EQ(port.device, "/dev/pts/gone");
    EXPECT_FALSE(port.present);
    EXPECT_EQ(port.description,
              "COM3 \u2192 /dev/pts/gone (link in the program folder; the device is missing)");
    EXPECT_EQ(ListPortNumbers(env_), (std::vector<int>{1, 2, 4}));

    // The user's configuration folder comes next: where an installed simulator links.
    fs::create_symlink(Dev("ttyUSB0"), env_.configDir / "COM1");
    fs::create_symlink(fs::path("..") / "dev" / "ttyACM0", env_.configDir / "COM5");
    EXPECT_EQ(ResolvePort(1, env_), fs::canonical(Dev("ttyUSB1")).string());
    port = ResolvePortDetails(5, env_);
    EXPECT_EQ(port.device, fs::canonical(Dev("ttyACM0")).string());
    EXPECT_EQ(port.description,
              "COM5 \u2192 " + port.device + " (link in the configuration folder)");
    EXPECT_EQ(ListPortNumbers(env_), (std::vector<int>{1, 2, 4, 5}));
}

TEST(PortDescription, TooltipAndListNameTheAdapterOnceWithWhatTheSystemKnows) {
    const ResolvedPort usb{"/dev/ttyUSB0", true, "/dev/ttyUSB0 (1st serial device)"};
    EXPECT_EQ(PortToolTip(usb, {"FTDI", "FT232R USB UART", "A50285BI"}),
              usb.description + "\nFTDI FT232R USB UART, serial number A50285BI");
    EXPECT_EQ(PortListDetail(usb, {"Prolific", "Prolific USB-Serial Controller", ""}),
              "/dev/ttyUSB0 \u00b7 Prolific USB-Serial Controller");
    EXPECT_EQ(PortListDetail(usb, {"Silicon Labs", "", "0001"}),
              "/dev/ttyUSB0 \u00b7 Silicon Labs, serial number 0001");
    // Without adapter details (a pseudo-terminal behind a link) the resolution says it all.
    EXPECT_EQ(PortToolTip(usb, {}), usb.description);
    EXPECT_EQ(PortListDetail(usb, {}), usb.description);
}

// Port 1 is a pseudo-terminal's slave, through COM1; its master plays the far end.
class PtyLine : public PortTree {
  protected:
    void SetUp() override {
        PortTree::SetUp();
        NewFarEnd();
    }
    void TearDown() override {
        if (master_ >= 0) ::close(master_);
        PortTree::TearDown();
    }
    void NewFarEnd() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_TRUE(master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0);
        Link(1, slave_ = ptsname(master_));
    }
    std::string ReadMaster(std::size_t count) {
        std::string got;
        char buf[512];
        for (pollfd p{master_, POLLIN, 0}; got.size() < count && ::poll(&p, 1, kDeadlineMs) > 0;) {
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n <= 0) break;
            got.append(buf, static_cast<std::size_t>(n));
        }
        return got;
    }

    void Send(const std::string& bytes) {
        ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // Runs the event loop while `condition` holds, `ms` at most.
    static void PumpWhile(const std::function<bool()>& condition, int ms = kDeadlineMs) {
        for (QDeadlineTimer deadline(ms); condition() && !deadline.hasExpired();)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }

    int master_ = -1;
    std::string slave_;
};

TEST_F(PtyLine, OpenPortCarriesEveryByteValueBothWaysAndAClosedOneRefusesTraffic) {
    PosixSerialPort port(env_);
    EXPECT_THROW(port.Output("x"), SerialError);
    port.SetSettings(",n,8,1");
    EXPECT_NE(ErrorOf([&] { port.SetPortOpen(true); }).find(",n,8,1"), std::string::npos);
    EXPECT_FALSE(port.PortOpen());
    port.SetSettings("19200,n,8,1");
    port.SetPortOpen(true);
    EXPECT_EQ(port.Device(), fs::canonical(slave_).string());
    std::string bytes;
    for (int b = 0; b < 256; ++b)
        bytes += static_cast<char>(b);
    port.Output(bytes);  // alone pushes the bytes out: no event loop runs before the far end reads
    EXPECT_EQ(ReadMaster(bytes.size()), bytes);
    Send(bytes);
    std::string got;
    for (QDeadlineTimer deadline(kDeadlineMs); got.size() < bytes.size() && !deadline.hasExpired();)
        got += port.Input();
    EXPECT_EQ(got, bytes);
    EXPECT_EQ(port.Input(), "");  // removed once read
    EXPECT_EQ(LineSpeed(master_), 19200);
    port.SetPortOpen(false);
    EXPECT_FALSE(port.PortOpen());
    EXPECT_THROW(port.Output("x"), SerialError);
    port.SetSettings("14400,n,8,1");  // no standard rate of termios
    port.SetPortOpen(true);
    EXPECT_EQ(LineSpeed(master_), 14400);
    port.Output("again");
    EXPECT_EQ(ReadMaster(5), "again");
}

TEST_F(PtyLine, OpenFailureGivesTheReasonAndLeavesThePortClosedAndItsHolderUndisturbed) {
    PosixSerialPort holder(env_);
    holder.SetPortOpen(true);
    std::ofstream(Dev("notatty")) << "not a tty";
    // A kernel setting that may only be written refuses a superuser's read-write open too.
    const std::string locked = "/proc/sys/vm/drop_caches";
    const std::pair<std::string, std::string> rows[] = {
        {Dev("ttyUSB7"), "No such file or directory: " + Dev("ttyUSB7")},
        {"", "No such device: nothing is connected as port 1"},
        {Dev("notatty"), Dev("notatty")},
        {locked, locked + " (is the user in the dialout group?)"},
        {slave_, "Device or resource busy: " + holder.Device() + " (locked by another program)"},
    };
    for (const auto& [link, words] : rows) {
        Link(1, link);
        PosixSerialPort port(env_);
        const std::string reason = ErrorOf([&] { port.SetPortOpen(true); });
        EXPECT_NE(reason.find(words), std::string::npos) << reason;
        EXPECT_FALSE(port.PortOpen());
    }
    holder.Output("ok");
    EXPECT_EQ(ReadMaster(2), "ok");
}

TEST_F(PtyLine, HangUpMakesInputAndOutputThrowAndItsCleanUpSparesTheNextSession) {
    PosixSerialPort port(env_);
    port.SetPortOpen(true);
    ::close(std::exchange(master_, -1));
    // Input notices the hang-up itself, and the port opens afresh after it.
    const std::string reason = ErrorOf([&] { port.Input(); }, kDeadlineMs);
    EXPECT_NE(reason.find(port.Device()), std::string::npos) << reason;
    EXPECT_THROW(port.Output("x"), SerialError);
    EXPECT_TRUE(port.PortOpen());  // until the program closes it
    port.SetPortOpen(false);
    NewFarEnd();  // another adapter, opened before any event is processed
    port.SetPortOpen(true);
    QCoreApplication::processEvents();
    port.Output("fresh");
    EXPECT_EQ(ReadMaster(5), "fresh");
    // This time the event loop notices first; the failure waits for the next call.
    ::close(std::exchange(master_, -1));
    PumpWhile([] { return true; }, 50);
    EXPECT_NE(ErrorOf([&] { port.Output("ping"); }, kDeadlineMs), "");
    EXPECT_THROW(port.Input(), SerialError);
    port.SetPortOpen(false);
    EXPECT_FALSE(port.PortOpen());
}

// 20 + 100 characters at 9600 baud: whole 125 ms after the request. Timing is bench_stations'.
TEST_F(PtyLine, AnAwaitedReplyIsUnwatchedUntilItMayBeWholeThenToldOnceWhenWhole) {
    using State = PosixSerialPort::ReplyState;
    PosixSerialPort port(env_);
    port.SetPortOpen(true);
    int arrivals = 0;
    port.onBytesArrived = [&arrivals] { ++arrivals; };
    const auto ask = [&] {
        arrivals = 0;
        port.Output(std::string(20, 'q'));
        port.ExpectReply(100);
        EXPECT_EQ(port.State(), State::Unwatched);
    };
    const std::string reply(100, 'r');
    EXPECT_EQ(port.State(), State::Idle);

    ask();
    Send(reply.substr(0, 40));
    EXPECT_EQ(port.Input(), reply.substr(0, 40));
    EXPECT_EQ(port.State(), State::Unwatched) << "the reply tick's reading watches nothing";
    Send(reply.substr(40));
    PumpWhile([&] { return arrivals == 0; });
    EXPECT_EQ(port.State(), State::Told);
    PumpWhile([] { return true; }, 20);
    EXPECT_EQ(arrivals, 1) << "told once until read";
    EXPECT_EQ(port.Input(), reply.substr(40));
    EXPECT_EQ(port.State(), State::Watching) << "a longer reply is told character by character";
    EXPECT_EQ(port.ReadMinimum(), 1u);

    // Not whole at its first look: watched for all of it, never told a part (polling
    // finds one); the next reply is looked at from its own earliest moment again.
    for (int late = 0; late < 2; ++late) {
        port.ExpectReply(0);
        ask();
        Send(reply.substr(0, 60));
        PumpWhile([&] { return port.State() == State::Unwatched; });
        EXPECT_EQ(port.State(), State::Watching);
        EXPECT_EQ(port.ReadMinimum(), 100u) << "the characters not yet read";
        EXPECT_EQ(arrivals, 0);
        EXPECT_EQ(port.Input(), reply.substr(0, 60)) << "a part is still found by polling";
        EXPECT_EQ(port.ReadMinimum(), 40u) << "the characters still awaited";
        Send(reply.substr(60));
        PumpWhile([&] { return arrivals == 0; });
        EXPECT_EQ(port.Input(), reply.substr(60));
    }
    port.ExpectReply(0);
    EXPECT_EQ(port.State(), State::Idle);
    EXPECT_EQ(port.ReadMinimum(), 1u);
    arrivals = 0;
    Send("k");
    PumpWhile([&] { return arrivals == 0; });
    EXPECT_EQ(arrivals, 1) << "nothing awaited: every character is told";
    EXPECT_EQ(port.Input(), "k");
}

}  // namespace
}  // namespace tally

// The notifiers need an application object; no event loop runs unless a test asks.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
