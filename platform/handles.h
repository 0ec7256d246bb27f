// Numbered handles. Window handles, frame targets and other objects that cross the automation
// interface as 32-bit integers are named by numbers from one process-wide counter, never by
// their addresses. A number is never 0 or negative and is not reused while the process lives.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

namespace tessivor {

using Handle = std::int32_t;

Handle newHandle();

// A table of objects by handle; a handle whose object was removed finds nothing.
template <class T> class HandleTable
{
public:
    Handle add(std::shared_ptr<T> obj)
    {
        Handle h = newHandle();
        std::lock_guard lock(m_mutex);
        m_items.emplace(h, std::move(obj));
        return h;
    }
    void addAs(Handle h, std::shared_ptr<T> obj)
    {
        std::lock_guard lock(m_mutex);
        m_items[h] = std::move(obj);
    }
    std::shared_ptr<T> find(Handle h) const
    {
        std::lock_guard lock(m_mutex);
        auto it = m_items.find(h);
        return it == m_items.end() ? nullptr : it->second;
    }
    void remove(Handle h)
    {
        std::shared_ptr<T> doomed; // destroyed outside the lock
        std::lock_guard lock(m_mutex);
        auto it = m_items.find(h);
        if (it != m_items.end()) {
            doomed = std::move(it->second);
            m_items.erase(it);
        }
    }

private:
    mutable std::mutex m_mutex;
    std::map<Handle, std::shared_ptr<T>> m_items;
};

} // namespace tessivor
