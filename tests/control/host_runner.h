// Runs the command-line automation host (tools/tessivor-host) as a separate program and collects
// what it printed. Safe to call from several threads at once.
#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace tessivor::testing {

struct HostOutcome
{
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline std::string shellQuote(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

inline HostOutcome runHost(const std::string& exe, const std::vector<std::string>& args)
{
    static std::atomic<int> counter{0};
    const auto errFile =
        std::filesystem::path(::testing::TempDir()) /
        ("host-stderr-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".txt");
    std::string cmd = shellQuote(exe);
    for (const auto& a : args)
        cmd += " " + shellQuote(a);
    cmd += " 2>" + shellQuote(errFile.string());
    HostOutcome o;
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p)
        return o;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        o.out.append(buf, n);
    const int status = ::pclose(p);
    o.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream e(errFile);
    std::stringstream ss;
    ss << e.rdbuf();
    o.err = ss.str();
    std::filesystem::remove(errFile);
    return o;
}

} // namespace tessivor::testing
