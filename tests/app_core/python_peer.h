// Runs a Python script of the test folder with Debian's /usr/bin/python3 and returns its output.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

inline const char* kPython = "/usr/bin/python3";

inline bool pythonAvailable()
{
    return std::filesystem::exists(kPython);
}

// Runs `command` through popen (the arguments are our own fixed texts and paths of the test's
// own folder) and returns stdout, or nothing when it fails.
inline std::optional<std::string> runCapture(const std::string& command)
{
    FILE* f = ::popen(command.c_str(), "r");
    if (!f)
        return std::nullopt;
    std::string out;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, n);
    if (::pclose(f) != 0)
        return std::nullopt;
    return out;
}

inline std::string testSourceFile(const char* name)
{
    return std::string(TESSIVOR_SOURCE_DIR) + "/tests/app_core/" + name;
}

inline std::string fromHex(const std::string& hex)
{
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

inline std::string toHex(const std::string& s)
{
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : s) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}
