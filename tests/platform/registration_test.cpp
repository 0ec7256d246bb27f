#include "platform/registration.h"

#include <gtest/gtest.h>

#include <cstdlib>

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

} // namespace
