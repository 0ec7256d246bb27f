#include "app/setup/camera_login.h"

#include "app/core/app_state.h"
#include "app/core/text_codec.h"
#include "app/core/viewer_port.h"
#include "app/setup/setup_control.h"
#include "app/viewer/kestra_viewer.h"

#include "platform/clock.h"

#include <sys/random.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <random>

namespace pellucor {

namespace {

// Fills `out` from getrandom(2); std::random_device (the same kernel source through another
// door) only when the call is not there at all.
void secureBytes(void* out, std::size_t size)
{
    auto* p = static_cast<unsigned char*>(out);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::getrandom(p + done, size - done, 0);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EINTR) {
            std::random_device device;
            for (; done < size; ++done)
                p[done] = static_cast<unsigned char>(device());
        }
    }
}

} // namespace

std::string loginCookieFrom(const std::array<double, 4>& fractions)
{
    std::string cookie;
    for (double r : fractions)
        cookie += std::to_string(static_cast<long>(std::nearbyint(r * 10000.0)));
    return cookie.substr(0, 16);
}

std::string newLoginCookie()
{
    std::array<std::uint64_t, 4> bits{};
    secureBytes(bits.data(), sizeof bits);
    std::array<double, 4> fractions{};
    // The top 53 bits make a double in [0, 1) with every value equally likely.
    for (std::size_t i = 0; i < bits.size(); ++i)
        fractions[i] = static_cast<double>(bits[i] >> 11) * 0x1p-53;
    return loginCookieFrom(fractions);
}

std::string putLoginCredentials(SetupControl& control, CameraViewer& viewer, int protocol,
                                const std::string& user, const std::string& password)
{
    if (protocol == 3) {
        viewer.setUserName(user);
        viewer.setPassword(password);
        const std::string cookie = newLoginCookie();
        control.setUserName(URLEncode(viewer.loginName()));
        control.setPassword(cookie);
        return cookie;
    }
    control.setDeviceSerialNo({});
    control.setUserName(user);
    control.setPassword(password);
    return {};
}

CameraLogin::CameraLogin() : m_viewer(std::make_unique<KestraViewer>(0, nullptr, tessivor::activeClock())) {}

CameraLogin::~CameraLogin() = default;

void CameraLogin::start(SetupControl& control, int protocol, const std::string& user,
                        const std::string& password)
{
    m_cookie = putLoginCredentials(control, *m_viewer, protocol, user, password);
    control.loginCamera(true);
}

void CameraLogin::accepted(AppState& state, int protocol) const
{
    if (protocol == 3)
        state.PendingCookie = m_cookie;
}

} // namespace pellucor
