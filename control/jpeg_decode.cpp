// Decoding of received frames through the system's libjpeg (see jpeg_decode.h).
//
// The hard part is libjpeg's error model. Fatal errors call the error-exit routine, which must
// not return into the library; ours longjmps back to decodeFrame. Nothing between the setjmp and
// a possible longjmp owns resources with destructors (the decompressor is destroyed explicitly on
// both paths), and every value read after the jump lives in the DecodeState in memory. Warnings
// do not stop libjpeg, so the decoder tests the warning count after each step and after every
// scanline and abandons the frame at the first one: a camera that sends a damaged picture should
// drop that picture, not show grey blocks. The progress monitor bounds the work of one frame
// (its scans) and lets a stop request end a decode in the middle.
#include "control/jpeg_decode.h"
#include "control/cimage.h"

#include "platform/trace.h"

#include <array>
#include <csetjmp>
#include <cstring>
#include <jerror.h>
#include <new>

namespace tessivor {

namespace {

struct ErrorManager
{
    jpeg_error_mgr pub; // first, so that cinfo->err converts back
    std::jmp_buf recovery;
};

// The two bytes a source hands out once the frame is used up, as libjpeg's own file source does
// at the end of a file: the decoder then meets an EOI where it wanted data and fails.
const JOCTET kFakeEoi[2] = {0xFF, JPEG_EOI};

void initSource(j_decompress_ptr) {}
void termSource(j_decompress_ptr) {}

boolean fillInputBuffer(j_decompress_ptr cinfo)
{
    WARNMS(cinfo, JWRN_JPEG_EOF);
    cinfo->src->next_input_byte = kFakeEoi;
    cinfo->src->bytes_in_buffer = sizeof kFakeEoi;
    return TRUE;
}

void skipInputData(j_decompress_ptr cinfo, long count)
{
    if (count <= 0)
        return;
    jpeg_source_mgr* src = cinfo->src;
    if (static_cast<unsigned long>(count) > src->bytes_in_buffer) {
        // Skipping past the end of the frame: one warning and the fake EOI, which already fails
        // the frame; stepping through the missing bytes two at a time would only repeat it.
        src->bytes_in_buffer = 0;
        fillInputBuffer(cinfo);
        return;
    }
    src->next_input_byte += count;
    src->bytes_in_buffer -= static_cast<std::size_t>(count);
}

// libjpeg's messages go to the trace, never to the process's standard error.
void outputMessage(j_common_ptr cinfo)
{
    char text[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, text);
    trace("libjpeg: %s", text);
}

// YCbCr to RGB in libjpeg's fixed point (16 fraction bits), tables built as the library builds
// its own (jdcolor.c), so that the control's YCCK conversion gives exactly the complement of
// the library's YCCK to CMYK result.
struct YccTables
{
    std::array<int, 256> crR{};
    std::array<int, 256> cbB{};
    std::array<std::int32_t, 256> crG{};
    std::array<std::int32_t, 256> cbG{};

    YccTables()
    {
        constexpr int kScaleBits = 16;
        constexpr std::int32_t kOneHalf = std::int32_t(1) << (kScaleBits - 1);
        auto fix = [](double v) { return static_cast<std::int32_t>(v * (1 << kScaleBits) + 0.5); };
        for (int i = 0, x = -128; i < 256; ++i, ++x) {
            crR[i] = static_cast<int>((fix(1.40200) * x + kOneHalf) >> kScaleBits);
            cbB[i] = static_cast<int>((fix(1.77200) * x + kOneHalf) >> kScaleBits);
            crG[i] = -fix(0.71414) * x;
            cbG[i] = -fix(0.34414) * x + kOneHalf;
        }
    }
};

const YccTables& yccTables()
{
    static const YccTables tables;
    return tables;
}

inline std::uint8_t rangeLimit(int v)
{
    return static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// One row of (Y, Cb, Cr, K) in place to (R, G, B, 255 - K).
void convertYcckRow(std::uint8_t* row, std::uint32_t width)
{
    const YccTables& t = yccTables();
    for (std::uint32_t x = 0; x < width; ++x, row += 4) {
        const int y = row[0];
        const int cb = row[1];
        const int cr = row[2];
        row[0] = rangeLimit(y + t.crR[cr]);
        row[1] = rangeLimit(y + static_cast<int>((t.cbG[cb] + t.crG[cr]) >> 16));
        row[2] = rangeLimit(y + t.cbB[cb]);
        row[3] = static_cast<std::uint8_t>(255 - row[3]);
    }
}

// libjpeg's progress monitor, which it calls at every iMCU row it reads and every scanline call.
struct ProgressGuard
{
    jpeg_progress_mgr pub; // first, so that cinfo->progress converts back
    const EndRunFlag* stop;
};

// Everything the decode keeps across a possible longjmp.
struct DecodeState
{
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    jpeg_source_mgr source;
    ProgressGuard progress;
    bool ownYcck;
};

// A progressive frame may carry any number of scans, and each one makes the decoder walk the
// whole picture again: a 100 KB frame of 5760 x 5760 with a few hundred scans keeps libjpeg busy
// for tens of seconds, inside every size limit. The monitor ends the decode as soon as the frame
// has more scans than a camera sends, libjpeg has warned (which fails the frame anyway, so the
// rest of a damaged picture is not decoded in vain), or a stop is requested.
void watchProgress(j_common_ptr cinfo)
{
    const auto* guard = reinterpret_cast<const ProgressGuard*>(cinfo->progress);
    const char* reason = nullptr;
    if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScansPerFrame)
        reason = "too many scans";
    else if (cinfo->err->num_warnings != 0)
        reason = "a warning";
    else if (guard->stop != nullptr && guard->stop->stopRequested())
        reason = "a stop request";
    if (reason == nullptr)
        return;
    trace("JPEG frame abandoned after %s", reason);
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->recovery, 1);
}

// True (and the checkpoint's trace) when libjpeg has warned about anything so far.
bool warned(DecodeState& s, int checkpoint)
{
    if (s.err.pub.num_warnings == 0)
        return false;
    trace("%d msg_code = %d , num_warnings = %ld", checkpoint, s.err.pub.msg_code, s.err.pub.num_warnings);
    return true;
}

int decodeFrame(DecodeState& s, const std::uint8_t* frame, std::uint32_t length, DecodedDibHeader* header,
                const DecodeBufferFor& bufferFor, const EndRunFlag* stop)
{
    s.cinfo.err = jpeg_std_error(&s.err.pub);
    s.err.pub.error_exit = JpegErrorExit;
    s.err.pub.output_message = outputMessage;
    if (setjmp(s.err.recovery)) {
        jpeg_destroy_decompress(&s.cinfo);
        return -1;
    }
    jpeg_create_decompress(&s.cinfo);
    s.progress.pub.progress_monitor = watchProgress;
    s.progress.stop = stop;
    s.cinfo.progress = &s.progress.pub;
    int result = -1;
    do {
        if (warned(s, 1))
            break;

        s.source.init_source = initSource;
        s.source.fill_input_buffer = fillInputBuffer;
        s.source.skip_input_data = skipInputData;
        s.source.resync_to_restart = jpeg_resync_to_restart;
        s.source.term_source = termSource;
        s.source.next_input_byte = frame;
        s.source.bytes_in_buffer = length;
        s.cinfo.src = &s.source;
        if (warned(s, 2))
            break;

        jpeg_read_header(&s.cinfo, TRUE);
        if (warned(s, 3))
            break;

        // An Adobe YCCK image: the library is told the components are plain CMYK, so that it
        // hands them over unconverted, and the control converts them itself.
        if (s.cinfo.jpeg_color_space == JCS_YCCK && s.cinfo.out_color_space == JCS_CMYK &&
            s.cinfo.saw_Adobe_marker && s.cinfo.Adobe_transform == 2) {
            s.cinfo.jpeg_color_space = JCS_CMYK;
            s.ownYcck = true;
        }
        if (!BuildDibHeader(&s.cinfo, header)) {
            trace("JPEG output colour space %d or size has no DIB form",
                  static_cast<int>(s.cinfo.out_color_space));
            break;
        }
        if (header->header.biBitCount == 8)
            FillDibPalette(&s.cinfo, header, 256);
        if (warned(s, 4))
            break;

        // The buffer is sized from the header before any row is written; a picture beyond the
        // limit is refused rather than written past the buffer.
        const std::size_t imageBytes = header->header.biSizeImage;
        if (imageBytes > kDecodedDibMaxBytes) {
            trace("JPEG frame %dx%d too large to decode (%zu bytes)", header->header.biWidth,
                  header->header.biHeight, imageBytes);
            break;
        }
        std::uint8_t* const pixels = bufferFor(*header);
        if (!pixels) {
            trace("no buffer for a %zu-byte decoded frame", imageBytes);
            break;
        }

        // DIB rows hold blue, green, red: the same conversion as RGB, stored in that order.
        if (s.cinfo.out_color_space == JCS_RGB)
            s.cinfo.out_color_space = JCS_EXT_BGR;
        jpeg_start_decompress(&s.cinfo);
        if (warned(s, 5))
            break;

        const auto width = static_cast<std::uint32_t>(header->header.biWidth);
        const auto height = static_cast<std::uint32_t>(header->header.biHeight);
        const std::uint32_t stride = dibStride(width, header->header.biBitCount);
        // The scaled output size is what the header was built from; anything else would write
        // rows of another length.
        if (s.cinfo.output_width != width || s.cinfo.output_height != height ||
            static_cast<std::uint64_t>(s.cinfo.output_width) * s.cinfo.output_components * 8 >
                static_cast<std::uint64_t>(width) * header->header.biBitCount) {
            trace("JPEG output %ux%u does not match its header", s.cinfo.output_width, s.cinfo.output_height);
            break;
        }
        // Padding bytes are zeroed so that a row never carries bytes of an earlier frame.
        const std::uint32_t rowBytes = width * static_cast<std::uint32_t>(s.cinfo.output_components);
        bool rowsFailed = false;
        while (s.cinfo.output_scanline < s.cinfo.output_height) {
            JSAMPROW row = pixels + static_cast<std::size_t>(height - 1 - s.cinfo.output_scanline) * stride;
            if (jpeg_read_scanlines(&s.cinfo, &row, 1) != 1 || warned(s, 6)) {
                rowsFailed = true;
                break;
            }
            if (s.ownYcck)
                convertYcckRow(row, width);
            if (stride > rowBytes)
                std::memset(row + rowBytes, 0, stride - rowBytes);
        }
        if (rowsFailed || warned(s, 7))
            break;

        jpeg_finish_decompress(&s.cinfo);
        if (warned(s, 8))
            break;
        result = 0;
    } while (false);

    if (s.err.pub.num_warnings != 0)
        trace("9 msg_code = %d , num_warnings = %ld", s.err.pub.msg_code, s.err.pub.num_warnings);
    jpeg_destroy_decompress(&s.cinfo);
    return result;
}

} // namespace

void JpegErrorExit(j_common_ptr cinfo)
{
    (*cinfo->err->output_message)(cinfo);
    trace("error msg_code = %d , num_warnings = %ld", cinfo->err->msg_code, cinfo->err->num_warnings);
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->recovery, 1);
}

bool BuildDibHeader(j_decompress_ptr cinfo, DecodedDibHeader* header)
{
    BitmapInfoHeader& h = header->header;
    h = BitmapInfoHeader{};
    std::uint16_t bits = 0;
    switch (cinfo->out_color_space) {
    case JCS_GRAYSCALE:
        bits = 8;
        break;
    case JCS_RGB:
        bits = cinfo->quantize_colors ? 8 : 24;
        break;
    case JCS_CMYK:
        bits = 32;
        break;
    default:
        return false;
    }
    const std::uint32_t denom = cinfo->scale_denom ? cinfo->scale_denom : 1;
    const std::uint64_t num = cinfo->scale_num ? cinfo->scale_num : 1;
    const std::uint64_t width = (cinfo->image_width * num + denom - 1) / denom;
    const std::uint64_t height = (cinfo->image_height * num + denom - 1) / denom;
    if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF)
        return false;
    const std::uint64_t imageSize =
        static_cast<std::uint64_t>(dibStride(static_cast<std::uint32_t>(width), bits)) * height;
    if (imageSize > 0xFFFFFFFFu)
        return false;

    h.biSize = 40;
    h.biWidth = static_cast<std::int32_t>(width);
    h.biHeight = static_cast<std::int32_t>(height);
    h.biPlanes = 1;
    h.biBitCount = bits;
    h.biCompression = 0; // BI_RGB
    h.biSizeImage = static_cast<std::uint32_t>(imageSize);
    switch (cinfo->density_unit) {
    case 2: // dots per centimetre
        h.biXPelsPerMeter = cinfo->X_density * 100;
        h.biYPelsPerMeter = cinfo->Y_density * 100;
        break;
    case 1: // dots per inch
        h.biXPelsPerMeter = static_cast<std::int32_t>(cinfo->X_density * 100 / 2.54);
        h.biYPelsPerMeter = static_cast<std::int32_t>(cinfo->Y_density * 100 / 2.54);
        break;
    default: // no unit: 72 dots per inch
        h.biXPelsPerMeter = 2834;
        h.biYPelsPerMeter = 2834;
        break;
    }
    h.biClrUsed = 0;
    h.biClrImportant = 0;
    return true;
}

void FillDibPalette(j_decompress_ptr cinfo, DecodedDibHeader* header, int count)
{
    count = count < 0 ? 0 : (count > 256 ? 256 : count);
    const bool mapped = cinfo->quantize_colors && cinfo->colormap && cinfo->out_color_components == 3;
    for (int i = 0; i < count; ++i) {
        RgbQuad& q = header->palette[i];
        if (mapped && i < cinfo->actual_number_of_colors) {
            q.rgbBlue = cinfo->colormap[2][i];
            q.rgbGreen = cinfo->colormap[1][i];
            q.rgbRed = cinfo->colormap[0][i];
        } else {
            const auto v = static_cast<std::uint8_t>(i);
            q.rgbBlue = v;
            q.rgbGreen = v;
            q.rgbRed = v;
        }
        q.rgbReserved = 0;
    }
}

int DecodeJpegInto(const std::uint8_t* frame, std::uint32_t length, DecodedDibHeader* header,
                   const DecodeBufferFor& bufferFor, const EndRunFlag* stop)
{
    if (!frame || length == 0 || !header || !bufferFor)
        return -1;
    DecodeState state;
    std::memset(&state, 0, sizeof state);
    return decodeFrame(state, frame, length, header, bufferFor, stop);
}

int CImage::DecodeJpegToDib(const std::uint8_t* frame, std::uint32_t length, DecodedDibHeader* header,
                            std::vector<std::uint8_t>* pixels, const EndRunFlag* stop)
{
    if (!pixels)
        return -1;
    return DecodeJpegInto(
        frame, length, header,
        [pixels](const DecodedDibHeader& h) -> std::uint8_t* {
            const std::size_t imageBytes = h.header.biSizeImage;
            if (pixels->size() < imageBytes) {
                try {
                    pixels->resize(imageBytes);
                } catch (const std::bad_alloc&) {
                    return nullptr;
                }
            }
            return pixels->data();
        },
        stop);
}

} // namespace tessivor
