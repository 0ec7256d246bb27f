// The encoder runs the picture through colour conversion, 2 x 2 chroma averaging, the forward
// DCT and quantisation one row of MCUs at a time. The sequential mode codes each block as soon
// as it is quantised, so its memory depends on the width only; the optimised and progressive
// modes keep the quantised coefficients of the whole picture, because their Huffman tables can
// only be made after every symbol has been counted, and a progressive scan visits each block
// several times.
//
// Worst cases of the arithmetic: a quantised coefficient of 8-bit samples needs at most 11 bits
// for a DC difference and 10 bits for an AC value, so symbol and value bits of one code fit in
// 27 bits; the quantiser divides by multiplying with a reciprocal, exactly (see
// makeQuantTable).
#include "imagelib/jpeg_encoder.h"

#include "imagelib/jpeg_encode_kernels.h"
#include "imagelib/jpeg_huffman.h"
#include "imagelib/jpeg_io.h"
#include "imagelib/jpeg_tables.h"

#include <algorithm>
#include <array>
#include <bit>
#include <memory>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tessivor::jpeg {

namespace {

// Bit k set when zz[k] is not 0.
inline std::uint64_t nonzeroMask(const std::int16_t* zz)
{
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    std::uint64_t mask = 0;
    for (int i = 0; i < 4; ++i) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(zz + 16 * i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(zz + 16 * i + 8));
        const __m128i zeros = _mm_packs_epi16(_mm_cmpeq_epi16(a, zero), _mm_cmpeq_epi16(b, zero));
        mask |= static_cast<std::uint64_t>(static_cast<std::uint16_t>(~_mm_movemask_epi8(zeros))) << (16 * i);
    }
    return mask;
#else
    std::uint64_t mask = 0;
    for (int k = 0; k < 64; ++k) {
        mask |= static_cast<std::uint64_t>(zz[k] != 0) << k;
    }
    return mask;
#endif
}

inline int bitLength(std::uint32_t v)
{
    return v == 0 ? 0 : 32 - std::countl_zero(v);
}

struct Component
{
    int id = 0;
    int h = 1;
    int v = 1;
    int quant = 0;
    int dcTable = 0;
    int acTable = 0;
    int blocksW = 0; // blocks across and down in the MCU grid
    int blocksH = 0;
    int ownW = 0; // blocks that hold picture samples, for single-component scans
    int ownH = 0;
    ImgWork<std::int16_t> coef; // whole-picture buffer, zigzag order, raster by block

    std::int16_t* block(int bx, int by)
    {
        return coef.get() + (static_cast<std::size_t>(by) * blocksW + bx) * 64;
    }
};

struct ScanSpec
{
    int count;
    std::array<int, 3> comps; // indices into the component list
    int ss, se, ah, al;
};

constexpr ScanSpec kColourScript[] = {
    {3, {0, 1, 2}, 0, 0, 0, 1}, {1, {0}, 1, 5, 0, 2},  {1, {2}, 1, 63, 0, 1},      {1, {1}, 1, 63, 0, 1},
    {1, {0}, 6, 63, 0, 2},      {1, {0}, 1, 63, 2, 1}, {3, {0, 1, 2}, 0, 0, 1, 0}, {1, {2}, 1, 63, 1, 0},
    {1, {1}, 1, 63, 1, 0},      {1, {0}, 1, 63, 1, 0},
};
constexpr ScanSpec kGreyScript[] = {
    {1, {0}, 0, 0, 0, 1},  {1, {0}, 1, 5, 0, 2}, {1, {0}, 6, 63, 0, 2},
    {1, {0}, 1, 63, 2, 1}, {1, {0}, 0, 0, 1, 0}, {1, {0}, 1, 63, 1, 0},
};

// Codes the symbols of one scan, or (Count) only counts them. Progressive coding follows T.81
// G.1.2: end-of-band runs span blocks, and the correction bits of refinement scans wait in a
// buffer until the run that covers their blocks is coded.
template <bool Count> class ScanCoder
{
public:
    static constexpr int kMaxCorrectionBits = 1000;
    static constexpr int kEobRunLimit = 0x7FFF;

    BitWriter* writer = nullptr;
    std::array<const HuffmanEncodeTable*, 2> dcTables{};
    std::array<const HuffmanEncodeTable*, 2> acTables{};
    std::array<SymbolCounts*, 2> dcCounts{};
    std::array<SymbolCounts*, 2> acCounts{};
    std::array<int, 3> lastDc{};
    int acTable = 0; // of the current single-component AC scan

    // Sequential (T.81 F.1.2): DC difference, then run/size symbols for the AC coefficients.
    void sequentialBlock(const std::int16_t* zz, int& lastDcValue, int dcTbl, int acTbl)
    {
        const int dc = zz[0];
        dcDifference(dc - lastDcValue, dcTbl);
        lastDcValue = dc;

        std::uint64_t nonzero = nonzeroMask(zz) & ~std::uint64_t{1};
        int last = 0;
        while (nonzero != 0) {
            const int k = std::countr_zero(nonzero);
            nonzero &= nonzero - 1;
            int run = k - last - 1;
            last = k;
            while (run > 15) {
                acSymbol(acTbl, 0xF0, 0, 0);
                run -= 16;
            }
            const int v = zz[k];
            const std::uint32_t magnitude = static_cast<std::uint32_t>(v < 0 ? -v : v);
            const int size = bitLength(magnitude);
            const std::uint32_t bits = static_cast<std::uint32_t>(v < 0 ? v - 1 : v) & ((1u << size) - 1);
            acSymbol(acTbl, (run << 4) | size, bits, size);
        }
        if (last != 63) {
            acSymbol(acTbl, 0x00, 0, 0);
        }
    }

    void dcFirst(const std::int16_t* zz, int comp, int dcTbl, int al)
    {
        const int value = zz[0] >> al; // arithmetic shift
        dcDifference(value - lastDc[comp], dcTbl);
        lastDc[comp] = value;
    }

    void dcRefine(const std::int16_t* zz, int al)
    {
        if constexpr (!Count) {
            writer->put(static_cast<std::uint32_t>(zz[0] >> al) & 1, 1);
        }
    }

    void acFirst(const std::int16_t* zz, int ss, int se, int al)
    {
        int run = 0;
        for (int k = ss; k <= se; ++k) {
            const int c = zz[k];
            int magnitude;
            int bits;
            if (c < 0) {
                magnitude = (-c) >> al;
                bits = ~magnitude;
            } else {
                magnitude = c >> al;
                bits = magnitude;
            }
            if (magnitude == 0) {
                ++run;
                continue;
            }
            if (m_eobRun > 0) {
                emitEobRun();
            }
            while (run > 15) {
                acSymbol(acTable, 0xF0, 0, 0);
                run -= 16;
            }
            const int size = bitLength(static_cast<std::uint32_t>(magnitude));
            acSymbol(acTable, (run << 4) | size, static_cast<std::uint32_t>(bits) & ((1u << size) - 1), size);
            run = 0;
        }
        if (run > 0) {
            if (++m_eobRun == kEobRunLimit) {
                emitEobRun();
            }
        }
    }

    void acRefine(const std::int16_t* zz, int ss, int se, int al)
    {
        int absolute[64];
        int eob = 0; // last position whose coefficient becomes 1 in this scan
        for (int k = ss; k <= se; ++k) {
            const int c = zz[k];
            absolute[k] = (c < 0 ? -c : c) >> al;
            if (absolute[k] == 1) {
                eob = k;
            }
        }
        int run = 0;
        int pending = 0;                   // correction bits of this block not yet sent
        int pendingStart = m_bufferedBits; // they follow the ones buffered for the run
        for (int k = ss; k <= se; ++k) {
            const int a = absolute[k];
            if (a == 0) {
                ++run;
                continue;
            }
            // Runs of 16 zeros before the last new coefficient need ZRL; later ones fold into
            // the end of band.
            while (run > 15 && k <= eob) {
                emitEobRun();
                acSymbol(acTable, 0xF0, 0, 0);
                run -= 16;
                emitCorrectionBits(pendingStart, pending);
                pendingStart = 0;
                pending = 0;
            }
            if (a > 1) { // already non-zero: one correction bit
                m_correction[pendingStart + pending++] = static_cast<std::uint8_t>(a & 1);
                continue;
            }
            emitEobRun();
            acSymbol(acTable, (run << 4) | 1, zz[k] < 0 ? 0 : 1, 1);
            emitCorrectionBits(pendingStart, pending);
            pendingStart = 0;
            pending = 0;
            run = 0;
        }
        if (run > 0 || pending > 0) {
            ++m_eobRun;
            m_bufferedBits += pending;
            if (m_eobRun == kEobRunLimit || m_bufferedBits > kMaxCorrectionBits - 64 + 1) {
                emitEobRun();
            }
        }
    }

    // Ends the scan's run; the caller then pads the last byte.
    void finish() { emitEobRun(); }

private:
    void dcDifference(int diff, int dcTbl)
    {
        const std::uint32_t magnitude = static_cast<std::uint32_t>(diff < 0 ? -diff : diff);
        const int size = bitLength(magnitude);
        if constexpr (Count) {
            ++(*dcCounts[dcTbl])[size];
        } else {
            const HuffmanEncodeTable& t = *dcTables[dcTbl];
            const std::uint32_t bits =
                static_cast<std::uint32_t>(diff < 0 ? diff - 1 : diff) & ((1u << size) - 1);
            writer->put((static_cast<std::uint64_t>(t.code[size]) << size) | bits, t.length[size] + size);
        }
    }

    void acSymbol(int tbl, int symbol, std::uint32_t bits, int size)
    {
        if constexpr (Count) {
            ++(*acCounts[tbl])[symbol];
        } else {
            const HuffmanEncodeTable& t = *acTables[tbl];
            writer->put((static_cast<std::uint64_t>(t.code[symbol]) << size) | bits, t.length[symbol] + size);
        }
    }

    void emitEobRun()
    {
        if (m_eobRun > 0) {
            const int size = bitLength(static_cast<std::uint32_t>(m_eobRun)) - 1;
            acSymbol(acTable, size << 4, static_cast<std::uint32_t>(m_eobRun) & ((1u << size) - 1), size);
            m_eobRun = 0;
            emitCorrectionBits(0, m_bufferedBits);
            m_bufferedBits = 0;
        }
    }

    void emitCorrectionBits(int start, int count)
    {
        if constexpr (!Count) {
            for (int i = 0; i < count; ++i) {
                writer->put(m_correction[start + i], 1);
            }
        }
    }

    int m_eobRun = 0;
    int m_bufferedBits = 0;
    std::array<std::uint8_t, kMaxCorrectionBits> m_correction{};
};

class Encoder
{
public:
    Encoder(const EncodeImage& image, const EncodeSettings& settings, ByteSink& sink)
        : m_image(image), m_settings(settings), m_sink(sink)
    {
    }

    EncodeResult run();

private:
    bool writeHeaders();
    bool writeDht(int tableClass, int number, const HuffmanSpec& tableSpec);
    bool writeSos(const ScanSpec& scan);
    void pixelPass(BitWriter& writer);
    void convertStrip(int mcuRow);
    void codeSequentialFromBuffers(BitWriter& writer);
    void codeProgressive(BitWriter& writer);
    template <bool Count> void runScan(const ScanSpec& scan, ScanCoder<Count>& coder);
    void writeScan(const ScanSpec& scan, BitWriter& writer);
    bool put(const std::vector<std::uint8_t>& bytes) { return m_sink.write(bytes.data(), bytes.size()); }

    const EncodeImage& m_image;
    const EncodeSettings& m_settings;
    ByteSink& m_sink;

    std::array<QuantTable, 2> m_quant;
    std::array<HuffmanEncodeTable, 2> m_dc;
    std::array<HuffmanEncodeTable, 2> m_ac;
    std::array<Component, 3> m_comp;
    int m_compCount = 0;
    int m_mcuW = 0, m_mcuH = 0, m_mcusX = 0, m_mcusY = 0;
    bool m_storeAll = false;

    // One row of MCUs: luma (or grey) at full resolution, chroma after averaging.
    int m_stripW = 0;
    std::vector<std::uint8_t> m_lumaStrip, m_cbStrip, m_crStrip, m_cbRows, m_crRows;
    std::vector<std::uint8_t> m_paletteRow; // an indexed row as blue, green, red
    const EncodeKernels& m_kernels = encodeKernels();
};

EncodeResult Encoder::run()
{
    const int scale = qualityScale(m_settings.quality);
    const bool colour = m_image.kind != PixelKind::Grey8;
    m_quant[0] = makeQuantTable(kStdLuminanceQuant, scale);
    if (colour) {
        m_quant[1] = makeQuantTable(kStdChrominanceQuant, scale);
    }
    if (m_settings.mode == EncodeMode::Sequential) {
        if (!buildEncodeTable(kStdDcLuminance, m_dc[0]) || !buildEncodeTable(kStdAcLuminance, m_ac[0]) ||
            !buildEncodeTable(kStdDcChrominance, m_dc[1]) || !buildEncodeTable(kStdAcChrominance, m_ac[1]))
            return {-3, kStatusBadTable};
    }

    m_compCount = colour ? 3 : 1;
    m_mcuW = m_mcuH = colour ? 16 : 8;
    m_mcusX = (m_image.width + m_mcuW - 1) / m_mcuW;
    m_mcusY = (m_image.height + m_mcuH - 1) / m_mcuH;
    for (int c = 0; c < m_compCount; ++c) {
        Component& comp = m_comp[c];
        comp.id = c + 1;
        comp.h = comp.v = (colour && c == 0) ? 2 : 1;
        comp.quant = comp.dcTable = comp.acTable = c == 0 ? 0 : 1;
        comp.blocksW = m_mcusX * comp.h;
        comp.blocksH = m_mcusY * comp.v;
        const int hMax = colour ? 2 : 1;
        comp.ownW = (m_image.width * comp.h + hMax * 8 - 1) / (hMax * 8);
        comp.ownH = (m_image.height * comp.v + hMax * 8 - 1) / (hMax * 8);
    }
    m_storeAll = m_settings.mode != EncodeMode::Sequential;

    EncodeResult result;
    try {
        if (m_storeAll) {
            for (int c = 0; c < m_compCount; ++c) {
                Component& comp = m_comp[c];
                comp.coef = img_jpeg_alloc_coef(static_cast<std::size_t>(comp.blocksW) * comp.blocksH);
                if (!comp.coef) {
                    return {-14, 0};
                }
            }
        }
        m_stripW = m_mcusX * m_mcuW;
        m_lumaStrip.resize(static_cast<std::size_t>(m_stripW) * m_mcuH);
        if (colour) {
            m_cbStrip.resize(static_cast<std::size_t>(m_stripW / 2) * 8);
            m_crStrip.resize(m_cbStrip.size());
            m_cbRows.resize(static_cast<std::size_t>(m_stripW) * 2);
            m_crRows.resize(m_cbRows.size());
        }
        if (m_image.kind == PixelKind::Indexed8) {
            m_paletteRow.resize(static_cast<std::size_t>(m_image.width) * 3);
        }
    } catch (const std::bad_alloc&) {
        return {-14, 0};
    }

    if (!writeHeaders()) {
        return {-3, 0};
    }
    result.headersWritten = true;

    try {
        BitWriter writer(m_sink);
        pixelPass(writer);
        if (m_settings.mode == EncodeMode::Optimized) {
            codeSequentialFromBuffers(writer);
        } else if (m_settings.mode == EncodeMode::Progressive) {
            codeProgressive(writer);
        }
    } catch (const ImgError& failure) {
        result.code = -3;
        result.status = failure.code();
        return result;
    } catch (const std::bad_alloc&) {
        result.code = -14;
        return result;
    }

    static const std::vector<std::uint8_t> eoi = {0xFF, 0xD9};
    if (!put(eoi)) {
        result.code = -3;
    }
    return result;
}

void pushU16(std::vector<std::uint8_t>& out, int v)
{
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

bool Encoder::writeHeaders()
{
    // SOI and the JFIF segment in one write.
    std::vector<std::uint8_t> head = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 16, 'J', 'F', 'I', 'F', 0, 1, 2};
    head.push_back(static_cast<std::uint8_t>(m_settings.densityUnits));
    pushU16(head, m_settings.xDensity);
    pushU16(head, m_settings.yDensity);
    head.push_back(0);
    head.push_back(0);
    if (!put(head)) {
        return false;
    }
    if (!m_settings.extraSegment.empty() && !put(m_settings.extraSegment)) {
        return false;
    }

    const int tables = m_compCount == 3 ? 2 : 1;
    for (int t = 0; t < tables; ++t) {
        const QuantTable& q = m_quant[t];
        std::vector<std::uint8_t> dqt = {0xFF, 0xDB};
        pushU16(dqt, q.wide ? 131 : 67);
        dqt.push_back(static_cast<std::uint8_t>((q.wide ? 0x10 : 0x00) | t));
        for (int k = 0; k < 64; ++k) {
            const int v = q.value[kZigzag[k]];
            if (q.wide) {
                pushU16(dqt, v);
            } else {
                dqt.push_back(static_cast<std::uint8_t>(v));
            }
        }
        if (!put(dqt)) {
            return false;
        }
    }

    const bool wide = m_quant[0].wide || (tables == 2 && m_quant[1].wide);
    std::vector<std::uint8_t> sof = {0xFF};
    sof.push_back(m_settings.mode == EncodeMode::Progressive ? 0xC2 : (wide ? 0xC1 : 0xC0));
    pushU16(sof, 8 + 3 * m_compCount);
    sof.push_back(8);
    pushU16(sof, m_image.height);
    pushU16(sof, m_image.width);
    sof.push_back(static_cast<std::uint8_t>(m_compCount));
    for (int c = 0; c < m_compCount; ++c) {
        sof.push_back(static_cast<std::uint8_t>(m_comp[c].id));
        sof.push_back(static_cast<std::uint8_t>(m_comp[c].h << 4 | m_comp[c].v));
        sof.push_back(static_cast<std::uint8_t>(m_comp[c].quant));
    }
    if (!put(sof)) {
        return false;
    }

    if (m_settings.mode == EncodeMode::Sequential) {
        if (!writeDht(0, 0, kStdDcLuminance) || !writeDht(1, 0, kStdAcLuminance)) {
            return false;
        }
        if (m_compCount == 3 && (!writeDht(0, 1, kStdDcChrominance) || !writeDht(1, 1, kStdAcChrominance))) {
            return false;
        }
        return writeSos(ScanSpec{m_compCount, {0, 1, 2}, 0, 63, 0, 0});
    }
    return true;
}

bool Encoder::writeDht(int tableClass, int number, const HuffmanSpec& tableSpec)
{
    const int count = tableSpec.count();
    std::vector<std::uint8_t> dht = {0xFF, 0xC4};
    pushU16(dht, 19 + count);
    dht.push_back(static_cast<std::uint8_t>(tableClass << 4 | number));
    dht.insert(dht.end(), tableSpec.bits.begin() + 1, tableSpec.bits.end());
    dht.insert(dht.end(), tableSpec.values.begin(), tableSpec.values.begin() + count);
    return put(dht);
}

bool Encoder::writeSos(const ScanSpec& scan)
{
    const bool progressive = m_settings.mode == EncodeMode::Progressive;
    std::vector<std::uint8_t> sos = {0xFF, 0xDA};
    pushU16(sos, 6 + 2 * scan.count);
    sos.push_back(static_cast<std::uint8_t>(scan.count));
    for (int i = 0; i < scan.count; ++i) {
        const Component& comp = m_comp[scan.comps[i]];
        int td = comp.dcTable;
        int ta = comp.acTable;
        if (progressive) {
            // A progressive scan uses DC or AC tables only, and a DC refinement none.
            if (scan.ss == 0) {
                ta = 0;
                if (scan.ah != 0) {
                    td = 0;
                }
            } else {
                td = 0;
            }
        }
        sos.push_back(static_cast<std::uint8_t>(comp.id));
        sos.push_back(static_cast<std::uint8_t>(td << 4 | ta));
    }
    sos.push_back(static_cast<std::uint8_t>(scan.ss));
    sos.push_back(static_cast<std::uint8_t>(scan.se));
    sos.push_back(static_cast<std::uint8_t>(scan.ah << 4 | scan.al));
    return put(sos);
}

// Past the right edge the last column repeats.
void padRow(std::uint8_t* row, int width, int stripW)
{
    std::fill(row + width, row + stripW, row[width - 1]);
}

void Encoder::convertStrip(int mcuRow)
{
    const int w = m_image.width;
    const int lastRow = m_image.height - 1;
    auto sourceRow = [&](int r) {
        const int y = std::min(mcuRow * m_mcuH + r, lastRow); // past the bottom the last row repeats
        return m_image.top + static_cast<std::ptrdiff_t>(y) * m_image.stride;
    };
    if (m_compCount == 1) {
        for (int r = 0; r < m_mcuH; ++r) {
            std::uint8_t* out = m_lumaStrip.data() + static_cast<std::size_t>(r) * m_stripW;
            std::copy_n(sourceRow(r), w, out);
            padRow(out, w, m_stripW);
        }
        return;
    }
    const int chromaW = m_stripW / 2;
    for (int pair = 0; pair < m_mcuH / 2; ++pair) {
        for (int i = 0; i < 2; ++i) {
            const int r = 2 * pair + i;
            std::uint8_t* y = m_lumaStrip.data() + static_cast<std::size_t>(r) * m_stripW;
            std::uint8_t* cb = m_cbRows.data() + static_cast<std::size_t>(i) * m_stripW;
            std::uint8_t* cr = m_crRows.data() + static_cast<std::size_t>(i) * m_stripW;
            const std::uint8_t* bgr = sourceRow(r);
            if (m_image.kind == PixelKind::Indexed8) {
                // Through the palette into a row of blue, green, red.
                std::uint8_t* expanded = m_paletteRow.data();
                for (int x = 0; x < w; ++x) {
                    std::copy_n(m_image.palette + 4 * bgr[x], 3, expanded + 3 * x);
                }
                bgr = expanded;
            }
            m_kernels.convertBgr(bgr, w, y, cb, cr);
            padRow(y, w, m_stripW);
            padRow(cb, w, m_stripW);
            padRow(cr, w, m_stripW);
        }
        m_kernels.downsample(m_cbRows.data(), m_cbRows.data() + m_stripW, chromaW,
                             m_cbStrip.data() + static_cast<std::size_t>(pair) * chromaW);
        m_kernels.downsample(m_crRows.data(), m_crRows.data() + m_stripW, chromaW,
                             m_crStrip.data() + static_cast<std::size_t>(pair) * chromaW);
    }
}

void Encoder::pixelPass(BitWriter& writer)
{
    ScanCoder<false> coder;
    coder.writer = &writer;
    coder.dcTables = {&m_dc[0], &m_dc[1]};
    coder.acTables = {&m_ac[0], &m_ac[1]};
    std::array<int, 3> lastDc{};

    // The blocks of one MCU in coding order (a grey picture takes two MCUs at a time), so that
    // neighbours with the same table go through the transform as a pair.
    struct Block
    {
        int comp;
        const std::uint8_t* samples;
        int stride;
        std::int16_t* zz;
    };
    constexpr int kMaxBlocks = 6;
    alignas(32) std::int16_t zz[kMaxBlocks][64];
    std::array<Block, kMaxBlocks> blocks;
    const int step = m_compCount == 1 ? 2 : 1;

    for (int my = 0; my < m_mcusY; ++my) {
        convertStrip(my);
        for (int mx = 0; mx < m_mcusX; mx += step) {
            int n = 0;
            for (int m = mx; m < std::min(mx + step, m_mcusX); ++m) {
                for (int c = 0; c < m_compCount; ++c) {
                    Component& comp = m_comp[c];
                    const std::uint8_t* strip =
                        c == 0 ? m_lumaStrip.data() : (c == 1 ? m_cbStrip.data() : m_crStrip.data());
                    const int stripW = c == 0 ? m_stripW : m_stripW / 2;
                    for (int v = 0; v < comp.v; ++v) {
                        for (int h = 0; h < comp.h; ++h) {
                            const int bx = m * comp.h + h;
                            blocks[n] = {c, strip + static_cast<std::ptrdiff_t>(v) * 8 * stripW + bx * 8,
                                         stripW, m_storeAll ? comp.block(bx, my * comp.v + v) : zz[n]};
                            ++n;
                        }
                    }
                }
            }
            for (int i = 0; i < n;) {
                const Block& a = blocks[i];
                const QuantTable& q = m_quant[m_comp[a.comp].quant];
                const bool paired = i + 1 < n && m_comp[blocks[i + 1].comp].quant == m_comp[a.comp].quant &&
                                    blocks[i + 1].stride == a.stride;
                const Block& b = paired ? blocks[i + 1] : a;
                m_kernels.transformPair(a.samples, b.samples, a.stride, q, a.zz, b.zz);
                i += paired ? 2 : 1;
            }
            if (!m_storeAll) {
                for (int i = 0; i < n; ++i) {
                    const Component& comp = m_comp[blocks[i].comp];
                    coder.sequentialBlock(blocks[i].zz, lastDc[blocks[i].comp], comp.dcTable, comp.acTable);
                }
            }
        }
    }
    if (!m_storeAll) {
        writer.alignWithOnes();
        writer.flushBuffer();
    }
}

void Encoder::codeSequentialFromBuffers(BitWriter& writer)
{
    std::array<SymbolCounts, 2> dcCounts{};
    std::array<SymbolCounts, 2> acCounts{};
    const ScanSpec scan{m_compCount, {0, 1, 2}, 0, 63, 0, 0};
    {
        ScanCoder<true> counter;
        counter.dcCounts = {&dcCounts[0], &dcCounts[1]};
        counter.acCounts = {&acCounts[0], &acCounts[1]};
        runScan(scan, counter);
    }
    const int tables = m_compCount == 3 ? 2 : 1;
    for (int t = 0; t < tables; ++t) {
        const HuffmanSpec dc = buildOptimalTable(dcCounts[t]);
        const HuffmanSpec ac = buildOptimalTable(acCounts[t]);
        if (!buildEncodeTable(dc, m_dc[t]) || !buildEncodeTable(ac, m_ac[t]))
            img_raise(kStatusBadTable);
        if (!writeDht(0, t, dc) || !writeDht(1, t, ac)) {
            img_raise(kStatusWriteFailed);
        }
    }
    writeScan(scan, writer);
}

void Encoder::codeProgressive(BitWriter& writer)
{
    const bool colour = m_compCount == 3;
    const ScanSpec* script = colour ? kColourScript : kGreyScript;
    const int scans =
        colour ? static_cast<int>(std::size(kColourScript)) : static_cast<int>(std::size(kGreyScript));
    for (int s = 0; s < scans; ++s) {
        const ScanSpec& scan = script[s];
        std::array<SymbolCounts, 2> counts{};
        {
            ScanCoder<true> counter;
            counter.dcCounts = {&counts[0], &counts[1]};
            counter.acCounts = {&counts[0], &counts[1]};
            runScan(scan, counter);
        }
        // The tables this scan uses, each once, in the order of its components.
        std::array<bool, 2> written{};
        for (int i = 0; i < scan.count; ++i) {
            const Component& comp = m_comp[scan.comps[i]];
            if (scan.ss == 0 && scan.ah != 0) {
                break; // DC refinement sends raw bits
            }
            const int t = scan.ss == 0 ? comp.dcTable : comp.acTable;
            if (written[t]) {
                continue;
            }
            written[t] = true;
            const HuffmanSpec tableSpec = buildOptimalTable(counts[t]);
            if (!buildEncodeTable(tableSpec, scan.ss == 0 ? m_dc[t] : m_ac[t])) {
                img_raise(kStatusBadTable);
            }
            if (!writeDht(scan.ss == 0 ? 0 : 1, t, tableSpec)) {
                img_raise(kStatusWriteFailed);
            }
        }
        writeScan(scan, writer);
    }
}

// The SOS segment of `scan` and its entropy-coded data with the current tables, the last byte
// padded with one bits.
void Encoder::writeScan(const ScanSpec& scan, BitWriter& writer)
{
    if (!writeSos(scan)) {
        img_raise(kStatusWriteFailed);
    }
    ScanCoder<false> coder;
    coder.writer = &writer;
    coder.dcTables = {&m_dc[0], &m_dc[1]};
    coder.acTables = {&m_ac[0], &m_ac[1]};
    runScan(scan, coder);
    writer.alignWithOnes();
    writer.flushBuffer();
}

template <bool Count> void Encoder::runScan(const ScanSpec& scan, ScanCoder<Count>& coder)
{
    const bool progressive = m_settings.mode == EncodeMode::Progressive;
    if (!progressive) {
        std::array<int, 3> lastDc{};
        for (int my = 0; my < m_mcusY; ++my) {
            for (int mx = 0; mx < m_mcusX; ++mx) {
                for (int c = 0; c < m_compCount; ++c) {
                    Component& comp = m_comp[c];
                    for (int v = 0; v < comp.v; ++v) {
                        for (int h = 0; h < comp.h; ++h) {
                            coder.sequentialBlock(comp.block(mx * comp.h + h, my * comp.v + v), lastDc[c],
                                                  comp.dcTable, comp.acTable);
                        }
                    }
                }
            }
        }
    } else if (scan.ss == 0) {
        // DC scans: interleaved over the MCUs when they hold several components, else over the
        // component's blocks (the same grid for the one-component picture).
        for (int my = 0; my < m_mcusY; ++my) {
            for (int mx = 0; mx < m_mcusX; ++mx) {
                for (int i = 0; i < scan.count; ++i) {
                    const int c = scan.comps[i];
                    Component& comp = m_comp[c];
                    for (int v = 0; v < comp.v; ++v) {
                        for (int h = 0; h < comp.h; ++h) {
                            const std::int16_t* zz = comp.block(mx * comp.h + h, my * comp.v + v);
                            if (scan.ah == 0) {
                                coder.dcFirst(zz, c, comp.dcTable, scan.al);
                            } else {
                                coder.dcRefine(zz, scan.al);
                            }
                        }
                    }
                }
            }
        }
    } else {
        Component& comp = m_comp[scan.comps[0]];
        coder.acTable = comp.acTable;
        for (int by = 0; by < comp.ownH; ++by) {
            for (int bx = 0; bx < comp.ownW; ++bx) {
                const std::int16_t* zz = comp.block(bx, by);
                if (scan.ah == 0) {
                    coder.acFirst(zz, scan.ss, scan.se, scan.al);
                } else {
                    coder.acRefine(zz, scan.ss, scan.se, scan.al);
                }
            }
        }
    }
    coder.finish();
}

} // namespace

EncodeResult encodeJpeg(const EncodeImage& image, const EncodeSettings& settings, ByteSink& sink)
{
    Encoder encoder(image, settings, sink);
    return encoder.run();
}

} // namespace tessivor::jpeg
