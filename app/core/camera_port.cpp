#include "app/core/camera_port.h"

#include <array>

namespace pellucor {

using tessivor::InvokeKind;
using tessivor::Variant;
using tessivor::VariantBool;

namespace {

constexpr InvokeKind kGet = InvokeKind::PropertyGet;
constexpr InvokeKind kPut = InvokeKind::PropertyPut;
constexpr InvokeKind kMethod = InvokeKind::Method;

// Dispatch ids of the control's type library (the host-visible contract of IImage).
struct PropId
{
    std::string_view name;
    tessivor::DispId id;
};

constexpr std::array<PropId, 18> kTextIds{{
    {"DeviceSerialNo", 163},
    {"UserName", 44},
    {"Password", 45},
    {"RemoteHost", 1},
    {"ProxyServerAddress", 85},
    {"EMailFileName", 75},
    {"MACAddress", 12},
    {"SendMailID", 101},
    {"SendMailPWD", 102},
    {"NormalFilePath", 67},
    {"MotionFilePath", 68},
    {"KestraFWVERSION", 197},
    {"FoundDeviceName", 48},
    {"FoundMACAddress", 23},
    {"FoundFWVersion", 64},
    {"FoundHWVersion", 81},
    {"FoundROMVersion", 82},
    {"FoundServerModel", 63},
}};

constexpr std::array<PropId, 27> kIntIds{{
    {"RemotePort", 2},         {"Protocol", 80},         {"ProxyPort", 84},        {"RotateAngle", 13},
    {"PreviewLeft", 43},       {"PreviewTop", 42},       {"MotionDetectMode", 15}, {"MotionBlockCount", 71},
    {"MotionSensitivity", 16}, {"ImageInterval", 107},   {"PreviewhWnd", 40},      {"PreviewDC", 41},
    {"PreviewWidth", 9},       {"PreviewHeight", 10},    {"SplitFileMode", 22},    {"SplitFileSpace", 39},
    {"SplitFileTime", 69},     {"MinReservedSpace", 38}, {"MailIntervalTime", 86}, {"PlayMode", 157},
    {"FoundIndex", 24},        {"Status", 14},           {"KestraCPort", 141},     {"KestraSPort", 140},
    {"ImageWidth", 120},       {"ImageHeight", 121},     {"FoundProtocol", 98},
}};

constexpr std::array<PropId, 6> kBoolIds{{
    {"LocalCamera", 94},
    {"EnableProxy", 83},
    {"BypassProxyServer", 92},
    {"DrawImage", 97},
    {"OtherDC", 53},
    {"HaveRecycleFunction", 78},
}};

constexpr std::array<PropId, 18> kMethodIds{{
    {"Run", 5},
    {"Stop", 6},
    {"RunAudio", 158},
    {"LoginCamera", 96},
    {"GetKestraPort", 139},
    {"GetKestraValue", 131},
    {"Kestra_Logout", 198},
    {"StartRecording", 7},
    {"StopRecording", 36},
    {"SetEMailProperty", 73},
    {"SendEmail", 152},
    {"GetImageConfig", 99},
    {"SetImageConfig", 56},
    {"Capture", 70},
    {"KestraAudioON", 145},
    {"PT_CMD", 116},
    {"ProbeDevice", 4},
    {"RequestDownload", 74},
}};

// Properties that the program only reads; all others it writes, and some of those it reads too.
bool readOnly(std::string_view name)
{
    for (std::string_view r :
         {"Status", "KestraFWVERSION", "FoundDeviceName", "FoundMACAddress", "FoundFWVersion",
          "FoundHWVersion", "FoundROMVersion", "FoundServerModel", "FoundProtocol", "ImageWidth",
          "ImageHeight", "HaveRecycleFunction", "KestraCPort", "KestraSPort"})
        if (r == name)
            return true;
    return false;
}

// Properties the program reads back besides writing them.
bool readBack(std::string_view name)
{
    for (std::string_view r :
         {"UserName", "Password", "MotionDetectMode", "PreviewWidth", "PreviewHeight", "PreviewhWnd"})
        if (r == name)
            return true;
    return false;
}

std::vector<CameraMember> buildMembers()
{
    std::vector<CameraMember> out;
    auto addProp = [&](const PropId& p, std::string_view type, std::string_view outType) {
        if (!readOnly(p.name))
            out.push_back({p.name, p.id, kPut, {type}});
        if (readOnly(p.name) || readBack(p.name))
            out.push_back({p.name, p.id, kGet, {outType}});
    };
    for (const auto& p : kTextIds)
        addProp(p, "BSTR", "BSTR*");
    for (const auto& p : kIntIds) {
        // The split mode is an enumeration of the type library.
        if (p.name == "SplitFileMode")
            addProp(p, "AviFileModeType", "AviFileModeType*");
        else
            addProp(p, "I4", "I4*");
    }
    for (const auto& p : kBoolIds)
        addProp(p, "BOOL", "BOOL*");
    const std::array<std::vector<std::string_view>, kMethodIds.size()> params{{
        {"I4*"},
        {},
        {"I4*"},
        {"BOOL", "I4*"},
        {"I4*"},
        {"I4", "BSTR*"},
        {"BSTR", "I4*"},
        {},
        {},
        {"BSTR", "BSTR", "BSTR", "BSTR", "I4*"},
        {"I4*"},
        {"I4", "I2*", "I2*", "I2*", "I2*", "I2*", "I2*", "I2*", "I4*"},
        {"I2", "I2", "I2", "I2", "I2", "I2", "I2", "I4*"},
        {"BSTR", "I4"},
        {"BSTR", "I4*"},
        {"I4", "I4*"},
        {"I4", "BOOL", "I4*"},
        {"I4*"},
    }};
    for (std::size_t i = 0; i < kMethodIds.size(); ++i)
        out.push_back({kMethodIds[i].name, kMethodIds[i].id, kMethod, params[i]});
    return out;
}

[[noreturn]] void conversionFailed(std::string_view member)
{
    throw ControlError("the control's " + std::string(member) + " returned a value of the wrong type");
}

} // namespace

const std::vector<CameraMember>& cameraMembers()
{
    static const std::vector<CameraMember> members = buildMembers();
    return members;
}

std::string_view memberName(TextProp p)
{
    return kTextIds.at(static_cast<std::size_t>(p)).name;
}
std::string_view memberName(IntProp p)
{
    return kIntIds.at(static_cast<std::size_t>(p)).name;
}
std::string_view memberName(BoolProp p)
{
    return kBoolIds.at(static_cast<std::size_t>(p)).name;
}
std::string_view memberName(ControlMethod m)
{
    return kMethodIds.at(static_cast<std::size_t>(m)).name;
}

void LateBoundCamera::put(TextProp p, const std::string& value)
{
    call(memberName(p), kPut, {Variant::str(value)});
}
void LateBoundCamera::put(IntProp p, std::int32_t value)
{
    call(memberName(p), kPut, {Variant::i4(value)});
}
void LateBoundCamera::put(BoolProp p, bool value)
{
    call(memberName(p), kPut, {Variant::boolean(value)});
}

std::string LateBoundCamera::get(TextProp p)
{
    std::string s;
    if (tessivor::failed(call(memberName(p), kGet, {}).toBstr(&s)))
        conversionFailed(memberName(p));
    return s;
}
std::int32_t LateBoundCamera::get(IntProp p)
{
    std::int32_t v = 0;
    if (tessivor::failed(call(memberName(p), kGet, {}).toI4(&v)))
        conversionFailed(memberName(p));
    return v;
}
bool LateBoundCamera::get(BoolProp p)
{
    VariantBool b = tessivor::VARIANT_FALSE;
    if (tessivor::failed(call(memberName(p), kGet, {}).toBool(&b)))
        conversionFailed(memberName(p));
    return tessivor::boolValue(b) != 0;
}

std::int32_t LateBoundCamera::callInt(ControlMethod m, std::vector<Variant> declared)
{
    const Variant r = call(memberName(m), kMethod, std::move(declared));
    std::int32_t v = 0;
    if (r.empty())
        return 0;
    if (tessivor::failed(r.toI4(&v)))
        conversionFailed(memberName(m));
    return v;
}

std::int32_t LateBoundCamera::Run()
{
    return callInt(ControlMethod::Run, {});
}
void LateBoundCamera::Stop()
{
    call(memberName(ControlMethod::Stop), kMethod, {});
}
std::int32_t LateBoundCamera::RunAudio()
{
    return callInt(ControlMethod::RunAudio, {});
}
std::int32_t LateBoundCamera::LoginCamera(bool createNewThread)
{
    return callInt(ControlMethod::LoginCamera, {Variant::boolean(createNewThread)});
}
std::int32_t LateBoundCamera::GetKestraPort()
{
    return callInt(ControlMethod::GetKestraPort, {});
}
std::string LateBoundCamera::GetKestraValue(std::int32_t command)
{
    const Variant r = call(memberName(ControlMethod::GetKestraValue), kMethod, {Variant::i4(command)});
    std::string s;
    if (!r.empty() && tessivor::failed(r.toBstr(&s)))
        conversionFailed("GetKestraValue");
    return s;
}
std::int32_t LateBoundCamera::Kestra_Logout(const std::string& cookie)
{
    return callInt(ControlMethod::Kestra_Logout, {Variant::str(cookie)});
}
void LateBoundCamera::StartRecording()
{
    call(memberName(ControlMethod::StartRecording), kMethod, {});
}
void LateBoundCamera::StopRecording()
{
    call(memberName(ControlMethod::StopRecording), kMethod, {});
}
std::int32_t LateBoundCamera::SetEMailProperty(const std::string& host, const std::string& mailTo,
                                               const std::string& mailFrom, const std::string& subject)
{
    return callInt(ControlMethod::SetEMailProperty,
                   {Variant::str(host), Variant::str(mailTo), Variant::str(mailFrom), Variant::str(subject)});
}
std::int32_t LateBoundCamera::SendEmail()
{
    return callInt(ControlMethod::SendEmail, {});
}
std::int32_t LateBoundCamera::PT_CMD(std::int32_t command)
{
    return callInt(ControlMethod::PT_CMD, {Variant::i4(command)});
}
std::int32_t LateBoundCamera::ProbeDevice(std::int32_t mode, bool newThread)
{
    return callInt(ControlMethod::ProbeDevice, {Variant::i4(mode), Variant::boolean(newThread)});
}
std::int32_t LateBoundCamera::RequestDownload()
{
    return callInt(ControlMethod::RequestDownload, {});
}

std::int32_t LateBoundCamera::GetImageConfig(std::int32_t mode, ImageSettings& values)
{
    std::vector<Variant> declared{Variant::i4(mode)};
    for (std::int16_t v : values)
        declared.push_back(Variant::i2(v));
    const Variant r = callWithOuts(memberName(ControlMethod::GetImageConfig), kMethod, declared);
    ImageSettings read = values;
    for (std::size_t i = 0; i < read.size(); ++i)
        if (i + 1 < declared.size() && tessivor::failed(declared[i + 1].toI2(&read[i])))
            conversionFailed("GetImageConfig");
    std::int32_t result = 0;
    if (!r.empty() && tessivor::failed(r.toI4(&result)))
        conversionFailed("GetImageConfig");
    values = read;
    return result;
}

std::int32_t LateBoundCamera::SetImageConfig(const ImageSettings& values)
{
    std::vector<Variant> declared;
    for (std::int16_t v : values)
        declared.push_back(Variant::i2(v));
    return callInt(ControlMethod::SetImageConfig, std::move(declared));
}

void LateBoundCamera::Capture(const std::string& file, std::int32_t resize)
{
    call(memberName(ControlMethod::Capture), kMethod, {Variant::str(file), Variant::i4(resize)});
}

std::int32_t LateBoundCamera::KestraAudioON(const std::string& cookie)
{
    return callInt(ControlMethod::KestraAudioON, {Variant::str(cookie)});
}

} // namespace pellucor
