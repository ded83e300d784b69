#include "serial/port_description.h"

namespace tally {

std::string AdapterText(const AdapterInfo& adapter) {
    std::string text = adapter.manufacturer;
    // Many adapters name their maker again in the product ("Prolific USB-Serial").
    if (!adapter.product.empty() && adapter.product.rfind(adapter.manufacturer, 0) != 0) {
        if (!text.empty()) text += ' ';
        text += adapter.product;
    } else if (!adapter.product.empty()) {
        text = adapter.product;
    }
    if (!adapter.serialNumber.empty()) {
        if (!text.empty()) text += ", ";
        text += "serial number " + adapter.serialNumber;
    }
    return text;
}

std::string PortToolTip(const ResolvedPort& port, const AdapterInfo& adapter) {
    const std::string about = AdapterText(adapter);
    return about.empty() ? port.description : port.description + "\n" + about;
}

std::string PortListDetail(const ResolvedPort& port, const AdapterInfo& adapter) {
    const std::string about = AdapterText(adapter);
    if (about.empty() || port.device.empty()) return port.description;
    return port.device + " \u00b7 " + about;
}

}  // namespace tally
