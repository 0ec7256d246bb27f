#include "app/skin/skin_object.h"

#include "app/skin/skin_document.h"

#include <QStringList>

#include <algorithm>

namespace pellucor {

SkinObject::SkinObject(SkinDocument* document, QString name, SkinObject* parent)
    : m_document(document), m_name(std::move(name)), m_parent(parent)
{
    if (m_parent)
        m_parent->addChild(this);
}

SkinObject* SkinObject::findDescendant(const QString& name)
{
    for (SkinObject* child : m_children) {
        if (child->m_name == name)
            return child;
        if (SkinObject* found = child->findDescendant(name))
            return found;
    }
    return nullptr;
}

SkinObject& SkinObject::FindObject(const QString& name)
{
    if (SkinObject* found = findDescendant(name))
        return *found;
    throw SkinError("skin object \"" + name.toStdString() + "\" not found below \"" + m_name.toStdString() +
                    "\"");
}

void SkinObject::changed()
{
    if (m_document)
        m_document->notifyChanged(m_geometry, false);
}

void SkinObject::SetText(const QString& text)
{
    if (text == m_text)
        return;
    m_text = text;
    changed();
}

void SkinObject::SetFont(const QFont& font)
{
    m_font = font;
    changed();
}

void SkinObject::SetBitmap(const QString& name)
{
    m_bitmapName = name;
    m_fill = parseFillColour(name);
    changed();
}

void SkinObject::SetPicture(const QString& name)
{
    m_picture = name;
    if (name.isEmpty())
        m_pictureRect = QRect();
    changed();
}

void SkinObject::SetPictureRect(const QString& rect)
{
    const QStringList parts = rect.split(' ', Qt::SkipEmptyParts);
    m_pictureRect = QRect();
    if (parts.size() == 4) {
        int v[4];
        bool ok = true;
        for (int i = 0; i < 4 && ok; ++i) {
            v[i] = parts[i].toInt(&ok);
            ok = ok && v[i] >= 0 && v[i] <= kMaxSkinCoordinate;
        }
        if (ok)
            m_pictureRect = QRect(v[0], v[1], v[2], v[3]);
    }
    changed();
}

void SkinObject::SetTransparency(int value)
{
    value = std::clamp(value, 0, 255);
    if (value == m_transparency)
        return;
    m_transparency = value;
    changed();
}

void SkinObject::SetHintText(const QString& text)
{
    m_hint = text; // shown on the next tooltip request; nothing to repaint
}

void SkinObject::SetStyleCode(int code)
{
    m_styleCode = code;
    if (m_document)
        m_document->notifyChanged(QRect(), false); // the pointer shape may change
}

void SkinObject::SetOffset(int span)
{
    m_span = std::clamp(span, 0, kMaxSkinCoordinate);
    if (m_document)
        m_document->notifyChanged(QRect(), true);
}

void SkinObject::setDesign(QRect rect, SkinAnchors anchors)
{
    m_design = rect;
    m_anchors = anchors;
}

void SkinObject::setTextStyle(QColor colour, Qt::Alignment alignment)
{
    m_textColour = colour;
    m_alignment = alignment;
}

void SkinObject::addImage(const QString& name, QImage image)
{
    m_images[name] = std::move(image);
}

const QImage* SkinObject::image(const QString& name) const
{
    if (name.isEmpty())
        return nullptr;
    if (auto it = m_images.find(name); it != m_images.end())
        return &it->second;
    return m_document ? m_document->sharedImage(name) : nullptr;
}

void SkinObject::layout(QRect parentNow)
{
    if (!m_parent) {
        m_geometry = parentNow;
    } else {
        // The parent grew by (dw, dh) against its design size; each edge the object is tied to
        // moves with the matching parent edge.
        const QRect parentDesign = m_parent->m_design;
        const int dw = parentNow.width() - parentDesign.width();
        const int dh = parentNow.height() - parentDesign.height();
        int x = m_design.x(), w = m_design.width();
        if (m_anchors.right && m_anchors.left)
            w += dw;
        else if (m_anchors.right)
            x += dw;
        else if (!m_anchors.left)
            x += dw / 2;
        int y = m_design.y(), h = m_design.height();
        if (m_anchors.bottom && m_anchors.top)
            h += dh;
        else if (m_anchors.bottom)
            y += dh;
        else if (!m_anchors.top)
            y += dh / 2;
        if (m_span) {
            if (m_anchors.right && !m_anchors.left)
                x += w - *m_span;
            w = *m_span;
        }
        m_geometry = QRect(parentNow.x() + x, parentNow.y() + y, std::max(w, 0), std::max(h, 0));
    }
    for (SkinObject* child : m_children)
        child->layout(m_geometry);
}

std::optional<QColor> parseFillColour(const QString& text)
{
    const QStringList parts = text.split(' ', Qt::SkipEmptyParts);
    if (parts.size() < 2 || parts.size() > 3 || parts[0].compare("BgColor", Qt::CaseInsensitive) != 0)
        return std::nullopt;
    if (parts.size() == 3 && parts[2] != "-")
        return std::nullopt;
    bool ok = false;
    const qlonglong value = parts[1].toLongLong(&ok);
    if (!ok || value < 0 || value > 0xFFFFFF)
        return std::nullopt;
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

} // namespace pellucor
