#include "app/setup/web_page_fields.h"

#include "app/core/text_codec.h"

#include <cmath>
#include <cstdlib>
#include <limits>

namespace pellucor {

namespace {

using Fields = std::vector<std::pair<std::string, std::string>>;

const std::string* find(const Fields& fields, std::string_view name)
{
    for (const auto& [n, v] : fields)
        if (n == name)
            return &v;
    return nullptr;
}

void setText(const Fields& fields, std::string_view name, std::string& out)
{
    if (const std::string* v = find(fields, name))
        out = *v;
}

void setNumber(const Fields& fields, std::string_view name, std::int32_t& out)
{
    if (const std::string* v = find(fields, name))
        out = leadingNumber(*v).value_or(0);
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

Fields decodeFormBody(std::string_view body)
{
    Fields out;
    while (!body.empty()) {
        const std::size_t amp = body.find('&');
        const std::string_view field = body.substr(0, amp);
        body = amp == std::string_view::npos ? std::string_view{} : body.substr(amp + 1);
        if (field.empty())
            continue;
        const std::size_t eq = field.find('=');
        const std::string_view name = field.substr(0, eq);
        const std::string_view value =
            eq == std::string_view::npos ? std::string_view{} : field.substr(eq + 1);
        out.emplace_back(URLDecode(name), URLDecode(value));
    }
    return out;
}

std::optional<std::int32_t> leadingNumber(std::string_view text)
{
    std::string compact;
    for (char c : text)
        if (c != ' ' && c != '\t')
            compact += c;
    std::size_t i = 0;
    if (i < compact.size() && (compact[i] == '+' || compact[i] == '-'))
        ++i;
    const std::size_t digitsFrom = i;
    while (i < compact.size() && isDigit(compact[i]))
        ++i;
    bool any = i > digitsFrom;
    if (i < compact.size() && compact[i] == '.') {
        std::size_t j = i + 1;
        while (j < compact.size() && isDigit(compact[j]))
            ++j;
        any = any || j > i + 1;
        i = j;
    }
    if (!any)
        return std::nullopt;
    const double v = std::strtod(compact.substr(0, i).c_str(), nullptr);
    constexpr double lo = std::numeric_limits<std::int32_t>::min();
    constexpr double hi = std::numeric_limits<std::int32_t>::max();
    if (!(v >= lo))
        return std::numeric_limits<std::int32_t>::min();
    if (!(v <= hi))
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(std::nearbyint(v));
}

bool isDottedIPv4(std::string_view text)
{
    int parts = 0;
    while (true) {
        std::size_t n = 0;
        int value = 0;
        while (n < text.size() && isDigit(text[n]) && n < 4) {
            value = value * 10 + (text[n] - '0');
            ++n;
        }
        if (n == 0 || n > 3 || value > 255)
            return false;
        ++parts;
        text.remove_prefix(n);
        if (text.empty())
            return parts == 4;
        if (text.front() != '.' || parts == 4)
            return false;
        text.remove_prefix(1);
    }
}

bool applyPostedForm(std::string_view url, std::string_view body, WebPageValues& values)
{
    if (body.empty())
        return false;
    const Fields fields = decodeFormBody(body);
    if (url.find("onfig1.htm") != std::string_view::npos) {
        if (const std::string* name = find(fields, "SRV_Name"))
            values.serverName = DecodeCharRefs(*name);
        setText(fields, "SRV_Location", values.serverLocation);
        if (const std::string* address = find(fields, "IP_Address"); address && isDottedIPv4(*address))
            values.ipAddress = *address;
    } else if (!find(fields, "Sys_ID")) {
        return false;
    }
    setText(fields, "Sys_ID", values.userName);
    setText(fields, "Sys_Password", values.password);
    setNumber(fields, "Second_Port", values.secondPort);
    setNumber(fields, "Web_Second", values.webSecond);
    setNumber(fields, "Image_Second", values.imageSecond);
    if (const std::string* mode = find(fields, "IP_ASSIGN"))
        values.ipAssign = leadingNumber(*mode).value_or(1);
    values.cancelled = false;
    return true;
}

} // namespace pellucor
