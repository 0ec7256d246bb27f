// Members whose work belongs to modules that are not part of the control yet. Each answers
// success with empty or zero out parameters; the modules replace them as they arrive.
#include "control/cimage.h"

namespace tessivor {

// ---- login and password checks ----

HRESULT CImage::IsNeedPassword(std::int32_t* pVal)
{
    *pVal = {};
    return S_OK;
}

HRESULT CImage::CheckPassword(std::string_view /*sUserName*/, std::string_view /*sPassword*/,
                              std::int32_t* pVal)
{
    *pVal = {};
    return S_OK;
}

HRESULT CImage::LoginCamera(VariantBool /*IsCreateNewThread*/, std::int32_t* pVal)
{
    *pVal = {};
    return S_OK;
}

HRESULT CImage::CheckPasswordBroadcast(std::string_view /*sUserName*/, std::string_view /*sPassword*/,
                                       std::int32_t* pVal)
{
    *pVal = {};
    return S_OK;
}

HRESULT CImage::IsRequireAuthenticationBroadcast(std::int32_t* pVal)
{
    *pVal = {};
    return S_OK;
}

// ---- configuration block ----

HRESULT CImage::GetConfig(std::int32_t /*iVal*/, std::int32_t* pVal)
{
    *pVal = {};
    return S_OK;
}

HRESULT CImage::GetConfigValueBSTR(std::int32_t /*iIndex*/, std::string* pVal)
{
    pVal->clear();
    return S_OK;
}

HRESULT CImage::GetConfigValue(std::int32_t /*iIndex*/, std::int32_t* pVal)
{
    *pVal = {};
    return S_OK;
}

HRESULT CImage::SetConfig(std::int32_t /*lMode*/, std::int32_t /*lChange*/, std::int32_t* pVal)
{
    *pVal = {};
    return S_OK;
}

HRESULT CImage::SetConfigValue(std::int32_t /*iIndex*/, const Variant& /*newVal*/)
{
    return S_OK;
}

// ---- output triggers ----

HRESULT CImage::GetOutputTriggerValue(std::int32_t* Trig1, std::int32_t* Trig2, std::int32_t* pVal)
{
    *Trig1 = {};
    *Trig2 = {};
    *pVal = {};
    return S_OK;
}

HRESULT CImage::SetOutputTriggerValue(std::int32_t /*index*/, std::int32_t /*newVal*/, std::int32_t* pVal)
{
    *pVal = {};
    return S_OK;
}

// ---- image settings, users, clock and resets ----

HRESULT CImage::SetIPAddress(std::string_view /*sIPAddress*/, std::string_view /*sSubnetMask*/,
                             std::string_view /*sGateway*/, std::int32_t* pVal)
{
    *pVal = {};
    return S_OK;
}

HRESULT CImage::SetImageConfig(std::int16_t /*siResolution*/, std::int16_t /*siCompression*/,
                               std::int16_t /*siFrameRate*/, std::int16_t /*siBrightness*/,
                               std::int16_t /*siContrast*/, std::int16_t /*siHue*/,
                               std::int16_t /*siLightFreq*/, std::int32_t* pVal)
{
    *pVal = {};
    return S_OK;
}

HRESULT CImage::GetUserCount(std::int16_t* pVal)
{
    *pVal = {};
    return S_OK;
}

HRESULT CImage::GetTime(std::int16_t* psiSecond, std::int16_t* psiMinute, std::int16_t* psiHour,
                        std::int16_t* psiDay, std::int16_t* psiMonth, std::int16_t* psiDate,
                        std::int16_t* psiYear, std::int32_t* pVal)
{
    *psiSecond = {};
    *psiMinute = {};
    *psiHour = {};
    *psiDay = {};
    *psiMonth = {};
    *psiDate = {};
    *psiYear = {};
    *pVal = {};
    return S_OK;
}

HRESULT CImage::SetTime(std::int16_t /*siSecond*/, std::int16_t /*siMinute*/, std::int16_t /*siHour*/,
                        std::int16_t /*siDay*/, std::int16_t /*siMonth*/, std::int16_t /*siDate*/,
                        std::int16_t /*siYear*/, std::int32_t* pVal)
{
    *pVal = {};
    return S_OK;
}

HRESULT CImage::AddUser(std::string_view /*sUserName*/, std::string_view /*sPassword*/,
                        std::int16_t /*siPrivilege*/, std::int32_t* pVal)
{
    *pVal = {};
    return S_OK;
}

HRESULT CImage::DeleteUser(std::int16_t /*siIndex*/, std::int32_t* pVal)
{
    *pVal = {};
    return S_OK;
}

HRESULT CImage::GetUser(std::int16_t /*siIndex*/, std::string* psUserName, std::string* psPassword,
                        std::int16_t* psiUserPrivilege, std::int32_t* pVal)
{
    psUserName->clear();
    psPassword->clear();
    *psiUserPrivilege = {};
    *pVal = {};
    return S_OK;
}

HRESULT CImage::Reset(std::int32_t* pVal)
{
    *pVal = {};
    return S_OK;
}

HRESULT CImage::FactoryReset(std::int32_t* pVal)
{
    *pVal = {};
    return S_OK;
}

} // namespace tessivor
