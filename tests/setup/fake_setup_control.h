// A scripted setup control: found devices given in advance, every call recorded, events fired
// by the test through the sink the dialog registered.
#pragma once

#include "app/setup/setup_control.h"

#include <cstdint>
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

    std::string host, mac, user, password;
    std::int32_t port = 0, protocol = -1, index = 0;

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
    void setDeviceSerialNo(const std::string&) override {}
    void setFoundIndex(std::int32_t i) override { index = i; }

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
    std::string getConfigValueBSTR(std::int32_t i) override { return i == 40 ? adminName : adminPassword; }
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

private:
    FoundDevice& dev() { return devices.at(static_cast<std::size_t>(index)); }
};

} // namespace dialogtest
