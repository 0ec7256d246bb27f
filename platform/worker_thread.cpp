#include "platform/worker_thread.h"

#include "platform/trace.h"

#include <pthread.h>

#include <exception>
#include <system_error>

namespace tessivor {

namespace {
std::atomic<int> g_failStarts{0};
}

void failThreadStartsForTesting(int count)
{
    g_failStarts.store(count);
}

bool WorkerThread::start(std::string name, std::function<void()> work)
{
    if (m_running.load(std::memory_order_acquire))
        return false;
    if (m_thread.joinable())
        m_thread.join(); // the previous run has ended
    for (int n = g_failStarts.load(); n > 0;) {
        if (g_failStarts.compare_exchange_weak(n, n - 1))
            return false;
    }
    m_running.store(true, std::memory_order_release);
    try {
        m_thread = std::thread([this, name = std::move(name), work = std::move(work)] {
            ::pthread_setname_np(::pthread_self(), name.substr(0, 15).c_str());
            try {
                work();
            } catch (const std::exception& e) {
                trace("thread %s: %s\n", name.c_str(), e.what());
            } catch (...) {
                trace("thread %s: unknown exception\n", name.c_str());
            }
            m_running.store(false, std::memory_order_release);
        });
    } catch (const std::system_error& e) {
        m_running.store(false, std::memory_order_release);
        trace("cannot start thread: %s\n", e.what());
        return false;
    }
    return true;
}

void WorkerThread::join()
{
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id())
        m_thread.join();
}

} // namespace tessivor
