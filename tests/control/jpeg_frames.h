// Test frames made with the system libjpeg's compressor (grey, YCbCr, RGB, CMYK and YCCK, with
// chosen densities), and a plain libjpeg decode to compare against.
#pragma once

#include <cstdint>
#include <vector>

namespace jpegtest {

// Samples top-down, `components` bytes per pixel.
struct RawImage
{
    int width = 0;
    int height = 0;
    int components = 3;
    std::vector<std::uint8_t> samples;

    std::uint8_t* at(int x, int y)
    {
        return &samples[(static_cast<std::size_t>(y) * width + x) * components];
    }
    const std::uint8_t* at(int x, int y) const
    {
        return &samples[(static_cast<std::size_t>(y) * width + x) * components];
    }
};

enum class JpegColour
{
    Grey,  // 1 component in and out
    YCbCr, // RGB in
    Rgb,   // RGB in, stored as RGB with an Adobe marker
    Cmyk,  // CMYK in, stored as CMYK with an Adobe marker (transform 0)
    Ycck,  // CMYK in, stored as YCCK with an Adobe marker (transform 2)
};

struct JpegOptions
{
    JpegColour colour = JpegColour::YCbCr;
    int quality = 90;
    bool progressive = false;
    bool fullChroma = false; // every component sampled 1x1
    // JFIF density; unit -1 leaves libjpeg's default (0, 1:1).
    int densityUnit = -1;
    int xDensity = 1;
    int yDensity = 1;
};

// A smooth picture with `components` bytes per pixel whose pattern depends on `seed`.
RawImage makeImage(int width, int height, int components, int seed);

std::vector<std::uint8_t> compressJpeg(const RawImage& image, const JpegOptions& options);

// libjpeg's own decode to `outColourSpace` (a J_COLOR_SPACE value); empty on any error.
RawImage decompressJpeg(const std::vector<std::uint8_t>& jpeg, int outColourSpace);

} // namespace jpegtest
