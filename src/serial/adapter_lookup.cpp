#include "serial/adapter_lookup.h"

#include <QSerialPortInfo>

namespace tally {

AdapterInfo LookUpAdapter(const std::string& device) {
    if (device.empty()) return {};
    const QString location = QString::fromStdString(device);
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        if (info.systemLocation() != location) continue;
        return {info.manufacturer().simplified().toStdString(),
                info.description().simplified().toStdString(),
                info.serialNumber().simplified().toStdString()};
    }
    return {};
}

}  // namespace tally
