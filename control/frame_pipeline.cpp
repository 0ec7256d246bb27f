// The frame pipeline: what happens to every frame that a stream reader has received, on the
// image thread: counting, sharing the raw bytes with an in-process consumer, the checks that the
// bytes are one whole JPEG, decoding into a DIB, the size change, rotation, motion, drawing, the
// e-mail picture, recording and snapshots (the output steps are in frame_output.cpp).
//
// The frame is decoded straight into the working image m_Buffers.m_WorkingImage, which is kept while the
// picture's size and depth stay the same; each decode writes it whole (rows and their padding),
// so it is neither zeroed nor copied. Besides it, the preview (kept the same way; a colour frame
// drawn at the target's top-left needs none, its preview rows go into the target as they are
// built), the motion reference and (for depths the image library has no image of) the decode
// buffer m_Buffers.m_DecodedDib are the only pixels kept between frames; a rotated picture is made
// and freed within the call. The control window's "device context" is its frame target, named by the window
// handle, so nothing is taken or released per frame for it.
#include "control/cimage.h"
#include "imagelib/img_jpeg.h"
#include "imagelib/img_rotate.h"
#include "platform/trace.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace tessivor {

namespace {
constexpr std::int32_t kFrameCountLimit = 5000; // FrameCount stops here until it is read
constexpr std::int32_t kShareSequenceWrap = 50000;

// Makes `image` an image of the size and depth of `h`, keeping it when it already is one.
// False when the library has no image of that depth (or no memory): `image` is then empty.
bool fitWorkingImage(img_desc* image, const BitmapInfoHeader& h)
{
    return img_fit(image, static_cast<std::uint32_t>(h.biWidth), static_cast<std::uint32_t>(h.biHeight),
                   h.biBitCount) == 0 &&
           image->bytesPerRow == dibStride(static_cast<std::uint32_t>(h.biWidth), h.biBitCount);
}
} // namespace

int CImage::ProcessFrame(std::uint32_t frameLength)
{
    // This frame's settings: a put meanwhile applies from the next frame.
    const ConnectionSettings conn = m_Connection.read();
    const DrawingSettings drawing = m_Drawing.read();
    std::int32_t count = m_StreamInfo.m_nFrameCount.load();
    while (count < kFrameCountLimit && !m_StreamInfo.m_nFrameCount.compare_exchange_weak(count, count + 1)) {
    }

    const std::int32_t protocol = conn.m_nProtocol;
    const bool pushed =
        protocol == PROTOCOL_VIDEO_CGI || protocol == PROTOCOL_MJPEG_CGI || protocol == PROTOCOL_NUMBERED_CGI;
    const std::uint8_t* frame = pushed ? m_Buffers.m_pCgiFrame : m_Buffers.m_FrameBuffer.get();
    // The frame must lie inside the frame buffer (the readers guarantee it; a Protocol changed
    // while streaming could point the choice at the other reader's frame).
    const std::uint8_t* bufferStart = m_Buffers.m_FrameBuffer.get();
    if (!frame || frame < bufferStart ||
        static_cast<std::size_t>(frame - bufferStart) + frameLength > kFrameBufferSize)
        return 0;

    if (m_Sharing.m_bEnableServer.load() != 0)
        ShareFrame(frame, frameLength);

    // The header must read as a JPEG before anything else looks at the bytes.
    img_info info;
    if (img_jpeg_info_mem(frame, frameLength, &info) != 0)
        return 0;
    if (frameLength < 2 || frame[0] != 0xFF || frame[1] != 0xD8)
        return 0;
    if (frame[frameLength - 2] != 0xFF) {
        trace("%s : Image length error1(tail) !!", conn.m_szRemoteHost.c_str());
        return 0;
    }
    if (frame[frameLength - 1] != 0xD9) {
        trace("%s : Image length error2(tail) !!", conn.m_szRemoteHost.c_str());
        return 0;
    }

    DecodedDibHeader dib;
    // A stop ends a long decode in the middle; the frame is then dropped like a bad one.
    bool inWorkingImage = false;
    const int decoded = DecodeJpegInto(
        frame, frameLength, &dib,
        [this, &inWorkingImage](const DecodedDibHeader& d) {
            inWorkingImage = fitWorkingImage(m_Buffers.m_WorkingImage.get(), d.header);
            if (inWorkingImage)
                return m_Buffers.m_WorkingImage->pixels;
            // No image of this depth: the frame still decodes (its size counts), then ends below.
            img_free(m_Buffers.m_WorkingImage.get());
            try {
                if (m_Buffers.m_DecodedDib.size() < d.header.biSizeImage)
                    m_Buffers.m_DecodedDib.resize(d.header.biSizeImage);
            } catch (const std::bad_alloc&) {
                return static_cast<std::uint8_t*>(nullptr);
            }
            return m_Buffers.m_DecodedDib.data();
        },
        &m_Run.m_bEndRun);
    if (decoded != 0)
        return 0;
    const BitmapInfoHeader& h = dib.header;
    if (h.biWidth < 1 || h.biHeight < 1 || h.biBitCount < 1)
        return 0;

    // A new size: the host hears of it, and an open recording ends so that this same frame opens
    // a file of the new size (the record request stands).
    if (h.biWidth != m_StreamInfo.m_nImageWidth.load() || h.biHeight != m_StreamInfo.m_nImageHeight.load()) {
        m_StreamInfo.m_nImageWidth.store(h.biWidth);
        m_StreamInfo.m_nImageHeight.store(h.biHeight);
        PostImageEvent(EVT_IMAGE_SIZE_CHANGED);
        CloseRecordingForSizeChange();
    }
    if (!inWorkingImage)
        return -1; // CMYK pictures (32 bits) end here: the library has no image of that depth

    // Rotation. A failed rotation frees its image and the frame goes on as decoded.
    ImgTempImage rotated;
    img_desc* working = m_Buffers.m_WorkingImage.get();
    const std::int32_t angle = drawing.m_nRotateAngle;
    if (angle != 0) {
        const bool quarter = angle == 90 || angle == 270;
        const auto width = static_cast<std::uint32_t>(quarter ? h.biHeight : h.biWidth);
        const auto height = static_cast<std::uint32_t>(quarter ? h.biWidth : h.biHeight);
        if (img_alloc(rotated.get(), width, height, h.biBitCount) != 0)
            return 0;
        const std::int32_t rc = img_rotate(static_cast<double>(angle), working, rotated.get());
        if (rc == 0) {
            working = rotated.get();
        } else {
            trace("%s : rotation by %d failed (%d); the frame goes on unrotated", conn.m_szRemoteHost.c_str(),
                  angle, rc);
            img_free(rotated.get());
        }
    }

    const bool mailPicture = MotionStep(working);
    if (drawing.m_bDrawImage != 0)
        DrawFrame(working, drawing);
    if (mailPicture && m_Run.m_bMailIdle.load() != 0)
        SendMotionMail(working);
    if (!RecordWorkingImage(working, working == rotated.get(), frame, frameLength))
        return 0; // a snapshot request waits for the next frame
    if (m_Capture.m_bCaptureRequest.load() != 0)
        SaveSnapshot(working);
    return -1;
}

void CImage::ShareFrame(const std::uint8_t* frame, std::uint32_t length)
{
    ClientBlock& b = *m_Sharing.m_ClientBlock;
    const bool first = b.nextSlot.load() == 1;
    b.nextSlot.store(first ? 2 : 1);
    auto& busy = first ? b.readerBusy1 : b.readerBusy2;
    auto& writing = first ? b.writing1 : b.writing2;
    auto& sequence = first ? b.sequence1 : b.sequence2;
    auto& stored = first ? b.length1 : b.length2;
    std::uint8_t* slot = first ? b.slot1 : b.slot2;
    // A slot that its consumer is reading is left alone: the frame is not shared, rather than
    // changed under the reader.
    if (busy.load() != 0)
        return;
    writing.store(1);
    if (length < ClientBlock::kSlotSize) {
        std::int32_t seq = m_StreamInfo.m_nShareSequence.fetch_add(1) + 1;
        sequence.store(seq);
        std::memcpy(slot, frame, length);
        stored.store(static_cast<std::int32_t>(length));
        if (seq > kShareSequenceWrap)
            m_StreamInfo.m_nShareSequence.store(0);
    }
    writing.store(0);
}

} // namespace tessivor
