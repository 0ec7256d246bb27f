// INI text from profiles, language packs and skins: parsing arbitrary bytes, and the round trip
// of what parses.
#include "app/core/ini_store.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace pellucor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    IniStore ini;
    if (!ini.parse(text))
        return 0;
    // Whatever was read is written so that it reads back the same.
    IniStore again;
    if (!again.parse(ini.serialize()) || again.serialize() != ini.serialize())
        std::abort();
    for (const auto& section : ini.sectionNames())
        for (const auto& key : ini.keyNames(section))
            if (again.ReadValue(section, key) != ini.ReadValue(section, key))
                std::abort();
    return 0;
}
