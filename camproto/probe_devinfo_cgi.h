// The "/DevInfo.CGI" step of the probe: a raw HTTP/1.0 GET on a connection of its own (the
// camera's HTTP engine answers it, so the page is asked for by hand), read into a 2000-byte
// buffer until at least 256 bytes (and the whole announced body) have come.
#pragma once

#include "camproto/device_record.h"

#include <optional>
#include <string>
#include <vector>

namespace tessivor::camproto {

struct DevInfoCgiRequest
{
    std::string host; // where to connect: the camera, or the proxy
    int port = 80;
    bool viaProxy = false;
    std::string remoteHost; // the camera, named in the proxy form of the request line
    int remotePort = 80;
    std::string userName;      // sent as the User-Agent, as the cameras expect
    std::string authorization; // the Basic code
    int connectTimeoutSeconds = 3;
    int attempts = 3; // an attempt that times out counts as two
};

struct DevInfoCgiResult
{
    int result = 0; // -1 answered
    // The record body (from byte 18 on, at most 226 bytes); the caller places it.
    std::optional<std::vector<std::uint8_t>> body;
};

DevInfoCgiResult getDevInfoCgi(const DevInfoCgiRequest& request);

// The request head as sent.
std::string devInfoCgiRequestHead(const DevInfoCgiRequest& request);

} // namespace tessivor::camproto
