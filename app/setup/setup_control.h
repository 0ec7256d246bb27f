// The camera control as the setup dialogs use it: each dialog that talks to a camera itself
// hosts its own instance, never shown. Long operations (search, login) run with mode 1 on the
// control's worker threads; their ends arrive as SetupControlEvents calls on the user-interface
// thread, also while a dialog waits in its local event loop.
//
// Results follow the control: -1 for success of GetConfig, SetIPAddress and SetConfig.
// User-interface thread only.
#pragma once

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
};

// GetImageEvent's code for "a device was found".
inline constexpr std::int32_t kEventDeviceFound = 27;

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

    virtual std::int32_t searchDevice(std::int32_t mode, const std::string& address) = 0;
    virtual std::int32_t getConfig(std::int32_t mode) = 0;
    virtual std::string getConfigValueBSTR(std::int32_t index) = 0;
    virtual std::int32_t setIPAddress(const std::string& address, const std::string& mask,
                                      const std::string& gateway) = 0;
    virtual std::int32_t loginCamera(bool newThread) = 0;
    // A TCP connection attempt; -1 when something answers.
    virtual std::int32_t checkIP(const std::string& address, std::int32_t port) = 0;
};

} // namespace pellucor
