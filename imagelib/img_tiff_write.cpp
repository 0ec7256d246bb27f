// TIFF save and append entries (see img_tiff.h).
//
// A page is built in memory: its 272-byte directory block, the strip arrays, the colour map and
// the strips. A file is then written under a temporary name beside the target and renamed over
// it once complete, so that neither a failed save nor a failed append touches an existing file.
#include "imagelib/img_bits.h"
#include "imagelib/img_colour_rows.h"
#include "imagelib/img_frame.h"
#include "imagelib/img_memory.h"
#include "imagelib/img_tiff.h"
#include "imagelib/tiff_codec.h"
#include "imagelib/tiff_file.h"
#include "imagelib/tiff_module.h"
#include "platform/file_replace.h"

#include <atomic>
#include <cstring>
#include <filesystem>
#include <string>

using namespace tessivor::tiff;

namespace {

constexpr std::int32_t kUnsupported = -9;
constexpr std::int32_t kBigEndianAppend = -69;
constexpr std::uint32_t kStripLimit = 16384;
constexpr std::uint32_t kBlockSize = 272;
// The library's name in DocumentName: 15 characters and the NUL that ends them.
constexpr char kDocumentName[16] = "Tessivor imglib";

std::atomic<std::int32_t> g_status{0};
std::atomic<std::uint32_t> g_xResolution{300}, g_yResolution{300}, g_unit{2};

void resetResolution()
{
    g_xResolution = 300;
    g_yResolution = 300;
    g_unit = 2;
}

// The compression a flag choice stands for, and whether the image's depth may use it.
std::uint32_t compressionOf(std::int32_t choice, std::uint32_t bits)
{
    switch (choice) {
    case IMG_TIFF_NONE:
        return 1;
    case IMG_TIFF_LZW:
        return bits == 16 ? 0 : 5;
    case IMG_TIFF_PACKBITS:
        return bits == 1 || bits == 8 ? 32773 : 0;
    case IMG_TIFF_CCITT_MH:
        return bits == 1 ? 2 : 0;
    case IMG_TIFF_CCITT_G4:
        return bits == 1 ? 4 : 0;
    default:
        return 0;
    }
}

void reverseBits(std::uint8_t* p, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) {
        std::uint8_t v = p[i];
        v = static_cast<std::uint8_t>((v & 0xF0) >> 4 | (v & 0x0F) << 4);
        v = static_cast<std::uint8_t>((v & 0xCC) >> 2 | (v & 0x33) << 2);
        p[i] = static_cast<std::uint8_t>((v & 0xAA) >> 1 | (v & 0x55) << 1);
    }
}

struct Entry
{
    std::uint16_t tag, type;
    std::uint32_t count, value;
};

// Appends one page of `desc` at the end of `file` (its directory at P = file.size()).
void buildPage(img_desc* desc, std::int32_t flags, std::uint32_t compression, std::int32_t page,
               std::uint32_t pageTotal, std::vector<std::uint8_t>& file)
{
    const std::uint32_t bits = img_bits(desc);
    const std::uint32_t w = imgrows::areaWidth(desc), h = imgrows::areaHeight(desc);
    const bool oneStrip = flags & IMG_TIFF_ONE_STRIP;
    const bool lsbFirst = bits == 1 && (flags & IMG_TIFF_FILL_LSB);
    // 0 is black in the file: invert when the image's first colour is not black.
    const bool invert = bits == 1 && desc->palette &&
                        (desc->palette[0].rgbBlue || desc->palette[0].rgbGreen || desc->palette[0].rgbRed);
    const bool colourMap = bits == 8 && desc->palette && !(desc->typeFlags & IMG_TYPE_GRAY);
    const std::uint32_t colours = colourMap ? 256 : 0;

    const std::uint64_t rowBytes = bits == 1 ? (std::uint64_t{w} + 7) / 8 : std::uint64_t{bits / 8} * w;
    const std::uint64_t total = rowBytes * h;
    std::uint32_t perStrip = h, strips = 1;
    if (!oneStrip && total > kStripLimit) {
        perStrip = static_cast<std::uint32_t>(kStripLimit / rowBytes);
        if (perStrip == 0)
            perStrip = 1;
        strips = static_cast<std::uint32_t>((total + std::uint64_t{perStrip} * rowBytes - 1) /
                                            (std::uint64_t{perStrip} * rowBytes));
    }
    std::unique_ptr<CcittLines> lines;
    if (compression == 2 || compression == 4)
        lines = std::make_unique<CcittLines>(w, h, compression == 4);

    const std::size_t P = file.size();
    const std::size_t arrays = P + kBlockSize;
    const std::size_t colourMapAt = arrays + (strips > 1 ? 8u * strips : 0u);
    const std::size_t dataAt = P + kBlockSize + 8u * strips + 6u * colours;
    file.resize(dataAt, 0);

    // ---- strips ----
    std::vector<std::uint32_t> offsets(strips + 1, 0);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(rowBytes) + 8);
    std::vector<std::uint8_t> packed(packbitsBound(static_cast<std::size_t>(rowBytes)));
    std::vector<std::uint8_t> stripRows;
    LzwEncoder lzw;
    const auto areaRow = [&](std::uint32_t r) -> const std::uint8_t* {
        const std::uint8_t* from = imgrows::rowOf(desc, desc->y0 + r);
        if (bits == 1) {
            img_bits_extract(from, desc->x0, w, row.data());
            if (invert)
                for (std::size_t i = 0; i < rowBytes; ++i)
                    row[i] = static_cast<std::uint8_t>(~row[i]);
            return row.data();
        }
        from += std::size_t{desc->x0} * (bits / 8);
        if (bits != 24)
            return from;
        for (std::uint32_t i = 0; i < w; ++i) {
            row[3 * i] = from[3 * i + 2];
            row[3 * i + 1] = from[3 * i + 1];
            row[3 * i + 2] = from[3 * i];
        }
        return row.data();
    };
    img_tiff_status_set(0);
    for (std::uint32_t s = 0; s < strips; ++s) {
        const std::uint32_t first = s * perStrip;
        const std::uint32_t count = h - first < perStrip ? h - first : perStrip;
        offsets[s] = static_cast<std::uint32_t>(file.size());
        const std::size_t stripStart = file.size();
        if (compression == 5) {
            stripRows.resize(static_cast<std::size_t>(rowBytes) * count);
            for (std::uint32_t r = 0; r < count; ++r)
                std::memcpy(stripRows.data() + r * rowBytes, areaRow(first + r),
                            static_cast<std::size_t>(rowBytes));
            lzw.encodeStrip(stripRows.data(), stripRows.size(), file);
        } else if (compression == 2 || compression == 4) {
            BitWriter out(file);
            lines->resetReference();
            for (std::uint32_t r = 0; r < count; ++r) {
                if (compression == 2)
                    lines->encodeMh(areaRow(first + r), out);
                else
                    lines->encodeG4(areaRow(first + r), out);
            }
            if (compression == 4)
                CcittLines::endG4Strip(out);
        } else {
            for (std::uint32_t r = 0; r < count; ++r) {
                const std::uint8_t* data = areaRow(first + r);
                if (compression == 32773) {
                    const std::size_t n =
                        packbitsEncode(data, static_cast<std::size_t>(rowBytes), packed.data());
                    file.insert(file.end(), packed.data(), packed.data() + n);
                } else {
                    file.insert(file.end(), data, data + rowBytes);
                }
            }
        }
        if (lsbFirst)
            reverseBits(file.data() + stripStart, file.size() - stripStart);
        if (file.size() > 0xFFFFFFFFull)
            img_raise(IMG_ERR_SAVE);
    }
    offsets[strips] = static_cast<std::uint32_t>(file.size());

    // ---- directory block ----
    std::uint8_t* block = file.data() + P;
    const auto at = [&](std::size_t offset) { return static_cast<std::uint32_t>(P + offset); };
    put32(block + 234, g_xResolution);
    put32(block + 238, 1);
    put32(block + 242, g_yResolution);
    put32(block + 246, 1);
    put16(block + 250, 8);
    put16(block + 252, 8);
    put16(block + 254, 8);
    if (bits != 1)
        std::memcpy(block + 256, kDocumentName, 16);
    if (strips > 1) {
        for (std::uint32_t s = 0; s < strips; ++s) {
            put32(file.data() + arrays + 4u * s, offsets[s]);
            put32(file.data() + arrays + 4u * (strips + s), offsets[s + 1] - offsets[s]);
        }
    }
    if (colourMap) {
        // All 256 entries, red then green then blue; entries past the image's colours are black.
        std::uint8_t* map = file.data() + colourMapAt;
        const std::uint32_t used = desc->colourCount < 256 ? desc->colourCount : 256;
        for (std::uint32_t i = 0; i < used; ++i) {
            put16(map + 2 * i, std::uint32_t{desc->palette[i].rgbRed} << 8);
            put16(map + 2 * (256 + i), std::uint32_t{desc->palette[i].rgbGreen} << 8);
            put16(map + 2 * (512 + i), std::uint32_t{desc->palette[i].rgbBlue} << 8);
        }
    }
    const bool ccitt = compression == 2 || compression == 4;
    const std::uint32_t photometric = bits == 24 ? 2 : ccitt ? 0 : colourMap ? 3 : 1;
    std::vector<Entry> entries = {
        {254, kLong, 1, page >= 0 ? 2u : 0u},
        {255, kShort, 1, page >= 0 ? 3u : 1u},
        {256, kLong, 1, w},
        {257, kLong, 1, h},
        {258, kShort, bits == 24 ? 3u : 1u, bits == 24 ? at(250) : bits},
        {259, kShort, 1, compression},
        {262, kShort, 1, photometric},
        bits == 1 ? Entry{266, kShort, 1, lsbFirst ? 2u : 1u} : Entry{269, kAscii, 16, at(256)},
        {273, kLong, strips, strips > 1 ? static_cast<std::uint32_t>(arrays) : offsets[0]},
        {277, kShort, 1, bits == 24 ? 3u : 1u},
        {278, kLong, 1, perStrip},
        {279, kLong, strips,
         strips > 1 ? static_cast<std::uint32_t>(arrays + 4u * strips) : offsets[1] - offsets[0]},
        {282, kRational, 1, at(234)},
        {283, kRational, 1, at(242)},
        {284, kShort, 1, 1},
        {296, kShort, 1, g_unit},
    };
    if (page >= 0)
        entries.push_back({297, kShort, 2, (static_cast<std::uint32_t>(page) & 0xFFFF) | (pageTotal << 16)});
    if (compression == 5)
        entries.push_back({317, kShort, 1, 1});
    if (colourMap)
        entries.push_back({320, kShort, 3 * colours, static_cast<std::uint32_t>(colourMapAt)});
    put16(block, static_cast<std::uint32_t>(entries.size()));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        std::uint8_t* e = block + 2 + 12 * i;
        put16(e, entries[i].tag);
        put16(e + 2, entries[i].type);
        put32(e + 4, entries[i].count);
        put32(e + 8, entries[i].value);
    }
    put32(block + 2 + 12 * entries.size(), 0);
}

// Writes the file beside `target` and renames it over the target.
std::int32_t replaceFile(const std::string& target, const std::vector<std::uint8_t>& bytes)
{
    switch (tessivor::replaceFileContents(target, bytes.data(), bytes.size())) {
    case tessivor::ReplaceResult::Ok:
        return IMG_OK;
    case tessivor::ReplaceResult::WriteFailed:
        return IMG_ERR_SAVE;
    default:
        return IMG_ERR_CREATE_OUTPUT;
    }
}

std::int32_t pathOf(const wchar_t* wide, const char* name, std::string& path)
{
    if (wide) {
        if (!img_wide_to_utf8(wide, path))
            return IMG_ERR_CREATE_OUTPUT;
    } else if (name) {
        path = name;
    }
    return path.empty() ? IMG_ERR_CREATE_OUTPUT : IMG_OK;
}

// Steps shared by every save: checks, then the lock; `work` builds the file bytes.
template <class Work> std::int32_t save(img_desc* desc, std::int32_t flags, Work&& work)
{
    const std::int32_t valid = img_validate_1_8_16_24(desc);
    if (valid != IMG_OK)
        return valid;
    if ((flags & ~0x3F) || (flags & 0x0F) > IMG_TIFF_CCITT_G4)
        return kUnsupported;
    auto lock = img_module_lock(ImgModule::Tiff);
    const std::uint32_t compression = compressionOf(flags & 0x0F, img_bits(desc));
    if (!compression)
        return kUnsupported;
    try {
        const std::int32_t r = work(compression);
        if (r == IMG_OK)
            resetResolution();
        return r;
    } catch (const ImgError& e) {
        const std::int32_t code = e.code();
        img_tiff_status_set(code);
        if (code == kTooManyChanges || code == kTooLarge || code == IMG_ERR_NO_MEMORY || code == kNotTiff ||
            code == kBigEndianAppend)
            return code;
        return IMG_ERR_SAVE;
    } catch (const std::bad_alloc&) {
        img_tiff_status_set(IMG_ERR_NO_MEMORY);
        return IMG_ERR_NO_MEMORY;
    } catch (...) {
        return IMG_ERR_SAVE;
    }
}

std::vector<std::uint8_t> newFile()
{
    return {'I', 'I', 42, 0, 8, 0, 0, 0};
}

std::int32_t saveFile(const wchar_t* wide, const char* name, img_desc* desc, std::int32_t flags)
{
    return save(desc, flags, [&](std::uint32_t compression) -> std::int32_t {
        std::string path;
        const std::int32_t r = pathOf(wide, name, path);
        if (r != IMG_OK)
            return r;
        std::vector<std::uint8_t> file = newFile();
        buildPage(desc, flags, compression, -1, 0, file);
        return replaceFile(path, file);
    });
}

std::int32_t appendFile(const wchar_t* wide, const char* name, img_desc* desc, std::int32_t flags,
                        std::int32_t page)
{
    if (page < 0)
        return IMG_ERR_ARGUMENT;
    return save(desc, flags, [&](std::uint32_t compression) -> std::int32_t {
        std::string path;
        std::int32_t r = pathOf(wide, name, path);
        if (r != IMG_OK)
            return r;
        std::error_code ec;
        if (!std::filesystem::exists(path, ec)) {
            std::vector<std::uint8_t> file = newFile();
            buildPage(desc, flags, compression, page, 1, file);
            return replaceFile(path, file);
        }
        // The existing file, read whole; it is only ever replaced by a complete new one.
        std::vector<std::uint8_t> file;
        {
            ImgStreamOps ops;
            const ImgHandle h = img_open_read(nullptr, path.c_str(), nullptr, 0, &ops);
            if (h == IMG_INVALID_HANDLE)
                return IMG_ERR_CREATE_OUTPUT;
            StreamSource src(h, ops);
            if (src.length() > 0xFFFF0000ull)
                return kNotTiff;
            file.resize(static_cast<std::size_t>(src.length()));
            if (!src.readAt(0, file.data(), file.size()))
                return kNotTiff;
        }
        MemorySource existing(file.data(), file.size());
        bool bigEndian = false;
        std::uint32_t first = 0;
        readHeader(existing, bigEndian, first);
        if (bigEndian)
            return kBigEndianAppend;
        std::uint32_t pages = 0;
        walkChain(existing, [&](const Directory&) {
            ++pages;
            return true;
        });
        const std::uint32_t total = pages + 1;
        const auto P = static_cast<std::uint32_t>(file.size());
        buildPage(desc, flags, compression, page, total, file);
        // Link the new page and bring every page total up to date.
        MemorySource linked(file.data(), P);
        std::uint32_t seen = 0;
        walkChain(linked, [&](const Directory& dir) {
            const FieldPlace& pn = dir.pageNumberPlace;
            if (dir.hasPageNumber && pn.count >= 2 && pn.type == kShort)
                put16(file.data() + pn.position + 2, total);
            else if (dir.hasPageNumber && pn.count >= 2 && pn.type == kLong)
                put32(file.data() + pn.position + 4, total);
            if (++seen == pages)
                put32(file.data() + dir.nextOffsetPos, P);
            return seen < pages;
        });
        return replaceFile(path, file);
    });
}

} // namespace

void img_tiff_status_set(std::int32_t code)
{
    g_status = img_status_code(code);
}

std::int32_t img_tiff_status()
{
    return img_status_code(g_status.load());
}

void img_tiff_set_resolution(std::int32_t x, std::int32_t y, std::int32_t unit)
{
    if (static_cast<std::uint32_t>(x) < 32768)
        g_xResolution = static_cast<std::uint32_t>(x);
    if (static_cast<std::uint32_t>(y) < 32768)
        g_yResolution = static_cast<std::uint32_t>(y);
    if (unit >= 1 && unit <= 3)
        g_unit = static_cast<std::uint32_t>(unit);
}

std::int32_t img_save_tiff_w(const wchar_t* name, img_desc* desc, std::int32_t flags)
{
    return saveFile(name, nullptr, desc, flags);
}

std::int32_t img_save_tiff(const char* name, img_desc* desc, std::int32_t flags)
{
    return saveFile(nullptr, name, desc, flags);
}

std::int32_t img_save_tiff_mem(void** out, img_desc* desc, std::int32_t flags)
{
    if (out)
        *out = nullptr;
    return save(desc, flags, [&](std::uint32_t compression) -> std::int32_t {
        if (!out)
            return IMG_ERR_ARGUMENT;
        std::vector<std::uint8_t> file = newFile();
        buildPage(desc, flags, compression, -1, 0, file);
        void* block = img_block_alloc(file.size());
        if (!block)
            return IMG_ERR_NO_MEMORY;
        std::memcpy(block, file.data(), file.size());
        *out = block;
        return IMG_OK;
    });
}

std::int32_t img_append_tiff_w(const wchar_t* name, img_desc* desc, std::int32_t flags, std::int32_t page)
{
    return appendFile(name, nullptr, desc, flags, page);
}

std::int32_t img_append_tiff(const char* name, img_desc* desc, std::int32_t flags, std::int32_t page)
{
    return appendFile(nullptr, name, desc, flags, page);
}
