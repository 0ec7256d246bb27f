// Skin objects: the named parts of a skinned window (buttons, lamps, text lines, frames, groups).
//
// A skin is a tree of objects read from a skin file (skin_document.h). The windows reach an
// object by name from the root (`FindObject`) and change what it shows: its bitmap, a plain
// colour fill, a picture cut-out, its text and font, its hint, its transparency and a layout
// span. Each change asks the owning form to repaint. Both name sets that the windows use are
// offered: `Transparency`/`Level`, `HintText`/`Hint`, `Offset`/`Span`.
//
// Bitmaps are looked up by name first among the object's own images (so every button can have
// its own "Main.bmp" and "Down.bmp"), then among the skin's shared images. A bitmap text of the
// form "BgColor <n> -" fills the object with the colour value n (red in the low byte, then green,
// then blue, as the windows write it: 255 is pure red, 0 black).
//
// UI thread only: objects belong to the form that shows them.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QRect>
#include <QString>

#include <map>
#include <optional>
#include <stdexcept>
#include <vector>

namespace pellucor {

class SkinDocument;

// Raised by `FindObject` for a name the skin does not hold; the windows' handlers catch it.
class SkinError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// What a click on the object does to the window besides raising the click event.
enum class SkinAction
{
    None,
    Move, // a caption area: dragging it moves the window
    Minimize,
    Maximize, // maximise, or restore when maximised
    Close,
};

// Edges of the parent that the object follows when the window is resized.
struct SkinAnchors
{
    bool left = true;
    bool top = true;
    bool right = false;
    bool bottom = false;
};

class SkinObject
{
public:
    SkinObject(SkinDocument* document, QString name, SkinObject* parent);
    SkinObject(const SkinObject&) = delete;
    SkinObject& operator=(const SkinObject&) = delete;

    // The descendant (children, their children, ...) whose name equals `name` exactly.
    // Throws SkinError when there is none.
    SkinObject& FindObject(const QString& name);
    // Same, without the error: nullptr when there is none.
    SkinObject* findDescendant(const QString& name);

    const QString& Name() const { return m_name; }

    const QString& Text() const { return m_text; }
    void SetText(const QString& text);

    QFont Font() const { return m_font; }
    void SetFont(const QFont& font);

    // A bitmap name of the skin, or "BgColor <n> -" for a plain fill. An unknown name is kept
    // (BitmapName returns it) and shows nothing.
    void SetBitmap(const QString& name);
    const QString& BitmapName() const { return m_bitmapName; }
    void SetBitmapName(const QString& name) { SetBitmap(name); }

    // A bitmap drawn over the object, cut out by PictureRect ("left top width height").
    // The empty text clears it (and its rectangle).
    void SetPicture(const QString& name);
    void SetPictureRect(const QString& rect);
    const QString& PictureName() const { return m_picture; }

    int Width() const { return m_geometry.width(); }
    int Height() const { return m_geometry.height(); }

    // 0 shows the object, 255 hides it (with everything inside it); values between blend.
    void SetTransparency(int value);
    void SetLevel(int value) { SetTransparency(value); }
    int Transparency() const { return m_transparency; }

    void SetHintText(const QString& text);
    void SetHint(const QString& text) { SetHintText(text); }
    const QString& HintText() const { return m_hint; }

    // 18 marks an object that acts on a click (a hand pointer over it); other values a plain
    // one. The windows put 18 and 2.
    void SetStyleCode(int code);
    int StyleCode() const { return m_styleCode; }

    // The width of a group, in skin pixels. A group tied to its parent's right edge keeps that
    // edge, so a smaller span cuts off its left part; what lies outside a group is not shown.
    void SetOffset(int span);
    void SetSpan(int span) { SetOffset(span); }
    int Span() const { return m_span.value_or(m_design.width()); }

    // ---- used by the skin reader and the form ----
    SkinObject* parent() const { return m_parent; }
    const std::vector<SkinObject*>& children() const { return m_children; }
    bool visible() const { return m_transparency < 255; }
    // Where the object is now, in form coordinates.
    QRect geometry() const { return m_geometry; }
    SkinAction action() const { return m_action; }

    void setDesign(QRect rect, SkinAnchors anchors);
    QRect design() const { return m_design; }
    void setAction(SkinAction action) { m_action = action; }
    void setTextStyle(QColor colour, Qt::Alignment alignment);
    QColor textColour() const { return m_textColour; }
    Qt::Alignment alignment() const { return m_alignment; }
    void addImage(const QString& name, QImage image);
    // The image that a bitmap name stands for (own images first, then the skin's), or null.
    const QImage* image(const QString& name) const;
    const QImage* shownImage() const { return image(m_bitmapName); }
    std::optional<QColor> fill() const { return m_fill; }
    QRect pictureRect() const { return m_pictureRect; }
    // Places the object (and its subtree) inside a parent shown at `parentNow`.
    void layout(QRect parentNow);
    bool hasImage(const QString& name) const { return m_images.count(name) != 0; }

private:
    void addChild(SkinObject* child) { m_children.push_back(child); }
    void changed();

    SkinDocument* m_document;
    QString m_name;
    SkinObject* m_parent;
    std::vector<SkinObject*> m_children;

    QRect m_design; // relative to the parent's design rectangle
    SkinAnchors m_anchors;
    QRect m_geometry;
    SkinAction m_action = SkinAction::None;

    std::map<QString, QImage> m_images;
    QString m_bitmapName;
    std::optional<QColor> m_fill;
    QString m_picture;
    QRect m_pictureRect;

    QString m_text;
    QFont m_font;
    QColor m_textColour = Qt::black;
    Qt::Alignment m_alignment = Qt::AlignLeft | Qt::AlignVCenter;

    int m_transparency = 0;
    QString m_hint;
    int m_styleCode = 0;
    std::optional<int> m_span;
};

// "BgColor <n> -" as the windows write it: the colour, or nothing when the text is no such fill.
std::optional<QColor> parseFillColour(const QString& text);

} // namespace pellucor
