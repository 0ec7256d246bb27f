// Members whose work belongs to modules that are not part of the control yet. Each answers
// success with empty or zero out parameters; the modules replace them as they arrive.
#include "control/cimage.h"

namespace tessivor {

// ---- Kestra command protocol ----

HRESULT CImage::get_SetKestraStatus(std::int32_t* pVal)
{
    *pVal = {};
    return S_OK;
}

HRESULT CImage::put_SetKestraStatus(std::int32_t /*newVal*/)
{
    return S_OK;
}

HRESULT CImage::GetKestraValue(std::int32_t /*lComd*/, std::string* pVal)
{
    pVal->clear();
    return S_OK;
}

HRESULT CImage::SetKestraValue(std::int32_t /*lComd*/, const Variant& /*newVal*/, std::int32_t /*BufLen*/,
                               std::int32_t* pVal)
{
    *pVal = {};
    return S_OK;
}

HRESULT CImage::chkKestraIDPWD(std::string_view /*sUserID*/, std::string_view /*sUserPWD*/,
                               std::int32_t* pVal)
{
    *pVal = {};
    return S_OK;
}

HRESULT CImage::SetKestraIDPWD(std::string_view /*sUserID*/, std::string_view /*sUserPWD*/,
                               std::int32_t* pVal)
{
    *pVal = {};
    return S_OK;
}

HRESULT CImage::get_PT_Support(std::int32_t* pVal)
{
    *pVal = {};
    return S_OK;
}

HRESULT CImage::put_PT_Support(std::int32_t /*newVal*/)
{
    return S_OK;
}

HRESULT CImage::get_Wireless_Support(std::int32_t* pVal)
{
    *pVal = {};
    return S_OK;
}

HRESULT CImage::put_Wireless_Support(std::int32_t /*newVal*/)
{
    return S_OK;
}

HRESULT CImage::KestraLogin(std::string_view /*sUserName*/, std::string_view /*sPassword*/,
                            std::int32_t* pVal)
{
    *pVal = {};
    return S_OK;
}

HRESULT CImage::ProbeCameraKestra(std::int32_t* pVal)
{
    *pVal = {};
    return S_OK;
}

HRESULT CImage::GetKestraPort(std::int32_t* pVal)
{
    *pVal = {};
    return S_OK;
}

HRESULT CImage::get_KestraSPort(std::int32_t* pVal)
{
    *pVal = {};
    return S_OK;
}

HRESULT CImage::put_KestraSPort(std::int32_t /*newVal*/)
{
    return S_OK;
}

HRESULT CImage::get_KestraCPort(std::int32_t* pVal)
{
    *pVal = {};
    return S_OK;
}

HRESULT CImage::put_KestraCPort(std::int32_t /*newVal*/)
{
    return S_OK;
}

HRESULT CImage::GetKestraHName(std::int32_t* pVal)
{
    *pVal = {};
    return S_OK;
}

HRESULT CImage::get_KestraHName(std::string* pVal)
{
    pVal->clear();
    return S_OK;
}

HRESULT CImage::put_KestraHName(std::string_view /*newVal*/)
{
    return S_OK;
}

HRESULT CImage::get_KestraIPort(std::int32_t* pVal)
{
    *pVal = {};
    return S_OK;
}

HRESULT CImage::put_KestraIPort(std::int32_t /*newVal*/)
{
    return S_OK;
}

HRESULT CImage::KestraAudioON(std::string_view /*sPassword*/, std::int32_t* pVal)
{
    *pVal = {};
    return S_OK;
}

HRESULT CImage::get_KestraFWVERSION(std::string* pVal)
{
    pVal->clear();
    return S_OK;
}

HRESULT CImage::Kestra_Logout(std::string_view /*sCookie*/, std::int32_t* pVal)
{
    *pVal = {};
    return S_OK;
}

// ---- pan/tilt ----

HRESULT CImage::PT_CMD(std::int32_t /*CmdID*/, std::int32_t* pVal)
{
    *pVal = {};
    return S_OK;
}

// ---- firmware upload ----

HRESULT CImage::RequestDownload(std::int32_t* pVal)
{
    *pVal = {};
    return S_OK;
}

HRESULT CImage::UpdateFirmware(std::string_view /*sFileName*/, std::int32_t* pVal)
{
    *pVal = {};
    return S_OK;
}

HRESULT CImage::TFTPServer(std::string_view /*sIPAdress*/, std::string_view /*sFileName*/, std::int32_t* pVal)
{
    *pVal = {};
    return S_OK;
}

HRESULT CImage::get_UpdataP(double* pVal)
{
    *pVal = {};
    return S_OK;
}

} // namespace tessivor
