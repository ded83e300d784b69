#include "serial/adapter_lookup.h"

#include <QSerialPortInfo>

namespace tally {

AdapterInfo LookUpAdapter(const std::string& device) {
    if (device.empty()) return {};
    const QString location = QString::fromStdString(device);
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        // On Windows the device is the port's name (COM3), elsewhere its path.
        if (info.systemLocation() != location && info.portName() != location) continue;
        return {info.manufacturer().simplified().toStdString(),
                info.description().simplified().toStdString(),
                info.serialNumber().simplified().toStdString()};
    }
    return {};
}

}  // namespace tally
