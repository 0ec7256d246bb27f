// CMailCodec: the attachment codec of a message. It collects attachments for sending and
// encodes them with the body into the message content (Encode), and takes a received message
// apart and decodes its parts (Decode and the calls after it). CMimeCodec and CUUCodec
// implement it; a CMailMessage holds one of each.
//
// Results are 0 or a MailError code. A codec owns what it keeps: clones of the attachment
// sources and of the message it decoded. One thread uses a codec at a time.
#pragma once

#include "io/data_source.h"
#include "mail/text_list.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tessivor {

class CMailCodec
{
public:
    virtual ~CMailCodec() = default;

    virtual const char* GetName() = 0;
    virtual std::int32_t GetAttachmentCount() = 0;
    // Frees all attachment records.
    virtual void EmptyAttachments() = 0;
    // Adds the data of `source` (which the codec opens, measures, closes and clones) under
    // `name`. `params` may be null.
    virtual std::int32_t AddAttachment(CDataSource* source, const char* name, const CTextList* params) = 0;
    // Adds a header line to the attachment added last.
    virtual std::int32_t AddFileHeaderTag(const char* text) = 0;
    // Header lines that must go into the message header with the encoded content.
    virtual std::int32_t GetGlobalHeaderCount() = 0;
    virtual const char* GetGlobalHeader(std::int32_t index) = 0;
    // Writes the body and the attachments into `output` (appending when `append` is set).
    virtual std::int32_t Encode(CDataSource* body, CDataSource* output, std::int32_t append) = 0;
    // Takes a message apart; the codec keeps a clone of the source for the calls below.
    virtual std::int32_t Decode(CDataSource* message) = 0;
    virtual std::int32_t GetMessageBody(CDataSource* output, std::int32_t append) = 0;
    // The size of attachment `index`; for an index that does not exist, the sum of all.
    virtual std::int32_t GetAttachmentSize(std::int32_t index) = 0;
    // Copies the name and content type (each refused with 1 when it does not fit its output)
    // and replaces `params` (when given) by the transfer encoding number.
    virtual std::int32_t GetAttachmentInfo(std::int32_t index, char* name, std::int32_t nameSize, char* type,
                                           std::int32_t typeSize, CTextList* params) = 0;
    virtual std::int32_t DecodeAttachment(std::int32_t index, CDataSource* output, std::int32_t append) = 0;
    // Whether the message kept by Decode is one this codec reads.
    virtual bool CanDecode() = 0;

    // Adds the file at `path` (read through a file data source, 4096-byte buffer) named by
    // its path.
    std::int32_t AddAttachmentFile(const char* path, const CTextList* params);
    // Encodes `text` as the body into the file at `path`; 1 for a null text or path.
    std::int32_t EncodeTextToFile(const char* text, const char* path);
    // Decodes attachment `index` into the file at `path`.
    std::int32_t DecodeAttachmentToFile(std::int32_t index, const char* path);

protected:
    // The first steps of Decode: keeps a clone of `message` in `kept`, checks that it opens and
    // that this codec reads it (CanDecode, which looks at `kept`), and opens it again at its
    // start. 0 with `kept` open; 81 when the message cannot be cloned or opened (`kept` empty,
    // or closed when only the second opening failed); 1 when this codec does not read it
    // (`kept` empty).
    std::int32_t KeepForDecode(CDataSource* message, std::unique_ptr<CDataSource>& kept);
    // Copies `length` bytes from `offset` of `source` (opened for reading here and closed again)
    // into `output` (open); fewer when the source ends first. 0; 81 when the source cannot be
    // opened or the offset is not reached; 83 when the output takes fewer bytes than given.
    static std::int32_t CopyRange(CDataSource& source, std::int32_t offset, std::int64_t length,
                                  CDataSource& output);
    // Writes all of `text` into `output` (open): 0; 83 when it takes fewer bytes.
    static std::int32_t WriteAll(CDataSource& output, std::string_view text);
    // True when `text` holds a byte below 0x20 or 0x7F (such a name or parameter would break the
    // header line it is written into).
    static bool HasControlCharacter(std::string_view text);
    // The file name an attachment is written under: `name` after its last "/" or "\".
    static std::string BaseName(const std::string& name);
    // GetAttachmentSize over `records` (each measured by `sizeOf`): the size of entry `index`, or
    // the sum of all for an index that does not exist; at most INT32_MAX.
    template <typename Records, typename SizeOf>
    static std::int32_t SizeOrSum(const Records& records, std::int32_t index, SizeOf sizeOf)
    {
        if (index >= 0 && static_cast<std::size_t>(index) < records.size())
            return static_cast<std::int32_t>(
                std::min<std::int64_t>(sizeOf(*records[static_cast<std::size_t>(index)]), INT32_MAX));
        std::int64_t sum = 0;
        for (const auto& r : records)
            sum += sizeOf(*r);
        return static_cast<std::int32_t>(std::min<std::int64_t>(sum, INT32_MAX));
    }
};

} // namespace tessivor
