#include <gtest/gtest.h>

#include "serial/port_description.h"

namespace tally {
namespace {

TEST(PortDescription, AdapterIsNamedOnceWithWhatTheSystemKnows) {
    const std::pair<AdapterInfo, const char*> rows[] = {
        {{"FTDI", "FT232R USB UART", "A50285BI"}, "FTDI FT232R USB UART, serial number A50285BI"},
        {{"Prolific", "Prolific USB-Serial Controller", ""}, "Prolific USB-Serial Controller"},
        {{"", "CP2102 USB to UART", ""}, "CP2102 USB to UART"},
        {{"Silicon Labs", "", ""}, "Silicon Labs"},
        {{"", "", "0001"}, "serial number 0001"},
        {{"", "", ""}, ""},
    };
    for (const auto& [adapter, text] : rows)
        EXPECT_EQ(AdapterText(adapter), text);
}

TEST(PortDescription, TooltipAndListAddTheAdapterToTheDeviceOnlyWhenKnown) {
    ResolvedPort usb{"/dev/ttyUSB0", true, "/dev/ttyUSB0 (1st serial device)"};
    const AdapterInfo ftdi{"FTDI", "FT232R USB UART", "A50285BI"};
    EXPECT_EQ(PortToolTip(usb, ftdi),
              "/dev/ttyUSB0 (1st serial device)\nFTDI FT232R USB UART, serial number A50285BI");
    EXPECT_EQ(PortListDetail(usb, ftdi),
              "/dev/ttyUSB0 \u00b7 FTDI FT232R USB UART, serial number A50285BI");
    // A pseudo-terminal behind a link: no adapter, the resolution says it all.
    const ResolvedPort pty{"/dev/pts/3", true,
                           "COM1 \u2192 /dev/pts/3 (link in the program folder)"};
    EXPECT_EQ(PortToolTip(pty, {}), pty.description);
    EXPECT_EQ(PortListDetail(pty, {}), pty.description);
    const ResolvedPort none{"", false, "no device for port 7"};
    EXPECT_EQ(PortListDetail(none, ftdi), none.description);
}

}  // namespace
}  // namespace tally
