// The TIFF coder against libtiff, both working in memory on the same data:
//  - a 2048 x 2048 8-bit grey page in LZW and a 2048 x 2048 1-bit page in Group 4;
//  - writing: our img_save_tiff_mem against libtiff writing the same rows in strips of the same
//    size to a memory file;
//  - reading: both decode the same file bytes (made by libtiff) into an image of the page's size.
// Every operation is timed per call and its fastest call counts, so that other load on the
// machine does not decide the ratios. A summary of the ratios (libtiff's time / ours: above 1
// means we are faster) follows the usual report.
#include "best_time.h"

#include "imagelib/imagelib.h"

#include <benchmark/benchmark.h>
#include <tiffio.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kSize = 2048;
std::map<std::string, double>& g_best = benchtime::best();

// A page: 8 bits a scanned-photo-like mix of shading, edges and grain; 1 bit a text-like page of
// dark strokes and boxes on white.
struct Page
{
    img_desc desc;
    explicit Page(std::uint32_t bits)
    {
        img_alloc(&desc, kSize, kSize, bits);
        for (std::uint32_t y = 0; y < kSize; ++y) {
            std::uint8_t* row = desc.pixels + std::size_t{kSize - 1 - y} * desc.bytesPerRow;
            for (std::uint32_t x = 0; x < kSize; ++x) {
                std::uint32_t h = (x * 73856093u) ^ (y * 19349663u);
                h ^= h >> 13;
                h *= 0x5bd1e995u;
                if (bits == 8) {
                    const std::uint32_t region = (x / 64 + y / 48) % 3;
                    row[x] = static_cast<std::uint8_t>(region == 0   ? (x + y) / 16
                                                       : region == 1 ? ((x / 7 + y / 5) % 2 ? 220 : 30)
                                                                     : 128 + (h & 15));
                } else {
                    // Lines of "words": short dark runs in rows 12 of every 20, and a few boxes.
                    const bool ink = (y % 20 < 12 && (x / 6 + y / 20) % 9 < 5 && (h & 7) != 0) ||
                                     ((x % 512 < 3 || y % 512 < 3) && x % 1024 < 700);
                    if (!ink)
                        row[x >> 3] |= static_cast<std::uint8_t>(0x80 >> (x & 7)); // white is 1
                }
            }
        }
    }
    ~Page() { img_free(&desc); }
    std::uint32_t bits() const { return desc.header->biBitCount; }
    // Picture row y as the file stores it (1 bit: 0 black in BlackIsZero form, as we write it).
    const std::uint8_t* row(std::uint32_t y) const
    {
        return desc.pixels + std::size_t{kSize - 1 - y} * desc.bytesPerRow;
    }
};

// ---- libtiff in memory ----

struct MemFile
{
    Bytes data;
    toff_t pos = 0;
};

tmsize_t memRead(thandle_t h, void* buf, tmsize_t n)
{
    auto* f = static_cast<MemFile*>(h);
    const tmsize_t left = f->pos < f->data.size() ? static_cast<tmsize_t>(f->data.size() - f->pos) : 0;
    const tmsize_t k = n < left ? n : left;
    std::memcpy(buf, f->data.data() + f->pos, static_cast<std::size_t>(k));
    f->pos += static_cast<toff_t>(k);
    return k;
}
tmsize_t memWrite(thandle_t h, void* buf, tmsize_t n)
{
    auto* f = static_cast<MemFile*>(h);
    if (f->pos + n > f->data.size())
        f->data.resize(f->pos + static_cast<std::size_t>(n));
    std::memcpy(f->data.data() + f->pos, buf, static_cast<std::size_t>(n));
    f->pos += static_cast<toff_t>(n);
    return n;
}
toff_t memSeek(thandle_t h, toff_t off, int whence)
{
    auto* f = static_cast<MemFile*>(h);
    f->pos = whence == SEEK_SET ? off : whence == SEEK_CUR ? f->pos + off : f->data.size() + off;
    return f->pos;
}
int memClose(thandle_t)
{
    return 0;
}
toff_t memSize(thandle_t h)
{
    return static_cast<MemFile*>(h)->data.size();
}
int memMap(thandle_t, void**, toff_t*)
{
    return 0;
}
void memUnmap(thandle_t, void*, toff_t) {}

TIFF* openMem(MemFile& f, const char* mode)
{
    return TIFFClientOpen("mem", mode, &f, memRead, memWrite, memSeek, memClose, memSize, memMap, memUnmap);
}

// libtiff writes the page in strips of at most 16 KiB, as we do.
bool libtiffWrite(const Page& page, MemFile& out)
{
    out.data.clear();
    out.pos = 0;
    TIFF* t = openMem(out, "w");
    if (!t)
        return false;
    const bool oneBit = page.bits() == 1;
    const std::uint32_t rowBytes = oneBit ? kSize / 8 : kSize;
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, kSize);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, kSize);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, oneBit ? 1 : 8);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_COMPRESSION, oneBit ? COMPRESSION_CCITTFAX4 : COMPRESSION_LZW);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, oneBit ? PHOTOMETRIC_MINISWHITE : PHOTOMETRIC_MINISBLACK);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 16384 / rowBytes);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    std::vector<std::uint8_t> row(rowBytes);
    for (std::uint32_t y = 0; y < kSize; ++y) {
        std::memcpy(row.data(), page.row(y), rowBytes);
        if (oneBit) // our rows have white = 1; MinIsWhite wants white = 0
            for (auto& b : row)
                b = static_cast<std::uint8_t>(~b);
        if (TIFFWriteScanline(t, row.data(), y, 0) < 0) {
            TIFFClose(t);
            return false;
        }
    }
    TIFFClose(t);
    return true;
}

bool libtiffRead(MemFile& in, std::vector<std::uint8_t>& pixels)
{
    in.pos = 0;
    TIFF* t = openMem(in, "r");
    if (!t)
        return false;
    const tmsize_t stripSize = TIFFStripSize(t);
    pixels.resize(static_cast<std::size_t>(stripSize) * TIFFNumberOfStrips(t));
    bool ok = true;
    for (tstrip_t s = 0; s < TIFFNumberOfStrips(t) && ok; ++s)
        ok = TIFFReadEncodedStrip(t, s, pixels.data() + static_cast<std::size_t>(s) * stripSize, stripSize) >=
             0;
    TIFFClose(t);
    return ok;
}

void registerPage(const std::string& label, std::uint32_t bits, std::int32_t flags)
{
    static std::vector<std::unique_ptr<Page>> pages;
    static std::vector<std::unique_ptr<MemFile>> files;
    pages.push_back(std::make_unique<Page>(bits));
    Page* page = pages.back().get();
    files.push_back(std::make_unique<MemFile>());
    MemFile* reference = files.back().get();
    if (!libtiffWrite(*page, *reference))
        std::fprintf(stderr, "libtiff could not write the %s page\n", label.c_str());

    benchmark::RegisterBenchmark(("write/" + label + "/ours").c_str(),
                                 [page, flags, label](benchmark::State& s) {
                                     benchtime::timeBest(s, "write/" + label + "/ours", 0, [&] {
                                         void* block = nullptr;
                                         const bool ok = img_save_tiff_mem(&block, &page->desc, flags) == 0;
                                         img_block_free(block);
                                         return ok;
                                     });
                                 });
    benchmark::RegisterBenchmark(("write/" + label + "/libtiff").c_str(), [page, label](benchmark::State& s) {
        MemFile out;
        benchtime::timeBest(s, "write/" + label + "/libtiff", 0, [&] { return libtiffWrite(*page, out); });
    });
    benchmark::RegisterBenchmark(
        ("read/" + label + "/ours").c_str(), [reference, bits, label](benchmark::State& s) {
            img_desc desc;
            img_alloc(&desc, kSize, kSize, bits);
            benchtime::timeBest(s, "read/" + label + "/ours", 0, [&] {
                return img_load_tiff_mem(reference->data.data(),
                                         static_cast<std::uint32_t>(reference->data.size()), &desc) == 0;
            });
            img_free(&desc);
        });
    benchmark::RegisterBenchmark(("read/" + label + "/libtiff").c_str(),
                                 [reference, label](benchmark::State& s) {
                                     std::vector<std::uint8_t> pixels;
                                     benchtime::timeBest(s, "read/" + label + "/libtiff", 0,
                                                         [&] { return libtiffRead(*reference, pixels); });
                                 });
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    TIFFSetWarningHandler(nullptr);
    registerPage("8bit-lzw", 8, IMG_TIFF_LZW);
    registerPage("1bit-g4", 1, IMG_TIFF_CCITT_G4);
    benchmark::RunSpecifiedBenchmarks();
    std::printf("\nSpeed against libtiff (libtiff's fastest time / ours; 1.0 = as fast):\n");
    for (const char* op : {"write", "read"})
        for (const char* page : {"8bit-lzw", "1bit-g4"}) {
            const std::string base = std::string(op) + "/" + page;
            if (g_best.count(base + "/ours") && g_best.count(base + "/libtiff"))
                std::printf("  %-16s %.2f\n", base.c_str(),
                            g_best[base + "/libtiff"] / g_best[base + "/ours"]);
        }
    benchmark::Shutdown();
    return 0;
}
