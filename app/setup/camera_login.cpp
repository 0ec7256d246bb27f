#include "app/setup/camera_login.h"

#include "app/core/camera_kinds.h"
#include "app/core/text_codec.h"
#include "app/core/viewer_port.h"
#include "app/setup/setup_control.h"
#include "app/viewer/kestra_viewer.h"

#include "platform/clock.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <random>

namespace pellucor {

std::string putLoginCredentials(SetupControl& control, CameraViewer& viewer, int protocol,
                                const std::string& user, const std::string& password)
{
    if (protocol == kProtocolKestra) {
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

std::string CameraLogin::acceptedCookie(int protocol) const
{
    return protocol == kProtocolKestra ? m_cookie : std::string();
}

} // namespace pellucor
