// The line monitor against the simulator's own record of the line: the same
// frames in the same order. (Its statistics are checked on the faulty line.)
#include <QAction>
#include <QRegularExpression>

#include "live_window_fixture.h"
#include "ui/windows/frm_line.h"

namespace tally::e2e {
namespace {

using LineMonitor = LiveWindowTest;

// The simulator's log as the program sees it: what it received was sent ("TX").
QStringList SimulatorLog(const QString& path) {
    static const QRegularExpression line(
        QStringLiteral("(?m)^\\s*[0-9.]+ (RX|TX) ((?: [0-9A-F]{2})*)   "));
    QFile file(path);
    QStringList frames;
    if (!file.open(QIODevice::ReadOnly)) return frames;
    for (const auto& match : line.globalMatch(QString::fromLatin1(file.readAll())))
        frames << (match.captured(1) == "RX" ? "TX " : "RX ") + match.captured(2).trimmed();
    return frames;
}

TEST_F(LineMonitor, RowsMatchTheSimulatorLogByteForByteInEveryProtocol) {
    const QString log = dir.filePath(QStringLiteral("sim.log"));
    startSimulator(1, kMovingSeed, {"--log", log});
    if (HasFatalFailure()) return;
    startWindow();
    w->mnuLine->trigger();
    openPort(kOwn, 1);
    if (HasFatalFailure()) return;
    for (int protocol : {kOwn, kModbusAscii, kModbusRtu}) {
        w->optProtocol[static_cast<std::size_t>(protocol)]->setChecked(true);
        ASSERT_TRUE(readOnce(true, true, true)) << kProtocolNames[protocol];
        w->cmdDO[static_cast<std::size_t>(protocol + 1)]->click();
        ASSERT_TRUE(settle()) << kProtocolNames[protocol];
    }
    w->frmLine->Model().Commit();  // the rows of the last moments
    stopSimulator();               // writes the rest of its log
    QStringList rows;
    for (int row = 0; row < w->frmLine->Model().rowCount(); ++row) {
        const LineRow& r = w->frmLine->Model().Row(row);
        if (!r.bytes.empty()) rows << (r.received ? "RX " : "TX ") + LineHexText(r.bytes);
    }
    EXPECT_EQ(rows.size(), 3 * 4 * 2);
    EXPECT_EQ(rows.join('\n').toStdString(), SimulatorLog(log).join('\n').toStdString());
}

}  // namespace
}  // namespace tally::e2e
