// Pieces of the camera's HTTP requests that the picture readers and the sound reader share: the
// proxy rule, the request line, the credentials, the line check, and the pacing of repeated
// requests on one kept-alive connection.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace tessivor {

struct ConnectionSettings;

// The request line and proxy lines for `path` (which begins with "/").
std::string requestStart(const ConnectionSettings& conn, const std::string& path, bool mayUseProxy,
                         std::string_view method = "GET");
// The user name and the password of a CImage::CredentialText as one consistent pair.
std::pair<std::string, std::string> credentials(const std::string& credentialText);
// False when `text` holds CR, LF or NUL and so could end a request line early.
bool fitsInLine(std::string_view text);
// Extra wait (ms) before the next request, from the unanswered count n and the time t (ms) from
// an answer head to the end of its body.
std::int64_t extraDelay(int n, std::int64_t t);

} // namespace tessivor
