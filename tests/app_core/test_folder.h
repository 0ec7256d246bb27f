// A fresh, empty folder for one test, removed when the test ends.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <unistd.h>

class TestFolder
{
public:
    explicit TestFolder(const std::string& tag)
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = tag + "-" +
                           (info ? std::string(info->test_suite_name()) + "." + info->name() : "x") + "-" +
                           std::to_string(::getpid());
        m_path = std::filesystem::path(::testing::TempDir()) / name;
        std::filesystem::remove_all(m_path);
        std::filesystem::create_directories(m_path);
    }
    ~TestFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};
