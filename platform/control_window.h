// Control windows: the place where worker threads report to the host's thread.
//
// A control window is a numbered handle with a FIFO of (message, wParam, lParam). Any thread may
// post to it; the messages are dispatched, in posting order, on the thread that created the
// window, when that thread pumps (messageLoop::pump) or, in a Qt program, when the wake-up hook
// schedules a pump on the event loop. So the handlers, and every event they fire, run on the
// host's thread. Posting to a window that no longer exists does nothing and returns false.
#pragma once

#include "platform/handles.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

namespace tessivor {

using WindowHandle = Handle;

// Message numbers as the control's message map knows them.
inline constexpr std::uint32_t WM_PAINT = 0x000F;
inline constexpr std::uint32_t WM_CLOSE = 0x0010;
inline constexpr std::uint32_t WM_ERASEBKGND = 0x0014;
inline constexpr std::uint32_t WM_LBUTTONDOWN = 0x0201;
inline constexpr std::uint32_t WM_LBUTTONDBLCLK = 0x0203;
inline constexpr std::uint32_t WM_RBUTTONUP = 0x0205;
inline constexpr std::uint32_t WM_USER = 0x0400;

struct WindowMessage
{
    std::uint32_t message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
};

inline constexpr std::intptr_t makeLParam(std::uint16_t low, std::uint16_t high)
{
    return static_cast<std::intptr_t>(static_cast<std::uint32_t>(low) |
                                      (static_cast<std::uint32_t>(high) << 16));
}

class ControlWindow
{
public:
    // Returns true when the message was handled; *result is the handler's answer.
    using Handler = std::function<bool(const WindowMessage& msg, std::intptr_t* result)>;

    // The window belongs to the calling thread.
    explicit ControlWindow(Handler handler);
    // Pending messages are dropped; a handler running on the owner thread is not interrupted
    // (destroy windows on their owner thread).
    ~ControlWindow();
    ControlWindow(const ControlWindow&) = delete;
    ControlWindow& operator=(const ControlWindow&) = delete;

    WindowHandle handle() const { return m_handle; }
    std::thread::id ownerThread() const { return m_owner; }

    // Calls the handler directly (the caller must be the owner thread). 0 when not handled.
    std::intptr_t send(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);

private:
    WindowHandle m_handle;
    std::thread::id m_owner;
};

// Any thread. False when the window does not exist (any more).
bool postMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);

namespace messageLoop {

// Dispatches every message pending for windows owned by the calling thread, including those
// posted by the handlers while it runs; returns how many it dispatched.
std::size_t pump();

// Waits up to `timeout` for a message for a window of this thread, then pumps.
std::size_t waitAndPump(std::chrono::milliseconds timeout);

// Called (from the posting thread) after every post: a GUI event loop installs a hook that
// schedules pump() on its own thread. Pass an empty function to remove it.
void setWakeHook(std::function<void()> hook);

// Messages waiting for windows of the calling thread.
std::size_t pendingCount();

} // namespace messageLoop

} // namespace tessivor
