// The picture surface and the message pump: what worker threads draw or post reaches the UI
// thread through the Qt loop, and a surface destroyed while frames keep coming leaves the
// drawing thread harmless. Also built with ThreadSanitizer (preset "tsan").
#include "app/skin/message_pump.h"
#include "app/skin/picture_surface.h"
#include "platform/control_window.h"
#include "platform/frame_target.h"
#include "qt_test_support.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

using namespace pellucor;
using namespace std::chrono_literals;

namespace {

// One frame whose row y has the colour rowColour(y), as the control's frame pipeline would draw
// it: a bottom-up 24-bit bitmap blitted at the target's top left.
void drawRows(tessivor::FrameTarget& target, int width, int height,
              const std::function<tessivor::Rgb(int y)>& rowColour)
{
    const std::uint32_t stride = (static_cast<std::uint32_t>(width) * 3 + 3) & ~3u;
    std::vector<std::uint8_t> bits(static_cast<std::size_t>(stride) * height);
    for (int y = 0; y < height; ++y) {
        const tessivor::Rgb colour = rowColour(y);
        // Bottom-up: the picture's row y is the bitmap's row height - 1 - y.
        std::uint8_t* row = &bits[static_cast<std::size_t>(height - 1 - y) * stride];
        for (int x = 0; x < width; ++x) {
            row[x * 3] = colour.b;
            row[x * 3 + 1] = colour.g;
            row[x * 3 + 2] = colour.r;
        }
    }
    tessivor::DibView view;
    view.width = width;
    view.height = height;
    view.bottomUp = true;
    view.bitCount = 24;
    view.stride = stride;
    view.bits = bits.data();
    target.blit(0, 0, width, height, 0, 0, view);
}

// One frame of a solid colour.
void drawFrame(tessivor::FrameTarget& target, int width, int height, tessivor::Rgb colour)
{
    drawRows(target, width, height, [colour](int) { return colour; });
}

tessivor::Rgb frameColour(int n)
{
    return tessivor::Rgb{static_cast<std::uint8_t>(40 + n % 200), static_cast<std::uint8_t>(255 - n % 200),
                         90};
}

// A worker that draws a numbered frame every 40 ms (25 frames per second) through the handle,
// as the image loop does, until told to stop. The pace is that of a camera; nothing measures it.
class FrameSource
{
public:
    explicit FrameSource(tessivor::Handle handle, int width, int height)
        : m_thread([this, handle, width, height] {
              for (int n = 0; !m_stop.load(); ++n) {
                  if (auto target = tessivor::frameTargets::find(handle)) {
                      drawFrame(*target, width, height, frameColour(n));
                      m_drawn.store(n + 1);
                  } else {
                      m_missed.fetch_add(1);
                  }
                  std::this_thread::sleep_for(40ms);
              }
          })
    {
    }
    ~FrameSource() { stop(); }
    void stop()
    {
        m_stop.store(true);
        if (m_thread.joinable())
            m_thread.join();
    }
    int drawn() const { return m_drawn.load(); }
    int missed() const { return m_missed.load(); }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_drawn{0};
    std::atomic<int> m_missed{0};
    std::thread m_thread;
};

} // namespace

TEST(PictureSurface, FramesFromAWorkerAppearOnScreen)
{
    testApp();
    PictureSurface surface;
    surface.resize(64, 48);
    surface.show();
    ASSERT_TRUE(waitUntil([&] { return surface.isVisible(); }));
    ASSERT_EQ(surface.target()->width(), 64);

    int repaints = 0;
    QObject::connect(&surface, &PictureSurface::pictureChanged, [&] { ++repaints; });
    FrameSource source(surface.handle(), 64, 48);
    // Wait for a few frames, then stop the source and check that the last one is what shows.
    ASSERT_TRUE(waitUntil([&] { return source.drawn() >= 10; }));
    source.stop();
    const int last = source.drawn() - 1;
    ASSERT_TRUE(waitUntil([&] { return surface.shownVersion() == surface.target()->version(); }))
        << "the surface never repainted the last frame";
    const QImage shot = surface.grab().toImage();
    const tessivor::Rgb want = frameColour(last);
    for (QPoint p : {QPoint(0, 0), QPoint(32, 24), QPoint(63, 47)})
        EXPECT_EQ(shot.pixelColor(p), QColor(want.r, want.g, want.b)) << p.x() << "," << p.y();
    EXPECT_GT(repaints, 0);
    EXPECT_EQ(source.missed(), 0);
}

// A picture larger than the piece Qt converts in one go is painted in strips: every row shows, the
// rows at the strips' edges included.
TEST(PictureSurface, ALargePictureShowsEveryRow)
{
    testApp();
    PictureSurface surface;
    surface.resize(400, 300);
    surface.show();
    ASSERT_TRUE(waitUntil([&] { return surface.isVisible(); }));
    ASSERT_EQ(surface.target()->width(), 400);
    auto rowColour = [](int y) {
        return tessivor::Rgb{static_cast<std::uint8_t>(y % 256), static_cast<std::uint8_t>(255 - y % 256),
                             static_cast<std::uint8_t>((y * 7) % 256)};
    };
    const int width = 400, height = 300;
    drawRows(*surface.target(), width, height, rowColour);
    ASSERT_TRUE(waitUntil([&] { return surface.shownVersion() == surface.target()->version(); }));
    const QImage shot = surface.grab().toImage();
    int wrong = 0;
    for (int y = 0; y < height; ++y) {
        const tessivor::Rgb want = rowColour(y);
        for (int x : {0, 199, 399})
            wrong += shot.pixelColor(x, y) == QColor(want.r, want.g, want.b) ? 0 : 1;
    }
    EXPECT_EQ(wrong, 0);
}

TEST(PictureSurface, TextOverlaysAreDrawnWithARealFont)
{
    testApp();
    PictureSurface surface;
    surface.resize(120, 40);
    surface.show();
    ASSERT_TRUE(waitUntil([&] { return surface.isVisible() && surface.target()->width() == 120; }));
    surface.target()->drawText(tessivor::TargetText{{0, 0, 120, 40},
                                                    "Connecting",
                                                    {255, 255, 255},
                                                    "DejaVu Sans",
                                                    16,
                                                    700,
                                                    tessivor::DT_CENTER | tessivor::DT_VCENTER});
    const QImage shot = surface.grab().toImage();
    int white = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 120; ++x)
            white += shot.pixelColor(x, y).lightness() > 200;
    EXPECT_GT(white, 30); // letters, not an empty black box
    EXPECT_EQ(shot.pixelColor(1, 1), QColor(0, 0, 0));
}

TEST(PictureSurface, DestroyedWhileFramesKeepComing)
{
    testApp();
    auto surface = std::make_unique<PictureSurface>();
    surface->resize(32, 24);
    surface->show();
    const tessivor::Handle handle = surface->handle();
    // Also a drawer that took the target before the surface went and keeps drawing into it.
    std::shared_ptr<tessivor::FrameTarget> held = surface->target();
    std::atomic<bool> stop{false};
    std::thread holder([&] {
        for (int n = 0; !stop.load(); ++n) {
            drawFrame(*held, 32, 24, frameColour(n));
            std::this_thread::sleep_for(5ms);
        }
    });
    FrameSource source(handle, 32, 24);
    ASSERT_TRUE(waitUntil([&] { return source.drawn() >= 3; }));
    surface.reset();
    EXPECT_EQ(tessivor::frameTargets::find(handle), nullptr);
    const int missedAtDestroy = source.missed();
    ASSERT_TRUE(waitUntil([&] { return source.missed() >= missedAtDestroy + 3; }));
    // Events that the callbacks queued before the surface went must find nothing to touch.
    waitUntil([] { return false; }, 200);
    stop.store(true);
    holder.join();
    source.stop();
}

TEST(MessagePump, PostsFromWorkersAreDispatchedOnTheUiThreadInOrder)
{
    testApp();
    MessagePump pump;
    const auto uiThread = std::this_thread::get_id();
    std::vector<std::uintptr_t> seen;
    bool allOnUiThread = true;
    tessivor::ControlWindow window([&](const tessivor::WindowMessage& msg, std::intptr_t*) {
        allOnUiThread = allOnUiThread && std::this_thread::get_id() == uiThread;
        seen.push_back(msg.wParam);
        return true;
    });
    constexpr int kPerWorker = 200;
    std::vector<std::thread> workers;
    for (int w = 0; w < 2; ++w)
        workers.emplace_back([&, w] {
            for (int i = 0; i < kPerWorker; ++i)
                tessivor::postMessage(window.handle(), tessivor::WM_USER, w * 1000 + i, 0);
        });
    for (auto& t : workers)
        t.join();
    ASSERT_TRUE(waitUntil([&] { return seen.size() == 2 * kPerWorker; }));
    EXPECT_TRUE(allOnUiThread);
    // Each worker's messages arrive in the order it posted them.
    for (int w = 0; w < 2; ++w) {
        std::uintptr_t previous = 0;
        bool first = true, ordered = true;
        for (std::uintptr_t v : seen)
            if (static_cast<int>(v / 1000) == w) {
                ordered = ordered && (first || v > previous);
                previous = v;
                first = false;
            }
        EXPECT_TRUE(ordered) << "worker " << w;
    }
    EXPECT_EQ(pump.dispatched(), 2u * kPerWorker);
}
