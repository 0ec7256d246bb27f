// Timing of the benchmarks against peer libraries: every call is timed on its own and the fastest
// one counts, so that other load on the machine, which only ever slows a call down, does not
// decide the ratios that the programs print at the end.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <map>
#include <string>

namespace benchtime {

// Fastest seconds per call, by benchmark name.
inline std::map<std::string, double>& best()
{
    static std::map<std::string, double> times;
    return times;
}

// Runs `op` (which returns false on failure) once per iteration; the fastest call goes to
// best()[name] and the best_ms counter, and with `pixels` above 0 to an MPix/s counter.
template <class Op> void timeBest(benchmark::State& state, const std::string& name, double pixels, Op op)
{
    using Clock = std::chrono::steady_clock;
    double fastest = 1e9;
    for (auto _ : state) {
        const auto start = Clock::now();
        if (!op()) {
            state.SkipWithError("operation failed");
            return;
        }
        const double s = std::chrono::duration<double>(Clock::now() - start).count();
        fastest = s < fastest ? s : fastest;
    }
    best()[name] = fastest;
    state.counters["best_ms"] = fastest * 1e3;
    if (pixels > 0)
        state.counters["MPix/s"] = pixels / fastest / 1e6;
}

} // namespace benchtime
