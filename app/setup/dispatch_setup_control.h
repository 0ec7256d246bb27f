// The setup dialogs' control as the program really reaches it: a fresh instance of the camera
// control created by ProgID and called late-bound by member name; its search, device-found and
// login events come through its connection point on the user-interface thread.
#pragma once

#include "app/setup/setup_control.h"

#include "platform/dispatch.h"
#include "platform/variant.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tessivor {
class IAutomationObject;
}

namespace pellucor {

class DispatchSetupControl : public SetupControl
{
public:
    // Null, with the reason in *error, when the control cannot be created.
    static std::unique_ptr<DispatchSetupControl> create(const std::string& progId, std::string* error);
    ~DispatchSetupControl() override;

    void setEvents(SetupControlEvents* events) override;
    void setRemoteHost(const std::string& host) override;
    void setRemotePort(std::int32_t port) override;
    void setProtocol(std::int32_t protocol) override;
    void setMACAddress(const std::string& mac) override;
    void setUserName(const std::string& name) override;
    void setPassword(const std::string& password) override;
    void setDeviceSerialNo(const std::string& serial) override;
    void setFoundIndex(std::int32_t index) override;
    std::string foundIPAddress() override;
    std::string foundDeviceName() override;
    std::string foundMACAddress() override;
    std::int32_t foundProtocol() override;
    std::int32_t foundProp() override;
    std::string foundServerModel() override;
    std::string foundFWVersion() override;
    std::string foundHWVersion() override;
    std::string foundROMVersion() override;
    std::string foundLocation() override;
    std::int32_t remoteWebPort() override;
    std::int32_t searchDevice(std::int32_t mode, const std::string& address) override;
    std::int32_t getConfig(std::int32_t mode) override;
    std::string getConfigValueBSTR(std::int32_t index) override;
    std::int32_t setIPAddress(const std::string& address, const std::string& mask,
                              const std::string& gateway) override;
    std::int32_t loginCamera(bool newThread) override;
    std::int32_t checkIP(const std::string& address, std::int32_t port) override;
    void setLocalCamera(bool local) override;
    void setProxy(const std::string& address, std::int32_t port, bool enable, bool bypass) override;
    std::string remoteHost() override;
    std::int32_t remotePort() override;
    std::string foundSubMask() override;
    std::string foundDefGateway() override;
    std::string foundString(std::int32_t index) override;
    std::int32_t foundDevServerStatus() override;
    std::int32_t probeDevice(std::int32_t mode, bool skipBroadcastQuery) override;
    std::int32_t getConfigValue(std::int32_t index) override;
    void setConfigValue(std::int32_t index, std::int32_t value) override;
    std::int32_t setConfig(std::int32_t mode, std::int32_t change) override;
    std::int32_t reset() override;
    std::int32_t getTime() override;
    std::int32_t isRequireAuthenticationBroadcast() override;
    std::int32_t checkPasswordBroadcast(const std::string& user, const std::string& password) override;
    std::int32_t checkPasswordMulticast(const std::string& user, const std::string& password) override;
    std::int32_t setIPAddressMulticast(const std::string& address, const std::string& mask,
                                       const std::string& gateway, std::int32_t mode) override;
    std::string getLocalUUID(std::int32_t n) override;
    void setLocalUUID(std::int32_t n, const std::string& identity) override;
    std::int32_t getKestraPort() override;
    std::string getKestraValue(std::int32_t command) override;
    std::int32_t ptSupport() override;

private:
    class Sink;
    DispatchSetupControl() = default;

    // A failing call gives an empty variant: the dialogs then see an empty text or zero, which
    // they treat as a failed step.
    tessivor::Variant invoke(const char* member, tessivor::InvokeKind kind,
                             std::vector<tessivor::Variant> args);
    void put(const char* member, tessivor::Variant value);
    std::string text(const char* member);
    std::int32_t number(const char* member);
    std::int32_t numberOf(const tessivor::Variant& v, std::int32_t fallback);
    // A method's result as a number; `fallback` when the call fails.
    std::int32_t call(const char* member, std::vector<tessivor::Variant> args, std::int32_t fallback = 0);
    std::string callText(const char* member, std::vector<tessivor::Variant> args);

    std::shared_ptr<tessivor::IAutomationObject> m_object;
    // The dialogs call from the user-interface thread and from the worker that a camera call
    // waits on (callCamera): the name cache is shared by both.
    std::mutex m_idsLock;
    std::map<std::string, tessivor::DispId, std::less<>> m_ids;
    std::shared_ptr<Sink> m_sink;
    std::uint32_t m_cookie = 0;
};

} // namespace pellucor
