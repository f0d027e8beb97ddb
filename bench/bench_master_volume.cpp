// What one slider step costs: a connection to the sound server, the queries and the write;
// and what it costs the slider once the volume has a thread of its own.
// Needs a server: PULSE_SERVER=unix:<dir>/native (tests/fixtures/pulse-start.sh <dir>).
#include "platform/PulseMasterVolume.h"
#include "playback/MasterVolumeWorker.h"

#include <QCoreApplication>

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

// What the slider's thread pays per step with the volume on its own thread: a hand-over.
// The server is then reached once per burst of steps, with the latest value.
static void SetMasterVolumeThroughWorker(benchmark::State &state) {
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    MasterVolumeWorker volume(std::make_unique<PulseMasterVolume>());
    int value = 0;
    for (auto _ : state) {
        volume.SetMasterVolume(value);
        value = (value + 997) % 65536;
    }
}
BENCHMARK(SetMasterVolumeThroughWorker)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
