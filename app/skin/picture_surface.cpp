#include "app/skin/picture_surface.h"

#include "app/skin/wake_notifier.h"

#include <QPaintEvent>
#include <QPainter>
#include <QRegion>

#include <algorithm>

namespace pellucor {

namespace {

// The size from which Qt splits an image conversion over its thread pool.
constexpr int kConvertInPlaceBytes = 1 << 16;

} // namespace

PictureSurface::PictureSurface(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    const int w = std::max(width(), 1), h = std::max(height(), 1);
    m_handle = tessivor::frameTargets::create(w, h);
    m_target = tessivor::frameTargets::find(m_handle);
    m_wake = new WakeNotifier(this);
    connect(m_wake, &WakeNotifier::woken, this, [this] {
        update();
        emit pictureChanged();
    });
    // Runs on the drawing thread: only the wake event is touched there. The event is shared, so
    // a callback that is still running when the surface goes away signals a harmless descriptor.
    m_target->setOnChange([event = m_wake->wakeEvent()] { event->signal(); });
}

PictureSurface::~PictureSurface()
{
    m_target->setOnChange({});
    tessivor::frameTargets::destroy(m_handle);
}

void PictureSurface::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (m_target->width() != width() || m_target->height() != height())
        m_target->resize(std::max(width(), 1), std::max(height(), 1));
}

void PictureSurface::paintEvent(QPaintEvent* event)
{
    const tessivor::TargetPicture picture = m_target->snapshot();
    QPainter painter(this);
    // Black where the picture does not reach.
    const QRect covered(0, 0, std::max(picture.width, 0), std::max(picture.height, 0));
    for (const QRect& r : QRegion(event->rect()).subtracted(QRegion(covered)))
        painter.fillRect(r, Qt::black);
    if (picture.width > 0 && picture.height > 0) {
        // Qt converts a 24-bit picture of 64 KiB or more to the window's format on its pool
        // threads; strips below that size convert on this thread, which costs less than waking
        // the pool for every frame of every picture.
        const int stride = picture.width * 3;
        const int stripRows = std::max(1, (kConvertInPlaceBytes - 1) / stride);
        for (int y = 0; y < picture.height; y += stripRows) {
            const int rows = std::min(stripRows, picture.height - y);
            const QImage strip(picture.rgb.data() + static_cast<std::size_t>(y) * stride, picture.width, rows,
                               stride, QImage::Format_RGB888);
            painter.drawImage(0, y, strip); // drawn before `picture` goes away
        }
    }
    painter.setRenderHint(QPainter::TextAntialiasing);
    for (const tessivor::TargetText& text : picture.texts) {
        QFont font(QString::fromStdString(text.font));
        font.setPixelSize(std::max(text.pixelHeight, 1));
        font.setWeight(QFont::Weight(std::clamp(text.weight / 10 * 10, 100, 900)));
        painter.setFont(font);
        painter.setPen(QColor(text.colour.r, text.colour.g, text.colour.b));
        int flags = Qt::TextSingleLine;
        flags |= (text.format & tessivor::DT_CENTER) ? Qt::AlignHCenter : Qt::AlignLeft;
        flags |= (text.format & tessivor::DT_VCENTER) ? Qt::AlignVCenter : Qt::AlignTop;
        const QRect r(text.rect.left, text.rect.top, text.rect.right - text.rect.left,
                      text.rect.bottom - text.rect.top);
        painter.drawText(r, flags, QString::fromStdString(text.text));
    }
    m_shownVersion = picture.version;
}

} // namespace pellucor
