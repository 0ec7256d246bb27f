// The camera control as the program really reaches it: created by ProgID through the
// registration layer and called late-bound through its dispatch interface, as a script host
// would. Member ids are asked of the object by name once, at creation, and each must be the id
// of the member table (cameraMembers()); events arrive through its connection point.
//
// The control fires its events on the thread that pumps its window messages: the program's
// user-interface thread. User-interface thread only.
#pragma once

#include "app/core/camera_port.h"

#include "platform/variant.h"

#include <map>
#include <memory>
#include <string>

namespace tessivor {
class IAutomationObject;
class IDispatch;
} // namespace tessivor

namespace pellucor {

inline constexpr const char* kControlProgId = "Tessivor.Image";

// A new instance of the control by ProgID; null, with the reason in *error, when it cannot be made.
std::shared_ptr<tessivor::IAutomationObject> createControlObject(const std::string& progId,
                                                                 std::string* error);
// A value the control hands over, with a text made valid UTF-8: cameras send names and models as
// raw bytes, in whatever code page their maker chose, and bytes that are not UTF-8 are read as
// Windows-1252 (toValidUtf8). Other values come back as they are.
tessivor::Variant fromControl(tessivor::Variant value);

// Connects `sink` to the control's events; false, with the reason in *error, when it refuses.
bool adviseControl(tessivor::IAutomationObject& object, const std::shared_ptr<tessivor::IDispatch>& sink,
                   std::uint32_t* cookie, const std::string& progId, std::string* error);

class DispatchCamera : public LateBoundCamera
{
public:
    // Null, with the reason in *error, when the control cannot be created or does not offer a
    // member the program calls. `events` (may be null) receives slot `slot`'s events.
    static std::unique_ptr<DispatchCamera> create(const std::string& progId, int slot, CameraEvents* events,
                                                  std::string* error);
    ~DispatchCamera() override;

    tessivor::IAutomationObject& object() { return *m_object; }

protected:
    tessivor::Variant call(std::string_view member, tessivor::InvokeKind kind,
                           std::vector<tessivor::Variant> declared) override;
    tessivor::Variant callWithOuts(std::string_view member, tessivor::InvokeKind kind,
                                   std::vector<tessivor::Variant>& declared) override;

private:
    class Sink;
    DispatchCamera() = default;

    std::shared_ptr<tessivor::IAutomationObject> m_object;
    std::map<std::string, tessivor::DispId, std::less<>> m_ids;
    std::shared_ptr<Sink> m_sink;
    std::uint32_t m_cookie = 0;
};

} // namespace pellucor
