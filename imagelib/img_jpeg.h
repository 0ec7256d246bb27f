// The JPEG coder of the still-image library: header queries, the encoder and the decoder.
//
// Every entry except the three settings functions holds the JPEG module lock (img_frame.h) for
// the whole operation, so the coders of all threads in the process run one at a time. Memory
// sources carry their length: nothing is read past it, and a null pointer or a zero length gives
// -52. Results are 0 or a negative library code; the internal code behind a failure is left in
// the module's status word (img_jpeg_last_status).
#pragma once

#include "imagelib/img_desc.h"

#include <cstdint>

// The frame information of a JPEG: from the last SOF before the first SOS.
struct img_info
{
    std::int32_t frameType = -1; // low four bits of the SOF marker (0 baseline, 1 extended, 2
                                 // progressive, 3 lossless, 9-11 arithmetic); -1 without SOF
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t components = 0;
    std::int32_t precision = 0;
    std::int32_t sampling[4] = {}; // H x 16 + V of components 1 to 4, 0 for absent ones
    std::int32_t bitsPerPixel = 0; // of a decoded image: 8 for one component, else 24
};

// img_info plus the JFIF density and the embedded thumbnail.
struct img_info_ex
{
    std::int32_t frameType = -1;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t components = 0;
    std::int32_t precision = 0;
    std::int32_t sampling[4] = {};
    std::int32_t bitsPerPixel = 0;
    std::int32_t xDensity = 0; // from the first APP0 "JFIF", when its units are 0, 1 or 2
    std::int32_t yDensity = 0;
    std::int32_t densityUnits = 0;
    std::int32_t thumbnailPresent = 0; // 1 when a thumbnail of known size and place was found
    std::uint8_t thumbnailWidth = 0;
    std::uint8_t thumbnailHeight = 0;
    std::uint8_t thumbnailBits = 0; // 24 RGB and JPEG-coded, 8 palette
    std::uint8_t thumbnailKind = 0; // 0x13 RGB (also the JFIF one), 0x11 palette, 0x10 JPEG-coded
};

// ---- header queries ----
// 0 when the walk reached the first SOS; -52 empty memory source; -4 the input cannot be
// opened; -14 no memory for the input window; -43 the first marker is not SOI, the first APP0
// is not JFIF, EOI or the end of the data comes before SOS, a segment is malformed, a frame
// has more than 4 components, a table is out of range. The record is cleared first and holds
// what the walk found before a failure. The frame pipeline uses img_jpeg_info_mem as the gate
// for every received frame.
std::int32_t img_jpeg_info_w(const wchar_t* fileName, img_info* info);
std::int32_t img_jpeg_info(const char* fileName, img_info* info);
std::int32_t img_jpeg_info_mem(const void* data, std::uint32_t length, img_info* info);
std::int32_t img_jpeg_info_ex_w(const wchar_t* fileName, img_info_ex* info);
std::int32_t img_jpeg_info_ex(const char* fileName, img_info_ex* info);
std::int32_t img_jpeg_info_ex_mem(const void* data, std::uint32_t length, img_info_ex* info);

// ---- encoder ----

// Flags of the _ex save entries. The mode is the flags word without IMG_JPEG_THUMBNAIL: 1
// progressive, 2 optimised, anything else the default sequential mode.
inline constexpr std::int32_t IMG_JPEG_THUMBNAIL = 0x10; // add a JFXX thumbnail segment
inline constexpr std::int32_t IMG_JPEG_PROGRESSIVE = 1;  // progressive scans, tables per scan
inline constexpr std::int32_t IMG_JPEG_OPTIMIZE = 2;     // one scan, tables made for the image

// Saves the working area of an 8-bit or 24-bit image as a JFIF JPEG at `quality` (1 to 100;
// 0 and below act as 1, above 100 as 100). A colour picture is coded 4:2:0, a grey one (8 bits
// with the grey flag) with one component; an 8-bit image without the grey flag goes through its
// palette. A file is written under a temporary name in the same folder and renamed over the
// target only when complete, so a failed save leaves an existing file of that name as it was.
// Results: 0; the codes of img_validate_8_24; -73 a side above 65535; -10 the output cannot be
// created; -14 no memory; -70 an impossible thumbnail; -3 a write failed or the coder ended
// on an exception (memory output: -14 instead).
std::int32_t img_save_jpeg_w(const wchar_t* fileName, img_desc* desc, std::int32_t quality);
std::int32_t img_save_jpeg(const char* fileName, img_desc* desc, std::int32_t quality);
std::int32_t img_save_jpeg_ex_w(const wchar_t* fileName, img_desc* desc, std::int32_t quality,
                                std::int32_t flags);
std::int32_t img_save_jpeg_ex(const char* fileName, img_desc* desc, std::int32_t quality, std::int32_t flags);
// Memory output: *data is set to nullptr first and, on success, to a new image block
// (img_memory.h) holding exactly the JPEG stream; the caller frees it with img_block_free and
// learns its length from img_block_size.
std::int32_t img_save_jpeg_mem(void** data, img_desc* desc, std::int32_t quality);
std::int32_t img_save_jpeg_mem_ex(void** data, img_desc* desc, std::int32_t quality, std::int32_t flags);

// JFIF density of the next save: units 0 (aspect ratio only), 1 dots per inch, 2 dots per cm;
// each argument outside its range (units 0..2, densities 0..65535) leaves its setting as it is.
// A save that writes its headers puts them back to 1, 1, 0. Takes no lock.
void img_jpeg_set_density(std::int32_t xDensity, std::int32_t yDensity, std::int32_t units);
// Longer side of the JFXX thumbnail in pixels, 1 to 255 (default 64); else -5. Takes no lock.
std::int32_t img_jpeg_set_thumbnail_size(std::int32_t size);
// The JPEG module's status word: the internal code of the last failure caught at a JPEG entry
// point, or the soft status -101 of a decode that ended with what had arrived.
std::int32_t img_jpeg_last_status();

// ---- decoder ----

// Decodes into the working area of an existing image: 24 bits (B, G, R) for colour JPEGs, 8 bits
// for one-component JPEGs (which get the grey palette). Baseline, extended sequential and
// progressive Huffman-coded frames of 8-bit precision with 1, 3 or 4 components (the fourth is
// ignored; the first three are read as Y, Cb, Cr). The picture's top-left part fills the area;
// a smaller picture leaves the rest of the area as it was.
// Results: 0; the codes of img_validate_8_24; -26 depth does not match the component count; the
// header-query codes; -1 a side of 0 or above 32767; -43 a frame the decoder does not support or
// a bad scan header; -62 the data is damaged or ends before the first scan is complete. Data that
// ends after at least one complete scan gives 0 with status -101.
std::int32_t img_load_jpeg_w(const wchar_t* fileName, img_desc* desc);
std::int32_t img_load_jpeg(const char* fileName, img_desc* desc);
std::int32_t img_load_jpeg_mem(const void* data, std::uint32_t length, img_desc* desc);
// Shows the embedded JFIF or JFXX (RGB or palette) thumbnail in the area's top-left corner,
// scaled to the area with the thumbnail's aspect ratio; with `skip` 1, or without a usable
// thumbnail, decodes the whole picture scaled to fit the area instead.
std::int32_t img_load_jpeg_thumb_w(const wchar_t* fileName, img_desc* desc, std::int32_t skip);
std::int32_t img_load_jpeg_thumb(const char* fileName, img_desc* desc, std::int32_t skip);
std::int32_t img_load_jpeg_thumb_mem(const void* data, std::uint32_t length, img_desc* desc,
                                     std::int32_t skip);
