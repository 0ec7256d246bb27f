#include "mail/mime_codec.h"

#include "mail/line_scanner.h"
#include "mail/mail_errors.h"
#include "mail/mime_header.h"
#include "mail/transfer_encoding.h"
#include "platform/base64.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <ctime>
#include <random>

namespace tessivor {

struct CMimeCodec::Record
{
    std::unique_ptr<CDataSource> source; // own data to encode; null for a decoded part
    std::string name;
    std::string contentType;
    std::string typeWord;
    std::int32_t encoding = ENCODING_BASE64;
    std::int64_t size = 0;        // bytes of the source when added
    std::int32_t partOffset = -1; // decoded part: first byte of its header
    std::int32_t dataOffset = -1; // decoded part: first byte of its data
    std::int32_t dataLength = 0;  // decoded part: bytes of data
    bool alternative = false;     // decoded multipart/alternative part, still to be split
    std::string boundary;         // its boundary
    CTextList extraHeaders;
};

namespace {

constexpr std::size_t kCopyBlock = 511;
constexpr std::size_t kBase64Block = 57; // 57 bytes make one 76-character line
constexpr std::size_t kQpBlock = 99;
constexpr std::size_t k7BitBlock = 997;
constexpr std::size_t k8BitBlock = 998;
constexpr std::size_t kBinaryBlock = 999;
constexpr std::int32_t k7BitMaxLine = 996;
constexpr std::int32_t k8BitMaxLine = 997;
constexpr int kMaxAlternativeDepth = 8;

// The name parameter of a part header: a quoted string with '"' and '\' escaped when the name
// is printable ASCII, else the RFC 2231 form name*=UTF-8''%XX (texts here are UTF-8).
std::string nameParameter(const std::string& name)
{
    const bool plain = std::all_of(name.begin(), name.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u >= 0x20 && u < 0x7F;
    });
    std::string out;
    if (plain) {
        out = "name=\"";
        for (char c : name) {
            if (c == '"' || c == '\\')
                out += '\\';
            out += c;
        }
        out += '"';
        return out;
    }
    static const char hex[] = "0123456789ABCDEF";
    out = "name*=UTF-8''";
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') ||
            std::strchr("!#$&+-.^_`|~", c) != nullptr) {
            out += c;
        } else {
            out += '%';
            out += hex[u >> 4];
            out += hex[u & 15];
        }
    }
    return out;
}

std::string upper(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(),
                   [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; });
    return s;
}

std::int32_t encodingFromHeader(const mime::Header& header)
{
    const auto* cte = header.find("Content-Transfer-Encoding");
    if (cte == nullptr)
        return CMimeCodec::ENCODING_7BIT;
    const std::string word = upper(mime::trimmed(mime::removeComments(cte->value)));
    const std::string first = word.substr(0, word.find_first_of(" \t/;"));
    if (first == "8BIT")
        return CMimeCodec::ENCODING_8BIT;
    if (first == "BINARY")
        return CMimeCodec::ENCODING_BINARY;
    if (first == "BASE64")
        return CMimeCodec::ENCODING_BASE64;
    if (first == "QUOTED-PRINTABLE")
        return CMimeCodec::ENCODING_QUOTED_PRINTABLE;
    if (first == "BINHEX40")
        return CMimeCodec::ENCODING_BINHEX40;
    if (first == "MULTIPART")
        return CMimeCodec::ENCODING_MULTIPART;
    return CMimeCodec::ENCODING_7BIT;
}

// Splits "type/subtype" into its two words, trimmed.
void splitType(const std::string& token, std::string* type, std::string* subtype)
{
    const auto slash = token.find('/');
    *type = mime::trimmed(token.substr(0, slash));
    *subtype = slash == std::string::npos ? std::string() : mime::trimmed(token.substr(slash + 1));
}

void contentKind(const std::string& type, const std::string& subtype, std::int32_t* kind, std::int32_t* sub)
{
    using mime::equalsIgnoreCase;
    *sub = 0;
    if (equalsIgnoreCase(type, "multipart")) {
        *kind = 6;
        *sub = equalsIgnoreCase(subtype, "alternative") ? 4
               : equalsIgnoreCase(subtype, "parallel")  ? 5
               : equalsIgnoreCase(subtype, "digest")    ? 6
                                                        : 3;
    } else if (equalsIgnoreCase(type, "message")) {
        *kind = 5;
        *sub = equalsIgnoreCase(subtype, "digest") ? 6 : equalsIgnoreCase(subtype, "partial") ? 8 : 7;
    } else if (equalsIgnoreCase(type, "text")) {
        *kind = 0;
        *sub = 2;
    } else if (equalsIgnoreCase(type, "application")) {
        *kind = 4;
    } else if (equalsIgnoreCase(type, "image")) {
        *kind = 1;
    } else if (equalsIgnoreCase(type, "video")) {
        *kind = 3;
    } else if (equalsIgnoreCase(type, "audio")) {
        *kind = 2;
    } else {
        *kind = 9;
    }
}

// True when `line` is "--boundary" (or "--boundary--" when *closing), padded with blanks only.
bool isDelimiterLine(const mime::ScannedLine& line, const std::string& boundary, bool* closing)
{
    if (line.truncated || line.text.size() < boundary.size() + 2 || line.text.compare(0, 2, "--") != 0 ||
        line.text.compare(2, boundary.size(), boundary) != 0)
        return false;
    std::string_view rest(line.text);
    rest.remove_prefix(boundary.size() + 2);
    *closing = rest.substr(0, 2) == "--";
    if (*closing)
        rest.remove_prefix(2);
    return std::all_of(rest.begin(), rest.end(), [](char c) { return c == ' ' || c == '\t'; });
}

std::mt19937& boundaryGenerator()
{
    thread_local std::mt19937 generator{std::random_device{}()};
    return generator;
}

} // namespace

CMimeCodec::CMimeCodec()
{
    NewBoundary(false);
}

CMimeCodec::~CMimeCodec() = default;

std::string CMimeCodec::MakeBoundaryAt(std::int32_t n, std::chrono::system_clock::time_point when,
                                       const std::function<std::uint32_t()>& random)
{
    if (n < 20 || n > 70)
        return {};
    const auto since = when.time_since_epoch();
    const std::time_t seconds = std::chrono::duration_cast<std::chrono::seconds>(since).count();
    const auto millis =
        static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count() % 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    std::string text = "Mark=_" + std::to_string(utc.tm_year + 1900) + std::to_string(utc.tm_mon + 1) +
                       std::to_string(utc.tm_mday) + std::to_string(utc.tm_hour) +
                       std::to_string(utc.tm_min) + std::to_string(utc.tm_sec) + std::to_string(millis);
    text.resize(std::min<std::size_t>(text.size(), static_cast<std::size_t>(n - 1)));
    while (text.size() < static_cast<std::size_t>(n - 1))
        text += kBase64Alphabet[random() % 63];
    return text;
}

std::int32_t CMimeCodec::MakeBoundary(char* out, std::int32_t n)
{
    if (n < 20)
        return -1;
    if (n > 70)
        return -2;
    if (out == nullptr)
        return MAIL_BAD_ARGUMENT;
    auto& generator = boundaryGenerator();
    const std::string text =
        MakeBoundaryAt(n, std::chrono::system_clock::now(), [&generator] { return generator(); });
    std::memcpy(out, text.c_str(), text.size() + 1);
    return 0;
}

void CMimeCodec::NewBoundary(bool oneLine)
{
    MakeBoundary(m_boundary, kBoundarySize);
    m_globalHeaders.ClearTexts();
    m_globalHeaders.AddText("MIME-Version: 1.0\r\n");
    const std::string type =
        oneLine ? "Content-Type: Multipart/Mixed; boundary=\"" + std::string(m_boundary) + "\"\r\n"
                : "Content-Type: Multipart/Mixed;\r\n\tboundary=\"" + std::string(m_boundary) + "\"\r\n";
    m_globalHeaders.AddText(type.c_str());
}

void CMimeCodec::GetContentKind(std::int32_t* kind, std::int32_t* subKind) const
{
    if (kind != nullptr)
        *kind = m_kind;
    if (subKind != nullptr)
        *subKind = m_subKind;
}

std::int32_t CMimeCodec::GetAttachmentCount()
{
    return static_cast<std::int32_t>(m_records.size());
}

void CMimeCodec::EmptyAttachments()
{
    m_records.clear();
    m_lastAdded = nullptr;
}

std::int32_t CMimeCodec::GetGlobalHeaderCount()
{
    return m_globalHeaders.GetTextCount();
}

const char* CMimeCodec::GetGlobalHeader(std::int32_t index)
{
    return m_globalHeaders.GetTextAt(index);
}

std::int32_t CMimeCodec::AddAttachment(CDataSource* source, const char* name, const CTextList* params)
{
    if (source == nullptr)
        return MAIL_SOURCE_OPEN_FAILED;
    auto record = std::make_unique<Record>();
    record->name = name != nullptr ? name : "";
    auto entry = [params](std::int32_t i) -> std::string {
        const char* t = params != nullptr ? params->GetTextAt(i) : nullptr;
        return t != nullptr ? t : "";
    };
    const std::string encoding = entry(0);
    if (!encoding.empty()) {
        std::int32_t value = -1;
        const auto [end, ec] = std::from_chars(encoding.data(), encoding.data() + encoding.size(), value);
        if (ec != std::errc() || end != encoding.data() + encoding.size() || value < 0 || value > 6)
            return MAIL_BAD_ARGUMENT;
        record->encoding = value;
    }
    record->contentType = entry(1);
    record->typeWord = entry(3);
    // Entry 2 (a character set) is not written into the part header, but is refused all the same
    // when it holds a control character.
    if (HasControlCharacter(record->name) || HasControlCharacter(record->contentType) ||
        HasControlCharacter(entry(2)) || HasControlCharacter(record->typeWord))
        return MAIL_BAD_ARGUMENT;

    if (source->Open(0) != 0)
        return MAIL_SOURCE_OPEN_FAILED;
    const std::int32_t size = source->Seek(0, 2);
    source->Close();
    record->size = std::max<std::int32_t>(size, 0);
    record->source.reset(source->Clone());
    if (!record->source)
        return MAIL_SOURCE_OPEN_FAILED;
    m_lastAdded = record.get();
    m_records.insert(m_records.begin(), std::move(record));
    return MAIL_OK;
}

std::int32_t CMimeCodec::AddFileHeaderTag(const char* text)
{
    if (m_lastAdded == nullptr)
        return -1;
    if (text == nullptr || std::strpbrk(text, "\r\n") != nullptr)
        return MAIL_BAD_ARGUMENT;
    m_lastAdded->extraHeaders.AddText(text);
    return MAIL_OK;
}

std::int32_t CMimeCodec::Encode(CDataSource* body, CDataSource* output, std::int32_t append)
{
    if (body == nullptr || output == nullptr)
        return MAIL_SOURCE_OPEN_FAILED;
    if (output->Open(append ? 2 : 1) != 0)
        return MAIL_SOURCE_OPEN_FAILED;
    if (body->Open(0) != 0) {
        output->Close();
        return MAIL_SOURCE_OPEN_FAILED;
    }
    auto closeBoth = [&](std::int32_t result) {
        const bool bodyClosed = body->Close() == 0;
        const bool outputClosed = output->Close() == 0;
        if (result == MAIL_OK && !(bodyClosed && outputClosed))
            return static_cast<std::int32_t>(MAIL_SOURCE_CLOSE_FAILED);
        return result;
    };

    if (m_records.empty()) {
        char block[kCopyBlock];
        for (std::int32_t n; (n = body->Read(block, sizeof block)) > 0;)
            if (output->Write(block, n) != n)
                return closeBoth(MAIL_SHORT_WRITE);
        return closeBoth(MAIL_OK);
    }

    const std::string delimiterLine = "\r\n--" + std::string(m_boundary) + "\r\n";
    std::int32_t rc = WriteAll(*output, "This is a multi-part message in MIME format.\r\n");
    if (rc == MAIL_OK)
        rc = WriteAll(*output, delimiterLine);
    if (rc == MAIL_OK) {
        Record bodyPart;
        bodyPart.contentType = "text/plain";
        bodyPart.encoding = ENCODING_BASE64;
        rc = WritePart(*output, bodyPart, body);
    }
    for (auto it = m_records.begin(); rc == MAIL_OK && it != m_records.end(); ++it) {
        rc = WriteAll(*output, delimiterLine);
        if (rc != MAIL_OK)
            break;
        Record& record = **it;
        if (record.source || !m_decoded || record.partOffset < 0 || record.dataOffset < 0)
            rc = WritePart(*output, record, nullptr);
        else
            rc = CopyDecodedPart(*output, record);
    }
    if (rc == MAIL_OK)
        rc = WriteAll(*output, "\r\n--" + std::string(m_boundary) + "--\r\n");
    rc = closeBoth(rc);
    if (rc == MAIL_OK)
        NewBoundary(true);
    return rc;
}

std::int32_t CMimeCodec::WritePart(CDataSource& output, Record& record, CDataSource* openSource)
{
    if (record.encoding == ENCODING_BINHEX40)
        return MAIL_BINHEX;
    if (record.encoding == ENCODING_MULTIPART)
        return MAIL_OK; // read-only encoding: nothing follows the boundary line
    CDataSource* source = openSource;
    if (source == nullptr) {
        source = record.source.get();
        if (source == nullptr || source->Open(0) != 0)
            return MAIL_SOURCE_OPEN_FAILED;
    }
    auto finish = [&](std::int32_t result) {
        if (openSource == nullptr)
            source->Close();
        return result;
    };

    const std::string name = BaseName(record.name);
    const std::string& type = record.contentType;
    std::string header;
    std::size_t blockSize = kCopyBlock;
    switch (record.encoding) {
    case ENCODING_7BIT:
        header = "Content-Type: " + (type.empty() ? std::string("text/plain") : type) +
                 "; charset=US-ASCII\r\nContent-Transfer-Encoding: 7BIT\r\n";
        blockSize = k7BitBlock;
        break;
    case ENCODING_BASE64:
        header = "Content-Type: " + (type.empty() ? std::string("Application/Octet-stream") : type) + "; " +
                 nameParameter(name) + "; type=Unknown\r\nContent-Transfer-Encoding: BASE64\r\n";
        blockSize = kBase64Block;
        break;
    case ENCODING_QUOTED_PRINTABLE:
        header = "Content-Type: " + (type.empty() ? std::string("Text/Plain") : type) +
                 "; charset=US-ASCII\r\nContent-Transfer-Encoding: Quoted-Printable\r\n";
        blockSize = kQpBlock;
        break;
    case ENCODING_8BIT:
        header = "Content-Type: " + (type.empty() ? std::string("text/plain") : type) +
                 "; charset=US-ASCII\r\nContent-Transfer-Encoding: 8BIT\r\n";
        blockSize = k8BitBlock;
        break;
    case ENCODING_BINARY:
        header = "Content-Type: " + (type.empty() ? std::string("Application/Octet-stream") : type) + "; " +
                 nameParameter(name) + "; type=" + (record.typeWord.empty() ? "Unknown" : record.typeWord) +
                 "\r\nContent-Transfer-Encoding: BINARY\r\n";
        blockSize = kBinaryBlock;
        break;
    default:
        return finish(MAIL_BAD_ARGUMENT);
    }
    for (std::int32_t i = 0; i < record.extraHeaders.GetTextCount(); ++i)
        header += std::string(record.extraHeaders.GetTextAt(i)) + "\r\n";
    header += "\r\n";
    std::int32_t rc = WriteAll(output, header);
    if (rc != MAIL_OK)
        return finish(rc);

    std::vector<char> block(blockSize);
    std::int32_t lineLength = 0; // 7BIT and 8BIT: characters since the last line break
    mime::QpEncoder qp;
    while (true) {
        // Fill the block whole unless the data ends, so that Base64 lines are always full.
        std::size_t got = 0;
        while (got < blockSize) {
            const std::int32_t n =
                source->Read(block.data() + got, static_cast<std::int32_t>(blockSize - got));
            if (n <= 0)
                break;
            got += static_cast<std::size_t>(n);
        }
        if (got == 0)
            break;
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(block.data());
        std::string out;
        switch (record.encoding) {
        case ENCODING_7BIT:
        case ENCODING_8BIT: {
            const std::int32_t maxLine = record.encoding == ENCODING_7BIT ? k7BitMaxLine : k8BitMaxLine;
            for (std::size_t i = 0; i < got; ++i) {
                if (block[i] == '\0' && record.encoding == ENCODING_7BIT)
                    return finish(MAIL_NUL_IN_7BIT);
                if (block[i] == '\r' || block[i] == '\n')
                    lineLength = 0;
                else if (++lineLength > maxLine)
                    return finish(MAIL_LINE_TOO_LONG);
            }
            out.assign(block.data(), got);
            break;
        }
        case ENCODING_BASE64:
            out = base64Encode(bytes, got) + "\r\n";
            break;
        case ENCODING_QUOTED_PRINTABLE:
            qp.encode(bytes, got, out);
            break;
        default:
            out.assign(block.data(), got);
            break;
        }
        rc = WriteAll(output, out);
        if (rc != MAIL_OK)
            return finish(rc);
        if (got < blockSize)
            break;
    }
    if (record.encoding == ENCODING_QUOTED_PRINTABLE) {
        std::string tail;
        qp.finish(tail);
        rc = WriteAll(output, tail);
    }
    return finish(rc);
}

std::int32_t CMimeCodec::CopyDecodedPart(CDataSource& output, const Record& record)
{
    return CopyRange(*m_decoded, record.partOffset,
                     static_cast<std::int64_t>(record.dataOffset) + record.dataLength - record.partOffset,
                     output);
}

bool CMimeCodec::CanDecode()
{
    if (!m_decoded || m_decoded->Open(0) != 0)
        return false;
    const mime::Header header = mime::readHeader(*m_decoded, 0, -1);
    m_decoded->Close();
    if (!header.complete)
        return false;
    const auto* version = header.find("MIME-Version");
    return version != nullptr && mime::trimmed(mime::removeComments(version->value)) == "1.0";
}

bool CMimeCodec::SplitParts(std::int32_t start, std::int32_t limit, const std::string& boundary,
                            std::vector<PartRange>& parts)
{
    mime::LineScanner scanner(*m_decoded, start, limit);
    mime::ScannedLine line;
    bool inPart = false;
    std::int32_t partStart = 0;
    std::int32_t contentEnd = start; // where the line ending before the current line begins
    bool closed = false;
    while (scanner.next(line)) {
        bool closing = false;
        if (isDelimiterLine(line, boundary, &closing)) {
            if (inPart) {
                // The line break before the delimiter belongs to the delimiter (RFC 2046 5.1.1).
                parts.push_back(PartRange{partStart, std::max(partStart, contentEnd)});
                if (m_records.size() + parts.size() >= kMaxParts)
                    return true;
            }
            if (closing) {
                closed = true;
                break;
            }
            inPart = true;
            partStart = line.next();
        }
        contentEnd = line.offset + line.length;
    }
    // A message cut short keeps its last part up to where the data ends.
    if (inPart && !closed)
        parts.push_back(PartRange{partStart, std::max(partStart, line.next())});
    return !parts.empty();
}

std::unique_ptr<CMimeCodec::Record> CMimeCodec::ParsePart(std::int32_t start, std::int32_t end,
                                                          bool inMultipart)
{
    auto record = std::make_unique<Record>();
    const mime::Header header = mime::readHeader(*m_decoded, start, inMultipart ? end : -1);
    record->partOffset = start;
    record->dataOffset = header.complete ? header.end : end;
    if (!inMultipart) {
        record->dataOffset = header.end;
        end = std::max(end, record->dataOffset);
    }
    record->dataLength = std::max(0, end - record->dataOffset);

    const auto* type = header.find("Content-Type");
    if (type == nullptr)
        type = header.find("Content-Description");
    if (type != nullptr) {
        const mime::FieldValue value = mime::parseFieldValue(type->value);
        record->contentType = value.token;
        if (auto name = value.param("name"))
            record->name = *name;
        else if (auto filename = value.param("filename"))
            record->name = *filename;
        record->typeWord = value.param("type").value_or("");
        if (mime::equalsIgnoreCase(record->contentType, "multipart/alternative")) {
            record->alternative = true;
            record->boundary = value.param("boundary").value_or("");
        }
    } else {
        record->contentType = "Text/Plain";
    }
    if (record->name.empty()) {
        if (const auto* disposition = header.find("Content-Disposition")) {
            const mime::FieldValue value = mime::parseFieldValue(disposition->value);
            record->name = value.param("filename").value_or(value.param("name").value_or(""));
        }
    }
    record->encoding = record->alternative ? ENCODING_MULTIPART : encodingFromHeader(header);
    return record;
}

std::int32_t CMimeCodec::Decode(CDataSource* message)
{
    EmptyAttachments();
    m_kind = 9;
    m_subKind = 0;
    if (const std::int32_t kept = KeepForDecode(message, m_decoded); kept != MAIL_OK)
        return kept;
    const mime::Header top = mime::readHeader(*m_decoded, 0, -1);
    const auto* typeField = top.find("Content-Type");
    mime::FieldValue type;
    if (typeField != nullptr) {
        type = mime::parseFieldValue(typeField->value);
        std::string major, minor;
        splitType(type.token, &major, &minor);
        contentKind(major, minor, &m_kind, &m_subKind);
    }
    std::int32_t rc = MAIL_OK;
    if (m_kind == 9) {
        rc = MAIL_BAD_ARGUMENT;
    } else if (m_kind == 6) {
        const std::string boundary = type.param("boundary").value_or("");
        std::vector<PartRange> parts;
        if (boundary.empty() || !SplitParts(top.end, -1, boundary, parts)) {
            rc = MAIL_BAD_ARGUMENT;
        } else {
            for (const auto& p : parts)
                m_records.push_back(ParsePart(p.start, p.end, true));
        }
    } else {
        const std::int32_t length = m_decoded->Seek(0, 2);
        auto record = ParsePart(0, std::max(length, top.end), false);
        m_records.push_back(std::move(record));
    }
    // Alternative parts are replaced by their own parts, nested ones included (bounded).
    // Each round splits the alternatives present when it starts; their parts, appended at the
    // end, wait for the next round.
    for (int depth = 0; rc == MAIL_OK && depth < kMaxAlternativeDepth; ++depth) {
        bool any = false;
        std::size_t i = 0;
        for (std::size_t pending = m_records.size(); pending > 0; --pending) {
            if (m_records[i]->alternative && SplitAlternative(static_cast<std::int32_t>(i)) == MAIL_OK)
                any = true; // the record at i was removed
            else
                ++i;
        }
        if (!any)
            break;
    }
    m_decoded->Close();
    if (rc != MAIL_OK)
        EmptyAttachments();
    return rc;
}

std::int32_t CMimeCodec::SplitAlternative(std::int32_t index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_records.size() || !m_decoded)
        return MAIL_BAD_ARGUMENT;
    Record& alt = *m_records[static_cast<std::size_t>(index)];
    if (!alt.alternative || alt.boundary.empty())
        return MAIL_BAD_ARGUMENT;
    const bool wasOpen = m_decoded->Seek(0, 1) >= 0;
    if (!wasOpen && m_decoded->Open(0) != 0)
        return MAIL_SOURCE_OPEN_FAILED;
    std::vector<PartRange> parts;
    const bool found = SplitParts(alt.dataOffset, alt.dataOffset + alt.dataLength, alt.boundary, parts);
    if (!found) {
        alt.alternative = false; // kept as a part of its own, copied as it stands
        if (!wasOpen)
            m_decoded->Close();
        return MAIL_BAD_ARGUMENT;
    }
    std::vector<std::unique_ptr<Record>> split;
    for (const auto& p : parts)
        split.push_back(ParsePart(p.start, p.end, true));
    if (!wasOpen)
        m_decoded->Close();
    m_records.erase(m_records.begin() + index);
    for (auto& r : split)
        m_records.push_back(std::move(r));
    return MAIL_OK;
}

std::int32_t CMimeCodec::DecodeRecord(const Record& record, CDataSource* output, std::int32_t append)
{
    if (record.encoding == ENCODING_BINHEX40)
        return MAIL_BINHEX;
    if (!m_decoded || output == nullptr || record.dataOffset < 0)
        return MAIL_SOURCE_OPEN_FAILED;
    if (output->Open(append ? 2 : 1) != 0)
        return MAIL_SOURCE_OPEN_FAILED;
    if (m_decoded->Open(0) != 0) {
        output->Close();
        return MAIL_SOURCE_OPEN_FAILED;
    }
    std::int32_t rc = MAIL_OK;
    if (m_decoded->Seek(record.dataOffset, 0) != record.dataOffset)
        rc = MAIL_SOURCE_OPEN_FAILED;
    Base64Decoder base64;
    mime::QpDecoder qp;
    std::int64_t left = record.dataLength;
    char block[4096];
    std::string out;
    auto put = [&](const std::string& bytes) {
        const auto n = static_cast<std::int32_t>(bytes.size());
        if (rc == MAIL_OK && n > 0 && output->Write(bytes.data(), n) != n)
            rc = MAIL_SHORT_WRITE;
    };
    while (rc == MAIL_OK && left > 0) {
        const auto want = static_cast<std::int32_t>(std::min<std::int64_t>(left, sizeof block));
        const std::int32_t n = m_decoded->Read(block, want);
        if (n <= 0)
            break;
        left -= n;
        out.clear();
        if (record.encoding == ENCODING_BASE64)
            base64.decode(block, static_cast<std::size_t>(n), out);
        else if (record.encoding == ENCODING_QUOTED_PRINTABLE)
            qp.decode(block, static_cast<std::size_t>(n), out);
        else
            out.assign(block, static_cast<std::size_t>(n));
        put(out);
    }
    out.clear();
    if (record.encoding == ENCODING_BASE64)
        base64.finish(out);
    else if (record.encoding == ENCODING_QUOTED_PRINTABLE)
        qp.finish(out);
    put(out);
    m_decoded->Close();
    if (output->Close() != 0 && rc == MAIL_OK)
        rc = MAIL_SOURCE_CLOSE_FAILED;
    return rc;
}

std::int32_t CMimeCodec::GetMessageBody(CDataSource* output, std::int32_t append)
{
    for (auto it = m_records.begin(); it != m_records.end(); ++it) {
        const Record& r = **it;
        if (!r.source && r.name.empty() && mime::equalsIgnoreCase(r.contentType, "text/plain")) {
            const std::int32_t rc = DecodeRecord(r, output, append);
            if (m_lastAdded == it->get())
                m_lastAdded = nullptr;
            m_records.erase(it);
            return rc;
        }
    }
    return m_kind == 6 ? MAIL_BAD_ARGUMENT : MAIL_OK;
}

std::int32_t CMimeCodec::GetAttachmentSize(std::int32_t index)
{
    return SizeOrSum(m_records, index, [](const Record& r) -> std::int64_t {
        return r.source ? r.size : r.dataLength / 4 * 3;
    });
}

std::int32_t CMimeCodec::GetAttachmentInfo(std::int32_t index, char* name, std::int32_t nameSize, char* type,
                                           std::int32_t typeSize, CTextList* params)
{
    if (name != nullptr && nameSize > 0)
        name[0] = '\0';
    if (type != nullptr && typeSize > 0)
        type[0] = '\0';
    if (index < 0 || static_cast<std::size_t>(index) >= m_records.size())
        return MAIL_BAD_ARGUMENT;
    const Record& r = *m_records[static_cast<std::size_t>(index)];
    auto copy = [](const std::string& text, char* out, std::int32_t size) {
        if (out == nullptr)
            return true;
        if (size <= 0 || text.size() + 1 > static_cast<std::size_t>(size))
            return false;
        std::memcpy(out, text.c_str(), text.size() + 1);
        return true;
    };
    if (!copy(r.name, name, nameSize) || !copy(r.contentType, type, typeSize))
        return MAIL_BAD_ARGUMENT;
    if (params != nullptr) {
        params->ClearTexts();
        params->AddText(std::to_string(r.encoding).c_str());
    }
    return MAIL_OK;
}

std::int32_t CMimeCodec::DecodeAttachment(std::int32_t index, CDataSource* output, std::int32_t append)
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_records.size())
        return MAIL_NO_SUCH_ATTACHMENT;
    return DecodeRecord(*m_records[static_cast<std::size_t>(index)], output, append);
}

} // namespace tessivor
