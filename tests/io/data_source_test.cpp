#include "io/file_data_source.h"
#include "io/memory_data_source.h"
#include "io/temp_file_data_source.h"
#include "io/win_file.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <sys/stat.h>
#include <vector>

using namespace tessivor;

namespace fs = std::filesystem;

namespace {

using testfiles::readFile;
using testfiles::writeFile;

// A folder of its own for each test, under the test's home folder.
class TempDir : public testfiles::HomeDir
{
public:
    TempDir() : HomeDir("io") {}
};

// ---- behaviour every kind of source shares ----

enum class Kind
{
    File,
    Memory,
    Temp,
};

std::string kindName(const ::testing::TestParamInfo<Kind>& info)
{
    switch (info.param) {
    case Kind::File:
        return "File";
    case Kind::Memory:
        return "Memory";
    case Kind::Temp:
        return "TempFile";
    }
    return "?";
}

class AnySource : public ::testing::TestWithParam<Kind>
{
protected:
    // A new, empty source of the kind under test, able to hold `capacity` bytes.
    std::unique_ptr<CDataSource> make(std::int32_t capacity = 1 << 16)
    {
        switch (GetParam()) {
        case Kind::File:
            return std::make_unique<CFileDataSource>(dir.file("data.bin").c_str(), 4096);
        case Kind::Memory:
            return std::make_unique<CMemoryDataSource>(nullptr, capacity, "mem");
        case Kind::Temp:
            return std::make_unique<CTempFileDataSource>(100, "tmp", nullptr);
        }
        return nullptr;
    }

    // A source holding `data`, opened for reading.
    std::unique_ptr<CDataSource> holding(const std::string& data)
    {
        auto s = make(static_cast<std::int32_t>(data.size()) + 16);
        EXPECT_EQ(s->Open(1), 0);
        EXPECT_EQ(s->Write(data.data(), static_cast<std::int32_t>(data.size())),
                  static_cast<std::int32_t>(data.size()));
        EXPECT_EQ(s->Close(), 0);
        EXPECT_EQ(s->Open(0), 0);
        return s;
    }

    std::vector<std::string> lines(CDataSource& s, std::int32_t size)
    {
        std::vector<std::string> out;
        std::vector<char> buf(static_cast<std::size_t>(size));
        for (int guard = 0; guard < 10000; ++guard) {
            const std::int32_t n = s.ReadLine(buf.data(), size);
            if (n <= 0)
                break;
            EXPECT_EQ(buf[static_cast<std::size_t>(n)], '\0');
            out.emplace_back(buf.data(), static_cast<std::size_t>(n));
        }
        return out;
    }

    TempDir dir;
};

TEST_P(AnySource, BinaryDataRoundTripsWithNulBytes)
{
    std::string data;
    std::mt19937 rng(7);
    for (int i = 0; i < 20000; ++i)
        data.push_back(static_cast<char>(rng() & 0xFF));
    data[100] = '\0';
    auto s = holding(data);
    std::string back(data.size() + 10, 'x');
    EXPECT_EQ(s->Read(back.data(), static_cast<std::int32_t>(back.size())),
              static_cast<std::int32_t>(data.size()));
    back.resize(data.size());
    EXPECT_EQ(back, data);
    EXPECT_LT(s->Read(back.data(), 10), 1); // at the end
}

TEST_P(AnySource, ReadDoesNotWritePastTheCount)
{
    auto s = holding("abcdefgh");
    char buf[8];
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(s->Read(buf, 4), 4);
    EXPECT_EQ(std::string(buf, 5), "abcd#");
}

TEST_P(AnySource, ReadLineSplitsAtEveryKindOfLineEnd)
{
    auto s = holding("one\r\ntwo\nthree\rfour\r\n\r\nlast");
    EXPECT_EQ(lines(*s, 100),
              (std::vector<std::string>{"one\r\n", "two\n", "three\r", "four\r\n", "\r\n", "last"}));
}

TEST_P(AnySource, LongLinesComeInPiecesThatNeverLeaveALoneLineEnd)
{
    struct Case
    {
        const char* data;
        std::int32_t size;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        // The line is longer than the buffer: size - 1 bytes, then the rest.
        {"abcdefghij\r\nk\r\n", 5, {"abcd", "efgh", "ij\r\n", "k\r\n"}},
        // The text fits but its ending does not: one byte stays with the ending.
        {"abcd\r\nxy\r\n", 5, {"abc", "d\r\n", "xy\r\n"}},
        {"abc\r\n", 5, {"ab", "c\r\n"}},
        {"abcd\nz", 5, {"abc", "d\n", "z"}},
        // Exactly fitting lines come whole.
        {"abc\r\nab\n", 6, {"abc\r\n", "ab\n"}},
        // A last line without an ending.
        {"abcdefg", 4, {"abc", "def", "g"}},
    };
    for (const auto& c : cases) {
        auto s = holding(c.data);
        EXPECT_EQ(lines(*s, c.size), c.expected) << c.data << " / " << c.size;
    }
}

TEST_P(AnySource, WriteLineAddsCrLfOnlyWhenMissing)
{
    auto s = make();
    ASSERT_EQ(s->Open(1), 0);
    EXPECT_EQ(s->WriteLine("plain"), 5);
    EXPECT_EQ(s->WriteLine("ends\r\n"), 6);
    EXPECT_EQ(s->WriteLine("lf\n"), 3);
    EXPECT_EQ(s->WriteLine(""), 0);
    EXPECT_EQ(s->WriteLine(nullptr), -1);
    ASSERT_EQ(s->Close(), 0);
    ASSERT_EQ(s->Open(0), 0);
    std::string all(100, '\0');
    all.resize(static_cast<std::size_t>(s->Read(all.data(), 100)));
    EXPECT_EQ(all, "plain\r\nends\r\nlf\n\r\n");
}

TEST_P(AnySource, AppendModeWritesAfterTheData)
{
    auto s = make();
    ASSERT_EQ(s->Open(1), 0);
    ASSERT_EQ(s->Write("abc", 3), 3);
    ASSERT_EQ(s->Close(), 0);
    ASSERT_EQ(s->Open(2), 0);
    ASSERT_EQ(s->Write("def", 3), 3);
    ASSERT_EQ(s->Close(), 0);
    ASSERT_EQ(s->Open(0), 0);
    char buf[16] = {};
    EXPECT_EQ(s->Read(buf, 16), 6);
    EXPECT_STREQ(buf, "abcdef");
    // Opening for writing starts empty again.
    ASSERT_EQ(s->Close(), 0);
    ASSERT_EQ(s->Open(1), 0);
    ASSERT_EQ(s->Close(), 0);
    ASSERT_EQ(s->Open(0), 0);
    EXPECT_LT(s->Read(buf, 16), 1);
}

TEST_P(AnySource, SeekFromEachOrigin)
{
    auto s = holding("0123456789");
    EXPECT_EQ(s->Seek(4, 0), 4);
    EXPECT_EQ(s->Seek(2, 1), 6);
    EXPECT_EQ(s->Seek(-1, 1), 5);
    EXPECT_EQ(s->Seek(3, 2), 7); // back from the end
    char c = 0;
    EXPECT_EQ(s->Read(&c, 1), 1);
    EXPECT_EQ(c, '7');
    EXPECT_EQ(s->Seek(0, 2), 10);
    EXPECT_EQ(s->Seek(-1, 0), -1);
    EXPECT_EQ(s->Seek(11, 2), -1);
    EXPECT_EQ(s->Seek(0, 7), -1);
}

TEST_P(AnySource, FindCases)
{
    // A text placed across the border of the first two 4095-byte windows.
    std::string big(9000, 'x');
    big.replace(4093, 5, "NEEDL");
    big.replace(8990, 4, "TAIL");
    struct Case
    {
        std::string data;
        const char* text;
        std::int32_t start, caseFlag, limit;
        std::int32_t expected;
    };
    const Case cases[] = {
        {big, "NEEDL", 0, 1, 0, 4093},
        {big, "TAIL", 0, 1, 0, 8990},
        {big, "TAIL", 5000, 1, 0, 8990},
        {big, "NEEDL", 4094, 1, 0, -1},
        {big, "needl", 0, 1, 0, -1},
        {big, "needl", 0, 0, 0, 4093},
        {"Content-Type: text/plain", "content-type", 0, 0, 0, 0},
        {"Content-Type: text/plain", "content-type", 0, 1, 0, -1},
        // The text fills the whole source, or ends it.
        {"abc", "abc", 0, 1, 0, 0},
        {"xxabc", "abc", 0, 1, 0, 2},
        {"ab", "abc", 0, 1, 0, -1},
        {"", "a", 0, 1, 0, -1},
        // Limits: only `limit` bytes from the start are searched.
        {"0123456789", "567", 2, 1, 6, 5},
        {"0123456789", "567", 2, 1, 5, -1},
        {"0123456789", "0123", 0, 1, 3, -1},
        // Bad texts.
        {"abc", "", 0, 1, 0, -1},
        {"abc", "b", -1, 1, 0, -1},
    };
    for (const auto& c : cases) {
        auto s = holding(c.data);
        EXPECT_EQ(s->Find(c.text, c.start, c.caseFlag, c.limit), c.expected)
            << c.text << " from " << c.start << " limit " << c.limit;
    }
    auto s = holding("abc");
    EXPECT_EQ(s->Find(nullptr, 0, 1, 0), -1);
    const std::string tooLong(4096, 'a');
    auto longSource = holding(std::string(8000, 'a'));
    EXPECT_EQ(longSource->Find(tooLong.c_str(), 0, 1, 0), -1);
    EXPECT_EQ(longSource->Find(tooLong.substr(1).c_str(), 0, 1, 0), 0);
}

TEST_P(AnySource, FindInEveryWindowOfALargeSource)
{
    // Matches at many offsets around the window borders.
    for (std::int32_t at : {0, 4090, 4091, 4092, 4093, 4094, 4095, 8185, 8186, 12000}) {
        std::string data(12010, '.');
        data.replace(static_cast<std::size_t>(at), 6, "marker");
        auto s = holding(data);
        EXPECT_EQ(s->Find("marker", 0, 1, 0), at);
    }
}

TEST_P(AnySource, CloneReadsTheSameData)
{
    auto s = holding("cloned data\r\n");
    ASSERT_EQ(s->Close(), 0);
    std::unique_ptr<CDataSource> c(s->Clone());
    ASSERT_NE(c, nullptr);
    ASSERT_EQ(c->Open(0), 0);
    char buf[32] = {};
    EXPECT_EQ(c->Read(buf, 31), 13);
    EXPECT_STREQ(buf, "cloned data\r\n");
    EXPECT_EQ(c->Close(), 0);
}

TEST_P(AnySource, NullArgumentsAreRefused)
{
    auto s = holding("x");
    char buf[4];
    EXPECT_EQ(s->ReadLine(nullptr, 10), -1);
    EXPECT_EQ(s->ReadLine(buf, 1), -1);
    EXPECT_EQ(s->Read(nullptr, 1), -1);
    EXPECT_EQ(s->Write(nullptr, 1), -1);
}

INSTANTIATE_TEST_SUITE_P(Kinds, AnySource, ::testing::Values(Kind::File, Kind::Memory, Kind::Temp), kindName);

// ---- file source ----

TEST(FileDataSource, ReadAfterReadLineLosesNothing)
{
    TempDir dir;
    const std::string path = dir.file("mixed.txt");
    writeFile(path, "first line\r\nsecond line\r\nrest of the data");
    CFileDataSource s(path.c_str(), 4096);
    ASSERT_EQ(s.Open(0), 0);
    char line[100];
    ASSERT_EQ(s.ReadLine(line, 100), 12);
    EXPECT_STREQ(line, "first line\r\n");
    // The line read buffered the whole file; the block read continues right after the line.
    char rest[100] = {};
    EXPECT_EQ(s.Read(rest, 99), 29);
    EXPECT_STREQ(rest, "second line\r\nrest of the data");
}

TEST(FileDataSource, SeekFromThePositionCountsWhatReadLineHandedOut)
{
    TempDir dir;
    const std::string path = dir.file("seek.txt");
    writeFile(path, "ab\r\ncd\r\nef");
    CFileDataSource s(path.c_str(), 4096);
    ASSERT_EQ(s.Open(0), 0);
    char line[16];
    ASSERT_EQ(s.ReadLine(line, 16), 4);
    EXPECT_EQ(s.Seek(0, 1), 4);
    ASSERT_EQ(s.ReadLine(line, 16), 4);
    EXPECT_STREQ(line, "cd\r\n");
}

TEST(FileDataSource, ReadLineWithASmallBufferKeepsCrLfTogether)
{
    TempDir dir;
    const std::string path = dir.file("small.txt");
    std::string data;
    for (int i = 0; i < 50; ++i)
        data += "line " + std::to_string(i) + "\r\n";
    writeFile(path, data);
    // A read buffer of 7 bytes makes every line end cross a refill.
    CFileDataSource s(path.c_str(), 7);
    ASSERT_EQ(s.Open(0), 0);
    std::string back;
    char buf[100];
    for (std::int32_t n; (n = s.ReadLine(buf, 100)) > 0;) {
        back.append(buf, static_cast<std::size_t>(n));
    }
    EXPECT_EQ(back, data);
}

TEST(FileDataSource, OpenModes)
{
    TempDir dir;
    CFileDataSource missing(dir.file("missing").c_str(), 4096);
    EXPECT_EQ(missing.Open(0), -1);
    CFileDataSource unnamed("", 4096);
    EXPECT_EQ(unnamed.Open(1), -1);
    CFileDataSource nullName(nullptr, 4096);
    EXPECT_EQ(nullName.Open(1), -1);
    CFileDataSource badMode(dir.file("x").c_str(), 4096);
    EXPECT_EQ(badMode.Open(3), -1);
    // Mode 1 empties an existing file.
    const std::string path = dir.file("old.txt");
    writeFile(path, "old contents");
    CFileDataSource s(path.c_str(), 4096);
    ASSERT_EQ(s.Open(1), 0);
    ASSERT_EQ(s.Write("new", 3), 3);
    ASSERT_EQ(s.Close(), 0);
    EXPECT_EQ(readFile(path), "new");
}

// ---- memory source ----

TEST(MemoryDataSource, CallerTextEndsAtItsFirstNul)
{
    char buffer[16] = "abc\0def";
    CMemoryDataSource s(buffer, 15, "caller");
    ASSERT_EQ(s.Open(0), 0);
    char out[16] = {};
    EXPECT_EQ(s.Read(out, 15), 3);
    EXPECT_STREQ(out, "abc");
    // The owner changes its text: the next open measures it again.
    std::strcpy(buffer, "longer text");
    ASSERT_EQ(s.Open(0), 0);
    EXPECT_EQ(s.Read(out, 15), 11);
}

TEST(MemoryDataSource, WritesStopAtTheCapacity)
{
    CMemoryDataSource s(nullptr, 8, "small");
    ASSERT_EQ(s.Open(1), 0);
    EXPECT_EQ(s.Write("0123456789", 10), 8); // a short count: the caller sees the failure
    EXPECT_EQ(s.GetLength(), 8);
    EXPECT_EQ(s.GetData()[8], '\0');
    ASSERT_EQ(s.Open(1), 0);
    ASSERT_EQ(s.Write("abc", 3), 3);
    EXPECT_EQ(s.WriteLine("toolong"), -1); // 7 + CR LF do not fit in the 5 left
    EXPECT_STREQ(s.GetData(), "abc");
    EXPECT_EQ(s.WriteLine("ok"), 2);
    EXPECT_STREQ(s.GetData(), "abcok\r\n");
}

TEST(MemoryDataSource, WritingInTheMiddleDropsTheRest)
{
    CMemoryDataSource s(nullptr, 32, "m");
    ASSERT_EQ(s.Open(1), 0);
    ASSERT_EQ(s.Write("abcdef", 6), 6);
    ASSERT_EQ(s.Seek(2, 0), 2);
    ASSERT_EQ(s.Write("X", 1), 1);
    EXPECT_STREQ(s.GetData(), "abX");
    EXPECT_EQ(s.Seek(0, 2), 3);
}

// ---- temporary-file source ----

TEST(TempFileDataSource, GrowsFromASmallFirstSizeAndKeepsEveryByte)
{
    TempDir dir;
    const std::string path = dir.file("grow.bin");
    std::string data;
    for (int i = 0; i < 10000; ++i)
        data.push_back(static_cast<char>(i * 31 + 7));
    {
        CTempFileDataSource s(100, "grow", path.c_str());
        ASSERT_EQ(s.Open(1), 0);
        for (std::size_t at = 0; at < data.size(); at += 333) {
            const auto n = static_cast<std::int32_t>(std::min<std::size_t>(333, data.size() - at));
            ASSERT_EQ(s.Write(data.data() + at, n), n);
        }
        ASSERT_EQ(s.Close(), 0);
        EXPECT_EQ(fs::file_size(path), 10000u);
        ASSERT_EQ(s.Open(0), 0);
        std::string back(10000, '\0');
        EXPECT_EQ(s.Read(back.data(), 10000), 10000);
        EXPECT_EQ(back, data);
        EXPECT_EQ(s.Write("x", 1), -1); // read mode
    }
    EXPECT_TRUE(fs::exists(path)); // a caller's file is kept
    EXPECT_EQ(readFile(path), data);
}

TEST(TempFileDataSource, OwnFileIsPrivateAndDeletedWithTheSource)
{
    TempDir dir;
    ::setenv("TMPDIR", dir.path().c_str(), 1);
    std::string path;
    {
        CTempFileDataSource s(0, "Attachments", nullptr);
        path = s.GetPath();
        ::unsetenv("TMPDIR");
        ASSERT_FALSE(path.empty());
        EXPECT_EQ(fs::path(path).parent_path(), dir.path());
        EXPECT_EQ(fs::path(path).filename().string().rfind("Map", 0), 0u);
        struct stat st;
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        ASSERT_EQ(s.Open(1), 0);
        ASSERT_EQ(s.WriteLine("hello"), 5);
        ASSERT_EQ(s.Close(), 0);
        EXPECT_EQ(readFile(path), "hello\r\n");
    }
    EXPECT_FALSE(fs::exists(path));
}

TEST(TempFileDataSource, CloneOfAnOwnedFileSurvivesTheOriginal)
{
    std::unique_ptr<CDataSource> clone;
    {
        CTempFileDataSource s(0, "orig", nullptr);
        ASSERT_EQ(s.Open(1), 0);
        ASSERT_EQ(s.Write("payload", 7), 7);
        // Cloned while open and again after closing: both get their own copy.
        std::unique_ptr<CDataSource> openClone(s.Clone());
        ASSERT_EQ(s.Close(), 0);
        clone.reset(s.Clone());
        ASSERT_NE(openClone, nullptr);
        ASSERT_EQ(openClone->Open(0), 0);
        char buf[16] = {};
        EXPECT_EQ(openClone->Read(buf, 15), 7);
        EXPECT_STREQ(buf, "payload");
        EXPECT_NE(static_cast<CTempFileDataSource*>(clone.get())->GetPath(), s.GetPath());
    }
    ASSERT_NE(clone, nullptr);
    ASSERT_EQ(clone->Open(0), 0);
    char buf[16] = {};
    EXPECT_EQ(clone->Read(buf, 15), 7);
    EXPECT_STREQ(buf, "payload");
}

TEST(TempFileDataSource, ReopeningForWritingCutsOldData)
{
    CTempFileDataSource s(0, "t", nullptr);
    ASSERT_EQ(s.Open(1), 0);
    ASSERT_EQ(s.Write("long old data", 13), 13);
    ASSERT_EQ(s.Close(), 0);
    ASSERT_EQ(s.Open(1), 0);
    ASSERT_EQ(s.Write("new", 3), 3);
    ASSERT_EQ(s.Close(), 0);
    EXPECT_EQ(readFile(s.GetPath()), "new");
    CTempFileDataSource missing(0, "m", "/nonexistent-folder/x");
    EXPECT_EQ(missing.Open(0), -1);
    EXPECT_EQ(missing.Open(1), -1);
}

// ---- CWinFile ----

TEST(WinFile, OpenTrimsBlanksAndHonoursTheDisposition)
{
    TempDir dir;
    const std::string path = dir.file("f.txt");
    CWinFile f;
    EXPECT_FALSE(f.IsOpen());
    EXPECT_EQ(f.Read(nullptr, 0), -1);
    char buf[16];
    EXPECT_EQ(f.Read(buf, 16), -1); // no file
    EXPECT_EQ(f.Open(("  " + path + "  ").c_str(), CWinFile::ACCESS_READ, CWinFile::OPEN_EXISTING, 0), -1);
    ASSERT_EQ(f.Open(("  " + path + "  ").c_str(), CWinFile::ACCESS_WRITE, CWinFile::CREATE_NEW, 0), 0);
    EXPECT_EQ(f.Write("12345", 5), 5);
    EXPECT_EQ(f.Size(), 5);
    EXPECT_EQ(f.Close(), 0);
    EXPECT_EQ(f.Open(path.c_str(), CWinFile::ACCESS_WRITE, CWinFile::CREATE_NEW, 0), -1);
    EXPECT_FALSE(f.IsOpen());
    EXPECT_EQ(f.Open(path.c_str(), CWinFile::ACCESS_READ, CWinFile::TRUNCATE_EXISTING, 0), -1);
    EXPECT_EQ(f.Open("   ", CWinFile::ACCESS_READ, CWinFile::OPEN_EXISTING, 0), -1);
    EXPECT_EQ(f.Open(dir.path().c_str(), CWinFile::ACCESS_READ, CWinFile::OPEN_EXISTING, 0), -1);

    // Append mode: each write goes to the end, wherever the position was moved.
    ASSERT_EQ(f.Open(path.c_str(), CWinFile::ACCESS_READ | CWinFile::ACCESS_WRITE, CWinFile::OPEN_ALWAYS, 1),
              0);
    EXPECT_EQ(f.Seek(1, CWinFile::SEEK_FROM_BEGIN), 1);
    EXPECT_EQ(f.Write("67", 2), 2);
    EXPECT_EQ(f.Seek(0, CWinFile::SEEK_FROM_BEGIN), 0);
    EXPECT_EQ(f.Read(buf, 16), 7);
    EXPECT_EQ(std::string(buf, 7), "1234567");
    EXPECT_EQ(f.Seek(-2, CWinFile::SEEK_FROM_END), 5);
    EXPECT_EQ(f.Read(buf, 16), 2);
    EXPECT_EQ(f.Read(buf, 16), 0); // end of file
    EXPECT_EQ(f.Seek(-100, CWinFile::SEEK_FROM_BEGIN), -1);
}

TEST(WinFile, ReadsInTftpSizedBlocksToTheEnd)
{
    TempDir dir;
    const std::string path = dir.file("fw.bin");
    writeFile(path, std::string(1300, 'f'));
    CWinFile f;
    ASSERT_EQ(f.Open(path.c_str(), CWinFile::ACCESS_READ, CWinFile::OPEN_EXISTING, 0), 0);
    char block[512];
    std::vector<std::int32_t> sizes;
    for (std::int32_t n; (n = f.Read(block, 512)) > 0;)
        sizes.push_back(n);
    EXPECT_EQ(sizes, (std::vector<std::int32_t>{512, 512, 276}));
}

} // namespace
