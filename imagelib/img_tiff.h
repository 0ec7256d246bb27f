// The TIFF coder: saves an image's working area as a TIFF file or memory block, appends it as a
// further page of a TIFF file, loads a page into an image, and answers queries about a page
// without decoding it.
//
// Files are written little-endian and read in both byte orders. Compressions: none, PackBits,
// LZW, CCITT modified Huffman (2) and Group 4 (4) both ways, Group 3 (3, one- and
// two-dimensional) for reading. The pairs of bits per pixel and compression:
//   1 bit   none, PackBits, MH, G4, LZW read and written; G3 read
//   4-6     none, PackBits read (into an 8-bit image)
//   8       none, LZW, PackBits read and written
//   16      none read and written
//   24      none, LZW read and written
//
// A wide name is UTF-32 (wchar_t), an ANSI name UTF-8. A memory source carries its length.
// Every entry point runs under the TIFF module lock for its whole duration, returns 0 (or a count
// where said) or a negative code:
//   -1, -26, -42  the image fails its checks        -3   a write failed, or the writer failed
//   -4   the source cannot be opened               -6   not a TIFF, or a directory cannot be read
//   -9   bad flags, or a depth/compression pair, predictor, photometric or layout not handled
//   -10  the output or the temporary file cannot be created
//   -14  out of memory                              -26  an 8-bit image for a page of another depth
//   -44  a CCITT row with more colour changes than the coder holds
//   -51  the chain of pages ends before the page asked for
//   -62  the page's data is bad or ends early (the rows decoded so far stay in the image)
//   -69  appending to a big-endian file             -73  Group 4 beyond 65,535 columns or rows
//
// Saving never harms an existing file: the new file is written beside it and renamed over it
// only when complete, so a failed save or append leaves the old file as it was.
#pragma once

#include "imagelib/img_desc.h"

#include <cstdint>

// The description of one page.
struct TiffPageInfo
{
    std::int32_t byteOrder = 0;       // 0x4949 "II" or 0x4D4D "MM"
    std::int32_t width = 0;           // ImageWidth
    std::int32_t height = 0;          // ImageLength
    std::int32_t bitsPerSample = 1;   // first BitsPerSample value
    std::int32_t compression = 1;     // Compression
    std::int32_t samplesPerPixel = 1; // SamplesPerPixel
    std::int32_t photometric = 1;     // PhotometricInterpretation
    std::int32_t planar = 1;          // PlanarConfiguration
    std::int32_t bitsPerPixel = 1;    // bits per sample, or 24 with more than 2 samples
};

// Save flags: bits 0 to 3 the compression choice, then the options.
enum : std::int32_t
{
    IMG_TIFF_NONE = 0,     // Compression 1
    IMG_TIFF_LZW = 1,      // 5
    IMG_TIFF_PACKBITS = 2, // 32773
    IMG_TIFF_CCITT_MH = 3, // 2 (1-bit images)
    IMG_TIFF_CCITT_G4 = 4, // 4 (1-bit images)
    IMG_TIFF_ONE_STRIP = 0x10,
    IMG_TIFF_FILL_LSB = 0x20, // fill order 2 for 1-bit images
};

// ---- saving ----

// A new file (or memory block) of one page. The memory form hands the bytes over as one image
// block (img_memory.h) that the caller frees with img_block_free.
std::int32_t img_save_tiff_w(const wchar_t* name, img_desc* desc, std::int32_t flags);
std::int32_t img_save_tiff(const char* name, img_desc* desc, std::int32_t flags);
std::int32_t img_save_tiff_mem(void** out, img_desc* desc, std::int32_t flags);
// Adds the image as the last page of an existing file (little-endian only, -69), or creates the
// file with this one page (a negative page number: -1). `page` (0 or more) goes into the page's PageNumber
// field, and the page total of every page that has one becomes the new number of pages.
std::int32_t img_append_tiff_w(const wchar_t* name, img_desc* desc, std::int32_t flags, std::int32_t page);
std::int32_t img_append_tiff(const char* name, img_desc* desc, std::int32_t flags, std::int32_t page);
// Resolution of the next save only (a value below 32768 replaces x or y, a unit 1 to 3 the
// unit); every completed save goes back to 300 x 300 per inch.
void img_tiff_set_resolution(std::int32_t x, std::int32_t y, std::int32_t unit);

// ---- loading ----
// The image must be allocated. The page goes to the area's top-left corner; what lies beyond
// the area is not read. Page -1 is the first page; by number: the first page whose page number
// is `page`; by index: the page at that 0-based position in the chain.
std::int32_t img_load_tiff_w(const wchar_t* name, img_desc* desc);
std::int32_t img_load_tiff(const char* name, img_desc* desc);
std::int32_t img_load_tiff_page_w(const wchar_t* name, img_desc* desc, std::int32_t page);
std::int32_t img_load_tiff_page(const char* name, img_desc* desc, std::int32_t page);
std::int32_t img_load_tiff_index_w(const wchar_t* name, img_desc* desc, std::int32_t index);
std::int32_t img_load_tiff_index(const char* name, img_desc* desc, std::int32_t index);
std::int32_t img_load_tiff_mem(const void* data, std::uint32_t length, img_desc* desc);

// ---- queries ----
std::int32_t img_tiff_info_w(const wchar_t* name, TiffPageInfo* info);
std::int32_t img_tiff_info(const char* name, TiffPageInfo* info);
std::int32_t img_tiff_info_mem(const void* data, std::uint32_t length, TiffPageInfo* info);
std::int32_t img_tiff_page_info_w(const wchar_t* name, TiffPageInfo* info, std::int32_t page);
std::int32_t img_tiff_page_info(const char* name, TiffPageInfo* info, std::int32_t page);
std::int32_t img_tiff_index_info_w(const wchar_t* name, TiffPageInfo* info, std::int32_t index);
std::int32_t img_tiff_index_info(const char* name, TiffPageInfo* info, std::int32_t index);
std::int32_t img_tiff_resolution_w(const wchar_t* name, std::int32_t* x, std::int32_t* y, std::int32_t* unit);
std::int32_t img_tiff_resolution(const char* name, std::int32_t* x, std::int32_t* y, std::int32_t* unit);
std::int32_t img_tiff_index_resolution_w(const wchar_t* name, std::int32_t* x, std::int32_t* y,
                                         std::int32_t* unit, std::int32_t index);
std::int32_t img_tiff_index_resolution(const char* name, std::int32_t* x, std::int32_t* y, std::int32_t* unit,
                                       std::int32_t index);
// Number of pages (the directories of the chain); the first `capacity` page numbers go to
// `numbers` (may be null with capacity 0).
std::int32_t img_tiff_page_count_w(const wchar_t* name, std::int32_t* count, std::int32_t* numbers,
                                   std::int32_t capacity);
std::int32_t img_tiff_page_count(const char* name, std::int32_t* count, std::int32_t* numbers,
                                 std::int32_t capacity);
// Palette of a page (photometric 3): up to 256 entries of blue, green, red, 0. The number of
// entries filled, 0 for a page without a usable colour map, or a negative code.
std::int32_t img_tiff_palette_w(const wchar_t* name, tessivor::RgbQuad* palette);
std::int32_t img_tiff_palette(const char* name, tessivor::RgbQuad* palette);
std::int32_t img_tiff_palette_mem(const void* data, std::uint32_t length, tessivor::RgbQuad* palette);
std::int32_t img_tiff_page_palette_w(const wchar_t* name, tessivor::RgbQuad* palette, std::int32_t page);
std::int32_t img_tiff_page_palette(const char* name, tessivor::RgbQuad* palette, std::int32_t page);
std::int32_t img_tiff_index_palette_w(const wchar_t* name, tessivor::RgbQuad* palette, std::int32_t index);
std::int32_t img_tiff_index_palette(const char* name, tessivor::RgbQuad* palette, std::int32_t index);

// The TIFF module's status word: 0 from the start of a save's or load's row work; after a
// failure caught in the writer, its code (bit 28 set when negative).
std::int32_t img_tiff_status();
