// What tests, benchmarks and fuzz targets see of a control's inside: its state groups, reached
// by reference. Settings groups come with their lock (read() copies, update() writes).
#pragma once

#include "control/camera_config_state.h"
#include "control/cimage.h"
#include "control/discovery_state.h"

namespace tessivor {

struct CImagePeer
{
    static RunFlags& run(CImage& c) { return c.m_Run; }
    static RecordFlags& record(CImage& c) { return c.m_Record; }
    static CaptureRequest& capture(CImage& c) { return c.m_Capture; }
    static StreamInfo& streaminfo(CImage& c) { return c.m_StreamInfo; }
    static StreamBuffers& buffers(CImage& c) { return c.m_Buffers; }
    static RecordingState& recording(CImage& c) { return c.m_Recording; }
    static MotionState& motion(CImage& c) { return c.m_Motion; }
    static MailState& mail(CImage& c) { return c.m_Mail; }
    static AudioState& audio(CImage& c) { return c.m_Audio; }
    static HttpExchange& http(CImage& c) { return c.m_Http; }
    static Sockets& sockets(CImage& c) { return c.m_Sockets; }
    static FrameSharing& sharing(CImage& c) { return c.m_Sharing; }
    static SearchFlags& search(CImage& c) { return c.m_Search; }
    static DiscoveryState& discovery(CImage& c) { return *c.m_Discovery; }
    static CameraConfigState& cameraConfig(CImage& c) { return *c.m_CameraConfig; }
    static bool mailThreadRunning(const CImage& c) { return c.m_MailThread.running(); }

    static Guarded<ConnectionSettings>& connection(CImage& c) { return c.m_Connection; }
    static Guarded<DrawingSettings>& drawing(CImage& c) { return c.m_Drawing; }
    static Guarded<MotionSettings>& motionSettings(CImage& c) { return c.m_MotionSettings; }
    static Guarded<StreamSettings>& streamSettings(CImage& c) { return c.m_StreamSettings; }
    static Guarded<MailSettings>& mailSettings(CImage& c) { return c.m_MailSettings; }

    static void setImageValues(CImage& c, const std::array<std::int16_t, 7>& values)
    {
        std::lock_guard lock(c.m_ImageValuesLock);
        c.m_ImageValues = values;
    }
};

} // namespace tessivor
