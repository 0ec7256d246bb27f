#include "control/image_server.h"

#include <cstring>

namespace tessivor {

std::atomic<long>& moduleLockCount()
{
    static std::atomic<long> count{0};
    return count;
}

ImageServer::ImageServer() : m_image(std::make_unique<CImage>())
{
    ++moduleLockCount();
}

ImageServer::~ImageServer()
{
    m_image.reset();
    --moduleLockCount();
}

HRESULT ImageServer::getIdOfName(std::string_view name, DispId* id)
{
    return imageDispatchTable().idOfName(name, id);
}

HRESULT ImageServer::invoke(DispId id, InvokeKind kind, DispParams& params, Variant* result)
{
    return imageDispatchTable().invoke(*m_image, id, kind, params, result);
}

std::vector<MemberInfo> ImageServer::typeInfo() const
{
    return imageDispatchTable().members();
}

std::vector<MemberInfo> ImageServer::eventInfo() const
{
    return imageEventInfo();
}

HRESULT ImageServer::advise(std::shared_ptr<IDispatch> sink, std::uint32_t* cookie)
{
    return m_image->events().advise(std::move(sink), cookie);
}

HRESULT ImageServer::unadvise(std::uint32_t cookie)
{
    return m_image->events().unadvise(cookie);
}

void* ImageServer::queryInterface(std::string_view interfaceName)
{
    if (interfaceName == "IImage")
        return static_cast<IImage*>(m_image.get());
    if (interfaceName == "CImage")
        return m_image.get();
    return nullptr;
}

HRESULT ImageServerFactory::createInstance(std::shared_ptr<IAutomationObject>* object)
{
    if (!object)
        return E_POINTER;
    try {
        *object = std::make_shared<ImageServer>();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT ImageServerFactory::lockServer(bool lock)
{
    if (lock)
        ++moduleLockCount();
    else
        --moduleLockCount();
    return S_OK;
}

ClassRegistration imageServerRegistration(const std::string& modulePath)
{
    ClassRegistration r;
    r.clsid = kImageServerClsid;
    r.userTypeName = "Image Class";
    r.progId = kImageServerProgId;
    r.versionIndependentProgId = kImageServerIndependentProgId;
    r.modulePath = modulePath;
    r.threadingModel = "Apartment";
    r.typeLib = "TESSIVORLib 1.0";
    r.extra = {{"Programmable", "1"},
               {"Control", "1"},
               {"Insertable", "1"},
               {"MiscStatus", "0"},
               {"MiscStatus1", "131473"}};
    return r;
}

} // namespace tessivor
