#include "serial/qt_serial_component.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDeadlineTimer>

#include <filesystem>
#include <fstream>
#include <random>

namespace tally {
namespace {

namespace fs = std::filesystem;

// Every wait below ends as soon as its condition holds; the bound only stops a hang.
constexpr int kDeadlineMs = 3000;

std::string AllByteValues() {
    std::string bytes;
    for (int b = 0; b < 256; ++b)
        bytes.push_back(static_cast<char>(b));
    return bytes;
}

// A pseudo-terminal: the master is the far end, the slave plays the serial
// device, reached as port 1 through a COM1 link in a private program folder.
class PtyLine : public ::testing::Test {
  protected:
    void SetUp() override {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master_, 0);
        ASSERT_EQ(grantpt(master_), 0);
        ASSERT_EQ(unlockpt(master_), 0);
        slave_ = ptsname(master_);
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);

        dir_ = fs::temp_directory_path() / ("tally-pty-" + std::to_string(std::random_device{}()));
        fs::create_directories(dir_ / "dev");
        env_.appDir = dir_;
        env_.devDir = dir_ / "dev";  // no system devices: only COM links count
        env_.sysTtyDir = dir_ / "sys";
        fs::create_symlink(slave_, dir_ / "COM1");
    }
    void TearDown() override {
        CloseMaster();
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    void CloseMaster() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }

    // Reads from the far end until `count` bytes came or the deadline passed.
    std::string ReadMaster(std::size_t count) {
        std::string got;
        QDeadlineTimer deadline(kDeadlineMs);
        while (got.size() < count && !deadline.hasExpired()) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(deadline.remainingTime())) <= 0) continue;
            char buf[512];
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n > 0) got.append(buf, static_cast<std::size_t>(n));
        }
        return got;
    }
    void WriteMaster(const std::string& bytes) {
        ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // Polls Input, as the reply timer does, until `count` bytes came.
    static std::string ReadComponent(QtSerialComponent& port, std::size_t count) {
        std::string got;
        QDeadlineTimer deadline(kDeadlineMs);
        while (got.size() < count && !deadline.hasExpired()) {
            got += port.Input();
            if (got.size() < count) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        return got;
    }

    int master_ = -1;
    std::string slave_;
    fs::path dir_;
    PortEnvironment env_;
};

TEST_F(PtyLine, EveryByteValueGoesOutUnchanged) {
    QtSerialComponent port(env_);
    port.SetSettings("19200,n,8,1");
    port.SetPortOpen(true);
    ASSERT_TRUE(port.PortOpen());
    EXPECT_EQ(port.Device(), fs::canonical(slave_).string());

    const std::string bytes = AllByteValues();
    port.Output(bytes);
    // Output alone must push the bytes out: no event loop runs before the far end reads.
    EXPECT_EQ(ReadMaster(bytes.size()), bytes);
}

TEST_F(PtyLine, EveryByteValueComesInUnchangedAndIsRemovedOnceRead) {
    QtSerialComponent port(env_);
    port.SetPortOpen(true);
    const std::string bytes = AllByteValues();
    WriteMaster(bytes);
    EXPECT_EQ(ReadComponent(port, bytes.size()), bytes);
    EXPECT_EQ(port.Input(), "");
}

TEST_F(PtyLine, InputWithoutAnEventLoopStillSeesWaitingBytes) {
    QtSerialComponent port(env_);
    port.SetPortOpen(true);
    WriteMaster("#01\r");
    std::string got;
    QDeadlineTimer deadline(kDeadlineMs);
    while (got.size() < 4 && !deadline.hasExpired())
        got += port.Input();
    EXPECT_EQ(got, "#01\r");
}

TEST_F(PtyLine, ClosedPortRefusesTrafficAndCanBeReopened) {
    QtSerialComponent port(env_);
    EXPECT_THROW(port.Output("x"), SerialError);
    EXPECT_THROW(port.Input(), SerialError);
    port.SetPortOpen(true);
    EXPECT_THROW(port.SetCommPort(2), SerialError);
    EXPECT_THROW(port.SetSettings("9600,n,8,1"), SerialError);
    port.SetPortOpen(false);
    EXPECT_FALSE(port.PortOpen());
    EXPECT_THROW(port.Output("x"), SerialError);

    port.SetPortOpen(true);
    port.Output("again");
    EXPECT_EQ(ReadMaster(5), "again");
}

TEST_F(PtyLine, SecondOpenOfAPortInUseFailsWithBusyReason) {
    QtSerialComponent first(env_);
    first.SetPortOpen(true);
    QtSerialComponent second(env_);
    try {
        second.SetPortOpen(true);
        FAIL() << "second open succeeded";
    } catch (const SerialError& e) {
        EXPECT_NE(std::string(e.what()).find("busy"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(second.PortOpen());
    first.Output("ok");  // the holder is undisturbed
    EXPECT_EQ(ReadMaster(2), "ok");
}

TEST_F(PtyLine, FarEndClosingMakesInputThrowInsteadOfHanging) {
    QtSerialComponent port(env_);
    port.SetPortOpen(true);
    CloseMaster();
    bool threw = false;
    QDeadlineTimer deadline(kDeadlineMs);
    while (!threw && !deadline.hasExpired()) {
        try {
            port.Input();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        } catch (const SerialError& e) {
            threw = true;
            EXPECT_NE(std::string(e.what()).find(port.Device()), std::string::npos) << e.what();
        }
    }
    EXPECT_TRUE(threw);
    EXPECT_THROW(port.Output("x"), SerialError);  // and stays failed
    EXPECT_TRUE(port.PortOpen());                 // until the program closes it
    port.SetPortOpen(false);
    EXPECT_FALSE(port.PortOpen());
}

TEST_F(PtyLine, FarEndClosingWhileTheEventLoopRunsMakesOutputThrow) {
    QtSerialComponent port(env_);
    port.SetPortOpen(true);
    WriteMaster("last words");
    CloseMaster();
    // The event loop notices the hang-up first; the failure waits for the next call.
    QDeadlineTimer settle(50);
    while (!settle.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    bool threw = false;
    QDeadlineTimer deadline(kDeadlineMs);
    while (!threw && !deadline.hasExpired()) {
        try {
            port.Output("ping");
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        } catch (const SerialError&) {
            threw = true;
        }
    }
    EXPECT_TRUE(threw);
}

TEST_F(PtyLine, ReopeningOnAFreshDeviceAfterAFailureKeepsTheNewLine) {
    QtSerialComponent port(env_);
    port.SetPortOpen(true);
    CloseMaster();
    QDeadlineTimer deadline(kDeadlineMs);
    bool threw = false;
    while (!threw && !deadline.hasExpired()) {
        try {
            port.Input();
        } catch (const SerialError&) {
            threw = true;
        }
    }
    ASSERT_TRUE(threw);
    port.SetPortOpen(false);

    // The operator plugs in another adapter and reopens before any event is processed.
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master_, 0);
    ASSERT_EQ(grantpt(master_), 0);
    ASSERT_EQ(unlockpt(master_), 0);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    fs::remove(dir_ / "COM1");
    fs::create_symlink(ptsname(master_), dir_ / "COM1");
    port.SetPortOpen(true);
    QCoreApplication::processEvents();  // runs whatever clean-up the failure left queued
    port.Output("fresh");
    EXPECT_EQ(ReadMaster(5), "fresh");
}

TEST_F(PtyLine, OpenFailsWithReasonWhenTheLinkedDeviceIsGone) {
    fs::remove(dir_ / "COM1");
    fs::create_symlink(dir_ / "dev" / "ttyUSB7", dir_ / "COM1");
    QtSerialComponent port(env_);
    try {
        port.SetPortOpen(true);
        FAIL() << "open succeeded";
    } catch (const SerialError& e) {
        const std::string what = e.what();
        EXPECT_NE(what.find("No such file or directory"), std::string::npos) << what;
        EXPECT_NE(what.find("ttyUSB7"), std::string::npos) << what;
    }
    EXPECT_FALSE(port.PortOpen());
}

TEST_F(PtyLine, OpenFailsWhenNothingStandsForThePortNumber) {
    QtSerialComponent port(env_);
    port.SetCommPort(2);
    try {
        port.SetPortOpen(true);
        FAIL() << "open succeeded";
    } catch (const SerialError& e) {
        EXPECT_NE(std::string(e.what()).find("port 2"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(port.PortOpen());
}

TEST_F(PtyLine, OpenRejectsInvalidLineSettings) {
    QtSerialComponent port(env_);
    port.SetSettings(",n,8,1");  // an empty baud field
    EXPECT_THROW(port.SetPortOpen(true), SerialError);
    EXPECT_FALSE(port.PortOpen());
    port.SetSettings("9600,n,8,1");
    port.SetPortOpen(true);
    EXPECT_TRUE(port.PortOpen());
}

TEST_F(PtyLine, OpenOfAFileThatIsNoTerminalFailsCleanly) {
    fs::remove(dir_ / "COM1");
    std::ofstream(dir_ / "COM1") << "not a tty";
    QtSerialComponent port(env_);
    EXPECT_THROW(port.SetPortOpen(true), SerialError);
    EXPECT_FALSE(port.PortOpen());
}

TEST_F(PtyLine, OpenWithoutPermissionNamesTheDialoutGroup) {
    if (::geteuid() == 0) GTEST_SKIP() << "root opens any device";
    const fs::path device = dir_ / "dev" / "locked";
    std::ofstream(device).put('x');
    fs::permissions(device, fs::perms::none);
    fs::remove(dir_ / "COM1");
    fs::create_symlink(device, dir_ / "COM1");
    QtSerialComponent port(env_);
    try {
        port.SetPortOpen(true);
        FAIL() << "open succeeded";
    } catch (const SerialError& e) {
        EXPECT_NE(std::string(e.what()).find("dialout"), std::string::npos) << e.what();
    }
}

}  // namespace
}  // namespace tally
