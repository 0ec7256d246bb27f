// TIFF file structure shared by the reader, the queries and the append path: the header, the
// directories and their chain, over any byte source that knows its length. Internal to the
// library; runs under the TIFF module lock. Failures are raised (img_raise) with the public
// codes: -6 for a header, directory or read that cannot be had, -51 for a page not in the chain.
#pragma once

#include "imagelib/img_stream.h"
#include "imagelib/img_tiff.h"

#include <cstdint>
#include <vector>

namespace tessivor::tiff {

inline constexpr std::int32_t kNotTiff = -6;
inline constexpr std::int32_t kNoSuchPage = -51;

// Field types.
enum : std::uint16_t
{
    kByte = 1,
    kAscii = 2,
    kShort = 3,
    kLong = 4,
    kRational = 5,
};

// Bytes of a source, read at absolute offsets; nothing beyond its length is ever read.
class ByteSource
{
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t length() const = 0;
    // Exactly `count` bytes at `offset`; false when they are not all there or a read fails.
    virtual bool readAt(std::uint64_t offset, void* buffer, std::size_t count) = 0;
};

// A file or memory source opened through the library's stream layer.
class StreamSource : public ByteSource
{
public:
    StreamSource(ImgHandle handle, const ImgStreamOps& ops);
    ~StreamSource() override;
    std::uint64_t length() const override { return m_length; }
    bool readAt(std::uint64_t offset, void* buffer, std::size_t count) override;

private:
    ImgHandle m_handle;
    ImgStreamOps m_ops;
    std::uint64_t m_length = 0;
};

// Bytes already in memory.
class MemorySource : public ByteSource
{
public:
    MemorySource(const std::uint8_t* data, std::size_t length) : m_data(data), m_length(length) {}
    std::uint64_t length() const override { return m_length; }
    bool readAt(std::uint64_t offset, void* buffer, std::size_t count) override;

private:
    const std::uint8_t* m_data;
    std::size_t m_length;
};

// Where an array value lies.
struct FieldPlace
{
    bool present = false;
    std::uint16_t type = 0;
    std::uint32_t count = 0;
    std::uint64_t position = 0; // file offset of the values (inside the entry when they fit)
};

// One directory with the values the coder uses.
struct Directory
{
    TiffPageInfo info;
    bool bigEndian = false;
    std::uint32_t position = 0;      // of the entry count
    std::uint32_t nextOffset = 0;    // 0 at the end of the chain
    std::uint64_t nextOffsetPos = 0; // where the next offset is stored
    FieldPlace stripOffsets, stripByteCounts, colorMap;
    std::uint32_t rowsPerStrip = 0;
    std::uint32_t t4Options = 0;
    std::uint32_t predictor = 1;
    std::uint32_t fillOrder = 1; // 1, or 2 for any other value
    std::uint32_t xResolution = 0, yResolution = 0, resolutionUnit = 2;
    bool photometricPresent = false;
    bool hasPageNumber = false;
    std::uint32_t pageNumber = 0;
    FieldPlace pageNumberPlace; // where the PageNumber values lie (appending rewrites the total)
};

// How a page is chosen.
enum class PageBy
{
    First,
    Number,
    Index,
};

// Reads the 8-byte header: the byte order and the first directory's offset.
void readHeader(ByteSource& src, bool& bigEndian, std::uint32_t& firstOffset);
// Reads the directory at `offset`.
void readDirectory(ByteSource& src, std::uint32_t offset, bool bigEndian, Directory& dir);
// Walks the chain to the page asked for (page -1 or PageBy::First: the first directory).
Directory selectPage(ByteSource& src, std::int32_t page, PageBy by);
// Calls visit(dir) for every directory of the chain in order. A chain that loops, or longer
// than 65,535 directories, is refused with -6.
template <class Visit> void walkChain(ByteSource& src, Visit&& visit);
// The values of an array field as 32-bit numbers (BYTE, SHORT or LONG); -6 for other types or
// values that lie beyond the source.
std::vector<std::uint32_t> readArray(ByteSource& src, const Directory& dir, const FieldPlace& place);
// The page's palette (photometric 3, 1 or 2 samples, 1 to 768 map values): entries filled into
// `palette` (room for 256), or 0.
std::int32_t readPalette(ByteSource& src, const Directory& dir, tessivor::RgbQuad* palette);

// Byte-order helpers.
std::uint16_t get16(const std::uint8_t* p, bool bigEndian);
std::uint32_t get32(const std::uint8_t* p, bool bigEndian);
void put16(std::uint8_t* p, std::uint32_t v);
void put32(std::uint8_t* p, std::uint32_t v);

// ---- implementation of walkChain ----

std::uint32_t chainStart(ByteSource& src, bool& bigEndian);
void checkLoop(std::vector<std::uint32_t>& seen, std::uint32_t offset);

template <class Visit> void walkChain(ByteSource& src, Visit&& visit)
{
    bool bigEndian = false;
    std::uint32_t offset = chainStart(src, bigEndian);
    std::vector<std::uint32_t> seen;
    while (offset != 0) {
        checkLoop(seen, offset);
        Directory dir;
        readDirectory(src, offset, bigEndian, dir);
        if (!visit(dir))
            return;
        offset = dir.nextOffset;
    }
}

} // namespace tessivor::tiff
