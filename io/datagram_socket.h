// DatagramSocket: one IPv4 UDP socket for the discovery protocols, with what they need beyond the
// socket client: broadcast, multicast membership and sending interface, oversized datagrams seen
// as such (MSG_TRUNC), and a wait that another thread can end at once through a WakeSignal.
//
// Threads. A socket is used by one thread. A WakeSignal may be raised from any thread; every wait
// that names it then ends at once (and every later wait, until the signal is reset).
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>

namespace tessivor {

class WakeSignal
{
public:
    WakeSignal();
    ~WakeSignal();
    WakeSignal(const WakeSignal&) = delete;
    WakeSignal& operator=(const WakeSignal&) = delete;

    // Raises the signal: running and later waits that watch it end (any thread).
    void raise();
    // Lowers it again, for the next run of the work it stops.
    void reset();
    bool raised() const { return m_raised.load(std::memory_order_acquire); }
    // A descriptor that polls readable while the signal is raised (-1 when none could be made;
    // waits then look at the flag between short polls).
    int fd() const { return m_fd; }

private:
    std::atomic<bool> m_raised{false};
    int m_fd = -1;
};

// An IPv4 socket address from four address bytes in text order and a port.
sockaddr_in ipv4Address(const std::uint8_t* address, std::uint16_t port);
// From a dotted text; false when it is not one.
bool ipv4Address(const std::string& dotted, std::uint16_t port, sockaddr_in* out);

class DatagramSocket
{
public:
    enum class Wait
    {
        Received,  // a datagram is in the buffer
        Oversized, // a datagram larger than the buffer came and was dropped
        TimedOut,
        Woken, // a watched WakeSignal was raised
        Failed,
    };

    DatagramSocket() = default;
    ~DatagramSocket() { close(); }
    DatagramSocket(const DatagramSocket&) = delete;
    DatagramSocket& operator=(const DatagramSocket&) = delete;

    // Each returns false when the system call failed.
    bool open();
    void close();
    bool isOpen() const { return m_fd >= 0; }
    bool setBroadcast(bool on);
    bool setReuseAddress(bool on);
    bool bind(const sockaddr_in& local);
    // Joins `group` on the interface that holds `interfaceAddress` (INADDR_ANY: the system's choice).
    bool joinGroup(const in_addr& group, const in_addr& interfaceAddress);
    bool setMulticastInterface(const in_addr& interfaceAddress);
    bool setMulticastLoop(bool on);

    // Sends the whole datagram; false when it did not go out whole.
    bool sendTo(std::span<const std::uint8_t> data, const sockaddr_in& to);

    // Waits up to timeoutMs (on the active clock, platform/clock.h) for one datagram and stores it
    // at the start of `buffer`; *received is its length (never more than the buffer). An oversized
    // datagram is consumed, not stored.
    Wait receive(std::span<std::uint8_t> buffer, std::size_t* received, int timeoutMs,
                 std::initializer_list<const WakeSignal*> wakes = {}, sockaddr_in* from = nullptr);

private:
    int m_fd = -1;
};

} // namespace tessivor
