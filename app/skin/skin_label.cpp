#include "app/skin/skin_label.h"

#include "app/skin/skin_form.h"

#include <QPainter>

namespace pellucor {

SkinLabel::SkinLabel(QWidget* parent) : QWidget(parent) {}

void SkinLabel::SetCaption(const QString& caption)
{
    if (caption == m_caption)
        return;
    m_caption = caption;
    updateGeometry();
    update();
}

void SkinLabel::AttachSkin(SkinForm* form)
{
    m_skin = form;
    update();
}

QSize SkinLabel::sizeHint() const
{
    const QFont f = shownFont();
    const QFontMetrics metrics(f);
    return QSize(metrics.horizontalAdvance(m_caption) + 6, metrics.height() + 4);
}

QFont SkinLabel::shownFont() const
{
    // A font put on the label itself (the program font) wins over the skin's.
    if (m_skin && !testAttribute(Qt::WA_SetFont))
        return m_skin->document().labelStyle().font;
    return font();
}

void SkinLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    if (m_skin) {
        const SkinLabelStyle& style = m_skin->document().labelStyle();
        if (!style.transparent)
            painter.fillRect(rect(), style.background);
        painter.setFont(shownFont());
        painter.setPen(style.textColour);
        painter.drawText(rect().adjusted(3, 0, -3, 0), int(style.alignment), m_caption);
        return;
    }
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(rect().adjusted(3, 0, -3, 0), Qt::AlignLeft | Qt::AlignVCenter, m_caption);
}

} // namespace pellucor
