// Markers are FF followed by a code (T.81 B.1.1.2); FF FF is fill. Bytes between segments that
// are not FF are stepped over one at a time, so a stream with stray bytes still finds its next
// marker. Every segment that is parsed is read through a counter of the bytes its length field
// allows, and a field that would run past the segment ends the walk: nothing is ever read from
// the next segment by mistake. Segments that are not parsed (APPn, COM and the rest) are stepped
// over by seeking, so their length never matters to the window.
#include "imagelib/jpeg_markers.h"

#include "imagelib/jpeg_error.h"

namespace tessivor::jpeg {

namespace {

constexpr int kMalformed = -43;

// Reads one segment's payload, never past its length.
class Segment
{
public:
    Segment(InputWindow& in, std::uint64_t markerPos, int length)
        : m_in(in), m_markerPos(markerPos), m_left(length - 2), m_end(markerPos + 2 + length)
    {
    }
    bool has(int n) const { return m_left >= n; }
    int left() const { return m_left; }
    std::uint8_t byte()
    {
        --m_left;
        return m_in.byte();
    }
    int u16()
    {
        m_left -= 2;
        return m_in.u16();
    }
    // Offset from the marker's FF byte.
    std::uint64_t at(int offset) const { return m_markerPos + offset; }
    void finish() { m_in.skip(m_end - m_in.position()); }

private:
    InputWindow& m_in;
    std::uint64_t m_markerPos;
    int m_left;
    std::uint64_t m_end;
};

void parseFrame(Segment& s, int marker, JpegHeader& h)
{
    if (!s.has(6)) {
        img_raise(kStatusBadTable);
    }
    const int precision = s.byte();
    const int height = s.u16();
    const int width = s.u16();
    const int count = s.byte();
    if (count > 4 || !s.has(3 * count)) {
        img_raise(kStatusBadTable);
    }
    h.frameType = marker & 0x0F;
    h.precision = precision;
    h.height = height;
    h.width = width;
    h.componentCount = count;
    h.components = {};
    for (int i = 0; i < count; ++i) {
        FrameComponent& c = h.components[i];
        c.id = s.byte();
        const int hv = s.byte();
        c.h = hv >> 4;
        c.v = hv & 15;
        c.quant = s.byte();
    }
    h.progressive = marker == 0xC2;
}

void parseHuffman(Segment& s, JpegHeader& h)
{
    while (s.left() > 0) {
        if (!s.has(17)) {
            img_raise(kStatusBadTable);
        }
        const int classNumber = s.byte();
        const int tableClass = classNumber >> 4;
        const int number = classNumber & 15;
        if (tableClass > 1 || number > 3) {
            img_raise(kStatusBadTable);
        }
        HuffmanSpec tableSpec{};
        int total = 0;
        for (int i = 1; i <= 16; ++i) {
            tableSpec.bits[i] = s.byte();
            total += tableSpec.bits[i];
        }
        if (total > 256 || !s.has(total)) {
            img_raise(kStatusBadTable);
        }
        for (int i = 0; i < total; ++i) {
            tableSpec.values[i] = s.byte();
        }
        if (tableClass == 0) {
            h.dc[number] = tableSpec;
            h.dcDefined[number] = true;
        } else {
            h.ac[number] = tableSpec;
            h.acDefined[number] = true;
        }
    }
}

void parseQuant(Segment& s, JpegHeader& h)
{
    while (s.left() > 0) {
        const int precisionNumber = s.byte();
        const int precision = precisionNumber >> 4;
        const int number = precisionNumber & 15;
        if (precision > 1 || number > 3 || !s.has(precision ? 128 : 64)) {
            img_raise(kStatusBadTable);
        }
        for (int k = 0; k < 64; ++k) {
            h.quant[number][kZigzag[k]] = static_cast<std::uint16_t>(precision ? s.u16() : s.byte());
        }
        h.quantDefined[number] = true;
    }
}

// The first APP0 must be JFIF; a later JFXX segment describes an extension thumbnail. A
// thumbnail is only reported when its pixels lie inside the segment.
int parseApp0(Segment& s, JpegHeader& h)
{
    std::uint8_t id[5] = {};
    const int idLength = s.left() < 5 ? s.left() : 5;
    for (int i = 0; i < idLength; ++i) {
        id[i] = s.byte();
    }
    if (!h.seenApp0) {
        h.seenApp0 = true;
        if (idLength < 3 || id[0] != 'J' || id[1] != 'F' || id[2] != 'I') {
            return kMalformed;
        }
        if (idLength < 5 || !s.has(9)) {
            return 0;
        }
        s.byte(); // version
        s.byte();
        const int units = s.byte();
        const int xDensity = s.u16();
        const int yDensity = s.u16();
        if (units <= 2) {
            h.densityUnits = units;
            h.xDensity = xDensity;
            h.yDensity = yDensity;
        }
        const int w = s.byte();
        const int tHeight = s.byte();
        if (3 * w * tHeight <= s.left()) {
            h.thumbnailWidth = w;
            h.thumbnailHeight = tHeight;
            if (w != 0 && tHeight != 0) {
                h.thumbnailPresent = true;
                h.thumbnailKind = 0x13;
                h.thumbnailBits = 24;
                h.thumbnailPosition = s.at(18);
            }
        }
        return 0;
    }
    if (idLength < 5 || id[0] != 'J' || id[1] != 'F' || id[2] != 'X' || id[3] != 'X' || id[4] != 0 ||
        !s.has(1)) {
        return 0;
    }
    h.thumbnailPosition = 0;
    const int code = s.byte();
    if (code == 0x10) {
        h.thumbnailKind = 0x10;
        h.thumbnailBits = 24;
        if (h.thumbnailWidth != 0 && h.thumbnailHeight != 0) {
            h.thumbnailPosition = s.at(10);
        }
        return 0;
    }
    if ((code != 0x11 && code != 0x13) || !s.has(2)) {
        return 0;
    }
    const int w = s.byte();
    const int tHeight = s.byte();
    const bool palette = code == 0x11;
    h.thumbnailKind = code;
    h.thumbnailBits = palette ? 8 : 24;
    h.thumbnailWidth = w;
    h.thumbnailHeight = tHeight;
    const int pixelBytes = (palette ? 1 : 3) * w * tHeight + (palette ? 768 : 0);
    h.thumbnailPresent = w != 0 && tHeight != 0 && pixelBytes <= s.left();
    h.thumbnailPosition = s.at(palette ? 12 + 768 : 12);
    return 0;
}

void parseScan(Segment& s, const JpegHeader& h, ScanHeader& scan)
{
    if (!s.has(1)) {
        img_raise(kStatusBadScan);
    }
    scan = ScanHeader{};
    scan.count = s.byte();
    if (scan.count < 1 || scan.count > 4 || !s.has(2 * scan.count + 3)) {
        img_raise(kStatusBadScan);
    }
    for (int i = 0; i < scan.count; ++i) {
        const int id = s.byte();
        const int tables = s.byte();
        int index = -1;
        for (int c = 0; c < h.componentCount; ++c) {
            if (h.components[c].id == id) {
                index = c;
                break;
            }
        }
        if (index < 0) {
            img_raise(kStatusBadScan);
        }
        for (int j = 0; j < i; ++j) {
            if (scan.comps[j] == index) {
                img_raise(kStatusBadScan);
            }
        }
        scan.comps[i] = index;
        scan.dcTable[i] = tables >> 4;
        scan.acTable[i] = tables & 15;
        if (scan.dcTable[i] > 3 || scan.acTable[i] > 3) {
            img_raise(kStatusBadTable);
        }
    }
    scan.ss = s.byte();
    scan.se = s.byte();
    const int a = s.byte();
    scan.ah = a >> 4;
    scan.al = a & 15;
}

} // namespace

int walkMarkers(InputWindow& in, JpegHeader& header, WalkMode mode, ScanHeader* scan)
{
    bool first = mode == WalkMode::Header;
    for (;;) {
        if (in.byte() != 0xFF) {
            continue;
        }
        const std::uint64_t markerPos = in.position() - 1;
        const int marker = in.byte();
        if (marker == 0xFF) {
            in.seekTo(markerPos + 1); // fill: the second FF may start the marker
            continue;
        }
        if (first) {
            if (marker != 0xD8) {
                return kMalformed;
            }
            first = false;
        }
        if (marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {
            continue;
        }
        if (marker == 0xD9) {
            return mode == WalkMode::Header ? kMalformed : -15;
        }
        const int length = in.u16();
        if (length < 2) {
            return kMalformed;
        }
        Segment s(in, markerPos, length);
        switch (marker) {
        case 0xC0:
        case 0xC1:
        case 0xC2:
        case 0xC3:
        case 0xC9:
        case 0xCA:
        case 0xCB:
            if (mode == WalkMode::Header) {
                parseFrame(s, marker, header);
            }
            break;
        case 0xC4:
            parseHuffman(s, header);
            break;
        case 0xDB:
            parseQuant(s, header);
            break;
        case 0xDD:
            if (!s.has(2)) {
                img_raise(kStatusBadTable);
            }
            header.restartInterval = s.u16();
            break;
        case 0xE0:
            if (mode == WalkMode::Header) {
                const int r = parseApp0(s, header);
                if (r != 0) {
                    return r;
                }
            }
            break;
        case 0xDA:
            if (mode == WalkMode::Header) {
                return 0;
            }
            parseScan(s, header, *scan);
            s.finish();
            return kWalkReachedScan;
        default:
            break;
        }
        s.finish();
    }
}

} // namespace tessivor::jpeg
