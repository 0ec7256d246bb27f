// The Kestra command exchange (see kestra_exchange.h).
#include "camproto/kestra_exchange.h"

#include "io/ws_client.h"

namespace tessivor::camproto {

KestraExchange exchangeKestraCommand(const KestraTarget& target, const KestraPacket& request,
                                     std::size_t answerSize)
{
    KestraExchange r;
    CWSClient s;
    if (s.Connect(target.port, target.host.c_str(), target.connectTimeoutSeconds) != 0) {
        r.status = KestraExchange::Status::ConnectFailed;
        return r;
    }
    if (s.SendAll(request.data(), static_cast<int>(request.size())) != static_cast<int>(request.size())) {
        s.CloseConnection();
        r.status = KestraExchange::Status::SendFailed;
        return r;
    }
    r.received.resize(answerSize);
    const int n = s.ReceiveAll(r.received.data(), static_cast<int>(answerSize), target.receiveTimeoutSeconds);
    r.received.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    s.CloseConnection();
    r.status = KestraExchange::Status::Answered;
    return r;
}

} // namespace tessivor::camproto
