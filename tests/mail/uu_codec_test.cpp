#include "io/memory_data_source.h"
#include "mail/mail_errors.h"
#include "mail/uu_codec.h"
#include "memory_sources.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace tessivor;

using namespace mailtest;

namespace {

std::string encode(CUUCodec& codec, const std::string& body)
{
    auto in = memoryWith(body);
    CMemoryDataSource out(nullptr, 1 << 20, "out");
    EXPECT_EQ(codec.Encode(in.get(), &out, 0), MAIL_OK);
    return contents(out);
}

TEST(UUEncode, BlockLayout)
{
    struct Case
    {
        std::size_t size;
        std::vector<std::size_t> lineLengths; // data lines, without CR LF
        char firstLengthCharOfLastLine;
    };
    const Case cases[] = {
        {45, {61}, 'M'}, {46, {61, 5}, '!'}, {1, {5}, '!'}, {0, {}, 0}, {90, {61, 61}, 'M'},
    };
    for (const auto& c : cases) {
        CUUCodec codec;
        auto file = memoryWith(bytes(c.size, 9));
        ASSERT_EQ(codec.AddAttachment(file.get(), "C:\\cam\\pic.jpg", nullptr), MAIL_OK);
        const std::string text = encode(codec, "body text");
        ASSERT_EQ(text.rfind("body text\r\n\r\nbegin 660 pic.jpg\r\n", 0), 0u) << text;
        std::string rest = text.substr(text.find("pic.jpg\r\n") + 9);
        std::vector<std::size_t> lengths;
        char lastLengthChar = 0;
        while (rest.rfind("`\r\n", 0) != 0) {
            const auto eol = rest.find("\r\n");
            ASSERT_NE(eol, std::string::npos);
            lengths.push_back(eol);
            lastLengthChar = rest[0];
            rest = rest.substr(eol + 2);
        }
        EXPECT_EQ(lengths, c.lineLengths) << c.size;
        EXPECT_EQ(lastLengthChar, c.firstLengthCharOfLastLine) << c.size;
        // The length-0 line, then "end", close the block.
        EXPECT_EQ(rest, "`\r\nend\r\n") << c.size;
    }
    CUUCodec codec;
    auto file = memoryWith("x");
    EXPECT_EQ(codec.AddAttachment(file.get(), "bad\r\nname", nullptr), MAIL_BAD_ARGUMENT);
    EXPECT_EQ(codec.AddAttachment(nullptr, "x", nullptr), MAIL_SOURCE_OPEN_FAILED);
    // Without attachments the body is copied alone.
    EXPECT_EQ(encode(codec, "only body"), "only body");
}

TEST(UUEncode, GnuUudecodeReadsOurBlocks)
{
    TempDir dir;
    const std::string data = bytes(10007, 4);
    CUUCodec codec;
    auto file = memoryWith(data);
    ASSERT_EQ(codec.AddAttachment(file.get(), "/some/where/out.bin", nullptr), MAIL_OK);
    writeFile(dir.file("message.txt"), encode(codec, "see the attachment"));
    const auto result =
        runProcess({"/usr/bin/uudecode", "-o", dir.file("decoded.bin"), dir.file("message.txt")});
    ASSERT_EQ(result.exitCode, 0) << result.out;
    EXPECT_EQ(readFile(dir.file("decoded.bin")), data);
}

TEST(UUDecode, ReadsBlocksWrittenByGnuUuencode)
{
    TempDir dir;
    const std::string data = bytes(5000, 5);
    writeFile(dir.file("in.bin"), data);
    const auto result = runProcess({"/usr/bin/uuencode", dir.file("in.bin"), "photo.jpg"});
    ASSERT_EQ(result.exitCode, 0) << result.out;
    auto message = memoryWith("Subject: pictures\r\n\r\nHere it is.\r\n" + result.out + "\r\nbye\r\n");
    CUUCodec codec;
    ASSERT_EQ(codec.Decode(message.get()), MAIL_OK);
    ASSERT_EQ(codec.GetAttachmentCount(), 1);
    char name[64], type[8];
    ASSERT_EQ(codec.GetAttachmentInfo(0, name, 64, type, 8, nullptr), MAIL_OK);
    EXPECT_STREQ(name, "photo.jpg");
    EXPECT_STREQ(type, "");
    EXPECT_EQ(codec.GetFileMode(0), 0644);
    CMemoryDataSource out(nullptr, 1 << 16, "o");
    ASSERT_EQ(codec.DecodeAttachment(0, &out, 0), MAIL_OK);
    EXPECT_EQ(contents(out), data);
    CMemoryDataSource body(nullptr, 1000, "b");
    ASSERT_EQ(codec.GetMessageBody(&body, 0), MAIL_OK);
    EXPECT_EQ(contents(body), "Here it is.\r\n");
}

TEST(UUDecode, RecognisedModes)
{
    struct Case
    {
        const char* message;
        bool recognised;
    };
    const Case cases[] = {
        {"Subject: x\r\n\r\nbegin 644 a.txt\r\n#86)C\r\n`\r\nend\r\n", true},
        {"Subject: x\r\n\r\nbegin 600 a.txt\r\n#86)C\r\n`\r\nend\r\n", true},
        {"Subject: x\r\n\r\nbegin 755 a.txt\r\n#86)C\r\n`\r\nend\r\n", false},
        {"Subject: x\r\n\r\nbeginning 644 a.txt\r\n", false},
        {"Subject: x\r\n\r\nno block here\r\n", false},
    };
    for (const auto& c : cases) {
        auto message = memoryWith(c.message);
        CUUCodec codec;
        EXPECT_EQ(codec.Decode(message.get()), c.recognised ? MAIL_OK : MAIL_BAD_ARGUMENT) << c.message;
        if (c.recognised) {
            CMemoryDataSource out(nullptr, 100, "o");
            EXPECT_EQ(codec.DecodeAttachment(0, &out, 0), MAIL_OK);
            EXPECT_EQ(contents(out), "abc");
        }
    }
}

TEST(UUDecode, DamagedBlocks)
{
    struct Case
    {
        const char* what;
        std::string block;
        std::int32_t decodeResult;  // of Decode
        std::int32_t extractResult; // of DecodeAttachment
        std::string data;
    };
    const Case cases[] = {
        {"no end line", "begin 644 a\r\n#86)C\r\n`\r\n", MAIL_BAD_ARGUMENT, 0, ""},
        {"line shorter than its count", "begin 644 a\r\nM86)C\r\n`\r\nend\r\n", MAIL_OK, MAIL_UU_TRUNCATED,
         ""},
        {"end right after the data", "begin 644 a\r\n#86)C\r\nend\r\n", MAIL_OK, MAIL_OK, "abc"},
        {"length 0 written as a blank", "begin 644 a\r\n#86)C\r\n \r\nend\r\n", MAIL_OK, MAIL_OK, "abc"},
        {"longer line than needed", "begin 644 a\r\n#86)CXXXX\r\n`\r\nend\r\n", MAIL_OK, MAIL_OK, "abc"},
        {"LF line ends", "begin 644 a\n#86)C\n`\nend\n", MAIL_OK, MAIL_OK, "abc"},
        {"bytes outside the alphabet", "begin 644 a\r\n#\x01\xff\x80\x7f\r\n`\r\nend\r\n", MAIL_OK, MAIL_OK,
         std::string("\x85\xf8\x1f", 3)},
    };
    for (const auto& c : cases) {
        auto message = memoryWith("Subject: x\r\n\r\n" + c.block);
        CUUCodec codec;
        ASSERT_EQ(codec.Decode(message.get()), c.decodeResult) << c.what;
        if (c.decodeResult != MAIL_OK)
            continue;
        CMemoryDataSource out(nullptr, 100, "o");
        EXPECT_EQ(codec.DecodeAttachment(0, &out, 0), c.extractResult) << c.what;
        if (c.extractResult == MAIL_OK) {
            EXPECT_EQ(contents(out), c.data) << c.what;
        }
    }
    CUUCodec codec;
    CMemoryDataSource out(nullptr, 100, "o");
    EXPECT_EQ(codec.DecodeAttachment(0, &out, 0), MAIL_SOURCE_OPEN_FAILED);
    auto message = memoryWith("Subject: x\r\n\r\nbegin 644 a\r\n#86)C\r\n`\r\nend\r\n");
    ASSERT_EQ(codec.Decode(message.get()), MAIL_OK);
    EXPECT_EQ(codec.DecodeAttachment(1, &out, 0), MAIL_NO_SUCH_ATTACHMENT);
}

TEST(UUEncode, EncodingAgainCopiesFoundBlocksAfterTheBody)
{
    auto message = memoryWith("Subject: x\r\n\r\nhello\r\nbegin 644 a\r\n#86)C\r\n`\r\nend\r\n");
    CUUCodec codec;
    ASSERT_EQ(codec.Decode(message.get()), MAIL_OK);
    EXPECT_EQ(encode(codec, "new body"), "new body\r\n\r\nbegin 644 a\r\n#86)C\r\n`\r\nend\r\n");
}

} // namespace
