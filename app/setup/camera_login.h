// What the setup dialogs put into their control before a login, and the login cookie of the
// Kestra family (Protocol 3).
//
// A Kestra camera is not logged in with the typed password: the control sends the viewer's
// login name for the typed credentials, percent-encoded, as its user name, and a fresh cookie as
// its password; the cookie then names the camera's session (the dialog hands it back with the
// camera, the engine takes it over as the slot's cookie and logs the session out with it). Cookies are four
// fractions drawn from the system's secure random source, each multiplied by 10000 and rounded to the nearest
// whole number (halves to even), written in decimal, joined in the order drawn and cut to 16 characters.
#pragma once

#include "app/core/login_cookie.h"

#include <array>
#include <memory>
#include <string>

namespace pellucor {

class CameraViewer;
class KestraViewer;
class SetupControl;

// Puts the credentials of a login into `control`: for `protocol` 3 the viewer's login name and a
// new cookie, which is returned; for the others the typed values as they are and an empty serial
// number (an empty text is returned).
std::string putLoginCredentials(SetupControl& control, CameraViewer& viewer, int protocol,
                                const std::string& user, const std::string& password);

// The logins of one setup dialog's control: the credentials put in and the login started on the
// control's worker (its end arrives as EndLoginCamera), with the viewer that a Kestra login
// needs and the cookie of the last login kept until it has ended.
class CameraLogin
{
public:
    CameraLogin();
    ~CameraLogin();
    CameraLogin(const CameraLogin&) = delete;
    CameraLogin& operator=(const CameraLogin&) = delete;

    void start(SetupControl& control, int protocol, const std::string& user, const std::string& password);
    // After a login that ended as accepted: a Kestra camera's session cookie, which the dialog
    // hands back with the camera; empty for the other protocols. Cookies of logins that failed
    // are never handed on.
    std::string acceptedCookie(int protocol) const;

private:
    std::unique_ptr<KestraViewer> m_viewer;
    std::string m_cookie;
};

} // namespace pellucor
