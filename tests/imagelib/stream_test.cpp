// Stream layer: memory sources bounded by their length, memory outputs gathered into a block,
// slot limits, and files by narrow and wide names.
#include "imagelib/imagelib.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::filesystem::path scratch(const std::string& name)
{
    const char* home = std::getenv("TESSIVOR_TEST_HOME");
    std::filesystem::path dir = home ? home : std::filesystem::temp_directory_path();
    std::filesystem::create_directories(dir);
    return dir / name;
}

TEST(ImgMemoryRead, ReadsStopAtTheSourceLength)
{
    // The source is a window of a larger buffer: nothing beyond its 10 bytes may be read.
    std::vector<std::uint8_t> memory(64, 0xEE);
    for (int i = 0; i < 10; ++i)
        memory[i] = static_cast<std::uint8_t>(i);
    ImgStreamOps ops;
    const ImgHandle h = img_open_read(nullptr, nullptr, memory.data(), 10, &ops);
    ASSERT_GE(h, 1);
    ASSERT_EQ(ops.write, nullptr);

    std::uint8_t buf[32];
    std::uint32_t done = 99;
    EXPECT_EQ(ops.read(h, buf, 4, &done), 1);
    EXPECT_EQ(done, 4u);
    EXPECT_EQ(buf[3], 3);
    // A read across the end returns only what is left, with success; the next returns 0 bytes.
    std::memset(buf, 0, sizeof buf);
    EXPECT_EQ(ops.read(h, buf, 32, &done), 1);
    EXPECT_EQ(done, 6u);
    EXPECT_EQ(buf[5], 9);
    EXPECT_EQ(buf[6], 0); // not copied from beyond the source
    EXPECT_EQ(ops.read(h, buf, 32, &done), 1);
    EXPECT_EQ(done, 0u);

    struct Seek
    {
        std::int32_t distance, method;
        std::int64_t position; // expected result; -1 = refused
    } seeks[] = {
        {0, IMG_SEEK_END, 10},  {-3, IMG_SEEK_END, 7},   {2, IMG_SEEK_SET, 2}, {3, IMG_SEEK_CUR, 5},
        {-6, IMG_SEEK_CUR, -1}, {-11, IMG_SEEK_END, -1}, {0, 7, -1},           {20, IMG_SEEK_SET, 20},
    };
    std::int64_t expected = 10;
    for (const Seek& s : seeks) {
        EXPECT_EQ(ops.seek(h, s.distance, s.method), s.position) << s.distance << "/" << s.method;
        if (s.position >= 0)
            expected = s.position;
    }
    // After a seek past the end there is nothing to read; back inside, reading resumes.
    EXPECT_EQ(expected, 20);
    EXPECT_EQ(ops.read(h, buf, 4, &done), 1);
    EXPECT_EQ(done, 0u);
    ops.seek(h, -2, IMG_SEEK_END);
    EXPECT_EQ(ops.read(h, buf, 4, &done), 1);
    EXPECT_EQ(done, 2u);
    EXPECT_EQ(buf[0], 8);

    EXPECT_EQ(ops.close(h), 1);
    EXPECT_EQ(ops.close(h), 0); // closed slots are rejected
    EXPECT_EQ(img_memr_read(h, buf, 1, &done), 0);
    EXPECT_EQ(done, 0u);
}

TEST(ImgMemoryRead, EmptySourcesAndBadSlotsAreRefused)
{
    const std::uint8_t byte = 1;
    EXPECT_EQ(img_check_mem_source(nullptr, 10), IMG_ERR_MEM_SOURCE);
    EXPECT_EQ(img_check_mem_source(&byte, 0), IMG_ERR_MEM_SOURCE);
    EXPECT_EQ(img_check_mem_source(&byte, 1), IMG_OK);
    ImgStreamOps ops;
    EXPECT_EQ(img_open_read(nullptr, nullptr, &byte, 0, &ops), IMG_INVALID_HANDLE);
    EXPECT_EQ(img_memr_open(nullptr, 5), -1);

    std::uint8_t buf[4];
    std::uint32_t done = 7;
    for (ImgHandle bad : {ImgHandle{0}, ImgHandle{-1}, ImgHandle{5}, ImgHandle{1000000}}) {
        EXPECT_EQ(img_memr_read(bad, buf, 1, &done), 0);
        EXPECT_EQ(done, 0u);
        EXPECT_EQ(img_memr_seek(bad, 0, IMG_SEEK_SET), -1);
        EXPECT_EQ(img_memr_close(bad), 0);
        EXPECT_EQ(img_memw_write(bad, buf, 1, &done), 0);
        EXPECT_EQ(img_memw_seek(bad, 0, IMG_SEEK_SET), -1);
        EXPECT_EQ(img_memw_close(bad), 0);
        void* out = &done;
        EXPECT_EQ(img_memw_collect(bad, &out), IMG_ERR_NO_MEMORY);
        EXPECT_EQ(out, nullptr);
    }
}

TEST(ImgMemoryStreams, AFifthStreamOfAKindFindsNoSlot)
{
    const std::uint8_t data[4] = {1, 2, 3, 4};
    std::vector<std::int32_t> readers, writers;
    for (int i = 0; i < 4; ++i) {
        readers.push_back(img_memr_open(data, 4));
        writers.push_back(img_memw_open());
        EXPECT_EQ(readers.back(), i + 1);
        EXPECT_EQ(writers.back(), i + 1);
    }
    EXPECT_EQ(img_memr_open(data, 4), -1);
    EXPECT_EQ(img_memw_open(), -1);
    ImgStreamOps ops;
    void* result = nullptr;
    EXPECT_EQ(img_open_read(nullptr, nullptr, data, 4, &ops), IMG_INVALID_HANDLE);
    EXPECT_EQ(img_open_write(nullptr, nullptr, &result, &ops), IMG_INVALID_HANDLE);
    // Freeing one slot makes exactly that one available again.
    EXPECT_EQ(img_memr_close(3), 1);
    EXPECT_EQ(img_memr_open(data, 4), 3);
    for (auto r : readers)
        img_memr_close(r);
    for (auto w : writers)
        img_memw_close(w);
}

TEST(ImgMemoryWrite, LaterWritesWinGapsAreZeroAndTheBlockHasTheStreamSize)
{
    ImgStreamOps ops;
    void* result = reinterpret_cast<void*>(1);
    const ImgHandle h = img_open_write(nullptr, nullptr, &result, &ops);
    ASSERT_GE(h, 1);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(ops.read, nullptr);

    std::uint32_t done = 0;
    EXPECT_EQ(ops.write(h, "abcdef", 6, &done), 1);
    EXPECT_EQ(done, 6u);
    EXPECT_EQ(ops.seek(h, 2, IMG_SEEK_SET), 2);
    EXPECT_EQ(ops.write(h, "XY", 2, &done), 1);
    // From the end is not a method of memory outputs: the position stays.
    EXPECT_EQ(ops.seek(h, 0, IMG_SEEK_END), 4);
    EXPECT_EQ(ops.seek(h, 6, IMG_SEEK_CUR), 10);
    EXPECT_EQ(ops.seek(h, -11, IMG_SEEK_CUR), -1);
    EXPECT_EQ(ops.write(h, "!", 1, &done), 1);
    EXPECT_EQ(ops.write(h, nullptr, 0, &done), 1); // an empty write is fine
    EXPECT_EQ(done, 0u);

    void* block = nullptr;
    ASSERT_EQ(img_memw_collect(h, &block), IMG_OK);
    ASSERT_EQ(img_block_size(block), 11u);
    EXPECT_EQ(std::memcmp(block, "abXYef\0\0\0\0!", 11), 0);
    img_block_free(block);
    EXPECT_EQ(ops.close(h), 1);
}

TEST(ImgMemoryWrite, FailuresLeaveTheStreamAsItWas)
{
    const int h = img_memw_open();
    ASSERT_GE(h, 1);
    void* block = nullptr;
    EXPECT_EQ(img_memw_collect(h, &block), IMG_ERR_NO_MEMORY); // nothing written yet

    std::uint32_t done = 0;
    ASSERT_EQ(img_memw_write(h, "1234", 4, &done), 1);
    // A write that needs a larger buffer when no memory can be had.
    std::vector<char> big(10000, 'z');
    img_fail_allocation(1);
    EXPECT_EQ(img_memw_write(h, big.data(), 10000, &done), 0);
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(img_memw_seek(h, 0, IMG_SEEK_CUR), 4);
    // A position beyond the 32-bit range of memory streams.
    EXPECT_EQ(img_memw_seek(h, 0x7FFFFFFF, IMG_SEEK_SET), 0x7FFFFFFF);
    EXPECT_EQ(img_memw_write(h, "x", 1, &done), 0);
    EXPECT_EQ(img_memw_seek(h, 4, IMG_SEEK_SET), 4);

    img_fail_allocation(1); // the result block
    EXPECT_EQ(img_memw_collect(h, &block), IMG_ERR_NO_MEMORY);
    EXPECT_EQ(block, nullptr);
    ASSERT_EQ(img_memw_collect(h, &block), IMG_OK);
    EXPECT_EQ(img_block_size(block), 4u);
    EXPECT_EQ(std::memcmp(block, "1234", 4), 0);
    img_block_free(block);
    img_memw_close(h);
}

TEST(ImgFileStreams, WriteAndReadBackByNarrowAndWideNames)
{
    const std::filesystem::path narrow = scratch("stream-narrow.bin");
    const std::filesystem::path wideFile = scratch("stream-wide-\xc3\xa9\xe2\x82\xac.bin");
    const std::wstring wideName = scratch("stream-wide-").wstring() + L"\u00e9\u20ac.bin";

    struct Case
    {
        const wchar_t* wide;
        const char* name;
        std::filesystem::path file;
    } cases[] = {{nullptr, narrow.c_str(), narrow}, {wideName.c_str(), "ignored-when-wide-given", wideFile}};
    for (const Case& c : cases) {
        ImgStreamOps ops;
        ImgHandle h = img_open_write(c.wide, c.name, nullptr, &ops);
        ASSERT_NE(h, IMG_INVALID_HANDLE) << c.file;
        std::uint32_t done = 0;
        EXPECT_EQ(ops.write(h, "hello world", 11, &done), 1);
        EXPECT_EQ(done, 11u);
        EXPECT_EQ(ops.seek(h, 0, IMG_SEEK_SET), 0);
        EXPECT_EQ(ops.write(h, "J", 1, &done), 1);
        EXPECT_EQ(ops.close(h), 1);
        ASSERT_TRUE(std::filesystem::exists(c.file)) << c.file;

        h = img_open_read(c.wide, c.name, nullptr, 0, &ops);
        ASSERT_NE(h, IMG_INVALID_HANDLE);
        char buf[32] = {};
        EXPECT_EQ(ops.seek(h, -5, IMG_SEEK_END), 6);
        EXPECT_EQ(ops.read(h, buf, 32, &done), 1);
        EXPECT_EQ(std::string(buf, done), "world");
        EXPECT_EQ(ops.seek(h, 0, IMG_SEEK_SET), 0);
        EXPECT_EQ(ops.read(h, buf, 5, &done), 1);
        EXPECT_EQ(std::string(buf, done), "Jello");
        EXPECT_EQ(ops.read(h, buf, 32, &done), 1);
        EXPECT_EQ(ops.read(h, buf, 32, &done), 1);
        EXPECT_EQ(done, 0u);
        ImgStreamCloser closer(h, ops);
        EXPECT_EQ(closer.close(), 1);
        EXPECT_EQ(closer.close(), 0);
    }
    std::filesystem::remove(narrow);
    std::filesystem::remove(wideFile);
}

TEST(ImgFileStreams, MissingFilesAndFoldersFailToOpen)
{
    ImgStreamOps ops;
    const std::string missingDir = (scratch("no-such-folder") / "x.jpg").string();
    EXPECT_EQ(img_open_write(nullptr, missingDir.c_str(), nullptr, &ops), IMG_INVALID_HANDLE);
    EXPECT_EQ(img_open_read(nullptr, scratch("no-such-file.jpg").c_str(), nullptr, 0, &ops),
              IMG_INVALID_HANDLE);
    EXPECT_EQ(img_open_read(nullptr, nullptr, nullptr, 0, &ops), IMG_INVALID_HANDLE);
    EXPECT_EQ(img_open_read(nullptr, "", nullptr, 0, &ops), IMG_INVALID_HANDLE);
    // A wide name that is no Unicode text.
    const wchar_t bad[] = {L'a', static_cast<wchar_t>(0xD800), 0};
    EXPECT_EQ(img_open_write(bad, nullptr, nullptr, &ops), IMG_INVALID_HANDLE);
}

} // namespace
