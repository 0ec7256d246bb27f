#include "io/memory_data_source.h"
#include "mail/mail_errors.h"
#include "mail/mail_message.h"
#include "mail/mime_codec.h"
#include "mail/uu_codec.h"
#include "memory_sources.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace tessivor;

using namespace mailtest;

namespace {

std::string save(CMailMessage& message)
{
    CMemoryDataSource out(nullptr, 1 << 20, "out");
    EXPECT_EQ(message.Save(&out), MAIL_OK);
    return contents(out);
}

TEST(MailMessage, FieldNames)
{
    EXPECT_STREQ(CMailMessage::GetFieldName(0), "All Fields ");
    EXPECT_STREQ(CMailMessage::GetFieldName(2), "To:");
    EXPECT_STREQ(CMailMessage::GetFieldName(11), "X-Newsreader:");
    EXPECT_STREQ(CMailMessage::GetFieldName(13), "Custom");
    EXPECT_EQ(CMailMessage::GetFieldName(14), nullptr);
    EXPECT_EQ(CMailMessage::GetFieldName(-1), nullptr);
}

TEST(MailMessage, HeaderFieldsAddQueryAndClear)
{
    CMailMessage m;
    EXPECT_EQ(m.AddHeaderField("a@x", CMailMessage::FIELD_TO, nullptr), 1);
    EXPECT_EQ(m.AddHeaderField("b@x", CMailMessage::FIELD_TO, nullptr), 1);
    EXPECT_EQ(m.AddHeaderField("Hi", CMailMessage::FIELD_SUBJECT, nullptr), 1);
    EXPECT_EQ(m.AddHeaderField("abc", CMailMessage::FIELD_CUSTOM, "X-Mailer:"), 1);
    EXPECT_EQ(m.AddHeaderField(nullptr, CMailMessage::FIELD_TO, nullptr), 0);
    EXPECT_EQ(m.AddHeaderField("v", CMailMessage::FIELD_CUSTOM, nullptr), 0);
    EXPECT_EQ(m.AddHeaderField("v", 14, nullptr), 0);
    EXPECT_EQ(m.AddHeaderField("v", 0, nullptr), 0);

    EXPECT_EQ(m.GetFieldCount(CMailMessage::FIELD_TO), 2);
    EXPECT_EQ(m.GetFieldCount(CMailMessage::FIELD_ALL), 4);
    EXPECT_STREQ(m.GetFieldValue(CMailMessage::FIELD_TO, 1), "b@x");
    EXPECT_EQ(m.GetFieldValue(CMailMessage::FIELD_TO, 2), nullptr);
    EXPECT_STREQ(m.GetFieldValue(CMailMessage::FIELD_ALL, 2), "Hi");
    EXPECT_STREQ(m.GetCustomFieldName(0), "X-Mailer:");
    EXPECT_EQ(m.GetFieldCountByName("x-mailer:"), 1);
    EXPECT_STREQ(m.GetFieldValueByName("TO:", 0), "a@x");

    char out[8];
    EXPECT_EQ(m.GetHeader(CMailMessage::FIELD_TO, out, 7), 1);
    EXPECT_STREQ(out, "a@xb@x");
    EXPECT_EQ(m.GetHeader(CMailMessage::FIELD_TO, out, 6), 0); // refused, not cut silently
    EXPECT_STREQ(out, "a@x");
    EXPECT_EQ(m.GetHeader(CMailMessage::FIELD_TO, nullptr, 6), 0);
    EXPECT_EQ(m.GetHeaderByName("subject:", out, 8), 1);
    EXPECT_STREQ(out, "Hi");

    EXPECT_EQ(m.ClearHeader(CMailMessage::FIELD_CUSTOM, "X-MAILER:"), 1);
    EXPECT_EQ(m.GetFieldCount(CMailMessage::FIELD_CUSTOM), 0);
    EXPECT_EQ(m.ClearHeader(CMailMessage::FIELD_TO, nullptr), 1);
    EXPECT_EQ(m.GetFieldCount(CMailMessage::FIELD_ALL), 1);
    EXPECT_EQ(m.ClearHeader(CMailMessage::FIELD_ALL, nullptr), 1);
    EXPECT_EQ(m.GetFieldCount(CMailMessage::FIELD_ALL), 0);
}

TEST(MailMessage, BodyCapacity)
{
    CMailMessage m;
    EXPECT_EQ(m.GetBody(), nullptr);
    EXPECT_EQ(m.SetBody(std::string(32767, 'a').c_str()), 1);
    EXPECT_EQ(std::strlen(m.GetBody()), 32767u);
    EXPECT_EQ(m.SetBody(std::string(32768, 'b').c_str()), 0);
    EXPECT_EQ(m.GetBody()[0], 'a'); // unchanged
    EXPECT_EQ(m.SetBody(nullptr), 0);
    m.SetBodyCapacity(4);
    EXPECT_EQ(m.SetBody("abcd"), 0);
    EXPECT_EQ(m.SetBody("abc"), 1);
}

TEST(MailMessage, CodecTable)
{
    CMailMessage m;
    EXPECT_STREQ(m.GetEncoder()->GetName(), "Mime");
    EXPECT_EQ(m.SelectEncoder("uuencode"), 0);
    EXPECT_STREQ(m.GetEncoder()->GetName(), "UUEncode");
    EXPECT_EQ(m.SelectEncoder("BinHex"), 1);
    EXPECT_EQ(m.AddCodec(new CMimeCodec()), 0); // same name: that one becomes the encoder
    EXPECT_STREQ(m.GetEncoder()->GetName(), "Mime");

    class Named : public CUUCodec
    {
    public:
        explicit Named(std::string n) : m_name(std::move(n)) {}
        const char* GetName() override { return m_name.c_str(); }

    private:
        std::string m_name;
    };
    EXPECT_EQ(m.AddCodec(new Named("third")), 0);
    EXPECT_STREQ(m.GetEncoder()->GetName(), "Mime"); // the encoder stays
    EXPECT_EQ(m.AddCodec(new Named("fourth")), 0);
    EXPECT_EQ(m.AddCodec(new Named("fifth")), 1);
    EXPECT_EQ(m.SelectEncoder("FOURTH"), 0);
    EXPECT_EQ(m.AddCodec(nullptr), 1);
}

TEST(MailMessage, SaveWritesFieldsInIdOrderWithContinuations)
{
    CMailMessage m;
    m.AddHeaderField("Hi there", CMailMessage::FIELD_SUBJECT, nullptr);
    m.AddHeaderField("abc", CMailMessage::FIELD_CUSTOM, "X-Mailer:");
    m.AddHeaderField("def", CMailMessage::FIELD_CUSTOM, "x-mailer:");
    m.AddHeaderField("1", CMailMessage::FIELD_CUSTOM, "X-Other:");
    m.AddHeaderField("a@x", CMailMessage::FIELD_TO, nullptr);
    m.AddHeaderField("\tb@x", CMailMessage::FIELD_TO, nullptr);
    m.AddHeaderField("c@x", CMailMessage::FIELD_TO, nullptr);
    m.SetBody("The body.");
    EXPECT_EQ(save(m), "To: a@x\r\n"
                       "\tb@x\r\n"
                       " c@x\r\n"
                       "Subject: Hi there\r\n"
                       "X-Mailer: abc\r\n"
                       " def\r\n"
                       "X-Other: 1\r\n"
                       "\r\n"
                       "The body.\r\n");
}

TEST(MailMessage, SaveWithAttachmentsUsesTheEncoderHeaderAndLoadsBack)
{
    TempDir dir;
    const std::string picture(3000, '\xd8');
    writeFile(dir.file("cam.jpg"), picture);
    CMailMessage m;
    m.AddHeaderField("owner@x", CMailMessage::FIELD_TO, nullptr);
    m.AddHeaderField("old", CMailMessage::FIELD_CUSTOM, "Content-Type:"); // replaced by the encoder's
    m.SetBody("see attached\r\n");
    ASSERT_EQ(m.AddAttachmentFile(dir.file("cam.jpg").c_str(), nullptr), MAIL_OK);
    const std::string boundary = static_cast<CMimeCodec*>(m.GetEncoder())->GetBoundary();
    const std::string text = save(m);
    EXPECT_EQ(
        text.rfind("To: owner@x\r\nMIME-Version: 1.0\r\nContent-Type: Multipart/Mixed;\r\n\tboundary=\"" +
                       boundary + "\"\r\n\r\nThis is a multi-part message in MIME format.\r\n",
                   0),
        0u)
        << text;
    EXPECT_EQ(m.GetFieldCount(CMailMessage::FIELD_CUSTOM), 0);

    auto source = memoryWith(text);
    CMailMessage loaded;
    ASSERT_EQ(loaded.Load(source.get()), MAIL_OK);
    EXPECT_STREQ(loaded.GetDecoder()->GetName(), "Mime");
    EXPECT_STREQ(loaded.GetBody(), "see attached\r\n");
    EXPECT_STREQ(loaded.GetFieldValue(CMailMessage::FIELD_TO, 0), " owner@x");
    ASSERT_EQ(loaded.GetAttachmentCount(), 1);
    char name[64], type[64];
    ASSERT_EQ(loaded.GetAttachmentInfo(0, name, 64, type, 64, nullptr), MAIL_OK);
    EXPECT_STREQ(name, "cam.jpg");
    ASSERT_EQ(loaded.DecodeAttachmentToFile(0, dir.file("out.jpg").c_str()), MAIL_OK);
    EXPECT_EQ(readFile(dir.file("out.jpg")), picture);
}

TEST(MailMessage, LoadHeaderRules)
{
    const std::string message = "subject: hello\r\n"
                                "To: a@x,\r\n"
                                "\tb@x\r\n"
                                "Toxic: not a To field\r\n"
                                "X-Very-Long-Field-Name-Beyond-29-Characters: v\r\n"
                                "no colon at all\r\n"
                                "X-Long: " +
                                std::string(3000, 'L') +
                                "\r\n"
                                "\r\n"
                                "plain body line\r\n"
                                "second\n";
    auto source = memoryWith(message);
    CMailMessage m;
    ASSERT_EQ(m.Load(source.get()), MAIL_OK);
    EXPECT_STREQ(m.GetFieldValue(CMailMessage::FIELD_SUBJECT, 0), " hello");
    EXPECT_EQ(m.GetFieldCount(CMailMessage::FIELD_TO), 2);
    EXPECT_STREQ(m.GetFieldValue(CMailMessage::FIELD_TO, 1), "\tb@x");
    ASSERT_EQ(m.GetFieldCount(CMailMessage::FIELD_CUSTOM), 4);
    EXPECT_STREQ(m.GetCustomFieldName(0), "Toxic:");
    EXPECT_STREQ(m.GetCustomFieldName(1), ""); // the name's first 29 characters hold no colon
    EXPECT_STREQ(m.GetCustomFieldName(2), "");
    EXPECT_STREQ(m.GetFieldValue(CMailMessage::FIELD_CUSTOM, 2), "no colon at all");
    EXPECT_STREQ(m.GetCustomFieldName(3), "X-Long:");
    EXPECT_EQ(std::strlen(m.GetFieldValue(CMailMessage::FIELD_CUSTOM, 3)), 3001u); // joined, not split
    EXPECT_STREQ(m.GetBody(), "plain body line\r\nsecond\n");
    EXPECT_EQ(m.GetAttachmentCount(), 0);
}

TEST(MailMessage, LoadRefusesABodyBeyondTheCapacity)
{
    auto source =
        memoryWith("Subject: x\r\n\r\n" + std::string(40, 'a') + "\r\n" + std::string(40, 'b') + "\r\n");
    CMailMessage m;
    m.SetBodyCapacity(60);
    EXPECT_EQ(m.Load(source.get()), MAIL_TOO_LONG);
    EXPECT_EQ(std::string(m.GetBody()), std::string(40, 'a') + "\r\n");
    CMailMessage other;
    EXPECT_EQ(other.Load(nullptr), MAIL_MSG_OPEN_FAILED);
    EXPECT_EQ(other.Save(nullptr), MAIL_MSG_OPEN_FAILED);
}

TEST(MailMessage, LoadKeepsTheStartOfADecodedBodyBeyondTheCapacityAndSaysSo)
{
    const std::string text(100, 'a');
    const struct
    {
        const char* decoder;
        std::string message;
    } cases[] = {
        {"Mime", "MIME-Version: 1.0\r\nContent-Type: text/plain\r\n\r\n" + text + "\r\n"},
        {"UUEncode", "Subject: x\r\n\r\n" + text + "\r\n\r\nbegin 660 f\r\n#86)C\r\n`\r\nend\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.decoder);
        auto source = memoryWith(c.message);
        CMailMessage m;
        m.SetBodyCapacity(60);
        EXPECT_EQ(m.Load(source.get()), MAIL_TOO_LONG);
        EXPECT_STREQ(m.GetDecoder()->GetName(), c.decoder);
        ASSERT_NE(m.GetBody(), nullptr);
        EXPECT_EQ(std::string(m.GetBody()), text.substr(0, 59));
    }
}

TEST(MailMessage, UUEncodedMessageRoundTrip)
{
    CMailMessage m;
    ASSERT_EQ(m.SelectEncoder("UUEncode"), 0);
    m.AddHeaderField("Pictures", CMailMessage::FIELD_SUBJECT, nullptr);
    m.SetBody("two files");
    auto a = memoryWith(std::string(100, 'a'));
    auto b = memoryWith(std::string(7, 'b'));
    ASSERT_EQ(m.AddAttachment(a.get(), "a.bin", nullptr), MAIL_OK);
    ASSERT_EQ(m.AddAttachment(b.get(), "b.bin", nullptr), MAIL_OK);
    auto saved = memoryWith(save(m));
    CMailMessage loaded;
    ASSERT_EQ(loaded.Load(saved.get()), MAIL_OK);
    EXPECT_STREQ(loaded.GetDecoder()->GetName(), "UUEncode");
    EXPECT_STREQ(loaded.GetBody(), "two files\r\n\r\n");
    ASSERT_EQ(loaded.GetAttachmentCount(), 2);
    CMemoryDataSource out(nullptr, 1000, "o");
    ASSERT_EQ(loaded.DecodeAttachment(1, &out), MAIL_OK);
    EXPECT_EQ(std::string(out.GetData()), std::string(7, 'b'));
}

} // namespace
