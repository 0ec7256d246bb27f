// The JPEG decoding glue of the frame pipeline: every received frame is decoded by the system's
// libjpeg (libjpeg-turbo through its release-6b interface) into a bottom-up DIB.
//
// Contract of the decoder (CImage::DecodeJpegToDib): the frame is read from memory and never past
// its length; any libjpeg warning at all fails the decode, so a frame that is damaged, cut short
// or carries stray bytes never reaches the screen, a recording or a snapshot. Output by the
// decoder's output colour space:
//   grey  8 bits, the grey palette (i, i, i, 0) after the header
//   RGB   24 bits, blue, green, red
//   CMYK  32 bits, the four components in the decoder's order; for an Adobe YCCK image the
//         control's own conversion gives R, G, B of (Y, Cb, Cr) and 255 - K instead
// Anything else fails, and so does a frame with more than kMaxScansPerFrame scans or one whose
// decode a stop request ends. Rows are padded to whole 32-bit words; the first decoded scanline
// is the last row of the buffer.
//
// libjpeg reports fatal errors through an error-exit routine that must not return; ours jumps
// back to the recovery point of the decode call (setjmp/longjmp), so that routine and the steps
// it can leave keep only trivially destructible state.
#pragma once

#include "platform/dib.h"

#include <cstddef>
#include <cstdint>
#include <cstdio> // jpeglib.h needs FILE
#include <functional>
#include <jpeglib.h>
#include <vector>

namespace tessivor {

class EndRunFlag; // control/control_state.h

// A decoded frame's header: BITMAPINFOHEADER followed by room for a 256-entry palette.
struct DecodedDibHeader
{
    BitmapInfoHeader header;
    RgbQuad palette[256];
};

// The error-exit routine given to libjpeg: traces the message and returns to the decode call's
// recovery point, which then fails the decode.
void JpegErrorExit(j_common_ptr cinfo);

// Fills `header` for the decompressor's output (after jpeg_read_header, before the start of
// decompression): size, bits by output colour space, padded image size, resolution from the JFIF
// density. False for an output colour space that has no DIB form, or a size whose rows or
// image size do not fit 32 bits.
bool BuildDibHeader(j_decompress_ptr cinfo, DecodedDibHeader* header);

// Writes `count` palette entries after the header: the grey ramp, or the decoder's colour map
// when it quantises (blue from the third, green from the second, red from the first map row).
void FillDibPalette(j_decompress_ptr cinfo, DecodedDibHeader* header, int count);

// Limit of the pixel buffer the pipeline decodes into. The buffer grows, once per larger picture
// size, up to the limit; a frame whose decoded rows would not fit under the limit is refused
// before any row is written.
inline constexpr std::size_t kDecodedDibMaxBytes = 32u * 1024u * 1024u; // 3840 x 2160 x 24 bits fits

// Most scans a frame may have. Cameras send baseline frames (one scan, or one per component);
// libjpeg's standard progressive scripts use 10 scans for colour and 6 for grey. Every scan
// costs a pass over the whole picture, so a frame with more is dropped as hostile: the bound
// keeps the worst frame within the size limit at about twice the cost of decoding it once
// (instead of tens of seconds for a few hundred scans).
inline constexpr int kMaxScansPerFrame = 32;

// Where a decode writes its rows: asked once the frame's header is known (and within the limit
// above), with the DIB header the rows will follow; returns a buffer of at least
// header.biSizeImage bytes, or nullptr to refuse the frame. It runs outside every libjpeg call.
using DecodeBufferFor = std::function<std::uint8_t*(const DecodedDibHeader& header)>;

// Decodes one whole JPEG frame as CImage::DecodeJpegToDib does, into the buffer `bufferFor`
// hands out; `stop`, when given, ends the decode (a failure) once it holds a stop request.
// 0 = decoded, -1 = failed; after a failure the buffer holds nothing usable.
int DecodeJpegInto(const std::uint8_t* frame, std::uint32_t length, DecodedDibHeader* header,
                   const DecodeBufferFor& bufferFor, const EndRunFlag* stop = nullptr);

} // namespace tessivor
