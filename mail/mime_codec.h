// CMimeCodec: MIME multipart encoding of a body and its attachments (RFC 2045, RFC 2046
// section 5.1) and decoding of received MIME messages into their parts.
//
// Encoding writes "This is a multi-part message in MIME format.", the body as a Base64
// "text/plain" part, then one part per attachment (the one added last comes first), each with
// the writer of its transfer encoding, and the closing delimiter. The two global header lines
// (MIME-Version and the Multipart/Mixed Content-Type with the boundary) belong in the message
// header; a new boundary is made after every multipart Encode.
//
// Decoding keeps a clone of the message and records, for each part, where its header and data
// lie in it; parts are decoded from there on demand, streaming, so a large part never has to fit
// in memory. Parsing is line based (LF or CR LF), with every field and line bounded.
#pragma once

#include "mail/mail_codec.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tessivor {

class CMimeCodec : public CMailCodec
{
public:
    // Transfer encoding numbers (attachment parameter entry 0).
    enum : std::int32_t
    {
        ENCODING_7BIT = 0,
        ENCODING_BASE64 = 1,
        ENCODING_QUOTED_PRINTABLE = 2,
        ENCODING_8BIT = 3,
        ENCODING_BINARY = 4,
        ENCODING_BINHEX40 = 5,
        ENCODING_MULTIPART = 6,
    };
    // Size of the boundary field (29 characters and the terminator).
    static constexpr std::int32_t kBoundarySize = 30;
    // At most this many parts are taken from one message (nested ones included).
    static constexpr std::size_t kMaxParts = 10000;

    CMimeCodec();
    ~CMimeCodec() override;
    CMimeCodec(const CMimeCodec&) = delete;
    CMimeCodec& operator=(const CMimeCodec&) = delete;

    const char* GetName() override { return "Mime"; }
    std::int32_t GetAttachmentCount() override;
    void EmptyAttachments() override;
    // 0; 81 when the source cannot be opened or cloned; 1 for a transfer encoding number outside
    // 0 to 6, or a name or parameter text holding a control character (it would break the
    // part's header).
    std::int32_t AddAttachment(CDataSource* source, const char* name, const CTextList* params) override;
    // 0; -1 when no attachment was added; 1 for a null text or one holding CR, LF or NUL.
    std::int32_t AddFileHeaderTag(const char* text) override;
    std::int32_t GetGlobalHeaderCount() override;
    const char* GetGlobalHeader(std::int32_t index) override;
    std::int32_t Encode(CDataSource* body, CDataSource* output, std::int32_t append) override;
    // 0; 81 when the message cannot be cloned or opened; 1 when it is not a MIME message or its
    // parts cannot be found.
    std::int32_t Decode(CDataSource* message) override;
    // Decodes the first part that has no name and the content type "text/plain" into the output
    // and removes it from the list; 1 when there is none in a multipart message, 0 when there is
    // none in a single-part message.
    std::int32_t GetMessageBody(CDataSource* output, std::int32_t append) override;
    std::int32_t GetAttachmentSize(std::int32_t index) override;
    std::int32_t GetAttachmentInfo(std::int32_t index, char* name, std::int32_t nameSize, char* type,
                                   std::int32_t typeSize, CTextList* params) override;
    // 0; 39 for an index that does not exist; 81 when there is no decoded message or the output
    // cannot be opened; -1 for BinHex; else the decoder's result.
    std::int32_t DecodeAttachment(std::int32_t index, CDataSource* output, std::int32_t append) override;
    // True when the decoded message has a header ended by an empty line that carries
    // "MIME-Version: 1.0" (any case).
    bool CanDecode() override;
    // Replaces the decoded multipart/alternative part at `index` by its own parts, appended at
    // the end of the list; 0, or 1 when it is not such a part or has no parts.
    virtual std::int32_t SplitAlternative(std::int32_t index);

    // The boundary the next Encode uses.
    const char* GetBoundary() const { return m_boundary; }
    // The top content kind of the decoded message (9 and 0 until known): multipart 6
    // (alternative 4, parallel 5, digest 6, others 3), message 5 (digest 6, partial 8, others 7),
    // text 0 (2), application 4, image 1, video 3, audio 2, others 9 (each with 0).
    void GetContentKind(std::int32_t* kind, std::int32_t* subKind) const;

    // Writes a boundary of n - 1 characters and its terminator into `out` (n bytes): "Mark=_"
    // and the UTC year, month, day, hour, minute, second and millisecond in plain decimal, then
    // characters drawn from the first 63 of the Base64 alphabet by a per-thread generator.
    // 0; -1 for n below 20; -2 for n above 70.
    static std::int32_t MakeBoundary(char* out, std::int32_t n);
    // The same for a given time and source of random numbers (tests).
    static std::string MakeBoundaryAt(std::int32_t n, std::chrono::system_clock::time_point when,
                                      const std::function<std::uint32_t()>& random);

private:
    struct Record;
    struct PartRange
    {
        std::int32_t start;
        std::int32_t end;
    };

    std::int32_t WritePart(CDataSource& output, Record& record, CDataSource* openSource);
    std::int32_t CopyDecodedPart(CDataSource& output, const Record& record);
    std::int32_t DecodeRecord(const Record& record, CDataSource* output, std::int32_t append);
    bool SplitParts(std::int32_t start, std::int32_t limit, const std::string& boundary,
                    std::vector<PartRange>& parts);
    std::unique_ptr<Record> ParsePart(std::int32_t start, std::int32_t end, bool inMultipart);
    void NewBoundary(bool oneLine);

    std::vector<std::unique_ptr<Record>> m_records;
    Record* m_lastAdded = nullptr;
    std::unique_ptr<CDataSource> m_decoded;
    CTextList m_globalHeaders;
    char m_boundary[kBoundarySize] = {};
    std::int32_t m_kind = 9;
    std::int32_t m_subKind = 0;
};

} // namespace tessivor
