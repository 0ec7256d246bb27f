// The socket client's name look-ups: the waited look-up behind Connect (on a thread of its own,
// so that a silent name server holds nobody past the time-out or a close), the address queries
// and the look-ups answered through the notification window.
#include "io/ws_client_detail.h"

#include "platform/control_window.h"
#include "platform/trace.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstring>
#include <netdb.h>
#include <pthread.h>
#include <system_error>
#include <thread>

namespace tessivor {

using namespace wsclient;

namespace {

constexpr auto kLookupWaitSlice = std::chrono::milliseconds(100); // IsAborted is asked this often
// Look-ups that a silent name server holds pile up when every reconnect starts one; beyond this
// many still running in the process, a new one fails at once instead of adding a thread.
constexpr int kMaxLookupsRunning = 64;
std::atomic<int> g_lookupsRunning{0};

// The first IPv4 address of `host` as dotted text: 0, or WSC_HOST_NOT_FOUND.
int lookupIPv4(const std::string& host, std::array<char, INET_ADDRSTRLEN>* text)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found)
        return CWSClient::WSC_HOST_NOT_FOUND;
    const auto* in = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    const bool ok = ::inet_ntop(AF_INET, &in->sin_addr, text->data(), text->size()) != nullptr;
    ::freeaddrinfo(found);
    return ok ? CWSClient::WSC_OK : CWSClient::WSC_HOST_NOT_FOUND;
}

// The host part of a look-up name: the text after its last "@".
std::string hostPart(const char* name)
{
    const char* at = std::strrchr(name, '@');
    return at ? at + 1 : name;
}

// Copies a looked-up address into the caller's buffer: 0, or WSC_BUFFER_TOO_SMALL.
int copyAddress(const char* address, char* buffer, int size)
{
    if (size < 0 || std::strlen(address) + 1 > static_cast<std::size_t>(size))
        return CWSClient::WSC_BUFFER_TOO_SMALL;
    copyText(buffer, static_cast<std::size_t>(size), address);
    return CWSClient::WSC_OK;
}

} // namespace

int CWSClient::resolve(const char* name, char* buffer, int size, int timeoutSeconds)
{
    if (!name)
        return WSC_HOST_NOT_FOUND;
    const std::string host = hostPart(name);
    if (host.empty())
        return WSC_HOST_NOT_FOUND;

    // The thread holds the look-up, never the object, so it may outlive both the wait and the
    // object. Without a thread (too many still running, or none to be had) the look-up fails.
    auto job = std::make_shared<Lookup>();
    bool started = false;
    if (g_lookupsRunning.fetch_add(1) < kMaxLookupsRunning) {
        try {
            std::thread([job, host] {
                ::pthread_setname_np(::pthread_self(), "host-lookup");
                std::array<char, INET_ADDRSTRLEN> text{};
                const int rc = lookupIPv4(host, &text);
                {
                    std::lock_guard lock(job->lock);
                    job->result = rc;
                    job->address = text;
                    job->finished = true;
                }
                job->changed.notify_all();
                g_lookupsRunning.fetch_sub(1);
            }).detach();
            started = true;
        } catch (const std::system_error&) {
        }
    }
    if (!started) {
        g_lookupsRunning.fetch_sub(1);
        trace("no thread for the look-up of \"%s\"\r\n", host.c_str());
        return WSC_HOST_NOT_FOUND;
    }
    {
        {
            std::lock_guard lock(m_Lock);
            m_PendingLookup = job;
        }
        const bool timed = timeoutSeconds >= 0;
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::seconds(std::max(timeoutSeconds, 1));
        std::unique_lock lock(job->lock);
        while (!job->finished && !job->abandoned &&
               !(timed && std::chrono::steady_clock::now() >= deadline)) {
            job->changed.wait_for(lock, kLookupWaitSlice);
            if (job->finished)
                break;
            lock.unlock();
            const bool aborted = IsAborted() || (m_LookupAbort && m_LookupAbort());
            lock.lock();
            if (aborted)
                break;
        }
        const bool finished = job->finished;
        lock.unlock();
        {
            std::lock_guard objectLock(m_Lock);
            if (m_PendingLookup == job)
                m_PendingLookup.reset();
        }
        if (!finished) {
            trace("look-up of \"%s\" given up\r\n", host.c_str());
            return WSC_HOST_NOT_FOUND;
        }
    }
    return job->result != WSC_OK ? job->result : copyAddress(job->address.data(), buffer, size);
}

bool CWSClient::IsAddress(const char* text)
{
    return text && *text && ::inet_addr(text) != INADDR_NONE;
}

int CWSClient::GetAddressFromName(const char* name, char* buffer, int size)
{
    return OnError(resolve(name, buffer, size));
}

int CWSClient::GetNameFromAddress(const char* address, char* buffer, int size)
{
    sockaddr_in in{};
    in.sin_family = AF_INET;
    if (!address || ::inet_pton(AF_INET, address, &in.sin_addr) != 1)
        return OnError(WSC_HOST_NOT_FOUND);
    char host[NI_MAXHOST] = {};
    if (::getnameinfo(reinterpret_cast<const sockaddr*>(&in), sizeof in, host, sizeof host, nullptr, 0,
                      NI_NAMEREQD) != 0)
        return OnError(WSC_HOST_NOT_FOUND);
    if (size < 0 || std::strlen(host) + 1 > static_cast<std::size_t>(size))
        return OnError(WSC_BUFFER_TOO_SMALL);
    copyText(buffer, static_cast<std::size_t>(size), host);
    return OnError(WSC_OK);
}

int CWSClient::GetLocalAddress(char* buffer, int size, int useSocket)
{
    if (!buffer || size < 1)
        return OnError(WSC_BUFFER_TOO_SMALL);
    if (!useSocket) {
        char host[256] = {};
        char text[INET_ADDRSTRLEN] = {};
        if (::gethostname(host, sizeof host - 1) == 0 && resolve(host, text, sizeof text) == WSC_OK) {
            copyText(buffer, static_cast<std::size_t>(size), text);
            return OnError(WSC_OK);
        }
    }
    const SocketPtr s = useConnection();
    if (!s)
        return OnError(WSC_SOCKET_CALL_FAILED);
    sockaddr_in local{};
    socklen_t len = sizeof local;
    char text[INET_ADDRSTRLEN] = {};
    if (::getsockname(s->fd, reinterpret_cast<sockaddr*>(&local), &len) != 0 ||
        !::inet_ntop(AF_INET, &local.sin_addr, text, sizeof text))
        return OnError(WSC_SOCKET_CALL_FAILED);
    copyText(buffer, static_cast<std::size_t>(size), text);
    return OnError(WSC_OK);
}

int CWSClient::startLookup(std::uint32_t message, std::string query, bool byName)
{
    if (!m_Notify || m_Notify->lookupBusy.load())
        return OnError(WSC_SOCKET_CALL_FAILED);
    // A previous look-up that has answered may still be leaving its thread.
    m_Notify->lookup.join();
    m_Notify->lookupBusy.store(true);
    const WindowHandle window = m_Notify->window->handle();
    NotifySupport* notify = m_Notify.get();
    const bool started = m_Notify->lookup.start("wsc-lookup", [this, notify, window, message, query, byName] {
        char result[NI_MAXHOST] = {};
        int error = 0;
        if (byName) {
            // This thread is the look-up's own: it may wait for getaddrinfo as long as it takes.
            std::array<char, INET_ADDRSTRLEN> address{};
            const std::string host = hostPart(query.c_str());
            error = host.empty() ? WSC_HOST_NOT_FOUND : lookupIPv4(host, &address);
            if (error == WSC_OK)
                error = copyAddress(address.data(), result, sizeof result);
        } else {
            sockaddr_in in{};
            in.sin_family = AF_INET;
            if (::inet_pton(AF_INET, query.c_str(), &in.sin_addr) != 1 ||
                ::getnameinfo(reinterpret_cast<const sockaddr*>(&in), sizeof in, result, sizeof result,
                              nullptr, 0, NI_NAMEREQD) != 0)
                error = WSC_HOST_NOT_FOUND;
        }
        {
            std::lock_guard lock(m_Lock);
            m_LookupBuffer.fill(0);
            if (error == 0)
                copyText(m_LookupBuffer.data(), m_LookupBuffer.size(), result);
        }
        notify->lookupBusy.store(false);
        postMessage(window, message, 0, makeLParam(0, static_cast<std::uint16_t>(error)));
    });
    if (!started)
        m_Notify->lookupBusy.store(false);
    return OnError(started ? WSC_OK : WSC_SOCKET_CALL_FAILED);
}

int CWSClient::AsyncGetHostByAddr(const char* address)
{
    return startLookup(WM_WSC_HOSTBYADDR, address ? address : "", false);
}

int CWSClient::AsyncGetHostByName(const char* name)
{
    // The look-up takes the part after the last "@" itself.
    return startLookup(WM_WSC_HOSTBYNAME, name ? name : "", true);
}

std::string CWSClient::GetLookupResult() const
{
    std::lock_guard lock(m_Lock);
    return std::string(m_LookupBuffer.data());
}

} // namespace tessivor
