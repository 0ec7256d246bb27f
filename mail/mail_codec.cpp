#include "mail/mail_codec.h"

#include "io/file_data_source.h"
#include "io/memory_data_source.h"
#include "mail/mail_errors.h"

#include <algorithm>
#include <cstring>

namespace tessivor {

std::int32_t CMailCodec::AddAttachmentFile(const char* path, const CTextList* params)
{
    if (path == nullptr)
        return MAIL_BAD_ARGUMENT;
    CFileDataSource file(path, 4096);
    return AddAttachment(&file, path, params);
}

std::int32_t CMailCodec::EncodeTextToFile(const char* text, const char* path)
{
    if (text == nullptr || path == nullptr)
        return MAIL_BAD_ARGUMENT;
    const auto length = static_cast<std::int32_t>(std::strlen(text));
    CMemoryDataSource body(nullptr, length, "text");
    if (body.Open(1) != 0 || body.Write(text, length) != length)
        return MAIL_NO_MEMORY;
    body.Close();
    CFileDataSource file(path, 4096);
    return Encode(&body, &file, 0);
}

std::int32_t CMailCodec::DecodeAttachmentToFile(std::int32_t index, const char* path)
{
    if (path == nullptr)
        return MAIL_BAD_ARGUMENT;
    CFileDataSource file(path, 4096);
    return DecodeAttachment(index, &file, 0);
}

std::int32_t CMailCodec::KeepForDecode(CDataSource* message, std::unique_ptr<CDataSource>& kept)
{
    kept.reset();
    if (message == nullptr)
        return MAIL_SOURCE_OPEN_FAILED;
    kept.reset(message->Clone());
    if (!kept || kept->Open(0) != 0) {
        kept.reset();
        return MAIL_SOURCE_OPEN_FAILED;
    }
    kept->Close();
    if (!CanDecode()) {
        kept.reset();
        return MAIL_BAD_ARGUMENT;
    }
    if (kept->Open(0) != 0)
        return MAIL_SOURCE_OPEN_FAILED;
    return MAIL_OK;
}

std::int32_t CMailCodec::WriteAll(CDataSource& output, std::string_view text)
{
    const auto n = static_cast<std::int32_t>(text.size());
    return n == 0 || output.Write(text.data(), n) == n ? MAIL_OK : MAIL_SHORT_WRITE;
}

bool CMailCodec::HasControlCharacter(std::string_view text)
{
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7F;
    });
}

std::string CMailCodec::BaseName(const std::string& name)
{
    const auto cut = name.find_last_of("/\\");
    return cut == std::string::npos ? name : name.substr(cut + 1);
}

std::int32_t CMailCodec::CopyRange(CDataSource& source, std::int32_t offset, std::int64_t length,
                                   CDataSource& output)
{
    if (source.Open(0) != 0)
        return MAIL_SOURCE_OPEN_FAILED;
    std::int32_t rc = source.Seek(offset, 0) == offset ? MAIL_OK : MAIL_SOURCE_OPEN_FAILED;
    std::int64_t left = length;
    char block[1000];
    while (rc == MAIL_OK && left > 0) {
        const auto want = static_cast<std::int32_t>(std::min<std::int64_t>(left, sizeof block));
        const std::int32_t n = source.Read(block, want);
        if (n <= 0)
            break;
        if (output.Write(block, n) != n)
            rc = MAIL_SHORT_WRITE;
        left -= n;
    }
    source.Close();
    return rc;
}

} // namespace tessivor
