// CImage: the camera control, one instance per camera.
//
// The host creates it (through the class factory or directly), sets its properties through
// IImage and hears it through the _IImageEvents connection point. Everything the host calls runs
// on the host's thread, which is also the thread that owns the control window; worker threads
// (image loop, audio, e-mail, protocol jobs) report only by posting messages to that window,
// so every event fires on the host's thread, in posting order.
//
// Threads and flags. Workers and the host's thread meet through the atomic words below; the
// control takes no lock of its own except around its found-device list. A request's data is
// written before its flag is raised. Every worker is a WorkerThread that the control joins in its
// destructor, after it has asked the worker to stop and closed the sockets that could hold it.
#pragma once

#include "control/avi_writer.h"
#include "control/client_block.h"
#include "control/iimage.h"
#include "control/image_events.h"
#include "control/jpeg_decode.h"
#include "control/parameter_table.h"
#include "control/recorded_picture.h"
#include "control/wave_render.h"
#include "imagelib/img_desc.h"
#include "io/ws_client.h"
#include "mail/image_mail_client.h"
#include "mail/mail_message.h"
#include "platform/connection_point.h"
#include "platform/control_window.h"
#include "platform/fixed_text.h"
#include "platform/worker_thread.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tessivor {

struct DiscoveryState; // control/discovery_state.h

using Text260 = FixedText<260>;
using Text100 = FixedText<100>;
using Text64 = FixedText<64>;

struct MotionRect
{
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// The login block of the native protocols: the first 12 bytes of the user name and the first 8
// of the password, each zero-padded (CImage::MakeCredentialBlock).
inline constexpr int kCredentialBlockSize = 20;
using CredentialBlock = std::array<std::uint8_t, kCredentialBlockSize>;

class CImage : public IImage
{
public:
    static constexpr int kMotionRectCount = 16;
    static constexpr std::size_t kAudioBufferSize = 150000;
    static constexpr std::size_t kMotionReferenceSize = 640 * 480 * 3;

    // Creates the control window on the calling thread, which becomes the host's thread.
    CImage();
    // Stops the workers, waits for the busy ones (bounded), closes the sockets and joins every
    // thread. Call on the host's thread.
    ~CImage() override;
    CImage(const CImage&) = delete;
    CImage& operator=(const CImage&) = delete;

    // The _IImageEvents connection point.
    ConnectionPoint& events() { return m_Events; }
    WindowHandle windowHandle() const { return m_hWnd; }
    ControlWindow& window() { return *m_Window; }
    // True while the image thread of the last Run has not returned.
    bool ImageThreadRunning() const { return m_ImageThread.running(); }

    // ---- IImage ----
    HRESULT get_RemoteHost(std::string* pVal) override;
    HRESULT put_RemoteHost(std::string_view newVal) override;
    HRESULT get_RemotePort(std::int32_t* pVal) override;
    HRESULT put_RemotePort(std::int32_t newVal) override;
    HRESULT get_TimeOut(std::int32_t* pVal) override;
    HRESULT put_TimeOut(std::int32_t newVal) override;
    HRESULT ProbeDevice(std::int32_t mode, VariantBool newVal, std::int32_t* pVal) override;
    HRESULT Run(std::int32_t* RunThreadHandle) override;
    HRESULT Stop() override;
    HRESULT StartRecording() override;
    HRESULT SearchDevice(std::int32_t mode, std::string_view sIPAddress, std::int32_t* pVal) override;
    HRESULT get_PreviewWidth(std::int32_t* pVal) override;
    HRESULT put_PreviewWidth(std::int32_t newVal) override;
    HRESULT get_PreviewHeight(std::int32_t* pVal) override;
    HRESULT put_PreviewHeight(std::int32_t newVal) override;
    HRESULT get_FrameRate(std::int32_t* pVal) override;
    HRESULT put_FrameRate(std::int32_t newVal) override;
    HRESULT get_MACAddress(std::string* pVal) override;
    HRESULT put_MACAddress(std::string_view newVal) override;
    HRESULT get_RotateAngle(std::int32_t* pVal) override;
    HRESULT put_RotateAngle(std::int32_t newVal) override;
    HRESULT get_Status(std::int32_t* pVal) override;
    HRESULT get_MotionDetectMode(std::int32_t* pVal) override;
    HRESULT put_MotionDetectMode(std::int32_t newVal) override;
    HRESULT get_MotionSensitivity(std::int32_t* pVal) override;
    HRESULT put_MotionSensitivity(std::int32_t newVal) override;
    HRESULT SetCaption(std::int32_t lShowCaption, std::string_view sCaption,
                       std::int32_t bTRANSPARENT) override;
    HRESULT get_SplitFileMode(AviFileModeType* pVal) override;
    HRESULT put_SplitFileMode(AviFileModeType newVal) override;
    HRESULT get_FoundMACAddress(std::string* pVal) override;
    HRESULT put_FoundIndex(std::int32_t newVal) override;
    HRESULT GetConfig(std::int32_t iVal, std::int32_t* pVal) override;
    HRESULT GetConfigValueBSTR(std::int32_t iIndex, std::string* pVal) override;
    HRESULT _OnProbeDevice(std::int32_t Status) override;
    HRESULT IsNeedPassword(std::int32_t* pVal) override;
    HRESULT CheckPassword(std::string_view sUserName, std::string_view sPassword,
                          std::int32_t* pVal) override;
    HRESULT _OnGetImageEvents(std::int32_t lEvents) override;
    HRESULT get_Mirrror(VariantBool* pVal) override;
    HRESULT put_Mirrror(VariantBool newVal) override;
    HRESULT Snapshot(std::string_view sFileName, std::int32_t* pVal) override;
    HRESULT SetRecordText(RecTextModeType eTextMode, std::string_view sAdditionalText,
                          std::int32_t bTRANSPARENT) override;
    HRESULT get_DateHeight(std::int32_t* pVal) override;
    HRESULT put_DateHeight(std::int32_t newVal) override;
    HRESULT get_DateWidth(std::int32_t* pVal) override;
    HRESULT put_DateWidth(std::int32_t newVal) override;
    HRESULT StopRecording() override;
    HRESULT get_ReservedSpace(std::int32_t* pVal) override;
    HRESULT put_ReservedSpace(std::int32_t newVal) override;
    HRESULT get_MinReservedSpace(std::int32_t* pVal) override;
    HRESULT put_MinReservedSpace(std::int32_t newVal) override;
    HRESULT get_SplitFileSpace(std::int32_t* pVal) override;
    HRESULT put_SplitFileSpace(std::int32_t newVal) override;
    HRESULT get_PreviewhWnd(std::int32_t* pVal) override;
    HRESULT put_PreviewhWnd(std::int32_t newVal) override;
    HRESULT get_PreviewDC(std::int32_t* pVal) override;
    HRESULT put_PreviewDC(std::int32_t newVal) override;
    HRESULT get_PreviewTop(std::int32_t* pVal) override;
    HRESULT put_PreviewTop(std::int32_t newVal) override;
    HRESULT get_PreviewLeft(std::int32_t* pVal) override;
    HRESULT put_PreviewLeft(std::int32_t newVal) override;
    HRESULT get_UserName(std::string* pVal) override;
    HRESULT put_UserName(std::string_view newVal) override;
    HRESULT get_Password(std::string* pVal) override;
    HRESULT put_Password(std::string_view newVal) override;
    HRESULT get_SearchCount(std::int32_t* pVal) override;
    HRESULT get_FoundIPAddress(std::string* pVal) override;
    HRESULT get_FoundDeviceName(std::string* pVal) override;
    HRESULT _OnSearchDevice(std::int32_t Status) override;
    HRESULT SetIPAddress(std::string_view sIPAddress, std::string_view sSubnetMask, std::string_view sGateway,
                         std::int32_t* pVal) override;
    HRESULT get_hwnd(std::int32_t* pVal) override;
    HRESULT GetConfigValue(std::int32_t iIndex, std::int32_t* pVal) override;
    HRESULT get_OtherDC(VariantBool* pVal) override;
    HRESULT put_OtherDC(VariantBool newVal) override;
    HRESULT SetConfig(std::int32_t lMode, std::int32_t lChange, std::int32_t* pVal) override;
    HRESULT SetConfigValue(std::int32_t iIndex, const Variant& newVal) override;
    HRESULT SetImageConfig(std::int16_t siResolution, std::int16_t siCompression, std::int16_t siFrameRate,
                           std::int16_t siBrightness, std::int16_t siContrast, std::int16_t siHue,
                           std::int16_t siLightFreq, std::int32_t* pVal) override;
    HRESULT GetUserCount(std::int16_t* pVal) override;
    HRESULT GetTime(std::int16_t* psiSecond, std::int16_t* psiMinute, std::int16_t* psiHour,
                    std::int16_t* psiDay, std::int16_t* psiMonth, std::int16_t* psiDate,
                    std::int16_t* psiYear, std::int32_t* pVal) override;
    HRESULT SetTime(std::int16_t siSecond, std::int16_t siMinute, std::int16_t siHour, std::int16_t siDay,
                    std::int16_t siMonth, std::int16_t siDate, std::int16_t siYear,
                    std::int32_t* pVal) override;
    HRESULT AddUser(std::string_view sUserName, std::string_view sPassword, std::int16_t siPrivilege,
                    std::int32_t* pVal) override;
    HRESULT DeleteUser(std::int16_t siIndex, std::int32_t* pVal) override;
    HRESULT GetUser(std::int16_t siIndex, std::string* psUserName, std::string* psPassword,
                    std::int16_t* psiUserPrivilege, std::int32_t* pVal) override;
    HRESULT get_FoundServerModel(std::string* pVal) override;
    HRESULT get_FoundFWVersion(std::string* pVal) override;
    HRESULT Reset(std::int32_t* pVal) override;
    HRESULT FactoryReset(std::int32_t* pVal) override;
    HRESULT get_NormalFilePath(std::string* pVal) override;
    HRESULT put_NormalFilePath(std::string_view newVal) override;
    HRESULT get_MotionFilePath(std::string* pVal) override;
    HRESULT put_MotionFilePath(std::string_view newVal) override;
    HRESULT get_SplitFileTime(std::int32_t* pVal) override;
    HRESULT put_SplitFileTime(std::int32_t newVal) override;
    HRESULT Capture(std::string_view FileName, std::int32_t iResize) override;
    HRESULT get_MotionBlockCount(std::int32_t* pVal) override;
    HRESULT put_MotionBlockCount(std::int32_t newVal) override;
    HRESULT SetMotionBlock(std::int32_t index, std::int32_t left, std::int32_t top, std::int32_t right,
                           std::int32_t bottom) override;
    HRESULT SetEMailProperty(std::string_view sHost, std::string_view sMailTo, std::string_view sMailFrom,
                             std::string_view sMailSubject, std::int32_t* pVal) override;
    HRESULT RequestDownload(std::int32_t* pVal) override;
    HRESULT get_EMailFileName(std::string* pVal) override;
    HRESULT put_EMailFileName(std::string_view newVal) override;
    HRESULT PutNewStatus(std::int32_t newVal) override;
    HRESULT CloseSMTP() override;
    HRESULT get_HaveRecycleFunction(VariantBool* pVal) override;
    HRESULT get_VERSION(std::string* pVal) override;
    HRESULT get_Protocol(std::int32_t* pVal) override;
    HRESULT put_Protocol(std::int32_t newVal) override;
    HRESULT get_FoundHWVersion(std::string* pVal) override;
    HRESULT get_FoundROMVersion(std::string* pVal) override;
    HRESULT get_EnableProxy(VariantBool* pVal) override;
    HRESULT put_EnableProxy(VariantBool newVal) override;
    HRESULT get_ProxyPort(std::int32_t* pVal) override;
    HRESULT put_ProxyPort(std::int32_t newVal) override;
    HRESULT get_ProxyServerAddress(std::string* pVal) override;
    HRESULT put_ProxyServerAddress(std::string_view newVal) override;
    HRESULT get_MailIntervalTime(std::int32_t* pVal) override;
    HRESULT put_MailIntervalTime(std::int32_t newVal) override;
    HRESULT StopSearch(std::int32_t* pVal) override;
    HRESULT GetOutputTriggerValue(std::int32_t* Trig1, std::int32_t* Trig2, std::int32_t* pVal) override;
    HRESULT SetOutputTriggerValue(std::int32_t index, std::int32_t newVal, std::int32_t* pVal) override;
    HRESULT get_BKText(std::string* pVal) override;
    HRESULT put_BKText(std::string_view newVal) override;
    HRESULT get_BypassProxyServer(VariantBool* pVal) override;
    HRESULT put_BypassProxyServer(VariantBool newVal) override;
    HRESULT get_LocalCamera(VariantBool* pVal) override;
    HRESULT put_LocalCamera(VariantBool newVal) override;
    HRESULT get_BackColor(OleColor* pVal) override;
    HRESULT put_BackColor(OleColor newVal) override;
    HRESULT LoginCamera(VariantBool IsCreateNewThread, std::int32_t* pVal) override;
    HRESULT get_DrawImage(VariantBool* pVal) override;
    HRESULT put_DrawImage(VariantBool newVal) override;
    HRESULT get_FoundProtocol(std::int32_t* pVal) override;
    HRESULT GetImageConfig(std::int32_t lMode, std::int16_t* siResolution, std::int16_t* siCompression,
                           std::int16_t* siFrameRate, std::int16_t* siBrightness, std::int16_t* siContrast,
                           std::int16_t* siHue, std::int16_t* siLightFreq, std::int32_t* pVal) override;
    HRESULT UpdateFirmware(std::string_view sFileName, std::int32_t* pVal) override;
    HRESULT get_SendMailID(std::string* pVal) override;
    HRESULT put_SendMailID(std::string_view newVal) override;
    HRESULT get_SendMailPWD(std::string* pVal) override;
    HRESULT put_SendMailPWD(std::string_view newVal) override;
    HRESULT get_FoundLocation(std::string* pVal) override;
    HRESULT get_SocketState(std::int32_t* pVal) override;
    HRESULT CheckIP(std::string_view sIPAddress, std::int32_t lport, std::int32_t* pVal) override;
    HRESULT get_FrameCount(std::int32_t* pVal) override;
    HRESULT get_ImageInterval(std::int32_t* pVal) override;
    HRESULT put_ImageInterval(std::int32_t newVal) override;
    HRESULT CheckPasswordBroadcast(std::string_view sUserName, std::string_view sPassword,
                                   std::int32_t* pVal) override;
    HRESULT IsRequireAuthenticationBroadcast(std::int32_t* pVal) override;
    HRESULT get_FoundSubMask(std::string* pVal) override;
    HRESULT get_FoundDefGateway(std::string* pVal) override;
    HRESULT get_FoundProp(std::int32_t* pVal) override;
    HRESULT PostCmd(std::string_view sCGI_CMD, std::string_view sCONTENT, std::int32_t ContentLength,
                    std::int32_t* pVal) override;
    HRESULT PT_CMD(std::int32_t CmdID, std::int32_t* pVal) override;
    HRESULT get_ClientStructPoint(std::int32_t* pVal) override;
    HRESULT get_EnableServer(VariantBool* pVal) override;
    HRESULT put_EnableServer(VariantBool newVal) override;
    HRESULT get_ConnectCameraNoForServer(std::int32_t* pVal) override;
    HRESULT put_ConnectCameraNoForServer(std::int32_t newVal) override;
    HRESULT get_ImageWidth(std::int32_t* pVal) override;
    HRESULT get_ImageHeight(std::int32_t* pVal) override;
    HRESULT get_PTCoordinatesX(std::int32_t* pVal) override;
    HRESULT get_PTCoordinatesY(std::int32_t* pVal) override;
    HRESULT CheckPasswordMulticast(std::string_view sUserName, std::string_view sPassword,
                                   std::int32_t* pVal) override;
    HRESULT SetIPAddressMulticast(std::string_view sIPAddress, std::string_view sSubnetMask,
                                  std::string_view sGateway, std::int32_t mode, std::int32_t* pVal) override;
    HRESULT get_LUUIDNum(std::int32_t* pVal) override;
    HRESULT put_LUUIDNum(std::int32_t newVal) override;
    HRESULT GetLocalUUID(std::int32_t newVal, std::string* pVal) override;
    HRESULT SetLocalUUID(std::int32_t newNum, const Variant& newVal) override;
    HRESULT SearchCameraMulticast(std::int32_t* pVal) override;
    HRESULT get_SetKestraStatus(std::int32_t* pVal) override;
    HRESULT put_SetKestraStatus(std::int32_t newVal) override;
    HRESULT GetKestraValue(std::int32_t lComd, std::string* pVal) override;
    HRESULT SetKestraValue(std::int32_t lComd, const Variant& newVal, std::int32_t BufLen,
                           std::int32_t* pVal) override;
    HRESULT chkKestraIDPWD(std::string_view sUserID, std::string_view sUserPWD, std::int32_t* pVal) override;
    HRESULT SetKestraIDPWD(std::string_view sUserID, std::string_view sUserPWD, std::int32_t* pVal) override;
    HRESULT get_PT_Support(std::int32_t* pVal) override;
    HRESULT put_PT_Support(std::int32_t newVal) override;
    HRESULT get_Wireless_Support(std::int32_t* pVal) override;
    HRESULT put_Wireless_Support(std::int32_t newVal) override;
    HRESULT KestraLogin(std::string_view sUserName, std::string_view sPassword, std::int32_t* pVal) override;
    HRESULT ProbeCameraKestra(std::int32_t* pVal) override;
    HRESULT GetKestraPort(std::int32_t* pVal) override;
    HRESULT get_KestraSPort(std::int32_t* pVal) override;
    HRESULT put_KestraSPort(std::int32_t newVal) override;
    HRESULT get_KestraCPort(std::int32_t* pVal) override;
    HRESULT put_KestraCPort(std::int32_t newVal) override;
    HRESULT GetKestraHName(std::int32_t* pVal) override;
    HRESULT get_KestraHName(std::string* pVal) override;
    HRESULT put_KestraHName(std::string_view newVal) override;
    HRESULT get_KestraIPort(std::int32_t* pVal) override;
    HRESULT put_KestraIPort(std::int32_t newVal) override;
    HRESULT KestraAudioON(std::string_view sPassword, std::int32_t* pVal) override;
    HRESULT SearchLocalIP(std::int32_t* pVal) override;
    HRESULT GetLocalIP(std::int32_t newVal, std::string* pVal) override;
    HRESULT GetLocalMask(std::int32_t newVal, std::string* pVal) override;
    HRESULT GetLocalMAC(std::int32_t newVal, std::string* pVal) override;
    HRESULT get_PreviewTargetTop(std::int32_t* pVal) override;
    HRESULT put_PreviewTargetTop(std::int32_t newVal) override;
    HRESULT get_PreviewTargetLeft(std::int32_t* pVal) override;
    HRESULT put_PreviewTargetLeft(std::int32_t newVal) override;
    HRESULT SendEmail(std::int32_t* pVal) override;
    HRESULT IsLocalIP(std::string_view sIPAddress, VariantBool* pVal) override;
    HRESULT get_FoundDevServerStatus(std::int16_t* pVal) override;
    HRESULT get_LockRecord(VariantBool* pVal) override;
    HRESULT put_LockRecord(VariantBool newVal) override;
    HRESULT get_DuringInitRec(VariantBool* pVal) override;
    HRESULT get_PlayMode(std::int32_t* pVal) override;
    HRESULT put_PlayMode(std::int32_t newVal) override;
    HRESULT RunAudio(std::int32_t* RunThreadHandle) override;
    HRESULT get_CGIAPNAME(std::string* pVal) override;
    HRESULT put_CGIAPNAME(std::string_view newVal) override;
    HRESULT GetCGIConfig(std::int32_t lflag, std::int32_t* pVal) override;
    HRESULT PostCGIConfig(std::int32_t lflag, std::int32_t* pVal) override;
    HRESULT get_CGIALLValue(std::string* pVal) override;
    HRESULT put_CGIALLValue(std::string_view newVal) override;
    HRESULT get_DeviceSerialNo(std::string* pVal) override;
    HRESULT put_DeviceSerialNo(std::string_view newVal) override;
    HRESULT get_ParameterNum(std::int32_t* pVal) override;
    HRESULT put_ParameterNum(std::int32_t newVal) override;
    HRESULT GetParameterName(std::int32_t ParaNum, std::string* pVal) override;
    HRESULT GetParameterValue(std::string_view sName, std::string* pVal) override;
    HRESULT GetParameterValueEx(std::string_view sTag, std::string_view sName, std::string* pVal) override;
    HRESULT SetParameterValue(std::string_view sName, const Variant& newVal, std::int32_t* pVal) override;
    HRESULT SetParameterValueEx(std::string_view sTag, std::string_view sName, const Variant& newVal,
                                std::int32_t* pVal) override;
    HRESULT get_longErrCode(std::int32_t* pVal) override;
    HRESULT put_longErrCode(std::int32_t newVal) override;
    HRESULT DevExtInfBroadcast(std::int32_t* pVal) override;
    HRESULT get_RemoteWebPort(std::int32_t* pVal) override;
    HRESULT put_RemoteWebPort(std::int32_t newVal) override;
    HRESULT GetDevExtInfo(std::int32_t* pVal) override;
    HRESULT ClearParameter() override;
    HRESULT get_DisplayDelay(std::int32_t* pVal) override;
    HRESULT put_DisplayDelay(std::int32_t newVal) override;
    HRESULT FoundString(std::int32_t iIndex, std::string* pVal) override;
    HRESULT Base64En(std::string_view sInDATA, std::string* pVal) override;
    HRESULT Base64De(std::string_view sInDATA, std::string* pVal) override;
    HRESULT TFTPServer(std::string_view sIPAdress, std::string_view sFileName, std::int32_t* pVal) override;
    HRESULT DevExtInfoKestraMulticast(std::int32_t* pVal) override;
    HRESULT get_WLMagic(std::int32_t* pVal) override;
    HRESULT get_WLBSSID(std::string* pVal) override;
    HRESULT get_WLChannel(std::int32_t* pVal) override;
    HRESULT get_WLEncryptionMode(std::int32_t* pVal) override;
    HRESULT get_WLSignalStrength(std::int32_t* pVal) override;
    HRESULT get_WLBSSMode(std::int32_t* pVal) override;
    HRESULT get_WLSSID(std::string* pVal) override;
    HRESULT get_WLStatus(std::int32_t* pVal) override;
    HRESULT get_WLConnectStatus(std::int32_t* pVal) override;
    HRESULT get_WLCountryCode(std::int32_t* pVal) override;
    HRESULT get_WLSecurity(std::int32_t* pVal) override;
    HRESULT get_WLReceivePackets(std::int32_t* pVal) override;
    HRESULT get_WLTransmitPackets(std::int32_t* pVal) override;
    HRESULT get_WiFiAPNum(std::int32_t* pVal) override;
    HRESULT put_WiFiAPNum(std::int32_t newVal) override;
    HRESULT get_UpdataP(double* pVal) override;
    HRESULT get_KestraFWVERSION(std::string* pVal) override;
    HRESULT Kestra_Logout(std::string_view sCookie, std::int32_t* pVal) override;
    HRESULT get_ConnTimeOut(std::int32_t* pVal) override;
    HRESULT put_ConnTimeOut(std::int32_t newVal) override;

    // ---- events (fired on the host's thread only) ----
    void Fire_EndProbeDevice(std::int32_t status);
    void Fire_GetImageEvent(std::int32_t event);
    void Fire_EndSearchDevice(std::int32_t status);
    void Fire_LButtonDblClk(std::int32_t x, std::int32_t y, std::int32_t keys);
    void Fire_RButtonUp(std::int32_t x, std::int32_t y, std::int32_t keys);
    void Fire_LButtonDown(std::int32_t x, std::int32_t y, std::int32_t keys);
    void Fire_EndLoginCamera(std::int32_t status);
    void Fire_EndGetImageConfig(std::int32_t status, const std::array<std::int16_t, 7>& values);
    void Fire_EndPTCmd(std::int32_t status);

    // ---- lifecycle shared by the workers ----
    // Posts a GetImageEvent code to the control window (any thread).
    void PostImageEvent(std::int32_t code, std::intptr_t lParam = 0);
    // Stop-and-wait of the image loop and the audio thread (used by Stop and the destructor).
    void StopThreads();
    // Paints the idle picture (background and label) into the control window's surface.
    void OnDraw();

    // Thread routines.
    void ImageThread();
    void MailThread();

protected:
    // The control window's message map.
    bool OnMessage(const WindowMessage& msg, std::intptr_t* result);

    // The image loop; runs on the image thread until the stop flag is seen.
    void ImageLoop();

public:
    // ---- connection and camera ----
    Text260 m_szRemoteHost{"192.168.0.20"};
    Text260 m_szSearchTarget;
    std::atomic<std::int32_t> m_nRemotePort{8481};
    std::atomic<std::int32_t> m_nRemoteWebPort{80};
    std::atomic<std::int32_t> m_bEnableProxy{0};
    std::atomic<std::int32_t> m_bBypassProxy{1};
    std::atomic<std::int32_t> m_bKeepLocalCamera{1};
    std::atomic<std::int32_t> m_bLocalCamera{1};
    Text260 m_szProxyHost{"192.168.0.20"};
    std::atomic<std::int32_t> m_nProxyPort{8080};
    std::atomic<std::int32_t> m_nTimeOut{3};     // seconds
    std::atomic<std::int32_t> m_nConnTimeOut{3}; // seconds
    std::atomic<std::int32_t> m_nMailReceiveTimeOut{300};
    Text260 m_szUserName{"pelko"};
    Text260 m_szPassword{"pelko"};
    Text260 m_szMACAddress;
    std::array<std::uint8_t, 6> m_TargetMac{};
    std::array<std::uint8_t, 4> m_TargetIp{};
    std::atomic<std::int32_t> m_nProtocol{PROTOCOL_VIDEO_CGI};
    std::atomic<std::int32_t> m_nDisplayDelay{65}; // ms
    std::atomic<std::int32_t> m_nConnectCameraNoForServer{1};
    std::atomic<std::uint16_t> m_nSequence{0};
    std::atomic<std::int32_t> m_bFirstAnswer{1};
    std::atomic<std::int32_t> m_bQuietSearch{1};
    std::atomic<std::int32_t> m_nSelectedDevice{-2};

    // ---- sockets ----
    // Stream readers of Protocols 0, 1, 2 and 50; audio; Protocol 4; the UDP search; the image
    // settings reads. The host's thread closes the first three (Stop, PutNewStatus) to end a
    // reader's blocking wait; CWSClient makes that safe from any thread.
    CWSClient m_StreamSocket;
    CWSClient m_AudioSocket;
    CWSClient m_MultipartSocket;
    CWSClient m_SearchSocket;
    CWSClient m_ConfigSocket;

    // ---- drawing ----
    std::atomic<std::int32_t> m_PreviewhWnd{0};
    std::atomic<std::int32_t> m_PreviewDC{0};
    std::atomic<std::int32_t> m_nPreviewTop{0};
    std::atomic<std::int32_t> m_nPreviewLeft{0};
    std::atomic<std::int32_t> m_nPreviewTargetTop{0};
    std::atomic<std::int32_t> m_nPreviewTargetLeft{0};
    std::atomic<std::int32_t> m_nPreviewWidth{320};
    std::atomic<std::int32_t> m_nPreviewHeight{240};
    std::atomic<std::int32_t> m_nImageWidth{0};
    std::atomic<std::int32_t> m_nImageHeight{0};
    std::atomic<std::int32_t> m_nRotateAngle{0};
    std::atomic<std::int32_t> m_bMirror{0};
    std::atomic<std::int32_t> m_bOtherDC{0};
    std::atomic<std::int32_t> m_bDrawImage{1};
    std::atomic<std::uint32_t> m_BackColor{0x80000005}; // system window colour
    Text100 m_szBKText;
    std::atomic<std::int32_t> m_nPTCoordinatesX{0};
    std::atomic<std::int32_t> m_nPTCoordinatesY{0};

    // ---- values stored and read back only ----
    std::int32_t m_nFrameRate = 30;
    std::int32_t m_nDateWidth = 150;
    std::int32_t m_nDateHeight = 20;
    std::int32_t m_nImageInterval = 0;
    std::int32_t m_nRecordTextMode = NO_TEXT;
    Text100 m_szRecordText;
    std::int32_t m_bRecordTextTransparent = 0;
    std::int32_t m_bShowCaption = 0;
    Text100 m_szCaption;
    std::int32_t m_bCaptionTransparent = 0;

    // ---- state shared with the workers ----
    std::atomic<std::int32_t> m_nStatus{0};
    std::atomic<std::int32_t> m_bEndRun{
        0}; // 0 run, 1 stop requested, 2 stop acknowledged (Protocol 4), 5 firmware
    std::atomic<std::int32_t> m_bAudioStop{0};
    std::atomic<std::int32_t> m_bAudioRunning{0};
    std::atomic<std::int32_t> m_bImageConfigBusy{0};
    std::atomic<std::int32_t> m_bMailBusy{0};
    std::atomic<std::int32_t> m_bPanTiltBusy{0};
    std::atomic<std::int32_t> m_bMailIdle{1};
    std::atomic<std::int32_t> m_bSearching{0};
    std::atomic<std::int32_t> m_bBroadcastSearchDone{0};
    std::atomic<std::int32_t> m_bMulticastSearchDone{0};
    std::atomic<std::int32_t> m_hRunThread{0}; // token handed out by Run / RunAudio
    std::atomic<std::int32_t> m_nFrameCount{0};
    std::atomic<std::int32_t> m_nShareSequence{0};
    std::atomic<std::int32_t> m_nFailedRounds{0};

    // ---- snapshots ----
    std::atomic<std::int32_t> m_bCaptureRequest{0};
    std::atomic<std::int32_t> m_nCaptureSize{0};
    Text260 m_szCaptureFile;

    // ---- motion ----
    std::atomic<std::int32_t> m_nMotionDetectMode{0};
    std::atomic<std::int32_t> m_bMotionPrimed{0};
    std::atomic<std::int32_t> m_nMotionSensitivity{5};
    std::atomic<std::int32_t> m_nMotionBlockCount{0};
    std::array<MotionRect, kMotionRectCount> m_MotionRects{};
    std::vector<std::uint8_t> m_MotionReference; // 640 x 480 x 3

    // Motion detection (motion_detect.cpp), image thread only. DetectMotion compares the sampled
    // cells of the 24-bit bottom-up picture (rows `stride` bytes apart) with the reference and
    // leaves the picture's cells of its sampling grid in the reference (packed; at most
    // kMotionReferenceSize bytes); 1 = motion. The reference must hold the previous picture's
    // cells of the same size and grid. It refuses (0, reference unchanged) a picture larger
    // than kMotionReferenceSize bytes. Rectangle mode uses the first MotionBlockCount rectangles.
    int DetectMotion(const std::uint8_t* picture, std::uint32_t stride, std::uint8_t* reference, int width,
                     int height, int sensitivity, bool useRectangles);
    // 1 when the rectangle, already in bitmap rows (top and bottom counted from the bottom line,
    // right and bottom exclusive), lies inside a width x height picture and is not empty.
    static int IsMotionRectValid(const MotionRect& rect, int width, int height);
    // The motion step of the frame pipeline for the working image: event 6 with its hold-off, the
    // beep; true when this frame should go out as an e-mail picture.
    bool MotionStep(const img_desc* working);
    // The next picture primes the detector again instead of being compared (a new connection).
    void RestartMotionDetection();
    std::int32_t m_bMotionEventHeld = 0;
    std::time_t m_tLastMotionEvent = 0;
    std::time_t m_tMotionNow = 0;
    int m_nMotionReferenceWidth = 0; // size of the picture in the reference
    int m_nMotionReferenceHeight = 0;
    int m_nMotionReferenceGrid = 0; // the sampling grid whose cells the reference holds
    std::vector<std::uint8_t> m_MotionBandCompare; // per cell of a band: compare it
    std::vector<int> m_MotionBandCounts;           // per cell of a band: differing pixels

    // ---- JPEG decoding (jpeg_decode.cpp) ----
    // Decodes one whole JPEG frame into a DIB: the header (with the grey palette for 8 bits) into
    // `header`, the rows into `pixels`, which grows to the picture's size up to
    // kDecodedDibMaxBytes. 0 = decoded, -1 = failed (any libjpeg warning or error, an output
    // colour space other than grey, RGB or CMYK, or a picture beyond the limit).
    static int DecodeJpegToDib(const std::uint8_t* frame, std::uint32_t length, DecodedDibHeader* header,
                               std::vector<std::uint8_t>* pixels);
    std::vector<std::uint8_t> m_DecodedDib; // image thread only

    // ---- output steps of the frame pipeline (frame_output.cpp), image thread ----
    // Resizes the working image to the preview size and draws it into the preview target (or
    // the control's own surface); failures only skip the drawing.
    void DrawFrame(img_desc* working);
    // Writes the e-mail picture and asks for the e-mail job when the mail interval has passed;
    // a picture that could not be written starts nothing and leaves m_bMailIdle at 1.
    void SendMotionMail(img_desc* working);
    // Hands the frame to the recording step: the camera's bytes, or the rotated picture to encode.
    // False when the recording step ended the frame.
    bool RecordWorkingImage(img_desc* working, bool rotated, const std::uint8_t* frame,
                            std::uint32_t frameLength);
    // Serves the pending Capture or Snapshot request; event 15 only when the file was written.
    void SaveSnapshot(img_desc* working);
    // Outcome of the last served snapshot request: -1 written, 0 not.
    std::atomic<std::int32_t> m_nCaptureResult{0};

    // ---- recording ----
    std::atomic<std::int32_t> m_bLockRecord{0};
    std::atomic<std::int32_t> m_bRecordRequest{0};
    std::atomic<std::int32_t> m_bRecordFirstStart{1};
    std::atomic<std::int32_t> m_bAviOpen{0};
    std::int32_t m_nFrameSlot = 0;
    std::int32_t m_nLastFrameSlot = 0;
    std::int64_t m_nBytesWritten = 0;
    std::int32_t m_nSplitAmount = 0;
    Text260 m_szNormalFilePath{"c:\\"};
    Text260 m_szMotionFilePath{"c:\\"};
    std::atomic<std::int32_t> m_nSplitFileSpace{30}; // MB
    std::atomic<std::int32_t> m_nSplitFileMode{FILE_SIZE};
    std::atomic<std::int32_t> m_nReservedSpace{100}; // MB
    std::atomic<std::int32_t> m_nSplitFileTime{20};  // minutes
    // Latched when a file is opened (record_frame.cpp); used by the image thread only.
    CAviWriter m_AviWriter;
    std::int32_t m_nSplitModeAtOpen = FILE_SIZE;
    std::uint32_t m_dwRecordStartTick = 0; // ms ticks at the opening
    std::uint32_t m_dwRecordNowTick = 0;
    std::time_t m_tRecordStart = 0; // wall clock at the opening, seconds
    std::time_t m_tRecordNow = 0;
    std::string m_szRecordFolder; // folder of the open file, whose free space is watched

    // The recording step of the frame pipeline (image thread): true when the frame goes on to
    // the next step, false when it ends here.
    bool RecordFrame(const RecordedPicture& picture);
    // A new picture size: the open file ends without an event; the request stands, so the same
    // frame opens a file at the new size.
    void CloseRecordingForSizeChange();

    // ---- e-mail ----
    Text260 m_szMailServer;
    Text260 m_szMailTo;
    Text260 m_szMailFrom;
    Text260 m_szMailSubject;
    Text260 m_szSendMailID;
    Text260 m_szSendMailPWD;
    Text260 m_szEMailFileName{"c:\\1.jpg"};
    std::atomic<std::int32_t> m_nMailIntervalTime{0}; // seconds
    std::time_t m_tLastMail = 0;
    std::time_t m_tMailNow = 0;

    // ---- e-mail client (mail_job.cpp) ----
    // The SMTP client of every alert of this control; the job ties it to m_bEndRun, so a stop
    // or the destructor ends a stalled dialogue.
    CImageMailClient m_MailClient;
    CMailMessage m_MailMessage;
    // The subject as sent: unchanged when it is printable ASCII, else RFC 2047 encoded words
    // "=?UTF-8?B?...?=" of whole characters, at most 64 characters each, folded.
    static std::string EncodeMailSubject(std::string_view subject);
    // The GetImageEvent code for an SMTP client result other than 0 (41 to 57, else 17).
    static std::int32_t MailErrorEvent(int clientError);

    // ---- frame sharing ----
    std::atomic<std::int32_t> m_bEnableServer{0};
    std::shared_ptr<ClientBlock> m_ClientBlock;
    Handle m_hClientBlock = 0; // the number ClientStructPoint hands out

    // ---- HTTP engine ----
    std::atomic<std::int32_t> m_lErrCode{0};
    Text260 m_szCgiPath{"/goform/serial"};

    // ---- HTTP request engine, parameter table, Base64 and login helpers ----
    // The engine runs on its caller's thread (the host's for the CGI members, a worker's for the
    // configuration jobs). Callers put the path into m_szCgiPath and a POST body into m_Body, and
    // find the answer body in m_Body and the detailed error in m_lErrCode; the table, m_Body and
    // m_szCgiPath are shared without a lock, so callers do not overlap their requests.
    static constexpr std::size_t kBodySize = 10000;
    static constexpr std::size_t kDevExtInfoSize = 512;
    static constexpr std::size_t kCgiPathLimit = 63;

    // Each returns -1 on success and 0 on failure (m_lErrCode tells why). Every request opens and
    // closes its own connection, direct or through the proxy (EnableProxy, LocalCamera,
    // BypassProxyServer). parse = 1 also parses the answer into the parameter table; serialise
    // = 1 first builds m_Body from the changed entries.
    int HttpGet(int parse);
    // Also accepts the status text `status`; sends the prepared credential; a missing content
    // length counts as `defaultLength`.
    int HttpGetEx(int parse, std::string_view status, int defaultLength);
    int HttpPost(int serialise);
    // Also accepts `status`; on "200" or that text the answer's head is left in m_Body.
    int HttpPostEx(int serialise, std::string_view status);
    // POSTs `content` to `path` as it stands: -1 for 200/204, 400..405 for those statuses (405
    // also for 406..409), 0 otherwise.
    int HttpPostCommand(std::string_view path, std::string_view content);

    // The parameter table: m_Parameters as parsed or added (at most 200), m_ParameterTable its
    // fixed copy that lookups read (entries beyond the count zero), m_nParameterNum the count
    // (ParameterNum; a host may put any number, uses are bounded by the table).
    void ParseParameters(std::string_view separator);
    void FlattenParameters();
    // False (m_Body unchanged) when the changed entries do not fit into m_Body.
    bool SerializeParameters(std::string_view separator);
    // The value of the first entry (not a header) named `name`: at most `length` characters and a
    // terminator into `buffer`, which holds length + 1 bytes. False when there is none.
    bool FindParameter(std::string_view name, char* buffer, int length) const;
    // m_Body as text (up to its first NUL) and its replacement (cut to kBodySize - 1 bytes).
    std::string BodyText() const;
    void SetBodyText(std::string_view text);

    // Base64 of the zero-terminated `text`; the code also replaces m_szDeviceSerialNo when it is
    // shorter than 260 characters. Texts that are not camera credentials (the e-mail login, a
    // subject) use tessivor::base64Encode instead, so that they do not replace the stored code.
    std::string Base64Encode(std::string_view text);
    // m_szDeviceSerialNo when it is not empty (a stored code or a camera-issued token), or when
    // `text` has fewer than 2 characters; else Base64Encode(text).
    std::string Base64EncodeBuffer(std::string_view text);
    // The same over UserName ":" Password, read under the same lock as the stored code, so that a
    // concurrent put of either can never leave a code of the old texts behind.
    std::string EncodeCredentials();
    std::string EncodeCredentialsBuffer();
    std::string CredentialText() const; // UserName ":" Password
    // m_szDeviceSerialNo, read and written only through these (and the DeviceSerialNo property).
    std::string DeviceSerialNoText() const;
    void SetDeviceSerialNoText(std::string_view text);

    // Login transform of the native protocols (`out` 20 bytes, `credentials` a CredentialBlock,
    // `challenge` the camera's 80 bytes).
    static void ScrambleCredentials(std::uint8_t* out, const std::uint8_t* credentials,
                                    const std::uint8_t* challenge);
    static CredentialBlock MakeCredentialBlock(std::string_view userName, std::string_view password);
    CredentialBlock BuildCredentialBlock() const; // from UserName and Password
    // The four bytes of `address` in memory order as "%u.%u.%u.%u".
    static std::string FormatIPv4(const std::uint8_t* address);
    // Fills the 4 bytes of `out` (zeroed first) from a dotted text: 1 on success (an empty text
    // gives 0.0.0.0), 0 when a number is above 255 (the bytes before it stay) or fewer than four
    // numbers are given. A negative number stores its low 8 bits; numbers after the fourth are
    // ignored.
    static int ParseIPv4(std::string_view text, std::uint8_t* out);
    // Sum of the data as unsigned 16-bit little-endian words (an odd last byte added as 0-255),
    // modulo 65536.
    static std::uint16_t WordSum(const void* data, std::size_t length);

    std::vector<ParameterEntry> m_Parameters;
    std::array<ParameterEntry, kMaxParameterEntries> m_ParameterTable{};
    std::int32_t m_nParameterNum = 0;
    std::array<char, kBodySize> m_Body{};
    std::array<std::uint8_t, kDevExtInfoSize> m_DevExtInfo{};

private:
    // Guards m_szDeviceSerialNo, m_szUserName and m_szPassword. Other threads read the user name
    // and password through get_UserName / get_Password, CredentialText, BuildCredentialBlock or
    // EncodeCredentials*, never from the fields directly.
    mutable std::mutex m_CredentialLock;
    Text260 m_szDeviceSerialNo;
    std::string credentialTextLocked() const;
    std::string encodeAndKeep(std::string_view text);
    std::string encodeOrReuse(std::string_view text);
    int parameterCount() const; // m_nParameterNum bounded by the table

public:
    // ---- Protocol 4 and audio ----
    Text64 m_szMultipartVideoPath{"/goform/video2"};
    Text64 m_szMultipartAudioPath{"/goform/audio2"};
    std::atomic<std::int32_t> m_nPlayVideo{1};
    std::atomic<std::int32_t> m_nPlayAudio{1};
    std::atomic<std::int32_t> m_nMultipartPause{4000}; // ms
    std::vector<std::uint8_t> m_AudioBuffer;           // 150000 bytes
    std::unique_ptr<TWaveRender> m_pWaveRender;        // opens its output at the first sound
    Text260 m_szAudioUserData;                         // last "Userdata:" of the sound stream
    std::int32_t m_nAudioRecordStart = 0;              // start position of the next recorded block

    // The sound thread (audio_members.cpp): runs the reader until m_bAudioStop, then closes the
    // renderer and clears m_bAudioRunning, whatever way the reader ended.
    void AudioThread();
    // The sound reader (audio_reader.cpp): -1 when told to stop, 0 when the camera could not be
    // reached four times in a row.
    int ReadAudioStream();
    enum class AudioBlockResult
    {
        Played,  // queued for playing (or the rest dropped because every buffer was busy)
        Dropped, // not played: malformed, or too large for a buffer
        EndPass, // the output failed: the reader ends its pass
    };
    // Checks, plays and (while a recording with sound is open) records one AudioBlock body.
    AudioBlockResult PlayAudioBlock(std::span<const std::uint8_t> body);

    // ---- image settings ----
    std::array<std::int16_t, 7> m_ImageValues{};

    // ---- image loop, stream readers and image-settings read ----
    // The readers run on the image thread and hand each frame to ProcessFrame; their results
    // are the StreamResult numbers of image_events.h. The image-settings read runs on the
    // caller's thread (GetImageConfig mode 0) or on m_ImageConfigThread (mode 1).
    static constexpr std::size_t kFrameBufferSize = 300000;
    int ReadNativeStream(std::uint8_t* scratch);
    int ReadVideoCgiStream();
    int ReadNumberedCgiStream();
    int ReadMjpegStream();
    // The frame in m_FrameBuffer (Protocols 0 and 4) or at m_pCgiFrame (1, 2, 50): -1 when it went
    // through, 0 when it was dropped.
    int ProcessFrame(std::uint32_t frameLength);
    void ShareFrame(const std::uint8_t* frame, std::uint32_t length);
    // Reads the seven image settings by Protocol; each pointer is written only when its value was
    // read. -1 success, 0 failure.
    int ReadImageConfig(std::int16_t* resolution, std::int16_t* compression, std::int16_t* frameRate,
                        std::int16_t* brightness, std::int16_t* contrast, std::int16_t* hue,
                        std::int16_t* lightFrequency);
    int ReadImageConfigUdp(const std::array<std::int16_t*, 7>& values);
    int ReadImageConfigIoControl(const std::array<std::int16_t*, 7>& values);
    int ReadImageConfigCgiBin(const std::array<std::int16_t*, 7>& values);
    void ImageConfigThread();
    // m_ImageValues as the image-settings thread left them.
    std::array<std::int16_t, 7> ImageValues() const;
    // Sleeps `ms` in short steps; false as soon as a stop is requested (m_bEndRun 1).
    bool PauseUnlessStopped(std::uint32_t ms);

    std::unique_ptr<std::uint8_t[]> m_FrameBuffer{new std::uint8_t[kFrameBufferSize]()};
    const std::uint8_t* m_pCgiFrame = nullptr; // image thread only
    std::atomic<std::uint32_t> m_nFrameLength{0};
    std::atomic<std::int32_t> m_bLoopEnded{0}; // the image loop has passed its last step
    Text260 m_szStreamTime;                    // time of the last Protocol 4 frame
    Text260 m_szStreamUserData;                // "Userdata:" of the last Protocol 4 answer
    std::atomic<std::int32_t> m_n503Count{0};
    WorkerThread m_ImageConfigThread;
    mutable std::mutex m_ImageValuesLock;

protected:
    ConnectionPoint m_Events;
    std::unique_ptr<ControlWindow> m_Window;
    WindowHandle m_hWnd = 0;

    WorkerThread m_ImageThread;
    WorkerThread m_MailThread;
    WorkerThread m_AudioThread;

    // The e-mail alert job (runs on the mail thread): -1 when the e-mail was sent, else 0.
    int SendMailJob();

public:
    // Discovery and probing (discovery_members.cpp and its neighbours). Declared last, so that
    // its workers are stopped and joined before any other member goes away.
    std::unique_ptr<DiscoveryState> m_Discovery;

private:
    bool StartMailThread();
    void DrainBusyFlags();
    // Closes the stream, multipart and audio sockets, which ends a reader's blocking wait.
    void CloseStreamSockets();
    // Closes the current recording file.
    void CloseAviFile();
};

} // namespace tessivor
