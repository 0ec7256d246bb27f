#include "app/core/control_adapter.h"

#include "app/core/text_codec.h"
#include "app/core/text_util.h"

#include "platform/com_module.h"
#include "platform/registration.h"

namespace pellucor {

using tessivor::DispId;
using tessivor::DispParams;
using tessivor::HRESULT;
using tessivor::InvokeKind;
using tessivor::Variant;

// Turns the control's events into calls on the engine; other events are answered and dropped.
class DispatchCamera::Sink final : public tessivor::IDispatch
{
public:
    Sink(int slot, CameraEvents* events, DispId imageEvent, DispId endConfig)
        : m_slot(slot), m_events(events), m_imageEvent(imageEvent), m_endConfig(endConfig)
    {
    }

    HRESULT getIdOfName(std::string_view, DispId*) override { return tessivor::DISP_E_UNKNOWNNAME; }

    HRESULT invoke(DispId id, InvokeKind, DispParams& params, Variant*) override
    {
        if (!m_events)
            return tessivor::S_OK;
        if (id == m_imageEvent && params.count() == 1) {
            std::int32_t code = 0;
            if (tessivor::succeeded(params.declared(0).toI4(&code)))
                m_events->onImageEvent(m_slot, code);
        } else if (id == m_endConfig && params.count() == 8) {
            std::int32_t status = 0;
            std::int16_t values[7]{};
            bool ok = tessivor::succeeded(params.declared(0).toI4(&status));
            for (std::size_t i = 0; i < 7 && ok; ++i)
                ok = tessivor::succeeded(params.declared(i + 1).toI2(&values[i]));
            if (ok)
                m_events->onEndGetImageConfig(m_slot, status, values);
        }
        return tessivor::S_OK;
    }

private:
    int m_slot;
    CameraEvents* m_events;
    DispId m_imageEvent;
    DispId m_endConfig;
};

Variant fromControl(Variant value)
{
    std::string text;
    if (value.type() != tessivor::VarType::Bstr || tessivor::failed(value.toBstr(&text)) || isValidUtf8(text))
        return value;
    return Variant::str(toValidUtf8(text));
}

std::shared_ptr<tessivor::IAutomationObject> createControlObject(const std::string& progId,
                                                                 std::string* error)
{
    std::shared_ptr<tessivor::IAutomationObject> object;
    std::string why;
    const HRESULT hr = tessivor::createByProgId(progId, &object, &why);
    if (tessivor::failed(hr) || !object) {
        if (error)
            *error = "cannot create \"" + progId + "\": " + (why.empty() ? tessivor::resultText(hr) : why);
        return nullptr;
    }
    return object;
}

bool adviseControl(tessivor::IAutomationObject& object, const std::shared_ptr<tessivor::IDispatch>& sink,
                   std::uint32_t* cookie, const std::string& progId, std::string* error)
{
    if (tessivor::succeeded(object.advise(sink, cookie)))
        return true;
    if (error)
        *error = "the control \"" + progId + "\" refuses its event sink";
    return false;
}

std::unique_ptr<DispatchCamera> DispatchCamera::create(const std::string& progId, int slot,
                                                       CameraEvents* events, std::string* error)
{
    std::unique_ptr<DispatchCamera> cam(new DispatchCamera());
    cam->m_object = createControlObject(progId, error);
    if (!cam->m_object)
        return nullptr;
    for (const CameraMember& m : cameraMembers()) {
        if (cam->m_ids.count(m.name))
            continue;
        DispId id = 0;
        if (tessivor::failed(cam->m_object->getIdOfName(m.name, &id)) || id != m.id) {
            if (error)
                *error = "the control \"" + progId + "\" has no member " + std::string(m.name) + " of id " +
                         std::to_string(m.id);
            return nullptr;
        }
        cam->m_ids.emplace(std::string(m.name), id);
    }
    DispId imageEvent = -1, endConfig = -1;
    for (const tessivor::MemberInfo& e : cam->m_object->eventInfo()) {
        if (e.name == "GetImageEvent")
            imageEvent = e.id;
        else if (e.name == "EndGetImageConfig")
            endConfig = e.id;
    }
    cam->m_sink = std::make_shared<Sink>(slot, events, imageEvent, endConfig);
    if (!adviseControl(*cam->m_object, cam->m_sink, &cam->m_cookie, progId, error))
        return nullptr;
    return cam;
}

DispatchCamera::~DispatchCamera()
{
    if (m_object && m_cookie)
        m_object->unadvise(m_cookie);
}

Variant DispatchCamera::call(std::string_view member, InvokeKind kind, std::vector<Variant> declared)
{
    return callWithOuts(member, kind, declared);
}

Variant DispatchCamera::callWithOuts(std::string_view member, InvokeKind kind, std::vector<Variant>& declared)
{
    const auto id = m_ids.find(member);
    if (id == m_ids.end())
        throw ControlError("no member " + std::string(member));
    // A method's trailing out argument travels as an empty placeholder and comes back in place.
    bool hasOut = false;
    if (kind == InvokeKind::Method) {
        for (const CameraMember& m : cameraMembers()) {
            if (m.name == member && m.kind == kind) {
                hasOut = !m.params.empty() && m.params.back().back() == '*';
                break;
            }
        }
        if (hasOut)
            declared.emplace_back();
    }
    DispParams params = DispParams::fromDeclared(std::move(declared));
    Variant result;
    const HRESULT hr =
        m_object->invoke(id->second, kind, params, kind == InvokeKind::PropertyPut ? nullptr : &result);
    // Out arguments come back in place; the caller reads them from `declared`.
    declared.clear();
    for (std::size_t i = 0; i < params.count(); ++i)
        declared.push_back(fromControl(params.declared(i)));
    if (tessivor::failed(hr))
        throw ControlError(std::string(member) + ": " + tessivor::resultText(hr));
    if (hasOut && result.empty())
        return declared.back();
    return fromControl(std::move(result));
}

} // namespace pellucor
