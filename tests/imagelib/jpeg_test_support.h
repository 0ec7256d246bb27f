// Support of the JPEG tests: a scratch folder, files, running the independent tools (cjpeg,
// djpeg, jpegtran, jpeginfo from libjpeg-turbo-progs and jpeginfo), test pictures and PNM files.
#pragma once

#include "image_helpers.h"

#include "imagelib/imagelib.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace jpegtest {

using Bytes = std::vector<std::uint8_t>;

// A new, empty folder `name` in the test program's home (or /tmp).
inline std::filesystem::path emptyFolder(const char* name)
{
    const char* home = std::getenv("TESSIVOR_TEST_HOME");
    std::filesystem::path d = std::filesystem::path(home ? home : "/tmp") / name;
    std::filesystem::remove_all(d);
    std::filesystem::create_directories(d);
    return d;
}

// A folder of this test program's own, emptied at first use.
inline std::filesystem::path scratch()
{
    static const std::filesystem::path dir = emptyFolder("jpeg-scratch");
    return dir;
}

inline Bytes readFile(const std::filesystem::path& p)
{
    std::ifstream f(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

inline void writeFile(const std::filesystem::path& p, const Bytes& b)
{
    std::ofstream f(p, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

inline std::string quote(const std::filesystem::path& p)
{
    std::string s = "'";
    for (char c : p.string()) {
        s += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return s + "'";
}

struct RunResult
{
    int exitCode = -1;
    std::string output; // standard output and error together
};

inline RunResult run(const std::string& command)
{
    RunResult r;
    std::FILE* p = ::popen((command + " 2>&1").c_str(), "r");
    if (!p) {
        return r;
    }
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) {
        r.output.append(buf, n);
    }
    const int status = ::pclose(p);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

// Deterministic content with smooth gradients, hard edges and noise, so that the coder meets
// small and large coefficients, long zero runs and every size category.
inline std::uint8_t sample(std::uint32_t x, std::uint32_t y, std::uint32_t channel, std::uint32_t seed)
{
    std::uint32_t h = (x * 73856093u) ^ (y * 19349663u) ^ ((channel + 1) * 83492791u) ^ (seed * 2654435761u);
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    const std::uint32_t region = ((x / 11) + (y / 7) + seed) % 4;
    switch (region) {
    case 0:
        return static_cast<std::uint8_t>((x * (3 + channel) + y * 2 + seed * 40) & 0xFF); // gradient
    case 1:
        return static_cast<std::uint8_t>(h & 0xFF); // noise
    case 2:
        return ((x + y + channel) / 5) % 2 ? 230 : 20; // stripes with edges
    default:
        return static_cast<std::uint8_t>(128 + ((h & 31) - 16) + channel * 20); // flat with grain
    }
}

// Fills the whole image: 24 bits B, G, R; 8 bits one sample (grey) or an index.
inline void fillPicture(img_desc& d, std::uint32_t seed)
{
    const std::uint32_t w = static_cast<std::uint32_t>(d.header->biWidth);
    const std::uint32_t h = static_cast<std::uint32_t>(d.header->biHeight);
    for (std::uint32_t y = 0; y < h; ++y) {
        for (std::uint32_t x = 0; x < w; ++x) {
            std::uint8_t* p = imgtest::pixelAt(d, x, y);
            if (d.header->biBitCount == 24) {
                p[0] = sample(x, y, 0, seed);
                p[1] = sample(x, y, 1, seed);
                p[2] = sample(x, y, 2, seed);
            } else {
                *p = sample(x, y, 1, seed);
            }
        }
    }
}

// The working area as a binary PPM (colour, through the palette for 8-bit colour images) or
// PGM (grey).
inline Bytes toPnm(const img_desc& d)
{
    const std::uint32_t w = d.x1 - d.x0 + 1;
    const std::uint32_t h = d.y1 - d.y0 + 1;
    const bool grey = d.header->biBitCount == 8 && (d.typeFlags & IMG_TYPE_GRAY);
    const std::string head =
        (grey ? "P5\n" : "P6\n") + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    Bytes out(head.begin(), head.end());
    for (std::uint32_t y = d.y0; y <= d.y1; ++y) {
        for (std::uint32_t x = d.x0; x <= d.x1; ++x) {
            const std::uint8_t* p = imgtest::pixelAt(d, x, y);
            if (grey) {
                out.push_back(*p);
            } else if (d.header->biBitCount == 24) {
                out.insert(out.end(), {p[2], p[1], p[0]});
            } else {
                const tessivor::RgbQuad& q = d.palette[*p];
                out.insert(out.end(), {q.rgbRed, q.rgbGreen, q.rgbBlue});
            }
        }
    }
    return out;
}

// The working area's pixels in PNM order (R, G, B or grey), for comparing with a PNM's body.
inline Bytes areaPixels(const img_desc& d)
{
    Bytes pnm = toPnm(d);
    std::size_t lines = 0;
    std::size_t i = 0;
    while (lines < 3 && i < pnm.size()) {
        if (pnm[i++] == '\n') {
            ++lines;
        }
    }
    return Bytes(pnm.begin() + static_cast<std::ptrdiff_t>(i), pnm.end());
}

// Pixel bytes of a binary PNM as the netpbm tools write it (header "P5/P6\nW H\n255\n").
inline Bytes pnmPixels(const Bytes& pnm, int* width = nullptr, int* height = nullptr)
{
    std::size_t i = 0;
    std::string fields[4];
    for (int f = 0; f < 4; ++f) {
        while (i < pnm.size() && std::isspace(pnm[i])) {
            ++i;
        }
        while (i < pnm.size() && !std::isspace(pnm[i])) {
            fields[f] += static_cast<char>(pnm[i++]);
        }
    }
    ++i; // the single white-space byte after the maximum value
    if (width) {
        *width = std::atoi(fields[1].c_str());
    }
    if (height) {
        *height = std::atoi(fields[2].c_str());
    }
    return i <= pnm.size() ? Bytes(pnm.begin() + static_cast<std::ptrdiff_t>(i), pnm.end()) : Bytes();
}

// Takes a block of a memory save and frees it.
inline Bytes takeBlock(void* block)
{
    Bytes b;
    if (block) {
        const auto* p = static_cast<const std::uint8_t*>(block);
        b.assign(p, p + img_block_size(block));
        img_block_free(block);
    }
    return b;
}

} // namespace jpegtest
