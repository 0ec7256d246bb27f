// The values that the camera web page window keeps from the camera's own settings forms, and
// how a posted form changes them. Pure: no window, no camera.
//
// A post is application/x-www-form-urlencoded: fields are split at "&", each name from its value
// at the first "=", then name and value are decoded ("+" a blank, "%XX" a byte, numeric
// character references resolved). Fields are looked up by name, the first of a name counting.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pellucor {

struct WebPageValues
{
    bool cancelled = true; // no settings form has been posted
    std::string userName;
    std::string password;
    std::string ipAddress;
    std::string serverName;
    std::string serverLocation;
    std::int32_t secondPort = 0;
    std::int32_t webSecond = 0;
    std::int32_t imageSecond = 0;
    std::int32_t ipAssign = 1;
};

// The decoded fields of a posted body, in the order posted.
std::vector<std::pair<std::string, std::string>> decodeFormBody(std::string_view body);

// The longest leading number of `text` (blanks ignored, a sign and a fraction allowed), rounded
// half to even and held within the 32-bit range; nothing when the text starts with no number.
std::optional<std::int32_t> leadingNumber(std::string_view text);

// True for four decimal numbers 0 to 255 joined by dots, nothing else.
bool isDottedIPv4(std::string_view text);

// Applies a post of `body` to the page at `url`. A post to the system configuration page (a URL
// containing "onfig1.htm") sets the name, location, user, password, address and second port; any
// other post that carries "Sys_ID" sets the user, password and second port; both then set the
// two intervals and the assignment mode and clear `cancelled`, and true is returned. Other posts
// change nothing (false). A field that is not posted keeps its value; an empty number is 0 and
// an empty or unreadable assignment mode 1; an address that is empty or not a dotted IPv4
// address is no address and keeps the old one.
bool applyPostedForm(std::string_view url, std::string_view body, WebPageValues& values);

} // namespace pellucor
