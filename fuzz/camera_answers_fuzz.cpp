// The cameras' CGI answers as they may arrive: the "/CONFIG.CGI" head, the login refusal, the
// clock page and the outputs page.
#include "camproto/camera_http.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace tessivor::camproto;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto head = parseConfigAnswerHead(text); head && head->bodyStart > text.size())
        std::abort();
    (void)answerRefusesLogin(text);
    if (const auto t = parseDateTimeAnswer(text);
        t && (t->year < 0 || t->month < 0 || t->day < 0 || t->hour < 0 || t->minute < 0 || t->second < 0))
        std::abort();
    if (const auto v = parseTriggerAnswer(text); v && (v->trigger1 < 0 || v->trigger2 < 0))
        std::abort();
    return 0;
}
