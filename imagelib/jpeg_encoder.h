// The JPEG encoder's core: turns the pixels of an image area into a JFIF stream written to a
// byte sink, in one of three modes. The library entry points (imagelib/img_jpeg.h) wrap it with the
// image checks, the output stream, the thumbnail and the module lock.
#pragma once

#include "imagelib/jpeg_bitwriter.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tessivor::jpeg {

enum class EncodeMode
{
    Sequential,  // one scan with the tables of T.81 Annex K
    Optimized,   // one scan with tables made for the image (two passes)
    Progressive, // spectral selection and successive approximation, tables per scan
};

enum class PixelKind
{
    Bgr24,    // three bytes blue, green, red
    Indexed8, // palette index; the palette holds blue, green, red, 0 per entry
    Grey8,    // the byte is the sample
};

// The pixels to encode, read only.
struct EncodeImage
{
    int width = 0;
    int height = 0;
    PixelKind kind = PixelKind::Bgr24;
    const std::uint8_t* top = nullptr;     // first pixel of the top row
    std::ptrdiff_t stride = 0;             // from a row to the one below it (negative: bottom-up)
    const std::uint8_t* palette = nullptr; // Indexed8: 256 entries of 4 bytes
};

struct EncodeSettings
{
    int quality = 75;
    EncodeMode mode = EncodeMode::Sequential;
    int densityUnits = 0; // 0 aspect ratio only, 1 dots per inch, 2 dots per cm
    int xDensity = 1;
    int yDensity = 1;
    std::vector<std::uint8_t> extraSegment; // written whole after the JFIF segment (thumbnail)
};

struct EncodeResult
{
    std::int32_t code = 0;       // 0, -3 (a write came short or the pixel pass failed) or -14
    std::int32_t status = 0;     // the internal code that ended the pixel pass, else 0
    bool headersWritten = false; // SOI to SOF (and the tables of the sequential mode) went out
};

// Writes SOI to EOI. Nothing is written after the first failure.
EncodeResult encodeJpeg(const EncodeImage& image, const EncodeSettings& settings, ByteSink& sink);

} // namespace tessivor::jpeg
