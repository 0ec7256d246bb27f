// The colour panel of a camera picture: a backdrop (the "Bar.skn" skin) with three rows of a
// caption, a scroll bar and its value, for brightness, contrast and hue. The bars run from 0 to
// 128 and start at 64; a bar takes its new value when its thumb is let go (one drag is one change).
//
// The panel shows and reports values; the window that owns it decides when a change is written to
// the camera (barChanged fires for every change, including the window's own setValue calls, so
// the window keeps its own "updating" flag). User-interface thread only.
#pragma once

#include "app/core/camera_port.h"

#include <QWidget>

#include <array>
#include <string>

class QScrollBar;

namespace pellucor {

class SkinForm;
class SkinLabel;

// Where the brightness, contrast and hue are among the seven image settings.
inline constexpr std::size_t kColourSetting[3] = {3, 4, 5};

class ColourPanel : public QWidget
{
    Q_OBJECT

public:
    // How a value label writes a number: as plain decimal text, or with a blank in the place of
    // the sign of a number that is not negative (" 64", "-5").
    enum class ValueText
    {
        Plain,
        SignColumn,
    };

    // The backdrop's design size (Bar.skn is 200 x 84).
    static constexpr int kWidth = 200;
    static constexpr int kHeight = 84;
    // The narrowest the panel gets: its bars stay long enough to drag.
    static constexpr int kMinWidth = 130;

    explicit ColourPanel(ValueText form, QWidget* parent = nullptr);

    // Takes the design width, or `available` when that is less (down to kMinWidth): the bars and
    // the captions get shorter, the values keep their width at the right.
    void fitWidth(int available);
    // Loads the backdrop's skin and attaches the six labels to it (captions, then values).
    void LoadSkin(const QString& barSkinFile);
    // Brightness, contrast and hue captions.
    void setCaptions(const std::array<std::string, 3>& captions);
    // The program font on the six labels.
    void setLabelFont(const QFont& font);
    // Puts brightness, contrast and hue of `settings` on the bars and their labels.
    void showSettings(const ImageSettings& settings);
    // Writes `value` into label `index` (0 brightness, 1 contrast, 2 hue).
    void showValue(int index, int value);
    QString valueText(int value) const;

    QScrollBar& bar(int index); // 0 brightness, 1 contrast, 2 hue
    SkinLabel& valueLabel(int index);

signals:
    // Bar `index` took `value`.
    void barChanged(int index, int value);

private:
    void layOut(int width);
    ValueText m_form;
    SkinForm* m_skin = nullptr;
    std::array<QScrollBar*, 3> m_bars{};
    std::array<SkinLabel*, 3> m_captions{};
    std::array<SkinLabel*, 3> m_values{};
};

} // namespace pellucor
