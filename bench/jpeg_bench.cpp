// The JPEG coder against libjpeg-turbo called through its API, in one run:
//  - encoding a 4:2:0 colour frame (640x480 and 1280x720, quality 100 and 75): our
//    img_save_jpeg_mem (in the form the processor gets, and forced to the plain and the SSE2
//    form) against libjpeg-turbo with JDCT_ISLOW, once with its SIMD code and once with SIMD
//    disabled;
//  - the per-frame header gate img_jpeg_info_mem on a 640x480 frame against a libjpeg-turbo
//    decode of the same frame (default decompression, as the frame pipeline decodes).
//
// libjpeg-turbo reads JSIMD_FORCENONE once, when it first initialises, so the scalar
// measurements run in a child process forked before any libjpeg call, which sets the variable
// first; the parent waits for it (the two never run at the same time) and collects its figures
// through a pipe. Every operation is timed per call and its fastest call counts, so that other
// load on the machine, which only ever slows a call down, does not decide the ratios. A summary
// of the ratios follows the usual report.
#include "best_time.h"

#include "imagelib/imagelib.h"
#include "imagelib/jpeg_encode_kernels.h"

#include <benchmark/benchmark.h>

// libjpeg's header needs FILE and size_t declared first.
#include <cstddef>
#include <cstdio>
#include <jpeglib.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

std::map<std::string, double>& g_best = benchtime::best();
using benchtime::timeBest;

// A camera-like frame: smooth shading, edges and some sensor noise.
struct Frame
{
    img_desc desc;
    std::uint32_t w, h;
    Frame(std::uint32_t width, std::uint32_t height) : w(width), h(height)
    {
        img_alloc(&desc, w, h, 24);
        std::uint32_t noise = 1;
        for (std::uint32_t y = 0; y < h; ++y) {
            std::uint8_t* row = desc.pixels + static_cast<std::size_t>(h - 1 - y) * desc.bytesPerRow;
            for (std::uint32_t x = 0; x < w; ++x) {
                noise = noise * 1664525u + 1013904223u;
                const int n = static_cast<int>(noise >> 28) - 8;
                const double shade = 128 + 90 * std::sin(x / 53.0) * std::cos(y / 37.0);
                const bool edge = ((x / 80) + (y / 60)) % 2 == 0;
                for (int c = 0; c < 3; ++c) {
                    const double v = shade + (edge ? 40 : -40) + c * 15 + n;
                    row[3 * x + c] = static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
                }
            }
        }
    }
    ~Frame() { img_free(&desc); }
    const std::uint8_t* topRow(std::uint32_t y) const
    {
        return desc.pixels + static_cast<std::size_t>(h - 1 - y) * desc.bytesPerRow;
    }
};

bool turboEncode(const Frame& f, int quality)
{
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = f.w;
    c.image_height = f.h;
    c.input_components = 3;
    c.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&c); // YCbCr 4:2:0
    jpeg_set_quality(&c, quality, FALSE);
    c.dct_method = JDCT_ISLOW;
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(f.topRow(c.next_scanline));
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    benchmark::DoNotOptimize(out);
    std::free(out);
    return size > 0;
}

bool turboDecode(const std::vector<std::uint8_t>& jpeg, std::vector<std::uint8_t>& pixels)
{
    jpeg_decompress_struct d;
    jpeg_error_mgr err;
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&d);
    const std::size_t stride = static_cast<std::size_t>(d.output_width) * 3;
    pixels.resize(stride * d.output_height);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = pixels.data() + d.output_scanline * stride;
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return true;
}

struct Size
{
    std::uint32_t w, h;
};
const Size kSizes[] = {{640, 480}, {1280, 720}};
const int kQualities[] = {100, 75};

std::string encodeName(const char* who, Size s, int q)
{
    return std::string(who) + "/encode/" + std::to_string(s.w) + "x" + std::to_string(s.h) + "/q" +
           std::to_string(q);
}

void registerTurbo(const char* who, const std::vector<std::uint8_t>& gateFrame)
{
    for (Size s : kSizes) {
        for (int q : kQualities) {
            const std::string name = encodeName(who, s, q);
            benchmark::RegisterBenchmark(name.c_str(), [name, s, q](benchmark::State& state) {
                static Frame* frames[2] = {};
                Frame*& f = frames[s.w == 640 ? 0 : 1];
                if (!f) {
                    f = new Frame(s.w, s.h);
                }
                timeBest(state, name, double(s.w) * s.h, [&] { return turboEncode(*f, q); });
            })->Unit(benchmark::kMillisecond);
        }
    }
    const std::string name = std::string(who) + "/decode/640x480";
    benchmark::RegisterBenchmark(name.c_str(), [name, gateFrame](benchmark::State& state) {
        std::vector<std::uint8_t> pixels;
        timeBest(state, name, 640.0 * 480, [&] { return turboDecode(gateFrame, pixels); });
    })->Unit(benchmark::kMicrosecond);
}

std::vector<std::uint8_t> makeGateFrame()
{
    Frame f(640, 480);
    void* block = nullptr;
    std::vector<std::uint8_t> out;
    if (img_save_jpeg_mem(&block, &f.desc, 75) == IMG_OK) {
        const auto* p = static_cast<const std::uint8_t*>(block);
        out.assign(p, p + img_block_size(block));
    }
    img_block_free(block);
    return out;
}

double best(const std::string& name)
{
    const auto it = g_best.find(name);
    return it == g_best.end() ? 0 : it->second;
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    const std::vector<std::uint8_t> gateFrame = makeGateFrame();

    // Scalar libjpeg-turbo in a child, before this process touches libjpeg.
    int fds[2];
    if (pipe(fds) != 0) {
        return 1;
    }
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        setenv("JSIMD_FORCENONE", "1", 1);
        registerTurbo("turbo-scalar", gateFrame);
        benchmark::RunSpecifiedBenchmarks();
        std::string lines;
        for (const auto& [name, seconds] : g_best) {
            lines += name + " " + std::to_string(seconds) + "\n";
        }
        if (write(fds[1], lines.data(), lines.size()) < 0) {
            _exit(1);
        }
        std::fflush(stdout);
        _exit(0);
    }
    close(fds[1]);
    std::string received;
    char buf[4096];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) {
        received.append(buf, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    for (std::size_t pos = 0; pos < received.size();) {
        const std::size_t end = received.find('\n', pos);
        const std::string line = received.substr(pos, end - pos);
        const std::size_t space = line.find(' ');
        if (space != std::string::npos) {
            g_best[line.substr(0, space)] = std::atof(line.c_str() + space + 1);
        }
        pos = end == std::string::npos ? received.size() : end + 1;
    }

    // Our encoder in each form, libjpeg-turbo with SIMD, and the header gate.
    struct Form
    {
        const char* who;
        tessivor::jpeg::EncodePath path;
    };
    const Form forms[] = {{"ours", tessivor::jpeg::EncodePath::Best},
                          {"ours-plain", tessivor::jpeg::EncodePath::Plain},
                          {"ours-sse2", tessivor::jpeg::EncodePath::Sse2}};
    for (const Form& form : forms) {
        for (Size s : kSizes) {
            for (int q : kQualities) {
                const std::string name = encodeName(form.who, s, q);
                benchmark::RegisterBenchmark(name.c_str(), [name, s, q, form](benchmark::State& state) {
                    if (!tessivor::jpeg::forceEncodePath(form.path)) {
                        state.SkipWithError("form not available on this processor");
                        return;
                    }
                    Frame f(s.w, s.h);
                    timeBest(state, name, double(s.w) * s.h, [&] {
                        void* block = nullptr;
                        const bool ok = img_save_jpeg_mem(&block, &f.desc, q) == IMG_OK;
                        img_block_free(block);
                        return ok;
                    });
                    tessivor::jpeg::forceEncodePath(tessivor::jpeg::EncodePath::Best);
                })->Unit(benchmark::kMillisecond);
            }
        }
    }
    registerTurbo("turbo-simd", gateFrame);
    benchmark::RegisterBenchmark("ours/info_mem/640x480", [gateFrame](benchmark::State& state) {
        timeBest(state, "ours/info_mem/640x480", 640.0 * 480, [&] {
            img_info info;
            return img_jpeg_info_mem(gateFrame.data(), static_cast<std::uint32_t>(gateFrame.size()), &info) ==
                   IMG_OK;
        });
    })->Unit(benchmark::kMicrosecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::printf("\nEncoder throughput, ours / libjpeg-turbo (fastest call each; target >= 0.6 of SIMD):\n");
    for (Size s : kSizes) {
        for (int q : kQualities) {
            const double scalar = best(encodeName("turbo-scalar", s, q));
            const double simd = best(encodeName("turbo-simd", s, q));
            for (const Form& form : forms) {
                const double ours = best(encodeName(form.who, s, q));
                if (ours > 0 && scalar > 0 && simd > 0) {
                    std::printf(
                        "  %4ux%-4u q%-3d %-10s %6.2f ms  scalar %6.2f ms  simd %6.2f ms  vs scalar %.2f  "
                        "vs simd %.2f\n",
                        s.w, s.h, q, form.who, ours * 1e3, scalar * 1e3, simd * 1e3, scalar / ours,
                        simd / ours);
                }
            }
        }
    }
    const double gate = best("ours/info_mem/640x480");
    const double decodeSimd = best("turbo-simd/decode/640x480");
    const double decodeScalar = best("turbo-scalar/decode/640x480");
    if (gate > 0 && decodeSimd > 0 && decodeScalar > 0) {
        std::printf(
            "Header gate on a 640x480 frame (%zu bytes): %.2f us = %.2f%% of a SIMD decode (%.0f us), "
            "%.2f%% of a scalar decode (%.0f us); target <= 2%%\n",
            gateFrame.size(), gate * 1e6, 100 * gate / decodeSimd, decodeSimd * 1e6,
            100 * gate / decodeScalar, decodeScalar * 1e6);
    }
    return 0;
}
