#include "mail/mail_message.h"

#include "io/memory_data_source.h"
#include "mail/mail_errors.h"
#include "mail/mime_codec.h"
#include "mail/mime_header.h"
#include "mail/uu_codec.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace tessivor {

namespace {

const char* const kFieldNames[] = {
    "All Fields ", "Message-Id:", "To:",   "Cc:",       "Bcc:",          "From:",       "Subject:",
    "Date:",       "Newsgroups:", "Xref:", "Reply-To:", "X-Newsreader:", "References:", "Custom",
};

// A header field read by Load keeps at most this many bytes; a longer line is cut.
constexpr std::size_t kMaxLoadedField = 8192;
// Custom field names keep their first 29 characters.
constexpr std::size_t kMaxCustomName = 29;

bool startsWithIgnoreCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && mime::equalsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

} // namespace

CMailMessage::CMailMessage()
{
    m_codecs.emplace_back(new CUUCodec());
    m_codecs.emplace_back(new CMimeCodec());
}

CMailMessage::~CMailMessage() = default;

const char* CMailMessage::GetFieldName(std::int32_t id)
{
    if (id < FIELD_ALL || id > FIELD_CUSTOM)
        return nullptr;
    return kFieldNames[id];
}

std::int32_t CMailMessage::AddHeaderField(const char* value, std::int32_t id, const char* customName)
{
    if (value == nullptr || id < FIELD_MESSAGE_ID || id > FIELD_CUSTOM)
        return 0;
    if (id == FIELD_CUSTOM && customName == nullptr)
        return 0;
    m_fields.push_back(Field{id, id == FIELD_CUSTOM ? customName : kFieldNames[id], value});
    return 1;
}

std::int32_t CMailMessage::ClearHeader(std::int32_t id, const char* name)
{
    m_fields.erase(std::remove_if(m_fields.begin(), m_fields.end(),
                                  [&](const Field& f) {
                                      if (id == FIELD_ALL)
                                          return true;
                                      if (f.id != id)
                                          return false;
                                      return id != FIELD_CUSTOM || name == nullptr ||
                                             mime::equalsIgnoreCase(f.name, name);
                                  }),
                   m_fields.end());
    return 1;
}

std::int32_t CMailMessage::GetFieldCount(std::int32_t id) const
{
    return static_cast<std::int32_t>(std::count_if(
        m_fields.begin(), m_fields.end(), [id](const Field& f) { return id == FIELD_ALL || f.id == id; }));
}

const CMailMessage::Field* CMailMessage::NthField(std::int32_t id, std::int32_t index) const
{
    for (const auto& f : m_fields)
        if ((id == FIELD_ALL || f.id == id) && index-- == 0)
            return &f;
    return nullptr;
}

const CMailMessage::Field* CMailMessage::NthFieldByName(const char* name, std::int32_t index) const
{
    if (name == nullptr)
        return nullptr;
    for (const auto& f : m_fields)
        if (mime::equalsIgnoreCase(f.name, name) && index-- == 0)
            return &f;
    return nullptr;
}

const char* CMailMessage::GetFieldValue(std::int32_t id, std::int32_t index) const
{
    const Field* f = NthField(id, index);
    return f != nullptr ? f->value.c_str() : nullptr;
}

const char* CMailMessage::GetCustomFieldName(std::int32_t index) const
{
    const Field* f = NthField(FIELD_CUSTOM, index);
    return f != nullptr ? f->name.c_str() : nullptr;
}

namespace {

// Concatenates `values` into output; 1 when all fitted, else 0 with the ones that did.
template <class Values> std::int32_t concatenate(const Values& values, char* output, std::int32_t size)
{
    if (output == nullptr || size <= 0)
        return 0;
    output[0] = '\0';
    std::size_t used = 0;
    for (const std::string* v : values) {
        if (used + v->size() + 1 > static_cast<std::size_t>(size))
            return 0;
        std::memcpy(output + used, v->c_str(), v->size() + 1);
        used += v->size();
    }
    return 1;
}

} // namespace

std::int32_t CMailMessage::GetHeader(std::int32_t id, char* output, std::int32_t size) const
{
    std::vector<const std::string*> values;
    for (const auto& f : m_fields)
        if (id == FIELD_ALL || f.id == id)
            values.push_back(&f.value);
    return concatenate(values, output, size);
}

std::int32_t CMailMessage::GetFieldCountByName(const char* name) const
{
    if (name == nullptr)
        return 0;
    return static_cast<std::int32_t>(std::count_if(m_fields.begin(), m_fields.end(), [name](const Field& f) {
        return mime::equalsIgnoreCase(f.name, name);
    }));
}

const char* CMailMessage::GetFieldValueByName(const char* name, std::int32_t index) const
{
    const Field* f = NthFieldByName(name, index);
    return f != nullptr ? f->value.c_str() : nullptr;
}

std::int32_t CMailMessage::GetHeaderByName(const char* name, char* output, std::int32_t size) const
{
    if (name == nullptr)
        return 0;
    std::vector<const std::string*> values;
    for (const auto& f : m_fields)
        if (mime::equalsIgnoreCase(f.name, name))
            values.push_back(&f.value);
    return concatenate(values, output, size);
}

std::int32_t CMailMessage::SetBody(const char* text)
{
    if (text == nullptr)
        return 0;
    const std::size_t n = std::strlen(text);
    if (m_bodyCapacity <= 0 || n + 1 > static_cast<std::size_t>(m_bodyCapacity))
        return 0;
    m_body = std::make_unique<std::string>(text, n);
    return 1;
}

const char* CMailMessage::GetBody() const
{
    return m_body ? m_body->c_str() : nullptr;
}

void CMailMessage::SetBodyCapacity(std::int32_t bytes)
{
    m_bodyCapacity = std::max<std::int32_t>(bytes, 0);
}

std::int32_t CMailMessage::AddAttachment(CDataSource* source, const char* name, const CTextList* params)
{
    m_decoded = false;
    return GetEncoder()->AddAttachment(source, name, params);
}

std::int32_t CMailMessage::AddAttachmentFile(const char* path, const CTextList* params)
{
    m_decoded = false;
    return GetEncoder()->AddAttachmentFile(path, params);
}

std::int32_t CMailMessage::GetAttachmentCount()
{
    return m_decoded ? GetDecoder()->GetAttachmentCount() : GetEncoder()->GetAttachmentCount();
}

std::int32_t CMailMessage::GetGlobalHeaderCount()
{
    return GetEncoder()->GetGlobalHeaderCount();
}

const char* CMailMessage::GetGlobalHeader(std::int32_t index)
{
    return GetEncoder()->GetGlobalHeader(index);
}

std::int32_t CMailMessage::AddFileHeaderTag(const char* text)
{
    return GetEncoder()->AddFileHeaderTag(text);
}

void CMailMessage::EmptyAttachments()
{
    for (auto& c : m_codecs)
        c->EmptyAttachments();
    m_decoded = false;
}

std::int32_t CMailMessage::GetAttachmentInfo(std::int32_t index, char* name, std::int32_t nameSize,
                                             char* type, std::int32_t typeSize, CTextList* params)
{
    return GetDecoder()->GetAttachmentInfo(index, name, nameSize, type, typeSize, params);
}

std::int32_t CMailMessage::GetAttachmentSize(std::int32_t index)
{
    return GetDecoder()->GetAttachmentSize(index);
}

std::int32_t CMailMessage::DecodeAttachment(std::int32_t index, CDataSource* output)
{
    return GetDecoder()->DecodeAttachment(index, output, 0);
}

std::int32_t CMailMessage::DecodeAttachmentToFile(std::int32_t index, const char* path)
{
    return GetDecoder()->DecodeAttachmentToFile(index, path);
}

std::int32_t CMailMessage::EncodeBody(CDataSource* body, CDataSource* output)
{
    return GetEncoder()->Encode(body, output, 0);
}

std::int32_t CMailMessage::EncodeTextToFile(const char* text, const char* path)
{
    if (text == nullptr || path == nullptr)
        return MAIL_BAD_ARGUMENT;
    return GetEncoder()->EncodeTextToFile(text, path);
}

std::int32_t CMailMessage::SelectEncoder(const char* codecName)
{
    if (codecName == nullptr)
        return 1;
    for (std::size_t i = 0; i < m_codecs.size(); ++i) {
        if (mime::equalsIgnoreCase(m_codecs[i]->GetName(), codecName)) {
            m_encoder = static_cast<std::int32_t>(i);
            return 0;
        }
    }
    return 1;
}

std::int32_t CMailMessage::AddCodec(CMailCodec* codec)
{
    std::unique_ptr<CMailCodec> owned(codec);
    if (!owned)
        return 1;
    if (SelectEncoder(owned->GetName()) == 0)
        return 0;
    if (static_cast<std::int32_t>(m_codecs.size()) >= kMaxCodecs)
        return 1;
    m_codecs.push_back(std::move(owned));
    return 0;
}

std::int32_t CMailMessage::Save(CDataSource* output)
{
    if (output == nullptr || output->Open(1) != 0)
        return MAIL_MSG_OPEN_FAILED;
    CMailCodec* encoder = GetEncoder();
    const bool withAttachments = encoder->GetAttachmentCount() > 0;
    if (withAttachments) {
        // The encoder's own header lines replace custom fields of the same names.
        for (std::int32_t i = 0; i < encoder->GetGlobalHeaderCount(); ++i) {
            const std::string line = encoder->GetGlobalHeader(i);
            if (line.empty() || line[0] == ' ' || line[0] == '\t')
                continue;
            const std::string name = line.substr(0, std::min(line.find(':'), kMaxCustomName)) + ":";
            ClearHeader(FIELD_CUSTOM, name.c_str());
        }
    }
    auto fail = [&](std::int32_t code) {
        output->Close();
        return code;
    };
    for (std::int32_t id = FIELD_MESSAGE_ID; id <= FIELD_CUSTOM; ++id) {
        const std::string* previousCustom = nullptr;
        bool first = true;
        for (const auto& f : m_fields) {
            if (f.id != id)
                continue;
            const bool startsField =
                first || (id == FIELD_CUSTOM && !mime::equalsIgnoreCase(f.name, *previousCustom));
            const bool folded = !f.value.empty() && (f.value[0] == ' ' || f.value[0] == '\t');
            std::string line = startsField ? f.name : std::string();
            if (!folded)
                line += ' ';
            line += f.value;
            if (output->WriteLine(line.c_str()) < 0)
                return fail(MAIL_MSG_WRITE_FAILED);
            first = false;
            previousCustom = &f.name;
        }
    }
    if (withAttachments) {
        for (std::int32_t i = 0; i < encoder->GetGlobalHeaderCount(); ++i)
            if (output->WriteLine(encoder->GetGlobalHeader(i)) < 0)
                return fail(MAIL_MSG_WRITE_FAILED);
    }
    if (output->WriteLine("") < 0)
        return fail(MAIL_MSG_WRITE_FAILED);
    if (!withAttachments && m_body && !m_body->empty() && output->WriteLine(m_body->c_str()) < 0)
        return fail(MAIL_MSG_WRITE_FAILED);
    if (output->Close() != 0)
        return MAIL_MSG_CLOSE_FAILED;
    if (!withAttachments)
        return MAIL_OK;
    const std::string bodyText = m_body ? *m_body : std::string();
    const auto length = static_cast<std::int32_t>(bodyText.size());
    CMemoryDataSource body(nullptr, length, "body");
    if (body.Open(1) != 0 || body.Write(bodyText.data(), length) != length)
        return MAIL_NO_MEMORY;
    body.Close();
    return encoder->Encode(&body, output, 1);
}

std::int32_t CMailMessage::Load(CDataSource* input)
{
    EmptyAttachments();
    ClearHeader(FIELD_ALL, nullptr);
    if (input == nullptr || input->Open(0) != 0)
        return MAIL_MSG_OPEN_FAILED;

    // Header: one field per line; a line beginning with a blank or tab continues the field
    // before it. A line longer than the read buffer is joined from its pieces (up to a bound).
    std::vector<char> buffer(static_cast<std::size_t>(kMaxLine) + 1);
    bool haveField = false;
    std::int32_t lastId = FIELD_CUSTOM;
    std::string lastName;
    while (true) {
        std::string line;
        bool ended = false;
        bool any = false;
        while (!ended) {
            const std::int32_t n = input->ReadLine(buffer.data(), kMaxLine + 1);
            if (n <= 0)
                break;
            any = true;
            ended = buffer[static_cast<std::size_t>(n) - 1] == '\n' ||
                    buffer[static_cast<std::size_t>(n) - 1] == '\r';
            if (line.size() < kMaxLoadedField)
                line.append(buffer.data(), std::min<std::size_t>(static_cast<std::size_t>(n),
                                                                 kMaxLoadedField - line.size()));
        }
        if (!any)
            break;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        if (line.empty())
            break;
        if (line[0] == ' ' || line[0] == '\t') {
            if (haveField)
                AddHeaderField(line.c_str(), lastId, lastName.c_str());
            continue;
        }
        std::int32_t id = FIELD_CUSTOM;
        for (std::int32_t i = FIELD_MESSAGE_ID; i <= FIELD_REFERENCES; ++i) {
            if (startsWithIgnoreCase(line, kFieldNames[i])) {
                id = i;
                break;
            }
        }
        const auto colon = line.find(':');
        std::string name;
        if (id == FIELD_CUSTOM) {
            name = line.substr(0, kMaxCustomName);
            const auto nameColon = name.find(':');
            name = nameColon == std::string::npos ? std::string() : name.substr(0, nameColon + 1);
        }
        const std::string value = colon == std::string::npos ? line : line.substr(colon + 1);
        AddHeaderField(value.c_str(), id, name.c_str());
        haveField = true;
        lastId = id;
        lastName = name;
    }

    std::vector<char> storage;
    try {
        storage.assign(static_cast<std::size_t>(std::max<std::int32_t>(m_bodyCapacity, 1)), '\0');
    } catch (const std::bad_alloc&) {
        input->Close();
        return MAIL_NO_MEMORY;
    }
    m_body = std::make_unique<std::string>();
    const std::int32_t bodyStart = input->Seek(0, 1);

    bool codecDecoded = false;
    std::int32_t decodedRc = MAIL_OK;
    for (std::size_t i = 0; i < m_codecs.size(); ++i) {
        if (m_codecs[i]->Decode(input) != MAIL_OK)
            continue;
        m_decoder = static_cast<std::int32_t>(i);
        m_decoded = true;
        codecDecoded = true;
        CMemoryDataSource bodySource(storage.data(), static_cast<std::int32_t>(storage.size()) - 1, "body");
        const std::int32_t bodyRc = m_codecs[i]->GetMessageBody(&bodySource, 0);
        // A body larger than the capacity fills the storage: the part that fitted is kept and the
        // result says that the rest is missing.
        if (bodyRc == MAIL_OK || bodyRc == MAIL_SHORT_WRITE)
            m_body = std::make_unique<std::string>(storage.data());
        if (bodyRc == MAIL_SHORT_WRITE)
            decodedRc = MAIL_TOO_LONG;
        break;
    }
    if (input->Close() != 0)
        return MAIL_MSG_CLOSE_FAILED;
    if (codecDecoded)
        return decodedRc;

    // No codec read the message: the body is the text after the header, line by line.
    if (input->Open(0) != 0)
        return MAIL_MSG_OPEN_FAILED;
    std::int32_t rc = MAIL_OK;
    if (bodyStart < 0 || input->Seek(bodyStart, 0) != bodyStart)
        rc = MAIL_MSG_OPEN_FAILED;
    std::string body;
    while (rc == MAIL_OK) {
        const std::int32_t n = input->ReadLine(buffer.data(), kMaxLine + 1);
        if (n <= 0)
            break;
        std::string line(buffer.data(), static_cast<std::size_t>(n));
        if (line.back() != '\r' && line.back() != '\n')
            line += "\r\n";
        if (body.size() + line.size() >= static_cast<std::size_t>(std::max(m_bodyCapacity - 3, 0))) {
            rc = MAIL_TOO_LONG;
            break;
        }
        body += line;
    }
    *m_body = body;
    if (input->Close() != 0 && rc == MAIL_OK)
        rc = MAIL_MSG_CLOSE_FAILED;
    return rc;
}

} // namespace tessivor
