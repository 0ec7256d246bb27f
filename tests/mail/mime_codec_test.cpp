#include "io/file_data_source.h"
#include "io/memory_data_source.h"
#include "mail/mail_errors.h"
#include "mail/mime_codec.h"
#include "mail/transfer_encoding.h"
#include "memory_sources.h"
#include "platform/base64.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <thread>

using namespace tessivor;

using namespace mailtest;

namespace {

// Encodes `body` with `codec` into a memory source and returns the text.
std::string encode(CMimeCodec& codec, const std::string& body, std::int32_t* rc = nullptr)
{
    auto in = memoryWith(body);
    CMemoryDataSource out(nullptr, 1 << 20, "out");
    const std::int32_t result = codec.Encode(in.get(), &out, 0);
    if (rc != nullptr)
        *rc = result;
    else
        EXPECT_EQ(result, MAIL_OK) << MailErrorText(result);
    return contents(out);
}

std::string decodeAttachment(CMimeCodec& codec, std::int32_t index, std::int32_t* rc = nullptr)
{
    CMemoryDataSource out(nullptr, 1 << 20, "att");
    const std::int32_t result = codec.DecodeAttachment(index, &out, 0);
    if (rc != nullptr)
        *rc = result;
    else
        EXPECT_EQ(result, MAIL_OK) << MailErrorText(result);
    return contents(out);
}

std::vector<std::string> split(const std::string& text, const std::string& by)
{
    std::vector<std::string> out;
    std::size_t at = 0;
    while (true) {
        const auto next = text.find(by, at);
        out.push_back(text.substr(at, next - at));
        if (next == std::string::npos)
            return out;
        at = next + by.size();
    }
}

// ---- boundary ----

TEST(MimeBoundary, TimeStampThenRandomCharacters)
{
    // 2026-12-08 09:05:07.042 UTC
    const auto when = std::chrono::system_clock::time_point(std::chrono::seconds(1796720707)) +
                      std::chrono::milliseconds(42);
    std::uint32_t counter = 0;
    const std::string b = CMimeCodec::MakeBoundaryAt(30, when, [&] { return counter++; });
    EXPECT_EQ(b.rfind("Mark=_202612895742", 0), 0u) << b;
    EXPECT_EQ(b.size(), 29u);
    EXPECT_EQ(b.substr(18), "ABCDEFGHIJK"); // positions 0, 1, 2, ... of the alphabet
    // Draws of 62 and 63 map to "+" and back to "A" (mod 63).
    counter = 62;
    EXPECT_EQ(CMimeCodec::MakeBoundaryAt(30, when, [&] { return counter++; }).substr(18, 2), "+A");

    char out[80];
    EXPECT_EQ(CMimeCodec::MakeBoundary(out, 19), -1);
    EXPECT_EQ(CMimeCodec::MakeBoundary(out, 71), -2);
    EXPECT_EQ(CMimeCodec::MakeBoundary(out, 20), 0);
    EXPECT_EQ(std::strlen(out), 19u);
    EXPECT_EQ(CMimeCodec::MakeBoundary(out, 70), 0);
    EXPECT_EQ(std::strlen(out), 69u);
}

TEST(MimeBoundary, CodecsMadeAtTheSameTimeOnManyThreadsDiffer)
{
    std::vector<std::string> boundaries(64);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < boundaries.size(); ++i)
        threads.emplace_back([&boundaries, i] {
            CMimeCodec codec;
            boundaries[i] = codec.GetBoundary();
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(std::set<std::string>(boundaries.begin(), boundaries.end()).size(), boundaries.size());
}

// ---- encoding ----

TEST(MimeEncode, LayoutOfBodyAndOneBase64Attachment)
{
    CMimeCodec codec;
    const std::string boundary = codec.GetBoundary();
    EXPECT_EQ(codec.GetGlobalHeaderCount(), 2);
    EXPECT_STREQ(codec.GetGlobalHeader(0), "MIME-Version: 1.0\r\n");
    EXPECT_EQ(codec.GetGlobalHeader(1),
              "Content-Type: Multipart/Mixed;\r\n\tboundary=\"" + boundary + "\"\r\n");

    const std::string data = bytes(57, 1);
    auto file = memoryWith(data);
    ASSERT_EQ(codec.AddAttachment(file.get(), "C:\\pics\\cam/1.jpg", nullptr), MAIL_OK);
    const std::string text = encode(codec, "Hello");
    const std::string expected = "This is a multi-part message in MIME format.\r\n"
                                 "\r\n--" +
                                 boundary +
                                 "\r\n"
                                 "Content-Type: text/plain; name=\"\"; type=Unknown\r\n"
                                 "Content-Transfer-Encoding: BASE64\r\n"
                                 "\r\n"
                                 "SGVsbG8=\r\n"
                                 "\r\n--" +
                                 boundary +
                                 "\r\n"
                                 "Content-Type: Application/Octet-stream; name=\"1.jpg\"; type=Unknown\r\n"
                                 "Content-Transfer-Encoding: BASE64\r\n"
                                 "\r\n" +
                                 base64Encode(data.data(), 57) +
                                 "\r\n"
                                 "\r\n--" +
                                 boundary + "--\r\n";
    EXPECT_EQ(text, expected);
    // A new boundary, and the header lines in their one-line form.
    EXPECT_NE(codec.GetBoundary(), boundary);
    EXPECT_EQ(codec.GetGlobalHeader(1),
              "Content-Type: Multipart/Mixed; boundary=\"" + std::string(codec.GetBoundary()) + "\"\r\n");
}

TEST(MimeEncode, Base64LinesHold76Characters)
{
    for (std::size_t size : {0u, 1u, 2u, 56u, 57u, 58u, 114u, 1000u}) {
        CMimeCodec codec;
        auto file = memoryWith(bytes(size, static_cast<unsigned>(size)));
        ASSERT_EQ(codec.AddAttachment(file.get(), "a.bin", nullptr), MAIL_OK);
        const std::string text = encode(codec, "");
        const auto parts = split(text, "\r\n--");
        ASSERT_EQ(parts.size(), 4u) << size; // preamble, body, attachment, closing
        const std::string data = parts[2].substr(parts[2].find("\r\n\r\n") + 4);
        const auto lines = split(data, "\r\n");
        std::size_t total = 0;
        for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
            EXPECT_EQ(lines[i].size(),
                      i + 2 < lines.size() ? 76u : (size % 57 == 0 ? 76u : ((size % 57) + 2) / 3 * 4))
                << size;
            total += lines[i].size();
        }
        EXPECT_EQ(total, (size + 2) / 3 * 4) << size;
        if (size == 58) {
            EXPECT_EQ(lines[1].size(), 4u);
            EXPECT_EQ(lines[1].substr(2), "==");
        }
    }
}

TEST(MimeEncode, EmptyBodyStillGivesATextPart)
{
    CMimeCodec codec;
    auto file = memoryWith("x");
    ASSERT_EQ(codec.AddAttachment(file.get(), "x", nullptr), MAIL_OK);
    const std::string text = encode(codec, "");
    const auto parts = split(text, "\r\n--");
    ASSERT_EQ(parts.size(), 4u);
    EXPECT_EQ(
        parts[1].substr(parts[1].find("\r\n") + 2),
        "Content-Type: text/plain; name=\"\"; type=Unknown\r\nContent-Transfer-Encoding: BASE64\r\n\r\n");
}

TEST(MimeEncode, AttachmentAddedLastComesFirst)
{
    CMimeCodec codec;
    auto a = memoryWith("AAA");
    auto b = memoryWith("BBB");
    ASSERT_EQ(codec.AddAttachment(a.get(), "a.txt", nullptr), MAIL_OK);
    ASSERT_EQ(codec.AddAttachment(b.get(), "b.txt", nullptr), MAIL_OK);
    EXPECT_EQ(codec.AddFileHeaderTag("X-Part: b"), MAIL_OK); // goes with b, added last
    EXPECT_EQ(codec.AddFileHeaderTag("bad\r\nline"), MAIL_BAD_ARGUMENT);
    const std::string text = encode(codec, "");
    const auto posA = text.find("name=\"a.txt\"");
    const auto posB = text.find("name=\"b.txt\"");
    ASSERT_NE(posA, std::string::npos);
    ASSERT_NE(posB, std::string::npos);
    EXPECT_LT(posB, posA);
    EXPECT_NE(text.find("Content-Transfer-Encoding: BASE64\r\nX-Part: b\r\n\r\nQkJC\r\n"), std::string::npos);
    EXPECT_EQ(codec.GetAttachmentSize(0), 3);
    EXPECT_EQ(codec.GetAttachmentSize(99), 6);

    CMimeCodec fresh;
    EXPECT_EQ(fresh.AddFileHeaderTag("X: y"), -1);
}

TEST(MimeEncode, NamesAreCutToTheFileNameAndQuotedSafely)
{
    struct Case
    {
        const char* name;
        const char* parameter;
    };
    const Case cases[] = {
        {"/home/cam/snap.jpg", "name=\"snap.jpg\""},
        {"c:\\1.jpg", "name=\"1.jpg\""},
        {"dir/", "name=\"\""},
        {"say \"hi\".jpg", "name=\"say \\\"hi\\\".jpg\""},
        {"caf\xc3\xa9 1.jpg", "name*=UTF-8''caf%C3%A9%201.jpg"},
    };
    for (const auto& c : cases) {
        CMimeCodec codec;
        auto file = memoryWith("x");
        ASSERT_EQ(codec.AddAttachment(file.get(), c.name, nullptr), MAIL_OK);
        const std::string text = encode(codec, "");
        EXPECT_NE(text.find(std::string("Content-Type: Application/Octet-stream; ") + c.parameter +
                            "; type=Unknown\r\n"),
                  std::string::npos)
            << c.name << "\n"
            << text;
    }
}

TEST(MimeEncode, RefusesTextsThatWouldBreakThePartHeader)
{
    auto file = memoryWith("x");
    struct Case
    {
        const char* name;
        std::vector<const char*> params;
        std::int32_t result;
    };
    const Case cases[] = {
        {"a\r\nContent-Type: evil", {}, MAIL_BAD_ARGUMENT},
        {"a\nb", {}, MAIL_BAD_ARGUMENT},
        {"ok", {"7"}, MAIL_BAD_ARGUMENT},
        {"ok", {"-1"}, MAIL_BAD_ARGUMENT},
        {"ok", {"1x"}, MAIL_BAD_ARGUMENT},
        {"ok", {"1", "image/jpeg\r\nX-Evil: 1"}, MAIL_BAD_ARGUMENT},
        {"ok", {"1", "image/jpeg", "utf-8", "t\tx"}, MAIL_BAD_ARGUMENT},
        {"ok", {"", "image/jpeg"}, MAIL_OK},
        {"ok", {"6"}, MAIL_OK},
    };
    for (const auto& c : cases) {
        CMimeCodec codec;
        CTextList params;
        for (const char* p : c.params)
            params.AddText(p);
        EXPECT_EQ(codec.AddAttachment(file.get(), c.name, &params), c.result) << c.name;
    }
    CMimeCodec codec;
    EXPECT_EQ(codec.AddAttachment(nullptr, "x", nullptr), MAIL_SOURCE_OPEN_FAILED);
    CFileDataSource missing("/nonexistent/file.jpg", 4096);
    EXPECT_EQ(codec.AddAttachment(&missing, "x", nullptr), MAIL_SOURCE_OPEN_FAILED);
    EXPECT_EQ(codec.GetAttachmentCount(), 0);
}

TEST(MimeEncode, EachTransferEncoding)
{
    struct Case
    {
        const char* encoding;
        const char* type;
        std::string data;
        std::int32_t result;
        std::string header; // expected part header (before the empty line)
        std::string body;   // expected data, when checked
    };
    const std::string longLine7(997, 'a');
    const std::string okLine7(996, 'a');
    const Case cases[] = {
        {"0", "", "plain\r\ntext", MAIL_OK,
         "Content-Type: text/plain; charset=US-ASCII\r\nContent-Transfer-Encoding: 7BIT", "plain\r\ntext"},
        {"0", "text/x-log", okLine7 + "\r\n" + okLine7, MAIL_OK,
         "Content-Type: text/x-log; charset=US-ASCII\r\nContent-Transfer-Encoding: 7BIT",
         okLine7 + "\r\n" + okLine7},
        {"0", "", std::string("nul\0here", 8), MAIL_NUL_IN_7BIT, "", ""},
        {"0", "", longLine7, MAIL_LINE_TOO_LONG, "", ""},
        {"3", "", std::string(997, 'b'), MAIL_OK,
         "Content-Type: text/plain; charset=US-ASCII\r\nContent-Transfer-Encoding: 8BIT",
         std::string(997, 'b')},
        {"3", "", std::string(998, 'b'), MAIL_LINE_TOO_LONG, "", ""},
        {"2", "", "a=b\r\n", MAIL_OK,
         "Content-Type: Text/Plain; charset=US-ASCII\r\nContent-Transfer-Encoding: Quoted-Printable",
         "a=3Db=0D=0A"},
        {"2", "", "ends with blank ", MAIL_OK,
         "Content-Type: Text/Plain; charset=US-ASCII\r\nContent-Transfer-Encoding: Quoted-Printable",
         "ends with blank=20"},
        {"4", "image/png", std::string("\0\1\2", 3), MAIL_OK,
         "Content-Type: image/png; name=\"f.bin\"; type=Unknown\r\nContent-Transfer-Encoding: BINARY",
         std::string("\0\1\2", 3)},
        {"5", "", "x", MAIL_BINHEX, "", ""},
    };
    for (const auto& c : cases) {
        CMimeCodec codec;
        auto file = memoryWith(c.data);
        CTextList params;
        params.AddText(c.encoding);
        params.AddText(c.type);
        ASSERT_EQ(codec.AddAttachment(file.get(), "dir\\f.bin", &params), MAIL_OK);
        std::int32_t rc = 0;
        const std::string text = encode(codec, "", &rc);
        EXPECT_EQ(rc, c.result) << c.encoding << " " << MailErrorText(rc);
        if (c.result != MAIL_OK)
            continue;
        const auto parts = split(text, "\r\n--");
        ASSERT_EQ(parts.size(), 4u);
        const std::string part = parts[2].substr(parts[2].find("\r\n") + 2);
        const auto blank = part.find("\r\n\r\n");
        EXPECT_EQ(part.substr(0, blank), c.header);
        EXPECT_EQ(part.substr(blank + 4), c.body);
    }
}

TEST(MimeEncode, QuotedPrintableLinesStayShortAndDecodeBack)
{
    for (unsigned seed = 0; seed < 20; ++seed) {
        const std::string data = bytes(300 + seed * 37, seed);
        std::string encoded;
        mime::QpEncoder enc;
        enc.encode(reinterpret_cast<const std::uint8_t*>(data.data()), data.size(), encoded);
        enc.finish(encoded);
        for (const auto& line : split(encoded, "\r\n"))
            EXPECT_LE(line.size(), 76u);
        for (std::size_t i = 0; i < encoded.size(); ++i) {
            if (encoded[i] == '\n' || encoded[i] == '\r') {
                EXPECT_EQ(encoded.compare(i - (encoded[i] == '\n'), 2, "\r\n"), 0) << seed;
            }
        }
        std::string decoded;
        mime::QpDecoder dec;
        // Feed in odd pieces so that escapes and soft breaks span pieces.
        for (std::size_t at = 0; at < encoded.size(); at += 7)
            dec.decode(encoded.data() + at, std::min<std::size_t>(7, encoded.size() - at), decoded);
        dec.finish(decoded);
        EXPECT_EQ(decoded, data) << seed;
    }
}

// ---- decoding ----

TEST(MimeDecode, ReadsWhatItWrote)
{
    CMimeCodec writer;
    const std::string jpeg = bytes(5000, 3);
    const std::string log = "line one\r\n.line two\r\n";
    auto picture = memoryWith(jpeg);
    auto text = memoryWith(log);
    CTextList qp;
    qp.AddText("2");
    ASSERT_EQ(writer.AddAttachment(picture.get(), "c:\\snap.jpg", nullptr), MAIL_OK);
    ASSERT_EQ(writer.AddAttachment(text.get(), "log.txt", &qp), MAIL_OK);
    const std::string header = std::string(writer.GetGlobalHeader(0)) + writer.GetGlobalHeader(1);
    const std::string content = encode(writer, "the body\r\n");
    const std::string message = header + "\r\n" + content;
    auto source = memoryWith(message);

    CMimeCodec reader;
    ASSERT_EQ(reader.Decode(source.get()), MAIL_OK);
    std::int32_t kind = -1, sub = -1;
    reader.GetContentKind(&kind, &sub);
    EXPECT_EQ(kind, 6);
    EXPECT_EQ(sub, 3);
    ASSERT_EQ(reader.GetAttachmentCount(), 3);
    CMemoryDataSource body(nullptr, 1000, "body");
    ASSERT_EQ(reader.GetMessageBody(&body, 0), MAIL_OK);
    EXPECT_EQ(contents(body), "the body\r\n");
    ASSERT_EQ(reader.GetAttachmentCount(), 2);

    char name[64], type[64];
    CTextList params;
    ASSERT_EQ(reader.GetAttachmentInfo(0, name, 64, type, 64, &params), MAIL_OK);
    EXPECT_STREQ(name, ""); // quoted-printable part headers carry no name
    EXPECT_STREQ(type, "Text/Plain");
    EXPECT_STREQ(params.GetTextAt(0), "2");
    EXPECT_EQ(decodeAttachment(reader, 0), log);
    ASSERT_EQ(reader.GetAttachmentInfo(1, name, 64, type, 64, &params), MAIL_OK);
    EXPECT_STREQ(name, "snap.jpg");
    EXPECT_STREQ(type, "Application/Octet-stream");
    EXPECT_STREQ(params.GetTextAt(0), "1");
    EXPECT_EQ(decodeAttachment(reader, 1), jpeg);
    EXPECT_EQ(reader.GetAttachmentInfo(1, name, 8, type, 64, &params),
              MAIL_BAD_ARGUMENT); // name does not fit
    EXPECT_EQ(reader.GetAttachmentInfo(2, name, 64, type, 64, &params), MAIL_BAD_ARGUMENT);
    std::int32_t rc = 0;
    decodeAttachment(reader, 2, &rc);
    EXPECT_EQ(rc, MAIL_NO_SUCH_ATTACHMENT);

    // Encoding again copies the decoded parts as they stand.
    const std::string again = encode(reader, "new body");
    EXPECT_NE(again.find("name=\"snap.jpg\"; type=Unknown\r\nContent-Transfer-Encoding: BASE64\r\n\r\n" +
                         base64Encode(jpeg.data(), 57)),
              std::string::npos);
}

TEST(MimeDecode, PartHeaderDetails)
{
    const std::string message = "Mime-Version: 1.0 (produced by hand)\r\n"
                                "Content-Type: multipart/mixed;\r\n"
                                " boundary=\"b1\" (the boundary)\r\n"
                                "\r\n"
                                "preamble\r\n"
                                "--b1\r\n"
                                "Content-Type: image/jpeg; name=\"a b.jpg\"\r\n"
                                "Content-Transfer-Encoding: base64\r\n"
                                "\r\n"
                                "AAEC\r\n"
                                "--b1  \r\n" // transport padding
                                "Content-Type: application/octet-stream (comment; name=\"no\");\r\n"
                                "\tNAME=plain.bin ; TYPE=\"photo\"\r\n"
                                "Content-Transfer-Encoding: 8bit\r\n"
                                "\r\n"
                                "raw\r\n"
                                "--b1\r\n"
                                "\r\n"
                                "no header\r\n"
                                "--b1--\r\n"
                                "epilogue\r\n";
    auto source = memoryWith(message);
    CMimeCodec codec;
    ASSERT_EQ(codec.Decode(source.get()), MAIL_OK);
    ASSERT_EQ(codec.GetAttachmentCount(), 3);
    char name[64], type[64];
    CTextList params;
    ASSERT_EQ(codec.GetAttachmentInfo(0, name, 64, type, 64, &params), MAIL_OK);
    EXPECT_STREQ(type, "image/jpeg");
    EXPECT_STREQ(name, "a b.jpg");
    EXPECT_EQ(decodeAttachment(codec, 0), std::string("\0\1\2", 3));
    ASSERT_EQ(codec.GetAttachmentInfo(1, name, 64, type, 64, &params), MAIL_OK);
    EXPECT_STREQ(type, "application/octet-stream");
    EXPECT_STREQ(name, "plain.bin");
    EXPECT_STREQ(params.GetTextAt(0), "3");
    EXPECT_EQ(decodeAttachment(codec, 1), "raw");
    ASSERT_EQ(codec.GetAttachmentInfo(2, name, 64, type, 64, &params), MAIL_OK);
    EXPECT_STREQ(type, "Text/Plain");
    CMemoryDataSource body(nullptr, 100, "b");
    ASSERT_EQ(codec.GetMessageBody(&body, 0), MAIL_OK);
    EXPECT_EQ(contents(body), "no header");
    EXPECT_EQ(codec.GetMessageBody(&body, 0), MAIL_BAD_ARGUMENT); // no further text part
}

TEST(MimeDecode, MalformedAndHostileMessages)
{
    struct Case
    {
        const char* what;
        std::string message;
        std::int32_t result;
        std::int32_t parts;
        std::string firstPart; // decoded data of part 0, when checked
    };
    const std::string hugeHeader = "X-Big: " + std::string(200000, 'h') + "\r\n";
    std::string manyParts = "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=z\r\n\r\n";
    for (int i = 0; i < 20000; ++i)
        manyParts += "--z\r\n\r\nx\r\n";
    const Case cases[] = {
        {"not MIME", "Subject: x\r\n\r\nbody", MAIL_BAD_ARGUMENT, 0, ""},
        {"MIME-Version after the header", "Subject: x\r\n\r\nMIME-Version: 1.0\r\n", MAIL_BAD_ARGUMENT, 0,
         ""},
        {"no empty line", "MIME-Version: 1.0\r\nContent-Type: text/plain", MAIL_BAD_ARGUMENT, 0, ""},
        {"no content type", "MIME-Version: 1.0\r\n\r\nbody", MAIL_BAD_ARGUMENT, 0, ""},
        {"unknown top type", "MIME-Version: 1.0\r\nContent-Type: model/x\r\n\r\nbody", MAIL_BAD_ARGUMENT, 0,
         ""},
        {"multipart without boundary",
         "MIME-Version: 1.0\r\nContent-Type: multipart/mixed\r\n\r\n--x\r\n\r\na\r\n--x--", MAIL_BAD_ARGUMENT,
         0, ""},
        {"boundary never used",
         "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=q\r\n\r\nnothing\r\n",
         MAIL_BAD_ARGUMENT, 0, ""},
        {"boundary as a prefix only",
         "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=q\r\n\r\n--qq\r\n\r\na\r\n--qq--\r\n",
         MAIL_BAD_ARGUMENT, 0, ""},
        {"last part cut short",
         "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; "
         "boundary=q\r\n\r\n--q\r\nContent-Transfer-Encoding: "
         "base64\r\n\r\nAAEC",
         MAIL_OK, 1, std::string("\0\1\2", 3)},
        {"base64 with junk and early fill",
         "MIME-Version: 1.0\r\nContent-Type: application/x; name=a\r\nContent-Transfer-Encoding: "
         "BASE64\r\n\r\n"
         "QU*J#D\r\n RE\tV=GRw==\r\n!!\r\n",
         MAIL_OK, 1, "ABCDE\x19\x1c"},
        {"base64 group cut short",
         "MIME-Version: 1.0\r\nContent-Type: application/x\r\nContent-Transfer-Encoding: base64\r\n\r\nQUJ",
         MAIL_OK, 1, "AB"},
        {"quoted-printable with bad escapes",
         "MIME-Version: 1.0\r\nContent-Type: text/x\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
         "a=ZZb=4=41=4g soft=  \r\nbreak=\nlf=\r\nx=",
         MAIL_OK, 1, "a=ZZb=4A=4g softbreaklfx="},
        {"header line longer than any bound",
         "MIME-Version: 1.0\r\n" + hugeHeader + "Content-Type: text/x\r\n\r\nok", MAIL_OK, 1, "ok"},
        {"unterminated comment and quote",
         "MIME-Version: 1.0\r\nContent-Type: application/x; name=\"open (x\r\n\r\ndata", MAIL_OK, 1, "data"},
        {"only LF line ends",
         "MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=\"q\"\n\n--q\nContent-Type: "
         "text/plain\n\nhi\n--q--\n",
         MAIL_OK, 1, "hi"},
        {"parts beyond the bound are dropped", manyParts, MAIL_OK,
         static_cast<std::int32_t>(CMimeCodec::kMaxParts), "x"},
    };
    for (const auto& c : cases) {
        auto source = memoryWith(c.message);
        CMimeCodec codec;
        EXPECT_EQ(codec.Decode(source.get()), c.result) << c.what;
        EXPECT_EQ(codec.GetAttachmentCount(), c.parts) << c.what;
        if (c.result == MAIL_OK && c.parts > 0) {
            EXPECT_EQ(decodeAttachment(codec, 0), c.firstPart) << c.what;
        }
    }
}

TEST(MimeDecode, NestedAlternativesAreSplitWithinABound)
{
    // Alternatives nested deeper than the bound stay whole; nothing loops.
    std::string message = "MIME-Version: 1.0\r\nContent-Type: multipart/alternative; boundary=b0\r\n\r\n";
    std::string closing;
    for (int depth = 1; depth < 20; ++depth) {
        message += "--b" + std::to_string(depth - 1) + "\r\nContent-Type: multipart/alternative; boundary=b" +
                   std::to_string(depth) + "\r\n\r\n";
        closing = "--b" + std::to_string(depth - 1) + "--\r\n" + closing;
    }
    message += "--b19\r\nContent-Type: text/plain\r\n\r\ndeep\r\n--b19--\r\n" + closing;
    auto source = memoryWith(message);
    CMimeCodec codec;
    ASSERT_EQ(codec.Decode(source.get()), MAIL_OK);
    EXPECT_EQ(codec.GetAttachmentCount(), 1);
    char name[8], type[64];
    ASSERT_EQ(codec.GetAttachmentInfo(0, name, 8, type, 64, nullptr), MAIL_OK);
    EXPECT_STREQ(type, "multipart/alternative");
}

TEST(MimeDecode, MessagesWrittenByPythonsEmailPackage)
{
    TempDir dir;
    const auto made = runProcess({kSystemPython, peer("make_messages.py"), dir.path().string()});
    ASSERT_EQ(made.exitCode, 0) << made.out;

    std::map<std::string, std::vector<fs::path>> parts;
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        const std::string file = entry.path().filename().string();
        const auto marker = file.find(".part");
        if (marker != std::string::npos)
            parts[file.substr(0, marker)].push_back(entry.path());
    }
    int messages = 0;
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        if (entry.path().extension() != ".eml")
            continue;
        ++messages;
        const std::string stem = entry.path().stem().string();
        SCOPED_TRACE(stem);
        CFileDataSource source(entry.path().c_str(), 4096);
        CMimeCodec codec;
        ASSERT_EQ(codec.Decode(&source), MAIL_OK);
        if (fs::exists(dir.file(stem + ".body"))) {
            CMemoryDataSource body(nullptr, 100000, "body");
            ASSERT_EQ(codec.GetMessageBody(&body, 0), MAIL_OK);
            EXPECT_EQ(contents(body), readFile(dir.file(stem + ".body")));
        }
        auto& expected = parts[stem];
        std::sort(expected.begin(), expected.end());
        ASSERT_EQ(codec.GetAttachmentCount(), static_cast<std::int32_t>(expected.size()));
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const std::string file = expected[i].filename().string();
            std::string wantName = file.substr(file.find(".part") + 5);
            wantName = wantName.substr(wantName.find('.') + 1);
            if (wantName == "_")
                wantName.clear();
            char name[256], type[256];
            ASSERT_EQ(codec.GetAttachmentInfo(static_cast<std::int32_t>(i), name, 256, type, 256, nullptr),
                      MAIL_OK);
            EXPECT_EQ(name, wantName);
            EXPECT_EQ(decodeAttachment(codec, static_cast<std::int32_t>(i)), readFile(expected[i].string()))
                << file;
        }
    }
    EXPECT_EQ(messages, 4);
}

} // namespace
