// A scripted setup control: found devices given in advance, every call recorded, events fired
// by the test through the sink the dialog registered.
#pragma once

#include "app/setup/setup_control.h"

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace dialogtest {

struct FoundDevice
{
    std::string ip;
    std::string name;
    std::string mac = "0.13.136.1.2.3";
    std::int32_t protocol = 0;
    std::int32_t prop = 0;
    std::int32_t webPort = 80;
    std::string mask = "255.255.255.0";
    std::string gateway = "10.0.0.1";
    std::array<std::string, 2> strings{}; // FoundString 0 and 1
    std::int16_t serverStatus = 0;
};

class FakeSetupControl : public pellucor::SetupControl
{
public:
    std::vector<FoundDevice> devices;
    std::vector<std::string> calls;
    std::int32_t configResult = -1;
    std::string adminName;
    std::string adminPassword;
    pellucor::SetupControlEvents* events = nullptr;

    std::string host, mac, user, password, serial = "unset";
    std::int32_t port = 0, protocol = -1, index = 0;
    bool localCamera = false;
    std::string proxyAddress;
    std::int32_t proxyPort = 0;
    // Scripted answers.
    std::int32_t probeResult = -1; // mode 0 result; mode 1 events are fired by the test
    FoundDevice probed;            // the device at found index -1
    std::map<std::int32_t, std::int32_t> configValues;
    std::map<std::int32_t, std::string> configTexts; // besides 40 and 41
    std::int32_t setConfigResult = -1;
    std::int32_t timeResult = 0;
    std::int32_t authNeeded = 3;
    std::int32_t checkBroadcastResult = 3;
    std::int32_t checkMulticastResult = -1;
    std::int32_t ptSupportValue = 0;
    // Credentials passed to the password checks, in order.
    std::vector<std::string> checkedCredentials;

    // Fires one device-found report per device, then the end of the search.
    void reportAll()
    {
        for (std::size_t i = 0; i < devices.size(); ++i)
            events->onImageEvent(pellucor::kEventDeviceFound);
        events->onEndSearchDevice(0);
    }
    int count(const std::string& name) const
    {
        int n = 0;
        for (const auto& c : calls)
            n += c == name;
        return n;
    }

    void setEvents(pellucor::SetupControlEvents* e) override { events = e; }
    void setRemoteHost(const std::string& h) override { host = h; }
    void setRemotePort(std::int32_t p) override { port = p; }
    void setProtocol(std::int32_t p) override { protocol = p; }
    void setMACAddress(const std::string& m) override { mac = m; }
    void setUserName(const std::string& u) override { user = u; }
    void setPassword(const std::string& p) override { password = p; }
    void setDeviceSerialNo(const std::string& s) override { serial = s; }
    void setFoundIndex(std::int32_t i) override { index = i; }
    void setLocalCamera(bool local) override { localCamera = local; }
    void setProxy(const std::string& address, std::int32_t p, bool, bool) override
    {
        proxyAddress = address;
        proxyPort = p;
    }
    std::string remoteHost() override { return host; }
    std::int32_t remotePort() override { return port; }

    std::string foundIPAddress() override { return dev().ip; }
    std::string foundDeviceName() override { return dev().name; }
    std::string foundMACAddress() override { return dev().mac; }
    std::int32_t foundProtocol() override { return dev().protocol; }
    std::int32_t foundProp() override { return dev().prop; }
    std::string foundServerModel() override { return "model"; }
    std::string foundFWVersion() override { return "fw"; }
    std::string foundHWVersion() override { return "hw"; }
    std::string foundROMVersion() override { return "rom"; }
    std::string foundLocation() override { return "loc"; }
    std::int32_t remoteWebPort() override { return dev().webPort; }
    std::string foundSubMask() override { return dev().mask; }
    std::string foundDefGateway() override { return dev().gateway; }
    std::string foundString(std::int32_t i) override { return dev().strings.at(static_cast<std::size_t>(i)); }
    std::int32_t foundDevServerStatus() override { return dev().serverStatus; }

    std::int32_t searchDevice(std::int32_t, const std::string&) override
    {
        calls.push_back("SearchDevice");
        return 0;
    }
    std::int32_t getConfig(std::int32_t) override
    {
        calls.push_back("GetConfig");
        return configResult;
    }
    std::string getConfigValueBSTR(std::int32_t i) override
    {
        if (i == 40)
            return adminName;
        if (i == 41)
            return adminPassword;
        return configTexts[i];
    }
    std::int32_t setIPAddressResult = -1;
    std::int32_t setIPAddress(const std::string& a, const std::string& m, const std::string& g) override
    {
        calls.push_back("SetIPAddress " + a + " " + m + " " + g);
        return setIPAddressResult;
    }
    std::int32_t checkIP(const std::string&, std::int32_t) override
    {
        calls.push_back("CheckIP");
        return 0;
    }
    std::int32_t loginCamera(bool) override
    {
        calls.push_back("LoginCamera");
        return 0;
    }
    std::int32_t probeDevice(std::int32_t mode, bool) override
    {
        calls.push_back("ProbeDevice " + std::to_string(mode));
        return mode == 0 ? probeResult : -1;
    }
    std::int32_t getConfigValue(std::int32_t i) override { return configValues[i]; }
    void setConfigValue(std::int32_t i, std::int32_t v) override
    {
        calls.push_back("SetConfigValue " + std::to_string(i) + " " + std::to_string(v));
        configValues[i] = v;
    }
    std::int32_t setConfig(std::int32_t mode, std::int32_t change) override
    {
        calls.push_back("SetConfig " + std::to_string(mode) + " " + std::to_string(change));
        return setConfigResult;
    }
    std::int32_t reset() override
    {
        calls.push_back("Reset");
        return -1;
    }
    std::int32_t getTime() override
    {
        calls.push_back("GetTime");
        return timeResult;
    }
    std::int32_t isRequireAuthenticationBroadcast() override
    {
        calls.push_back("IsRequireAuthenticationBroadcast");
        return authNeeded;
    }
    std::int32_t checkPasswordBroadcast(const std::string& u, const std::string& p) override
    {
        calls.push_back("CheckPasswordBroadcast");
        checkedCredentials.push_back(u + "/" + p);
        return checkBroadcastResult;
    }
    std::int32_t checkPasswordMulticast(const std::string& u, const std::string& p) override
    {
        calls.push_back("CheckPasswordMulticast");
        checkedCredentials.push_back(u + "/" + p);
        return checkMulticastResult;
    }
    std::int32_t setIPAddressMulticast(const std::string& a, const std::string& m, const std::string& g,
                                       std::int32_t mode) override
    {
        calls.push_back("SetIPAddressMulticast " + a + " " + m + " " + g + " " + std::to_string(mode));
        return -1;
    }
    std::string getLocalUUID(std::int32_t n) override { return "uuid" + std::to_string(n); }
    void setLocalUUID(std::int32_t n, const std::string& id) override
    {
        calls.push_back("SetLocalUUID " + std::to_string(n) + " " + id);
    }
    std::int32_t getKestraPort() override
    {
        calls.push_back("GetKestraPort");
        return -1;
    }
    std::string getKestraValue(std::int32_t command) override
    {
        calls.push_back("GetKestraValue " + std::to_string(command));
        return {};
    }
    std::int32_t ptSupport() override { return ptSupportValue; }

private:
    FoundDevice& dev() { return index < 0 ? probed : devices.at(static_cast<std::size_t>(index)); }
};

} // namespace dialogtest
