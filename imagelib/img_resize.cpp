// Nearest-neighbour and smooth resampling, area copies and the bit-row and pixel helpers they
// share (see img_resize.h).
//
// The nearest-neighbour path is the hot one (the frame pipeline scales every frame to the
// preview size with it). Its per-axis Bresenham masks are turned, once per call, into a table
// of source byte offsets for the target columns; each row is then a walk through that table,
// and a target row that repeats the previous one (enlarging vertically) is one whole-row copy.
#include "imagelib/img_resize.h"

#include "imagelib/img_bits.h"
#include "imagelib/img_colour.h"
#include "imagelib/img_colour_rows.h"
#include "imagelib/img_frame.h"

#include <atomic>
#include <bit>
#include <cstring>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

using namespace imgrows;

namespace {

// ---- nearest neighbour ----

// Walks the row mask and calls buildRow(sourceRow, targetRow) for every target row built from a
// source row, and repeatRow(previousTargetRow, targetRow) for every row that repeats the last.
// Rows are picture rows relative to the areas.
template <class Build, class Repeat> void walkRows(const ResizeMask& rows, Build buildRow, Repeat repeatRow)
{
    if (rows.dense) {
        std::uint32_t source = 0;
        for (std::uint32_t i = 0; i < rows.bitCount; ++i) {
            if (rows.test(i)) {
                buildRow(source, i);
                ++source;
            } else {
                repeatRow(i - 1, i);
            }
        }
    } else {
        std::uint32_t target = 0;
        for (std::uint32_t i = 0; i < rows.bitCount; ++i)
            if (rows.test(i))
                buildRow(i, target++);
    }
}

// ---- building one 24-bit row from the offset table ----
//
// `offsets[k]` is the byte offset of target pixel k's source pixel from the start of the source
// area's row. A pixel is read as 4 bytes where that stays inside the source row (the first `safe`
// target pixels); the rest, and any tail, are copied as 3 bytes. Only the target's 3 * count
// bytes are written.

static_assert(std::endian::native == std::endian::little,
              "the packed 24-bit paths assume little-endian words");

std::uint32_t load32(const std::uint8_t* p)
{
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

void store32(std::uint8_t* p, std::uint32_t v)
{
    std::memcpy(p, &v, 4);
}

void copyTail24(const std::uint8_t* from, std::uint8_t* to, const std::uint32_t* offsets, std::uint32_t k,
                std::uint32_t count)
{
    for (; k < count; ++k) {
        const std::uint8_t* p = from + offsets[k];
        std::uint8_t* q = to + std::size_t{k} * 3;
        q[0] = p[0];
        q[1] = p[1];
        q[2] = p[2];
    }
}

// Plain path for pixels [k, end): four pixels are gathered into three 32-bit words while their
// 4-byte reads stay inside the source row (pixels below `safe`), the rest are copied as 3 bytes.
void buildRow24Range(std::uint32_t k, std::uint32_t end, const std::uint8_t* from, std::uint8_t* to,
                     const std::uint32_t* offsets, std::uint32_t safe)
{
    const std::uint32_t gatherEnd = end < safe ? end : safe;
    for (; k + 4 <= gatherEnd; k += 4) {
        const std::uint32_t p0 = load32(from + offsets[k]), p1 = load32(from + offsets[k + 1]);
        const std::uint32_t p2 = load32(from + offsets[k + 2]), p3 = load32(from + offsets[k + 3]);
        std::uint8_t* q = to + std::size_t{k} * 3;
        store32(q, (p0 & 0xFFFFFF) | (p1 << 24));
        store32(q + 4, ((p1 >> 8) & 0xFFFF) | (p2 << 16));
        store32(q + 8, ((p2 >> 16) & 0xFF) | (p3 << 8));
    }
    copyTail24(from, to, offsets, k, end);
}

void buildRow24Plain(const std::uint8_t* from, std::uint8_t* to, const std::uint32_t* offsets,
                     std::uint32_t count, std::uint32_t safe)
{
    buildRow24Range(0, count, from, to, offsets, safe);
}

// Vector path (AVX-512 VBMI): the target row is cut into chunks of 16 pixels (48 bytes). The
// source bytes of one chunk lie in a window of at most 128 bytes whenever the chunk shrinks by
// less than about 2.6; for each such chunk the window's start and a byte index per output byte
// are worked out once per call, and each row then builds the chunk with two masked loads, one
// two-table byte permutation and one masked store: exactly the window is read and exactly the
// chunk's bytes are written. Chunks whose window is wider are copied by the plain path.
struct ShuffleChunk
{
    std::uint8_t index[64] = {}; // first, so that it lies in one cache line (see planStorage)
    std::uint32_t start = 0;     // window start, bytes from the source area's row start
    std::uint32_t span = 0;      // window length; 0: copied by the plain path
    std::uint32_t wide = 0;      // 1 when 128 bytes from the start still lie inside the source row
    std::uint8_t padding[52] = {};
};
static_assert(sizeof(ShuffleChunk) == 128);

// The chunk plans inside `storage` (one chunk more than needed), from a 64-byte boundary.
ShuffleChunk* planStorage(ShuffleChunk* storage)
{
    const auto address = reinterpret_cast<std::uintptr_t>(storage);
    return reinterpret_cast<ShuffleChunk*>((address + 63) & ~std::uintptr_t{63});
}

constexpr std::uint32_t kChunkPixels = 16;

std::uint32_t chunkCount(std::uint32_t count)
{
    return (count + kChunkPixels - 1) / kChunkPixels;
}

void planChunks(const std::uint32_t* offsets, std::uint32_t count, std::size_t rowBytesLeft,
                ShuffleChunk* chunks)
{
    for (std::uint32_t c = 0; c < chunkCount(count); ++c) {
        ShuffleChunk& chunk = chunks[c];
        chunk = ShuffleChunk{};
        const std::uint32_t first = c * kChunkPixels;
        const std::uint32_t end = first + kChunkPixels < count ? first + kChunkPixels : count;
        const std::uint32_t start = offsets[first];
        const std::uint32_t span = offsets[end - 1] + 3 - start; // offsets never decrease
        if (span > 128)
            continue;
        chunk.start = start;
        chunk.span = span;
        chunk.wide = start + 128 <= rowBytesLeft;
        for (std::uint32_t k = first; k < end; ++k)
            for (std::uint32_t b = 0; b < 3; ++b)
                chunk.index[(k - first) * 3 + b] = static_cast<std::uint8_t>(offsets[k] - start + b);
    }
}

// Chunks from the row's start that the vector loop can take without any check: full, with a
// 128-byte window inside the source row, and followed by at least 16 more target bytes (so
// that their 64-byte store spills only into the next chunk).
std::uint32_t plainFastChunks(const ShuffleChunk* chunks, std::uint32_t count)
{
    std::uint32_t n = 0;
    while (n < chunkCount(count) && chunks[n].span && chunks[n].wide && (n + 1) * kChunkPixels + 6 <= count)
        ++n;
    return n;
}

#if defined(__x86_64__)
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) void
buildRow24Vbmi(const std::uint8_t* from, std::uint8_t* to, const std::uint32_t* offsets, std::uint32_t count,
               const ShuffleChunk* chunks, std::uint32_t fast)
{
    std::uint32_t c = 0;
    for (; c < fast; ++c) {
        const std::uint8_t* window = from + chunks[c].start;
        const __m512i bytes = _mm512_permutex2var_epi8(
            _mm512_loadu_si512(window), _mm512_loadu_si512(chunks[c].index), _mm512_loadu_si512(window + 64));
        _mm512_storeu_si512(to + std::size_t{c} * kChunkPixels * 3, bytes);
    }
    for (; c < chunkCount(count); ++c) {
        const ShuffleChunk& chunk = chunks[c];
        const std::uint32_t first = c * kChunkPixels;
        const std::uint32_t pixels = count - first < kChunkPixels ? count - first : kChunkPixels;
        if (chunk.span == 0) {
            copyTail24(from, to, offsets, first, first + pixels);
            continue;
        }
        // Exactly the window is read and exactly the chunk's bytes are written.
        const std::uint8_t* window = from + chunk.start;
        const __mmask64 lowMask = chunk.span >= 64 ? ~__mmask64{0} : (__mmask64{1} << chunk.span) - 1;
        const __mmask64 highMask = chunk.span > 64 ? (__mmask64{1} << (chunk.span - 64)) - 1 : 0;
        const __m512i low = _mm512_maskz_loadu_epi8(lowMask, window);
        const __m512i high = _mm512_maskz_loadu_epi8(highMask, window + 64);
        const __m512i bytes = _mm512_permutex2var_epi8(low, _mm512_loadu_si512(chunk.index), high);
        _mm512_mask_storeu_epi8(to + std::size_t{first} * 3, (__mmask64{1} << (pixels * 3)) - 1, bytes);
    }
}
#endif

// SSSE3 path: the target row is cut into chunks of 16 bytes (a chunk may begin and end inside a
// pixel). The source bytes of one chunk lie in a window of at most 48 bytes whenever the chunk
// shrinks by less than about 3. Once per call the number of 16-byte pieces every such window
// fits in is chosen (the same for all chunks, so that the row loop does not branch on it), and
// for each chunk the window's start and, per piece, a byte index per output byte (0x80 where
// the byte comes from another piece) are worked out. Each row then builds a chunk with one byte
// shuffle per piece, ORed together, and one 16-byte store. A chunk is taken this way only when
// its window fits the pieces and they lie inside the source row (its store always lies inside
// the target's bytes); the others, and the bytes after the last whole chunk, are built by the
// plain path.
constexpr std::uint32_t kPieceBytes = 16;

struct PieceChunk
{
    std::uint8_t index[3 * kPieceBytes] = {}; // piece p's table at index + 16 * p
    std::uint32_t start = 0;                  // window start, bytes from the source area's row start
    std::uint32_t usable = 0;                 // 0: built by the plain path
    std::uint8_t padding[8] = {};
};
static_assert(sizeof(PieceChunk) == 64);

// Chunks whose 16-byte store lies inside the target's 3 * count bytes.
std::uint32_t pieceChunkCount(std::uint32_t count)
{
    return count * 3 / kPieceBytes;
}

// Source byte (from the source area's row start) of target byte b.
std::uint32_t sourceByte(const std::uint32_t* offsets, std::uint32_t b)
{
    return offsets[b / 3] + b % 3;
}

// First and one-past-last source byte chunk c reads. Offsets never decrease, but when enlarging
// a later pixel starts before an earlier one's last byte: the lowest byte is the first one or
// the first byte of the pixel after it, the highest the last one or the last byte of the pixel
// before it.
void chunkWindow(const std::uint32_t* offsets, std::uint32_t c, std::uint32_t& from, std::uint32_t& to)
{
    const std::uint32_t first = c * kPieceBytes, last = first + kPieceBytes - 1;
    from = sourceByte(offsets, first);
    if (first % 3 != 0 && offsets[first / 3 + 1] < from)
        from = offsets[first / 3 + 1];
    to = sourceByte(offsets, last) + 1;
    if (last % 3 != 2 && offsets[last / 3 - 1] + 3 > to)
        to = offsets[last / 3 - 1] + 3;
}

// Plans the whole chunks; returns the pieces each window is read as (1 to 3), or 0 when no
// chunk can be built by shuffles.
std::uint32_t planPieceChunks(const std::uint32_t* offsets, std::uint32_t count, std::size_t rowBytesLeft,
                              PieceChunk* chunks)
{
    std::uint32_t pieces = 0;
    for (std::uint32_t c = 0; c < pieceChunkCount(count); ++c) {
        std::uint32_t from = 0, to = 0;
        chunkWindow(offsets, c, from, to);
        const std::uint32_t need = (to - from + kPieceBytes - 1) / kPieceBytes;
        if (need <= 3 && need > pieces)
            pieces = need;
    }
    std::uint32_t usable = 0;
    for (std::uint32_t c = 0; c < pieceChunkCount(count); ++c) {
        PieceChunk& chunk = chunks[c];
        chunk = PieceChunk{};
        std::uint32_t from = 0, to = 0;
        chunkWindow(offsets, c, from, to);
        if (to - from > pieces * kPieceBytes || from + std::size_t{pieces} * kPieceBytes > rowBytesLeft)
            continue;
        chunk.start = from;
        chunk.usable = 1;
        for (std::uint8_t& i : chunk.index)
            i = 0x80;
        for (std::uint32_t j = 0; j < kPieceBytes; ++j) {
            const std::uint32_t at = sourceByte(offsets, c * kPieceBytes + j) - from;
            chunk.index[(at / kPieceBytes) * kPieceBytes + j] = static_cast<std::uint8_t>(at % kPieceBytes);
        }
        ++usable;
    }
    return usable ? pieces : 0;
}

// Chunks from the row's start that the shuffle loop can take without looking at them.
std::uint32_t leadingUsable(const PieceChunk* chunks, std::uint32_t count)
{
    std::uint32_t n = 0;
    while (n < pieceChunkCount(count) && chunks[n].usable)
        ++n;
    return n;
}

#if defined(__x86_64__)
template <std::uint32_t Pieces>
__attribute__((target("ssse3"), always_inline)) inline void
shuffleChunk(const std::uint8_t* from, std::uint8_t* to, const PieceChunk& chunk)
{
    const auto* window = reinterpret_cast<const __m128i*>(from + chunk.start);
    const auto* index = reinterpret_cast<const __m128i*>(chunk.index);
    __m128i bytes = _mm_shuffle_epi8(_mm_loadu_si128(window), _mm_loadu_si128(index));
    if constexpr (Pieces > 1)
        bytes =
            _mm_or_si128(bytes, _mm_shuffle_epi8(_mm_loadu_si128(window + 1), _mm_loadu_si128(index + 1)));
    if constexpr (Pieces > 2)
        bytes =
            _mm_or_si128(bytes, _mm_shuffle_epi8(_mm_loadu_si128(window + 2), _mm_loadu_si128(index + 2)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to), bytes);
}

template <std::uint32_t Pieces>
__attribute__((target("ssse3"))) void
buildRow24Ssse3(const std::uint8_t* from, std::uint8_t* to, const std::uint32_t* offsets, std::uint32_t count,
                std::uint32_t safe, const PieceChunk* chunks, std::uint32_t fast)
{
    std::uint32_t c = 0;
    for (; c < fast; ++c)
        shuffleChunk<Pieces>(from, to + std::size_t{c} * kPieceBytes, chunks[c]);
    const std::uint32_t full = pieceChunkCount(count);
    for (; c < full; ++c) {
        if (chunks[c].usable) {
            shuffleChunk<Pieces>(from, to + std::size_t{c} * kPieceBytes, chunks[c]);
            continue;
        }
        // The pixels that touch this chunk's bytes; those shared with a neighbour chunk get the
        // same bytes from both.
        const std::uint32_t first = c * kPieceBytes / 3;
        const std::uint32_t end = ((c + 1) * kPieceBytes + 2) / 3;
        buildRow24Range(first, end < count ? end : count, from, to, offsets, safe);
    }
    // The bytes after the last whole chunk: from the pixel that holds the first of them.
    buildRow24Range(full * kPieceBytes / 3, count, from, to, offsets, safe);
}
#endif

} // namespace

// 8 and 24 bits: each target pixel is copied from its precomputed source byte offset, by the
// vector path the processor has when its chunk plans can be had, else by the plain path.
struct ImgRowBuilder
{
    std::uint32_t bpp = 3;
    std::uint32_t count = 0;
    const std::uint32_t* offsets = nullptr;
    std::uint32_t safe = 0; // target pixels whose source can be read as a 32-bit word in the row
    ImgWork<ShuffleChunk> storage;
    ShuffleChunk* chunks = nullptr;
    std::uint32_t fast = 0;
    ImgWork<PieceChunk> pieceChunks;
    std::uint32_t pieces = 0, pieceFast = 0;

    // Plans rows of `tw` target pixels taken from `offsets` of the source area's rows; without
    // memory for the chunk plans the plain path does the work, and so it does when the SSSE3
    // path could take no chunk.
    void plan(const img_desc* source, std::uint32_t bytesPerPixel, std::uint32_t tw,
              const std::uint32_t* columnOffsets)
    {
        bpp = bytesPerPixel;
        count = tw;
        offsets = columnOffsets;
        const std::size_t sx = std::size_t{source->x0} * bpp;
        safe = 0;
        while (safe < tw && sx + offsets[safe] + 4 <= source->bytesPerRow)
            ++safe;
        const ImgResizePath path = bpp == 3 ? img_resize_path() : ImgResizePath::Plain;
        if (path == ImgResizePath::Vbmi) {
            storage = img_work_array<ShuffleChunk>(chunkCount(tw) + 1);
            if (storage) {
                chunks = planStorage(storage.get());
                planChunks(offsets, tw, source->bytesPerRow - sx, chunks);
                fast = plainFastChunks(chunks, tw);
            }
        } else if (path == ImgResizePath::Ssse3 && pieceChunkCount(tw) > 0) {
            pieceChunks = img_work_array<PieceChunk>(pieceChunkCount(tw));
            if (pieceChunks &&
                (pieces = planPieceChunks(offsets, tw, source->bytesPerRow - sx, pieceChunks.get())) == 0)
                pieceChunks.reset();
            else if (pieceChunks)
                pieceFast = leadingUsable(pieceChunks.get(), tw);
        }
    }

    // Writes the target row built from the source area row that starts at `from`.
    void build(const std::uint8_t* from, std::uint8_t* to) const
    {
        if (bpp != 3) {
            img_scale_row8(from, to, offsets, count);
            return;
        }
#if defined(__x86_64__)
        if (chunks) {
            buildRow24Vbmi(from, to, offsets, count, chunks, fast);
            return;
        }
        if (pieceChunks) {
            if (pieces == 1)
                buildRow24Ssse3<1>(from, to, offsets, count, safe, pieceChunks.get(), pieceFast);
            else if (pieces == 2)
                buildRow24Ssse3<2>(from, to, offsets, count, safe, pieceChunks.get(), pieceFast);
            else
                buildRow24Ssse3<3>(from, to, offsets, count, safe, pieceChunks.get(), pieceFast);
            return;
        }
#endif
        buildRow24Plain(from, to, offsets, count, safe);
    }
};

namespace {

template <std::uint32_t Bpp>
void resizeRowsBytes(const img_desc* source, img_desc* target, const ResizeMask& rows,
                     const std::uint32_t* offsets)
{
    const std::uint32_t tw = areaWidth(target);
    const std::size_t rowBytes = std::size_t{tw} * Bpp;
    const std::size_t sx = std::size_t{source->x0} * Bpp, tx = std::size_t{target->x0} * Bpp;
    ImgRowBuilder builder;
    builder.plan(source, Bpp, tw, offsets);
    walkRows(
        rows,
        [&](std::uint32_t sy, std::uint32_t ty) {
            builder.build(rowOf(source, source->y0 + sy) + sx, rowOf(target, target->y0 + ty) + tx);
        },
        [&](std::uint32_t previous, std::uint32_t ty) {
            std::memcpy(rowOf(target, target->y0 + ty) + tx, rowOf(target, target->y0 + previous) + tx,
                        rowBytes);
        });
}

void img_resize_rows8(const img_desc* s, img_desc* t, const ResizeMask& rows, const std::uint32_t* offsets)
{
    resizeRowsBytes<1>(s, t, rows, offsets);
}

void img_resize_rows24(const img_desc* s, img_desc* t, const ResizeMask& rows, const std::uint32_t* offsets)
{
    resizeRowsBytes<3>(s, t, rows, offsets);
}

// 1 bit: the target run is cleared, then every target bit whose source bit is set is set.
void img_resize_rows1(const img_desc* source, img_desc* target, const ResizeMask& rows,
                      const std::uint32_t* columns)
{
    const std::uint32_t tw = areaWidth(target);
    walkRows(
        rows,
        [&](std::uint32_t sy, std::uint32_t ty) {
            const std::uint8_t* from = rowOf(source, source->y0 + sy);
            std::uint8_t* to = rowOf(target, target->y0 + ty);
            img_bits_clear(to, target->x0, tw);
            for (std::uint32_t k = 0; k < tw; ++k) {
                const std::uint32_t sxk = source->x0 + columns[k];
                if ((from[sxk >> 3] >> (7 - (sxk & 7))) & 1) {
                    const std::uint32_t txk = target->x0 + k;
                    to[txk >> 3] |= static_cast<std::uint8_t>(0x80 >> (txk & 7));
                }
            }
        },
        [&](std::uint32_t previous, std::uint32_t ty) {
            // The bytes from x0 / 8 to x1 / 8, but only the run's bits of the first and last:
            // the pixels beside the area stay as they are in this row.
            const std::uint32_t first = target->x0 >> 3, last = target->x1 >> 3;
            const std::uint8_t* from = rowOf(target, target->y0 + previous);
            std::uint8_t* to = rowOf(target, target->y0 + ty);
            for (std::uint32_t b = first; b <= last; ++b) {
                const std::uint8_t m = img_run_mask(b, target->x0, tw);
                to[b] = static_cast<std::uint8_t>((to[b] & ~m) | (from[b] & m));
            }
        });
}

// ---- smooth resampling ----

// Channel of a bilinear sample: the defined fixed-point form, divisions truncating toward zero.
inline std::uint8_t bilinearChannel(int p00, int p10, int p01, int p11, int fx, int fy)
{
    const int top = p00 * 32768 + fx * (p10 - p00);
    const int bottom = p01 * 32768 + fx * (p11 - p01);
    const int v = top + ((bottom - top) / 32768) * fy + 16384;
    return static_cast<std::uint8_t>(v / 32768);
}

void img_scale_bilinear(const img_desc* source, img_desc* target, std::uint32_t fx, std::uint32_t fy,
                        std::uint32_t bpp)
{
    ImgSampleCache cache;
    img_sample_reset(&cache);
    const std::uint32_t tw = areaWidth(target), th = areaHeight(target);
    for (std::uint32_t i = 0; i < th; ++i) {
        const std::uint64_t sy = std::uint64_t{i} * fy;
        for (std::uint32_t j = 0; j < tw; ++j) {
            const std::uint64_t sx = std::uint64_t{j} * fx;
            img_sample_bilinear(&cache, j, i, static_cast<std::int32_t>(source->x0 + (sx >> 15)),
                                static_cast<std::int32_t>(source->y0 + (sy >> 15)),
                                static_cast<std::uint32_t>(sx & 32767),
                                static_cast<std::uint32_t>(sy & 32767), bpp, source, target);
        }
    }
}

// Mean of the box whose top-left is (x, y), cut at the area's last column and row.
std::uint32_t img_box_average(const img_desc* source, std::uint32_t x, std::uint32_t y, std::uint32_t boxW,
                              std::uint32_t boxH, std::uint32_t bpp)
{
    const std::uint32_t xEnd = x + boxW - 1 < source->x1 ? x + boxW - 1 : source->x1;
    const std::uint32_t yEnd = y + boxH - 1 < source->y1 ? y + boxH - 1 : source->y1;
    std::uint32_t sums[3] = {0, 0, 0};
    std::uint32_t count = 0;
    for (std::uint32_t yy = y; yy <= yEnd; ++yy) {
        const std::uint8_t* p = rowOf(source, yy) + std::size_t{x} * bpp;
        for (std::uint32_t xx = x; xx <= xEnd; ++xx, p += bpp) {
            for (std::uint32_t c = 0; c < bpp; ++c)
                sums[c] += p[c];
            ++count;
        }
    }
    if (bpp == 1)
        return sums[0] / count;
    return ((sums[0] / count) << 16) | ((sums[1] / count) << 8) | (sums[2] / count);
}

std::uint32_t boxSide(std::uint32_t f)
{
    const std::uint32_t r = (f <= 32768 || f > 49152) ? 16384 : 32767;
    const std::uint32_t side = (f + r) >> 15;
    return side ? side : 1;
}

void img_scale_box(const img_desc* source, img_desc* target, std::uint32_t fx, std::uint32_t fy,
                   std::uint32_t bpp)
{
    const std::uint32_t boxW = boxSide(fx), boxH = boxSide(fy);
    const std::uint32_t tw = areaWidth(target), th = areaHeight(target);
    for (std::uint32_t i = 0; i < th; ++i) {
        const auto sy = static_cast<std::uint32_t>(source->y0 + ((std::uint64_t{i} * fy) >> 15));
        for (std::uint32_t j = 0; j < tw; ++j) {
            const auto sx = static_cast<std::uint32_t>(source->x0 + ((std::uint64_t{j} * fx) >> 15));
            img_put_pixel(target, target->x0 + j, target->y0 + i,
                          img_box_average(source, sx, sy, boxW, boxH, bpp));
        }
    }
}

// Validates both descriptors (1, 8 or 24 bits) and checks that they have the same depth.
std::int32_t checkSameDepth(img_desc* source, img_desc* target)
{
    std::int32_t r = img_validate_1_8_24(source);
    if (r == IMG_OK)
        r = img_validate_1_8_24(target);
    if (r != IMG_OK)
        return r;
    return img_bits(source) == img_bits(target) ? IMG_OK : IMG_ERR_DEPTH;
}

} // namespace

// ---- masks ----

std::int32_t img_resize_mask(ResizeMask* mask, std::uint32_t t, std::uint32_t s)
{
    if (!mask || t == 0 || s == 0)
        return IMG_ERR_ARGUMENT;
    mask->dense = t >= s;
    mask->bitCount = mask->dense ? t : s;
    mask->bits = img_work_array<std::uint8_t>((mask->bitCount + 7) / 8);
    if (!mask->bits)
        return IMG_ERR_NO_MEMORY;
    const std::uint64_t small = t < s ? t : s, big = t < s ? s : t;
    mask->bits[0] = 0x80;
    std::uint64_t d = small, c = big;
    for (std::uint32_t i = 1; i < mask->bitCount; ++i) {
        d += small;
        if (c < d) {
            mask->bits[i >> 3] |= static_cast<std::uint8_t>(0x80 >> (i & 7));
            c += big;
        }
    }
    return IMG_OK;
}

// ---- resize ----

std::int32_t img_resize(img_desc* source, img_desc* target)
{
    return img_entry([&]() -> std::int32_t {
        std::int32_t r = checkSameDepth(source, target);
        if (r != IMG_OK)
            return r;
        const std::uint32_t bits = img_bits(source);
        const std::uint32_t tw = areaWidth(target), th = areaHeight(target);
        const std::uint32_t sw = areaWidth(source), sh = areaHeight(source);
        if (tw == 0 || th == 0)
            return IMG_ERR_ARGUMENT;

        ResizeMask columnMask, rowMask;
        if ((r = img_resize_mask(&columnMask, tw, sw)) != IMG_OK ||
            (r = img_resize_mask(&rowMask, th, sh)) != IMG_OK)
            return r;
        // Source column of every target column, in bytes for 8 and 24 bits.
        ImgWork<std::uint32_t> columns = img_work_array<std::uint32_t>(tw);
        if (!columns)
            return IMG_ERR_NO_MEMORY;
        img_scale_columns(columnMask, columns.get());
        if (bits == 24)
            for (std::uint32_t k = 0; k < tw; ++k)
                columns[k] *= 3;

        // Areas that may share memory resample into a temporary first; without memory for
        // one, straight into the target.
        ImgTempImage temp;
        img_desc* out = target;
        if (img_rows_overlap(source, target) && img_alloc(temp.get(), tw, th, bits) == IMG_OK)
            out = temp.get();

        switch (bits) {
        case 8:
            img_resize_rows8(source, out, rowMask, columns.get());
            break;
        case 24:
            img_resize_rows24(source, out, rowMask, columns.get());
            break;
        default:
            img_resize_rows1(source, out, rowMask, columns.get());
            break;
        }
        if (out != target && (r = img_copy_pixels(out, target)) != IMG_OK)
            return r;
        img_copy_palette(source, target);
        return IMG_OK;
    });
}

// ---- rows one at a time ----

ImgScaledRows::ImgScaledRows() = default;
ImgScaledRows::~ImgScaledRows() = default;

std::int32_t ImgScaledRows::open(img_desc* source, std::uint32_t width, std::uint32_t height)
{
    m_source = nullptr;
    return img_entry([&]() -> std::int32_t {
        std::int32_t r = img_validate_1_8_24(source);
        if (r != IMG_OK)
            return r;
        const std::uint32_t bits = img_bits(source);
        if (bits == 1)
            return IMG_ERR_DEPTH;
        if (width == 0 || height == 0)
            return IMG_ERR_ARGUMENT;
        ResizeMask columnMask, rowMask;
        if ((r = img_resize_mask(&columnMask, width, areaWidth(source))) != IMG_OK ||
            (r = img_resize_mask(&rowMask, height, areaHeight(source))) != IMG_OK)
            return r;
        m_columns = img_work_array<std::uint32_t>(width);
        m_sourceRows = img_work_array<std::uint32_t>(height);
        if (!m_columns || !m_sourceRows)
            return IMG_ERR_NO_MEMORY;
        // The same source positions as img_resize's walk: a repeated target row is the row
        // built from the same source row.
        img_scale_columns(columnMask, m_columns.get());
        img_scale_columns(rowMask, m_sourceRows.get());
        m_bytesPerPixel = bits / 8;
        if (m_bytesPerPixel == 3)
            for (std::uint32_t k = 0; k < width; ++k)
                m_columns[k] *= 3;
        if (!m_builder)
            m_builder = std::make_unique<ImgRowBuilder>();
        *m_builder = ImgRowBuilder{};
        m_builder->plan(source, m_bytesPerPixel, width, m_columns.get());
        m_width = width;
        m_height = height;
        m_source = source;
        return IMG_OK;
    });
}

void ImgScaledRows::row(std::uint32_t y, std::uint8_t* to) const
{
    if (!m_source || y >= m_height)
        return;
    m_builder->build(
        rowOf(m_source, m_source->y0 + m_sourceRows[y]) + std::size_t{m_source->x0} * m_bytesPerPixel, to);
}

// ---- copies ----

std::int32_t img_copy_image(img_desc* source, img_desc* target)
{
    const std::int32_t r = img_copy_pixels(source, target);
    if (r == IMG_OK)
        img_copy_palette(source, target);
    return r;
}

std::int32_t img_copy_pixels(img_desc* source, img_desc* target)
{
    std::int32_t r = checkSameDepth(source, target);
    if (r != IMG_OK)
        return r;
    const std::uint32_t bits = img_bits(source);
    std::uint32_t rows = 0, columns = 0;
    img_common_size(source, target, &rows, &columns);

    ImgWork<std::uint8_t> bitRow;
    if (bits == 1) {
        bitRow = img_work_array<std::uint8_t>(columns / 8 + 4);
        if (!bitRow)
            return IMG_ERR_NO_MEMORY;
    }
    auto copyRow = [&](std::uint32_t i) {
        const std::uint8_t* from = rowOf(source, source->y0 + i);
        std::uint8_t* to = rowOf(target, target->y0 + i);
        if (bits == 1) {
            img_bits_extract(from, source->x0, columns, bitRow.get());
            img_bits_insert(to, target->x0, columns, bitRow.get());
        } else {
            const std::size_t bpp = bits / 8;
            std::memmove(to + target->x0 * bpp, from + source->x0 * bpp, columns * bpp);
        }
    };
    // Stored row indices of the first area rows. When the target's rows lie below the source's
    // in memory, copy from the last area row upward, so that within one image no row is read
    // after it was overwritten.
    const std::uint32_t s = img_height(source) - source->y0 - 1;
    const std::uint32_t t = img_height(target) - target->y0 - 1;
    if (t < s) {
        for (std::uint32_t i = rows; i-- > 0;)
            copyRow(i);
    } else {
        for (std::uint32_t i = 0; i < rows; ++i)
            copyRow(i);
    }
    return IMG_OK;
}

void img_copy_palette(const img_desc* source, img_desc* target)
{
    if (!source || !target || !source->palette || !target->palette || img_bits(source) > 8 ||
        img_bits(target) > 8)
        return;
    const std::uint32_t room = img_color_count(target->header);
    const std::uint32_t n = room < source->colourCount ? room : source->colourCount;
    std::memmove(target->palette, source->palette, std::size_t{n} * sizeof(tessivor::RgbQuad));
    target->colourCount = n;
    target->typeFlags = (target->typeFlags & ~IMG_TYPE_GRAY) | (source->typeFlags & IMG_TYPE_GRAY);
    img_push_palette(target);
}

std::int32_t img_rows_overlap(const img_desc* a, const img_desc* b)
{
    if (a->bytesPerRow != b->bytesPerRow)
        return 0;
    if (a->x0 > b->x0) {
        const img_desc* t = a;
        a = b;
        b = t;
    }
    if (b->x0 > a->x1)
        return 0;
    const auto start = [](const img_desc* d, std::uint32_t y) {
        return reinterpret_cast<std::uintptr_t>(d->pixels) + std::uintptr_t{d->bytesPerRow} * y;
    };
    const std::uintptr_t a0 = start(a, a->y0), a1 = start(a, a->y1);
    const std::uintptr_t b0 = start(b, b->y0), b1 = start(b, b->y1);
    return a0 <= b1 && b0 <= a1 ? 1 : 0;
}

// ---- smooth ----

std::int32_t img_resize_smooth(img_desc* source, img_desc* target, std::int32_t mode)
{
    return img_entry([&]() -> std::int32_t {
        std::int32_t r = checkSameDepth(source, target);
        if (r != IMG_OK)
            return r;
        const std::uint32_t bits = img_bits(source);
        const std::uint32_t sw = areaWidth(source), sh = areaHeight(source);
        const std::uint32_t tw = areaWidth(target), th = areaHeight(target);
        if (sw == 0 || sh == 0 || tw == 0 || th == 0)
            return IMG_ERR_ARGUMENT;
        if (sw == tw && sh == th)
            return img_copy_image(source, target);
        if (mode == 0 || bits == 1)
            return img_resize(source, target);

        // Palette images are resampled in 24 bits.
        ImgTempImage source24, target24;
        img_desc* from = source;
        img_desc* to = target;
        const bool expanded = bits == 8 && !(source->typeFlags & IMG_TYPE_GRAY);
        if (expanded) {
            if ((r = img_alloc(source24.get(), sw, sh, 24)) != IMG_OK ||
                (r = img_alloc(target24.get(), tw, th, 24)) != IMG_OK ||
                (r = img_palette_to_rgb(source, source24.get())) != IMG_OK)
                return r;
            from = source24.get();
            to = target24.get();
        }
        // img_smooth_temp: areas that may share memory work through a temporary of the larger
        // area, a copy of the source when the target is at least as large, else a target.
        ImgTempImage temp;
        img_desc* realTarget = to;
        if (img_rows_overlap(from, to)) {
            if (std::uint64_t{tw} * th >= std::uint64_t{sw} * sh) {
                if ((r = img_alloc(temp.get(), sw, sh, img_bits(from))) != IMG_OK)
                    return r;
                if ((r = img_copy_image(from, temp.get())) != IMG_OK)
                    return r;
                from = temp.get();
            } else {
                if ((r = img_alloc(temp.get(), tw, th, img_bits(to))) != IMG_OK)
                    return r;
                to = temp.get();
            }
        }
        const std::uint32_t bpp = img_bits(from) / 8;
        const auto fx = static_cast<std::uint32_t>(std::uint64_t{areaWidth(from)} * 32768 / tw);
        const auto fy = static_cast<std::uint32_t>(std::uint64_t{areaHeight(from)} * 32768 / th);
        if (fx > 32768 && fy > 32768)
            img_scale_box(from, to, fx, fy, bpp);
        else
            img_scale_bilinear(from, to, fx, fy, bpp);
        if (to != realTarget && (r = img_copy_pixels(to, realTarget)) != IMG_OK)
            return r;
        img_copy_palette(source, target);
        if (expanded)
            return img_reduce_colors(target24.get(), target, 3);
        return IMG_OK;
    });
}

// ---- nearest-neighbour rows ----

void img_scale_columns(const ResizeMask& mask, std::uint32_t* columns)
{
    std::uint32_t k = 0;
    if (mask.dense) {
        std::uint32_t source = 0;
        for (std::uint32_t i = 0; i < mask.bitCount; ++i) {
            if (mask.test(i) && i != 0)
                ++source;
            columns[k++] = source;
        }
    } else {
        for (std::uint32_t i = 0; i < mask.bitCount; ++i)
            if (mask.test(i))
                columns[k++] = i;
    }
}

void img_scale_row8(const std::uint8_t* from, std::uint8_t* to, const std::uint32_t* columns,
                    std::uint32_t count)
{
    for (std::uint32_t k = 0; k < count; ++k)
        to[k] = from[columns[k]];
}

// ---- pixels ----

std::size_t img_pixel_offset(const img_desc* desc, std::uint32_t x, std::uint32_t y)
{
    return std::size_t{x} * img_bits(desc) / 8 + std::size_t{img_height(desc) - y - 1} * desc->bytesPerRow;
}

void img_put_pixel(img_desc* desc, std::uint32_t x, std::uint32_t y, std::uint32_t value)
{
    std::uint8_t* p = desc->pixels + img_pixel_offset(desc, x, y);
    switch (img_bits(desc)) {
    case 8:
        *p = static_cast<std::uint8_t>(value);
        break;
    case 24:
        p[0] = static_cast<std::uint8_t>(value >> 16);
        p[1] = static_cast<std::uint8_t>(value >> 8);
        p[2] = static_cast<std::uint8_t>(value);
        break;
    case 1:
        if (value & 1)
            *p |= static_cast<std::uint8_t>(0x80 >> (x & 7));
        else
            *p &= static_cast<std::uint8_t>(~(0x80 >> (x & 7)));
        break;
    default:
        break;
    }
}

void img_sample_reset(ImgSampleCache* cache)
{
    cache->x = -1;
    cache->y = -1;
}

const std::uint8_t* img_fetch_2x2(ImgSampleCache* cache, const img_desc* source, std::int32_t x,
                                  std::int32_t y, std::uint32_t bpp)
{
    if (cache->x == x && cache->y == y)
        return cache->bytes;
    const auto ux = static_cast<std::uint32_t>(x), uy = static_cast<std::uint32_t>(y);
    const std::uint32_t xr = ux < source->x1 ? ux + 1 : ux;
    const std::uint32_t yb = uy < source->y1 ? uy + 1 : uy;
    const std::uint8_t* top = rowOf(source, uy);
    const std::uint8_t* bottom = rowOf(source, yb);
    std::memcpy(cache->bytes, top + std::size_t{ux} * bpp, bpp);
    std::memcpy(cache->bytes + bpp, top + std::size_t{xr} * bpp, bpp);
    std::memcpy(cache->bytes + 2 * bpp, bottom + std::size_t{ux} * bpp, bpp);
    std::memcpy(cache->bytes + 3 * bpp, bottom + std::size_t{xr} * bpp, bpp);
    cache->x = x;
    cache->y = y;
    return cache->bytes;
}

void img_sample_bilinear(ImgSampleCache* cache, std::uint32_t j, std::uint32_t i, std::int32_t x,
                         std::int32_t y, std::uint32_t fx, std::uint32_t fy, std::uint32_t bpp,
                         const img_desc* source, img_desc* target)
{
    if (x < 0 || y < 0 || static_cast<std::uint32_t>(x) < source->x0 ||
        static_cast<std::uint32_t>(x) > source->x1 || static_cast<std::uint32_t>(y) < source->y0 ||
        static_cast<std::uint32_t>(y) > source->y1)
        return;
    const std::uint8_t* p = img_fetch_2x2(cache, source, x, y, bpp);
    std::uint32_t value = 0;
    for (std::uint32_t c = 0; c < bpp; ++c)
        value = (value << 8) | bilinearChannel(p[c], p[bpp + c], p[2 * bpp + c], p[3 * bpp + c],
                                               static_cast<int>(fx), static_cast<int>(fy));
    img_put_pixel(target, target->x0 + j, target->y0 + i, value);
}
