// Entry points of the control module (libtessivor.so).
#include "control/image_server.h"

using namespace tessivor;

extern "C" {

__attribute__((visibility("default"))) HRESULT DllGetClassObject(const char* clsid, IClassFactory** factory)
{
    if (!factory)
        return E_POINTER;
    *factory = nullptr;
    if (!clsid || std::string_view(clsid) != kImageServerClsid)
        return CLASS_E_CLASSNOTAVAILABLE;
    static ImageServerFactory theFactory;
    *factory = &theFactory;
    return S_OK;
}

__attribute__((visibility("default"))) HRESULT DllCanUnloadNow()
{
    return moduleLockCount().load() == 0 ? S_OK : S_FALSE;
}

__attribute__((visibility("default"))) HRESULT DllRegisterServer()
{
    const std::string path = modulePathOf(reinterpret_cast<const void*>(&DllRegisterServer));
    if (path.empty())
        return E_FAIL;
    return registerClass(imageServerRegistration(path));
}

__attribute__((visibility("default"))) HRESULT DllUnregisterServer()
{
    return unregisterClass(kImageServerClsid);
}

} // extern "C"
