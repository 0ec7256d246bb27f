// The coclass ImageServer: the automation object around one CImage, its class factory, and the
// registration data of the control module.
#pragma once

#include "control/cimage.h"
#include "platform/com_module.h"
#include "platform/registration.h"

#include <atomic>
#include <memory>

namespace tessivor {

inline constexpr const char* kImageServerClsid = "{6B7E3C1A-5D2F-4E8B-9A41-2C7D0E5F1B93}";
inline constexpr const char* kImageServerProgId = "Tessivor.Image.1";
inline constexpr const char* kImageServerIndependentProgId = "Tessivor.Image";

class ImageServer final : public IAutomationObject
{
public:
    ImageServer();
    ~ImageServer() override;

    HRESULT getIdOfName(std::string_view name, DispId* id) override;
    HRESULT invoke(DispId id, InvokeKind kind, DispParams& params, Variant* result) override;
    std::vector<MemberInfo> typeInfo() const override;
    std::vector<MemberInfo> eventInfo() const override;
    HRESULT advise(std::shared_ptr<IDispatch> sink, std::uint32_t* cookie) override;
    HRESULT unadvise(std::uint32_t cookie) override;
    void* queryInterface(std::string_view interfaceName) override;

    CImage& image() { return *m_image; }

private:
    std::unique_ptr<CImage> m_image;
};

class ImageServerFactory final : public IClassFactory
{
public:
    HRESULT createInstance(std::shared_ptr<IAutomationObject>* object) override;
    HRESULT lockServer(bool lock) override;
};

// Objects and server locks alive in this module (DllCanUnloadNow answers from it).
std::atomic<long>& moduleLockCount();

// The registration entry of ImageServer for a module at `modulePath`.
ClassRegistration imageServerRegistration(const std::string& modulePath);

} // namespace tessivor
