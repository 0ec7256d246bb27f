// CUUCodec: attachments as uuencoded blocks after a plain-text body, and the finding and
// decoding of such blocks in a received message.
//
// A block is "begin 660 name", lines of at most 45 bytes (a length character and groups of
// four characters for three bytes; value 0 written as "`"), a line "`" (length 0) and "end",
// the form that uudecode of GNU sharutils reads. The decoder checks that every line holds as
// many characters as its length character announces.
#pragma once

#include "mail/mail_codec.h"

#include <memory>
#include <string>
#include <vector>

namespace tessivor {

class CUUCodec : public CMailCodec
{
public:
    static constexpr std::size_t kMaxBlocks = 10000;

    CUUCodec();
    ~CUUCodec() override;
    CUUCodec(const CUUCodec&) = delete;
    CUUCodec& operator=(const CUUCodec&) = delete;

    const char* GetName() override { return "UUEncode"; }
    std::int32_t GetAttachmentCount() override;
    void EmptyAttachments() override;
    // 0; 81 when the source cannot be opened or cloned; 1 for a name holding a control
    // character (it would break the "begin" line). The parameter list is not used.
    std::int32_t AddAttachment(CDataSource* source, const char* name, const CTextList* params) override;
    // 0 and no effect.
    std::int32_t AddFileHeaderTag(const char* text) override;
    std::int32_t GetGlobalHeaderCount() override { return 0; }
    const char* GetGlobalHeader(std::int32_t) override { return nullptr; }
    // Writes the body, then (when there are attachments) an empty line and one block for each.
    std::int32_t Encode(CDataSource* body, CDataSource* output, std::int32_t append) override;
    // 0; 81 when the message cannot be cloned or opened; 1 when it holds no uuencoded block or a
    // block has no "end" line.
    std::int32_t Decode(CDataSource* message) override;
    // Copies the text before the first block; 1 without a decoded message or body.
    std::int32_t GetMessageBody(CDataSource* output, std::int32_t append) override;
    std::int32_t GetAttachmentSize(std::int32_t index) override;
    // The name is copied, the type output set to an empty text; `params` is left alone.
    std::int32_t GetAttachmentInfo(std::int32_t index, char* name, std::int32_t nameSize, char* type,
                                   std::int32_t typeSize, CTextList* params) override;
    // 0; 81 without a decoded message or when the output cannot be opened; 39 for an index that
    // does not exist; 7 when the block has no "begin" line; 33 when the data ends inside the
    // block or a line is shorter than its length character says.
    std::int32_t DecodeAttachment(std::int32_t index, CDataSource* output, std::int32_t append) override;
    // True when the first line beginning with "begin " carries a mode from 600 to 699.
    bool CanDecode() override;

    // The mode that the decoded block `index` carried (its octal "begin" number), or -1.
    std::int32_t GetFileMode(std::int32_t index) const;

private:
    struct Record;
    std::int32_t WriteBlock(CDataSource& output, Record& record);
    std::int32_t CopyFoundBlock(CDataSource& output, const Record& record);

    std::vector<std::unique_ptr<Record>> m_records;
    std::unique_ptr<CDataSource> m_decoded;
    std::int32_t m_bodyStart = -1;
    std::int32_t m_bodyLength = -1;
};

} // namespace tessivor
