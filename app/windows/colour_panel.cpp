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
    resize(kWidth, kHeight);
    m_skin = new SkinForm(this);
    m_skin->setGeometry(0, 0, kWidth, kHeight);
    for (int i = 0; i < 3; ++i) {
        const auto k = static_cast<std::size_t>(i);
        const int y = 3 + i * kRow;
        m_captions[k] = new SkinLabel(m_skin);
        m_captions[k]->setGeometry(4, y, 74, 20);
        auto* bar = new QScrollBar(Qt::Horizontal, m_skin);
        bar->setRange(kMin, kMax);
        bar->setValue(kStart);
        bar->setTracking(false); // the value changes when the thumb is let go
        bar->setGeometry(80, y + 2, 84, 16);
        m_bars[k] = bar;
        m_values[k] = new SkinLabel(m_skin);
        m_values[k]->setGeometry(168, y, 30, 20);
        m_values[k]->SetCaption(valueText(kStart));
        connect(bar, &QScrollBar::valueChanged, this, [this, i](int value) { emit barChanged(i, value); });
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
}

void ColourPanel::setLabelFont(const QFont& font)
{
    for (SkinLabel* l : m_captions)
        l->setFont(font);
    for (SkinLabel* l : m_values)
        l->setFont(font);
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
