// How fast replies decode and frames build; a poll cycle needs three of each
// every second at most, so these guard against accidental quadratic work.
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "protocol/checksum.h"
#include "protocol/frames.h"
#include "protocol/hex.h"
#include "protocol/reply_decoder.h"

namespace tally {
namespace {

const std::string kOwnCounters =
    "RCT>00000010,0000000A,00000000,00000000,00000000,00000000,00000000,FFFFFFFF\r";

std::string ModbusCounterPayload() {
    std::string payload = "010340";
    for (int i = 0; i < 64; ++i)
        payload += BytesToHex(std::string(1, static_cast<char>(i * 7)));
    return payload;
}

std::string Noise(std::size_t length) {
    std::mt19937 rng(4300);
    std::string noise;
    for (std::size_t i = 0; i < length; ++i)
        noise.push_back(static_cast<char>(rng() & 0xFF));
    return noise;
}

void BM_DecodeOwnCounters(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(DecodeReplyBytes(kOwnCounters, 10, Protocol::Own, {}));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kOwnCounters.size()));
}
BENCHMARK(BM_DecodeOwnCounters);

void BM_DecodeAsciiCounters(benchmark::State& state) {
    const std::string payload = ModbusCounterPayload();
    const std::string rx = ":" + payload + LrcOfHex(payload) + "\r\n";
    for (auto _ : state)
        benchmark::DoNotOptimize(DecodeReplyBytes(rx, 10, Protocol::ModbusAscii, {}));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(rx.size()));
}
BENCHMARK(BM_DecodeAsciiCounters);

void BM_DecodeRtuCounters(benchmark::State& state) {
    const std::string payload = ModbusCounterPayload();
    const std::string rx = HexToBytes(payload + CrcOfHex(payload));
    for (auto _ : state)
        benchmark::DoNotOptimize(DecodeReplyBytes(rx, 10, Protocol::ModbusRtu, {}));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(rx.size()));
}
BENCHMARK(BM_DecodeRtuCounters);

void BM_DecodeOutputAckEcho(benchmark::State& state) {
    const std::string frame = *BuildFrame(Protocol::ModbusAscii, "01", ToggleOutputRequest(1, 0));
    for (auto _ : state)
        benchmark::DoNotOptimize(DecodeReplyBytes(frame, 33, Protocol::ModbusAscii, frame));
}
BENCHMARK(BM_DecodeOutputAckEcho);

// Noise of growing length: decoding must stay linear in the reply size.
void BM_DecodeNoise(benchmark::State& state) {
    const std::string rx = Noise(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        for (const auto p : {Protocol::Own, Protocol::ModbusAscii, Protocol::ModbusRtu})
            benchmark::DoNotOptimize(DecodeReplyBytes(rx, 10, p, {}));
    }
    state.SetBytesProcessed(state.iterations() * 3 * state.range(0));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_DecodeNoise)->RangeMultiplier(10)->Range(10, 100000)->Complexity();

void BM_BuildReadFrames(benchmark::State& state) {
    const auto protocol = static_cast<Protocol>(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(BuildFrame(protocol, "01", ReadCountersRequest()));
        benchmark::DoNotOptimize(BuildFrame(protocol, "01", ReadInputsRequest()));
        benchmark::DoNotOptimize(BuildFrame(protocol, "01", ReadOutputsRequest()));
    }
}
BENCHMARK(BM_BuildReadFrames)->DenseRange(0, 2);

void BM_BuildPresetAllFrame(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(
            BuildFrame(Protocol::Own, "01", PresetCounterRequest(0, 4294967295.0)));
}
BENCHMARK(BM_BuildPresetAllFrame);

void BM_CrcOfHex(benchmark::State& state) {
    const std::string hex = BytesToHex(Noise(static_cast<std::size_t>(state.range(0))));
    for (auto _ : state)
        benchmark::DoNotOptimize(CrcOfHex(hex));
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_CrcOfHex)->Range(8, 4096);

}  // namespace
}  // namespace tally
