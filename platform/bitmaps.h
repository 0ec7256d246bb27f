// Bitmap objects: the bitmaps our layers hold besides frame targets, named by handles. A bitmap
// is either device-dependent (its pixels only: planes and bits per pixel) or a DIB section (a
// DIB with its own header, colour table and rows). describe() answers for any handle what the
// graphics interface's object query would: a DIB section, a bitmap, or nothing; frame targets
// count as device-dependent bitmaps of their depth.
#pragma once

#include "platform/dib.h"
#include "platform/frame_target.h"
#include "platform/handles.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace tessivor {

struct Bitmap
{
    int width = 0, height = 0;
    int planes = 1;
    int bitsPerPixel = 24;          // 1, 4, 8, 16 (5-5-5), 24 or 32
    bool dibSection = false;        // a DIB section: its own colour table and header
    std::uint32_t compression = 0;  // of a DIB section: 0 uncompressed
    std::vector<RgbQuad> colours;   // a DIB section's colour table
    std::vector<std::uint8_t> bits; // bottom-up rows of dibStride(width, planes * bitsPerPixel)

    // A bitmap of the given format with zeroed pixels.
    static Bitmap make(int width, int height, int bitsPerPixel, bool dibSection);
    std::uint32_t stride() const;
    // The pixels as a view for drawing and reading.
    DibView view() const;
};

// What a handle is.
enum class BitmapKind
{
    None,
    Bitmap,     // device-dependent
    DibSection, // with its own colour table
};

struct BitmapInfo
{
    BitmapKind kind = BitmapKind::None;
    int width = 0, height = 0, planes = 1, bitsPerPixel = 0;
    std::uint32_t compression = 0;
};

namespace bitmaps {

Handle create(Bitmap bitmap);
void destroy(Handle handle);
std::shared_ptr<Bitmap> find(Handle handle);
// Bitmap objects and frame targets; BitmapKind::None for any other handle.
BitmapInfo describe(Handle handle);

} // namespace bitmaps

} // namespace tessivor
