#include "platform/registration.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include <sys/wait.h>
#include <unistd.h>

using namespace tessivor;

namespace {

class RegistrationFile : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_file =
            std::filesystem::path(::testing::TempDir()) / ("registry-" + std::to_string(::getpid()) + ".ini");
        std::filesystem::remove(m_file);
        ::setenv("TESSIVOR_REGISTRY", m_file.c_str(), 1);
    }
    void TearDown() override
    {
        ::unsetenv("TESSIVOR_REGISTRY");
        std::filesystem::remove(m_file);
    }
    std::filesystem::path m_file;
};

ClassRegistration sample()
{
    ClassRegistration r;
    r.clsid = "{11111111-2222-3333-4444-555555555555}";
    r.userTypeName = "Sample Class";
    r.progId = "Sample.Thing.2";
    r.versionIndependentProgId = "Sample.Thing";
    r.modulePath = "/nonexistent/libsample.so";
    r.threadingModel = "Apartment";
    return r;
}

TEST_F(RegistrationFile, VersionIndependentNameFollowsCurVer)
{
    ASSERT_EQ(registerClass(sample()), S_OK);
    EXPECT_EQ(registrationFile(), m_file);
    std::string clsid, error;
    ASSERT_EQ(clsidFromProgId("Sample.Thing", &clsid, &error), S_OK) << error;
    EXPECT_EQ(clsid, sample().clsid);
    ASSERT_EQ(clsidFromProgId("Sample.Thing.2", &clsid, &error), S_OK);
    auto all = registeredClasses();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].modulePath, "/nonexistent/libsample.so");
}

TEST_F(RegistrationFile, UnknownNamesAndMissingModulesGiveClearErrors)
{
    std::string clsid, error;
    EXPECT_EQ(clsidFromProgId("No.Such.Class", &clsid, &error), CO_E_CLASSSTRING);
    EXPECT_NE(error.find("No.Such.Class"), std::string::npos);

    ASSERT_EQ(registerClass(sample()), S_OK);
    std::shared_ptr<IAutomationObject> obj;
    error.clear();
    EXPECT_EQ(createByProgId("Sample.Thing", &obj, &error), CO_E_DLLNOTFOUND);
    EXPECT_FALSE(obj);
    EXPECT_NE(error.find("libsample.so"), std::string::npos);
}

TEST_F(RegistrationFile, UnregisterRemovesTheClassAndItsNames)
{
    ASSERT_EQ(registerClass(sample()), S_OK);
    ASSERT_EQ(unregisterClass(sample().clsid), S_OK);
    std::string clsid;
    EXPECT_EQ(clsidFromProgId("Sample.Thing", &clsid, nullptr), CO_E_CLASSSTRING);
    EXPECT_TRUE(registeredClasses().empty());
    EXPECT_EQ(unregisterClass(sample().clsid), S_OK); // nothing to remove is fine
}

// A registration file that exists but cannot be read is left as it is: registering or
// unregistering fails instead of writing a file that holds only the new class. Run in a child
// that is not root (root reads any file), in a folder it may write to.
TEST_F(RegistrationFile, AnUnreadableFileIsNeverRewritten)
{
    const auto folder = m_file.parent_path() / ("unreadable-" + std::to_string(::getpid()));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    std::filesystem::permissions(folder, std::filesystem::perms::all);
    const auto file = folder / "registry.ini";
    const std::string kept = "[CLSID {other}]\nInprocServer32=/other.so\n";
    std::ofstream(file) << kept;
    std::filesystem::permissions(file, std::filesystem::perms::none);

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 &&
            (::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0))
            ::_exit(2);
        ::setenv("TESSIVOR_REGISTRY", file.c_str(), 1);
        const bool refused = registerClass(sample()) == E_FAIL && unregisterClass("{other}") == E_FAIL;
        ::_exit(refused ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_NE(WEXITSTATUS(status), 2) << "could not leave root";
    EXPECT_EQ(WEXITSTATUS(status), 0);

    std::filesystem::permissions(file,
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    std::ifstream in(file);
    const std::string now((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(now, kept);
    EXPECT_EQ(
        std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 1)
        << "a temporary file was left behind";
    std::filesystem::remove_all(folder);
}

} // namespace
