// The sound members of the control: the picture and sound switches of PlayMode.
#include "control/cimage.h"

namespace tessivor {

HRESULT CImage::get_PlayMode(std::int32_t* pVal)
{
    *pVal = (m_nPlayVideo.load() == 1 ? 1 : 0) | (m_nPlayAudio.load() == 1 ? 2 : 0);
    return S_OK;
}

HRESULT CImage::put_PlayMode(std::int32_t newVal)
{
    // Switching off asks the thread concerned to end; switching on starts nothing by itself.
    switch (newVal) {
    case 0:
        m_nPlayVideo.store(0);
        m_nPlayAudio.store(0);
        m_bEndRun.store(1);
        m_bAudioStop.store(1);
        break;
    case 1:
        m_nPlayVideo.store(1);
        m_nPlayAudio.store(0);
        m_bAudioStop.store(1);
        break;
    case 2:
        m_nPlayVideo.store(0);
        m_nPlayAudio.store(1);
        m_bEndRun.store(1);
        break;
    case 3:
        m_nPlayVideo.store(1);
        m_nPlayAudio.store(1);
        break;
    default:
        break;
    }
    return S_OK;
}

} // namespace tessivor
