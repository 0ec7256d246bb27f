// The Kestra viewer's picture seam on arbitrary bytes: the frame gate, decoding, drawing into a
// target, motion against the previous frame and the snapshot buffer. Each input is fed twice,
// after a fixed good frame, so that the motion walk compares pictures of differing sizes.
#include "app/viewer/kestra_viewer.h"
#include "imagelib/img_jpeg.h"
#include "platform/clock.h"
#include "platform/frame_target.h"

#include <cstdint>

namespace {

class FixedClock : public tessivor::Clock
{
public:
    std::uint32_t tickCount() override { return m_ms += 40; }
    void sleepMs(std::uint32_t) override {}
    std::time_t now() override { return 1709546400 + m_ms / 1000; }

private:
    std::uint32_t m_ms = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Pictures beyond a megapixel cost time in proportion to their claimed size and say nothing
    // about the gate; the decoder has a fuzzer of its own.
    img_info info;
    if (size > 0 && size < 0xFFFFFFFFu && img_jpeg_info_mem(data, static_cast<std::uint32_t>(size), &info) == 0 &&
        static_cast<std::int64_t>(info.width) * info.height > (1 << 20))
        return 0;
    static FixedClock clock;
    static const tessivor::Handle target = tessivor::frameTargets::create(64, 48);
    pellucor::KestraViewer viewer(1, nullptr, clock);
    viewer.startShowing();
    viewer.attachWindow(static_cast<std::int32_t>(target), 64, 48);
    viewer.setMotionMode(2);
    viewer.feedFrame(data, size);
    viewer.feedFrame(data, size);
    return 0;
}
