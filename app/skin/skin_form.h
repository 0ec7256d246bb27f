// SkinForm: a widget that paints a skin and turns the mouse into events of its skin objects.
//
// Painting: every visible object, parent before children and earlier siblings before later
// ones, each clipped to its parent; an object shows its plain fill or its bitmap (scaled to its
// rectangle), then its picture cut-out, then its text.
//
// Mouse: the object under the pointer is the top-most visible one (the last painted that
// contains the point). The form raises, for the left and the other buttons alike:
//   MouseIn(obj) when the pointer enters obj, MouseOut(obj) when it leaves it;
//   MouseDown(obj, button, x, y) on a press; MouseUp(obj, button, x, y) on the release, for the
//   object that was pressed (it gets its release even when the pointer has moved off it);
//   ObjectClick(obj) after MouseUp when a left press and its release fall on the same object.
// So a click on a button gives In, Down, Up, ObjectClick and, when the pointer leaves, Out.
// Buttons are 1 left, 2 right, 4 middle. The coordinates are form pixels.
//
// Window chrome: after the click events, an object whose action is Minimize, Maximize or Close
// does that to the window; dragging an object whose action is Move moves the window.
// Tooltips show the hint text of the object under the pointer.
//
// Layout: the skin's objects follow the form's size through their anchors; widgets placed with
// hostWidget() sit over their object and follow it.
//
// UI thread only. Objects and their pointers stay valid until the next SetSkinFile.
#pragma once

#include "app/skin/skin_document.h"

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

namespace pellucor {

class SkinForm : public QWidget
{
    Q_OBJECT

public:
    explicit SkinForm(QWidget* parent = nullptr);
    ~SkinForm() override;

    // Loads the skin file and repaints. A missing or broken file gives the plain fallback look
    // (and a message on standard error); it never throws.
    void SetSkinFile(const QString& path);
    QString SkinFile() const { return m_skinFile; }

    SkinObject& RootObject() { return m_document->root(); }
    const SkinDocument& document() const { return *m_document; }

    // Puts `widget` (made a child of this form) over the object `objectName` and keeps it there
    // as the form resizes. False when the skin has no such object (the widget is then hidden).
    bool hostWidget(const QString& objectName, QWidget* widget);

    QSize sizeHint() const override;

    // The object at a form position, or nullptr.
    SkinObject* objectAt(QPoint pos);

signals:
    void MouseIn(pellucor::SkinObject* object);
    void MouseOut(pellucor::SkinObject* object);
    void MouseDown(pellucor::SkinObject* object, int button, int x, int y);
    void MouseUp(pellucor::SkinObject* object, int button, int x, int y);
    void ObjectClick(pellucor::SkinObject* object);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    struct Hosted
    {
        QString objectName;
        QPointer<QWidget> widget;
    };

    void attach(std::unique_ptr<SkinDocument> document);
    void relayout();
    void paintObject(class QPainter& painter, const SkinObject& object, const QRect& clip);
    void setHover(SkinObject* object);
    void updateCursor();
    void runAction(SkinObject* object);
    void forgetObjects();

    QString m_skinFile;
    std::unique_ptr<SkinDocument> m_document;
    std::vector<Hosted> m_hosted;
    SkinObject* m_hover = nullptr;
    SkinObject* m_pressed = nullptr;
    Qt::MouseButton m_pressedButton = Qt::NoButton;
    bool m_moved = false;
    std::uint64_t m_generation = 0; // moves on when the objects are replaced
    QPoint m_moveStart;             // global pointer position at the press
    QPoint m_windowStart;           // window position at the press
};

} // namespace pellucor
