// The floor the frame benchmarks measure against: libjpeg-turbo decoding a JPEG into RGB rows,
// with nothing else around it; and the CPU clocks the live benchmarks measure with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <jpeglib.h>
#include <sys/resource.h>
#include <vector>

// Decodes the `size` bytes at `jpeg` into `rgb`, which holds width x height x 3 bytes of the picture.
inline void bareDecode(const std::uint8_t* jpeg, std::size_t size, std::vector<std::uint8_t>& rgb)
{
    jpeg_decompress_struct d{};
    jpeg_error_mgr err{};
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, jpeg, static_cast<unsigned long>(size));
    jpeg_read_header(&d, TRUE);
    jpeg_start_decompress(&d);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = &rgb[d.output_scanline * d.output_width * 3];
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
}

inline void bareDecode(const std::vector<std::uint8_t>& jpeg, std::vector<std::uint8_t>& rgb)
{
    bareDecode(jpeg.data(), jpeg.size(), rgb);
}

// The measured time of the live benchmarks: TESSIVOR_BENCH_SECONDS, else 60 s.
inline double benchSeconds()
{
    const char* env = std::getenv("TESSIVOR_BENCH_SECONDS");
    return env ? std::atof(env) : 60.0;
}

// CPU seconds of the calling thread.
inline double threadCpuSeconds()
{
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// CPU seconds of the whole process (user and system, all threads).
inline double processCpuSeconds()
{
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// CPU seconds of one bare decode of `jpeg` (a width x height picture), averaged over `rounds`.
inline double bareDecodeSeconds(const std::vector<std::uint8_t>& jpeg, int width, int height,
                                int rounds = 300)
{
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
    const double start = threadCpuSeconds();
    for (int i = 0; i < rounds; ++i) {
        bareDecode(jpeg, rgb);
        // Keeps the decode from being optimised away.
        asm volatile("" : : "r"(rgb.data()) : "memory");
    }
    return (threadCpuSeconds() - start) / rounds;
}
