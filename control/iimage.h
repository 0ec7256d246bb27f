// IImage: the automation interface of the camera control, the whole contract between the
// desktop program and the control module. Hosts may call it directly (this class) or late-bound
// through the dispatch table (image_members.cpp), which is built from these declarations.
//
// Every member returns S_OK unless its own description says otherwise; results travel in the out
// parameters. Strings passed in are copied; strings passed out are new and the caller's.
#pragma once

#include "platform/dispatch_binding.h"
#include "platform/variant.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tessivor {

// SplitFileMode
enum AviFileModeType : std::int32_t
{
    FILE_SIZE = 0,
    FILE_TIME = 1,
};

// SetRecordText
enum RecTextModeType : std::int32_t
{
    NO_TEXT = 0,
    TEXT_NAME = 1,
    TEXT_DATE = 2,
    TEXT_NAME_DATE = 3,
};

template <> struct DispatchEnumName<AviFileModeType>
{
    static constexpr std::string_view value = "AviFileModeType";
};

template <> struct DispatchEnumName<RecTextModeType>
{
    static constexpr std::string_view value = "RecTextModeType";
};

class IImage
{
public:
    virtual ~IImage() = default;

    // Members in dispatch-id order; a property's get and put share one id.
    virtual HRESULT get_RemoteHost(std::string* pVal) = 0;
    virtual HRESULT put_RemoteHost(std::string_view newVal) = 0;
    virtual HRESULT get_RemotePort(std::int32_t* pVal) = 0;
    virtual HRESULT put_RemotePort(std::int32_t newVal) = 0;
    virtual HRESULT get_TimeOut(std::int32_t* pVal) = 0;
    virtual HRESULT put_TimeOut(std::int32_t newVal) = 0;
    virtual HRESULT ProbeDevice(std::int32_t mode, VariantBool newVal, std::int32_t* pVal) = 0;
    virtual HRESULT Run(std::int32_t* RunThreadHandle) = 0;
    virtual HRESULT Stop() = 0;
    virtual HRESULT StartRecording() = 0;
    virtual HRESULT SearchDevice(std::int32_t mode, std::string_view sIPAddress, std::int32_t* pVal) = 0;
    virtual HRESULT get_PreviewWidth(std::int32_t* pVal) = 0;
    virtual HRESULT put_PreviewWidth(std::int32_t newVal) = 0;
    virtual HRESULT get_PreviewHeight(std::int32_t* pVal) = 0;
    virtual HRESULT put_PreviewHeight(std::int32_t newVal) = 0;
    virtual HRESULT get_FrameRate(std::int32_t* pVal) = 0;
    virtual HRESULT put_FrameRate(std::int32_t newVal) = 0;
    virtual HRESULT get_MACAddress(std::string* pVal) = 0;
    virtual HRESULT put_MACAddress(std::string_view newVal) = 0;
    virtual HRESULT get_RotateAngle(std::int32_t* pVal) = 0;
    virtual HRESULT put_RotateAngle(std::int32_t newVal) = 0;
    virtual HRESULT get_Status(std::int32_t* pVal) = 0;
    virtual HRESULT get_MotionDetectMode(std::int32_t* pVal) = 0;
    virtual HRESULT put_MotionDetectMode(std::int32_t newVal) = 0;
    virtual HRESULT get_MotionSensitivity(std::int32_t* pVal) = 0;
    virtual HRESULT put_MotionSensitivity(std::int32_t newVal) = 0;
    virtual HRESULT SetCaption(std::int32_t lShowCaption, std::string_view sCaption,
                               std::int32_t bTRANSPARENT) = 0;
    virtual HRESULT get_SplitFileMode(AviFileModeType* pVal) = 0;
    virtual HRESULT put_SplitFileMode(AviFileModeType newVal) = 0;
    virtual HRESULT get_FoundMACAddress(std::string* pVal) = 0;
    virtual HRESULT put_FoundIndex(std::int32_t newVal) = 0;
    virtual HRESULT GetConfig(std::int32_t iVal, std::int32_t* pVal) = 0;
    virtual HRESULT GetConfigValueBSTR(std::int32_t iIndex, std::string* pVal) = 0;
    virtual HRESULT _OnProbeDevice(std::int32_t Status) = 0;
    virtual HRESULT IsNeedPassword(std::int32_t* pVal) = 0;
    virtual HRESULT CheckPassword(std::string_view sUserName, std::string_view sPassword,
                                  std::int32_t* pVal) = 0;
    virtual HRESULT _OnGetImageEvents(std::int32_t lEvents) = 0;
    virtual HRESULT get_Mirrror(VariantBool* pVal) = 0;
    virtual HRESULT put_Mirrror(VariantBool newVal) = 0;
    virtual HRESULT Snapshot(std::string_view sFileName, std::int32_t* pVal) = 0;
    virtual HRESULT SetRecordText(RecTextModeType eTextMode, std::string_view sAdditionalText,
                                  std::int32_t bTRANSPARENT) = 0;
    virtual HRESULT get_DateHeight(std::int32_t* pVal) = 0;
    virtual HRESULT put_DateHeight(std::int32_t newVal) = 0;
    virtual HRESULT get_DateWidth(std::int32_t* pVal) = 0;
    virtual HRESULT put_DateWidth(std::int32_t newVal) = 0;
    virtual HRESULT StopRecording() = 0;
    virtual HRESULT get_ReservedSpace(std::int32_t* pVal) = 0;
    virtual HRESULT put_ReservedSpace(std::int32_t newVal) = 0;
    virtual HRESULT get_MinReservedSpace(std::int32_t* pVal) = 0;
    virtual HRESULT put_MinReservedSpace(std::int32_t newVal) = 0;
    virtual HRESULT get_SplitFileSpace(std::int32_t* pVal) = 0;
    virtual HRESULT put_SplitFileSpace(std::int32_t newVal) = 0;
    virtual HRESULT get_PreviewhWnd(std::int32_t* pVal) = 0;
    virtual HRESULT put_PreviewhWnd(std::int32_t newVal) = 0;
    virtual HRESULT get_PreviewDC(std::int32_t* pVal) = 0;
    virtual HRESULT put_PreviewDC(std::int32_t newVal) = 0;
    virtual HRESULT get_PreviewTop(std::int32_t* pVal) = 0;
    virtual HRESULT put_PreviewTop(std::int32_t newVal) = 0;
    virtual HRESULT get_PreviewLeft(std::int32_t* pVal) = 0;
    virtual HRESULT put_PreviewLeft(std::int32_t newVal) = 0;
    virtual HRESULT get_UserName(std::string* pVal) = 0;
    virtual HRESULT put_UserName(std::string_view newVal) = 0;
    virtual HRESULT get_Password(std::string* pVal) = 0;
    virtual HRESULT put_Password(std::string_view newVal) = 0;
    virtual HRESULT get_SearchCount(std::int32_t* pVal) = 0;
    virtual HRESULT get_FoundIPAddress(std::string* pVal) = 0;
    virtual HRESULT get_FoundDeviceName(std::string* pVal) = 0;
    virtual HRESULT _OnSearchDevice(std::int32_t Status) = 0;
    virtual HRESULT SetIPAddress(std::string_view sIPAddress, std::string_view sSubnetMask,
                                 std::string_view sGateway, std::int32_t* pVal) = 0;
    virtual HRESULT get_hwnd(std::int32_t* pVal) = 0;
    virtual HRESULT GetConfigValue(std::int32_t iIndex, std::int32_t* pVal) = 0;
    virtual HRESULT get_OtherDC(VariantBool* pVal) = 0;
    virtual HRESULT put_OtherDC(VariantBool newVal) = 0;
    virtual HRESULT SetConfig(std::int32_t lMode, std::int32_t lChange, std::int32_t* pVal) = 0;
    virtual HRESULT SetConfigValue(std::int32_t iIndex, const Variant& newVal) = 0;
    virtual HRESULT SetImageConfig(std::int16_t siResolution, std::int16_t siCompression,
                                   std::int16_t siFrameRate, std::int16_t siBrightness,
                                   std::int16_t siContrast, std::int16_t siHue, std::int16_t siLightFreq,
                                   std::int32_t* pVal) = 0;
    virtual HRESULT GetUserCount(std::int16_t* pVal) = 0;
    virtual HRESULT GetTime(std::int16_t* psiSecond, std::int16_t* psiMinute, std::int16_t* psiHour,
                            std::int16_t* psiDay, std::int16_t* psiMonth, std::int16_t* psiDate,
                            std::int16_t* psiYear, std::int32_t* pVal) = 0;
    virtual HRESULT SetTime(std::int16_t siSecond, std::int16_t siMinute, std::int16_t siHour,
                            std::int16_t siDay, std::int16_t siMonth, std::int16_t siDate,
                            std::int16_t siYear, std::int32_t* pVal) = 0;
    virtual HRESULT AddUser(std::string_view sUserName, std::string_view sPassword, std::int16_t siPrivilege,
                            std::int32_t* pVal) = 0;
    virtual HRESULT DeleteUser(std::int16_t siIndex, std::int32_t* pVal) = 0;
    virtual HRESULT GetUser(std::int16_t siIndex, std::string* psUserName, std::string* psPassword,
                            std::int16_t* psiUserPrivilege, std::int32_t* pVal) = 0;
    virtual HRESULT get_FoundServerModel(std::string* pVal) = 0;
    virtual HRESULT get_FoundFWVersion(std::string* pVal) = 0;
    virtual HRESULT Reset(std::int32_t* pVal) = 0;
    virtual HRESULT FactoryReset(std::int32_t* pVal) = 0;
    virtual HRESULT get_NormalFilePath(std::string* pVal) = 0;
    virtual HRESULT put_NormalFilePath(std::string_view newVal) = 0;
    virtual HRESULT get_MotionFilePath(std::string* pVal) = 0;
    virtual HRESULT put_MotionFilePath(std::string_view newVal) = 0;
    virtual HRESULT get_SplitFileTime(std::int32_t* pVal) = 0;
    virtual HRESULT put_SplitFileTime(std::int32_t newVal) = 0;
    virtual HRESULT Capture(std::string_view FileName, std::int32_t iResize) = 0;
    virtual HRESULT get_MotionBlockCount(std::int32_t* pVal) = 0;
    virtual HRESULT put_MotionBlockCount(std::int32_t newVal) = 0;
    virtual HRESULT SetMotionBlock(std::int32_t index, std::int32_t left, std::int32_t top,
                                   std::int32_t right, std::int32_t bottom) = 0;
    virtual HRESULT SetEMailProperty(std::string_view sHost, std::string_view sMailTo,
                                     std::string_view sMailFrom, std::string_view sMailSubject,
                                     std::int32_t* pVal) = 0;
    virtual HRESULT RequestDownload(std::int32_t* pVal) = 0;
    virtual HRESULT get_EMailFileName(std::string* pVal) = 0;
    virtual HRESULT put_EMailFileName(std::string_view newVal) = 0;
    virtual HRESULT PutNewStatus(std::int32_t newVal) = 0;
    virtual HRESULT CloseSMTP() = 0;
    virtual HRESULT get_HaveRecycleFunction(VariantBool* pVal) = 0;
    virtual HRESULT get_VERSION(std::string* pVal) = 0;
    virtual HRESULT get_Protocol(std::int32_t* pVal) = 0;
    virtual HRESULT put_Protocol(std::int32_t newVal) = 0;
    virtual HRESULT get_FoundHWVersion(std::string* pVal) = 0;
    virtual HRESULT get_FoundROMVersion(std::string* pVal) = 0;
    virtual HRESULT get_EnableProxy(VariantBool* pVal) = 0;
    virtual HRESULT put_EnableProxy(VariantBool newVal) = 0;
    virtual HRESULT get_ProxyPort(std::int32_t* pVal) = 0;
    virtual HRESULT put_ProxyPort(std::int32_t newVal) = 0;
    virtual HRESULT get_ProxyServerAddress(std::string* pVal) = 0;
    virtual HRESULT put_ProxyServerAddress(std::string_view newVal) = 0;
    virtual HRESULT get_MailIntervalTime(std::int32_t* pVal) = 0;
    virtual HRESULT put_MailIntervalTime(std::int32_t newVal) = 0;
    virtual HRESULT StopSearch(std::int32_t* pVal) = 0;
    virtual HRESULT GetOutputTriggerValue(std::int32_t* Trig1, std::int32_t* Trig2, std::int32_t* pVal) = 0;
    virtual HRESULT SetOutputTriggerValue(std::int32_t index, std::int32_t newVal, std::int32_t* pVal) = 0;
    virtual HRESULT get_BKText(std::string* pVal) = 0;
    virtual HRESULT put_BKText(std::string_view newVal) = 0;
    virtual HRESULT get_BypassProxyServer(VariantBool* pVal) = 0;
    virtual HRESULT put_BypassProxyServer(VariantBool newVal) = 0;
    virtual HRESULT get_LocalCamera(VariantBool* pVal) = 0;
    virtual HRESULT put_LocalCamera(VariantBool newVal) = 0;
    virtual HRESULT get_BackColor(OleColor* pVal) = 0;
    virtual HRESULT put_BackColor(OleColor newVal) = 0;
    virtual HRESULT LoginCamera(VariantBool IsCreateNewThread, std::int32_t* pVal) = 0;
    virtual HRESULT get_DrawImage(VariantBool* pVal) = 0;
    virtual HRESULT put_DrawImage(VariantBool newVal) = 0;
    virtual HRESULT get_FoundProtocol(std::int32_t* pVal) = 0;
    virtual HRESULT GetImageConfig(std::int32_t lMode, std::int16_t* siResolution,
                                   std::int16_t* siCompression, std::int16_t* siFrameRate,
                                   std::int16_t* siBrightness, std::int16_t* siContrast, std::int16_t* siHue,
                                   std::int16_t* siLightFreq, std::int32_t* pVal) = 0;
    virtual HRESULT UpdateFirmware(std::string_view sFileName, std::int32_t* pVal) = 0;
    virtual HRESULT get_SendMailID(std::string* pVal) = 0;
    virtual HRESULT put_SendMailID(std::string_view newVal) = 0;
    virtual HRESULT get_SendMailPWD(std::string* pVal) = 0;
    virtual HRESULT put_SendMailPWD(std::string_view newVal) = 0;
    virtual HRESULT get_FoundLocation(std::string* pVal) = 0;
    virtual HRESULT get_SocketState(std::int32_t* pVal) = 0;
    virtual HRESULT CheckIP(std::string_view sIPAddress, std::int32_t lport, std::int32_t* pVal) = 0;
    virtual HRESULT get_FrameCount(std::int32_t* pVal) = 0;
    virtual HRESULT get_ImageInterval(std::int32_t* pVal) = 0;
    virtual HRESULT put_ImageInterval(std::int32_t newVal) = 0;
    virtual HRESULT CheckPasswordBroadcast(std::string_view sUserName, std::string_view sPassword,
                                           std::int32_t* pVal) = 0;
    virtual HRESULT IsRequireAuthenticationBroadcast(std::int32_t* pVal) = 0;
    virtual HRESULT get_FoundSubMask(std::string* pVal) = 0;
    virtual HRESULT get_FoundDefGateway(std::string* pVal) = 0;
    virtual HRESULT get_FoundProp(std::int32_t* pVal) = 0;
    virtual HRESULT PostCmd(std::string_view sCGI_CMD, std::string_view sCONTENT, std::int32_t ContentLength,
                            std::int32_t* pVal) = 0;
    virtual HRESULT PT_CMD(std::int32_t CmdID, std::int32_t* pVal) = 0;
    virtual HRESULT get_ClientStructPoint(std::int32_t* pVal) = 0;
    virtual HRESULT get_EnableServer(VariantBool* pVal) = 0;
    virtual HRESULT put_EnableServer(VariantBool newVal) = 0;
    virtual HRESULT get_ConnectCameraNoForServer(std::int32_t* pVal) = 0;
    virtual HRESULT put_ConnectCameraNoForServer(std::int32_t newVal) = 0;
    virtual HRESULT get_ImageWidth(std::int32_t* pVal) = 0;
    virtual HRESULT get_ImageHeight(std::int32_t* pVal) = 0;
    virtual HRESULT get_PTCoordinatesX(std::int32_t* pVal) = 0;
    virtual HRESULT get_PTCoordinatesY(std::int32_t* pVal) = 0;
    virtual HRESULT CheckPasswordMulticast(std::string_view sUserName, std::string_view sPassword,
                                           std::int32_t* pVal) = 0;
    virtual HRESULT SetIPAddressMulticast(std::string_view sIPAddress, std::string_view sSubnetMask,
                                          std::string_view sGateway, std::int32_t mode,
                                          std::int32_t* pVal) = 0;
    virtual HRESULT get_LUUIDNum(std::int32_t* pVal) = 0;
    virtual HRESULT put_LUUIDNum(std::int32_t newVal) = 0;
    virtual HRESULT GetLocalUUID(std::int32_t newVal, std::string* pVal) = 0;
    virtual HRESULT SetLocalUUID(std::int32_t newNum, const Variant& newVal) = 0;
    virtual HRESULT SearchCameraMulticast(std::int32_t* pVal) = 0;
    virtual HRESULT get_SetKestraStatus(std::int32_t* pVal) = 0;
    virtual HRESULT put_SetKestraStatus(std::int32_t newVal) = 0;
    virtual HRESULT GetKestraValue(std::int32_t lComd, std::string* pVal) = 0;
    virtual HRESULT SetKestraValue(std::int32_t lComd, const Variant& newVal, std::int32_t BufLen,
                                   std::int32_t* pVal) = 0;
    virtual HRESULT chkKestraIDPWD(std::string_view sUserID, std::string_view sUserPWD,
                                   std::int32_t* pVal) = 0;
    virtual HRESULT SetKestraIDPWD(std::string_view sUserID, std::string_view sUserPWD,
                                   std::int32_t* pVal) = 0;
    virtual HRESULT get_PT_Support(std::int32_t* pVal) = 0;
    virtual HRESULT put_PT_Support(std::int32_t newVal) = 0;
    virtual HRESULT get_Wireless_Support(std::int32_t* pVal) = 0;
    virtual HRESULT put_Wireless_Support(std::int32_t newVal) = 0;
    virtual HRESULT KestraLogin(std::string_view sUserName, std::string_view sPassword,
                                std::int32_t* pVal) = 0;
    virtual HRESULT ProbeCameraKestra(std::int32_t* pVal) = 0;
    virtual HRESULT GetKestraPort(std::int32_t* pVal) = 0;
    virtual HRESULT get_KestraSPort(std::int32_t* pVal) = 0;
    virtual HRESULT put_KestraSPort(std::int32_t newVal) = 0;
    virtual HRESULT get_KestraCPort(std::int32_t* pVal) = 0;
    virtual HRESULT put_KestraCPort(std::int32_t newVal) = 0;
    virtual HRESULT GetKestraHName(std::int32_t* pVal) = 0;
    virtual HRESULT get_KestraHName(std::string* pVal) = 0;
    virtual HRESULT put_KestraHName(std::string_view newVal) = 0;
    virtual HRESULT get_KestraIPort(std::int32_t* pVal) = 0;
    virtual HRESULT put_KestraIPort(std::int32_t newVal) = 0;
    virtual HRESULT KestraAudioON(std::string_view sPassword, std::int32_t* pVal) = 0;
    virtual HRESULT SearchLocalIP(std::int32_t* pVal) = 0;
    virtual HRESULT GetLocalIP(std::int32_t newVal, std::string* pVal) = 0;
    virtual HRESULT GetLocalMask(std::int32_t newVal, std::string* pVal) = 0;
    virtual HRESULT GetLocalMAC(std::int32_t newVal, std::string* pVal) = 0;
    virtual HRESULT get_PreviewTargetTop(std::int32_t* pVal) = 0;
    virtual HRESULT put_PreviewTargetTop(std::int32_t newVal) = 0;
    virtual HRESULT get_PreviewTargetLeft(std::int32_t* pVal) = 0;
    virtual HRESULT put_PreviewTargetLeft(std::int32_t newVal) = 0;
    virtual HRESULT SendEmail(std::int32_t* pVal) = 0;
    virtual HRESULT IsLocalIP(std::string_view sIPAddress, VariantBool* pVal) = 0;
    virtual HRESULT get_FoundDevServerStatus(std::int16_t* pVal) = 0;
    virtual HRESULT get_LockRecord(VariantBool* pVal) = 0;
    virtual HRESULT put_LockRecord(VariantBool newVal) = 0;
    virtual HRESULT get_DuringInitRec(VariantBool* pVal) = 0;
    virtual HRESULT get_PlayMode(std::int32_t* pVal) = 0;
    virtual HRESULT put_PlayMode(std::int32_t newVal) = 0;
    virtual HRESULT RunAudio(std::int32_t* RunThreadHandle) = 0;
    virtual HRESULT get_CGIAPNAME(std::string* pVal) = 0;
    virtual HRESULT put_CGIAPNAME(std::string_view newVal) = 0;
    virtual HRESULT GetCGIConfig(std::int32_t lflag, std::int32_t* pVal) = 0;
    virtual HRESULT PostCGIConfig(std::int32_t lflag, std::int32_t* pVal) = 0;
    virtual HRESULT get_CGIALLValue(std::string* pVal) = 0;
    virtual HRESULT put_CGIALLValue(std::string_view newVal) = 0;
    virtual HRESULT get_DeviceSerialNo(std::string* pVal) = 0;
    virtual HRESULT put_DeviceSerialNo(std::string_view newVal) = 0;
    virtual HRESULT get_ParameterNum(std::int32_t* pVal) = 0;
    virtual HRESULT put_ParameterNum(std::int32_t newVal) = 0;
    virtual HRESULT GetParameterName(std::int32_t ParaNum, std::string* pVal) = 0;
    virtual HRESULT GetParameterValue(std::string_view sName, std::string* pVal) = 0;
    virtual HRESULT GetParameterValueEx(std::string_view sTag, std::string_view sName, std::string* pVal) = 0;
    virtual HRESULT SetParameterValue(std::string_view sName, const Variant& newVal, std::int32_t* pVal) = 0;
    virtual HRESULT SetParameterValueEx(std::string_view sTag, std::string_view sName, const Variant& newVal,
                                        std::int32_t* pVal) = 0;
    virtual HRESULT get_longErrCode(std::int32_t* pVal) = 0;
    virtual HRESULT put_longErrCode(std::int32_t newVal) = 0;
    virtual HRESULT DevExtInfBroadcast(std::int32_t* pVal) = 0;
    virtual HRESULT get_RemoteWebPort(std::int32_t* pVal) = 0;
    virtual HRESULT put_RemoteWebPort(std::int32_t newVal) = 0;
    virtual HRESULT GetDevExtInfo(std::int32_t* pVal) = 0;
    virtual HRESULT ClearParameter() = 0;
    virtual HRESULT get_DisplayDelay(std::int32_t* pVal) = 0;
    virtual HRESULT put_DisplayDelay(std::int32_t newVal) = 0;
    virtual HRESULT FoundString(std::int32_t iIndex, std::string* pVal) = 0;
    virtual HRESULT Base64En(std::string_view sInDATA, std::string* pVal) = 0;
    virtual HRESULT Base64De(std::string_view sInDATA, std::string* pVal) = 0;
    virtual HRESULT TFTPServer(std::string_view sIPAdress, std::string_view sFileName,
                               std::int32_t* pVal) = 0;
    virtual HRESULT DevExtInfoKestraMulticast(std::int32_t* pVal) = 0;
    virtual HRESULT get_WLMagic(std::int32_t* pVal) = 0;
    virtual HRESULT get_WLBSSID(std::string* pVal) = 0;
    virtual HRESULT get_WLChannel(std::int32_t* pVal) = 0;
    virtual HRESULT get_WLEncryptionMode(std::int32_t* pVal) = 0;
    virtual HRESULT get_WLSignalStrength(std::int32_t* pVal) = 0;
    virtual HRESULT get_WLBSSMode(std::int32_t* pVal) = 0;
    virtual HRESULT get_WLSSID(std::string* pVal) = 0;
    virtual HRESULT get_WLStatus(std::int32_t* pVal) = 0;
    virtual HRESULT get_WLConnectStatus(std::int32_t* pVal) = 0;
    virtual HRESULT get_WLCountryCode(std::int32_t* pVal) = 0;
    virtual HRESULT get_WLSecurity(std::int32_t* pVal) = 0;
    virtual HRESULT get_WLReceivePackets(std::int32_t* pVal) = 0;
    virtual HRESULT get_WLTransmitPackets(std::int32_t* pVal) = 0;
    virtual HRESULT get_WiFiAPNum(std::int32_t* pVal) = 0;
    virtual HRESULT put_WiFiAPNum(std::int32_t newVal) = 0;
    virtual HRESULT get_UpdataP(double* pVal) = 0;
    virtual HRESULT get_KestraFWVERSION(std::string* pVal) = 0;
    virtual HRESULT Kestra_Logout(std::string_view sCookie, std::int32_t* pVal) = 0;
    virtual HRESULT get_ConnTimeOut(std::int32_t* pVal) = 0;
    virtual HRESULT put_ConnTimeOut(std::int32_t newVal) = 0;
};

// The member table of IImage for the late-bound path.
const DispatchTable<IImage>& imageDispatchTable();

// The events of _IImageEvents, dispatch ids 1 to 10.
enum ImageEventId : DispId
{
    DISPID_EndProbeDevice = 1,
    DISPID_GetImageEvent = 2,
    DISPID_EndSearchDevice = 3,
    DISPID_LButtonDblClk = 4,
    DISPID_RButtonUp = 5,
    DISPID_LButtonDown = 6,
    DISPID_EndLoginCamera = 7,
    DISPID_EndGetImageConfig = 8,
    DISPID_NewImage = 9,
    DISPID_EndPTCmd = 10,
};

std::vector<MemberInfo> imageEventInfo();

} // namespace tessivor
