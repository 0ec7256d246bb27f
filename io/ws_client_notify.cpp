// The socket client's notification window: socket events watched on a thread of their own and
// posted to the window of the thread that created it.
#include "io/ws_client_detail.h"

#include "platform/control_window.h"

#include <cerrno>
#include <poll.h>
#include <sys/ioctl.h>

namespace tessivor {

using namespace wsclient;

int CWSClient::CreateNotifyWindow(int /*instance*/)
{
    if (m_Notify)
        return OnError(WSC_OK);
    auto notify = std::make_unique<NotifySupport>();
    NotifySupport* n = notify.get();
    notify->window = std::make_unique<ControlWindow>([n](const WindowMessage& msg, std::intptr_t*) {
        const auto l = static_cast<std::uint32_t>(msg.lParam);
        const int low = static_cast<int>(l & 0xFFFF);
        const int high = static_cast<int>(l >> 16);
        if (msg.message == WM_WSC_ATTACH) {
            n->attached = reinterpret_cast<CWSClient*>(msg.lParam);
            return true;
        }
        if (!n->attached)
            return false;
        switch (msg.message) {
        case WM_WSC_SELECT:
            n->attached->OnAsyncSelect(low, high);
            return true;
        case WM_WSC_HOSTBYADDR:
            n->attached->OnAsyncHostByAddr(high);
            return true;
        case WM_WSC_HOSTBYNAME:
            n->attached->OnAsyncHostByName(high);
            return true;
        default:
            return false;
        }
    });
    notify->window->send(WM_WSC_ATTACH, 0, reinterpret_cast<std::intptr_t>(this));
    m_Notify = std::move(notify);
    return OnError(WSC_OK);
}

int CWSClient::AsyncSelect(long events)
{
    const SocketPtr s = useConnection();
    if (!m_Notify || !s)
        return OnError(WSC_SOCKET_CALL_FAILED);
    m_Notify->stopWatcher();
    if (!setBlocking(s->fd, false))
        return OnError(WSC_SOCKET_CALL_FAILED);
    {
        std::lock_guard lock(m_Lock);
        m_bNonBlocking = 1;
    }
    if (events == 0)
        return OnError(WSC_OK);
    if (!m_Notify->watcher.start("wsc-select", [this, events] { watchEvents(events); }))
        return OnError(WSC_SOCKET_CALL_FAILED);
    return OnError(WSC_OK);
}

void CWSClient::watchEvents(long events)
{
    const WindowHandle window = m_Notify->window->handle();
    auto post = [window](long event, int error) {
        postMessage(window, WM_WSC_SELECT, 0,
                    makeLParam(static_cast<std::uint16_t>(event), static_cast<std::uint16_t>(error)));
    };
    const bool wantWrite = (events & (FD_WRITE | FD_CONNECT)) != 0;
    bool connectReported = false, writable = false, urgent = false, closed = false, accepting = false;
    int lastWaiting = 0;
    while (!m_Notify->stopWatch.load()) {
        const SocketPtr s = useConnection();
        const SocketPtr l = (events & FD_ACCEPT) ? useListener() : nullptr;
        if ((!s || closed) && !l)
            return;
        // Conditions already reported are not polled for again (that would spin); they are
        // looked at afresh after each round of at most 100 ms.
        pollfd p[2] = {};
        int n = 0;
        if (s && !closed) {
            short want = POLLPRI;
            if (lastWaiting == 0)
                want |= POLLIN;
            if (wantWrite && !writable)
                want |= POLLOUT;
            p[n++] = pollfd{s->fd, want, 0};
        }
        if (l)
            p[n++] = pollfd{l->fd, static_cast<short>(accepting ? 0 : POLLIN), 0};
        if (::poll(p, static_cast<nfds_t>(n), 100) < 0 && errno != EINTR)
            return;
        if (s && !closed) {
            const short r = p[0].revents;
            int waiting = 0;
            ::ioctl(s->fd, FIONREAD, &waiting);
            if (waiting > 0 && waiting != lastWaiting && (events & FD_READ))
                post(FD_READ, 0);
            if (waiting == 0 && (r & (POLLIN | POLLHUP | POLLERR))) {
                int soError = 0;
                socklen_t len = sizeof soError;
                ::getsockopt(s->fd, SOL_SOCKET, SO_ERROR, &soError, &len);
                if (events & FD_CLOSE)
                    post(FD_CLOSE, soError);
                closed = true;
            }
            lastWaiting = waiting;
            if (wantWrite) {
                short w = 0;
                const bool now = socketwait::pollOne(s->fd, POLLOUT, 0, &w) == 1 && (w & POLLOUT);
                if (now && !connectReported) {
                    connectReported = true;
                    if (events & FD_CONNECT)
                        post(FD_CONNECT, 0);
                }
                if (now && !writable && (events & FD_WRITE))
                    post(FD_WRITE, 0);
                writable = now;
            }
            const bool urgentNow = (r & POLLPRI) != 0;
            if (urgentNow && !urgent && (events & FD_OOB))
                post(FD_OOB, 0);
            urgent = urgentNow;
        }
        if (l) {
            short a = 0;
            const bool pending = socketwait::pollOne(l->fd, POLLIN, 0, &a) == 1 && (a & POLLIN);
            if (pending && !accepting)
                post(FD_ACCEPT, 0);
            accepting = pending;
        }
    }
}

void CWSClient::OnAsyncSelect(int /*event*/, int /*error*/) {}

void CWSClient::OnAsyncHostByAddr(int /*error*/) {}

void CWSClient::OnAsyncHostByName(int /*error*/) {}

} // namespace tessivor
