// Throughput of the image library's per-frame paths, each against a memcpy of the source bytes
// the operation reads: nearest-neighbour resize 640x480 -> 320x240 (24 bits), a 90-degree
// rotation of 640x480 (24 bits) and ordered dithering of a 640x480 frame onto the 256-colour
// palette. (A copy of only the 230 KB that a resize writes would stay in cache while the resize
// walks all 921 KB of its source, and flatter the reference.)
//
// The resize is also timed in its plain and SSSE3 forms (the default takes AVX-512 VBMI where
// the processor has it).
//
// Every benchmark reports `vs_memcpy`: memcpy time / operation time for the operation's source
// bytes, so 1.0 would be the speed of copying the frame. The memcpy reference is timed in the same run, just
// before.
#include "imagelib/imagelib.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Seconds of the fastest memcpy of `bytes` bytes (source and target cache-warm, as in the
// operations).
double memcpySeconds(std::size_t bytes)
{
    std::vector<std::uint8_t> from(bytes, 1), to(bytes, 0);
    double best = 1e9;
    for (int round = 0; round < 5; ++round) {
        for (int i = 0; i < 200; ++i) {
            const auto start = Clock::now();
            std::memcpy(to.data(), from.data(), bytes);
            benchmark::DoNotOptimize(to.data());
            benchmark::ClobberMemory();
            const double s = std::chrono::duration<double>(Clock::now() - start).count();
            best = s < best ? s : best;
        }
    }
    return best;
}

struct Frame
{
    img_desc desc;
    Frame(std::uint32_t w, std::uint32_t h, std::uint32_t bits)
    {
        img_alloc(&desc, w, h, bits);
        for (std::uint32_t i = 0; i < desc.bytesPerRow * h; ++i)
            desc.pixels[i] = static_cast<std::uint8_t>(i * 2654435761u >> 24);
    }
    ~Frame() { img_free(&desc); }
};

// Both sides are timed per call and the fastest call counts, so that other work on the machine
// (which only ever slows a call down) does not decide the ratio.
template <class Op> void runAgainstMemcpy(benchmark::State& state, std::size_t sourceBytes, Op op)
{
    const double reference = memcpySeconds(sourceBytes);
    double best = 1e9;
    std::int64_t n = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        if (op() != IMG_OK)
            state.SkipWithError("operation failed");
        benchmark::ClobberMemory();
        const double s = std::chrono::duration<double>(Clock::now() - start).count();
        best = s < best ? s : best;
        ++n;
    }
    state.SetBytesProcessed(n * static_cast<std::int64_t>(sourceBytes));
    state.counters["vs_memcpy"] = reference / best;
    state.counters["best_us"] = best * 1e6;
    state.counters["memcpy_us"] = reference * 1e6;
}

void BM_ResizeNearest640x480To320x240(benchmark::State& state)
{
    Frame source(640, 480, 24), target(320, 240, 24);
    runAgainstMemcpy(state, std::size_t{source.desc.bytesPerRow} * 480,
                     [&] { return img_resize(&source.desc, &target.desc); });
}
BENCHMARK(BM_ResizeNearest640x480To320x240);

void BM_ResizeNearestPlain640x480To320x240(benchmark::State& state)
{
    img_allow_vector_paths(false);
    BM_ResizeNearest640x480To320x240(state);
    img_allow_vector_paths(true);
}
BENCHMARK(BM_ResizeNearestPlain640x480To320x240);

// The form processors without AVX-512 VBMI get.
void BM_ResizeNearestSsse3_640x480To320x240(benchmark::State& state)
{
    if (!img_force_resize_path(ImgResizePath::Ssse3)) {
        state.SkipWithError("no SSSE3 on this processor");
        return;
    }
    BM_ResizeNearest640x480To320x240(state);
    img_force_resize_path(ImgResizePath::Best);
}
BENCHMARK(BM_ResizeNearestSsse3_640x480To320x240);

void BM_Rotate90_640x480(benchmark::State& state)
{
    Frame source(640, 480, 24), target(480, 640, 24);
    runAgainstMemcpy(state, std::size_t{source.desc.bytesPerRow} * 480,
                     [&] { return img_rotate(90.0, &source.desc, &target.desc); });
}
BENCHMARK(BM_Rotate90_640x480);

void BM_DitherOrdered640x480(benchmark::State& state)
{
    Frame source(640, 480, 24), target(640, 480, 8);
    runAgainstMemcpy(state, std::size_t{source.desc.bytesPerRow} * 480,
                     [&] { return img_dither_ordered(&source.desc, &target.desc, 1); });
}
BENCHMARK(BM_DitherOrdered640x480);

} // namespace

BENCHMARK_MAIN();
