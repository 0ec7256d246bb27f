#include "platform/control_window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace tessivor;
using namespace std::chrono_literals;

namespace {

TEST(ControlWindow, MessagesFromManyThreadsArriveOnTheOwnerInPostingOrder)
{
    std::vector<std::pair<std::uintptr_t, std::intptr_t>> seen;
    std::vector<std::thread::id> threads;
    ControlWindow window([&](const WindowMessage& m, std::intptr_t*) {
        seen.emplace_back(m.wParam, m.lParam);
        threads.push_back(std::this_thread::get_id());
        return true;
    });

    constexpr int kThreads = 4, kEach = 250;
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t)
        posters.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i)
                ASSERT_TRUE(postMessage(window.handle(), WM_USER, static_cast<std::uintptr_t>(t), i));
        });
    for (auto& p : posters)
        p.join();
    EXPECT_EQ(messageLoop::pendingCount(), static_cast<std::size_t>(kThreads * kEach));
    EXPECT_EQ(messageLoop::pump(), static_cast<std::size_t>(kThreads * kEach));

    // Per poster, its messages keep their order; all run on this thread.
    std::vector<std::intptr_t> next(kThreads, 0);
    for (auto [t, i] : seen) {
        EXPECT_EQ(i, next[t]);
        next[t] = i + 1;
    }
    for (auto id : threads)
        EXPECT_EQ(id, std::this_thread::get_id());
}

TEST(ControlWindow, MessagesPostedWhileDispatchingAreDispatchedTooAndOtherThreadsAreLeftAlone)
{
    std::vector<std::uint32_t> order;
    std::unique_ptr<ControlWindow> window;
    window = std::make_unique<ControlWindow>([&](const WindowMessage& m, std::intptr_t*) {
        order.push_back(m.message);
        if (m.message == WM_USER)
            postMessage(window->handle(), WM_USER + 1, 0, 0);
        return true;
    });
    // A window owned by another thread: its message must not be dispatched here.
    std::atomic<bool> foreignHandled{false};
    std::unique_ptr<ControlWindow> foreign;
    std::thread owner([&] {
        foreign = std::make_unique<ControlWindow>([&](const WindowMessage&, std::intptr_t*) {
            foreignHandled = true;
            return true;
        });
    });
    owner.join();
    postMessage(foreign->handle(), WM_USER, 0, 0);
    postMessage(window->handle(), WM_USER, 0, 0);
    EXPECT_EQ(messageLoop::pump(), 2u);
    EXPECT_EQ(order, (std::vector<std::uint32_t>{WM_USER, WM_USER + 1}));
    EXPECT_FALSE(foreignHandled);
}

TEST(ControlWindow, GoneWindowTakesNoMessagesAndDropsPendingOnes)
{
    int handled = 0;
    auto window = std::make_unique<ControlWindow>([&](const WindowMessage&, std::intptr_t*) {
        ++handled;
        return true;
    });
    const WindowHandle h = window->handle();
    EXPECT_GT(h, 0);
    postMessage(h, WM_USER, 0, 0);
    window.reset();
    EXPECT_FALSE(postMessage(h, WM_USER, 0, 0));
    EXPECT_EQ(messageLoop::pump(), 0u);
    EXPECT_EQ(handled, 0);
}

TEST(ControlWindow, WaitAndPumpWakesForAPostAndTheWakeHookIsCalled)
{
    std::atomic<int> wakes{0};
    messageLoop::setWakeHook([&] { ++wakes; });
    int handled = 0;
    ControlWindow window([&](const WindowMessage&, std::intptr_t*) {
        ++handled;
        return true;
    });
    std::thread poster([&] {
        std::this_thread::sleep_for(20ms);
        postMessage(window.handle(), WM_USER, 0, 0);
    });
    const auto start = std::chrono::steady_clock::now();
    std::size_t n = 0;
    while (n == 0 && std::chrono::steady_clock::now() - start < 5s)
        n = messageLoop::waitAndPump(5s);
    poster.join();
    messageLoop::setWakeHook({});
    EXPECT_EQ(n, 1u);
    EXPECT_EQ(handled, 1);
    EXPECT_EQ(wakes, 1);
}

TEST(ControlWindow, SendCallsTheHandlerAndReturnsItsResult)
{
    ControlWindow window([](const WindowMessage& m, std::intptr_t* r) {
        if (m.message != WM_ERASEBKGND)
            return false;
        *r = 1;
        return true;
    });
    EXPECT_EQ(window.send(WM_ERASEBKGND, 0, 0), 1);
    EXPECT_EQ(window.send(WM_PAINT, 0, 0), 0);
    EXPECT_EQ(makeLParam(0xFFFF, 2), 0x2FFFF);
}

} // namespace
