// The parameter-table parser and serialiser over arbitrary bodies and separators.
#include "control/parameter_table.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

using namespace tessivor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    static constexpr std::string_view kSeparators[] = {"\r\n", "@", "", "\n", "=", "[", "\r\n\r\n"};
    const std::string_view separator = kSeparators[data[0] % 7];
    const std::string_view body(reinterpret_cast<const char*>(data + 1), size - 1);

    ParameterParse parsed = parseParameterBody(body, separator);
    if (parsed.entries.size() > static_cast<std::size_t>(kMaxParameterEntries))
        std::abort();
    for (auto& e : parsed.entries) {
        if (e.name[ParameterEntry::kTextSize - 1] != 0 || e.value[ParameterEntry::kTextSize - 1] != 0)
            std::abort();
        if (e.flag != ParameterEntry::kUnchanged && e.flag != ParameterEntry::kSection)
            std::abort();
        e.flag = e.isSection() ? e.flag : ParameterEntry::kChanged;
    }
    std::string out;
    const std::size_t limit = 9999;
    if (serializeParameterEntries(parsed.entries.data(), static_cast<int>(parsed.entries.size()), separator,
                                  limit, &out)) {
        if (out.size() > limit)
            std::abort();
    } else if (!out.empty()) {
        std::abort(); // a refused serialise leaves the output as it was
    }
    return 0;
}
