// One exchange of the Kestra command protocol: connect to the command port, send one 128-byte
// request, receive the answer (128 bytes, or the 2000-byte site survey), close.
#pragma once

#include "camproto/kestra_packet.h"

#include <string>
#include <vector>

namespace tessivor {
class CWSClient;
}

namespace tessivor::camproto {

struct KestraTarget
{
    std::string host; // the camera (or the proxy, which gets the packets unchanged)
    int port = 5100;
    int connectTimeoutSeconds = 3;
    int receiveTimeoutSeconds = 3; // each wait for more bytes
};

struct KestraExchange
{
    enum class Status
    {
        Answered,      // `received` holds what arrived (possibly nothing)
        ConnectFailed, // the control's code 12
        SendFailed,    // the control's code 14
    };
    Status status = Status::ConnectFailed;
    std::vector<std::uint8_t> received; // at most the answer's size
};

// Runs on the calling thread with a socket of its own. `answerSize` is kKestraPacketSize, or
// kSiteSurveyAnswerSize for the survey; the receive ends when that many bytes have come, the
// camera closes, or a wait runs out.
KestraExchange exchangeKestraCommand(const KestraTarget& target, const KestraPacket& request,
                                     std::size_t answerSize);

} // namespace tessivor::camproto
