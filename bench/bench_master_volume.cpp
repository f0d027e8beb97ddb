// What one slider step costs: a connection to the sound server, the queries and the write.
// Needs a server: PULSE_SERVER=unix:<dir>/native (tests/fixtures/pulse-start.sh <dir>).
#include "platform/PulseMasterVolume.h"

#include <benchmark/benchmark.h>

static void SetMasterVolume(benchmark::State &state) {
    PulseMasterVolume volume;
    if (volume.GetMasterVolume().value < 0) {
        state.SkipWithError("no sound server");
        return;
    }
    int value = 0;
    for (auto _ : state) {
        volume.SetMasterVolume(value);
        value = (value + 997) % 65536;
    }
}
BENCHMARK(SetMasterVolume)->Unit(benchmark::kMillisecond);

static void GetMasterVolume(benchmark::State &state) {
    PulseMasterVolume volume;
    for (auto _ : state) {
        const MasterVolume::Reading reading = volume.GetMasterVolume();
        if (reading.value < 0) {
            state.SkipWithError("no sound server");
            return;
        }
        benchmark::DoNotOptimize(reading.value);
    }
}
BENCHMARK(GetMasterVolume)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
