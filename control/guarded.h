// A settings group and the lock that guards it.
//
// The host's thread writes a group through the control's put members; a worker copies the whole
// group at the start of its round and works from that copy, so that every value it uses belongs
// to one consistent state and a put never tears a text it is reading. The lock is held only for
// the copy or the write, never around a wait or a call out of the control.
#pragma once

#include <mutex>

namespace tessivor {

template <class T> class Guarded
{
public:
    // A copy of the whole group (any thread).
    T read() const
    {
        std::lock_guard lock(m_lock);
        return m_value;
    }
    // Calls `f` with the group under the lock; `f` must not block.
    template <class F> decltype(auto) with(F&& f) const
    {
        std::lock_guard lock(m_lock);
        return f(m_value);
    }
    template <class F> decltype(auto) update(F&& f)
    {
        std::lock_guard lock(m_lock);
        return f(m_value);
    }

private:
    mutable std::mutex m_lock;
    T m_value{};
};

} // namespace tessivor
