// Camera frames on arbitrary bytes: the control's libjpeg glue alone (memory source, warnings,
// DIB header, buffer sizing, YCCK conversion), then the whole frame pipeline with motion
// detection, rotation and a preview drawn into a frame target.
#include "control/cimage.h"
#include "decoded_frame_check.h"
#include "platform/frame_target.h"
#include "tests/control/cimage_peer.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

using namespace tessivor;

namespace {

struct Pipeline
{
    Pipeline()
    {
        target = frameTargets::create(160, 120);
        control.put_Protocol(PROTOCOL_NATIVE); // frames in m_FrameBuffer
        control.put_MotionDetectMode(2);
        control.put_OtherDC(VariantBool(-1));
        control.put_PreviewhWnd(static_cast<std::int32_t>(target));
        control.put_PreviewDC(static_cast<std::int32_t>(target));
        control.put_PreviewWidth(160);
        control.put_PreviewHeight(120);
    }
    CImage control;
    Handle target = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1 || size > CImage::kFrameBufferSize)
        return 0;
    static Pipeline* p = new Pipeline; // one control, so that motion compares successive inputs
    static std::vector<std::uint8_t> pixels;

    decodeAndCheckFrame(data, size, &pixels);

    static const std::int32_t kAngles[] = {0, 90, 180, 270, 45};
    p->control.put_RotateAngle(kAngles[data[0] % 5]);
    p->control.put_MotionBlockCount(data[0] & 0x10 ? 1 : 0);
    std::memcpy(CImagePeer::buffers(p->control).m_FrameBuffer.get(), data, size);
    p->control.ProcessFrame(static_cast<std::uint32_t>(size));
    messageLoop::pump(); // the events it posted
    return 0;
}
