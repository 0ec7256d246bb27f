// CheckIP: is something listening at an address and port? Used by the host before it gives a
// camera a new address, to see whether that address is taken.
#include "control/cimage.h"

#include <string>

namespace tessivor {

namespace {

constexpr int kCheckConnectTimeOutSeconds = 2;

} // namespace

HRESULT CImage::CheckIP(std::string_view sIPAddress, std::int32_t lport, std::int32_t* pVal)
{
    // A socket client of its own: the call waits inside the caller's thread and touches none of
    // the control's connections.
    CWSClient probe;
    const std::string host(sIPAddress);
    if (probe.Connect(lport, host.c_str(), kCheckConnectTimeOutSeconds, AF_INET, SOCK_STREAM) == 0) {
        probe.CloseConnection();
        *pVal = -1;
    } else {
        *pVal = 0;
    }
    return S_OK;
}

} // namespace tessivor
