#include "app/windows/hand_cursor.h"

#include <QBitmap>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace pellucor {

namespace {

// The outline of a hand with the index finger up, in cursor pixels: the fingertip at (12, 1),
// the other fingers folded to the right, the thumb to the left.
QPainterPath handOutline()
{
    QPainterPath p;
    p.moveTo(10, 3);
    p.quadTo(12, 0, 14, 3);   // fingertip
    p.lineTo(14, 13);         // index finger, right side
    p.quadTo(16, 11, 18, 13); // middle knuckle
    p.quadTo(20, 12, 22, 14); // ring knuckle
    p.quadTo(24, 13, 26, 15); // little knuckle
    p.lineTo(26, 23);
    p.quadTo(25, 28, 21, 30); // heel of the hand
    p.lineTo(13, 30);
    p.quadTo(9, 27, 5, 20); // wrist side of the thumb
    p.quadTo(4, 17, 7, 18); // thumb tip
    p.lineTo(10, 21);
    p.closeSubpath();
    return p;
}

QCursor makeHandCursor()
{
    QImage image(kHandCursorSize, kHandCursorSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Qt::black, 1.2));
        painter.setBrush(Qt::white);
        painter.drawPath(handOutline());
        // The folded fingers' seams.
        painter.drawLine(QPointF(18, 13), QPointF(18, 18));
        painter.drawLine(QPointF(22, 14), QPointF(22, 19));
    }
    return QCursor(QPixmap::fromImage(image), kHandCursorHotSpot.x(), kHandCursorHotSpot.y());
}

} // namespace

const QCursor& handCursor()
{
    static const QCursor cursor = makeHandCursor();
    return cursor;
}

} // namespace pellucor
