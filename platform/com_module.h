// Automation objects, class factories and the entry points of a control module.
//
// A control module is a shared library that exports four C functions:
//   DllGetClassObject(clsid, factory out)  hands out the class factory of a class it serves;
//   DllCanUnloadNow()                      S_OK when no object or server lock is alive, else S_FALSE;
//   DllRegisterServer() / DllUnregisterServer()  write or remove its entries in the registration
//                                                file (registration.h).
// Objects live in shared_ptr; the module is never unloaded while the process runs, so an object
// may outlive the factory that made it.
#pragma once

#include "platform/connection_point.h"
#include "platform/dispatch.h"

#include <memory>
#include <string_view>
#include <vector>

namespace tessivor {

// What a created object offers its host: late-bound calls with type information, its event
// connection point, and its direct (vtable) interfaces by name.
class IAutomationObject : public IDispatch
{
public:
    // The members of the default interface, as its type library declares them.
    virtual std::vector<MemberInfo> typeInfo() const = 0;
    // The events of the default source interface.
    virtual std::vector<MemberInfo> eventInfo() const = 0;
    virtual HRESULT advise(std::shared_ptr<IDispatch> sink, std::uint32_t* cookie) = 0;
    virtual HRESULT unadvise(std::uint32_t cookie) = 0;
    // A direct interface by name ("IImage"); null when the object has none of that name.
    virtual void* queryInterface(std::string_view interfaceName) = 0;
};

class IClassFactory
{
public:
    virtual ~IClassFactory() = default;
    virtual HRESULT createInstance(std::shared_ptr<IAutomationObject>* object) = 0;
    virtual HRESULT lockServer(bool lock) = 0;
};

extern "C" {
using DllGetClassObjectFn = HRESULT (*)(const char* clsid, IClassFactory** factory);
using DllCanUnloadNowFn = HRESULT (*)();
using DllRegisterServerFn = HRESULT (*)();
using DllUnregisterServerFn = HRESULT (*)();
}

} // namespace tessivor
