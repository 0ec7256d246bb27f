// The MIME decoder over arbitrary bytes: the message is taken apart, every part decoded, the
// body extracted, and the whole read again as a message object (both codecs get a look).
#include "io/memory_data_source.h"
#include "mail/mail_message.h"
#include "mail/mime_codec.h"

#include <cstddef>
#include <cstdint>

using namespace tessivor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > (1u << 20))
        return 0;
    const auto n = static_cast<std::int32_t>(size);
    CMemoryDataSource input(nullptr, n, "fuzz");
    input.Open(1);
    input.Write(data, n);
    input.Close();

    CMimeCodec codec;
    if (codec.Decode(&input) == 0) {
        char name[64], type[64];
        CTextList params;
        for (std::int32_t i = 0; i < codec.GetAttachmentCount() && i < 64; ++i) {
            codec.GetAttachmentInfo(i, name, sizeof name, type, sizeof type, &params);
            codec.GetAttachmentSize(i);
            CMemoryDataSource out(nullptr, 1 << 16, "part");
            codec.DecodeAttachment(i, &out, 0);
        }
        CMemoryDataSource body(nullptr, 1 << 16, "body");
        codec.GetMessageBody(&body, 0);
        // Encoding again copies the decoded parts from the kept message.
        CMemoryDataSource again(nullptr, 1 << 18, "again");
        codec.Encode(&body, &again, 0);
    }
    CMailMessage message;
    message.Load(&input);
    return 0;
}
