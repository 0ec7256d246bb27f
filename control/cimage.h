// CImage: the camera control, one instance per camera.
//
// The host creates it (through the class factory or directly), sets its properties through
// IImage and hears it through the _IImageEvents connection point. Everything the host calls runs
// on the host's thread, which is also the thread that owns the control window; worker threads
// (image loop, audio, e-mail, protocol jobs) report only by posting messages to that window,
// so every event fires on the host's thread, in posting order.
//
// State. Nothing here is public data: the settings live in groups by concern
// (control/control_settings.h), each behind its own lock; the host's thread writes them through
// the put members and a worker copies the group it needs at the start of its round. Words that a
// thread must see at once (stop requests, Status, busy marks, the host's requests) are atomics
// in the groups of control/control_state.h, which also say which thread owns the rest. A
// request's data is written before its flag is raised. Every worker is a WorkerThread that the
// control joins in its destructor, after it has asked the worker to stop and closed the sockets
// that could hold it.
#pragma once

#include "camproto/login_transform.h"
#include "control/control_settings.h"
#include "control/control_state.h"
#include "control/guarded.h"
#include "control/iimage.h"
#include "control/image_events.h"
#include "control/jpeg_decode.h"
#include "control/recorded_picture.h"
#include "imagelib/img_desc.h"
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
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tessivor {

struct DiscoveryState;    // control/discovery_state.h
struct CameraConfigState; // control/camera_config_state.h
namespace camproto {
struct DeviceRecord;
struct AdminRequest;
struct LoginQueryAnswer;
struct ConfigTransfer;
enum class Opcode : std::uint16_t;
} // namespace camproto

using camproto::CredentialBlock;
using camproto::kCredentialBlockSize;

class CImage : public IImage
{
public:
    static constexpr int kMotionRectCount = tessivor::kMotionRectCount;
    static constexpr std::size_t kAudioBufferSize = AudioState::kAudioBufferSize;
    static constexpr std::size_t kMotionReferenceSize = MotionState::kMotionReferenceSize;
    static constexpr std::size_t kFrameBufferSize = StreamBuffers::kFrameBufferSize;
    static constexpr std::size_t kBodySize = HttpExchange::kBodySize;
    static constexpr std::size_t kDevExtInfoSize = HttpExchange::kDevExtInfoSize;
    static constexpr std::size_t kCgiPathLimit = 63;

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
    // ---- motion (motion_detect.cpp), image thread ----
    // DetectMotion compares the sampled cells of the 24-bit bottom-up picture (rows `stride`
    // bytes apart) with the reference and leaves the picture's cells of its sampling grid in the
    // reference (packed; at most kMotionReferenceSize bytes); 1 = motion. The reference must hold
    // the previous picture's cells of the same size and grid. It refuses (0, reference
    // unchanged) a picture larger than kMotionReferenceSize bytes. Rectangle mode uses the first
    // MotionBlockCount rectangles.
    int DetectMotion(const std::uint8_t* picture, std::uint32_t stride, std::uint8_t* reference, int width,
                     int height, int sensitivity, bool useRectangles);
    // 1 when the rectangle, already in bitmap rows (top and bottom counted from the bottom line,
    // right and bottom exclusive), lies inside a width x height picture and is not empty.
    static int IsMotionRectValid(const MotionRect& rect, int width, int height);
    // The motion step of the frame pipeline for the working image: event 6 with its hold-off, the
    // beep; true when this frame should go out as an e-mail picture.
    bool MotionStep(const img_desc* working);

    // ---- JPEG decoding (jpeg_decode.cpp) ----
    // Decodes one whole JPEG frame into a DIB: the header (with the grey palette for 8 bits) into
    // `header`, the rows into `pixels`, which grows to the picture's size up to
    // kDecodedDibMaxBytes. 0 = decoded, -1 = failed (any libjpeg warning or error, an output
    // colour space other than grey, RGB or CMYK, a picture beyond the limit, more than
    // kMaxScansPerFrame scans, or `stop`, when given, requesting a stop during the decode).
    static int DecodeJpegToDib(const std::uint8_t* frame, std::uint32_t length, DecodedDibHeader* header,
                               std::vector<std::uint8_t>* pixels, const EndRunFlag* stop = nullptr);

    // ---- output steps of the frame pipeline (frame_output.cpp), image thread ----
    // Resizes the working image to the preview size and draws it into the preview target (or
    // the control's own surface); failures only skip the drawing.
    void DrawFrame(img_desc* working, const DrawingSettings& drawing);
    // Writes the e-mail picture and asks for the e-mail job when the mail interval has passed;
    // a picture that could not be written starts nothing and leaves m_bMailIdle at 1.
    void SendMotionMail(img_desc* working);
    // Hands the frame to the recording step: the camera's bytes, or the rotated picture to encode.
    // False when the recording step ended the frame.
    bool RecordWorkingImage(img_desc* working, bool rotated, const std::uint8_t* frame,
                            std::uint32_t frameLength);
    // Serves the pending Capture or Snapshot request; event 15 only when the file was written.
    void SaveSnapshot(img_desc* working);

    // ---- recording (record_frame.cpp), image thread ----
    // The recording step of the frame pipeline: true when the frame goes on to the next step,
    // false when it ends here.
    bool RecordFrame(const RecordedPicture& picture);
    // A new picture size: the open file ends without an event; the request stands, so the same
    // frame opens a file at the new size.
    void CloseRecordingForSizeChange();
    // Posts code 11 unless it was posted for this recording attempt already.
    void PostOpenFailedOnce();

    // ---- e-mail (mail_job.cpp) ----
    // The subject as sent: unchanged when it is printable ASCII, else RFC 2047 encoded words
    // "=?UTF-8?B?...?=" of whole characters, at most 64 characters each, folded.
    static std::string EncodeMailSubject(std::string_view subject);
    // The GetImageEvent code for an SMTP client result other than 0 (41 to 57, else 17).
    static std::int32_t MailErrorEvent(int clientError);

    // ---- HTTP request engine, parameter table, Base64 and login helpers ----
    // The engine runs on its caller's thread (the host's for the CGI members, a worker's for the
    // configuration jobs). Callers put the path into m_szCgiPath and a POST body into m_Body, and
    // find the answer body in m_Body and the detailed error in m_lErrCode; the exchange area is
    // shared without a lock, so callers do not overlap their requests.
    //
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
    // `challenge` the camera's 80 bytes); camproto/login_transform.h does the work.
    static void ScrambleCredentials(std::uint8_t* out, const std::uint8_t* credentials,
                                    const std::uint8_t* challenge);
    CredentialBlock BuildCredentialBlock() const; // from UserName and Password
    // The four bytes of `address` in memory order as "%u.%u.%u.%u".
    static std::string FormatIPv4(const std::uint8_t* address);
    // Fills the 4 bytes of `out` from a dotted text (camproto::parseIPv4): 1 on success, 0 when a
    // number is above 255 or fewer than four numbers are given.
    static int ParseIPv4(std::string_view text, std::uint8_t* out);
    // Sum of the data as unsigned 16-bit little-endian words, modulo 65536.
    static std::uint16_t WordSum(const void* data, std::size_t length);

    // ---- sound (audio_members.cpp, audio_reader.cpp) ----
    // The sound thread: runs the reader until m_bAudioStop, then closes the renderer and clears
    // m_bAudioRunning, whatever way the reader ended.
    void AudioThread();
    // The sound reader: -1 when told to stop, 0 when the camera could not be reached four times
    // in a row.
    int ReadAudioStream();
    enum class AudioBlockResult
    {
        Played,  // queued for playing (or the rest dropped because every buffer was busy)
        Dropped, // not played: malformed, or too large for a buffer
        EndPass, // the output failed: the reader ends its pass
    };
    // Checks, plays and (while a recording with sound is open) records one AudioBlock body.
    AudioBlockResult PlayAudioBlock(std::span<const std::uint8_t> body);

    // ---- image loop, stream readers and image-settings read ----
    // The readers run on the image thread and hand each frame to ProcessFrame; their results
    // are the StreamResult numbers of image_events.h. The image-settings read runs on the
    // caller's thread (GetImageConfig mode 0) or on m_ImageConfigThread (mode 1).
    int ReadNativeStream(std::uint8_t* scratch);
    int ReadVideoCgiStream();
    int ReadNumberedCgiStream();
    int ReadMjpegStream();
    // The frame in the frame buffer (Protocols 0 and 4) or at m_pCgiFrame (1, 2, 50): -1 when it
    // went through, 0 when it was dropped.
    int ProcessFrame(std::uint32_t frameLength);
    // A pushed stream's frame where it lies in the frame buffer, through ProcessFrame.
    void ProcessCgiFrame(const std::uint8_t* frame, std::uint32_t length);
    void ShareFrame(const std::uint8_t* frame, std::uint32_t length);
    // Reads the seven image settings by Protocol; each pointer is written only when its value was
    // read. -1 success, 0 failure.
    int ReadImageConfig(std::int16_t* resolution, std::int16_t* compression, std::int16_t* frameRate,
                        std::int16_t* brightness, std::int16_t* contrast, std::int16_t* hue,
                        std::int16_t* lightFrequency);
    int ReadImageConfigUdp(const ConnectionSettings& conn, const std::array<std::int16_t*, 7>& values);
    int ReadImageConfigIoControl(const ConnectionSettings& conn, const std::array<std::int16_t*, 7>& values);
    int ReadImageConfigCgiBin(const std::array<std::int16_t*, 7>& values);
    void ImageConfigThread();
    // The image settings as the image-settings thread left them.
    std::array<std::int16_t, 7> ImageValues() const;
    // Sleeps `ms` in short steps; false as soon as a stop is requested.
    bool PauseUnlessStopped(std::uint32_t ms);

protected:
    // The e-mail alert job (runs on the mail thread): -1 when the e-mail was sent, else 0.
    int SendMailJob();

private:
    // Tests reach the groups through this peer (tests/control/cimage_peer.h).
    friend struct CImagePeer;

    ConnectionPoint m_Events;
    std::unique_ptr<ControlWindow> m_Window;
    WindowHandle m_hWnd = 0;

    WorkerThread m_ImageThread;
    WorkerThread m_MailThread;
    WorkerThread m_AudioThread;
    WorkerThread m_ImageConfigThread;
    WorkerThread m_PanTiltThread;
    WorkerThread m_FirmwareThread;

    bool StartMailThread();
    void DrainBusyFlags();
    // Closes the stream, multipart and audio sockets, which ends a reader's blocking wait.
    void CloseStreamSockets();
    // An image loop runs and has not passed its last step.
    bool ImageLoopLive() const;
    // Closes the current recording file.
    void CloseAviFile();

    // ---- discovery and probing (discovery_members.cpp, probe_members.cpp, multicast_members.cpp,
    // wireless_members.cpp). The searches run on the host's thread (mode 0) or on the two search
    // workers; the probe on the host's thread or the probe worker. ----
    // The broadcast search for `target`: -1 found (all devices: completed), 0 not.
    static int searchDeviceBroadcast(CImage& c, const std::string& target);
    // The multicast search from every local address; always 0.
    static int searchDeviceMulticast(CImage& c);
    // Lists a found record unless its MAC is listed; posts EVT_DEVICE_FOUND unless the search is quiet.
    // True when the record was listed now.
    static bool discoveryListRecord(CImage& c, const camproto::DeviceRecord& record);
    // The worker that ends second posts the end message with its own result.
    static void endSearchWorker(CImage& c, std::atomic<std::int32_t>& ownDone,
                                const std::atomic<std::int32_t>& otherDone, int result);
    // The extended-information query for the target MAC and address (DevExtInfBroadcast): -1 or 0.
    static int queryExtendedInfo(CImage& c);
    // The record FoundIndex selects, if any.
    std::optional<camproto::DeviceRecord> selectedRecord() const;
    // GET `path` through the HTTP engine; true on success (the body is in the exchange area).
    static bool getPage(CImage& c, const char* path, int parse = 0);
    static int probeGetInfoAsp(CImage& c);
    static int getDevInfoCgi(CImage& c);
    static int getDeviceInfoWeb(CImage& c);
    static int probeDeviceUdp(CImage& c);
    static int queryDeviceInfoBroadcast(CImage& c);
    // The probe chain (ProbeDevice): -1 when one way described the camera, else 0.
    static int probeDeviceWorker(CImage& c);

    // ---- Kestra command port and web forms (kestra_members.cpp), host's thread ----
    // One command exchange with the prepared 128-byte request: -1 when the camera did the command
    // (the survey: when a survey arrived), else 0, with m_lErrCode 12 (no connection) or 14 (not
    // sent). On -1, `answer` receives the reply's data (the survey: the entry count as decimal
    // text). The status command also refreshes m_KestraStatus and the current device; the survey
    // the access-point list.
    int KestraCommand(std::uint32_t command, const camproto::KestraPacket& request,
                      std::vector<std::uint8_t>* answer);
    // Up to three POSTs of `body` to `path` that accept a "302" answer: -1 when one was accepted
    // and does not send the browser to "error.asp", 1 when it does (refused), 0 without one.
    int KestraPostFormResult(const char* path, const std::string& body);
    // The same with a refusal counted as failure: -1 or 0.
    int KestraPostForm(const char* path, const std::string& body)
    {
        return KestraPostFormResult(path, body) == -1 ? -1 : 0;
    }

    // ---- pan/tilt (pan_tilt_members.cpp), pan/tilt thread ----
    // The requests of one command: -1 accepted, else 0 or the HTTP status the engine reports.
    int PTCmdWorker(std::int32_t command);

    // ---- firmware upload (firmware_members.cpp), firmware thread ----
    void FirmwareUpdateThread();
    void UploadFirmwareMultipart();
    void UploadFirmwareOctet();
    // Sleeps `ms` in short steps; false as soon as the control is being destroyed.
    bool FirmwarePause(std::uint32_t ms);
    // ---- login and camera configuration (login_members.cpp, config_members.cpp,
    // camera_admin_members.cpp, camera_http_call.cpp). They run on the host's thread, the login
    // request also on the login thread. ----
    // A datagram request to the camera aimed at (broadcast: to every camera, the IP field 0): the
    // next sequence number, the target MAC and address; the control's end wakes it.
    static camproto::AdminRequest adminRequest(CImage& c, camproto::Opcode opcode, bool broadcast = false);
    // The same with the reply size of `opcode` and the tries of the unicast requests.
    static camproto::AdminRequest unicastRequest(CImage& c, camproto::Opcode opcode, std::size_t replySize);
    // The unicast request (with seven words after the header when given): -1 answered, else 0.
    static int statusExchange(CImage& c, camproto::Opcode opcode,
                              const std::array<std::int16_t, 7>* words = nullptr);
    // The login query (0x0012); a challenge that comes is kept for the password check.
    static camproto::LoginQueryAnswer loginQuery(CImage& c, bool broadcast);
    // The password check (0x0013): the status of the camera's answer, nullopt without one.
    static std::optional<std::uint16_t> passwordCheck(CImage& c, bool broadcast);
    static int checkPasswordUdp(CImage& c); // -1 accepted, 1 refused, 0 no answer
    static int isNeedPassword(CImage& c);   // 1 login needed, 2 not, 0 no answer
    static int kestraLogin(CImage& c);      // the Kestra login form: -1, 1 refused, 0
    static int webFormLogin(CImage& c);     // "/goform/login": -1, 1 refused, 0
    // LoginCamera's work by Protocol.
    static int loginCameraWorker(CImage& c);
    // Where the configuration block's datagrams go.
    static camproto::ConfigTransfer configTransfer(CImage& c);
    // The multipart family's configuration: the changed parameters to each page, then reboot.
    static int writeConfigCgi(CImage& c);
    // GET `path` through the HTTP engine: its result.
    static int httpGetPage(CImage& c, const char* path, int parse);

    std::string credentialTextLocked() const;
    std::string encodeAndKeep(std::string_view text);
    std::string encodeOrReuse(std::string_view text);
    int parameterCount() const; // m_nParameterNum bounded by the table

    // ---- settings (control/control_settings.h): the host writes, workers copy per round ----
    Guarded<ConnectionSettings> m_Connection;
    Guarded<DrawingSettings> m_Drawing;
    Guarded<RecordingSettings> m_RecordingSettings;
    Guarded<MotionSettings> m_MotionSettings;
    Guarded<MailSettings> m_MailSettings;
    Guarded<StreamSettings> m_StreamSettings;
    Guarded<KestraSettings> m_KestraSettings;

    // Guards m_szDeviceSerialNo, m_szUserName and m_szPassword. Other threads read the user name
    // and password through get_UserName / get_Password, CredentialText, BuildCredentialBlock or
    // EncodeCredentials*, never from the fields directly.
    mutable std::mutex m_CredentialLock;
    Text260 m_szUserName{"pelko"};
    Text260 m_szPassword{"pelko"};
    Text260 m_szDeviceSerialNo;

    // ---- working state (control/control_state.h) ----
    RunFlags m_Run;
    RecordFlags m_Record;
    CaptureRequest m_Capture;
    StreamInfo m_StreamInfo;
    StreamBuffers m_Buffers;    // image thread
    RecordingState m_Recording; // image thread
    MotionState m_Motion;       // image thread
    MailState m_Mail;           // image thread and e-mail thread
    AudioState m_Audio;         // sound thread
    HttpExchange m_Http;        // the engine's caller
    Sockets m_Sockets;
    FrameSharing m_Sharing;
    SearchFlags m_Search;
    KestraState m_Kestra;     // host's thread
    PanTiltState m_PanTilt;   // host's thread and the pan/tilt thread
    FirmwareState m_Firmware; // host's thread and the firmware thread

    // The image settings as the last image-settings thread read them.
    mutable std::mutex m_ImageValuesLock;
    std::array<std::int16_t, 7> m_ImageValues{};

    // Discovery and probing: the found list, the search and probe workers (see
    // control/discovery_state.h for which thread uses what). Declared last, so that its workers
    // are stopped and joined before any other member goes away.
    std::unique_ptr<DiscoveryState> m_Discovery;
    // The configuration block, its selectors, the user list and the login thread (host's
    // thread; see control/camera_config_state.h). After m_Discovery: the login thread, which uses
    // the discovery state, is joined before that goes away.
    std::unique_ptr<CameraConfigState> m_CameraConfig;
};

} // namespace tessivor
