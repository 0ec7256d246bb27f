// The command-line host against the built control module, through registration and the
// late-bound path only.
#include "../io/scratch_dir.h"
#include "host_runner.h"
#include "refused_port.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Outcome = tessivor::testing::HostOutcome;

// Several build trees may run the suite at once: files go to a folder of this process.
const ScratchDir& scratch()
{
    static const ScratchDir dir;
    return dir;
}

Outcome host(const std::vector<std::string>& args)
{
    return tessivor::testing::runHost(TESSIVOR_HOST_EXE, args);
}

class Host : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        Outcome r = host({"--module", TESSIVOR_MODULE_FILE, "--register"});
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }
};

TEST_F(Host, PrintsVersionAndTheWholeMemberList)
{
    Outcome r = host({"--get", "VERSION", "--member-count"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "VERSION=1.00.05\nmembers: 255\n");

    Outcome list = host({"--list-members"});
    ASSERT_EQ(list.exitCode, 0) << list.err;
    std::ifstream in(std::string(TESSIVOR_SOURCE_DIR) + "/tests/fixtures/iimage_members.tsv");
    std::stringstream expected;
    expected << in.rdbuf();
    EXPECT_EQ(list.out, expected.str());
}

TEST_F(Host, PutsReportAnythingButSuccess)
{
    Outcome r = host({"--set", "RemoteHost=10.0.0.300", "--get", "RemoteHost", "--set", "RemotePort=9000",
                      "--get", "RemotePort"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "RemoteHost: S_FALSE\nRemoteHost=10.0.0.300\nRemotePort=9000\n");
}

TEST_F(Host, BothProgIdsCreateTheControl)
{
    for (const char* id : {"Tessivor.Image", "Tessivor.Image.1"}) {
        Outcome r = host({"--progid", id, "--get", "VERSION"});
        EXPECT_EQ(r.exitCode, 0) << id << r.err;
        EXPECT_EQ(r.out, "VERSION=1.00.05\n") << id;
    }
}

TEST_F(Host, MistakesEndWithOneErrorLine)
{
    struct Case
    {
        std::vector<std::string> args;
        const char* errorPart;
    };
    const Case cases[] = {
        {{"--progid", "Tessivor.Nothing", "--get", "VERSION"}, "Tessivor.Nothing"},
        {{"--get", "NoSuchMember"}, "unknown member NoSuchMember"},
        {{"--set", "VERSION=2"}, "no put form"},
        {{"--set", "RemotePort=abc"}, "DISP_E_TYPEMISMATCH"},
        {{"--call", "SetMotionBlock(1,2)"}, "takes 5 argument(s)"},
        {{"--wait-event", "99:0.2"}, "time-out waiting for event 99"},
        {{"--wait-status", "2:0.2"}, "time-out waiting for Status 2"},
        {{"--frobnicate"}, "unknown option --frobnicate"},
    };
    for (const Case& c : cases) {
        Outcome r = host(c.args);
        EXPECT_EQ(r.exitCode, 1) << c.args[0];
        EXPECT_EQ(r.err.rfind("error: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(c.errorPart), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
}

TEST_F(Host, RunsStopsAndPrintsEventsAsTheyFire)
{
    const tessivor::testing::RefusedPort camera; // the loop connects here, never to the default camera
    Outcome r = host({"--set", std::string("RemoteHost=") + camera.kAddress, "--set",
                      "RemotePort=" + std::to_string(camera.port()), "--call", "Run()", "--wait-status", "2",
                      "--call", "Run()", "--call", "Stop()", "--wait-event", "0", "--wait-status", "0",
                      "--call", "_OnGetImageEvents(41)"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::istringstream lines(r.out);
    std::vector<std::string> got;
    for (std::string l; std::getline(lines, l);)
        got.push_back(l);
    ASSERT_EQ(got.size(), 8u) << r.out;
    EXPECT_EQ(got[0], "event GetImageEvent 1");
    EXPECT_EQ(got[1].rfind("Run -> RunThreadHandle=", 0), 0u);
    EXPECT_EQ(got[2], "event GetImageEvent 5");
    EXPECT_EQ(got[3], got[1]); // the second Run hands back the first token
    EXPECT_EQ(got[4], "Stop ->");
    EXPECT_EQ(got[5], "event GetImageEvent 0");
    EXPECT_EQ(got[6], "event GetImageEvent 41");
    EXPECT_EQ(got[7], "_OnGetImageEvents ->");
}

TEST_F(Host, TargetsAreHandedToTheControlAndDumped)
{
    const auto file = scratch() / "target.ppm";
    std::filesystem::remove(file);
    Outcome r = host({"--target", "64x48", "--get", "OtherDC", "--dump-target", file.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "OtherDC=-1\n");
    EXPECT_EQ(std::filesystem::file_size(file), std::string("P6\n64 48\n255\n").size() + 64 * 48 * 3);
}

TEST_F(Host, UnregisteredModuleCannotBeCreated)
{
    // Runs last in this suite's order of declaration; registers again afterwards.
    Outcome u = host({"--module", TESSIVOR_MODULE_FILE, "--unregister", "--get", "VERSION"});
    EXPECT_EQ(u.exitCode, 1);
    EXPECT_NE(u.err.find("not registered"), std::string::npos) << u.err;
    Outcome r = host({"--module", TESSIVOR_MODULE_FILE, "--register"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
}

} // namespace
