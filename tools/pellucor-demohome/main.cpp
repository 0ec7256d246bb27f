// pellucor-demohome: prepares a program home whose profile assigns and enables the given
// cameras, written by the program's own profile writer (the selector and main.ini, as the
// program saves them).
//
//   pellucor-demohome --home DIR [--data DIR] --camera SPEC [--camera SPEC ...]
//
// SPEC is PROTOCOL,ADDRESS,PORT,NAME[,motion]: the camera's protocol number (0 native, 1 video
// CGI, 2 motion-JPEG CGI, 4 repeated requests), its address and port, its name, and "motion" to
// switch its motion alarm on (the motion lamp then follows the pictures). Up to four cameras,
// slots 1 to 4 in order; user and password are camsim's ("pelko"), and so is the MAC address of a
// native camera (0.1.2.3.4.5: its image-settings datagram names it). Recordings go to DIR/recordings.
//
// Exit status 0 when the home was written, 1 when it could not be, 2 for a usage error.
#include "app/core/app_state.h"
#include "app/core/profile.h"

#include <charconv>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

using namespace pellucor;

namespace {

int usage(const std::string& why)
{
    std::cerr << "pellucor-demohome: " << why
              << "\nusage: pellucor-demohome --home DIR [--data DIR] --camera "
                 "PROTOCOL,ADDRESS,PORT,NAME[,motion] ...\n";
    return 2;
}

std::vector<std::string> split(const std::string& text)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        parts.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos)
            return parts;
        start = comma + 1;
    }
}

bool number(const std::string& text, int low, int high, int& out)
{
    auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && p == text.data() + text.size() && out >= low && out <= high;
}

} // namespace

int main(int argc, char** argv)
{
    std::filesystem::path home, data;
    std::vector<std::string> specs;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if ((a == "--home" || a == "--data" || a == "--camera") && i + 1 < argc) {
            const std::string v = argv[++i];
            if (a == "--home")
                home = v;
            else if (a == "--data")
                data = v;
            else
                specs.push_back(v);
        } else {
            return usage("unknown argument " + a);
        }
    }
    if (home.empty())
        return usage("--home is required");
    if (specs.empty() || specs.size() > kCameraCount)
        return usage("give one to four cameras");

    AppState state;
    state.paths.homeDir = home;
    state.paths.dataDir =
        data.empty() ? resolveDataDir(std::filesystem::read_symlink("/proc/self/exe")) : data;
    InitGlobals(state, std::time(nullptr));
    std::error_code ec;
    std::filesystem::create_directories(home / "recordings", ec);
    if (ec) {
        std::cerr << "pellucor-demohome: cannot make " << home.string() << ": " << ec.message() << "\n";
        return 1;
    }
    state.settings.Storage(1).Path = (home / "recordings").string();
    state.settings.Storage(1).Checked = true;

    for (std::size_t i = 0; i < specs.size(); ++i) {
        const std::vector<std::string> f = split(specs[i]);
        int protocol = 0, port = 0;
        if (f.size() < 4 || f.size() > 5 || !number(f[0], 0, 50, protocol) || !number(f[2], 1, 65535, port) ||
            f[1].empty() || (f.size() == 5 && f[4] != "motion"))
            return usage("bad camera " + specs[i]);
        CamInfo& c = state.cam(static_cast<int>(i) + 1);
        c.Assign = true;
        c.Enable = true;
        c.Protocol = protocol;
        c.IPAddress = f[1];
        c.Port = port;
        c.ServerName = f[3];
        c.ServerLocation = "Demo";
        c.UserName = "pelko";
        c.Password = "pelko";
        c.Alarm = f.size() == 5 ? 1 : 0;
        if (protocol == 0)
            c.MacAddress = "0.1.2.3.4.5"; // camsim's unless told otherwise
    }
    std::string error;
    if (!SaveSetting(state, &error)) {
        std::cerr << "pellucor-demohome: " << error << "\n";
        return 1;
    }
    std::cout << "demo home ready: " << profilePath(state).string() << "\n";
    return 0;
}
