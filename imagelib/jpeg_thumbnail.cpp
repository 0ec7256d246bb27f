// A thumbnail is a small uncompressed picture inside an APP0 segment (JFIF 1.02): RGB triples
// after the JFIF fields, or in a JFXX extension segment RGB triples (0x13) or index bytes after a
// 768-byte RGB palette (0x11). JPEG-coded extension thumbnails (0x10) are not shown. The segment
// length field limits a thumbnail to 65535 bytes with its header.
#include "imagelib/jpeg_thumbnail.h"

#include "imagelib/img_frame.h"
#include "imagelib/img_resize.h"
#include "imagelib/jpeg_error.h"

#include <array>

namespace tessivor::jpeg {

namespace {

const std::uint8_t* pixelAt(const img_desc& d, std::uint32_t x, std::uint32_t y)
{
    return d.pixels + img_pixel_offset(&d, x, y);
}

} // namespace

std::int32_t makeThumbnailSegment(img_desc* source, int longSide, std::vector<std::uint8_t>& segment)
{
    const std::uint32_t w = source->x1 - source->x0 + 1;
    const std::uint32_t h = source->y1 - source->y0 + 1;
    std::uint32_t tw;
    std::uint32_t th;
    if (w > h) {
        tw = static_cast<std::uint32_t>(longSide);
        th = static_cast<std::uint32_t>(longSide) * h / w;
    } else {
        tw = static_cast<std::uint32_t>(longSide) * w / h;
        th = static_cast<std::uint32_t>(longSide);
    }
    const std::uint32_t bits = img_bits(source);
    const bool grey = bits == 8 && (source->typeFlags & IMG_TYPE_GRAY);
    const std::uint32_t length = grey ? tw * th + 778 : tw * th * 3 + 10;
    if (tw == 0 || th == 0 || length >= 65536) {
        return -70;
    }

    ImgTempImage thumb;
    std::int32_t r = img_alloc(thumb.get(), tw, th, bits);
    if (r != IMG_OK) {
        return r;
    }
    if (bits == 8) {
        img_copy_palette(source, thumb.get()); // smoothing maps back onto the source's colours
    }
    r = img_resize_smooth(source, thumb.get(), 1);
    if (r != IMG_OK) {
        return r;
    }

    segment.clear();
    segment.reserve(length + 2);
    segment.insert(segment.end(), {0xFF, 0xE0, static_cast<std::uint8_t>(length >> 8),
                                   static_cast<std::uint8_t>(length & 0xFF), 'J', 'F', 'X', 'X', 0,
                                   static_cast<std::uint8_t>(grey ? 0x11 : 0x13),
                                   static_cast<std::uint8_t>(tw), static_cast<std::uint8_t>(th)});
    if (grey) {
        const std::uint32_t colours = source->palette ? std::min<std::uint32_t>(source->colourCount, 256) : 0;
        for (std::uint32_t i = 0; i < 256; ++i) {
            const tessivor::RgbQuad q = i < colours ? source->palette[i] : tessivor::RgbQuad{};
            segment.insert(segment.end(), {q.rgbRed, q.rgbGreen, q.rgbBlue});
        }
    }
    const img_desc& t = *thumb.get();
    for (std::uint32_t y = 0; y < th; ++y) {
        for (std::uint32_t x = 0; x < tw; ++x) {
            const std::uint8_t* p = pixelAt(t, x, y);
            if (grey) {
                segment.push_back(*p);
            } else if (bits == 24) {
                segment.insert(segment.end(), {p[2], p[1], p[0]});
            } else {
                const tessivor::RgbQuad q = *p < t.colourCount ? t.palette[*p] : tessivor::RgbQuad{};
                segment.insert(segment.end(), {q.rgbRed, q.rgbGreen, q.rgbBlue});
            }
        }
    }
    return IMG_OK;
}

std::int32_t drawJpegThumbnail(InputWindow& window, const JpegHeader& header, img_desc* desc)
{
    const int kind = header.thumbnailKind;
    if (!header.thumbnailPresent || (kind != 0x11 && kind != 0x13) || header.thumbnailPosition == 0) {
        return IMG_ERR_NO_THUMBNAIL;
    }
    const bool indexed = kind == 0x11;
    const std::uint32_t bits = img_bits(desc);
    if (!indexed && bits == 8) {
        return IMG_ERR_DEPTH;
    }
    const auto tw = static_cast<std::uint32_t>(header.thumbnailWidth);
    const auto th = static_cast<std::uint32_t>(header.thumbnailHeight);

    ImgTempImage thumb;
    std::int32_t r = img_alloc(thumb.get(), tw, th, bits);
    if (r != IMG_OK) {
        return r;
    }
    img_desc& t = *thumb.get();
    r = img_guard(IMG_ERR_JPEG_DECODE, &img_status, [&] {
        std::array<std::uint8_t, 768> palette{};
        window.seekTo(header.thumbnailPosition - (indexed ? palette.size() : 0));
        if (indexed) {
            for (std::uint8_t& b : palette) {
                b = window.byte();
            }
        }
        for (std::uint32_t y = 0; y < th; ++y) {
            std::uint8_t* row = t.pixels + img_pixel_offset(&t, 0, y);
            for (std::uint32_t x = 0; x < tw; ++x) {
                const std::uint8_t* rgb;
                std::uint8_t triple[3];
                if (indexed) {
                    const std::uint8_t index = window.byte();
                    if (bits == 8) {
                        row[x] = index;
                        continue;
                    }
                    rgb = palette.data() + 3 * index;
                } else {
                    triple[0] = window.byte();
                    triple[1] = window.byte();
                    triple[2] = window.byte();
                    rgb = triple;
                }
                row[3 * x] = rgb[2];
                row[3 * x + 1] = rgb[1];
                row[3 * x + 2] = rgb[0];
            }
        }
        if (bits == 8) {
            for (std::size_t i = 0; i < 256; ++i) {
                t.palette[i] = tessivor::RgbQuad{palette[3 * i + 2], palette[3 * i + 1], palette[3 * i], 0};
            }
            t.colourCount = 256;
            t.typeFlags = img_is_gray(&t) ? IMG_TYPE_GRAY : 0;
        }
        return IMG_OK;
    });
    if (r != IMG_OK) {
        return r;
    }

    // The box: the area, cut to the picture's own size; the thumbnail's aspect ratio inside it.
    const std::uint32_t areaW = desc->x1 - desc->x0 + 1;
    const std::uint32_t areaH = desc->y1 - desc->y0 + 1;
    const std::uint32_t boxW = std::min<std::uint32_t>(areaW, static_cast<std::uint32_t>(header.width));
    const std::uint32_t boxH = std::min<std::uint32_t>(areaH, static_cast<std::uint32_t>(header.height));
    std::uint32_t w;
    std::uint32_t h;
    if (static_cast<std::uint64_t>(tw) * boxH / th < boxW) {
        w = static_cast<std::uint32_t>(static_cast<std::uint64_t>(tw) * boxH / th);
        h = boxH;
    } else {
        w = boxW;
        h = static_cast<std::uint32_t>(static_cast<std::uint64_t>(th) * boxW / tw);
    }
    if (w == 0 || h == 0) {
        return IMG_ERR_ARGUMENT;
    }
    img_desc box;
    img_copy_desc(desc, &box);
    img_set_area(&box, desc->x0, desc->y0, desc->x0 + w - 1, desc->y0 + h - 1);
    r = img_resize_smooth(thumb.get(), &box, 0);
    desc->colourCount = box.colourCount; // an 8-bit image takes the thumbnail's palette
    desc->typeFlags = box.typeFlags;
    return r;
}

} // namespace tessivor::jpeg
