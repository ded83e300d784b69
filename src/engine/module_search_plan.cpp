#include "engine/module_search_plan.h"

#include <algorithm>
#include <optional>

#include "protocol/completeness.h"
#include "protocol/frames.h"

namespace tally {

namespace {

std::vector<int> RateOrder(const SearchChoices& choices) {
    std::vector<int> order;
    const auto ticked = [&](int baud) {
        const auto at = std::find(kBaudRates.begin(), kBaudRates.end(), baud);
        return at != kBaudRates.end() &&
               choices.rates[static_cast<std::size_t>(at - kBaudRates.begin())];
    };
    if (ticked(choices.currentBaud)) order.push_back(choices.currentBaud);
    for (int baud : kSearchRateOrder)
        if (baud != choices.currentBaud && ticked(baud)) order.push_back(baud);
    return order;
}

std::vector<Protocol> ProtocolOrder(const SearchChoices& choices) {
    std::vector<Protocol> order{choices.currentProtocol};
    for (Protocol protocol : {Protocol::Own, Protocol::ModbusAscii, Protocol::ModbusRtu})
        if (protocol != choices.currentProtocol) order.push_back(protocol);
    order.erase(std::remove_if(order.begin(), order.end(),
                               [&](Protocol protocol) {
                                   const auto index = static_cast<std::size_t>(protocol);
                                   return index >= choices.protocols.size() ||
                                          !choices.protocols[index];
                               }),
                order.end());
    return order;
}

}  // namespace

std::vector<Probe> SearchPlan(const SearchChoices& choices) {
    int from = std::clamp(choices.fromStation, 0, 31);
    int to = std::clamp(choices.toStation, 0, 31);
    if (from > to) std::swap(from, to);
    const int extraWaitMs = std::clamp(choices.extraWaitMs, kSearchWaitLowMs, kSearchWaitHighMs);

    std::vector<Probe> plan;
    for (int baud : RateOrder(choices)) {
        for (Protocol protocol : ProtocolOrder(choices)) {
            const int first = protocol == Protocol::Own ? from : std::max(from, 1);
            for (int station = first; station <= to; ++station) {
                Probe probe{baud, protocol, station, ProbeFrame(protocol, station), 0};
                probe.waitMicros = ProbeWaitMicros(probe.frame, protocol, baud, extraWaitMs);
                plan.push_back(std::move(probe));
            }
        }
    }
    return plan;
}

std::string NothingToSearchReason(const SearchChoices& choices) {
    const bool rates = !RateOrder(choices).empty();
    const bool protocols = !ProtocolOrder(choices).empty();
    if (!rates && !protocols) return "Tick at least one baud rate and one protocol";
    if (!rates) return "Tick at least one baud rate";
    if (!protocols) return "Tick at least one protocol";
    if (!SearchPlan(choices).empty()) return {};
    // Only Modbus ticked and only station 0 asked for.
    return "Modbus station 0 is the broadcast address, which no module answers: "
           "choose stations from 1, or tick " +
           ProtocolCaption(Protocol::Own);
}

Bytes ProbeFrame(Protocol protocol, int station) {
    const std::optional<Bytes> frame =
        BuildFrame(protocol, StationHexOf(station), ReadOutputsRequest());
    return frame ? *frame : Bytes();
}

std::int64_t ProbeWaitMicros(const Bytes& frame, Protocol protocol, int baud, int extraWaitMs) {
    return WireMicros(frame.size() + LongestReplyLength(protocol, frame), baud) +
           std::int64_t{extraWaitMs} * 1000;
}

std::string ProbeDescription(int baud, Protocol protocol, int station) {
    return std::to_string(baud) + " baud, " + ProtocolCaption(protocol) + ", station " +
           std::to_string(station);
}

}  // namespace tally
