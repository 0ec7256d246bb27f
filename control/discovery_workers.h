// The control's discovery operations that more than one of its files run: the two searches, the
// listing of a found record, and the extended-information query.
#pragma once

#include "camproto/device_record.h"

namespace tessivor {

class CImage;

// The broadcast search by m_szSearchTarget: -1 found (all devices: completed), 0 not.
int searchDeviceBroadcast(CImage& c);
// The multicast search from every local address; always 0.
int searchDeviceMulticast(CImage& c);
// Lists a found record unless its MAC is listed; posts EVT_DEVICE_FOUND unless the search is quiet.
void discoveryListRecord(CImage& c, const camproto::DeviceRecord& record);
// The extended-information query for m_TargetMac / m_TargetIp (DevExtInfBroadcast): -1 or 0.
int queryExtendedInfo(CImage& c);

} // namespace tessivor
