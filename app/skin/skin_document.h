// Skin documents: one skin file read into a tree of skin objects with their images.
//
// The format is described in data/lang/SKINS.txt. In short: INI syntax; the section [Skin]
// gives the design size, the image folder and the default text style; [Label] gives the look of
// labels attached to the skin; every other section is one object, named by its section, in file
// order, the first being the root. Images are PNG files.
//
// Reading never fails hard. A file that is missing, unreadable or without a usable root gives
// the fallback skin: one plain root object (named "Fallback") and a message on standard error.
// A broken object or image is left out with a message, and the rest of the skin is kept.
// Numbers are range-checked and the number of objects is capped, so a hostile file costs little.
#pragma once

#include "app/skin/skin_object.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace pellucor {

// One section of an INI file, keys in file order.
struct SkinSection
{
    QString name;
    std::vector<std::pair<QString, QString>> keys;

    // The value of the first key equal to `key` without regard to case, or nullptr.
    const QString* find(const QString& key) const;
};

// The look of labels attached to a skin (SkinLabel::AttachSkin).
struct SkinLabelStyle
{
    QColor background = QColor(0xe8, 0xe8, 0xe8);
    bool transparent = false;
    QColor textColour = Qt::black;
    QFont font;
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
};

inline constexpr int kMaxSkinObjects = 2000;
inline constexpr int kMaxSkinCoordinate = 10000;
inline constexpr int kMaxSkinImageSide = 4096;

class SkinDocument
{
public:
    // The fallback skin.
    SkinDocument();
    ~SkinDocument();
    SkinDocument(const SkinDocument&) = delete;
    SkinDocument& operator=(const SkinDocument&) = delete;

    // Reads a skin file; never fails (see above). Problems are in errors() and on stderr.
    static std::unique_ptr<SkinDocument> load(const std::filesystem::path& file);
    // Builds a skin from sections already read; images are looked up under `imageFolder`.
    static std::unique_ptr<SkinDocument> fromSections(const std::vector<SkinSection>& sections,
                                                      const std::filesystem::path& imageFolder,
                                                      const QString& origin);

    SkinObject& root() { return *m_root; }
    const SkinObject& root() const { return *m_root; }
    QSize designSize() const { return m_designSize; }
    bool isFallback() const { return m_fallback; }
    const QStringList& errors() const { return m_errors; }
    const SkinLabelStyle& labelStyle() const { return m_labelStyle; }
    // Every object, root first, in file order.
    const std::vector<std::unique_ptr<SkinObject>>& objects() const { return m_objects; }

    // Images shared by all objects of the skin.
    const QImage* sharedImage(const QString& name) const;

    // Called whenever an object changes what it shows (the form repaints `area`), or its layout.
    void setOnChange(std::function<void(const QRect& area, bool relayout)> callback)
    {
        m_onChange = std::move(callback);
    }
    void notifyChanged(const QRect& area, bool relayout) const
    {
        if (m_onChange)
            m_onChange(area, relayout);
    }

private:
    void makeFallback(const QString& reason);
    void fail(const QString& message);

    std::vector<std::unique_ptr<SkinObject>> m_objects;
    SkinObject* m_root = nullptr;
    std::map<QString, QImage> m_sharedImages;
    QSize m_designSize{320, 240};
    bool m_fallback = false;
    QStringList m_errors;
    SkinLabelStyle m_labelStyle;
    std::function<void(const QRect&, bool)> m_onChange;
};

class IniStore;

// The sections of an INI file held by an IniStore.
std::vector<SkinSection> sectionsOf(const IniStore& ini);
// Reads an INI file into sections with our IniStore. False (and a message) when it cannot be read.
bool readIniSections(const std::filesystem::path& file, std::vector<SkinSection>* sections, QString* error);

} // namespace pellucor
