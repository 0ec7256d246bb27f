// The camera's address for datagrams, and the cameras' own HTTP/1.0 exchanges ("/CONFIG.CGI",
// "/IOCONTROL.CGI") as the control makes them: one socket client per call, the proxy rule, the
// stored credentials, and answers read with every wait bounded by TimeOut (and the connect by
// ConnTimeOut). Each call works from one copy of the connection settings, taken by its caller.
#pragma once

#include "camproto/camera_http.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tessivor {

class CWSClient;
struct ConnectionSettings;

// Fills the proxy form, the camera's host and port and the authorization code into `request`
// (the method, path, length line, user agent and body are the caller's) and builds the text;
// nullopt when a text could end a line early (nothing is sent then).
std::optional<std::string> cameraRequestText(const ConnectionSettings& s, std::string authorization,
                                             camproto::CameraRequest request, bool viaProxy);

// Sends all of the bytes; false when not all of them went out.
bool sendWhole(CWSClient& s, const void* data, std::size_t size);
inline bool sendWhole(CWSClient& s, std::string_view text)
{
    return sendWhole(s, text.data(), text.size());
}

// Connects `socket` to the proxy or the camera; true when connected.
bool connectCamera(const ConnectionSettings& s, CWSClient& socket, bool viaProxy);

// Reads from `socket` into a text of at most `limit` bytes until `enough` says so, the peer
// closes, or no byte comes within TimeOut seconds (at least one). Pieces are at most `piece` bytes.
std::string readCameraAnswer(const ConnectionSettings& s, CWSClient& socket, std::size_t limit,
                             std::size_t piece, const std::function<bool(std::string_view)>& enough);

// One try of an HTTP exchange with the camera (or the proxy): connects, drops what is already
// waiting, sends `text` whole, reads the answer as readCameraAnswer does and closes the socket.
struct CameraTry
{
    enum class Step
    {
        NotConnected,
        NotSent,  // connected, but not all of the request went out
        Answered, // whatever came (perhaps nothing) is in `answer`
    };
    Step step = Step::NotConnected;
    std::string answer;
};
CameraTry tryCameraExchange(const ConnectionSettings& s, bool viaProxy, std::string_view text,
                            std::size_t limit, std::size_t piece,
                            const std::function<bool(std::string_view)>& enough);

// The dotted address of `host` for datagrams (a host name is looked up); empty when it has none.
std::string cameraAddress(const std::string& host);

// Runs the form of `protocol` and stores its result in *pVal: `native` for 0, `cgi` for 1 and 2,
// `web` for 4. A protocol without a form (or an empty one) leaves *pVal as the caller set it.
void runByProtocol(std::int32_t protocol, std::int32_t* pVal, const std::function<int()>& native,
                   const std::function<int()>& cgi, const std::function<int()>& web = {});

// The clock query of "/IOCONTROL.CGI" (also the login test of HTTP cameras): -1 read (stored
// into `out`), 1 the camera refused the credentials, 0 no answer.
int getTimeHttp(const ConnectionSettings& s, const std::string& authorization, camproto::CameraDateTime* out);

} // namespace tessivor
