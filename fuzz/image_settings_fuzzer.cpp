// The image-settings datagram reply and page parsers over arbitrary bytes.
#include "camproto/image_settings.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

using namespace tessivor::camproto;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ImageSettingsRequest r;
    r.sequence = 0x0102;
    r.mac = {0, 1, 2, 3, 4, 5};
    ImageSettingValues values{};
    parseImageSettingsReply(std::span<const std::uint8_t>(data, size), buildImageSettingsRequest(r), &values);
    parseImageSettingsPage(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
