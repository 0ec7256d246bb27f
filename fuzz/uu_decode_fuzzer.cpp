// The UUEncode decoder over arbitrary bytes: blocks found, each decoded, the body copied.
#include "io/memory_data_source.h"
#include "mail/uu_codec.h"

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

    CUUCodec codec;
    if (codec.Decode(&input) != 0)
        return 0;
    char name[300], type[8];
    for (std::int32_t i = 0; i < codec.GetAttachmentCount() && i < 64; ++i) {
        codec.GetAttachmentInfo(i, name, sizeof name, type, sizeof type, nullptr);
        codec.GetAttachmentSize(i);
        CMemoryDataSource out(nullptr, 1 << 16, "block");
        codec.DecodeAttachment(i, &out, 0);
    }
    CMemoryDataSource body(nullptr, 1 << 16, "body");
    codec.GetMessageBody(&body, 0);
    return 0;
}
