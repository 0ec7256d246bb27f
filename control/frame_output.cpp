// The output steps of the frame pipeline, on the image thread, for the working image (the
// decoded picture, rotated when RotateAngle asks for it): drawing into the host's frame target,
// the e-mail alert picture, the picture handed to the recording step, and snapshots.
//
// Failures here never end the frame, and nothing is announced that did not happen: event 15
// only for a snapshot file that was written, WM_STARTMAIL only for an e-mail picture that was.
#include "control/cimage.h"

#include "imagelib/img_display.h"
#include "imagelib/img_jpeg.h"
#include "imagelib/img_resize.h"
#include "platform/clock.h"
#include "platform/frame_target.h"
#include "platform/trace.h"

namespace tessivor {

namespace {

// Snapshot and e-mail pictures are written at the best quality.
constexpr std::int32_t kPictureQuality = 100;

struct SnapshotSize
{
    std::uint32_t width, height;
};
// Size codes of Capture: 1, 2, 3; every other code writes the picture as it is.
constexpr SnapshotSize kSnapshotSizes[] = {{160, 120}, {320, 240}, {640, 480}};

} // namespace

void CImage::DrawFrame(img_desc* working, const DrawingSettings& drawing)
{
    const std::int32_t width = drawing.m_nPreviewWidth;
    const std::int32_t height = drawing.m_nPreviewHeight;
    if (width < 1 || height < 1)
        return;
    const std::int32_t left = drawing.m_nPreviewLeft;
    const std::int32_t top = drawing.m_nPreviewTop;
    const std::int32_t targetLeft = drawing.m_nPreviewTargetLeft;
    const std::int32_t targetTop = drawing.m_nPreviewTargetTop;
    const bool offset =
        drawing.m_bOtherDC != 0 && (left != 0 || top != 0 || targetLeft != 0 || targetTop != 0);
    const Handle window = drawing.m_bOtherDC != 0 ? static_cast<Handle>(drawing.m_PreviewhWnd) : m_hWnd;
    const Handle dc = drawing.m_bOtherDC != 0 ? static_cast<Handle>(drawing.m_PreviewDC) : m_hWnd;

    Handle palette = 0;
    std::int32_t rc = 0;
    if (!offset && img_bits(working) == 24) {
        // A colour frame drawn at the top-left: each preview row goes into the target as it is
        // built, so no preview image is written and read back.
        rc = img_display_resized(window, dc, &palette, working, static_cast<std::uint32_t>(width),
                                 static_cast<std::uint32_t>(height));
    } else {
        // The resize writes every pixel of the preview: it is kept from frame to frame, not zeroed.
        img_desc* preview = m_Buffers.m_PreviewImage.get();
        if (img_fit(preview, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height),
                    img_bits(working)) != 0)
            return;
        if (img_resize(working, preview) != 0)
            return;
        if (offset)
            rc = img_display_ex(window, dc, &palette, left, top, preview, targetLeft, targetTop, 0);
        else
            rc = img_display(window, dc, &palette, 0, 0, preview);
    }
    // The palette a palette device needed lives for this drawing only.
    if (palette != 0)
        logicalPalettes::destroy(palette);
    if (rc != 0)
        trace("%s : drawing failed (%d)", m_Connection.read().m_szRemoteHost.c_str(), rc);
}

void CImage::SendMotionMail(img_desc* working)
{
    const MailSettings mailCfg = m_MailSettings.read();
    const std::time_t now = wallNow();
    if (m_Mail.m_tLastMail != 0) {
        m_Mail.m_tMailNow = now;
        if (!(m_Mail.m_tMailNow - m_Mail.m_tLastMail >
              static_cast<std::time_t>(mailCfg.m_nMailIntervalTime) - 1))
            return;
    }
    m_Mail.m_tLastMail = now;
    m_Run.m_bMailIdle.store(0);
    const std::string file = mailCfg.m_szEMailFileName.str();
    const std::int32_t rc = img_save_jpeg(file.c_str(), working, kPictureQuality);
    if (rc != 0) {
        // Nothing to send: no job starts, and the next e-mail may go once the interval has passed.
        trace("%s : e-mail picture \"%s\" not written (%d)", m_Connection.read().m_szRemoteHost.c_str(),
              file.c_str(), rc);
        m_Run.m_bMailIdle.store(1);
        return;
    }
    postMessage(m_hWnd, WM_STARTMAIL, 0, 0);
}

bool CImage::RecordWorkingImage(img_desc* working, bool rotated, const std::uint8_t* frame,
                                std::uint32_t frameLength)
{
    RecordedPicture picture;
    picture.header = *working->header;
    if (rotated) {
        picture.encodeFrom = working; // encoded by the recording step when it writes a frame
    } else {
        picture.jpeg = frame;
        picture.jpegBytes = frameLength;
    }
    return RecordFrame(picture);
}

void CImage::SaveSnapshot(img_desc* working)
{
    const std::int32_t size = m_Capture.m_nCaptureSize.load();
    const std::string file = m_Capture.m_szCaptureFile.str();
    std::int32_t rc = 0;
    if (size >= 1 && size <= 3) {
        const SnapshotSize s = kSnapshotSizes[size - 1];
        ImgTempImage snapshot;
        rc = img_alloc(snapshot.get(), s.width, s.height, img_bits(working));
        if (rc == 0)
            rc = img_resize(working, snapshot.get());
        if (rc == 0)
            rc = img_save_jpeg(file.c_str(), snapshot.get(), kPictureQuality);
        m_Capture.m_nCaptureSize.store(0);
    } else {
        rc = img_save_jpeg(file.c_str(), working, kPictureQuality);
    }
    // The result is in place before the request is cleared: Snapshot reads it then.
    m_Capture.m_nCaptureResult.store(rc == 0 ? -1 : 0);
    if (rc == 0)
        PostImageEvent(EVT_CAPTURE_SAVED);
    else
        trace("%s : snapshot \"%s\" not written (%d)", m_Connection.read().m_szRemoteHost.c_str(),
              file.c_str(), rc);
    m_Capture.m_bCaptureRequest.store(0);
}

} // namespace tessivor
