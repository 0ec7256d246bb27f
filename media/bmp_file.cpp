// Windows bitmap files (see bmp_file.h).
#include "media/bmp_file.h"

#include "platform/dib.h"

#include <algorithm>

namespace tessivor {

namespace {

constexpr std::uint32_t kFileHeaderBytes = 14;
constexpr std::int32_t kPixelsPerMetre = 2835; // 72 dpi

void put16(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

} // namespace

std::vector<std::uint8_t> bmpFileBytes(const DibView& picture)
{
    const bool indexed = picture.bitCount <= 8;
    if (!picture.usable() || (indexed && (!picture.palette || picture.colours <= 0)))
        return {};
    const std::uint32_t colours =
        indexed ? std::min(static_cast<std::uint32_t>(picture.colours), 1u << picture.bitCount) : 0;
    // The rows are written at the DIB's own width, whatever padding the view's stride carries.
    const std::uint32_t rowBytes =
        dibStride(static_cast<std::uint32_t>(picture.width), static_cast<std::uint32_t>(picture.bitCount));
    const std::uint32_t height = static_cast<std::uint32_t>(picture.height);
    const std::uint32_t imageBytes = rowBytes * height;
    const std::uint32_t offBits = kFileHeaderBytes + sizeof(BitmapInfoHeader) + colours * sizeof(RgbQuad);

    BitmapInfoHeader info;
    info.biWidth = picture.width;
    info.biHeight = picture.bottomUp ? picture.height : -picture.height;
    info.biBitCount = static_cast<std::uint16_t>(picture.bitCount);
    info.biSizeImage = imageBytes;
    info.biXPelsPerMeter = kPixelsPerMetre;
    info.biYPelsPerMeter = kPixelsPerMetre;
    info.biClrUsed = colours;

    std::vector<std::uint8_t> out;
    out.reserve(offBits + imageBytes);
    out.push_back('B');
    out.push_back('M');
    put32(out, offBits + imageBytes);
    put32(out, 0); // reserved
    put32(out, offBits);
    const auto* header = reinterpret_cast<const std::uint8_t*>(&info);
    out.insert(out.end(), header, header + sizeof info);
    if (colours > 0) {
        const auto* table = reinterpret_cast<const std::uint8_t*>(picture.palette);
        out.insert(out.end(), table, table + colours * sizeof(RgbQuad));
    }
    for (std::uint32_t row = 0; row < height; ++row) {
        const std::uint8_t* from = picture.bits + static_cast<std::size_t>(row) * picture.stride;
        out.insert(out.end(), from, from + rowBytes);
    }
    return out;
}

ReplaceResult writeBmpFile(const std::filesystem::path& file, const DibView& picture)
{
    const std::vector<std::uint8_t> bytes = bmpFileBytes(picture);
    if (bytes.empty())
        return ReplaceResult::CannotCreate;
    return replaceFileContents(file, bytes.data(), bytes.size());
}

} // namespace tessivor
