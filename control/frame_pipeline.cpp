// The frame pipeline: what happens to every frame that a stream reader has received, on the
// image thread. This file holds the steps that need no image library: counting, sharing the raw
// bytes with an in-process consumer, and the check that the bytes are one whole JPEG (SOI at the
// front, EOI at the end).
//
// TODO: the JPEG header check, decoding, the size change, rotation, drawing, motion, the e-mail
// picture, recording and snapshots follow the marker check once the decoder exists; until then a
// frame that passes the check counts as gone through, and nothing is drawn or recorded.
#include "control/cimage.h"
#include "platform/trace.h"

#include <cstring>

namespace tessivor {

namespace {
constexpr std::int32_t kFrameCountLimit = 5000; // FrameCount stops here until it is read
constexpr std::int32_t kShareSequenceWrap = 50000;
} // namespace

int CImage::ProcessFrame(std::uint32_t frameLength)
{
    std::int32_t count = m_nFrameCount.load();
    while (count < kFrameCountLimit && !m_nFrameCount.compare_exchange_weak(count, count + 1)) {
    }

    const std::int32_t protocol = m_nProtocol.load();
    const bool pushed =
        protocol == PROTOCOL_VIDEO_CGI || protocol == PROTOCOL_MJPEG_CGI || protocol == PROTOCOL_NUMBERED_CGI;
    const std::uint8_t* frame = pushed ? m_pCgiFrame : m_FrameBuffer.get();
    // The frame must lie inside the frame buffer (the readers guarantee it; a Protocol changed
    // while streaming could point the choice at the other reader's frame).
    const std::uint8_t* bufferStart = m_FrameBuffer.get();
    if (!frame || frame < bufferStart ||
        static_cast<std::size_t>(frame - bufferStart) + frameLength > kFrameBufferSize)
        return 0;

    if (m_bEnableServer.load() != 0)
        ShareFrame(frame, frameLength);

    if (frameLength < 2 || frame[0] != 0xFF || frame[1] != 0xD8)
        return 0;
    if (frame[frameLength - 2] != 0xFF) {
        trace("%s : Image length error1(tail) !!", m_szRemoteHost.c_str());
        return 0;
    }
    if (frame[frameLength - 1] != 0xD9) {
        trace("%s : Image length error2(tail) !!", m_szRemoteHost.c_str());
        return 0;
    }
    return -1;
}

void CImage::ShareFrame(const std::uint8_t* frame, std::uint32_t length)
{
    ClientBlock& b = *m_ClientBlock;
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
        std::int32_t seq = m_nShareSequence.fetch_add(1) + 1;
        sequence.store(seq);
        std::memcpy(slot, frame, length);
        stored.store(static_cast<std::int32_t>(length));
        if (seq > kShareSequenceWrap)
            m_nShareSequence.store(0);
    }
    writing.store(0);
}

} // namespace tessivor
