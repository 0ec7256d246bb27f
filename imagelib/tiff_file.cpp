// TIFF header, directories and chain (see tiff_file.h).
#include "imagelib/tiff_file.h"

#include "imagelib/img_frame.h"

#include <algorithm>
#include <cstring>

namespace tessivor::tiff {

std::uint16_t get16(const std::uint8_t* p, bool bigEndian)
{
    return static_cast<std::uint16_t>(bigEndian ? (p[0] << 8) | p[1] : p[0] | (p[1] << 8));
}

std::uint32_t get32(const std::uint8_t* p, bool bigEndian)
{
    return bigEndian
               ? (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3]
               : p[0] | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
                     (std::uint32_t{p[3]} << 24);
}

void put16(std::uint8_t* p, std::uint32_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void put32(std::uint8_t* p, std::uint32_t v)
{
    put16(p, v);
    put16(p + 2, v >> 16);
}

// ---- sources ----

StreamSource::StreamSource(ImgHandle handle, const ImgStreamOps& ops) : m_handle(handle), m_ops(ops)
{
    const std::int64_t end = m_ops.seek(m_handle, 0, IMG_SEEK_END);
    m_length = end > 0 ? static_cast<std::uint64_t>(end) : 0;
}

StreamSource::~StreamSource()
{
    if (m_handle != IMG_INVALID_HANDLE && m_ops.close)
        m_ops.close(m_handle);
}

bool StreamSource::readAt(std::uint64_t offset, void* buffer, std::size_t count)
{
    if (count == 0)
        return true;
    if (offset > m_length || count > m_length - offset)
        return false;
    if (offset > 0x7FFFFFFF || m_ops.seek(m_handle, static_cast<std::int32_t>(offset), IMG_SEEK_SET) !=
                                   static_cast<std::int64_t>(offset))
        return false;
    auto* out = static_cast<std::uint8_t*>(buffer);
    while (count) {
        const std::uint32_t ask = count > 0x40000000 ? 0x40000000 : static_cast<std::uint32_t>(count);
        std::uint32_t done = 0;
        if (!m_ops.read(m_handle, out, ask, &done) || done == 0)
            return false;
        out += done;
        count -= done;
    }
    return true;
}

bool MemorySource::readAt(std::uint64_t offset, void* buffer, std::size_t count)
{
    if (count == 0)
        return true;
    if (offset > m_length || count > m_length - offset)
        return false;
    std::memcpy(buffer, m_data + offset, count);
    return true;
}

// ---- header and directories ----

void readHeader(ByteSource& src, bool& bigEndian, std::uint32_t& firstOffset)
{
    std::uint8_t h[8];
    if (!src.readAt(0, h, 8))
        img_raise(kNotTiff);
    if (h[0] == 'I' && h[1] == 'I')
        bigEndian = false;
    else if (h[0] == 'M' && h[1] == 'M')
        bigEndian = true;
    else
        img_raise(kNotTiff);
    if (get16(h + 2, bigEndian) != 42)
        img_raise(kNotTiff);
    firstOffset = get32(h + 4, bigEndian);
}

std::uint32_t chainStart(ByteSource& src, bool& bigEndian)
{
    std::uint32_t first = 0;
    readHeader(src, bigEndian, first);
    if (first == 0)
        img_raise(kNotTiff);
    return first;
}

void checkLoop(std::vector<std::uint32_t>& seen, std::uint32_t offset)
{
    if (seen.size() >= 65535 || std::find(seen.begin(), seen.end(), offset) != seen.end())
        img_raise(kNotTiff);
    seen.push_back(offset);
}

namespace {

std::uint32_t typeSize(std::uint16_t type)
{
    switch (type) {
    case kByte:
    case kAscii:
        return 1;
    case kShort:
        return 2;
    case kLong:
        return 4;
    case kRational:
        return 8;
    default:
        return 0;
    }
}

// The value of a single-value field: count 1, SHORT or LONG, else -6.
std::uint32_t singleValue(const std::uint8_t* entry, bool bigEndian)
{
    const std::uint16_t type = get16(entry + 2, bigEndian);
    if (get32(entry + 4, bigEndian) != 1)
        img_raise(kNotTiff);
    if (type == kShort)
        return get16(entry + 8, bigEndian);
    if (type == kLong)
        return get32(entry + 8, bigEndian);
    img_raise(kNotTiff);
}

FieldPlace placeOf(const std::uint8_t* entry, std::uint64_t entryPos, bool bigEndian)
{
    FieldPlace f;
    f.present = true;
    f.type = get16(entry + 2, bigEndian);
    f.count = get32(entry + 4, bigEndian);
    const std::uint64_t size = std::uint64_t{typeSize(f.type)} * f.count;
    f.position = size <= 4 ? entryPos + 8 : get32(entry + 8, bigEndian);
    return f;
}

std::uint32_t rationalValue(ByteSource& src, const std::uint8_t* entry, bool bigEndian)
{
    std::uint8_t v[8];
    if (get16(entry + 2, bigEndian) != kRational || !src.readAt(get32(entry + 8, bigEndian), v, 8))
        img_raise(kNotTiff);
    const std::uint32_t num = get32(v, bigEndian), den = get32(v + 4, bigEndian);
    return den ? num / den : num;
}

} // namespace

void readDirectory(ByteSource& src, std::uint32_t offset, bool bigEndian, Directory& dir)
{
    dir = Directory{};
    dir.bigEndian = bigEndian;
    dir.info.byteOrder = bigEndian ? 0x4D4D : 0x4949;
    dir.position = offset;
    std::uint8_t countBytes[2];
    if (!src.readAt(offset, countBytes, 2))
        img_raise(kNotTiff);
    const std::uint32_t n = get16(countBytes, bigEndian);
    std::vector<std::uint8_t> entries(std::size_t{n} * 12 + 4);
    if (!src.readAt(std::uint64_t{offset} + 2, entries.data(), entries.size()))
        img_raise(kNotTiff);
    dir.nextOffsetPos = std::uint64_t{offset} + 2 + std::uint64_t{n} * 12;
    dir.nextOffset = get32(entries.data() + std::size_t{n} * 12, bigEndian);

    TiffPageInfo& info = dir.info;
    bool samplesGiveRgb = false, bitsGiveRgb = false;
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::uint8_t* e = entries.data() + std::size_t{i} * 12;
        const std::uint64_t entryPos = std::uint64_t{offset} + 2 + std::uint64_t{i} * 12;
        switch (get16(e, bigEndian)) {
        case 256:
            info.width = static_cast<std::int32_t>(singleValue(e, bigEndian));
            break;
        case 257:
            info.height = static_cast<std::int32_t>(singleValue(e, bigEndian));
            break;
        case 258: {
            const FieldPlace f = placeOf(e, entryPos, bigEndian);
            if (f.count > 4)
                img_raise(kNotTiff);
            const std::vector<std::uint32_t> v = readArray(src, dir, f);
            if (!v.empty())
                info.bitsPerSample = static_cast<std::int32_t>(v[0]);
            bitsGiveRgb = v.size() >= 3 && v[2] == 8;
            break;
        }
        case 259:
            info.compression = static_cast<std::int32_t>(singleValue(e, bigEndian));
            break;
        case 262:
            info.photometric = static_cast<std::int32_t>(singleValue(e, bigEndian));
            dir.photometricPresent = true;
            break;
        case 266:
            dir.fillOrder = singleValue(e, bigEndian) == 1 ? 1 : 2;
            break;
        case 273:
            dir.stripOffsets = placeOf(e, entryPos, bigEndian);
            break;
        case 277:
            info.samplesPerPixel = static_cast<std::int32_t>(singleValue(e, bigEndian));
            samplesGiveRgb = info.samplesPerPixel > 2;
            break;
        case 278: {
            const std::uint32_t v = singleValue(e, bigEndian);
            dir.rowsPerStrip = static_cast<std::int32_t>(v) < 0 ? 0 : v;
            break;
        }
        case 279:
            dir.stripByteCounts = placeOf(e, entryPos, bigEndian);
            break;
        case 282:
            dir.xResolution = rationalValue(src, e, bigEndian);
            break;
        case 283:
            dir.yResolution = rationalValue(src, e, bigEndian);
            break;
        case 284:
            info.planar = static_cast<std::int32_t>(singleValue(e, bigEndian));
            break;
        case 292:
            dir.t4Options = singleValue(e, bigEndian);
            break;
        case 296:
            try {
                dir.resolutionUnit = singleValue(e, bigEndian);
            } catch (const ImgError&) {
                // A unit that cannot be read keeps the default.
            }
            break;
        case 297: {
            const FieldPlace f = placeOf(e, entryPos, bigEndian);
            const std::vector<std::uint32_t> v = readArray(src, dir, f);
            if (!v.empty()) {
                dir.hasPageNumber = true;
                dir.pageNumber = v[0];
                dir.pageNumberPlace = f;
            }
            break;
        }
        case 317:
            dir.predictor = singleValue(e, bigEndian);
            break;
        case 320:
            dir.colorMap = placeOf(e, entryPos, bigEndian);
            break;
        default:
            break;
        }
    }
    if (info.compression == 2 && !dir.photometricPresent)
        info.photometric = 0;
    info.bitsPerPixel = (samplesGiveRgb || bitsGiveRgb) ? 24 : info.bitsPerSample;
}

std::vector<std::uint32_t> readArray(ByteSource& src, const Directory& dir, const FieldPlace& place)
{
    const std::uint32_t size = typeSize(place.type);
    if (place.type != kByte && place.type != kShort && place.type != kLong)
        img_raise(kNotTiff);
    // The values must lie in the source: this caps any count a file may claim.
    const std::uint64_t bytes = std::uint64_t{size} * place.count;
    if (place.position > src.length() || bytes > src.length() - place.position)
        img_raise(kNotTiff);
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(bytes));
    if (!src.readAt(place.position, raw.data(), raw.size()))
        img_raise(kNotTiff);
    std::vector<std::uint32_t> v(place.count);
    for (std::uint32_t i = 0; i < place.count; ++i) {
        const std::uint8_t* p = raw.data() + std::size_t{i} * size;
        v[i] = size == 1 ? *p : size == 2 ? get16(p, dir.bigEndian) : get32(p, dir.bigEndian);
    }
    return v;
}

Directory selectPage(ByteSource& src, std::int32_t page, PageBy by)
{
    if (page < 0)
        by = PageBy::First;
    Directory chosen;
    bool found = false;
    std::int64_t index = 0, number = -1;
    bool numbered = false;
    walkChain(src, [&](const Directory& dir) {
        if (dir.hasPageNumber) {
            numbered = true;
            number = dir.pageNumber;
        } else if (!numbered) {
            number = index == 0 ? 0 : number + 1;
        }
        const bool match = by == PageBy::First || (by == PageBy::Index && index == page) ||
                           (by == PageBy::Number && number == page);
        ++index;
        if (match) {
            chosen = dir;
            found = true;
        }
        return !found;
    });
    if (!found)
        img_raise(kNoSuchPage);
    return chosen;
}

std::int32_t readPalette(ByteSource& src, const Directory& dir, tessivor::RgbQuad* palette)
{
    const FieldPlace& map = dir.colorMap;
    if (dir.info.photometric != 3 || (dir.info.samplesPerPixel != 1 && dir.info.samplesPerPixel != 2) ||
        !map.present || map.count < 1 || map.count > 768)
        return 0;
    const std::vector<std::uint32_t> v = readArray(src, dir, map);
    const std::uint32_t n = map.count / 3;
    for (std::uint32_t i = 0; i < n; ++i) {
        palette[i].rgbRed = static_cast<std::uint8_t>(v[i] >> 8);
        palette[i].rgbGreen = static_cast<std::uint8_t>(v[n + i] >> 8);
        palette[i].rgbBlue = static_cast<std::uint8_t>(v[2 * n + i] >> 8);
        palette[i].rgbReserved = 0;
    }
    return static_cast<std::int32_t>(n);
}

} // namespace tessivor::tiff
