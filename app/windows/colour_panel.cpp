#include "app/windows/colour_panel.h"

#include "app/skin/skin_form.h"
#include "app/skin/skin_label.h"

#include <QScrollBar>

#include <algorithm>

namespace pellucor {

namespace {

constexpr int kMin = 0;
constexpr int kMax = 128;
constexpr int kStart = 64;
constexpr int kRow = 26; // three rows of a caption, a bar and the value

} // namespace

ColourPanel::ColourPanel(ValueText form, QWidget* parent) : QWidget(parent), m_form(form)
{
    m_skin = new SkinForm(this);
    for (int i = 0; i < 3; ++i) {
        const auto k = static_cast<std::size_t>(i);
        m_captions[k] = new SkinLabel(m_skin);
        auto* bar = new QScrollBar(Qt::Horizontal, m_skin);
        bar->setRange(kMin, kMax);
        bar->setValue(kStart);
        bar->setTracking(false); // the value changes when the thumb is let go
        m_bars[k] = bar;
        m_values[k] = new SkinLabel(m_skin);
        m_values[k]->SetCaption(valueText(kStart));
        connect(bar, &QScrollBar::valueChanged, this, [this, i](int value) { emit barChanged(i, value); });
    }
    layOut(kWidth);
}

void ColourPanel::fitWidth(int available)
{
    const int width = std::clamp(available, kMinWidth, kWidth);
    if (width != this->width())
        layOut(width);
}

// At the design width: captions 74 wide from x 4, bars 84 wide from x 80, values 30 wide from
// x 168. A narrower panel gives its captions what their texts need (never more than 74) and the
// bars the rest, at least kMinBarWidth.
void ColourPanel::layOut(int width)
{
    constexpr int kValueWidth = 30;
    constexpr int kCaptionWidth = 74;
    constexpr int kMinBarWidth = 40;
    constexpr int kTextMargin = 3; // a label's text is drawn this far inside it on both sides
    const int valueX = width - kValueWidth - 2;
    int captionWidth = kCaptionWidth;
    if (width < kWidth) {
        int need = 0;
        for (const SkinLabel* l : m_captions)
            need = std::max(need, l->fontMetrics().horizontalAdvance(l->Caption()) + 2 * kTextMargin + 1);
        captionWidth = std::min({kCaptionWidth, need, valueX - 10 - kMinBarWidth});
    }
    const int barX = 4 + captionWidth + 2;
    const int barWidth = valueX - 4 - barX;
    resize(width, kHeight);
    m_skin->setGeometry(0, 0, width, kHeight);
    for (std::size_t k = 0; k < 3; ++k) {
        const int y = 3 + static_cast<int>(k) * kRow;
        m_captions[k]->setGeometry(4, y, captionWidth, 20);
        m_bars[k]->setGeometry(barX, y + 2, barWidth, 16);
        m_values[k]->setGeometry(valueX, y, kValueWidth, 20);
    }
}

void ColourPanel::LoadSkin(const QString& barSkinFile)
{
    m_skin->SetSkinFile(barSkinFile);
    for (SkinLabel* l : m_captions)
        l->AttachSkin(m_skin);
    for (SkinLabel* l : m_values)
        l->AttachSkin(m_skin);
}

void ColourPanel::setCaptions(const std::array<std::string, 3>& captions)
{
    for (std::size_t i = 0; i < 3; ++i)
        m_captions[i]->SetCaption(QString::fromStdString(captions[i]));
    layOut(width());
}

void ColourPanel::setLabelFont(const QFont& font)
{
    for (SkinLabel* l : m_captions)
        l->setFont(font);
    for (SkinLabel* l : m_values)
        l->setFont(font);
    layOut(width());
}

void ColourPanel::showSettings(const ImageSettings& settings)
{
    for (int i = 0; i < 3; ++i) {
        const std::int16_t v = settings[kColourSetting[i]];
        m_bars[static_cast<std::size_t>(i)]->setValue(v);
        showValue(i, v);
    }
}

void ColourPanel::showValue(int index, int value)
{
    valueLabel(index).SetCaption(valueText(value));
}

QString ColourPanel::valueText(int value) const
{
    const QString digits = QString::number(value);
    return m_form == ValueText::SignColumn && value >= 0 ? QLatin1Char(' ') + digits : digits;
}

QScrollBar& ColourPanel::bar(int index)
{
    return *m_bars[static_cast<std::size_t>(std::clamp(index, 0, 2))];
}

SkinLabel& ColourPanel::valueLabel(int index)
{
    return *m_values[static_cast<std::size_t>(std::clamp(index, 0, 2))];
}

} // namespace pellucor
