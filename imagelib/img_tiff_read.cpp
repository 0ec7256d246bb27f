// TIFF load entries and queries (see img_tiff.h).
//
// Every strip is read from its own offset, no further than its byte count and never beyond the
// end of the source, and decoded alone: a decoder never sees bytes of another strip. Rows that
// were complete before a decoding failure stay in the image.
#include "imagelib/img_bits.h"
#include "imagelib/img_colour_rows.h"
#include "imagelib/img_frame.h"
#include "imagelib/img_tiff.h"
#include "imagelib/tiff_codec.h"
#include "imagelib/tiff_file.h"
#include "imagelib/tiff_module.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

using namespace tessivor::tiff;

namespace {

constexpr std::int32_t kUnsupported = -9;

struct Input
{
    const wchar_t* wide = nullptr;
    const char* name = nullptr;
    const void* data = nullptr;
    std::uint32_t length = 0;
};

std::unique_ptr<StreamSource> openSource(const Input& in)
{
    ImgStreamOps ops;
    const ImgHandle h = img_open_read(in.wide, in.name, in.data, in.length, &ops);
    if (h == IMG_INVALID_HANDLE)
        return nullptr;
    return std::make_unique<StreamSource>(h, ops);
}

// The row coder of a page.
enum class Coder
{
    Plain,
    PackBits,
    Lzw,
    Mh,
    G3,
    G4,
};

Coder chooseCoder(const TiffPageInfo& info)
{
    const std::int32_t bpp = info.bitsPerPixel;
    switch (info.compression) {
    case 1:
        if (bpp == 1 || (bpp >= 4 && bpp <= 6) || bpp == 8 || bpp == 16 || bpp == 24)
            return Coder::Plain;
        break;
    case 32773:
        if (bpp == 1 || (bpp >= 4 && bpp <= 6) || bpp == 8)
            return Coder::PackBits;
        break;
    case 5:
        if (bpp == 1 || bpp == 8 || bpp == 24)
            return Coder::Lzw;
        break;
    case 2:
        if (bpp == 1)
            return Coder::Mh;
        break;
    case 3:
        if (bpp == 1)
            return Coder::G3;
        break;
    case 4:
        if (bpp == 1)
            return Coder::G4;
        break;
    default:
        break;
    }
    img_raise(kUnsupported);
}

// Puts decoded file rows into the image.
class RowStore
{
public:
    RowStore(img_desc* desc, const Directory& dir, bool hasColorMap, bool ccitt)
        : m_desc(desc), m_dir(dir), m_hasColorMap(hasColorMap)
    {
        const TiffPageInfo& info = dir.info;
        const std::uint32_t areaW = imgrows::areaWidth(desc), areaH = imgrows::areaHeight(desc);
        m_pixels =
            static_cast<std::uint32_t>(info.width) < areaW ? static_cast<std::uint32_t>(info.width) : areaW;
        m_rows =
            static_cast<std::uint32_t>(info.height) < areaH ? static_cast<std::uint32_t>(info.height) : areaH;
        m_samples = static_cast<std::uint32_t>(info.samplesPerPixel);
        // 0 must be black in the image: plain rows are inverted unless BlackIsZero, CCITT rows
        // (white runs set) unless WhiteIsZero.
        m_invert = ccitt ? info.photometric != 0 : info.photometric != 1;
    }
    std::uint32_t rows() const { return m_rows; }

    void store(std::uint32_t r, std::uint8_t* row)
    {
        std::uint8_t* to = imgrows::rowOf(m_desc, m_desc->y0 + r);
        const std::uint32_t x0 = m_desc->x0;
        const TiffPageInfo& info = m_dir.info;
        switch (info.bitsPerPixel) {
        case 1:
            if (m_invert)
                for (std::uint32_t i = 0, n = (m_pixels + 7) / 8; i < n; ++i)
                    row[i] = static_cast<std::uint8_t>(~row[i]);
            img_bits_insert(to, x0, m_pixels, row);
            return;
        case 8:
            if (m_samples == 1) {
                std::memcpy(to + x0, row, m_pixels);
            } else {
                for (std::uint32_t i = 0; i < m_pixels; ++i)
                    to[x0 + i] = row[i * m_samples];
            }
            return;
        case 16:
            for (std::uint32_t i = 0; i < m_pixels; ++i) {
                const std::uint8_t* p = row + 2 * i;
                to[2 * (x0 + i)] = m_dir.bigEndian ? p[1] : p[0];
                to[2 * (x0 + i) + 1] = m_dir.bigEndian ? p[0] : p[1];
            }
            return;
        case 24:
            store24(to + std::size_t{x0} * 3, row);
            return;
        default:
            storeNibbles(to + x0, row);
            return;
        }
    }

private:
    void store24(std::uint8_t* to, const std::uint8_t* row) const
    {
        const bool cmyk = m_dir.info.photometric == 5;
        for (std::uint32_t i = 0; i < m_pixels; ++i) {
            const std::uint8_t* p = row + std::size_t{i} * m_samples;
            std::uint8_t r = p[0], g = p[1], b = p[2];
            if (cmyk) {
                const int k = (p[3] * 24) >> 5;
                r = static_cast<std::uint8_t>(p[0] + k > 255 ? 0 : 255 - (p[0] + k));
                g = static_cast<std::uint8_t>(p[1] + k > 255 ? 0 : 255 - (p[1] + k));
                b = static_cast<std::uint8_t>(p[2] + k > 255 ? 0 : 255 - (p[2] + k));
            }
            to[3 * i] = b;
            to[3 * i + 1] = g;
            to[3 * i + 2] = r;
        }
    }

    // 4 to 6 bits a sample, most significant first, to one byte a pixel.
    void storeNibbles(std::uint8_t* to, const std::uint8_t* row) const
    {
        const unsigned bits = static_cast<unsigned>(m_dir.info.bitsPerSample);
        std::uint64_t at = 0;
        for (std::uint32_t i = 0; i < m_pixels; ++i, at += bits) {
            const std::uint32_t byte = static_cast<std::uint32_t>(at >> 3);
            const unsigned window = (static_cast<unsigned>(row[byte]) << 8) | row[byte + 1];
            const unsigned v = (window >> (16 - (at & 7) - bits)) & ((1u << bits) - 1);
            to[i] = static_cast<std::uint8_t>(m_hasColorMap ? v : v << (8 - bits));
        }
    }

    img_desc* m_desc;
    const Directory& m_dir;
    bool m_hasColorMap;
    bool m_invert = false;
    std::uint32_t m_pixels = 0, m_rows = 0, m_samples = 1;
};

// Checks of step 5 and 6 of a load: what the page's layout needs, and the image's depth.
void checkLayout(const Directory& dir, Coder coder, const img_desc* desc)
{
    const TiffPageInfo& info = dir.info;
    if (info.width <= 0 || info.height <= 0)
        img_raise(kNotTiff);
    if (coder == Coder::Lzw && dir.predictor != 1 && dir.predictor != 2)
        img_raise(kUnsupported);
    const std::int32_t spp = info.samplesPerPixel;
    switch (info.bitsPerPixel) {
    case 24: {
        const bool rgb = info.photometric == 2 && (spp == 3 || spp == 4);
        const bool cmyk = info.photometric == 5 && spp == 4;
        if (info.planar != 1 || (!rgb && !cmyk) || info.bitsPerSample != 8)
            img_raise(kUnsupported);
        break;
    }
    case 16:
        if (spp != 1 || info.photometric != 1)
            img_raise(kUnsupported);
        break;
    case 8:
        if (spp != 1 && spp != 2)
            img_raise(kUnsupported);
        break;
    default:
        if (spp != 1)
            img_raise(kUnsupported);
        break;
    }
    if (!dir.stripOffsets.present)
        img_raise(kNotTiff);
    const std::int32_t want = info.bitsPerPixel >= 4 && info.bitsPerPixel <= 6 ? 8 : info.bitsPerPixel;
    if (static_cast<std::int32_t>(img_bits(desc)) != want)
        img_raise(IMG_ERR_DEPTH);
}

// Offsets and byte counts of the strips, each count cut to what the source holds.
void stripTables(ByteSource& src, const Directory& dir, std::vector<std::uint32_t>& offsets,
                 std::vector<std::uint64_t>& counts)
{
    offsets = readArray(src, dir, dir.stripOffsets);
    const std::size_t strips = offsets.size();
    const std::uint64_t length = src.length();
    counts.assign(strips, 0);
    bool useCounts = false;
    std::vector<std::uint32_t> given;
    if (strips > 1 && dir.stripByteCounts.present) {
        given = readArray(src, dir, dir.stripByteCounts);
        useCounts = given.size() >= strips && given[0] <= length;
    }
    for (std::size_t s = 0; s < strips; ++s) {
        const std::uint64_t at = offsets[s];
        std::uint64_t count;
        if (useCounts)
            count = given[s];
        else if (s + 1 < strips && offsets[s + 1] >= at)
            count = offsets[s + 1] - at;
        else
            count = length > at ? length - at : 0;
        counts[s] = at >= length ? 0 : (count < length - at ? count : length - at);
    }
}

void reverseBits(std::uint8_t* p, std::size_t n)
{
    static const auto table = [] {
        std::array<std::uint8_t, 256> t{};
        for (unsigned v = 0; v < 256; ++v) {
            unsigned r = 0;
            for (unsigned b = 0; b < 8; ++b)
                r |= ((v >> b) & 1u) << (7 - b);
            t[v] = static_cast<std::uint8_t>(r);
        }
        return t;
    }();
    for (std::size_t i = 0; i < n; ++i)
        p[i] = table[p[i]];
}

void undoPredictor(std::uint8_t* row, std::size_t bytes, std::uint32_t stride)
{
    for (std::size_t i = stride; i < bytes; ++i)
        row[i] = static_cast<std::uint8_t>(row[i] + row[i - stride]);
}

// Decodes the rows of the page into the image. Raises on the first failure; the rows stored
// before it stay.
void decodePage(ByteSource& src, const Directory& dir, Coder coder, img_desc* desc)
{
    const TiffPageInfo& info = dir.info;
    std::vector<std::uint32_t> offsets;
    std::vector<std::uint64_t> counts;
    stripTables(src, dir, offsets, counts);

    const bool ccitt = coder == Coder::Mh || coder == Coder::G3 || coder == Coder::G4;
    RowStore store(desc, dir, dir.colorMap.present, ccitt);
    const auto width = static_cast<std::uint32_t>(info.width);
    const auto height = static_cast<std::uint32_t>(info.height);
    const std::uint64_t rowBits = std::uint64_t{static_cast<std::uint32_t>(info.bitsPerSample)} *
                                  static_cast<std::uint32_t>(info.samplesPerPixel) * width;
    // Rows beyond 16 MiB are no page this library makes sense of.
    if (rowBits > 8ull * 16 * 1024 * 1024)
        img_raise(kUnsupported);
    const std::size_t rowBytes = static_cast<std::size_t>((rowBits + 7) / 8);
    std::uint32_t perStrip = dir.rowsPerStrip == 0 || dir.rowsPerStrip > height ? height : dir.rowsPerStrip;

    std::unique_ptr<CcittLines> lines;
    std::unique_ptr<CcittDecoder> ccittDecoder;
    if (ccitt) {
        const bool twoD = coder == Coder::G4 || (coder == Coder::G3 && (dir.t4Options & 1));
        lines = std::make_unique<CcittLines>(width, height, twoD);
        const CcittKind kind = coder == Coder::Mh   ? CcittKind::Mh
                               : coder == Coder::G3 ? CcittKind::G3
                                                    : CcittKind::G4;
        ccittDecoder = std::make_unique<CcittDecoder>(*lines, kind, dir.t4Options);
    }
    std::unique_ptr<LzwDecoder> lzw;
    if (coder == Coder::Lzw)
        lzw = std::make_unique<LzwDecoder>();

    // One row more of room: the nibble unpacker looks one byte ahead.
    std::vector<std::uint8_t> row(rowBytes + 8);
    std::vector<std::uint8_t> strip, decoded;
    const std::uint32_t rows = store.rows();
    img_tiff_status_set(0);
    for (std::uint32_t first = 0, s = 0; first < rows; first += perStrip, ++s) {
        if (s >= offsets.size())
            img_raise(kBadData);
        const std::uint32_t inStrip = rows - first < perStrip ? rows - first : perStrip;
        strip.resize(static_cast<std::size_t>(counts[s]));
        if (!src.readAt(offsets[s], strip.data(), strip.size()))
            img_raise(kNotTiff);
        if (dir.fillOrder == 2)
            reverseBits(strip.data(), strip.size());
        const std::uint8_t* in = strip.data();
        const std::size_t available = strip.size();

        if (coder == Coder::Lzw) {
            // The whole strip at once, into a buffer no larger than its data can fill.
            const std::size_t want = rowBytes * inStrip;
            decoded.resize(std::min(want, LzwDecoder::bound(available)));
            std::size_t got = 0;
            bool failed = false;
            try {
                got = lzw->decodeStrip(in, available, decoded.data(), decoded.size());
            } catch (const ImgError&) {
                got = lzw->produced();
                failed = true;
            }
            const std::size_t complete = got / rowBytes;
            for (std::size_t r = 0; r < complete; ++r) {
                std::uint8_t* data = decoded.data() + r * rowBytes;
                if (dir.predictor == 2)
                    undoPredictor(data, rowBytes, static_cast<std::uint32_t>(info.samplesPerPixel));
                store.store(first + static_cast<std::uint32_t>(r), data);
            }
            if (failed || complete < inStrip)
                img_raise(kBadData);
            continue;
        }
        if (ccitt)
            ccittDecoder->startStrip(in, available);
        std::size_t used = 0;
        for (std::uint32_t r = 0; r < inStrip; ++r) {
            switch (coder) {
            case Coder::Plain:
                if (available - used < rowBytes)
                    img_raise(kBadData);
                std::memcpy(row.data(), in + used, rowBytes);
                used += rowBytes;
                break;
            case Coder::PackBits:
                used += packbitsDecode(in + used, available - used, row.data(), rowBytes);
                break;
            default:
                ccittDecoder->decodeRow(row.data());
                break;
            }
            store.store(first + r, row.data());
        }
    }
}

// The palette step after a load that decoded (in full or in part).
void loadPalette(ByteSource& src, const Directory& dir, img_desc* desc)
{
    std::array<tessivor::RgbQuad, 256> entries{};
    std::int32_t count = 0;
    if (desc->palette) {
        try {
            count = readPalette(src, dir, entries.data());
        } catch (const ImgError&) {
            count = 0;
        }
        const auto room = static_cast<std::int32_t>(img_color_count(desc->header));
        if (count > room)
            count = room;
        for (std::int32_t i = 0; i < count; ++i)
            desc->palette[i] = entries[static_cast<std::size_t>(i)];
        desc->colourCount = static_cast<std::uint32_t>(count);
    }
    desc->typeFlags &= ~IMG_TYPE_GRAY;
    if (count == 0)
        img_set_gray_palette(desc);
    else if (img_is_gray(desc))
        desc->typeFlags |= IMG_TYPE_GRAY;
    img_push_palette(desc);
}

std::int32_t loadTiff(const Input& input, img_desc* desc, std::int32_t page, PageBy by)
{
    const std::int32_t valid = img_validate_1_8_16_24(desc);
    if (valid != IMG_OK)
        return valid;
    auto lock = img_module_lock(ImgModule::Tiff);
    auto src = openSource(input);
    if (!src)
        return IMG_ERR_OPEN_INPUT;
    Directory dir;
    Coder coder = Coder::Plain;
    std::int32_t r = img_entry([&]() -> std::int32_t {
        dir = selectPage(*src, page, by);
        coder = chooseCoder(dir.info);
        checkLayout(dir, coder, desc);
        return IMG_OK;
    });
    if (r != IMG_OK)
        return r;
    r = img_entry([&]() -> std::int32_t {
        decodePage(*src, dir, coder, desc);
        return IMG_OK;
    });
    if (r == IMG_OK || r == kBadData)
        loadPalette(*src, dir, desc);
    return r;
}

std::int32_t pageInfo(const Input& input, TiffPageInfo* info, std::int32_t page, PageBy by)
{
    if (!info)
        return IMG_ERR_ARGUMENT;
    auto lock = img_module_lock(ImgModule::Tiff);
    auto src = openSource(input);
    if (!src)
        return IMG_ERR_OPEN_INPUT;
    return img_entry([&]() -> std::int32_t {
        *info = selectPage(*src, page, by).info;
        return IMG_OK;
    });
}

std::int32_t pageResolution(const Input& input, std::int32_t* x, std::int32_t* y, std::int32_t* unit,
                            std::int32_t index, PageBy by)
{
    auto lock = img_module_lock(ImgModule::Tiff);
    auto src = openSource(input);
    if (!src)
        return IMG_ERR_OPEN_INPUT;
    return img_entry([&]() -> std::int32_t {
        const Directory dir = selectPage(*src, index, by);
        if (x)
            *x = static_cast<std::int32_t>(dir.xResolution);
        if (y)
            *y = static_cast<std::int32_t>(dir.yResolution);
        if (unit)
            *unit = static_cast<std::int32_t>(dir.resolutionUnit);
        return IMG_OK;
    });
}

std::int32_t pagePalette(const Input& input, tessivor::RgbQuad* palette, std::int32_t page, PageBy by)
{
    if (!palette)
        return IMG_ERR_ARGUMENT;
    auto lock = img_module_lock(ImgModule::Tiff);
    auto src = openSource(input);
    if (!src)
        return IMG_ERR_OPEN_INPUT;
    return img_entry(
        [&]() -> std::int32_t { return readPalette(*src, selectPage(*src, page, by), palette); });
}

std::int32_t pageCount(const Input& input, std::int32_t* count, std::int32_t* numbers, std::int32_t capacity)
{
    auto lock = img_module_lock(ImgModule::Tiff);
    auto src = openSource(input);
    if (!src)
        return IMG_ERR_OPEN_INPUT;
    return img_entry([&]() -> std::int32_t {
        std::int32_t n = 0;
        std::int64_t number = -1;
        bool numbered = false;
        walkChain(*src, [&](const Directory& dir) {
            if (dir.hasPageNumber) {
                numbered = true;
                number = dir.pageNumber;
            } else if (!numbered) {
                number = n == 0 ? 0 : number + 1;
            }
            if (numbers && n < capacity)
                numbers[n] = static_cast<std::int32_t>(number);
            ++n;
            return true;
        });
        if (count)
            *count = static_cast<std::int16_t>(n);
        return IMG_OK;
    });
}

Input file(const wchar_t* wide, const char* name)
{
    Input in;
    in.wide = wide;
    in.name = name;
    return in;
}

Input memory(const void* data, std::uint32_t length)
{
    Input in;
    in.data = data;
    in.length = length;
    return in;
}

} // namespace

std::int32_t img_load_tiff_w(const wchar_t* name, img_desc* desc)
{
    return loadTiff(file(name, nullptr), desc, -1, PageBy::First);
}
std::int32_t img_load_tiff(const char* name, img_desc* desc)
{
    return loadTiff(file(nullptr, name), desc, -1, PageBy::First);
}
std::int32_t img_load_tiff_page_w(const wchar_t* name, img_desc* desc, std::int32_t page)
{
    return loadTiff(file(name, nullptr), desc, page, PageBy::Number);
}
std::int32_t img_load_tiff_page(const char* name, img_desc* desc, std::int32_t page)
{
    return loadTiff(file(nullptr, name), desc, page, PageBy::Number);
}
std::int32_t img_load_tiff_index_w(const wchar_t* name, img_desc* desc, std::int32_t index)
{
    return loadTiff(file(name, nullptr), desc, index, PageBy::Index);
}
std::int32_t img_load_tiff_index(const char* name, img_desc* desc, std::int32_t index)
{
    return loadTiff(file(nullptr, name), desc, index, PageBy::Index);
}
std::int32_t img_load_tiff_mem(const void* data, std::uint32_t length, img_desc* desc)
{
    if (!data || !length) {
        const std::int32_t valid = img_validate_1_8_16_24(desc);
        return valid != IMG_OK ? valid : IMG_ERR_OPEN_INPUT;
    }
    return loadTiff(memory(data, length), desc, -1, PageBy::First);
}

std::int32_t img_tiff_info_w(const wchar_t* name, TiffPageInfo* info)
{
    return pageInfo(file(name, nullptr), info, -1, PageBy::First);
}
std::int32_t img_tiff_info(const char* name, TiffPageInfo* info)
{
    return pageInfo(file(nullptr, name), info, -1, PageBy::First);
}
std::int32_t img_tiff_info_mem(const void* data, std::uint32_t length, TiffPageInfo* info)
{
    return pageInfo(memory(data, length), info, -1, PageBy::First);
}
std::int32_t img_tiff_page_info_w(const wchar_t* name, TiffPageInfo* info, std::int32_t page)
{
    return pageInfo(file(name, nullptr), info, page, PageBy::Number);
}
std::int32_t img_tiff_page_info(const char* name, TiffPageInfo* info, std::int32_t page)
{
    return pageInfo(file(nullptr, name), info, page, PageBy::Number);
}
std::int32_t img_tiff_index_info_w(const wchar_t* name, TiffPageInfo* info, std::int32_t index)
{
    return pageInfo(file(name, nullptr), info, index, PageBy::Index);
}
std::int32_t img_tiff_index_info(const char* name, TiffPageInfo* info, std::int32_t index)
{
    return pageInfo(file(nullptr, name), info, index, PageBy::Index);
}
std::int32_t img_tiff_resolution_w(const wchar_t* name, std::int32_t* x, std::int32_t* y, std::int32_t* unit)
{
    return pageResolution(file(name, nullptr), x, y, unit, -1, PageBy::First);
}
std::int32_t img_tiff_resolution(const char* name, std::int32_t* x, std::int32_t* y, std::int32_t* unit)
{
    return pageResolution(file(nullptr, name), x, y, unit, -1, PageBy::First);
}
std::int32_t img_tiff_index_resolution_w(const wchar_t* name, std::int32_t* x, std::int32_t* y,
                                         std::int32_t* unit, std::int32_t index)
{
    return pageResolution(file(name, nullptr), x, y, unit, index, PageBy::Index);
}
std::int32_t img_tiff_index_resolution(const char* name, std::int32_t* x, std::int32_t* y, std::int32_t* unit,
                                       std::int32_t index)
{
    return pageResolution(file(nullptr, name), x, y, unit, index, PageBy::Index);
}
std::int32_t img_tiff_page_count_w(const wchar_t* name, std::int32_t* count, std::int32_t* numbers,
                                   std::int32_t capacity)
{
    return pageCount(file(name, nullptr), count, numbers, capacity);
}
std::int32_t img_tiff_page_count(const char* name, std::int32_t* count, std::int32_t* numbers,
                                 std::int32_t capacity)
{
    return pageCount(file(nullptr, name), count, numbers, capacity);
}
std::int32_t img_tiff_palette_w(const wchar_t* name, tessivor::RgbQuad* palette)
{
    return pagePalette(file(name, nullptr), palette, -1, PageBy::First);
}
std::int32_t img_tiff_palette(const char* name, tessivor::RgbQuad* palette)
{
    return pagePalette(file(nullptr, name), palette, -1, PageBy::First);
}
std::int32_t img_tiff_palette_mem(const void* data, std::uint32_t length, tessivor::RgbQuad* palette)
{
    return pagePalette(memory(data, length), palette, -1, PageBy::First);
}
std::int32_t img_tiff_page_palette_w(const wchar_t* name, tessivor::RgbQuad* palette, std::int32_t page)
{
    return pagePalette(file(name, nullptr), palette, page, PageBy::Number);
}
std::int32_t img_tiff_page_palette(const char* name, tessivor::RgbQuad* palette, std::int32_t page)
{
    return pagePalette(file(nullptr, name), palette, page, PageBy::Number);
}
std::int32_t img_tiff_index_palette_w(const wchar_t* name, tessivor::RgbQuad* palette, std::int32_t index)
{
    return pagePalette(file(name, nullptr), palette, index, PageBy::Index);
}
std::int32_t img_tiff_index_palette(const char* name, tessivor::RgbQuad* palette, std::int32_t index)
{
    return pagePalette(file(nullptr, name), palette, index, PageBy::Index);
}
