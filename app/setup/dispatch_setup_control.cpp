#include "app/setup/dispatch_setup_control.h"

#include "app/core/control_adapter.h"

#include "platform/com_module.h"

namespace pellucor {

using tessivor::DispId;
using tessivor::DispParams;
using tessivor::HRESULT;
using tessivor::InvokeKind;
using tessivor::Variant;

class DispatchSetupControl::Sink final : public tessivor::IDispatch
{
public:
    HRESULT getIdOfName(std::string_view, DispId*) override { return tessivor::DISP_E_UNKNOWNNAME; }

    HRESULT invoke(DispId id, InvokeKind, DispParams& params, Variant*) override
    {
        std::int32_t value = 0;
        if (!events || params.count() != 1 || tessivor::failed(params.declared(0).toI4(&value)))
            return tessivor::S_OK;
        if (id == imageEvent)
            events->onImageEvent(value);
        else if (id == endSearch)
            events->onEndSearchDevice(value);
        else if (id == endLogin)
            events->onEndLoginCamera(value);
        else if (id == endProbe)
            events->onEndProbeDevice(value);
        return tessivor::S_OK;
    }

    SetupControlEvents* events = nullptr;
    DispId imageEvent = -1, endSearch = -1, endLogin = -1, endProbe = -1;
};

std::unique_ptr<DispatchSetupControl> DispatchSetupControl::create(const std::string& progId,
                                                                   std::string* error)
{
    std::unique_ptr<DispatchSetupControl> c(new DispatchSetupControl());
    c->m_object = createControlObject(progId, error);
    if (!c->m_object)
        return nullptr;
    c->m_sink = std::make_shared<Sink>();
    for (const tessivor::MemberInfo& e : c->m_object->eventInfo()) {
        if (e.name == "GetImageEvent")
            c->m_sink->imageEvent = e.id;
        else if (e.name == "EndSearchDevice")
            c->m_sink->endSearch = e.id;
        else if (e.name == "EndLoginCamera")
            c->m_sink->endLogin = e.id;
        else if (e.name == "EndProbeDevice")
            c->m_sink->endProbe = e.id;
    }
    if (!adviseControl(*c->m_object, c->m_sink, &c->m_cookie, progId, error))
        return nullptr;
    return c;
}

DispatchSetupControl::~DispatchSetupControl()
{
    if (m_object && m_cookie)
        m_object->unadvise(m_cookie);
}

Variant DispatchSetupControl::invoke(const char* member, InvokeKind k, std::vector<Variant> args)
{
    DispId id = 0;
    {
        std::lock_guard guard(m_idsLock);
        auto it = m_ids.find(member);
        if (it == m_ids.end()) {
            if (tessivor::failed(m_object->getIdOfName(member, &id)))
                return {};
            it = m_ids.emplace(member, id).first;
        }
        id = it->second;
    }
    DispParams params = DispParams::fromDeclared(std::move(args));
    Variant result;
    if (tessivor::failed(m_object->invoke(id, k, params, k == InvokeKind::PropertyPut ? nullptr : &result)))
        return {};
    return fromControl(std::move(result)); // names and models arrive as the camera's raw bytes
}

void DispatchSetupControl::put(const char* member, Variant value)
{
    invoke(member, InvokeKind::PropertyPut, {std::move(value)});
}

std::string DispatchSetupControl::text(const char* member)
{
    std::string out;
    if (tessivor::failed(invoke(member, InvokeKind::PropertyGet, {}).toBstr(&out)))
        out.clear();
    return out;
}

std::int32_t DispatchSetupControl::numberOf(const Variant& v, std::int32_t fallback)
{
    std::int32_t out = 0;
    return tessivor::failed(v.toI4(&out)) ? fallback : out;
}

std::int32_t DispatchSetupControl::number(const char* member)
{
    return numberOf(invoke(member, InvokeKind::PropertyGet, {}), 0);
}

void DispatchSetupControl::setEvents(SetupControlEvents* events)
{
    m_sink->events = events;
}

void DispatchSetupControl::setRemoteHost(const std::string& v)
{
    put("RemoteHost", Variant::str(v));
}
void DispatchSetupControl::setRemotePort(std::int32_t v)
{
    put("RemotePort", Variant::i4(v));
}
void DispatchSetupControl::setProtocol(std::int32_t v)
{
    put("Protocol", Variant::i4(v));
}
void DispatchSetupControl::setMACAddress(const std::string& v)
{
    put("MACAddress", Variant::str(v));
}
void DispatchSetupControl::setUserName(const std::string& v)
{
    put("UserName", Variant::str(v));
}
void DispatchSetupControl::setPassword(const std::string& v)
{
    put("Password", Variant::str(v));
}
void DispatchSetupControl::setDeviceSerialNo(const std::string& v)
{
    put("DeviceSerialNo", Variant::str(v));
}
void DispatchSetupControl::setFoundIndex(std::int32_t v)
{
    put("FoundIndex", Variant::i4(v));
}
std::string DispatchSetupControl::foundIPAddress()
{
    return text("FoundIPAddress");
}
std::string DispatchSetupControl::foundDeviceName()
{
    return text("FoundDeviceName");
}
std::string DispatchSetupControl::foundMACAddress()
{
    return text("FoundMACAddress");
}
std::int32_t DispatchSetupControl::foundProtocol()
{
    return number("FoundProtocol");
}
std::int32_t DispatchSetupControl::foundProp()
{
    return number("FoundProp");
}
std::string DispatchSetupControl::foundServerModel()
{
    return text("FoundServerModel");
}
std::string DispatchSetupControl::foundFWVersion()
{
    return text("FoundFWVersion");
}
std::string DispatchSetupControl::foundHWVersion()
{
    return text("FoundHWVersion");
}
std::string DispatchSetupControl::foundROMVersion()
{
    return text("FoundROMVersion");
}
std::string DispatchSetupControl::foundLocation()
{
    return text("FoundLocation");
}
std::int32_t DispatchSetupControl::remoteWebPort()
{
    return number("RemoteWebPort");
}

std::int32_t DispatchSetupControl::searchDevice(std::int32_t mode, const std::string& address)
{
    return call("SearchDevice", {Variant::i4(mode), Variant::str(address)});
}

std::int32_t DispatchSetupControl::getConfig(std::int32_t mode)
{
    // A call that fails reads as 0: not read.
    return call("GetConfig", {Variant::i4(mode)});
}

std::string DispatchSetupControl::getConfigValueBSTR(std::int32_t index)
{
    return callText("GetConfigValueBSTR", {Variant::i4(index)});
}

std::int32_t DispatchSetupControl::setIPAddress(const std::string& address, const std::string& mask,
                                                const std::string& gateway)
{
    return numberOf(invoke("SetIPAddress", InvokeKind::Method,
                           {Variant::str(address), Variant::str(mask), Variant::str(gateway)}),
                    0);
}

std::int32_t DispatchSetupControl::loginCamera(bool newThread)
{
    return call("LoginCamera", {Variant::boolean(newThread)});
}

std::int32_t DispatchSetupControl::checkIP(const std::string& address, std::int32_t port)
{
    return call("CheckIP", {Variant::str(address), Variant::i4(port)});
}

std::int32_t DispatchSetupControl::call(const char* member, std::vector<Variant> args, std::int32_t fallback)
{
    return numberOf(invoke(member, InvokeKind::Method, std::move(args)), fallback);
}

std::string DispatchSetupControl::callText(const char* member, std::vector<Variant> args)
{
    std::string out;
    if (tessivor::failed(invoke(member, InvokeKind::Method, std::move(args)).toBstr(&out)))
        out.clear();
    return out;
}

void DispatchSetupControl::setLocalCamera(bool local)
{
    put("LocalCamera", Variant::boolean(local));
}

void DispatchSetupControl::setProxy(const std::string& address, std::int32_t port, bool enable, bool bypass)
{
    put("ProxyServerAddress", Variant::str(address));
    put("ProxyPort", Variant::i4(port));
    put("EnableProxy", Variant::boolean(enable));
    put("BypassProxyServer", Variant::boolean(bypass));
}

std::string DispatchSetupControl::remoteHost()
{
    return text("RemoteHost");
}
std::int32_t DispatchSetupControl::remotePort()
{
    return number("RemotePort");
}
std::string DispatchSetupControl::foundSubMask()
{
    return text("FoundSubMask");
}
std::string DispatchSetupControl::foundDefGateway()
{
    return text("FoundDefGateway");
}
std::string DispatchSetupControl::foundString(std::int32_t index)
{
    return callText("FoundString", {Variant::i4(index)});
}
std::int32_t DispatchSetupControl::foundDevServerStatus()
{
    return number("FoundDevServerStatus");
}

std::int32_t DispatchSetupControl::probeDevice(std::int32_t mode, bool skipBroadcastQuery)
{
    return call("ProbeDevice", {Variant::i4(mode), Variant::boolean(skipBroadcastQuery)});
}

std::int32_t DispatchSetupControl::getConfigValue(std::int32_t index)
{
    return call("GetConfigValue", {Variant::i4(index)});
}

void DispatchSetupControl::setConfigValue(std::int32_t index, std::int32_t value)
{
    invoke("SetConfigValue", InvokeKind::Method, {Variant::i4(index), Variant::i4(value)});
}

std::int32_t DispatchSetupControl::setConfig(std::int32_t mode, std::int32_t change)
{
    return call("SetConfig", {Variant::i4(mode), Variant::i4(change)});
}

std::int32_t DispatchSetupControl::reset()
{
    return call("Reset", {});
}

std::int32_t DispatchSetupControl::getTime()
{
    std::vector<Variant> parts(7, Variant::i2(0));
    return call("GetTime", std::move(parts));
}

std::int32_t DispatchSetupControl::isRequireAuthenticationBroadcast()
{
    return call("IsRequireAuthenticationBroadcast", {});
}

std::int32_t DispatchSetupControl::checkPasswordBroadcast(const std::string& user,
                                                          const std::string& password)
{
    return call("CheckPasswordBroadcast", {Variant::str(user), Variant::str(password)});
}

std::int32_t DispatchSetupControl::checkPasswordMulticast(const std::string& user,
                                                          const std::string& password)
{
    return call("CheckPasswordMulticast", {Variant::str(user), Variant::str(password)});
}

std::int32_t DispatchSetupControl::setIPAddressMulticast(const std::string& address, const std::string& mask,
                                                         const std::string& gateway, std::int32_t mode)
{
    return call("SetIPAddressMulticast",
                {Variant::str(address), Variant::str(mask), Variant::str(gateway), Variant::i4(mode)});
}

std::string DispatchSetupControl::getLocalUUID(std::int32_t n)
{
    return callText("GetLocalUUID", {Variant::i4(n)});
}

void DispatchSetupControl::setLocalUUID(std::int32_t n, const std::string& identity)
{
    invoke("SetLocalUUID", InvokeKind::Method, {Variant::i4(n), Variant::str(identity)});
}

std::int32_t DispatchSetupControl::getKestraPort()
{
    return call("GetKestraPort", {});
}

std::string DispatchSetupControl::getKestraValue(std::int32_t command)
{
    return callText("GetKestraValue", {Variant::i4(command)});
}

std::int32_t DispatchSetupControl::ptSupport()
{
    return number("PT_Support");
}

} // namespace pellucor
