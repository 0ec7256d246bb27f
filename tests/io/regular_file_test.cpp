// readRegularFile against what a file setting may really name: a FIFO without a writer, a device
// that never ends, a folder, a sparse file far beyond the limit, and a caller that stops.
#include "io/regular_file.h"
#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>

using namespace tessivor;

namespace {

constexpr std::size_t kLimit = 4096;

TEST(RegularFile, OnlyWholeRegularFilesWithinTheLimitAreRead)
{
    ScratchDir dir;
    ASSERT_FALSE(dir.path().empty());
    auto make = [&](const std::string& name, std::size_t size) {
        std::ofstream(dir / name, std::ios::binary) << std::string(size, 'j');
        return (dir / name).string();
    };
    const std::string fifo = (dir / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string sparse = (dir / "sparse").string();
    std::ofstream(sparse).close();
    std::filesystem::resize_file(sparse, 200u * 1024 * 1024); // holes: no disk used

    struct Case
    {
        const char* name;
        std::string path;
        FileReadResult result;
        std::size_t bytes;
    };
    const Case cases[] = {
        {"small file", make("small", 10), FileReadResult::Read, 10},
        {"empty file", make("empty", 0), FileReadResult::Read, 0},
        {"exactly the limit", make("limit", kLimit), FileReadResult::Read, kLimit},
        {"one byte beyond", make("beyond", kLimit + 1), FileReadResult::TooLarge, 0},
        {"200 MB sparse file", sparse, FileReadResult::TooLarge, 0},
        {"FIFO without a writer", fifo, FileReadResult::NotRegular, 0},
        {"endless device", "/dev/zero", FileReadResult::NotRegular, 0},
        {"folder", dir.path().string(), FileReadResult::NotRegular, 0},
        {"missing", (dir / "missing").string(), FileReadResult::CannotOpen, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> out(3, 0x55); // replaced, never appended to
        EXPECT_EQ(readRegularFile(c.path, kLimit, {}, &out), c.result);
        EXPECT_EQ(out.size(), c.bytes);
    }
}

TEST(RegularFile, TheCallersStopEndsTheRead)
{
    ScratchDir dir;
    const auto path = dir / "picture";
    std::ofstream(path, std::ios::binary) << std::string(300000, 'p');
    int asked = 0;
    std::vector<std::uint8_t> out;
    // Answers "stop" at the second block: the read ends there and hands out nothing.
    EXPECT_EQ(readRegularFile(
                  path.string(), 1000000, [&] { return ++asked == 2; }, &out),
              FileReadResult::Aborted);
    EXPECT_EQ(asked, 2);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(readRegularFile(
                  path.string(), 1000000, [] { return false; }, &out),
              FileReadResult::Read);
    EXPECT_EQ(out.size(), 300000u);
}

} // namespace
