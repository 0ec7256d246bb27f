// Kestra site-survey answers: the entry count and the entries taken from what arrived.
#include "camproto/kestra_packet.h"

#include <cstdint>
#include <cstdlib>
#include <span>

using namespace tessivor::camproto;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto entries = parseSiteSurvey(std::span(data, size));
    if (!entries)
        return 0;
    if (entries->size() > kSiteSurveyMaxEntries ||
        kSiteSurveyEntriesOffset + entries->size() * kSiteSurveyEntrySize > size)
        std::abort();
    return 0;
}
