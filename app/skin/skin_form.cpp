#include "app/skin/skin_form.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

namespace pellucor {

namespace {

int buttonCode(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton:
        return 1;
    case Qt::RightButton:
        return 2;
    case Qt::MiddleButton:
        return 4;
    default:
        return 0;
    }
}

bool shownWithAncestors(const SkinObject* object)
{
    for (; object; object = object->parent())
        if (!object->visible())
            return false;
    return true;
}

// The last object painted that contains `pos`: children are painted after their parent and
// later siblings after earlier ones, so the search goes through children backwards first.
SkinObject* topMostAt(SkinObject* object, QPoint pos)
{
    if (!object->visible() || !object->geometry().contains(pos))
        return nullptr;
    const auto& children = object->children();
    for (auto it = children.rbegin(); it != children.rend(); ++it)
        if (SkinObject* hit = topMostAt(*it, pos))
            return hit;
    return object;
}

} // namespace

SkinForm::SkinForm(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    attach(std::make_unique<SkinDocument>());
}

SkinForm::~SkinForm()
{
    if (m_document)
        m_document->setOnChange({});
}

void SkinForm::SetSkinFile(const QString& path)
{
    m_skinFile = path;
    attach(SkinDocument::load(path.toStdString()));
}

void SkinForm::forgetObjects()
{
    m_hover = nullptr;
    m_pressed = nullptr;
    m_pressedButton = Qt::NoButton;
    ++m_generation;
}

void SkinForm::attach(std::unique_ptr<SkinDocument> document)
{
    forgetObjects();
    if (m_document)
        m_document->setOnChange({});
    m_document = std::move(document);
    m_document->setOnChange([this](const QRect& area, bool relayoutNeeded) {
        if (relayoutNeeded) {
            relayout();
            update();
            return;
        }
        updateCursor();
        if (area.isValid())
            update(area);
    });
    relayout();
    updateGeometry();
    update();
}

QSize SkinForm::sizeHint() const
{
    return m_document->designSize();
}

void SkinForm::relayout()
{
    m_document->root().layout(rect());
    for (Hosted& h : m_hosted) {
        if (!h.widget)
            continue;
        SkinObject* object = m_document->root().Name() == h.objectName
                                 ? &m_document->root()
                                 : m_document->root().findDescendant(h.objectName);
        if (!object) {
            h.widget->hide();
            continue;
        }
        h.widget->setGeometry(object->geometry());
        h.widget->setVisible(shownWithAncestors(object));
    }
}

bool SkinForm::hostWidget(const QString& objectName, QWidget* widget)
{
    widget->setParent(this);
    m_hosted.push_back(Hosted{objectName, widget});
    relayout();
    SkinObject* object = m_document->root().Name() == objectName
                             ? &m_document->root()
                             : m_document->root().findDescendant(objectName);
    return object != nullptr;
}

SkinObject* SkinForm::objectAt(QPoint pos)
{
    return topMostAt(&m_document->root(), pos);
}

void SkinForm::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    relayout();
}

void SkinForm::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.fillRect(event->rect(), palette().window());
    paintObject(painter, m_document->root(), rect());
}

void SkinForm::paintObject(QPainter& painter, const SkinObject& object, const QRect& clip)
{
    if (!object.visible())
        return;
    const QRect area = object.geometry();
    const QRect inside = area & clip;
    if (inside.isEmpty())
        return;
    painter.save();
    painter.setClipRect(inside);
    painter.setOpacity(painter.opacity() * (255 - object.Transparency()) / 255.0);
    if (auto fill = object.fill()) {
        painter.fillRect(area, *fill);
    } else if (const QImage* image = object.shownImage()) {
        painter.drawImage(QRectF(area), *image);
    }
    if (const QImage* picture = object.image(object.PictureName())) {
        const qreal scale = picture->devicePixelRatio();
        QRect source = object.pictureRect();
        if (!source.isValid())
            source = QRect(QPoint(0, 0), picture->deviceIndependentSize().toSize());
        const QRectF target(area.topLeft(), source.size());
        const QRectF sourcePixels(source.x() * scale, source.y() * scale, source.width() * scale,
                                  source.height() * scale);
        painter.drawImage(target, *picture, sourcePixels);
    }
    if (!object.Text().isEmpty()) {
        painter.setFont(object.Font());
        painter.setPen(object.textColour());
        painter.drawText(area.adjusted(2, 0, -2, 0), int(object.alignment()), object.Text());
    }
    for (const SkinObject* child : object.children())
        paintObject(painter, *child, inside);
    painter.restore();
}

void SkinForm::updateCursor()
{
    if (m_hover && m_hover->StyleCode() == 18)
        setCursor(Qt::PointingHandCursor);
    else
        unsetCursor();
}

void SkinForm::setHover(SkinObject* object)
{
    if (object == m_hover)
        return;
    QPointer<SkinForm> self(this);
    const auto generation = m_generation;
    SkinObject* old = m_hover;
    m_hover = object;
    updateCursor();
    if (old)
        emit MouseOut(old);
    if (!self || generation != m_generation)
        return;
    if (object)
        emit MouseIn(object);
}

void SkinForm::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (m_pressed && m_pressed->action() == SkinAction::Move && (event->buttons() & Qt::LeftButton)) {
        const QPoint delta = event->globalPosition().toPoint() - m_moveStart;
        if (m_moved || delta.manhattanLength() >= 3) {
            m_moved = true;
            window()->move(m_windowStart + delta);
        }
        return;
    }
    setHover(objectAt(pos));
}

void SkinForm::mousePressEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    setHover(objectAt(pos));
    SkinObject* object = m_hover;
    if (!object || m_pressed)
        return;
    m_pressed = object;
    m_pressedButton = event->button();
    m_moved = false;
    m_moveStart = event->globalPosition().toPoint();
    m_windowStart = window()->pos();
    emit MouseDown(object, buttonCode(event->button()), pos.x(), pos.y());
}

void SkinForm::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_pressed || event->button() != m_pressedButton)
        return;
    const QPoint pos = event->position().toPoint();
    SkinObject* pressed = m_pressed;
    const bool moved = m_moved;
    m_pressed = nullptr;
    m_pressedButton = Qt::NoButton;
    m_moved = false;

    QPointer<SkinForm> self(this);
    const auto generation = m_generation;
    emit MouseUp(pressed, buttonCode(event->button()), pos.x(), pos.y());
    if (!self || generation != m_generation)
        return;
    SkinObject* under = objectAt(pos);
    if (event->button() == Qt::LeftButton && under == pressed && !moved) {
        emit ObjectClick(pressed);
        if (!self || generation != m_generation)
            return;
        runAction(pressed);
        if (!self || generation != m_generation)
            return;
    }
    setHover(objectAt(pos));
}

void SkinForm::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    if (!m_pressed)
        setHover(nullptr);
}

void SkinForm::runAction(SkinObject* object)
{
    QWidget* win = window();
    switch (object->action()) {
    case SkinAction::Minimize:
        win->showMinimized();
        break;
    case SkinAction::Maximize:
        if (win->isMaximized())
            win->showNormal();
        else
            win->showMaximized();
        break;
    case SkinAction::Close:
        win->close();
        break;
    case SkinAction::None:
    case SkinAction::Move:
        break;
    }
}

bool SkinForm::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        SkinObject* object = objectAt(help->pos());
        if (object && !object->HintText().isEmpty())
            QToolTip::showText(help->globalPos(), object->HintText(), this, object->geometry());
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}

} // namespace pellucor
