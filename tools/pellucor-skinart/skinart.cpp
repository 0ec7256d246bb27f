// pellucor-skinart: draws the program's skins and writes them into a language folder.
//
//   pellucor-skinart OUTDIR
//
// Writes english_1.skn (control panel), english_2.skn (camera windows), Bar.skn (colour bar),
// cam.skn (pane frame), their PNG images in one folder per skin, the tool set english.atb and
// the button tables english_2.ini and english_3.ini whose object and bitmap names the skins
// carry. Everything is drawn here with QPainter: the layout tables below are the one source of
// the object names, places and pictures.
//
// Images are drawn at twice the layout's pixel density ("Scale=2" in the skin), so the skins
// stay sharp on a screen at 200% and are smoothly reduced at 100%.
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTextStream>

#include <cstdio>
#include <functional>
#include <map>
#include <vector>

namespace {

constexpr int kScale = 2;
const QString kFont = QStringLiteral("DejaVu Sans");

// ---------------------------------------------------------------- palette
const QColor kPanelTop(0x2c, 0x36, 0x42), kPanelBottom(0x1b, 0x22, 0x2b), kEdge(0x5b, 0x6c, 0x7e);
const QColor kCaptionTop(0x3f, 0x4e, 0x60), kCaptionBottom(0x2b, 0x37, 0x45);
const QColor kText(0xe9, 0xef, 0xf5), kDimText(0x8d, 0x99, 0xa6);
const QColor kAccent(0x3d, 0x9b, 0xe9), kLcd(0x0c, 0x1d, 0x22), kLcdText(0x8c, 0xf0, 0xc8);

using Draw = std::function<void(QPainter&, QRectF)>;

QImage canvas(QSize logical)
{
    QImage image(logical * kScale, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

QImage render(QSize logical, const Draw& draw)
{
    QImage image = canvas(logical);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.scale(kScale, kScale);
    draw(p, QRectF(QPointF(0, 0), QSizeF(logical)));
    return image;
}

QFont font(qreal points, bool bold = false, bool italic = false)
{
    QFont f(kFont);
    f.setPointSizeF(points);
    f.setBold(bold);
    f.setItalic(italic);
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

// ---------------------------------------------------------------- buttons
enum class Look
{
    Main,
    Over,
    Down,
    Gray,
    Dark,
};

void buttonBody(QPainter& p, QRectF r, Look look, qreal radius = 4)
{
    QColor top, bottom, border;
    switch (look) {
    case Look::Main:
        top = QColor(0x4d, 0x5e, 0x72), bottom = QColor(0x37, 0x45, 0x55), border = QColor(0x6f, 0x82, 0x97);
        break;
    case Look::Over:
        top = QColor(0x5f, 0x77, 0x92), bottom = QColor(0x45, 0x58, 0x6d), border = kAccent;
        break;
    case Look::Down:
        top = QColor(0x1f, 0x5e, 0x92), bottom = QColor(0x2b, 0x7c, 0xbf), border = QColor(0x7c, 0xc0, 0xf7);
        break;
    case Look::Gray:
        top = QColor(0x3a, 0x40, 0x47), bottom = QColor(0x33, 0x38, 0x3e), border = QColor(0x4a, 0x50, 0x57);
        break;
    case Look::Dark:
        top = QColor(0x24, 0x29, 0x2f), bottom = QColor(0x20, 0x24, 0x29), border = QColor(0x33, 0x38, 0x3e);
        break;
    }
    const QRectF body = r.adjusted(0.5, 0.5, -0.5, -0.5);
    QLinearGradient g(body.topLeft(), body.bottomLeft());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.setPen(QPen(border, 1));
    p.setBrush(g);
    p.drawRoundedRect(body, radius, radius);
}

QColor glyphColour(Look look)
{
    switch (look) {
    case Look::Gray:
        return QColor(0x6c, 0x74, 0x7d);
    case Look::Dark:
        return QColor(0x45, 0x4b, 0x52);
    default:
        return kText;
    }
}

Draw textButton(const QString& caption, Look look, qreal points = 8.5)
{
    return [=](QPainter& p, QRectF r) {
        buttonBody(p, r, look);
        p.setFont(font(points, true));
        p.setPen(glyphColour(look));
        p.drawText(r.translated(0, look == Look::Down ? 0.5 : 0), Qt::AlignCenter, caption);
    };
}

using Glyph = std::function<void(QPainter&, QRectF, QColor)>;

Draw glyphButton(const Glyph& glyph, Look look, qreal radius = 3)
{
    return [=](QPainter& p, QRectF r) {
        buttonBody(p, r, look, radius);
        glyph(p, r, glyphColour(look));
    };
}

// ---------------------------------------------------------------- glyphs (drawn in the button box)
QPen stroke(QColor c, qreal w = 1.6)
{
    QPen pen(c, w);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

QRectF inner(QRectF r, qreal margin)
{
    return r.adjusted(margin, margin, -margin, -margin);
}

void triangle(QPainter& p, QRectF r, QColor c, int direction) // 0 up, 1 right, 2 down, 3 left
{
    const QRectF b = inner(r, r.height() * 0.28);
    QPolygonF t;
    switch (direction) {
    case 0:
        t << QPointF(b.center().x(), b.top()) << b.bottomRight() << b.bottomLeft();
        break;
    case 1:
        t << b.topLeft() << QPointF(b.right(), b.center().y()) << b.bottomLeft();
        break;
    case 2:
        t << b.topLeft() << b.topRight() << QPointF(b.center().x(), b.bottom());
        break;
    default:
        t << b.topRight() << QPointF(b.left(), b.center().y()) << b.bottomRight();
        break;
    }
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPolygon(t);
}

void homeGlyph(QPainter& p, QRectF r, QColor c)
{
    const QRectF b = inner(r, r.height() * 0.26);
    QPainterPath path;
    path.moveTo(b.left(), b.center().y());
    path.lineTo(b.center().x(), b.top());
    path.lineTo(b.right(), b.center().y());
    path.moveTo(b.left() + b.width() * 0.18, b.center().y() - 1);
    path.lineTo(b.left() + b.width() * 0.18, b.bottom());
    path.lineTo(b.right() - b.width() * 0.18, b.bottom());
    path.lineTo(b.right() - b.width() * 0.18, b.center().y() - 1);
    p.setPen(stroke(c));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
}

void circularArrow(QPainter& p, QRectF r, QColor c, qreal margin)
{
    const QRectF b = inner(r, margin);
    p.setPen(stroke(c));
    p.setBrush(Qt::NoBrush);
    p.drawArc(b, 60 * 16, 280 * 16);
    // arrow head at the start of the arc (60 degrees)
    const QPointF tip(b.center().x() + b.width() / 2 * 0.5, b.center().y() - b.height() / 2 * 0.866);
    QPolygonF head;
    head << tip + QPointF(-3.2, -2.2) << tip + QPointF(1.2, 1.8) << tip + QPointF(-3.6, 2.4);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPolygon(head);
}

Glyph minimiseGlyph = [](QPainter& p, QRectF r, QColor c) {
    p.setPen(stroke(c, 1.8));
    p.drawLine(QPointF(r.left() + r.width() * 0.3, r.bottom() - r.height() * 0.32),
               QPointF(r.right() - r.width() * 0.3, r.bottom() - r.height() * 0.32));
};
Glyph maximiseGlyph = [](QPainter& p, QRectF r, QColor c) {
    p.setPen(stroke(c, 1.4));
    p.setBrush(Qt::NoBrush);
    p.drawRect(inner(r, r.height() * 0.3));
};
Glyph closeGlyph = [](QPainter& p, QRectF r, QColor c) {
    const QRectF b = inner(r, r.height() * 0.32);
    p.setPen(stroke(c, 1.8));
    p.drawLine(b.topLeft(), b.bottomRight());
    p.drawLine(b.topRight(), b.bottomLeft());
};
Glyph pinGlyph = [](QPainter& p, QRectF r, QColor c) { // on top: a pin
    const QRectF b = inner(r, r.height() * 0.24);
    p.setPen(stroke(c, 1.4));
    p.setBrush(c);
    p.drawEllipse(QRectF(b.center().x() - 3, b.top(), 6, 6));
    p.drawLine(QPointF(b.center().x(), b.top() + 6), QPointF(b.center().x(), b.bottom()));
};
Glyph panelGlyph = [](QPainter& p, QRectF r, QColor c) { // wake up the control panel
    const QRectF b = inner(r, r.height() * 0.25);
    p.setPen(stroke(c, 1.3));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(b, 1.5, 1.5);
    p.setBrush(c);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 3; ++i)
        p.drawEllipse(QPointF(b.left() + b.width() * (0.25 + 0.25 * i), b.center().y()), 1.2, 1.2);
};
Glyph listGlyph = [](QPainter& p, QRectF r, QColor c) { // event list
    const QRectF b = inner(r, r.height() * 0.27);
    p.setPen(stroke(c, 1.4));
    for (int i = 0; i < 3; ++i) {
        const qreal y = b.top() + b.height() * (0.1 + 0.4 * i);
        p.drawLine(QPointF(b.left(), y), QPointF(b.right(), y));
    }
};
Glyph zoomGlyph = [](QPainter& p, QRectF r, QColor c) {
    const QRectF b = inner(r, r.height() * 0.22);
    const QRectF lens(b.left(), b.top(), b.width() * 0.64, b.height() * 0.64);
    p.setPen(stroke(c, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(lens);
    p.drawLine(lens.bottomRight() - QPointF(1, 1), b.bottomRight());
};
Glyph colourGlyph = [](QPainter& p, QRectF r, QColor c) { // brightness/contrast: half-filled disc
    const QRectF b = inner(r, r.height() * 0.24);
    p.setPen(stroke(c, 1.3));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(b);
    QPainterPath half;
    half.moveTo(b.center());
    half.arcTo(b, 90, 180);
    half.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPath(half);
};
Glyph cameraGlyph = [](QPainter& p, QRectF r, QColor c) { // snapshot
    const QRectF b = inner(r, r.height() * 0.22);
    const QRectF body(b.left(), b.top() + b.height() * 0.22, b.width(), b.height() * 0.7);
    p.setPen(stroke(c, 1.3));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(body, 1.5, 1.5);
    p.drawEllipse(body.center(), body.height() * 0.28, body.height() * 0.28);
    p.drawLine(QPointF(body.left() + body.width() * 0.3, body.top()),
               QPointF(body.left() + body.width() * 0.4, b.top()));
    p.drawLine(QPointF(body.left() + body.width() * 0.4, b.top()),
               QPointF(body.left() + body.width() * 0.6, b.top()));
    p.drawLine(QPointF(body.left() + body.width() * 0.6, b.top()),
               QPointF(body.left() + body.width() * 0.7, body.top()));
};
Glyph rotateGlyph = [](QPainter& p, QRectF r, QColor c) { circularArrow(p, r, c, r.height() * 0.26); };
Glyph speakerGlyph = [](QPainter& p, QRectF r, QColor c) {
    const QRectF b = inner(r, r.height() * 0.24);
    QPolygonF cone;
    cone << QPointF(b.left(), b.top() + b.height() * 0.35)
         << QPointF(b.left() + b.width() * 0.25, b.top() + b.height() * 0.35)
         << QPointF(b.left() + b.width() * 0.55, b.top()) << QPointF(b.left() + b.width() * 0.55, b.bottom())
         << QPointF(b.left() + b.width() * 0.25, b.top() + b.height() * 0.65)
         << QPointF(b.left(), b.top() + b.height() * 0.65);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPolygon(cone);
    p.setPen(stroke(c, 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawArc(
        QRectF(b.left() + b.width() * 0.35, b.top() + b.height() * 0.2, b.width() * 0.5, b.height() * 0.6),
        -50 * 16, 100 * 16);
};
Glyph noSpeakerGlyph = [](QPainter& p, QRectF r, QColor c) {
    speakerGlyph(p, r, c);
    const QRectF b = inner(r, r.height() * 0.24);
    p.setPen(stroke(QColor(0xd9, 0x53, 0x4f), 1.5));
    p.drawLine(b.topRight(), b.bottomLeft());
};
Glyph swingGlyph = [](QPainter& p, QRectF r, QColor c) {
    const QRectF b = inner(r, r.height() * 0.3);
    p.setPen(stroke(c, 1.5));
    p.drawLine(QPointF(b.left(), b.center().y()), QPointF(b.right(), b.center().y()));
    triangle(p, QRectF(b.left() - 4, b.center().y() - 5, 10, 10), c, 3);
    triangle(p, QRectF(b.right() - 6, b.center().y() - 5, 10, 10), c, 1);
};

// ---------------------------------------------------------------- skin model
struct Object
{
    QString name;
    QString parent;
    QRect rect;
    QString anchor;
    QString action;
    QString bitmap;
    QString text;
    int fontSize = 0;
    bool bold = false;
    bool italic = false;
    QString textColour;
    QString align;
    QString hint;
    std::vector<std::pair<QString, QImage>> images;
};

// An object with only a place (and perhaps a plain fill); the rest is filled in by the caller.
Object area(const QString& name, const QString& parent, QRect rect, const QString& anchor = {},
            const QString& bitmap = {})
{
    Object o;
    o.name = name;
    o.parent = parent;
    o.rect = rect;
    o.anchor = anchor;
    o.bitmap = bitmap;
    return o;
}

struct Skin
{
    QString file;   // e.g. "english_1.skn"
    QString folder; // image folder beside it
    QSize size;
    QString comment;
    std::vector<std::pair<QString, QString>> extraSkinKeys;
    std::vector<std::pair<QString, QString>> labelKeys;
    std::vector<Object> objects;

    Object& add(Object o)
    {
        objects.push_back(std::move(o));
        return objects.back();
    }
};

QString imageFileName(const QString& object, const QString& bitmap)
{
    QString base = object.toLower() + "-" + QString(bitmap).remove(".bmp").toLower();
    base.replace(' ', '_');
    return base + ".png";
}

bool writeSkin(const QDir& out, const Skin& skin)
{
    QDir folder(out.filePath(skin.folder));
    if (!folder.exists() && !out.mkpath(skin.folder))
        return false;
    QFile f(out.filePath(skin.file));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QTextStream s(&f);
    s << "; " << skin.comment << "\n; Drawn by tools/pellucor-skinart; see SKINS.txt for the format.\n\n";
    s << "[Skin]\nWidth=" << skin.size.width() << "\nHeight=" << skin.size.height()
      << "\nImages=" << skin.folder << "\nScale=" << kScale << "\nFont=" << kFont
      << "\nFontSize=9\nTextColor=" << kText.name() << "\n";
    for (const auto& [k, v] : skin.extraSkinKeys)
        s << k << "=" << v << "\n";
    if (!skin.labelKeys.empty()) {
        s << "\n[Label]\n";
        for (const auto& [k, v] : skin.labelKeys)
            s << k << "=" << v << "\n";
    }
    for (const Object& o : skin.objects) {
        s << "\n[" << o.name << "]\n";
        if (!o.parent.isEmpty())
            s << "Parent=" << o.parent << "\n";
        if (!o.parent.isEmpty() || o.rect.isValid())
            s << "Rect=" << o.rect.x() << " " << o.rect.y() << " " << o.rect.width() << " " << o.rect.height()
              << "\n";
        if (!o.anchor.isEmpty())
            s << "Anchor=" << o.anchor << "\n";
        if (!o.action.isEmpty())
            s << "Action=" << o.action << "\n";
        for (const auto& [name, image] : o.images) {
            const QString file = imageFileName(o.name, name);
            if (!image.save(folder.filePath(file), "PNG"))
                return false;
            s << "Image." << name << "=" << file << "\n";
        }
        if (!o.bitmap.isEmpty())
            s << "Bitmap=" << o.bitmap << "\n";
        if (!o.text.isEmpty())
            s << "Text=" << o.text << "\n";
        if (o.fontSize)
            s << "FontSize=" << o.fontSize << "\n";
        if (o.bold)
            s << "Bold=-1\n";
        if (o.italic)
            s << "Italic=-1\n";
        if (!o.textColour.isEmpty())
            s << "TextColor=" << o.textColour << "\n";
        if (!o.align.isEmpty())
            s << "Align=" << o.align << "\n";
        if (!o.hint.isEmpty())
            s << "Hint=" << o.hint << "\n";
    }
    return f.flush();
}

// The four pictures of an ordinary button, under the names the button tables use.
void addButtonImages(Object& o, const std::function<Draw(Look)>& draw, bool withDark = false)
{
    const QSize size = o.rect.size();
    o.images.emplace_back("Main.bmp", render(size, draw(Look::Main)));
    o.images.emplace_back("Over.bmp", render(size, draw(Look::Over)));
    o.images.emplace_back("Down.bmp", render(size, draw(Look::Down)));
    o.images.emplace_back("Gray.bmp", render(size, draw(Look::Gray)));
    if (withDark)
        o.images.emplace_back("Dark.bmp", render(size, draw(Look::Dark)));
    o.bitmap = "Main.bmp";
}

Object button(const QString& name, const QString& parent, QRect rect, const QString& caption,
              qreal points = 8.5)
{
    Object o = area(name, parent, rect);
    addButtonImages(o, [&](Look look) { return textButton(caption, look, points); });
    return o;
}

Object glyph(const QString& name, const QString& parent, QRect rect, const Glyph& g,
             const QString& anchor = {}, bool withDark = false)
{
    Object o = area(name, parent, rect, anchor);
    addButtonImages(
        o, [&](Look look) { return glyphButton(g, look); }, withDark);
    return o;
}

Object text(const QString& name, const QString& parent, QRect rect, int points, const QString& colour,
            const QString& align = {}, bool bold = false)
{
    Object o = area(name, parent, rect);
    o.fontSize = points;
    o.bold = bold;
    o.textColour = colour;
    o.align = align;
    return o;
}

Object plain(const QString& name, const QString& parent, QRect rect, const Draw& draw,
             const QString& anchor = {})
{
    Object o = area(name, parent, rect, anchor);
    o.images.emplace_back("Main.bmp", render(rect.size(), draw));
    o.bitmap = "Main.bmp";
    return o;
}

// A background of the size of its object, for parts that stretch with the window: the image is
// scaled with the object, so it is kept free of detail that would smear.
Draw gradientFill(QColor top, QColor bottom, QColor edge = Qt::transparent)
{
    return [=](QPainter& p, QRectF r) {
        QLinearGradient g(r.topLeft(), r.bottomLeft());
        g.setColorAt(0, top);
        g.setColorAt(1, bottom);
        p.fillRect(r, g);
        if (edge.alpha() > 0) {
            p.setPen(QPen(edge, 1));
            p.setBrush(Qt::NoBrush);
            p.drawRect(r.adjusted(0.5, 0.5, -0.5, -0.5));
        }
    };
}

// ---------------------------------------------------------------- the control panel
Skin panelSkin()
{
    Skin skin{
        "english_1.skn", "english_1", QSize(560, 300), "Control panel skin of the English pack", {}, {}, {}};
    skin.add(plain("Panel", {}, QRect(0, 0, 560, 300), [](QPainter& p, QRectF r) {
        gradientFill(kPanelTop, kPanelBottom, kEdge)(p, r);
        p.setPen(QPen(QColor(255, 255, 255, 18), 1));
        p.drawLine(QPointF(1.5, 29.5), QPointF(r.width() - 1.5, 29.5));
    }));
    Object& caption = skin.add(plain("Caption", "Panel", QRect(1, 1, 558, 28), [](QPainter& p, QRectF r) {
        gradientFill(kCaptionTop, kCaptionBottom)(p, r);
        p.setPen(kAccent);
        p.setBrush(kAccent);
        p.drawEllipse(QRectF(10, 9, 10, 10));
        p.setFont(font(10.5, true));
        p.setPen(kText);
        p.drawText(QRectF(28, 0, 300, r.height()), Qt::AlignLeft | Qt::AlignVCenter, "Pellucor SE");
    }));
    caption.action = "Move";
    caption.anchor = "left top right";
    Object& min = skin.add(glyph("Min", "Caption", QRect(504, 4, 24, 20), minimiseGlyph, "right top"));
    min.action = "Minimize";
    Object& close = skin.add(glyph("Exit", "Caption", QRect(530, 4, 24, 20), closeGlyph, "right top"));
    close.action = "Close";

    // Cameras 1 to 4 with their three lamps (recording, motion, connected).
    const QColor lampColours[3] = {QColor(0xf0, 0x4a, 0x3e), QColor(0xf5, 0xb0, 0x2e),
                                   QColor(0x4c, 0xd9, 0x64)};
    for (int c = 1; c <= 4; ++c) {
        const int x = 14 + ((c - 1) % 2) * 66, y = 40 + ((c - 1) / 2) * 66;
        const QString digit = QString::number(c);
        Object cam = area("Cam" + digit, "Panel", QRect(x, y, 60, 42));
        addButtonImages(cam, [&](Look look) {
            return Draw([=](QPainter& p, QRectF r) {
                buttonBody(p, r, look, 5);
                const QColor c2 = glyphColour(look);
                p.setFont(font(17, true));
                p.setPen(c2);
                p.drawText(QRectF(r.left() + 6, r.top(), 24, r.height()), Qt::AlignCenter, digit);
                cameraGlyph(p, QRectF(r.left() + 28, r.top() + 9, 26, 24), c2);
            });
        });
        skin.add(std::move(cam));
        for (int k = 1; k <= 3; ++k) {
            Object led = area("Led" + digit + "-" + QString::number(k), "Panel",
                              QRect(x + 6 + (k - 1) * 18, y + 46, 12, 12));
            const QColor on = lampColours[k - 1];
            led.images.emplace_back("LedOff.bmp", render(led.rect.size(), [on](QPainter& p, QRectF r) {
                                        p.setPen(QPen(QColor(0x11, 0x14, 0x18), 1));
                                        p.setBrush(on.darker(420));
                                        p.drawEllipse(r.adjusted(1, 1, -1, -1));
                                    }));
            led.images.emplace_back("LedOn.bmp", render(led.rect.size(), [on](QPainter& p, QRectF r) {
                                        QRadialGradient g(r.center() - QPointF(1.5, 1.5), r.width() / 2);
                                        g.setColorAt(0, on.lighter(170));
                                        g.setColorAt(0.6, on);
                                        g.setColorAt(1, on.darker(130));
                                        p.setPen(QPen(on.darker(200), 1));
                                        p.setBrush(g);
                                        p.drawEllipse(r.adjusted(1, 1, -1, -1));
                                    }));
            led.bitmap = "LedOff.bmp";
            skin.add(std::move(led));
        }
    }

    // The display: current camera number and five text lines.
    skin.add(plain("Display", "Panel", QRect(150, 40, 252, 126), [](QPainter& p, QRectF r) {
        p.setPen(QPen(QColor(0x05, 0x0c, 0x0e), 1));
        QLinearGradient g(r.topLeft(), r.bottomLeft());
        g.setColorAt(0, kLcd.lighter(115));
        g.setColorAt(1, kLcd);
        p.setBrush(g);
        p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);
        p.setPen(QPen(QColor(0x1f, 0x3a, 0x40), 1));
        p.drawLine(QPointF(58.5, 10), QPointF(58.5, r.height() - 10));
    }));
    Object& id =
        skin.add(text("LineID", "Display", QRect(6, 10, 50, 80), 36, kLcdText.name(), "Center", true));
    id.italic = true;
    for (int i = 1; i <= 5; ++i)
        skin.add(text("Line" + QString::number(i), "Display", QRect(66, 6 + (i - 1) * 23, 182, 22), 9,
                      kLcdText.name()));
    skin.add(text("Time", "Panel", QRect(14, 276, 300, 18), 8, kDimText.name()));

    // The pan/tilt pad.
    skin.add(plain("PT-Pad", "Panel", QRect(414, 40, 132, 126), [](QPainter&, QRectF) {}));
    {
        Object& pad = skin.objects.back();
        pad.images.clear();
        auto padDraw = [](bool dark) {
            return Draw([dark](QPainter& p, QRectF r) {
                const QRectF disc(r.center().x() - 58, r.center().y() - 58, 116, 116);
                QRadialGradient g(disc.center(), 58);
                g.setColorAt(0, dark ? QColor(0x26, 0x2b, 0x31) : QColor(0x3a, 0x47, 0x56));
                g.setColorAt(1, dark ? QColor(0x1d, 0x21, 0x26) : QColor(0x25, 0x2e, 0x38));
                p.setPen(QPen(dark ? QColor(0x33, 0x38, 0x3e) : kEdge, 1));
                p.setBrush(g);
                p.drawEllipse(disc);
            });
        };
        pad.images.emplace_back("Main.bmp", render(pad.rect.size(), padDraw(false)));
        pad.images.emplace_back("Dark.bmp", render(pad.rect.size(), padDraw(true)));
        pad.bitmap = "Dark.bmp";
    }
    auto arrow = [](int direction) {
        return Glyph([direction](QPainter& p, QRectF r, QColor c) { triangle(p, r, c, direction); });
    };
    skin.add(glyph("PT-U", "PT-Pad", QRect(49, 9, 34, 30), arrow(0), {}, true));
    skin.add(glyph("PT-D", "PT-Pad", QRect(49, 87, 34, 30), arrow(2), {}, true));
    skin.add(glyph("PT-L", "PT-Pad", QRect(11, 48, 34, 30), arrow(3), {}, true));
    skin.add(glyph("PT-R", "PT-Pad", QRect(87, 48, 34, 30), arrow(1), {}, true));
    skin.add(glyph("PT-H", "PT-Pad", QRect(49, 48, 34, 30), homeGlyph, {}, true));
    skin.add(glyph("PT-S", "Panel", QRect(512, 142, 34, 24), swingGlyph, {}, true));
    for (const char* pad : {"PT-U", "PT-D", "PT-L", "PT-R", "PT-H", "PT-S"})
        for (Object& o : skin.objects)
            if (o.name == pad)
                o.bitmap = "Dark.bmp";

    // Action buttons: three rows of four.
    const char* rows[3][4][2] = {
        {{"Assign", "Assign"}, {"Connect", "Connect"}, {"Erase", "Erase"}, {"ExtInfo", "Details"}},
        {{"ManualRec", "Record"},
         {"ScheduleRec", "Schedule"},
         {"MotionRec", "Motion rec."},
         {"Scan", "Scan"}},
        {{"Combine", "Combine"}, {"Play", "Play"}, {"SysConf", "Settings"}, {"About", "About"}},
    };
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c)
            skin.add(button(rows[r][c][0], "Panel", QRect(14 + c * 80, 180 + r * 31, 76, 27), rows[r][c][1]));

    // The camera-configuration group. "Camera setup" is a switch that lights the three buttons
    // below it, not a menu: no menu arrow on it.
    skin.add(button("CamConf", "Panel", QRect(346, 180, 200, 27), "Camera setup"));
    const char* group[3][3] = {
        {"Web", "Web", "WebText"}, {"Motion", "Alerts", "MotionText"}, {"Update", "Firmware", "UpdateText"}};
    const char* labels[3] = {"Web page", "Motion alerts", "Firmware"};
    for (int i = 0; i < 3; ++i) {
        skin.add(button(group[i][0], "Panel", QRect(346 + i * 68, 211, 64, 27), group[i][1], 7.5));
        skin.add(text(group[i][2], "Panel", QRect(346 + i * 68, 240, 64, 16), 7, kDimText.name(), "Center"))
            .text = labels[i];
    }
    return skin;
}

// ---------------------------------------------------------------- the camera windows
Skin windowSkin()
{
    Skin skin{
        "english_2.skn", "english_2", QSize(328, 292), "Camera window skin of the English pack", {}, {}, {}};
    skin.add(plain("Frame", {}, QRect(0, 0, 328, 292), gradientFill(kPanelTop, kPanelBottom, kEdge)));
    Object& caption = skin.add(plain("Caption", "Frame", QRect(1, 1, 326, 25),
                                     gradientFill(kCaptionTop, kCaptionBottom), "left top right"));
    caption.action = "Move";
    Object& name = skin.add(text("ServerName", "Caption", QRect(7, 0, 150, 25), 9, kText.name(), {}, true));
    name.anchor = "left top";
    skin.add(text("MotionDetect", "Caption", QRect(160, 0, 66, 25), 8, "#f0a23e", {}, true));
    skin.add(glyph("OnTop", "Caption", QRect(234, 3, 20, 19), pinGlyph, "right top"));
    skin.add(glyph("Min", "Caption", QRect(258, 3, 20, 19), minimiseGlyph, "right top")).action = "Minimize";
    skin.add(glyph("Max", "Caption", QRect(280, 3, 20, 19), maximiseGlyph, "right top")).action = "Maximize";
    skin.add(glyph("Close", "Caption", QRect(302, 3, 20, 19), closeGlyph, "right top")).action = "Close";

    Object client = area("Client", "Frame", QRect(4, 26, 320, 240), "left top right bottom", "BgColor 0 -");
    skin.add(std::move(client));

    skin.add(plain("StatusBar", "Frame", QRect(1, 266, 326, 25), gradientFill(kCaptionBottom, kPanelBottom),
                   "left right bottom"));
    skin.add(glyph("WakeUp", "StatusBar", QRect(3, 3, 20, 19), panelGlyph));
    skin.add(glyph("Event", "StatusBar", QRect(25, 3, 20, 19), listGlyph));
    skin.add(glyph("Zoom", "StatusBar", QRect(47, 3, 20, 19), zoomGlyph));
    skin.add(text("IPAddress", "StatusBar", QRect(70, 0, 92, 25), 8, kText.name()));
    skin.add(text("Line", "StatusBar", QRect(162, 0, 46, 25), 8, kLcdText.name()));
    skin.add(text("Recording", "StatusBar", QRect(208, 0, 32, 25), 8, "#f04a3e", {}, true));
    Object set = area("LBtnSet", "StatusBar", QRect(240, 3, 84, 19), "right top");
    skin.add(std::move(set));
    skin.add(glyph("ColorCtl", "LBtnSet", QRect(0, 0, 20, 19), colourGlyph, "right top"));
    skin.add(glyph("Snapshot", "LBtnSet", QRect(21, 0, 20, 19), cameraGlyph, "right top"));
    skin.add(glyph("Rotate", "LBtnSet", QRect(42, 0, 20, 19), rotateGlyph, "right top"));
    Object& audio = skin.add(glyph("Audio", "LBtnSet", QRect(63, 0, 20, 19), speakerGlyph, "right top"));
    audio.images.emplace_back("None.bmp", render(audio.rect.size(), glyphButton(noSpeakerGlyph, Look::Gray)));
    audio.bitmap = "None.bmp";
    return skin;
}

Skin barSkin()
{
    Skin skin{"Bar.skn",
              "Bar",
              QSize(200, 84),
              "Colour bar: backdrop of the brightness, contrast and hue controls",
              {},
              {},
              {}};
    skin.labelKeys = {
        {"Transparent", "-1"}, {"TextColor", kText.name()}, {"FontSize", "8"}, {"Align", "Left"}};
    skin.add(plain("Bar", {}, QRect(0, 0, 200, 84), [](QPainter& p, QRectF r) {
        p.setPen(QPen(kEdge, 1));
        p.setBrush(QColor(0x1b, 0x22, 0x2b, 230));
        p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
    }));
    return skin;
}

Skin paneSkin()
{
    Skin skin{"cam.skn", "cam", QSize(160, 120), "Pane frame of the combined window", {}, {}, {}};
    Object root = area("Pane", {}, QRect(0, 0, 160, 120), {}, "BgColor 0 -");
    skin.add(std::move(root));
    auto edge = [&](const char* name, QRect r, const char* anchor) {
        Object o = area(name, "Pane", r, anchor, "BgColor 0 -");
        skin.add(std::move(o));
    };
    edge("Top", QRect(0, 0, 160, 3), "left top right");
    edge("Bottom", QRect(0, 117, 160, 3), "left right bottom");
    edge("Left", QRect(0, 0, 3, 120), "left top bottom");
    edge("Right", QRect(157, 0, 3, 120), "right top bottom");
    Object client = area("Client", "Pane", QRect(3, 3, 154, 114), "left top right bottom", "BgColor 0 -");
    skin.add(std::move(client));
    return skin;
}

// ---------------------------------------------------------------- button tables and tool set
struct Row
{
    QString name;
    QString bitmaps[7];
    QString hint;
    bool enableGray = false;
    QString extraKeys; // further "key=value" lines of the row's section
};

bool writeTable(const QDir& out, const QString& file, const QString& comment, const std::vector<Row>& rows,
                bool withGray)
{
    QFile f(out.filePath(file));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QTextStream s(&f);
    s << "; " << comment
      << "\n; Object and bitmap names match the skins drawn by tools/pellucor-skinart.\n\n";
    s << "[BtnName]\n";
    for (std::size_t i = 0; i < rows.size(); ++i)
        s << i << "=" << rows[i].name << "\n";
    s << "\n[BtnStr]\n";
    const char* keys[9] = {"Dark", "Normal", "Pressed", "Released", "Over",
                           "Gray", "Absent", "Hint",    "Picture"};
    for (int j = 0; j < 9; ++j)
        s << j << "=" << keys[j] << "\n";
    for (const Row& r : rows) {
        s << "\n[" << r.name << "]\n";
        for (int j = 0; j < 7; ++j)
            s << keys[j] << "=" << r.bitmaps[j] << "\n";
        s << "Hint=" << r.hint << "\nPicture=\n";
        if (withGray)
            s << "EnableGray=" << (r.enableGray ? "-1" : "0") << "\n";
        s << r.extraKeys;
    }
    return f.flush();
}

std::vector<Row> panelRows()
{
    auto plainRow = [](const QString& name, const QString& hint, bool gray = true) {
        return Row{name,
                   {"Main.bmp", "Main.bmp", "Down.bmp", "Main.bmp", "Over.bmp", "Gray.bmp", ""},
                   hint,
                   gray,
                   {}};
    };
    std::vector<Row> rows = {
        plainRow("Play", "Play a recording"),
        plainRow("SysConf", "System settings"),
        plainRow("About", "About Pellucor SE"),
        plainRow("Scan", "Show the cameras in turn"),
        plainRow("Combine", "Show all cameras in one window"),
        plainRow("Min", "Minimise"),
        plainRow("MotionRec", "Record on motion"),
        plainRow("ScheduleRec", "Record by schedule"),
        plainRow("ManualRec", "Record now"),
        plainRow("Assign", "Assign a camera to this slot"),
        plainRow("Connect", "Connect or disconnect the camera"),
        plainRow("Erase", "Remove the camera from this slot"),
        plainRow("ExtInfo", "Show the camera's details"),
        plainRow("Web", "Open the camera's web page"),
        plainRow("Motion", "Motion alert settings"),
        plainRow("Update", "Update the camera's firmware"),
    };
    for (int c = 1; c <= 4; ++c)
        rows.push_back(plainRow("Cam" + QString::number(c), "Camera " + QString::number(c)));
    const char* lampHints[3] = {"recording", "motion", "connected"};
    for (int c = 1; c <= 4; ++c)
        for (int k = 1; k <= 3; ++k)
            rows.push_back(Row{"Led" + QString::number(c) + "-" + QString::number(k),
                               {"LedOff.bmp", "LedOff.bmp", "LedOn.bmp", "", "", "", ""},
                               "Camera " + QString::number(c) + ": " + lampHints[k - 1],
                               false,
                               {}});
    rows.push_back(plainRow("Exit", "Close"));
    rows.push_back(plainRow("CamConf", "Camera setup"));
    const char* pad[6][2] = {{"PT-L", "Pan left"},  {"PT-R", "Pan right"},     {"PT-U", "Tilt up"},
                             {"PT-D", "Tilt down"}, {"PT-H", "Home position"}, {"PT-S", "Swing"}};
    for (const auto& p : pad)
        rows.push_back(Row{p[0],
                           {"Dark.bmp", "Main.bmp", "Down.bmp", "Main.bmp", "Over.bmp", "Gray.bmp", ""},
                           p[1],
                           false,
                           {}});
    rows.push_back(Row{"PT-Pad",
                       {"Dark.bmp", "Main.bmp", "Main.bmp", "Main.bmp", "Main.bmp", "Dark.bmp", ""},
                       "Pan and tilt",
                       false,
                       {}});
    return rows;
}

std::vector<Row> windowRows()
{
    auto row = [](const QString& name, const QString& hint) {
        return Row{name,
                   {"Main.bmp", "Main.bmp", "Down.bmp", "Main.bmp", "Over.bmp", "Gray.bmp", ""},
                   hint,
                   false,
                   {}};
    };
    std::vector<Row> rows = {row("Min", "Minimise"),
                             row("Max", "Maximise"),
                             row("Close", "Close"),
                             row("OnTop", "Keep on top"),
                             row("WakeUp", "Show the control panel"),
                             row("ColorCtl", "Brightness, contrast and hue"),
                             row("Event", "Event list"),
                             row("Snapshot", "Save a snapshot"),
                             row("Rotate", "Rotate the picture"),
                             row("Zoom", "Zoom"),
                             row("Audio", "Sound on or off")};
    rows[10].bitmaps[6] = "None.bmp";
    rows[1].extraKeys = "Hint2=Restore\n"; // the hint of the window-size button while maximised
    return rows;
}

bool writeToolSet(const QDir& out)
{
    QFile f(out.filePath("english.atb"));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QTextStream s(&f);
    s << "; Tool set of the English pack: the tools of the control panel and the camera windows.\n"
         "; See SKINS.txt for the format.\n\n"
         "[ToolSet]\nBar=ID_ZoomMenu ID_HelpAbout\n\n"
         "[ID_About]\nCaption=About\n\n[ID_Help]\nCaption=Help\n\n[ID_VERSION]\nCaption=Version\n\n"
         "[ID_HelpAbout]\nCaption=Help\nMenu=ID_Help ID_About\n\n"
         "[ID_ZoomMenu]\nCaption=Zoom\nMenu=ID_FitWindow ID_x1 ID_x1.5 ID_x2 ID_x2.5 ID_x3 ID_x3.5 ID_x4\n\n"
         "[ID_FitWindow]\nCaption=Fit Window\nGroup=Zoom\nState=1\n";
    for (const char* factor : {"1", "1.5", "2", "2.5", "3", "3.5", "4"})
        s << "\n[ID_x" << factor << "]\nCaption=x" << factor << "\nGroup=Zoom\nState=0\n";
    return f.flush();
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: pellucor-skinart OUTDIR\n");
        return 2;
    }
    QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.exists() && !QDir().mkpath(out.path())) {
        std::fprintf(stderr, "pellucor-skinart: cannot make %s\n", argv[1]);
        return 1;
    }
    bool ok = true;
    for (const Skin& skin : {panelSkin(), windowSkin(), barSkin(), paneSkin()})
        ok = writeSkin(out, skin) && ok;
    ok = writeTable(out, "english_2.ini", "Control panel buttons of the English pack", panelRows(), true) &&
         ok;
    ok = writeTable(out, "english_3.ini", "Camera window buttons and hints of the English pack", windowRows(),
                    false) &&
         ok;
    ok = writeToolSet(out) && ok;
    if (!ok) {
        std::fprintf(stderr, "pellucor-skinart: could not write everything into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
