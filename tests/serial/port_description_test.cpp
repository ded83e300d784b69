#include <gtest/gtest.h>

#include "serial/port_description.h"

namespace tally {
namespace {

TEST(PortDescription, TooltipAndListNameTheAdapterOnceWithWhatTheSystemKnows) {
    const std::pair<AdapterInfo, const char*> rows[] = {
        {{"FTDI", "FT232R USB UART", "A50285BI"}, "FTDI FT232R USB UART, serial number A50285BI"},
        {{"Prolific", "Prolific USB-Serial Controller", ""}, "Prolific USB-Serial Controller"},
        {{"Silicon Labs", "", "0001"}, "Silicon Labs, serial number 0001"},
    };
    const ResolvedPort usb{"/dev/ttyUSB0", true, "/dev/ttyUSB0 (1st serial device)"};
    for (const auto& [adapter, text] : rows) {
        EXPECT_EQ(PortToolTip(usb, adapter), usb.description + "\n" + text);
        EXPECT_EQ(PortListDetail(usb, adapter), "/dev/ttyUSB0 \u00b7 " + std::string(text));
    }
    // A pseudo-terminal behind a link has no adapter: the resolution says it all.
    const ResolvedPort pty{"/dev/pts/3", true,
                           "COM1 \u2192 /dev/pts/3 (link in the program folder)"};
    EXPECT_EQ(PortToolTip(pty, {}), pty.description);
    EXPECT_EQ(PortListDetail(pty, {}), pty.description);
    EXPECT_EQ(PortListDetail({"", false, "no device for port 7"}, rows[0].first),
              "no device for port 7");
}

}  // namespace
}  // namespace tally
