// Drawing images into frame targets (see img_display.h).
#include "imagelib/img_display.h"

#include "imagelib/img_colour.h"
#include "imagelib/img_frame.h"
#include "imagelib/img_resize.h"
#include "platform/frame_target.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

using tessivor::FrameTarget;
using tessivor::Handle;

namespace {

std::shared_ptr<FrameTarget> drawTargetOf(Handle window, Handle dc)
{
    auto t = tessivor::frameTargets::find(dc);
    return t ? t : tessivor::frameTargets::find(window);
}

std::shared_ptr<FrameTarget> clientTargetOf(Handle window, Handle dc)
{
    auto t = tessivor::frameTargets::find(window);
    return t ? t : tessivor::frameTargets::find(dc);
}

tessivor::DibView viewOf(const img_desc* desc)
{
    tessivor::DibView v;
    v.width = static_cast<int>(img_width(desc));
    v.height = static_cast<int>(img_height(desc));
    v.bottomUp = true;
    v.bitCount = static_cast<int>(img_bits(desc));
    v.stride = desc->bytesPerRow;
    v.bits = desc->pixels;
    v.palette = desc->palette;
    // Indices beyond the colours in use read as black rather than past the palette.
    v.colours = static_cast<int>(std::min(desc->colourCount, img_color_count(desc->header)));
    return v;
}

} // namespace

std::int32_t img_make_palette(img_desc* desc, Handle* palette)
{
    if (palette)
        *palette = 0;
    if (!desc || !desc->header || !palette)
        return IMG_ERR_ARGUMENT;
    if (desc->colourCount == 0)
        img_set_gray_palette(desc);
    if (desc->colourCount == 0 || !desc->palette)
        return IMG_OK;
    return img_entry([&] {
        const std::uint32_t n = std::min(desc->colourCount, img_color_count(desc->header));
        *palette = tessivor::logicalPalettes::create(
            std::vector<tessivor::RgbQuad>(desc->palette, desc->palette + n));
        return IMG_OK;
    });
}

std::int32_t img_display(Handle window, Handle dc, Handle* palette, std::int32_t sourceX,
                         std::int32_t sourceY, img_desc* desc)
{
    return img_display_at(window, dc, palette, sourceX, sourceY, desc, 0, 0);
}

std::int32_t img_display_at(Handle window, Handle dc, Handle* palette, std::int32_t sourceX,
                            std::int32_t sourceY, img_desc* desc, std::int32_t destX, std::int32_t destY)
{
    if (palette)
        *palette = 0;
    std::int32_t r = img_validate_1_8_16_24(desc);
    if (r != IMG_OK)
        return r;
    const auto target = drawTargetOf(window, dc);
    const auto client = clientTargetOf(window, dc);
    if (!target || !client)
        return IMG_OK; // a window that is gone: nothing to draw into

    Handle made = 0;
    if ((r = img_make_palette(desc, &made)) != IMG_OK)
        return r;
    std::vector<tessivor::RgbQuad> previous;
    if (made) {
        previous = target->palette();
        target->realizePalette(*tessivor::logicalPalettes::find(made));
    }

    const std::int64_t rows = std::min<std::int64_t>(std::int64_t{img_height(desc)} - sourceY,
                                                     std::int64_t{client->height()} - destY);
    const std::int64_t columns = std::min<std::int64_t>(std::int64_t{img_width(desc)} - sourceX,
                                                        std::int64_t{client->width()} - destX);
    if (rows > 0 && columns > 0)
        target->blit(destX, destY, static_cast<int>(columns), static_cast<int>(rows), sourceX, sourceY,
                     viewOf(desc));

    if (made) {
        target->realizePalette(std::move(previous));
        if (palette)
            *palette = made;
        else
            tessivor::logicalPalettes::destroy(made);
    }
    return IMG_OK;
}

std::int32_t img_display_resized(Handle window, Handle dc, Handle* palette, img_desc* desc,
                                 std::uint32_t width, std::uint32_t height)
{
    if (palette)
        *palette = 0;
    ImgScaledRows rows;
    const std::int32_t r = rows.open(desc, width, height);
    if (r != IMG_OK)
        return r;
    if (rows.bytesPerPixel() != 3)
        return IMG_ERR_DEPTH;
    const auto target = drawTargetOf(window, dc);
    const auto client = clientTargetOf(window, dc);
    if (!target || !client)
        return IMG_OK;
    // As img_display_at clips the resized image to the client rectangle.
    const std::int64_t shownRows = std::min<std::int64_t>(height, client->height());
    const std::int64_t shownColumns = std::min<std::int64_t>(width, client->width());
    if (shownRows <= 0 || shownColumns <= 0)
        return IMG_OK;
    const auto columns = static_cast<std::uint32_t>(shownColumns);
    // A client narrower than the image: each row is built whole here and its first columns drawn.
    ImgWork<std::uint8_t> whole;
    if (columns < width && !(whole = img_work_array_unfilled<std::uint8_t>(std::size_t{width} * 3)))
        return IMG_ERR_NO_MEMORY;
    target->drawRows(0, 0, static_cast<int>(columns), static_cast<int>(shownRows),
                     [&](int y, std::uint8_t* bgr) {
                         if (!whole) {
                             rows.row(static_cast<std::uint32_t>(y), bgr);
                             return;
                         }
                         rows.row(static_cast<std::uint32_t>(y), whole.get());
                         std::memcpy(bgr, whole.get(), std::size_t{columns} * 3);
                     });
    return IMG_OK;
}

std::int32_t img_reduce_visible(Handle window, std::int32_t sourceX, std::int32_t sourceY, std::int32_t destX,
                                std::int32_t destY, std::int32_t deviceDepth, img_desc* desc, img_desc* out,
                                std::int32_t ditherMode)
{
    if (!out)
        return IMG_ERR_ARGUMENT;
    img_clear_desc(out);
    std::int32_t r = img_validate_1_8_16_24(desc);
    if (r != IMG_OK)
        return r;
    const auto client = tessivor::frameTargets::find(window);
    const std::int64_t clientW = client ? client->width() : 0, clientH = client ? client->height() : 0;
    const std::int64_t lastX =
        std::min<std::int64_t>(sourceX + clientW - destX - 1, std::int64_t{img_width(desc)} - 1);
    const std::int64_t lastY =
        std::min<std::int64_t>(sourceY + clientH - destY - 1, std::int64_t{img_height(desc)} - 1);
    if (sourceX < 0 || sourceY < 0 || lastX < sourceX || lastY < sourceY)
        return IMG_ERR_ARGUMENT; // nothing of the image is visible
    if ((r = img_alloc(out, static_cast<std::uint32_t>(lastX - sourceX + 1),
                       static_cast<std::uint32_t>(lastY - sourceY + 1), 8)) != IMG_OK)
        return r;
    img_desc visible;
    img_copy_desc(desc, &visible);
    img_set_area(&visible, static_cast<std::uint32_t>(sourceX), static_cast<std::uint32_t>(sourceY),
                 static_cast<std::uint32_t>(lastX), static_cast<std::uint32_t>(lastY));
    const bool palette256 = deviceDepth >= 8;
    if (ditherMode == 2)
        r = img_dither_diffuse(&visible, out, palette256);
    else if (ditherMode != 0 || deviceDepth < 8)
        r = img_dither_ordered(&visible, out, palette256);
    else
        r = img_reduce_to_palette(256, &visible, out, 2);
    if (r != IMG_OK)
        img_free(out);
    return r;
}

std::int32_t img_display_ex(Handle window, Handle dc, Handle* palette, std::int32_t pictureX,
                            std::int32_t pictureY, img_desc* desc, std::int32_t targetX, std::int32_t targetY,
                            std::int32_t ditherMode)
{
    if (palette)
        *palette = 0;
    std::int32_t r = img_validate_1_8_16_24(desc);
    if (r != IMG_OK)
        return r;
    std::int32_t sourceX = pictureX - targetX, destX = 0;
    if (sourceX < 0) {
        sourceX = 0;
        destX = targetX - pictureX;
    }
    std::int32_t sourceY = pictureY - targetY, destY = 0;
    if (sourceY < 0) {
        sourceY = 0;
        destY = targetY - pictureY;
    }
    const auto target = drawTargetOf(window, dc);
    if (!target)
        return IMG_OK;
    const int depth = target->depth();
    const std::uint32_t bits = img_bits(desc);
    const bool reduce = (bits == 24 && depth == 8) ||
                        (depth <= 4 && bits >= 8 && (desc->colourCount == 0 || desc->colourCount > 16));
    if (!reduce)
        return img_display_at(window, dc, palette, sourceX, sourceY, desc, destX, destY);

    ImgTempImage reduced;
    const Handle clientHandle = tessivor::frameTargets::find(window) ? window : dc;
    if ((r = img_reduce_visible(clientHandle, sourceX, sourceY, destX, destY, depth, desc, reduced.get(),
                                ditherMode)) != IMG_OK)
        return r;
    return img_display_at(window, dc, palette, 0, 0, reduced.get(), destX, destY);
}
