// Files of the tests that work on disk: a folder of each test's own under the test program's
// home folder, and whole files read and written as byte strings.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace testfiles {

// A new folder named `prefix` and six random characters under TESSIVOR_TEST_HOME (else the
// system's temporary folder), removed with all it holds when the object goes.
class HomeDir
{
public:
    explicit HomeDir(const std::string& prefix)
    {
        const char* home = std::getenv("TESSIVOR_TEST_HOME");
        std::filesystem::path base =
            home ? std::filesystem::path(home) : std::filesystem::temp_directory_path();
        std::filesystem::create_directories(base);
        std::string pattern = (base / (prefix + "XXXXXX")).string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp");
        m_path = pattern;
    }
    ~HomeDir() { std::filesystem::remove_all(m_path); }
    HomeDir(const HomeDir&) = delete;
    HomeDir& operator=(const HomeDir&) = delete;
    std::string file(const std::string& name) const { return (m_path / name).string(); }
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

inline std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void writeFile(const std::string& path, const std::string& data)
{
    std::ofstream(path, std::ios::binary) << data;
}

} // namespace testfiles
