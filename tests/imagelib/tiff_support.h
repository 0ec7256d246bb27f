// Support of the TIFF tests: test pictures of every depth, PNM files of libtiff's and netpbm's
// tools, and a small reader of directory entries for checks on the file layout.
#pragma once

#include "image_helpers.h"
#include "jpeg_test_support.h"

#include "imagelib/imagelib.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace tifftest {

using jpegtest::Bytes;

inline std::filesystem::path scratch()
{
    static const std::filesystem::path dir = jpegtest::emptyFolder("tiff-scratch");
    return dir;
}

// Content with long runs, edges and noise in every depth. 8-bit images with `palette` get a
// palette of `colours` colours that is not grey.
inline void fillPicture(img_desc& d, std::uint32_t seed, bool palette = false, std::uint32_t colours = 16)
{
    const auto w = static_cast<std::uint32_t>(d.header->biWidth);
    const auto h = static_cast<std::uint32_t>(d.header->biHeight);
    const std::uint32_t bits = d.header->biBitCount;
    for (std::uint32_t y = 0; y < h; ++y) {
        for (std::uint32_t x = 0; x < w; ++x) {
            std::uint32_t v;
            if (bits == 1)
                v = (x / 37 + y / 11 + seed) % 3 == 0 ? imgtest::pattern(x, y, 1)
                                                      : ((x / 50 + y / 20 + seed) & 1);
            else if (bits == 8)
                v = palette ? (x / 9 + y / 5 + seed) % colours : jpegtest::sample(x, y, 0, seed);
            else if (bits == 16)
                v = jpegtest::sample(x, y, 0, seed) * 251u + jpegtest::sample(x, y, 1, seed);
            else
                v = (std::uint32_t{jpegtest::sample(x, y, 0, seed)} << 16) |
                    (std::uint32_t{jpegtest::sample(x, y, 1, seed)} << 8) | jpegtest::sample(x, y, 2, seed);
            imgtest::set(d, x, y, v);
        }
    }
    if (bits == 8 && palette) {
        for (std::uint32_t i = 0; i < colours; ++i)
            d.palette[i] =
                tessivor::RgbQuad{static_cast<std::uint8_t>(i * 13), static_cast<std::uint8_t>(255 - i * 7),
                                  static_cast<std::uint8_t>(i * 29 % 256), 0};
        d.colourCount = colours;
        d.typeFlags &= ~IMG_TYPE_GRAY;
    }
}

struct Pnm
{
    char kind = 0; // '4' bitmap, '5' grey, '6' colour
    std::uint32_t width = 0, height = 0, maxval = 1;
    Bytes data;
    bool ok = false;

    // Red, green, blue (0 to maxval) of a pixel; a bitmap's 1 (black) reads as 0.
    std::array<std::uint32_t, 3> at(std::uint32_t x, std::uint32_t y) const
    {
        if (kind == '4') {
            const std::uint32_t stride = (width + 7) / 8;
            const std::uint32_t v = ((data[y * stride + x / 8] >> (7 - x % 8)) & 1) ? 0 : 1;
            return {v, v, v};
        }
        const std::uint32_t bytes = maxval > 255 ? 2 : 1;
        const std::uint32_t channels = kind == '6' ? 3 : 1;
        std::array<std::uint32_t, 3> c{};
        for (std::uint32_t k = 0; k < 3; ++k) {
            const std::size_t i = ((std::size_t{y} * width + x) * channels + (channels == 3 ? k : 0)) * bytes;
            c[k] = bytes == 2 ? (data[i] << 8) | data[i + 1] : data[i];
        }
        return c;
    }
};

inline Pnm parsePnm(const Bytes& b)
{
    Pnm p;
    std::size_t i = 0;
    const auto number = [&]() -> std::uint32_t {
        while (i < b.size() && (std::isspace(b[i]) || b[i] == '#')) {
            if (b[i] == '#')
                while (i < b.size() && b[i] != '\n')
                    ++i;
            else
                ++i;
        }
        std::uint32_t v = 0;
        while (i < b.size() && std::isdigit(b[i]))
            v = v * 10 + (b[i++] - '0');
        return v;
    };
    if (b.size() < 3 || b[0] != 'P')
        return p;
    p.kind = static_cast<char>(b[1]);
    i = 2;
    p.width = number();
    p.height = number();
    if (p.kind != '4')
        p.maxval = number();
    ++i; // the one white-space byte before the samples
    if (i > b.size())
        return p;
    p.data.assign(b.begin() + static_cast<std::ptrdiff_t>(i), b.end());
    p.ok = true;
    return p;
}

// A pixel of an image as red, green, blue in the PNM's scale: bitmaps 0 black / 1 white,
// 16-bit samples as they are, palette images through their palette.
inline std::array<std::uint32_t, 3> colourOf(const img_desc& d, std::uint32_t x, std::uint32_t y)
{
    const std::uint32_t v = imgtest::get(d, x, y);
    switch (d.header->biBitCount) {
    case 1: {
        const tessivor::RgbQuad& q = d.palette[v];
        const std::uint32_t white = q.rgbRed ? 1 : 0;
        return {white, white, white};
    }
    case 8: {
        const tessivor::RgbQuad& q = d.palette[v];
        return {q.rgbRed, q.rgbGreen, q.rgbBlue};
    }
    case 16:
        return {v, v, v};
    default:
        return {v & 0xFF, (v >> 8) & 0xFF, v >> 16};
    }
}

// Whether the image's area equals the PNM; the first difference goes to `why`.
inline bool sameAsPnm(const img_desc& d, const Pnm& p, std::string& why)
{
    const std::uint32_t w = d.x1 - d.x0 + 1, h = d.y1 - d.y0 + 1;
    if (!p.ok || p.width != w || p.height != h) {
        why = "size " + std::to_string(p.width) + "x" + std::to_string(p.height);
        return false;
    }
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x) {
            auto a = colourOf(d, d.x0 + x, d.y0 + y);
            auto b = p.at(x, y);
            if (p.kind != '6')
                a = {a[0], a[0], a[0]};
            // tifftopnm keeps the high byte of 16-bit samples (as 257 times it).
            if (d.header->biBitCount == 16)
                for (auto& v : a)
                    v = (v >> 8) * 257;
            if (a != b) {
                why = "pixel " + std::to_string(x) + "," + std::to_string(y) + ": " + std::to_string(a[0]) +
                      " " + std::to_string(a[1]) + " " + std::to_string(a[2]) + " vs " +
                      std::to_string(b[0]) + " " + std::to_string(b[1]) + " " + std::to_string(b[2]);
                return false;
            }
        }
    return true;
}

// tifftopnm of a file, parsed.
inline Pnm tifftopnm(const std::filesystem::path& file)
{
    const auto out = file.string() + ".pnm";
    const auto r =
        jpegtest::run("(tifftopnm " + jpegtest::quote(file) + " 2>/dev/null) > " + jpegtest::quote(out));
    if (r.exitCode != 0)
        return Pnm{};
    return parsePnm(jpegtest::readFile(out));
}

// Whether two images' areas hold the same colours.
inline bool sameImage(const img_desc& a, const img_desc& b, std::string& why)
{
    const std::uint32_t w = a.x1 - a.x0 + 1, h = a.y1 - a.y0 + 1;
    if (w != b.x1 - b.x0 + 1 || h != b.y1 - b.y0 + 1) {
        why = "sizes differ";
        return false;
    }
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x)
            if (colourOf(a, a.x0 + x, a.y0 + y) != colourOf(b, b.x0 + x, b.y0 + y)) {
                why = "pixel " + std::to_string(x) + "," + std::to_string(y);
                return false;
            }
    return true;
}

// The entries of the first directory of a little-endian file: tag -> (type, count, value).
struct Field
{
    std::uint16_t type = 0;
    std::uint32_t count = 0, value = 0;
};
inline std::uint32_t le32(const Bytes& b, std::size_t at)
{
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}
inline std::uint16_t le16(const Bytes& b, std::size_t at)
{
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
inline std::map<std::uint16_t, Field> directoryAt(const Bytes& b, std::uint32_t at)
{
    std::map<std::uint16_t, Field> fields;
    const std::uint16_t n = le16(b, at);
    for (std::uint16_t i = 0; i < n; ++i) {
        const std::size_t e = at + 2 + 12u * i;
        Field f{le16(b, e + 2), le32(b, e + 4), le32(b, e + 8)};
        if (f.type == 3 && f.count == 1)
            f.value &= 0xFFFF;
        fields[le16(b, e)] = f;
    }
    return fields;
}
inline std::map<std::uint16_t, Field> firstDirectory(const Bytes& b)
{
    return directoryAt(b, le32(b, 4));
}

} // namespace tifftest
