// CMailMessage: one e-mail message in memory (header fields in order of adding, a body text
// and the attachment codecs), written out in Internet message format by Save and read back by
// Load. The SMTP client builds one for every message it sends.
//
// Results: the field and body calls answer 1/0 (done/refused) or a count; Save and Load answer
// 0 or a MailError code. Texts are NUL-terminated byte strings; the message keeps copies.
#pragma once

#include "io/data_source.h"
#include "mail/mail_codec.h"
#include "mail/text_list.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tessivor {

class CMailMessage
{
public:
    // Header field ids; 0 stands for "all fields" in queries, 13 for a field with its own name.
    enum FieldId : std::int32_t
    {
        FIELD_ALL = 0,
        FIELD_MESSAGE_ID = 1,
        FIELD_TO = 2,
        FIELD_CC = 3,
        FIELD_BCC = 4,
        FIELD_FROM = 5,
        FIELD_SUBJECT = 6,
        FIELD_DATE = 7,
        FIELD_NEWSGROUPS = 8,
        FIELD_XREF = 9,
        FIELD_REPLY_TO = 10,
        FIELD_X_NEWSREADER = 11,
        FIELD_REFERENCES = 12,
        FIELD_CUSTOM = 13,
    };
    static constexpr std::int32_t kDefaultBodyCapacity = 32768; // terminator included
    static constexpr std::int32_t kMaxCodecs = 4;
    static constexpr std::int32_t kMaxLine = 1000; // line length read by Load

    // Slot 0 holds a CUUCodec, slot 1 a CMimeCodec, which encodes.
    CMailMessage();
    ~CMailMessage();
    CMailMessage(const CMailMessage&) = delete;
    CMailMessage& operator=(const CMailMessage&) = delete;

    // The field's name with its colon ("To:"), or null for an id outside 0 to 13.
    static const char* GetFieldName(std::int32_t id);

    // 1 when added; 0 when the value is null, the id is outside 1 to 13, or the id is 13 without
    // a name.
    std::int32_t AddHeaderField(const char* value, std::int32_t id, const char* customName);
    // Id 0 removes all fields; 1 to 12 all fields of that id; 13 the custom fields of that name
    // (ASCII case ignored), or all custom fields when the name is null. 1.
    std::int32_t ClearHeader(std::int32_t id, const char* name);
    std::int32_t GetFieldCount(std::int32_t id) const;
    const char* GetFieldValue(std::int32_t id, std::int32_t index) const;
    const char* GetCustomFieldName(std::int32_t index) const;
    // 1 and the concatenated values of the fields with that id; 0 when the output is null, the
    // size is 0 or less, or they do not fit (the output then holds the values that fitted).
    std::int32_t GetHeader(std::int32_t id, char* output, std::int32_t size) const;
    std::int32_t GetFieldCountByName(const char* name) const;
    const char* GetFieldValueByName(const char* name, std::int32_t index) const;
    std::int32_t GetHeaderByName(const char* name, char* output, std::int32_t size) const;

    // 1 when the text and its terminator fit the body capacity (a copy is kept), else 0 and the
    // body stays as it was.
    std::int32_t SetBody(const char* text);
    const char* GetBody() const;
    void SetBodyCapacity(std::int32_t bytes);
    std::int32_t GetBodyCapacity() const { return m_bodyCapacity; }

    std::int32_t AddAttachment(CDataSource* source, const char* name, const CTextList* params);
    std::int32_t AddAttachmentFile(const char* path, const CTextList* params);
    std::int32_t GetAttachmentCount();
    std::int32_t GetGlobalHeaderCount();
    const char* GetGlobalHeader(std::int32_t index);
    std::int32_t AddFileHeaderTag(const char* text);
    void EmptyAttachments();
    std::int32_t GetAttachmentInfo(std::int32_t index, char* name, std::int32_t nameSize, char* type,
                                   std::int32_t typeSize, CTextList* params);
    std::int32_t GetAttachmentSize(std::int32_t index);
    std::int32_t DecodeAttachment(std::int32_t index, CDataSource* output);
    std::int32_t DecodeAttachmentToFile(std::int32_t index, const char* path);
    std::int32_t EncodeBody(CDataSource* body, CDataSource* output);
    std::int32_t EncodeTextToFile(const char* text, const char* path);
    // 0 when a codec of that name (ASCII case ignored) is now the encoder, else 1.
    std::int32_t SelectEncoder(const char* codecName);
    // Takes ownership. A codec with the name of one already held makes that one the encoder (the
    // new one is destroyed); 1 when the table is full; otherwise added at the end. 0.
    std::int32_t AddCodec(CMailCodec* codec);
    CMailCodec* GetEncoder() { return m_codecs[static_cast<std::size_t>(m_encoder)].get(); }
    CMailCodec* GetDecoder() { return m_codecs[static_cast<std::size_t>(m_decoder)].get(); }

    std::int32_t Save(CDataSource* output);
    std::int32_t Load(CDataSource* input);

private:
    struct Field
    {
        std::int32_t id;
        std::string name;
        std::string value;
    };
    const Field* NthField(std::int32_t id, std::int32_t index) const;
    const Field* NthFieldByName(const char* name, std::int32_t index) const;

    std::vector<Field> m_fields;
    std::unique_ptr<std::string> m_body;
    std::int32_t m_bodyCapacity = kDefaultBodyCapacity;
    std::vector<std::unique_ptr<CMailCodec>> m_codecs;
    std::int32_t m_encoder = 1;
    std::int32_t m_decoder = 1;
    bool m_decoded = false;
};

} // namespace tessivor
