// Two ways through a picture. A sequential frame whose first scan holds every component is
// decoded one row of MCUs at a time and reconstructed at once, so memory depends on the width
// only. Every other frame (progressive, or sequential with components in separate scans) is
// decoded scan by scan into coefficient buffers for the whole picture, and reconstructed after
// the last scan.
//
// Reconstruction only transforms the MCUs that hold a pixel the target needs: at full size the
// ones inside the area, when fitting the ones the sampling grid lands on. Upsampling is by
// replication: a component sampled h of hMax times across contributes sample x * h / hMax to
// picture column x (and the same down), which for the usual factors is plain repetition.
//
// Damaged data: the bit reader stops at any marker and at the end of the data, and pads with
// zero bits from there. A decoder that actually consumes a padding bit has run out of data:
// that ends the scan like the end of the input does (T.81 leaves no other reading of it), and
// bounds the work by the size of the data rather than by the size the frame claims.
#include "imagelib/jpeg_decoder.h"

#include "imagelib/jpeg_dct.h"
#include "imagelib/jpeg_error.h"
#include "imagelib/jpeg_io.h"

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

namespace tessivor::jpeg {

namespace {

// Colour conversion tables of T.81's companion JFIF: R = Y + 1.402 Cr', G = Y - 0.34414 Cb' -
// 0.71414 Cr', B = Y + 1.772 Cb', with Cb' = Cb - 128 and Cr' = Cr - 128, in 16-bit fixed point.
struct ColourTables
{
    std::array<std::int32_t, 256> crR{}, cbB{}, crG{}, cbG{};
    ColourTables()
    {
        for (int i = 0; i < 256; ++i) {
            const std::int32_t x = i - 128;
            crR[i] = (91881 * x + 32768) >> 16;
            cbB[i] = (116130 * x + 32768) >> 16;
            crG[i] = -46802 * x;
            cbG[i] = -22554 * x + 32768;
        }
    }
};

const ColourTables& colourTables()
{
    static const ColourTables tables;
    return tables;
}

inline std::uint8_t clamp255(std::int32_t v)
{
    return static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

class BitReader
{
public:
    explicit BitReader(InputWindow& in) : m_in(in) {}

    // Bits available in the register, padding included, so that peeks never run dry.
    void fill()
    {
        while (m_bits <= 56) {
            std::uint32_t b = 0;
            if (!m_stopped) {
                if (!m_in.ensure(1)) {
                    m_stopped = true;
                } else if (m_in.current()[0] != 0xFF) {
                    b = m_in.current()[0];
                    m_in.consume(1);
                } else if (!m_in.ensure(2)) {
                    m_stopped = true; // a lone FF at the end of the data
                } else if (m_in.current()[1] == 0x00) {
                    b = 0xFF; // stuffed byte
                    m_in.consume(2);
                } else {
                    m_stopped = true; // a marker: leave it for the walk
                }
            }
            if (m_stopped) {
                m_bits += 8; // zero padding
                continue;
            }
            m_acc |= static_cast<std::uint64_t>(b) << (56 - m_bits);
            m_bits += 8;
            m_real += 8;
        }
    }

    void consume(int n)
    {
        if (n > m_real) {
            img_raise(kStatusEndOfData);
        }
        m_acc <<= n;
        m_bits -= n;
        m_real -= n;
    }

    int decode(const HuffmanDecodeTable& t)
    {
        if (m_bits < 16) {
            fill();
        }
        const std::uint16_t e = t.lookahead[m_acc >> 56];
        if ((e >> 8) != 0) {
            consume(e >> 8);
            return e & 0xFF;
        }
        for (int len = 9; len <= 16; ++len) {
            const auto code = static_cast<std::int32_t>(m_acc >> (64 - len));
            if (code <= t.maxCode[len]) {
                const int index = code + t.valueOffset[len];
                consume(len);
                return t.values[index & 0xFF];
            }
        }
        img_raise(kStatusBadHuffmanCode);
    }

    int bits(int n)
    {
        if (n == 0) {
            return 0;
        }
        if (m_bits < n) {
            fill();
        }
        const auto v = static_cast<int>(m_acc >> (64 - n));
        consume(n);
        return v;
    }

    // `n` bits as a signed value (T.81 F.2.2.1 EXTEND).
    int signedBits(int n)
    {
        const int v = bits(n);
        return v < (1 << (n - 1)) ? v - (1 << n) + 1 : v;
    }

    // At a restart: drop the bits left in the register, step to the next marker and take it
    // when it is RSTn; any other marker stays for the decoder to stop at.
    void restart()
    {
        m_acc = 0;
        m_bits = 0;
        m_real = 0;
        m_stopped = false;
        for (;;) {
            if (!m_in.ensure(2)) {
                m_stopped = true;
                return;
            }
            const std::uint8_t* p = m_in.current();
            if (p[0] != 0xFF || p[1] == 0x00) {
                m_in.consume(p[0] == 0xFF ? 2 : 1);
                continue;
            }
            if (p[1] == 0xFF) {
                m_in.consume(1);
                continue;
            }
            if (p[1] >= 0xD0 && p[1] <= 0xD7) {
                m_in.consume(2);
            }
            return;
        }
    }

    // After a scan: bytes already in the register lie before the next marker, so the walk goes
    // on from the window's position.
    void reset()
    {
        m_acc = 0;
        m_bits = 0;
        m_real = 0;
        m_stopped = false;
    }

private:
    InputWindow& m_in;
    std::uint64_t m_acc = 0;
    int m_bits = 0; // valid bits at the top of m_acc, padding included
    int m_real = 0; // of those, bits that came from the data
    bool m_stopped = false;
};

struct Component
{
    int h = 1;
    int v = 1;
    std::array<std::int32_t, 64> quant{};
    int blocksW = 0; // in the MCU grid
    int blocksH = 0;
    int ownW = 0; // blocks holding samples (single-component scans)
    int ownH = 0;
    ImgWork<std::int16_t> coef; // natural order, raster by block
    int pred = 0;

    std::int16_t* block(int bx, int by)
    {
        return coef.get() + (static_cast<std::size_t>(by) * blocksW + bx) * 64;
    }
};

class Decoder
{
public:
    Decoder(InputWindow& in, JpegHeader& header, const DecodeTarget& target)
        : m_in(in), m_header(header), m_target(target), m_bits(in)
    {
    }

    std::int32_t run();

private:
    void setup();
    void prepareScan(const ScanHeader& scan);
    void decodeScan(const ScanHeader& scan);
    void decodeBlockSequential(std::int16_t* block, Component& comp, const HuffmanDecodeTable& dc,
                               const HuffmanDecodeTable& ac);
    void decodeBlockProgressive(std::int16_t* block, Component& comp, int scanIndex);
    void restartIfDue();
    void reconstructRow(int mcuRow, bool fromRowBuffer);
    std::int16_t* rowBlock(int c, int bx, int by);

    InputWindow& m_in;
    JpegHeader& m_header;
    const DecodeTarget& m_target;
    BitReader m_bits;

    std::array<Component, 4> m_comp;
    int m_count = 0;
    int m_outComps = 0;
    int m_hMax = 1, m_vMax = 1, m_mcuW = 8, m_mcuH = 8, m_mcusX = 0, m_mcusY = 0;
    bool m_direct = false;
    bool m_started = false;

    // Current scan.
    const ScanHeader* m_scan = nullptr;
    std::array<HuffmanDecodeTable, 4> m_dcTables;
    std::array<HuffmanDecodeTable, 4> m_acTables;
    int m_restartLeft = 0;
    int m_restartInterval = 0;
    int m_eobRun = 0;

    // Output geometry.
    int m_outW = 0, m_outH = 0;
    std::vector<int> m_sourceX; // picture column of each target column
    std::vector<bool> m_mcuNeeded;
    std::array<std::vector<int>, 3> m_compX; // component column of each target column
    std::array<std::vector<std::uint8_t>, 3> m_strip;
    std::array<int, 3> m_stripW{};
    int m_nextTargetRow = 0;

    // Direct mode: the coefficients of one row of MCUs.
    std::array<std::vector<std::int16_t>, 4> m_rowCoef;
};

void Decoder::setup()
{
    m_count = m_header.componentCount;
    m_outComps = std::min(m_count, 3);
    for (int c = 0; c < m_count; ++c) {
        Component& comp = m_comp[c];
        // A single component forms its own 8 x 8 MCUs whatever its factors say.
        comp.h = m_count == 1 ? 1 : m_header.components[c].h;
        comp.v = m_count == 1 ? 1 : m_header.components[c].v;
        m_hMax = std::max(m_hMax, comp.h);
        m_vMax = std::max(m_vMax, comp.v);
    }
    m_mcuW = 8 * m_hMax;
    m_mcuH = 8 * m_vMax;
    const int width = m_header.width;
    const int height = m_header.height;
    m_mcusX = (width + m_mcuW - 1) / m_mcuW;
    m_mcusY = (height + m_mcuH - 1) / m_mcuH;
    for (int c = 0; c < m_count; ++c) {
        Component& comp = m_comp[c];
        comp.blocksW = m_mcusX * comp.h;
        comp.blocksH = m_mcusY * comp.v;
        comp.ownW = (width * comp.h + m_hMax * 8 - 1) / (m_hMax * 8);
        comp.ownH = (height * comp.v + m_vMax * 8 - 1) / (m_vMax * 8);
    }

    // Target geometry.
    if (m_target.fit) {
        fitSize(width, height, m_target.width, m_target.height, m_outW, m_outH);
    } else {
        m_outW = std::min(width, m_target.width);
        m_outH = std::min(height, m_target.height);
    }
    m_sourceX.resize(m_outW);
    m_mcuNeeded.assign(m_mcusX, false);
    for (int x = 0; x < m_outW; ++x) {
        m_sourceX[x] = m_target.fit ? static_cast<int>(static_cast<std::int64_t>(x) * width / m_outW) : x;
        m_mcuNeeded[m_sourceX[x] / m_mcuW] = true;
    }
    for (int c = 0; c < m_outComps; ++c) {
        const Component& comp = m_comp[c];
        m_compX[c].resize(m_outW);
        for (int x = 0; x < m_outW; ++x) {
            m_compX[c][x] = m_sourceX[x] * comp.h / m_hMax;
        }
        m_stripW[c] = comp.blocksW * 8;
        m_strip[c].resize(static_cast<std::size_t>(m_stripW[c]) * comp.v * 8);
    }
}

// Tables and checks that depend on the scan; the first scan also fixes the decoding path and
// the quantisation tables.
void Decoder::prepareScan(const ScanHeader& scan)
{
    const bool progressive = m_header.progressive;
    if (progressive) {
        const bool dcScan = scan.ss == 0;
        const bool ok = (dcScan ? scan.se == 0 : (scan.ss <= scan.se && scan.se < 64 && scan.count == 1)) &&
                        (scan.ah == 0 || scan.ah == scan.al + 1) && scan.al <= 13;
        if (!ok) {
            img_raise(kStatusBadScan);
        }
    }
    for (int i = 0; i < scan.count; ++i) {
        const bool needDc = !progressive || (scan.ss == 0 && scan.ah == 0);
        const bool needAc = !progressive || scan.ss != 0;
        if (needDc) {
            const int t = scan.dcTable[i];
            if (!m_header.dcDefined[t] || !buildDecodeTable(m_header.dc[t], m_dcTables[t])) {
                img_raise(kStatusBadTable);
            }
        }
        if (needAc) {
            const int t = scan.acTable[i];
            if (!m_header.acDefined[t] || !buildDecodeTable(m_header.ac[t], m_acTables[t])) {
                img_raise(kStatusBadTable);
            }
        }
    }

    if (!m_started) {
        m_started = true;
        for (int c = 0; c < m_count; ++c) {
            const std::array<std::uint16_t, 64>& q = m_header.quant[m_header.components[c].quant];
            for (int i = 0; i < 64; ++i) {
                m_comp[c].quant[i] = q[i] == 0 ? 1 : q[i];
            }
        }
        m_direct = !progressive && scan.count == m_count;
        if (m_direct) {
            for (int c = 0; c < m_count; ++c) {
                m_rowCoef[c].assign(static_cast<std::size_t>(m_comp[c].blocksW) * m_comp[c].v * 64, 0);
            }
        } else {
            for (int c = 0; c < m_count; ++c) {
                Component& comp = m_comp[c];
                comp.coef = img_jpeg_alloc_coef(static_cast<std::size_t>(comp.blocksW) * comp.blocksH);
                if (!comp.coef) {
                    throw std::bad_alloc();
                }
            }
        }
    }
}

void Decoder::restartIfDue()
{
    if (m_restartInterval == 0) {
        return;
    }
    if (m_restartLeft == 0) {
        m_bits.restart();
        for (int c = 0; c < m_count; ++c) {
            m_comp[c].pred = 0;
        }
        m_eobRun = 0;
        m_restartLeft = m_restartInterval;
    }
    --m_restartLeft;
}

void Decoder::decodeBlockSequential(std::int16_t* block, Component& comp, const HuffmanDecodeTable& dc,
                                    const HuffmanDecodeTable& ac)
{
    std::fill_n(block, 64, 0);
    const int s = m_bits.decode(dc);
    if (s > 15) {
        img_raise(kStatusBadHuffmanCode);
    }
    const int diff = s ? m_bits.signedBits(s) : 0;
    comp.pred = static_cast<std::int16_t>(comp.pred + diff);
    block[0] = static_cast<std::int16_t>(comp.pred);
    for (int k = 1; k < 64; ++k) {
        const int rs = m_bits.decode(ac);
        const int r = rs >> 4;
        const int size = rs & 15;
        if (size != 0) {
            k += r; // at most 78; positions past 63 land on 63
            block[kZigzag[k]] = static_cast<std::int16_t>(m_bits.signedBits(size));
        } else {
            if (r != 15) {
                break;
            }
            k += 15;
        }
    }
}

// T.81 G.2: first and refining scans of DC and AC coefficients.
void Decoder::decodeBlockProgressive(std::int16_t* block, Component& comp, int scanIndex)
{
    const ScanHeader& scan = *m_scan;
    const int al = scan.al;
    if (scan.ss == 0) {
        if (scan.ah == 0) {
            const int s = m_bits.decode(m_dcTables[scan.dcTable[scanIndex]]);
            if (s > 15) {
                img_raise(kStatusBadHuffmanCode);
            }
            const int diff = s ? m_bits.signedBits(s) : 0;
            comp.pred = static_cast<std::int16_t>(comp.pred + diff);
            block[0] = static_cast<std::int16_t>(comp.pred * (1 << al));
        } else if (m_bits.bits(1)) {
            block[0] = static_cast<std::int16_t>(block[0] | (1 << al));
        }
        return;
    }

    const HuffmanDecodeTable& ac = m_acTables[scan.acTable[0]];
    if (scan.ah == 0) {
        if (m_eobRun > 0) {
            --m_eobRun;
            return;
        }
        for (int k = scan.ss; k <= scan.se; ++k) {
            const int rs = m_bits.decode(ac);
            const int r = rs >> 4;
            const int size = rs & 15;
            if (size != 0) {
                k += r;
                block[kZigzag[k]] = static_cast<std::int16_t>(m_bits.signedBits(size) * (1 << al));
            } else if (r == 15) {
                k += 15;
            } else {
                m_eobRun = (1 << r) - 1;
                if (r != 0) {
                    m_eobRun += m_bits.bits(r);
                }
                break;
            }
        }
        return;
    }

    // Refinement: one correction bit for each coefficient that is already non-zero, new
    // coefficients of magnitude 1 placed after r still-zero ones.
    const int p1 = 1 << al;
    const int m1 = -p1;
    auto refine = [&](std::int16_t& coef) {
        if (m_bits.bits(1) && (coef & p1) == 0) {
            coef = static_cast<std::int16_t>(coef + (coef >= 0 ? p1 : m1));
        }
    };
    int k = scan.ss;
    if (m_eobRun == 0) {
        for (; k <= scan.se; ++k) {
            const int rs = m_bits.decode(ac);
            int r = rs >> 4;
            const int size = rs & 15;
            int value = 0;
            if (size != 0) {
                value = m_bits.bits(1) ? p1 : m1;
            } else if (r != 15) {
                m_eobRun = 1 << r;
                if (r != 0) {
                    m_eobRun += m_bits.bits(r);
                }
                break;
            }
            for (; k <= scan.se; ++k) {
                std::int16_t& coef = block[kZigzag[k]];
                if (coef != 0) {
                    refine(coef);
                } else if (--r < 0) {
                    break;
                }
            }
            if (value != 0) {
                block[kZigzag[k]] = static_cast<std::int16_t>(value);
            }
        }
    }
    if (m_eobRun > 0) {
        for (; k <= scan.se; ++k) {
            std::int16_t& coef = block[kZigzag[k]];
            if (coef != 0) {
                refine(coef);
            }
        }
        --m_eobRun;
    }
}

std::int16_t* Decoder::rowBlock(int c, int bx, int by)
{
    return m_rowCoef[c].data() + (static_cast<std::size_t>(by) * m_comp[c].blocksW + bx) * 64;
}

void Decoder::decodeScan(const ScanHeader& scan)
{
    m_scan = &scan;
    m_restartInterval = m_header.restartInterval;
    m_restartLeft = m_restartInterval;
    m_eobRun = 0;
    for (int c = 0; c < m_count; ++c) {
        m_comp[c].pred = 0;
    }
    const bool progressive = m_header.progressive;

    if (scan.count == 1) {
        // Non-interleaved: the component's own blocks in raster order.
        Component& comp = m_comp[scan.comps[0]];
        const int c = scan.comps[0];
        for (int by = 0; by < comp.ownH; ++by) {
            for (int bx = 0; bx < comp.ownW; ++bx) {
                restartIfDue();
                if (progressive) {
                    decodeBlockProgressive(comp.block(bx, by), comp, 0);
                } else if (m_direct) {
                    decodeBlockSequential(rowBlock(c, bx, 0), comp, m_dcTables[scan.dcTable[0]],
                                          m_acTables[scan.acTable[0]]);
                } else {
                    decodeBlockSequential(comp.block(bx, by), comp, m_dcTables[scan.dcTable[0]],
                                          m_acTables[scan.acTable[0]]);
                }
            }
            if (m_direct) {
                reconstructRow(by, true); // a lone component has 8 x 8 MCUs
            }
        }
        return;
    }

    for (int my = 0; my < m_mcusY; ++my) {
        for (int mx = 0; mx < m_mcusX; ++mx) {
            restartIfDue();
            for (int i = 0; i < scan.count; ++i) {
                const int c = scan.comps[i];
                Component& comp = m_comp[c];
                for (int v = 0; v < comp.v; ++v) {
                    for (int h = 0; h < comp.h; ++h) {
                        const int bx = mx * comp.h + h;
                        if (progressive) {
                            decodeBlockProgressive(comp.block(bx, my * comp.v + v), comp, i);
                        } else {
                            std::int16_t* block =
                                m_direct ? rowBlock(c, bx, v) : comp.block(bx, my * comp.v + v);
                            decodeBlockSequential(block, comp, m_dcTables[scan.dcTable[i]],
                                                  m_acTables[scan.acTable[i]]);
                        }
                    }
                }
            }
        }
        if (m_direct) {
            reconstructRow(my, true);
        }
    }
}

// Transforms the needed MCUs of one row of MCUs and writes the target rows that map into it.
void Decoder::reconstructRow(int mcuRow, bool fromRowBuffer)
{
    const int height = m_header.height;
    const int rowTop = mcuRow * m_mcuH;
    const int rowEnd = std::min(rowTop + m_mcuH, height);
    auto sourceY = [&](int ty) {
        return m_target.fit ? static_cast<int>(static_cast<std::int64_t>(ty) * height / m_outH) : ty;
    };
    if (m_nextTargetRow >= m_outH || sourceY(m_nextTargetRow) >= rowEnd) {
        return;
    }

    for (int c = 0; c < m_outComps; ++c) {
        Component& comp = m_comp[c];
        for (int mx = 0; mx < m_mcusX; ++mx) {
            if (!m_mcuNeeded[mx]) {
                continue;
            }
            for (int v = 0; v < comp.v; ++v) {
                for (int h = 0; h < comp.h; ++h) {
                    const int bx = mx * comp.h + h;
                    const std::int16_t* block =
                        fromRowBuffer ? rowBlock(c, bx, v) : comp.block(bx, mcuRow * comp.v + v);
                    std::uint8_t* out =
                        m_strip[c].data() + static_cast<std::size_t>(v) * 8 * m_stripW[c] + bx * 8;
                    inverseDct(block, comp.quant.data(), out, m_stripW[c]);
                }
            }
        }
    }

    const ColourTables& t = colourTables();
    for (; m_nextTargetRow < m_outH; ++m_nextTargetRow) {
        const int sy = sourceY(m_nextTargetRow);
        if (sy >= rowEnd) {
            break;
        }
        const int local = sy - rowTop;
        std::uint8_t* out = m_target.top + static_cast<std::ptrdiff_t>(m_nextTargetRow) * m_target.stride;
        if (m_outComps == 1) {
            const std::uint8_t* row = m_strip[0].data() + static_cast<std::size_t>(local) * m_stripW[0];
            for (int x = 0; x < m_outW; ++x) {
                out[x] = row[m_compX[0][x]];
            }
            continue;
        }
        const std::uint8_t* rows[3];
        for (int c = 0; c < 3; ++c) {
            rows[c] =
                m_strip[c].data() + static_cast<std::size_t>(local * m_comp[c].v / m_vMax) * m_stripW[c];
        }
        const int* x0 = m_compX[0].data();
        const int* x1 = m_compX[1].data();
        const int* x2 = m_compX[2].data();
        for (int x = 0; x < m_outW; ++x) {
            const int y = rows[0][x0[x]];
            const int cb = rows[1][x1[x]];
            const int cr = rows[2][x2[x]];
            out[3 * x] = clamp255(y + t.cbB[cb]);
            out[3 * x + 1] = clamp255(y + ((t.cbG[cb] + t.crG[cr]) >> 16));
            out[3 * x + 2] = clamp255(y + t.crR[cr]);
        }
    }
}

std::int32_t Decoder::run()
{
    setup();
    std::int32_t result = 0;
    int scansDone = 0;
    ScanHeader scan;
    for (;;) {
        try {
            const int r = walkMarkers(m_in, m_header, WalkMode::Scan, &scan);
            if (r != kWalkReachedScan) {
                if (scansDone == 0) {
                    img_raise(kStatusEndOfData); // EOI before any scan: nothing to show
                }
                break;
            }
            prepareScan(scan);
            decodeScan(scan);
            m_bits.reset();
        } catch (const ImgError& failure) {
            if (failure.code() != kStatusEndOfData || scansDone == 0 || m_direct) {
                throw;
            }
            result = kStatusEndOfData; // a later scan is missing: show what came
            break;
        }
        ++scansDone;
        if (m_direct) {
            return 0;
        }
    }
    for (int my = 0; my < m_mcusY; ++my) {
        reconstructRow(my, false);
    }
    return result;
}

} // namespace

int checkFrame(const JpegHeader& h, std::int32_t& status)
{
    auto bad = [&](std::int32_t s) {
        status = s;
        return -43;
    };
    if (h.frameType != 0 && h.frameType != 1 && h.frameType != 2) {
        return bad(kStatusBadFrameType);
    }
    if (h.width < 1 || h.width > 32767 || h.height < 1 || h.height > 32767) {
        return -1;
    }
    if (h.componentCount != 1 && h.componentCount != 3 && h.componentCount != 4) {
        return bad(kStatusBadComponents);
    }
    if (h.precision != 8) {
        return bad(kStatusBadPrecision);
    }
    int blocks = 0;
    for (int c = 0; c < h.componentCount; ++c) {
        const FrameComponent& comp = h.components[c];
        if (comp.h < 1 || comp.h > 4 || comp.v < 1 || comp.v > 4 || comp.quant > 3 ||
            !h.quantDefined[comp.quant]) {
            return bad(kStatusBadTable);
        }
        blocks += comp.h * comp.v;
    }
    if (h.componentCount > 1 && blocks > 10) {
        return bad(kStatusMcuTooLarge);
    }
    return 0;
}

bool fitSize(int width, int height, int areaW, int areaH, int& outW, int& outH)
{
    const std::int64_t w = static_cast<std::int64_t>(width) * areaH / height;
    if (w < areaW) {
        outW = static_cast<int>(w);
        outH = areaH;
    } else {
        outW = areaW;
        outH = static_cast<int>(static_cast<std::int64_t>(height) * areaW / width);
    }
    outW = std::min(outW, width);
    outH = std::min(outH, height);
    return outW > 0 && outH > 0;
}

std::int32_t decodeJpeg(InputWindow& in, JpegHeader& header, const DecodeTarget& target)
{
    Decoder decoder(in, header, target);
    return decoder.run();
}

} // namespace tessivor::jpeg
