#include "platform/control_window.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>

namespace tessivor {

namespace {

struct WindowState
{
    ControlWindow::Handler handler;
    std::thread::id owner;
};

struct Posted
{
    WindowHandle window;
    WindowMessage msg;
};

// One queue for the process keeps posting order; pump() takes only its own thread's messages.
struct Loop
{
    std::mutex mutex;
    std::condition_variable posted;
    std::map<WindowHandle, std::shared_ptr<WindowState>> windows;
    std::deque<Posted> queue;
    std::function<void()> wakeHook;
};

Loop& loop()
{
    static Loop* l = new Loop; // never destroyed: workers may post during static destruction
    return *l;
}

// The window that `p` is posted to, when it still exists and belongs to thread `self`; else null.
// Called with the loop's mutex held.
const std::shared_ptr<WindowState>* ownedTarget(const Loop& l, const Posted& p, std::thread::id self)
{
    const auto w = l.windows.find(p.window);
    return w != l.windows.end() && w->second->owner == self ? &w->second : nullptr;
}

} // namespace

ControlWindow::ControlWindow(Handler handler) : m_handle(newHandle()), m_owner(std::this_thread::get_id())
{
    auto state = std::make_shared<WindowState>(WindowState{std::move(handler), m_owner});
    Loop& l = loop();
    std::lock_guard lock(l.mutex);
    l.windows.emplace(m_handle, std::move(state));
}

ControlWindow::~ControlWindow()
{
    std::shared_ptr<WindowState> doomed;
    Loop& l = loop();
    std::lock_guard lock(l.mutex);
    auto it = l.windows.find(m_handle);
    if (it != l.windows.end()) {
        doomed = std::move(it->second);
        l.windows.erase(it);
    }
    std::erase_if(l.queue, [this](const Posted& p) { return p.window == m_handle; });
}

std::intptr_t ControlWindow::send(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam)
{
    std::shared_ptr<WindowState> state;
    {
        Loop& l = loop();
        std::lock_guard lock(l.mutex);
        auto it = l.windows.find(m_handle);
        if (it == l.windows.end())
            return 0;
        state = it->second;
    }
    std::intptr_t result = 0;
    state->handler(WindowMessage{message, wParam, lParam}, &result);
    return result;
}

bool postMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam)
{
    Loop& l = loop();
    std::function<void()> hook;
    {
        std::lock_guard lock(l.mutex);
        if (l.windows.find(window) == l.windows.end())
            return false;
        l.queue.push_back(Posted{window, WindowMessage{message, wParam, lParam}});
        hook = l.wakeHook;
    }
    l.posted.notify_all();
    if (hook)
        hook();
    return true;
}

namespace messageLoop {

namespace {

// Takes the first message for a window of this thread; false when there is none.
bool takeOne(Loop& l, std::shared_ptr<WindowState>* state, WindowMessage* msg)
{
    const auto self = std::this_thread::get_id();
    for (auto it = l.queue.begin(); it != l.queue.end(); ++it) {
        const auto* target = ownedTarget(l, *it, self);
        if (target == nullptr)
            continue;
        *state = *target;
        *msg = it->msg;
        l.queue.erase(it);
        return true;
    }
    return false;
}

} // namespace

std::size_t pump()
{
    Loop& l = loop();
    std::size_t n = 0;
    for (;;) {
        std::shared_ptr<WindowState> state;
        WindowMessage msg{};
        {
            std::lock_guard lock(l.mutex);
            if (!takeOne(l, &state, &msg))
                return n;
        }
        std::intptr_t result = 0;
        state->handler(msg, &result);
        ++n;
    }
}

std::size_t waitAndPump(std::chrono::milliseconds timeout)
{
    Loop& l = loop();
    const auto self = std::this_thread::get_id();
    {
        std::unique_lock lock(l.mutex);
        l.posted.wait_for(lock, timeout, [&] {
            return std::any_of(l.queue.begin(), l.queue.end(),
                               [&](const Posted& p) { return ownedTarget(l, p, self) != nullptr; });
        });
    }
    return pump();
}

void setWakeHook(std::function<void()> hook)
{
    Loop& l = loop();
    std::lock_guard lock(l.mutex);
    l.wakeHook = std::move(hook);
}

std::size_t pendingCount()
{
    Loop& l = loop();
    const auto self = std::this_thread::get_id();
    std::lock_guard lock(l.mutex);
    return static_cast<std::size_t>(std::count_if(
        l.queue.begin(), l.queue.end(), [&](const Posted& p) { return ownedTarget(l, p, self) != nullptr; }));
}

} // namespace messageLoop

} // namespace tessivor
