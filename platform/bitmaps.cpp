// Bitmap objects (see bitmaps.h).
#include "platform/bitmaps.h"

namespace tessivor {

Bitmap Bitmap::make(int width, int height, int bitsPerPixel, bool dibSection)
{
    Bitmap b;
    b.width = width;
    b.height = height;
    b.bitsPerPixel = bitsPerPixel;
    b.dibSection = dibSection;
    b.bits.assign(static_cast<std::size_t>(b.stride()) * static_cast<std::size_t>(height > 0 ? height : 0),
                  0);
    if (bitsPerPixel <= 8)
        b.colours.assign(std::size_t{1} << bitsPerPixel, RgbQuad{});
    return b;
}

std::uint32_t Bitmap::stride() const
{
    return width > 0 ? dibStride(static_cast<std::uint32_t>(width),
                                 static_cast<std::uint32_t>(planes * bitsPerPixel))
                     : 0;
}

DibView Bitmap::view() const
{
    DibView v;
    v.width = width;
    v.height = height;
    v.bottomUp = true;
    v.bitCount = planes * bitsPerPixel;
    v.stride = stride();
    v.bits = bits.size() >= static_cast<std::size_t>(stride()) * static_cast<std::size_t>(height)
                 ? bits.data()
                 : nullptr;
    v.palette = colours.empty() ? nullptr : colours.data();
    v.colours = static_cast<int>(colours.size());
    return v;
}

namespace bitmaps {

namespace {
HandleTable<Bitmap>& table()
{
    static HandleTable<Bitmap> t;
    return t;
}
} // namespace

Handle create(Bitmap bitmap)
{
    return table().add(std::make_shared<Bitmap>(std::move(bitmap)));
}

void destroy(Handle handle)
{
    table().remove(handle);
}

std::shared_ptr<Bitmap> find(Handle handle)
{
    return table().find(handle);
}

BitmapInfo describe(Handle handle)
{
    BitmapInfo info;
    if (const auto b = find(handle)) {
        info.kind = b->dibSection ? BitmapKind::DibSection : BitmapKind::Bitmap;
        info.width = b->width;
        info.height = b->height;
        info.planes = b->planes;
        info.bitsPerPixel = b->bitsPerPixel;
        info.compression = b->compression;
    } else if (const auto t = frameTargets::find(handle)) {
        info.kind = BitmapKind::Bitmap;
        info.width = t->width();
        info.height = t->height();
        info.bitsPerPixel = t->depth();
    }
    return info;
}

} // namespace bitmaps

} // namespace tessivor
