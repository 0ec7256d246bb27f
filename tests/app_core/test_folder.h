// A fresh, empty folder for one test, removed when the test ends; and whole-file helpers.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include <sys/wait.h>
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

// Writes `text` as the whole file, making its folders first.
inline void writeText(const std::filesystem::path& p, std::string_view text)
{
    std::filesystem::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << text;
}

// The whole file, or an empty text when it cannot be read.
inline std::string fileText(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// A file of the inputs that attacked the program from outside (tests/fixtures/hostile).
inline std::filesystem::path hostileFixture(const std::string& name)
{
    return std::filesystem::path(TESSIVOR_SOURCE_DIR) / "tests" / "fixtures" / "hostile" / name;
}

// Runs `body` in a child process and returns its exit status (or 128 + signal).
template <typename F> inline int inChild(F body)
{
    pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(body());
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
