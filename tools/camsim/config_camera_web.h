// The configuration pages of the multipart family's web server: the login page, six settings
// pages (system, video, image, trigger, network, upload) as "[Section]" and "name=value" lines,
// the whole configuration on "/cgi-bin/config.cgi", the user form, reboot and factory settings.
//
//   GET  /goform/login            "[Login]", "User=0|1", "Administrator=0|1" for the request's
//                                 Basic credentials (always 200; wrong credentials give 0 and 0)
//   GET  /cgi-bin/NAME_cfg.cgi    the page's section and entries
//   POST /cgi-bin/NAME_cfg.cgi    takes the entries of the page's own section; others are ignored
//   GET  /cgi-bin/config.cgi      every page, in the order above
//   POST /goform/users_cfg        "[Access]" name=access word, "[Password]" name=password: adds
//                                 or changes users (access 1 is an administrator)
//   GET  /cgi-bin/reboot.cgi      counted as a reboot
//   GET  /cgi-bin/default.cgi     counted as a factory reset; pages and users go back to new
//
// Every page but the login page needs the camera's credentials (or the serial-number token),
// or those of an added user.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace camsim {

class CameraState;

class WebConfigStore
{
public:
    struct User
    {
        std::string name;
        std::string password;
        int access = 0;
    };

    WebConfigStore();

    // Stored values by section and name (the entries whose values live elsewhere in the camera,
    // the clock, the image settings and the outputs, are not kept here).
    std::optional<std::string> value(const std::string& section, const std::string& name) const;
    bool setValue(const std::string& section, const std::string& name, const std::string& value);
    std::vector<std::pair<std::string, std::string>> entries(const std::string& section) const;

    // Users added through the user form.
    void putUser(const std::string& name, std::optional<std::string> password, std::optional<int> access);
    std::optional<User> user(const std::string& name) const;
    std::vector<User> users() const;

    void countPost(const std::string& page);
    std::map<std::string, int> posts() const;

    // Back to the values of a new camera.
    void reset();

private:
    mutable std::mutex m_mutex;
    std::map<std::string, std::vector<std::pair<std::string, std::string>>> m_values;
    std::vector<User> m_users;
    std::map<std::string, int> m_posts;
};

// The whole HTTP answer to a configuration page of the multipart family; nullopt for other
// pages or families. `loginOk` tells whether the request's credentials are the camera's own.
std::optional<std::string> webConfigAnswer(CameraState& state, std::string_view method,
                                           std::string_view target, std::string_view authorization,
                                           std::string_view body, bool loginOk);

// Control-channel commands: "web-value SECTION NAME", "web-users", "web-posts". nullopt for
// other verbs.
std::optional<std::string> webConfigCommand(CameraState& state, const std::vector<std::string_view>& words);

} // namespace camsim
