// CImage's stored values: the get and put members of the settings groups, each one field read
// or written under its group's lock, with the range checks some of them make.
#include "control/cimage.h"
#include "control/setting_members.h"

#include <algorithm>

namespace tessivor {

namespace {

// Largest preview side: every frame is resampled to the preview size, so a zoom of 8192 x 8192
// already costs 256 MB per frame at 32 bits; a larger size is refused rather than allocated.
constexpr std::int32_t kMaxPreviewSide = 8192;

// A stored BOOL word read back as the 16-bit automation boolean (its low 16 bits).
VariantBool lowBool(std::int32_t stored)
{
    return VariantBool(static_cast<std::int16_t>(stored & 0xFFFF));
}

// A stored BOOL word goes out as its low 16 bits and comes in as the automation boolean.
template <class G> HRESULT getBool(const Guarded<G>& group, std::int32_t G::*field, VariantBool* pVal)
{
    *pVal = lowBool(group.with([&](const G& g) { return g.*field; }));
    return S_OK;
}

template <class G> HRESULT putBool(Guarded<G>& group, std::int32_t G::*field, VariantBool newVal)
{
    group.update([&](G& g) { g.*field = boolValue(newVal); });
    return S_OK;
}

} // namespace

HRESULT CImage::get_RemotePort(std::int32_t* pVal)
{
    return getSetting(m_Connection, &ConnectionSettings::m_nRemotePort, pVal);
}

HRESULT CImage::put_RemotePort(std::int32_t newVal)
{
    return putSetting(m_Connection, &ConnectionSettings::m_nRemotePort, newVal);
}

HRESULT CImage::get_TimeOut(std::int32_t* pVal)
{
    return getSetting(m_Connection, &ConnectionSettings::m_nTimeOut, pVal);
}

HRESULT CImage::put_TimeOut(std::int32_t newVal)
{
    return putSetting(m_Connection, &ConnectionSettings::m_nTimeOut, newVal);
}

HRESULT CImage::get_PreviewWidth(std::int32_t* pVal)
{
    return getSetting(m_Drawing, &DrawingSettings::m_nPreviewWidth, pVal);
}

HRESULT CImage::put_PreviewWidth(std::int32_t newVal)
{
    if (newVal > kMaxPreviewSide)
        return S_FALSE; // the previous width stays
    return putSetting(m_Drawing, &DrawingSettings::m_nPreviewWidth, newVal);
}

HRESULT CImage::get_PreviewHeight(std::int32_t* pVal)
{
    return getSetting(m_Drawing, &DrawingSettings::m_nPreviewHeight, pVal);
}

HRESULT CImage::put_PreviewHeight(std::int32_t newVal)
{
    if (newVal > kMaxPreviewSide)
        return S_FALSE; // the previous height stays
    return putSetting(m_Drawing, &DrawingSettings::m_nPreviewHeight, newVal);
}

HRESULT CImage::get_FrameRate(std::int32_t* pVal)
{
    return getSetting(m_Drawing, &DrawingSettings::m_nFrameRate, pVal);
}

HRESULT CImage::put_FrameRate(std::int32_t newVal)
{
    return putSetting(m_Drawing, &DrawingSettings::m_nFrameRate, newVal);
}

HRESULT CImage::get_RotateAngle(std::int32_t* pVal)
{
    return getSetting(m_Drawing, &DrawingSettings::m_nRotateAngle, pVal);
}

HRESULT CImage::put_RotateAngle(std::int32_t newVal)
{
    return putSetting(m_Drawing, &DrawingSettings::m_nRotateAngle, newVal);
}

HRESULT CImage::get_MotionDetectMode(std::int32_t* pVal)
{
    return getSetting(m_MotionSettings, &MotionSettings::m_nMotionDetectMode, pVal);
}

HRESULT CImage::put_MotionDetectMode(std::int32_t newVal)
{
    return putSetting(m_MotionSettings, &MotionSettings::m_nMotionDetectMode, newVal);
}

HRESULT CImage::get_MotionSensitivity(std::int32_t* pVal)
{
    return getSetting(m_MotionSettings, &MotionSettings::m_nMotionSensitivity, pVal);
}

HRESULT CImage::put_MotionSensitivity(std::int32_t newVal)
{
    return putSetting(m_MotionSettings, &MotionSettings::m_nMotionSensitivity, newVal);
}

HRESULT CImage::get_Mirrror(VariantBool* pVal)
{
    return getBool(m_Drawing, &DrawingSettings::m_bMirror, pVal);
}

HRESULT CImage::put_Mirrror(VariantBool newVal)
{
    return putBool(m_Drawing, &DrawingSettings::m_bMirror, newVal);
}

HRESULT CImage::get_DateHeight(std::int32_t* pVal)
{
    return getSetting(m_Drawing, &DrawingSettings::m_nDateHeight, pVal);
}

HRESULT CImage::put_DateHeight(std::int32_t newVal)
{
    return putSetting(m_Drawing, &DrawingSettings::m_nDateHeight, newVal);
}

HRESULT CImage::get_DateWidth(std::int32_t* pVal)
{
    return getSetting(m_Drawing, &DrawingSettings::m_nDateWidth, pVal);
}

HRESULT CImage::put_DateWidth(std::int32_t newVal)
{
    return putSetting(m_Drawing, &DrawingSettings::m_nDateWidth, newVal);
}

HRESULT CImage::get_ReservedSpace(std::int32_t* pVal)
{
    return getSetting(m_RecordingSettings, &RecordingSettings::m_nReservedSpace, pVal);
}

HRESULT CImage::put_ReservedSpace(std::int32_t newVal)
{
    return putSetting(m_RecordingSettings, &RecordingSettings::m_nReservedSpace, newVal);
}

HRESULT CImage::get_MinReservedSpace(std::int32_t* pVal)
{
    return getSetting(m_RecordingSettings, &RecordingSettings::m_nReservedSpace, pVal);
}

HRESULT CImage::put_MinReservedSpace(std::int32_t newVal)
{
    return putSetting(m_RecordingSettings, &RecordingSettings::m_nReservedSpace, newVal);
}

HRESULT CImage::get_SplitFileSpace(std::int32_t* pVal)
{
    return getSetting(m_RecordingSettings, &RecordingSettings::m_nSplitFileSpace, pVal);
}

HRESULT CImage::put_SplitFileSpace(std::int32_t newVal)
{
    return putSetting(m_RecordingSettings, &RecordingSettings::m_nSplitFileSpace, newVal);
}

HRESULT CImage::get_PreviewhWnd(std::int32_t* pVal)
{
    return getSetting(m_Drawing, &DrawingSettings::m_PreviewhWnd, pVal);
}

HRESULT CImage::put_PreviewhWnd(std::int32_t newVal)
{
    return putSetting(m_Drawing, &DrawingSettings::m_PreviewhWnd, newVal);
}

HRESULT CImage::get_PreviewDC(std::int32_t* pVal)
{
    return getSetting(m_Drawing, &DrawingSettings::m_PreviewDC, pVal);
}

HRESULT CImage::put_PreviewDC(std::int32_t newVal)
{
    return putSetting(m_Drawing, &DrawingSettings::m_PreviewDC, newVal);
}

HRESULT CImage::get_PreviewTop(std::int32_t* pVal)
{
    return getSetting(m_Drawing, &DrawingSettings::m_nPreviewTop, pVal);
}

HRESULT CImage::put_PreviewTop(std::int32_t newVal)
{
    return putSetting(m_Drawing, &DrawingSettings::m_nPreviewTop, newVal);
}

HRESULT CImage::get_PreviewLeft(std::int32_t* pVal)
{
    return getSetting(m_Drawing, &DrawingSettings::m_nPreviewLeft, pVal);
}

HRESULT CImage::put_PreviewLeft(std::int32_t newVal)
{
    return putSetting(m_Drawing, &DrawingSettings::m_nPreviewLeft, newVal);
}

HRESULT CImage::get_OtherDC(VariantBool* pVal)
{
    return getBool(m_Drawing, &DrawingSettings::m_bOtherDC, pVal);
}

HRESULT CImage::put_OtherDC(VariantBool newVal)
{
    return putBool(m_Drawing, &DrawingSettings::m_bOtherDC, newVal);
}

HRESULT CImage::get_NormalFilePath(std::string* pVal)
{
    return getText(m_RecordingSettings, &RecordingSettings::m_szNormalFilePath, pVal);
}

HRESULT CImage::put_NormalFilePath(std::string_view newVal)
{
    return putText(m_RecordingSettings, &RecordingSettings::m_szNormalFilePath, newVal);
}

HRESULT CImage::get_MotionFilePath(std::string* pVal)
{
    return getText(m_RecordingSettings, &RecordingSettings::m_szMotionFilePath, pVal);
}

HRESULT CImage::put_MotionFilePath(std::string_view newVal)
{
    return putText(m_RecordingSettings, &RecordingSettings::m_szMotionFilePath, newVal);
}

HRESULT CImage::get_SplitFileTime(std::int32_t* pVal)
{
    return getSetting(m_RecordingSettings, &RecordingSettings::m_nSplitFileTime, pVal);
}

HRESULT CImage::put_SplitFileTime(std::int32_t newVal)
{
    return putSetting(m_RecordingSettings, &RecordingSettings::m_nSplitFileTime, newVal);
}

HRESULT CImage::get_MotionBlockCount(std::int32_t* pVal)
{
    return getSetting(m_MotionSettings, &MotionSettings::m_nMotionBlockCount, pVal);
}

HRESULT CImage::put_MotionBlockCount(std::int32_t newVal)
{
    // The table has 16 entries.
    m_MotionSettings.update(
        [&](MotionSettings& m) { m.m_nMotionBlockCount = std::clamp(newVal, 0, kMotionRectCount); });
    return S_OK;
}

HRESULT CImage::get_EMailFileName(std::string* pVal)
{
    return getText(m_MailSettings, &MailSettings::m_szEMailFileName, pVal);
}

HRESULT CImage::put_EMailFileName(std::string_view newVal)
{
    return putText(m_MailSettings, &MailSettings::m_szEMailFileName, newVal);
}

HRESULT CImage::get_Protocol(std::int32_t* pVal)
{
    return getSetting(m_Connection, &ConnectionSettings::m_nProtocol, pVal);
}

HRESULT CImage::put_Protocol(std::int32_t newVal)
{
    return putSetting(m_Connection, &ConnectionSettings::m_nProtocol, newVal);
}

HRESULT CImage::get_EnableProxy(VariantBool* pVal)
{
    return getBool(m_Connection, &ConnectionSettings::m_bEnableProxy, pVal);
}

HRESULT CImage::put_EnableProxy(VariantBool newVal)
{
    return putBool(m_Connection, &ConnectionSettings::m_bEnableProxy, newVal);
}

HRESULT CImage::get_ProxyPort(std::int32_t* pVal)
{
    return getSetting(m_Connection, &ConnectionSettings::m_nProxyPort, pVal);
}

HRESULT CImage::put_ProxyPort(std::int32_t newVal)
{
    return putSetting(m_Connection, &ConnectionSettings::m_nProxyPort, newVal);
}

HRESULT CImage::get_ProxyServerAddress(std::string* pVal)
{
    return getText(m_Connection, &ConnectionSettings::m_szProxyHost, pVal);
}

HRESULT CImage::put_ProxyServerAddress(std::string_view newVal)
{
    return putText(m_Connection, &ConnectionSettings::m_szProxyHost, newVal);
}

HRESULT CImage::get_MailIntervalTime(std::int32_t* pVal)
{
    return getSetting(m_MailSettings, &MailSettings::m_nMailIntervalTime, pVal);
}

HRESULT CImage::put_MailIntervalTime(std::int32_t newVal)
{
    return putSetting(m_MailSettings, &MailSettings::m_nMailIntervalTime, newVal);
}

HRESULT CImage::get_BypassProxyServer(VariantBool* pVal)
{
    return getBool(m_Connection, &ConnectionSettings::m_bBypassProxy, pVal);
}

HRESULT CImage::put_BypassProxyServer(VariantBool newVal)
{
    return putBool(m_Connection, &ConnectionSettings::m_bBypassProxy, newVal);
}

HRESULT CImage::get_LocalCamera(VariantBool* pVal)
{
    return getBool(m_Connection, &ConnectionSettings::m_bLocalCamera, pVal);
}

HRESULT CImage::put_LocalCamera(VariantBool newVal)
{
    return putBool(m_Connection, &ConnectionSettings::m_bLocalCamera, newVal);
}

HRESULT CImage::get_DrawImage(VariantBool* pVal)
{
    return getBool(m_Drawing, &DrawingSettings::m_bDrawImage, pVal);
}

HRESULT CImage::put_DrawImage(VariantBool newVal)
{
    return putBool(m_Drawing, &DrawingSettings::m_bDrawImage, newVal);
}

HRESULT CImage::get_SendMailID(std::string* pVal)
{
    return getText(m_MailSettings, &MailSettings::m_szSendMailID, pVal);
}

HRESULT CImage::put_SendMailID(std::string_view newVal)
{
    return putText(m_MailSettings, &MailSettings::m_szSendMailID, newVal);
}

HRESULT CImage::get_SendMailPWD(std::string* pVal)
{
    return getText(m_MailSettings, &MailSettings::m_szSendMailPWD, pVal);
}

HRESULT CImage::put_SendMailPWD(std::string_view newVal)
{
    return putText(m_MailSettings, &MailSettings::m_szSendMailPWD, newVal);
}

HRESULT CImage::get_ImageInterval(std::int32_t* pVal)
{
    return getSetting(m_Drawing, &DrawingSettings::m_nImageInterval, pVal);
}

HRESULT CImage::put_ImageInterval(std::int32_t newVal)
{
    return putSetting(m_Drawing, &DrawingSettings::m_nImageInterval, newVal);
}

HRESULT CImage::get_EnableServer(VariantBool* pVal)
{
    *pVal = lowBool(m_Sharing.m_bEnableServer.load());
    return S_OK;
}

HRESULT CImage::put_EnableServer(VariantBool newVal)
{
    m_Sharing.m_bEnableServer.store(boolValue(newVal));
    return S_OK;
}

HRESULT CImage::get_ConnectCameraNoForServer(std::int32_t* pVal)
{
    return getSetting(m_Connection, &ConnectionSettings::m_nConnectCameraNoForServer, pVal);
}

HRESULT CImage::put_ConnectCameraNoForServer(std::int32_t newVal)
{
    return putSetting(m_Connection, &ConnectionSettings::m_nConnectCameraNoForServer, newVal);
}

HRESULT CImage::get_PreviewTargetTop(std::int32_t* pVal)
{
    return getSetting(m_Drawing, &DrawingSettings::m_nPreviewTargetTop, pVal);
}

HRESULT CImage::put_PreviewTargetTop(std::int32_t newVal)
{
    return putSetting(m_Drawing, &DrawingSettings::m_nPreviewTargetTop, newVal);
}

HRESULT CImage::get_PreviewTargetLeft(std::int32_t* pVal)
{
    return getSetting(m_Drawing, &DrawingSettings::m_nPreviewTargetLeft, pVal);
}

HRESULT CImage::put_PreviewTargetLeft(std::int32_t newVal)
{
    return putSetting(m_Drawing, &DrawingSettings::m_nPreviewTargetLeft, newVal);
}

HRESULT CImage::get_LockRecord(VariantBool* pVal)
{
    *pVal = lowBool(m_Record.m_bLockRecord.load());
    return S_OK;
}

HRESULT CImage::put_LockRecord(VariantBool newVal)
{
    m_Record.m_bLockRecord.store(boolValue(newVal));
    return S_OK;
}

HRESULT CImage::get_RemoteWebPort(std::int32_t* pVal)
{
    return getSetting(m_Connection, &ConnectionSettings::m_nRemoteWebPort, pVal);
}

HRESULT CImage::put_RemoteWebPort(std::int32_t newVal)
{
    return putSetting(m_Connection, &ConnectionSettings::m_nRemoteWebPort, newVal);
}

HRESULT CImage::get_DisplayDelay(std::int32_t* pVal)
{
    return getSetting(m_Connection, &ConnectionSettings::m_nDisplayDelay, pVal);
}

HRESULT CImage::put_DisplayDelay(std::int32_t newVal)
{
    return putSetting(m_Connection, &ConnectionSettings::m_nDisplayDelay, newVal);
}

HRESULT CImage::get_ConnTimeOut(std::int32_t* pVal)
{
    return getSetting(m_Connection, &ConnectionSettings::m_nConnTimeOut, pVal);
}

HRESULT CImage::put_ConnTimeOut(std::int32_t newVal)
{
    return putSetting(m_Connection, &ConnectionSettings::m_nConnTimeOut, newVal);
}

} // namespace tessivor
