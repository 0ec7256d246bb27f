// The camera control as the setup dialogs use it: each dialog that talks to a camera itself
// hosts its own instance, never shown. Long operations (search, login) run with mode 1 on the
// control's worker threads; their ends arrive as SetupControlEvents calls on the user-interface
// thread, also while a dialog waits in its local event loop.
//
// Results follow the control: -1 for success of ProbeDevice, GetConfig, SetIPAddress, SetConfig,
// CheckPasswordMulticast and GetTime; CheckPasswordBroadcast gives 3 for accepted and 2 for
// refused; IsRequireAuthenticationBroadcast 2 for "a password is needed" and 3 for "none".
// User-interface thread only.
#pragma once

#include "app/core/camera_kinds.h"

#include <cstdint>
#include <string>

namespace pellucor {

class SetupControlEvents
{
public:
    virtual ~SetupControlEvents() = default;
    virtual void onImageEvent(std::int32_t code) = 0;
    virtual void onEndSearchDevice(std::int32_t status) = 0;
    virtual void onEndLoginCamera(std::int32_t status) = 0;
    virtual void onEndProbeDevice(std::int32_t) {}
};

// Fields of the camera's configuration block (getConfigValue and the like, after getConfig).
namespace configField {
inline constexpr std::int32_t kNetworkFlags = 2;
inline constexpr std::int32_t kAdminName = 40;
inline constexpr std::int32_t kAdminPassword = 41;
inline constexpr std::int32_t kSubnetMask = 44;
inline constexpr std::int32_t kGateway = 45;
} // namespace configField

class SetupControl
{
public:
    virtual ~SetupControl() = default;

    // Where the control's events go (null: dropped).
    virtual void setEvents(SetupControlEvents* events) = 0;

    virtual void setRemoteHost(const std::string& host) = 0;
    virtual void setRemotePort(std::int32_t port) = 0;
    virtual void setProtocol(std::int32_t protocol) = 0;
    virtual void setMACAddress(const std::string& mac) = 0;
    virtual void setUserName(const std::string& name) = 0;
    virtual void setPassword(const std::string& password) = 0;
    virtual void setDeviceSerialNo(const std::string& serial) = 0;
    virtual void setFoundIndex(std::int32_t index) = 0;
    virtual void setLocalCamera(bool local) = 0;
    // ProxyServerAddress, ProxyPort, EnableProxy and BypassProxyServer.
    virtual void setProxy(const std::string& address, std::int32_t port, bool enable, bool bypass) = 0;
    virtual std::string remoteHost() = 0;
    virtual std::int32_t remotePort() = 0;

    // The found-device entry that FoundIndex selects.
    virtual std::string foundIPAddress() = 0;
    virtual std::string foundDeviceName() = 0;
    virtual std::string foundMACAddress() = 0;
    virtual std::int32_t foundProtocol() = 0;
    virtual std::int32_t foundProp() = 0;
    virtual std::string foundServerModel() = 0;
    virtual std::string foundFWVersion() = 0;
    virtual std::string foundHWVersion() = 0;
    virtual std::string foundROMVersion() = 0;
    virtual std::string foundLocation() = 0;
    virtual std::int32_t remoteWebPort() = 0;
    virtual std::string foundSubMask() = 0;
    virtual std::string foundDefGateway() = 0;
    // Text 0 or 1 of the discovery reply (a web-form camera's user name and password): the
    // caller compares and forgets them.
    virtual std::string foundString(std::int32_t index) = 0;
    virtual std::int32_t foundDevServerStatus() = 0;

    virtual std::int32_t searchDevice(std::int32_t mode, const std::string& address) = 0;
    virtual std::int32_t getConfig(std::int32_t mode) = 0;
    virtual std::string getConfigValueBSTR(std::int32_t index) = 0;
    virtual std::int32_t setIPAddress(const std::string& address, const std::string& mask,
                                      const std::string& gateway) = 0;
    virtual std::int32_t loginCamera(bool newThread) = 0;
    // Mode 1 ends with onEndProbeDevice; mode 0 returns -1 when the camera answered.
    virtual std::int32_t probeDevice(std::int32_t mode, bool skipBroadcastQuery) = 0;
    virtual std::int32_t getConfigValue(std::int32_t index) = 0;
    virtual void setConfigValue(std::int32_t index, std::int32_t value) = 0;
    virtual std::int32_t setConfig(std::int32_t mode, std::int32_t change) = 0;
    virtual std::int32_t reset() = 0;
    // The camera's clock, read only for whether it answers without credentials.
    virtual std::int32_t getTime() = 0;
    virtual std::int32_t isRequireAuthenticationBroadcast() = 0;
    virtual std::int32_t checkPasswordBroadcast(const std::string& user, const std::string& password) = 0;
    virtual std::int32_t checkPasswordMulticast(const std::string& user, const std::string& password) = 0;
    // Mode 2 DHCP, 1 a fixed address.
    virtual std::int32_t setIPAddressMulticast(const std::string& address, const std::string& mask,
                                               const std::string& gateway, std::int32_t mode) = 0;
    virtual std::string getLocalUUID(std::int32_t n) = 0;
    virtual void setLocalUUID(std::int32_t n, const std::string& identity) = 0;
    // The Kestra family: the port page, one read command (83 the status block) and the
    // status block's pan/tilt byte.
    virtual std::int32_t getKestraPort() = 0;
    virtual std::string getKestraValue(std::int32_t command) = 0;
    virtual std::int32_t ptSupport() = 0;
    // A TCP connection attempt; -1 when something answers.
    virtual std::int32_t checkIP(const std::string& address, std::int32_t port) = 0;
};

} // namespace pellucor
