// What the control keeps of discovery and probing: the found-device list, the record of the
// camera aimed at, the extended-information reply, the wireless link and access points, the
// local identity and adapter tables, and the workers of the asynchronous search and probe.
//
// Threads. The search workers append to `found` while the host's thread reads it: every access to
// `found` and `current` is made under `lock`. The multicast search worker fills the local-identity
// slots and their number while the host may read or set them: those go through `idLock` (the
// accessors below). The probe worker writes `current`, `authBlock` and the protocol members; the
// host reads them after EndProbeDevice. The other fields are used on the host's thread only (the
// members that touch them run there).
#pragma once

#include "camproto/device_record.h"
#include "camproto/discovery_extinfo.h"
#include "camproto/discovery_local.h"
#include "camproto/discovery_multicast_packets.h"
#include "camproto/kestra_packet.h"
#include "camproto/probe_udp.h"
#include "io/datagram_socket.h"
#include "platform/worker_thread.h"

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

namespace tessivor {

// One access point of a camera's site survey (the Kestra survey command fills the list).
using SiteSurveyEntry = camproto::SiteSurveyEntry;

struct DiscoveryState
{
    // Ask every running exchange to end and join the workers (destructor of the control).
    ~DiscoveryState();

    // ---- found devices (under `lock`) ----
    mutable std::mutex lock;
    std::vector<camproto::DeviceRecord> found;
    camproto::DeviceRecord current;
    // The selected record (FoundIndex): -2 none, -1 `current`, else an entry of `found`.
    std::optional<camproto::DeviceRecord> selected(int index) const;
    // Lists the record unless its MAC is listed; the new count, or 0 when it was listed already.
    std::size_t addIfNew(const camproto::DeviceRecord& record);
    bool known(const camproto::Mac& mac) const;
    std::size_t count() const;
    void clear();

    // ---- the end of an asynchronous search ----
    std::mutex endLock; // the test of the other worker's flag and the setting of one's own

    // ---- extended information and wireless ----
    camproto::ExtendedInfoReply extInfoReply{};
    std::vector<SiteSurveyEntry> apList;
    int apCount = 0;
    int selectedAp = -1;
    camproto::WirelessLink wirelessLink;

    // ---- local identities (under `idLock`) and adapter tables ----
    camproto::LocalId localId(std::size_t slot) const;
    void setLocalId(std::size_t slot, const camproto::LocalId& id);
    std::int32_t localIdNumber() const;
    void setLocalIdNumber(std::int32_t number);
    camproto::LocalTables localTables;

    // ---- probe ----
    camproto::Challenge authBlock{};

    // ---- workers ----
    mutable std::mutex idLock;
    std::array<camproto::LocalId, camproto::kLocalSlots> localIds{};
    std::int32_t localIdNum = 0;

    WakeSignal searchStop; // StopSearch: ends the broadcast search's wait
    WakeSignal shutdown;   // the control ends: every exchange stops
    WorkerThread broadcastThread;
    WorkerThread multicastThread;
    WorkerThread probeThread;
};

} // namespace tessivor
