// The line monitor's ring of rows under a flood: 1 000 000 events through the
// model, committed once per event-loop turn as in the program. Reports events
// per second and what the model holds in memory once its rings are full.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <string>
#include <vector>

#include "ui/models/line_model.h"

namespace tally {
namespace {

constexpr int kEvents = 1'000'000;

// A counter read in each protocol, request and reply, as the engine reports them.
std::vector<LineEvent> SampleEvents() {
    const std::pair<Protocol, std::pair<std::string, std::string>> exchanges[] = {
        {Protocol::Own,
         {"#01RCT\r",
          ">00000010,0000000A,00000000,00000000,00000000,00000000,00000000,FFFFFFFF\r"}},
        {Protocol::ModbusAscii,
         {":010300000020DC\r\n", ":010340" + std::string(128, '0') + "BC\r\n"}},
        {Protocol::ModbusRtu,
         {std::string("\x01\x03\x00\x00\x00\x20\x44\x12", 8),
          std::string("\x01\x03\x40", 3) + std::string(66, '\x5A')}},
    };
    std::vector<LineEvent> events;
    for (const auto& [protocol, frames] : exchanges) {
        LineEvent event;
        event.protocol = protocol;
        event.station = 1;
        event.utcMs = 1'765'000'000'000;
        event.type = LineEvent::Type::Request;
        event.bytes = frames.first;
        events.push_back(event);
        event.type = LineEvent::Type::Outcome;
        event.bytes = frames.second;
        event.replyMs = 42.125;
        events.push_back(event);
    }
    return events;
}

// range(0): events that arrive within one event-loop turn.
void BM_LineModelMillionEvents(benchmark::State& state) {
    const std::vector<LineEvent> events = SampleEvents();
    const auto perTurn = static_cast<int>(state.range(0));
    std::size_t memory = 0;
    for (auto _ : state) {
        LineModel model;
        for (int n = 0; n < kEvents;) {
            for (int i = 0; i < perTurn && n < kEvents; ++i, ++n)
                model.Append(events[static_cast<std::size_t>(n) % events.size()]);
            QCoreApplication::processEvents();
        }
        benchmark::DoNotOptimize(model.rowCount());
        memory = model.MemoryBytes();
    }
    state.SetItemsProcessed(state.iterations() * kEvents);
    state.counters["events/s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kEvents, benchmark::Counter::kIsRate);
    state.counters["model_MiB"] = static_cast<double>(memory) / (1024.0 * 1024.0);
}
BENCHMARK(BM_LineModelMillionEvents)
    ->Arg(1)
    ->Arg(10)
    ->Arg(1000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

}  // namespace
}  // namespace tally

int main(int argc, char** argv) {
    // The model commits its rows from the event loop.
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
