// The marker walk of the JPEG reader. In header mode it reads from SOI up to the first SOS and
// fills the frame description that the header queries report; in scan mode it is the decoder's
// front end: it keeps the tables up to date between scans and stops at each SOS with the scan's
// header parsed.
#pragma once

#include "imagelib/jpeg_huffman.h"
#include "imagelib/jpeg_input.h"
#include "imagelib/jpeg_tables.h"

#include <array>
#include <cstdint>

namespace tessivor::jpeg {

struct FrameComponent
{
    int id = 0;
    int h = 0;
    int v = 0;
    int quant = 0;
};

// Everything the walk learns; cleared at the start of each walk from SOI.
struct JpegHeader
{
    // Frame (the last SOF before the first SOS).
    int frameType = -1; // low four bits of the SOF marker; -1 when none came
    int width = 0;
    int height = 0;
    int componentCount = 0;
    int precision = 0;
    std::array<FrameComponent, 4> components{};
    bool progressive = false;

    // JFIF density (from the first APP0, when its units are 0, 1 or 2).
    int xDensity = 0;
    int yDensity = 0;
    int densityUnits = 0;

    // Embedded thumbnail.
    bool thumbnailPresent = false;
    int thumbnailWidth = 0;
    int thumbnailHeight = 0;
    int thumbnailBits = 0;
    int thumbnailKind = 0;               // 0x13 RGB, 0x11 palette, 0x10 JPEG-coded
    std::uint64_t thumbnailPosition = 0; // first pixel byte; 0 when unknown

    // Tables, by table number 0..3.
    std::array<bool, 4> quantDefined{};
    std::array<std::array<std::uint16_t, 64>, 4> quant{}; // natural order
    std::array<bool, 4> dcDefined{};
    std::array<bool, 4> acDefined{};
    std::array<HuffmanSpec, 4> dc{};
    std::array<HuffmanSpec, 4> ac{};
    int restartInterval = 0;

    bool seenApp0 = false;
};

struct ScanHeader
{
    int count = 0;
    std::array<int, 4> comps{}; // indices into JpegHeader::components
    std::array<int, 4> dcTable{};
    std::array<int, 4> acTable{};
    int ss = 0;
    int se = 0;
    int ah = 0;
    int al = 0;
};

enum class WalkMode
{
    Header,
    Scan,
};

inline constexpr int kWalkReachedScan = 1;

// Walks from the window's position. Header mode: 0 at the first SOS; -43 when the first marker
// is not SOI, the first APP0 is not JFIF, EOI comes first or a segment length is below 2.
// Scan mode (SOF and APP0 segments are stepped over): kWalkReachedScan with `scan` filled, or
// -15 at EOI. Both raise kStatusBadTable for a frame or table the coder cannot hold,
// kStatusBadScan for a malformed scan header, and kStatusEndOfData when the data ends.
int walkMarkers(InputWindow& in, JpegHeader& header, WalkMode mode, ScanHeader* scan);

} // namespace tessivor::jpeg
