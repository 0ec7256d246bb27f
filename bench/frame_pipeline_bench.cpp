// What the frame pipeline costs per 640x480 camera frame, next to a bare libjpeg-turbo decode of
// the same frame (the floor of any pipeline that shows the picture).
//
//   BM_BareDecode            libjpeg decode of the frame into RGB rows, nothing else
//   BM_DecodeJpegToDib       the control's decoder: DIB rows bottom-up, warnings checked
//   BM_ProcessFrame          CImage::ProcessFrame: header gate, decode, working image, motion
//                            (on; the same frame again, so every cell is compared), a 320x240
//                            preview drawn into a frame target, the recording step (idle)
//   BM_ProcessFrameMoving    the same with two frames in turn, so that motion is found
//   BM_DetectMotion          CImage::DetectMotion alone on two 640x480 pictures of a still
//                            scene with noise (the dearest case: no moving cell ends the scan)
//
// The frames are the simulated camera's pictures (tools/camsim) at quality 75.
#include "bare_decode.h"
#include "control/cimage.h"
#include "imagelib/img_desc.h"
#include "picture.h"
#include "platform/frame_target.h"
#include "tests/control/cimage_peer.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <vector>

using namespace tessivor;

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

const std::vector<std::uint8_t>& frame(int n)
{
    static const std::vector<std::uint8_t> frames[2] = {camsim::encodeTestPicture(1, kWidth, kHeight, 75),
                                                        camsim::encodeTestPicture(2, kWidth, kHeight, 75)};
    return frames[n & 1];
}

void BM_BareDecode(benchmark::State& state)
{
    const auto& jpeg = frame(0);
    std::vector<std::uint8_t> rgb(kWidth * kHeight * 3);
    for (auto _ : state) {
        bareDecode(jpeg, rgb);
        benchmark::DoNotOptimize(rgb.data());
    }
}
BENCHMARK(BM_BareDecode);

void BM_DecodeJpegToDib(benchmark::State& state)
{
    const auto& jpeg = frame(0);
    DecodedDibHeader header{};
    std::vector<std::uint8_t> pixels;
    for (auto _ : state) {
        if (CImage::DecodeJpegToDib(jpeg.data(), static_cast<std::uint32_t>(jpeg.size()), &header, &pixels) !=
            0)
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(pixels.data());
    }
}
BENCHMARK(BM_DecodeJpegToDib);

void processFrames(benchmark::State& state, bool moving)
{
    CImage control;
    const Handle target = frameTargets::create(320, 240);
    control.put_Protocol(PROTOCOL_NATIVE); // the frame lies in m_FrameBuffer
    control.put_MotionDetectMode(2);
    control.put_OtherDC(VariantBool(-1));
    control.put_PreviewhWnd(static_cast<std::int32_t>(target));
    control.put_PreviewDC(static_cast<std::int32_t>(target));
    control.put_PreviewWidth(320);
    control.put_PreviewHeight(240);
    int n = 0;
    for (auto _ : state) {
        const auto& jpeg = frame(moving ? n++ : 0);
        std::memcpy(CImagePeer::buffers(control).m_FrameBuffer.get(), jpeg.data(), jpeg.size());
        if (control.ProcessFrame(static_cast<std::uint32_t>(jpeg.size())) != -1)
            state.SkipWithError("frame dropped");
        messageLoop::pump(); // the events it posted
    }
    frameTargets::destroy(target);
}

void BM_ProcessFrame(benchmark::State& state)
{
    processFrames(state, false);
}
BENCHMARK(BM_ProcessFrame);

void BM_ProcessFrameMoving(benchmark::State& state)
{
    processFrames(state, true);
}
BENCHMARK(BM_ProcessFrameMoving);

void BM_DetectMotion(benchmark::State& state)
{
    CImage control;
    img_desc picture;
    if (img_alloc(&picture, kWidth, kHeight, 24) != 0) {
        state.SkipWithError("no picture");
        return;
    }
    img_desc noisy;
    if (img_alloc(&noisy, kWidth, kHeight, 24) != 0) {
        img_free(&picture);
        state.SkipWithError("no picture");
        return;
    }
    // Two pictures of a still scene with sensor noise: no byte differs by more than the
    // threshold, so every cell is compared and the scan never ends early.
    for (std::uint32_t i = 0; i < picture.bytesPerRow * kHeight; ++i) {
        picture.pixels[i] = static_cast<std::uint8_t>(40 + (i * 7) % 170);
        noisy.pixels[i] = static_cast<std::uint8_t>(picture.pixels[i] + (i * 2654435761u >> 28) % 17 - 8);
    }
    std::vector<std::uint8_t> reference(CImage::kMotionReferenceSize);
    control.DetectMotion(picture.pixels, picture.bytesPerRow, reference.data(), kWidth, kHeight, 5, false);
    int n = 0;
    for (auto _ : state) {
        const img_desc& p = (n++ & 1) ? noisy : picture;
        if (control.DetectMotion(p.pixels, p.bytesPerRow, reference.data(), kWidth, kHeight, 5, false) != 0)
            state.SkipWithError("motion in a still scene");
    }
    img_free(&noisy);
    img_free(&picture);
}
BENCHMARK(BM_DetectMotion);

} // namespace

BENCHMARK_MAIN();
