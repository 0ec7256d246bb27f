#include "mail/uu_codec.h"

#include "mail/line_scanner.h"
#include "mail/mail_errors.h"
#include "mail/mime_header.h"

#include <algorithm>
#include <cstring>

namespace tessivor {

struct CUUCodec::Record
{
    std::unique_ptr<CDataSource> source; // own data to encode; null for a block found by Decode
    std::string name;
    std::int64_t size = 0;
    std::int32_t mode = 0660;
    std::int32_t offset = -1; // found block: its "begin" line
    std::int32_t length = 0;  // found block: through its "end" line
};

namespace {

constexpr std::size_t kLineBytes = 45;

char encodeValue(unsigned v)
{
    v &= 63;
    return v == 0 ? '`' : static_cast<char>(v + 32);
}

unsigned decodeValue(char c)
{
    return (static_cast<unsigned>(static_cast<unsigned char>(c)) - 32u) & 63u;
}

// Parses "begin <octal mode> <name>"; false when the line is no such line.
bool parseBeginLine(const std::string& line, std::int32_t* mode, std::string* name)
{
    if (line.compare(0, 6, "begin ") != 0)
        return false;
    std::size_t i = 6;
    while (i < line.size() && line[i] == ' ')
        ++i;
    std::int64_t value = 0;
    const std::size_t digitsStart = i;
    while (i < line.size() && line[i] >= '0' && line[i] <= '7' && i - digitsStart < 8)
        value = value * 8 + (line[i++] - '0');
    if (i == digitsStart || i >= line.size() || line[i] != ' ')
        return false;
    while (i < line.size() && line[i] == ' ')
        ++i;
    *mode = static_cast<std::int32_t>(value);
    *name = line.substr(i);
    return true;
}

bool isEndLine(const mime::ScannedLine& line)
{
    return !line.truncated && mime::trimmed(line.text) == "end";
}

} // namespace

CUUCodec::CUUCodec() = default;
CUUCodec::~CUUCodec() = default;

std::int32_t CUUCodec::GetAttachmentCount()
{
    return static_cast<std::int32_t>(m_records.size());
}

void CUUCodec::EmptyAttachments()
{
    m_records.clear();
}

std::int32_t CUUCodec::AddAttachment(CDataSource* source, const char* name, const CTextList* /*params*/)
{
    if (source == nullptr)
        return MAIL_SOURCE_OPEN_FAILED;
    auto record = std::make_unique<Record>();
    record->name = name != nullptr ? name : "";
    if (record->name.size() > 259)
        record->name.resize(259);
    if (HasControlCharacter(record->name))
        return MAIL_BAD_ARGUMENT;
    if (source->Open(0) != 0)
        return MAIL_SOURCE_OPEN_FAILED;
    record->size = std::max<std::int32_t>(source->Seek(0, 2), 0);
    source->Close();
    record->source.reset(source->Clone());
    if (!record->source)
        return MAIL_SOURCE_OPEN_FAILED;
    m_records.push_back(std::move(record));
    return MAIL_OK;
}

std::int32_t CUUCodec::AddFileHeaderTag(const char* /*text*/)
{
    return MAIL_OK;
}

std::int32_t CUUCodec::WriteBlock(CDataSource& output, Record& record)
{
    if (record.source->Open(0) != 0)
        return MAIL_SOURCE_OPEN_FAILED;
    std::int32_t rc = WriteAll(output, "begin 660 " + BaseName(record.name) + "\r\n");
    std::uint8_t block[kLineBytes];
    while (rc == MAIL_OK) {
        std::size_t got = 0;
        while (got < kLineBytes) {
            const std::int32_t n =
                record.source->Read(block + got, static_cast<std::int32_t>(kLineBytes - got));
            if (n <= 0)
                break;
            got += static_cast<std::size_t>(n);
        }
        if (got == 0)
            break;
        std::string line(1, encodeValue(static_cast<unsigned>(got)));
        for (std::size_t i = 0; i < got; i += 3) {
            const unsigned b0 = block[i];
            const unsigned b1 = i + 1 < got ? block[i + 1] : 0;
            const unsigned b2 = i + 2 < got ? block[i + 2] : 0;
            line += encodeValue(b0 >> 2);
            line += encodeValue(((b0 << 4) | (b1 >> 4)) & 63);
            line += encodeValue(((b1 << 2) | (b2 >> 6)) & 63);
            line += encodeValue(b2 & 63);
        }
        line += "\r\n";
        rc = WriteAll(output, line);
        if (got < kLineBytes)
            break;
    }
    // The length-0 line closes the data; "end" follows it.
    if (rc == MAIL_OK)
        rc = WriteAll(output, "`\r\nend\r\n");
    record.source->Close();
    return rc;
}

std::int32_t CUUCodec::CopyFoundBlock(CDataSource& output, const Record& record)
{
    if (!m_decoded || record.offset < 0)
        return MAIL_SOURCE_OPEN_FAILED;
    return CopyRange(*m_decoded, record.offset, record.length, output);
}

std::int32_t CUUCodec::Encode(CDataSource* body, CDataSource* output, std::int32_t append)
{
    if (body == nullptr || output == nullptr || output->Open(append ? 2 : 1) != 0)
        return MAIL_SOURCE_OPEN_FAILED;
    if (body->Open(0) != 0) {
        output->Close();
        return MAIL_SOURCE_OPEN_FAILED;
    }
    std::int32_t rc = MAIL_OK;
    char block[511];
    for (std::int32_t n; rc == MAIL_OK && (n = body->Read(block, sizeof block)) > 0;)
        if (output->Write(block, n) != n)
            rc = MAIL_SHORT_WRITE;
    if (rc == MAIL_OK && !m_records.empty())
        rc = WriteAll(*output, "\r\n\r\n");
    for (auto it = m_records.begin(); rc == MAIL_OK && it != m_records.end(); ++it)
        rc = (*it)->source ? WriteBlock(*output, **it) : CopyFoundBlock(*output, **it);
    // Both are closed, whatever the first answers.
    const bool outputClosed = output->Close() == 0;
    const bool bodyClosed = body->Close() == 0;
    const bool closed = outputClosed && bodyClosed;
    if (rc == MAIL_OK && !closed)
        rc = MAIL_SOURCE_CLOSE_FAILED;
    return rc;
}

bool CUUCodec::CanDecode()
{
    if (!m_decoded || m_decoded->Open(0) != 0)
        return false;
    mime::LineScanner scanner(*m_decoded, 0, -1);
    mime::ScannedLine line;
    bool result = false;
    while (scanner.next(line)) {
        if (line.text.compare(0, 6, "begin ") != 0)
            continue;
        // The mode is read as a decimal number here: 600 to 699 are the modes that mark a file
        // readable and writable by its owner.
        std::size_t i = 6;
        while (i < line.text.size() && line.text[i] == ' ')
            ++i;
        std::int64_t value = 0;
        const std::size_t start = i;
        while (i < line.text.size() && line.text[i] >= '0' && line.text[i] <= '9' && i - start < 9)
            value = value * 10 + (line.text[i++] - '0');
        result = i > start && value / 100 == 6;
        break;
    }
    m_decoded->Close();
    return result;
}

std::int32_t CUUCodec::Decode(CDataSource* message)
{
    m_bodyStart = m_bodyLength = -1;
    m_records.clear();
    if (const std::int32_t kept = KeepForDecode(message, m_decoded); kept != MAIL_OK)
        return kept;
    // The body starts after the header's empty line (at the start when there is no header).
    const mime::Header header = mime::readHeader(*m_decoded, 0, -1);
    m_bodyStart = header.complete ? header.end : 0;
    std::int32_t rc = MAIL_OK;
    mime::LineScanner scanner(*m_decoded, m_bodyStart, -1);
    mime::ScannedLine line;
    while (scanner.next(line)) {
        std::int32_t mode = 0;
        std::string name;
        if (!parseBeginLine(line.text, &mode, &name))
            continue;
        if (m_bodyLength < 0) // the first block ends the body
            m_bodyLength = line.offset - m_bodyStart;
        auto record = std::make_unique<Record>();
        record->name = name.substr(0, 259);
        record->mode = mode;
        record->offset = line.offset;
        bool ended = false;
        while (scanner.next(line)) {
            if (isEndLine(line)) {
                ended = true;
                break;
            }
        }
        if (!ended) {
            rc = MAIL_BAD_ARGUMENT;
            break;
        }
        record->length = line.next() - record->offset;
        m_records.push_back(std::move(record));
        if (m_records.size() >= kMaxBlocks)
            break;
    }
    m_decoded->Close();
    if (rc == MAIL_OK && m_records.empty())
        rc = MAIL_BAD_ARGUMENT;
    return rc;
}

std::int32_t CUUCodec::GetMessageBody(CDataSource* output, std::int32_t append)
{
    if (!m_decoded || m_bodyStart < 0 || m_bodyLength < 0 || output == nullptr)
        return MAIL_BAD_ARGUMENT;
    if (output->Open(append ? 2 : 1) != 0)
        return MAIL_SOURCE_OPEN_FAILED;
    if (m_decoded->Open(0) != 0) {
        output->Close();
        return MAIL_SOURCE_OPEN_FAILED;
    }
    std::int32_t rc = m_decoded->Seek(m_bodyStart, 0) == m_bodyStart ? MAIL_OK : MAIL_BAD_ARGUMENT;
    std::int64_t left = m_bodyLength;
    char block[511];
    while (rc == MAIL_OK && left > 0) {
        const std::int32_t n =
            m_decoded->Read(block, static_cast<std::int32_t>(std::min<std::int64_t>(left, sizeof block)));
        if (n <= 0)
            break;
        if (output->Write(block, n) != n)
            rc = MAIL_SHORT_WRITE;
        left -= n;
    }
    if (rc == MAIL_OK && left > 0)
        rc = MAIL_BAD_ARGUMENT;
    m_decoded->Close();
    if (output->Close() != 0 && rc == MAIL_OK)
        rc = MAIL_SOURCE_CLOSE_FAILED;
    return rc;
}

std::int32_t CUUCodec::GetAttachmentSize(std::int32_t index)
{
    return SizeOrSum(m_records, index,
                     [](const Record& r) -> std::int64_t { return r.source ? r.size : r.length / 4 * 3; });
}

std::int32_t CUUCodec::GetAttachmentInfo(std::int32_t index, char* name, std::int32_t nameSize, char* type,
                                         std::int32_t typeSize, CTextList* /*params*/)
{
    if (type != nullptr && typeSize > 0)
        type[0] = '\0';
    if (name == nullptr || nameSize <= 0 || index < 0 || static_cast<std::size_t>(index) >= m_records.size())
        return MAIL_BAD_ARGUMENT;
    const std::string& text = m_records[static_cast<std::size_t>(index)]->name;
    name[0] = '\0';
    if (text.size() + 1 > static_cast<std::size_t>(nameSize))
        return MAIL_BAD_ARGUMENT;
    std::memcpy(name, text.c_str(), text.size() + 1);
    return MAIL_OK;
}

std::int32_t CUUCodec::GetFileMode(std::int32_t index) const
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_records.size())
        return -1;
    return m_records[static_cast<std::size_t>(index)]->mode;
}

std::int32_t CUUCodec::DecodeAttachment(std::int32_t index, CDataSource* output, std::int32_t append)
{
    if (!m_decoded)
        return MAIL_SOURCE_OPEN_FAILED;
    if (index < 0 || static_cast<std::size_t>(index) >= m_records.size())
        return MAIL_NO_SUCH_ATTACHMENT;
    if (output == nullptr || output->Open(append ? 2 : 1) != 0)
        return MAIL_SOURCE_OPEN_FAILED;
    if (m_decoded->Open(0) != 0) {
        output->Close();
        return MAIL_SOURCE_OPEN_FAILED;
    }
    const Record& record = *m_records[static_cast<std::size_t>(index)];
    mime::LineScanner scanner(*m_decoded, record.offset, -1);
    mime::ScannedLine line;
    std::int32_t rc = MAIL_UU_NO_BEGIN;
    while (scanner.next(line)) {
        if (line.text.compare(0, 6, "begin ") == 0) {
            rc = MAIL_OK;
            break;
        }
    }
    std::string out;
    while (rc == MAIL_OK) {
        if (!scanner.next(line)) {
            rc = MAIL_UU_TRUNCATED;
            break;
        }
        if (isEndLine(line))
            break; // an encoder that writes "end" right after the data
        if (line.text.empty())
            continue;
        const unsigned count = decodeValue(line.text[0]);
        if (count == 0)
            break; // the length-0 line ends the data
        // Every group of four characters gives three bytes; the line must hold them all.
        const std::size_t needed = 1 + (count + 2) / 3 * 4;
        if (line.text.size() < needed) {
            rc = MAIL_UU_TRUNCATED;
            break;
        }
        out.clear();
        for (std::size_t i = 1; out.size() < count; i += 4) {
            const unsigned v0 = decodeValue(line.text[i]);
            const unsigned v1 = decodeValue(line.text[i + 1]);
            const unsigned v2 = decodeValue(line.text[i + 2]);
            const unsigned v3 = decodeValue(line.text[i + 3]);
            const char bytes[3] = {static_cast<char>(((v0 << 2) | (v1 >> 4)) & 0xFF),
                                   static_cast<char>(((v1 << 4) | (v2 >> 2)) & 0xFF),
                                   static_cast<char>(((v2 << 6) | v3) & 0xFF)};
            out.append(bytes, std::min<std::size_t>(3, count - out.size()));
        }
        rc = WriteAll(*output, out);
    }
    m_decoded->Close();
    if (output->Close() != 0 && rc == MAIL_OK)
        rc = MAIL_SOURCE_CLOSE_FAILED;
    return rc;
}

} // namespace tessivor
