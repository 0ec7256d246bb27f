#include "app/skin/skin_document.h"

#include "app/core/ini_store.h"

#include <QImageReader>

#include <charconv>
#include <cstdio>

namespace pellucor {

namespace {

const QString kSkinSection = QStringLiteral("Skin");
const QString kLabelSection = QStringLiteral("Label");
const QString kImagePrefix = QStringLiteral("Image.");

// A whole number in [lo, hi], or nothing.
std::optional<int> toInt(const QString& text, int lo, int hi)
{
    const std::string s = text.trimmed().toStdString();
    int value = 0;
    const char* end = s.data() + s.size();
    auto [ptr, ec] = std::from_chars(s.data(), end, value);
    if (ec != std::errc() || ptr != end || s.empty() || value < lo || value > hi)
        return std::nullopt;
    return value;
}

// "#rrggbb", or a colour value with red in the low byte as the windows write them.
std::optional<QColor> toColour(const QString& text)
{
    const QString t = text.trimmed();
    if (t.startsWith('#')) {
        QColor c = QColor::fromString(t);
        if (c.isValid() && t.size() == 7)
            return c;
        return std::nullopt;
    }
    if (auto v = toInt(t, 0, 0xFFFFFF))
        return QColor(*v & 0xFF, (*v >> 8) & 0xFF, (*v >> 16) & 0xFF);
    return std::nullopt;
}

bool toFlag(const QString& text)
{
    const QString t = text.trimmed();
    return t == "-1" || t == "1" || t.compare("True", Qt::CaseInsensitive) == 0;
}

std::optional<Qt::Alignment> toAlignment(const QString& text)
{
    const QString t = text.trimmed();
    if (t.compare("Left", Qt::CaseInsensitive) == 0)
        return Qt::AlignLeft | Qt::AlignVCenter;
    if (t.compare("Center", Qt::CaseInsensitive) == 0 || t.compare("Centre", Qt::CaseInsensitive) == 0)
        return Qt::AlignHCenter | Qt::AlignVCenter;
    if (t.compare("Right", Qt::CaseInsensitive) == 0)
        return Qt::AlignRight | Qt::AlignVCenter;
    return std::nullopt;
}

std::optional<SkinAction> toAction(const QString& text)
{
    static const std::pair<const char*, SkinAction> names[] = {
        {"None", SkinAction::None},         {"Move", SkinAction::Move},   {"Minimize", SkinAction::Minimize},
        {"Maximize", SkinAction::Maximize}, {"Close", SkinAction::Close},
    };
    for (const auto& [name, action] : names)
        if (text.trimmed().compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return action;
    return std::nullopt;
}

std::optional<SkinAnchors> toAnchors(const QString& text)
{
    SkinAnchors a{false, false, false, false};
    for (const QString& word : text.split(' ', Qt::SkipEmptyParts)) {
        if (word.compare("left", Qt::CaseInsensitive) == 0)
            a.left = true;
        else if (word.compare("top", Qt::CaseInsensitive) == 0)
            a.top = true;
        else if (word.compare("right", Qt::CaseInsensitive) == 0)
            a.right = true;
        else if (word.compare("bottom", Qt::CaseInsensitive) == 0)
            a.bottom = true;
        else
            return std::nullopt;
    }
    return a;
}

std::optional<QRect> toRect(const QString& text)
{
    const QStringList parts = text.split(' ', Qt::SkipEmptyParts);
    if (parts.size() != 4)
        return std::nullopt;
    int v[4];
    for (int i = 0; i < 4; ++i) {
        auto n = toInt(parts[i], i < 2 ? -kMaxSkinCoordinate : 0, kMaxSkinCoordinate);
        if (!n)
            return std::nullopt;
        v[i] = *n;
    }
    return QRect(v[0], v[1], v[2], v[3]);
}

// Image files are plain names inside the skin's image folder: no folders, no way out of it.
bool safeImageName(const QString& file)
{
    return !file.isEmpty() && !file.contains('/') && !file.contains('\\') && file != "." && file != "..";
}

} // namespace

const QString* SkinSection::find(const QString& key) const
{
    for (const auto& [k, v] : keys)
        if (k.compare(key, Qt::CaseInsensitive) == 0)
            return &v;
    return nullptr;
}

SkinDocument::SkinDocument()
{
    makeFallback(QString());
}

SkinDocument::~SkinDocument() = default;

void SkinDocument::fail(const QString& message)
{
    m_errors << message;
    std::fprintf(stderr, "pellucor: %s\n", message.toLocal8Bit().constData());
}

void SkinDocument::makeFallback(const QString& reason)
{
    m_objects.clear();
    m_sharedImages.clear();
    m_fallback = true;
    auto root = std::make_unique<SkinObject>(this, QStringLiteral("Fallback"), nullptr);
    root->setDesign(QRect(QPoint(0, 0), m_designSize), SkinAnchors{true, true, true, true});
    root->SetBitmap(QStringLiteral("BgColor 13684944 -")); // a plain light grey (0xD0D0D0)
    root->setAction(SkinAction::Move);
    root->setTextStyle(Qt::black, Qt::AlignCenter);
    if (!reason.isEmpty())
        root->SetText(reason);
    m_root = root.get();
    m_objects.push_back(std::move(root));
    m_root->layout(QRect(QPoint(0, 0), m_designSize));
}

const QImage* SkinDocument::sharedImage(const QString& name) const
{
    auto it = m_sharedImages.find(name);
    return it == m_sharedImages.end() ? nullptr : &it->second;
}

std::unique_ptr<SkinDocument> SkinDocument::load(const std::filesystem::path& file)
{
    std::vector<SkinSection> sections;
    QString error;
    const QString origin = QString::fromStdString(file.string());
    if (!readIniSections(file, &sections, &error)) {
        auto doc = std::make_unique<SkinDocument>();
        doc->fail("skin " + origin + ": " + error + "; the plain look is used");
        doc->makeFallback("Skin not loaded: " + origin);
        return doc;
    }
    return fromSections(sections, file.parent_path(), origin);
}

std::unique_ptr<SkinDocument> SkinDocument::fromSections(const std::vector<SkinSection>& sections,
                                                         const std::filesystem::path& imageFolder,
                                                         const QString& origin)
{
    auto doc = std::make_unique<SkinDocument>();
    doc->m_objects.clear();
    doc->m_root = nullptr;
    doc->m_fallback = false;

    std::filesystem::path folder = imageFolder;
    int scale = 1; // images drawn at 2 are made at twice the pixel density of the layout
    QFont baseFont;
    QColor baseText = Qt::black;
    std::vector<std::pair<QString, QString>> sharedImageFiles;

    auto loadImage = [&](const QString& where, const QString& file, QImage* out) {
        if (!safeImageName(file)) {
            doc->fail(origin + ": [" + where + "] image name \"" + file + "\" is not a plain file name");
            return false;
        }
        const std::filesystem::path path = folder / file.toStdString();
        QImageReader reader(QString::fromStdString(path.string()));
        const QSize size = reader.size();
        if (size.isValid() && (size.width() > kMaxSkinImageSide || size.height() > kMaxSkinImageSide)) {
            doc->fail(origin + ": [" + where + "] image " + file + " is larger than the limit");
            return false;
        }
        QImage image = reader.read();
        if (image.isNull()) {
            doc->fail(origin + ": [" + where + "] image " + file + ": " + reader.errorString());
            return false;
        }
        *out = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        out->setDevicePixelRatio(scale);
        return true;
    };

    // [Skin] and [Label] first, wherever they stand.
    for (const SkinSection& s : sections) {
        if (s.name.compare(kSkinSection, Qt::CaseInsensitive) == 0) {
            if (const QString* v = s.find("Width"))
                if (auto n = toInt(*v, 1, kMaxSkinCoordinate))
                    doc->m_designSize.setWidth(*n);
            if (const QString* v = s.find("Height"))
                if (auto n = toInt(*v, 1, kMaxSkinCoordinate))
                    doc->m_designSize.setHeight(*n);
            if (const QString* v = s.find("Images")) {
                if (safeImageName(*v))
                    folder = imageFolder / v->toStdString();
                else
                    doc->fail(origin + ": [Skin] Images must name a folder beside the skin file");
            }
            if (const QString* v = s.find("Scale"))
                if (auto n = toInt(*v, 1, 4))
                    scale = *n;
            if (const QString* v = s.find("Font"))
                baseFont.setFamily(*v);
            if (const QString* v = s.find("FontSize"))
                if (auto n = toInt(*v, 4, 96))
                    baseFont.setPointSize(*n);
            if (const QString* v = s.find("TextColor"))
                if (auto c = toColour(*v))
                    baseText = *c;
            for (const auto& [k, v] : s.keys)
                if (k.startsWith(kImagePrefix, Qt::CaseInsensitive))
                    sharedImageFiles.emplace_back(k.mid(kImagePrefix.size()), v);
        } else if (s.name.compare(kLabelSection, Qt::CaseInsensitive) == 0) {
            SkinLabelStyle& st = doc->m_labelStyle;
            st.font = baseFont;
            if (const QString* v = s.find("BgColor"))
                if (auto c = toColour(*v))
                    st.background = *c;
            if (const QString* v = s.find("Transparent"))
                st.transparent = toFlag(*v);
            if (const QString* v = s.find("TextColor"))
                if (auto c = toColour(*v))
                    st.textColour = *c;
            if (const QString* v = s.find("FontSize"))
                if (auto n = toInt(*v, 4, 96))
                    st.font.setPointSize(*n);
            if (const QString* v = s.find("Bold"))
                st.font.setBold(toFlag(*v));
            if (const QString* v = s.find("Align"))
                if (auto a = toAlignment(*v))
                    st.alignment = *a;
        }
    }
    for (const auto& [name, file] : sharedImageFiles) {
        QImage image;
        if (loadImage(kSkinSection, file, &image))
            doc->m_sharedImages[name] = std::move(image);
    }

    std::map<QString, SkinObject*> byName;
    for (const SkinSection& s : sections) {
        if (s.name.compare(kSkinSection, Qt::CaseInsensitive) == 0 ||
            s.name.compare(kLabelSection, Qt::CaseInsensitive) == 0)
            continue;
        if (static_cast<int>(doc->m_objects.size()) >= kMaxSkinObjects) {
            doc->fail(origin + ": more than " + QString::number(kMaxSkinObjects) +
                      " objects; the rest are left out");
            break;
        }
        if (s.name.isEmpty() || byName.count(s.name)) {
            doc->fail(origin + ": object [" + s.name + "] is unnamed or named twice; left out");
            continue;
        }
        SkinObject* parent = nullptr;
        if (doc->m_root) {
            parent = doc->m_root;
            if (const QString* p = s.find("Parent")) {
                auto it = byName.find(*p);
                if (it == byName.end()) {
                    doc->fail(origin + ": [" + s.name + "] parent \"" + *p +
                              "\" is not an earlier object; left out");
                    continue;
                }
                parent = it->second;
            }
        }
        QRect rect = parent ? QRect(0, 0, 0, 0) : QRect(QPoint(0, 0), doc->m_designSize);
        if (parent) {
            const QString* r = s.find("Rect");
            auto parsed = r ? toRect(*r) : std::nullopt;
            if (!parsed) {
                doc->fail(origin + ": [" + s.name + "] needs Rect=left top width height; left out");
                continue;
            }
            rect = *parsed;
        }
        SkinAnchors anchors = parent ? SkinAnchors{} : SkinAnchors{true, true, true, true};
        if (const QString* a = s.find("Anchor")) {
            if (auto parsed = toAnchors(*a))
                anchors = *parsed;
            else
                doc->fail(origin + ": [" + s.name + "] Anchor \"" + *a +
                          "\" is not a list of left/top/right/bottom");
        }

        auto object = std::make_unique<SkinObject>(doc.get(), s.name, parent);
        object->setDesign(rect, anchors);
        QFont font = baseFont;
        QColor textColour = baseText;
        Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
        for (const auto& [key, value] : s.keys) {
            if (key.startsWith(kImagePrefix, Qt::CaseInsensitive)) {
                QImage image;
                if (loadImage(s.name, value, &image))
                    object->addImage(key.mid(kImagePrefix.size()), std::move(image));
            } else if (key.compare("Action", Qt::CaseInsensitive) == 0) {
                if (auto act = toAction(value))
                    object->setAction(*act);
                else
                    doc->fail(origin + ": [" + s.name + "] unknown Action \"" + value + "\"");
            } else if (key.compare("FontSize", Qt::CaseInsensitive) == 0) {
                if (auto n = toInt(value, 4, 96))
                    font.setPointSize(*n);
            } else if (key.compare("Bold", Qt::CaseInsensitive) == 0) {
                font.setBold(toFlag(value));
            } else if (key.compare("Italic", Qt::CaseInsensitive) == 0) {
                font.setItalic(toFlag(value));
            } else if (key.compare("TextColor", Qt::CaseInsensitive) == 0) {
                if (auto c = toColour(value))
                    textColour = *c;
            } else if (key.compare("Align", Qt::CaseInsensitive) == 0) {
                if (auto al = toAlignment(value))
                    alignment = *al;
            }
        }
        object->SetFont(font);
        object->setTextStyle(textColour, alignment);
        if (const QString* v = s.find("Bitmap"))
            object->SetBitmap(*v);
        if (const QString* v = s.find("Text"))
            object->SetText(*v);
        if (const QString* v = s.find("Hint"))
            object->SetHintText(*v);
        if (const QString* v = s.find("Transparency"))
            if (auto n = toInt(*v, 0, 255))
                object->SetTransparency(*n);
        if (const QString* v = s.find("StyleCode"))
            if (auto n = toInt(*v, 0, 1 << 20))
                object->SetStyleCode(*n);

        byName[s.name] = object.get();
        if (!doc->m_root)
            doc->m_root = object.get();
        doc->m_objects.push_back(std::move(object));
    }

    if (!doc->m_root) {
        doc->fail(origin + ": no objects; the plain look is used");
        doc->makeFallback("Skin not loaded: " + origin);
    }
    doc->m_root->layout(QRect(QPoint(0, 0), doc->m_designSize));
    return doc;
}

std::vector<SkinSection> sectionsOf(const IniStore& ini)
{
    std::vector<SkinSection> sections;
    for (const std::string& name : ini.sectionNames()) {
        SkinSection section{QString::fromStdString(name), {}};
        for (const std::string& key : ini.keyNames(name))
            section.keys.emplace_back(
                QString::fromStdString(key),
                QString::fromStdString(ini.ReadValue(name, key).value_or(std::string())));
        sections.push_back(std::move(section));
    }
    return sections;
}

bool readIniSections(const std::filesystem::path& file, std::vector<SkinSection>* sections, QString* error)
{
    IniStore ini;
    ini.SetFileName(file);
    if (!ini.Load()) {
        if (error)
            *error = QString::fromStdString(ini.errorText());
        return false;
    }
    *sections = sectionsOf(ini);
    return true;
}

} // namespace pellucor
