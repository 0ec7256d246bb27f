#include "app/windows/zoom_model.h"

#include <array>
#include <cfenv>
#include <cmath>
#include <limits>
#include <utility>

namespace pellucor {

namespace {

struct ZoomTool
{
    std::string_view id;
    double factor;
};

constexpr std::array<ZoomTool, 7> kZoomTools{{
    {"ID_x1", 1.0},
    {"ID_x1.5", 1.5},
    {"ID_x2", 2.0},
    {"ID_x2.5", 2.5},
    {"ID_x3", 3.0},
    {"ID_x3.5", 3.5},
    {"ID_x4", 4.0},
}};

std::int32_t clampToInt32(double v)
{
    if (!(v >= std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    if (v > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(v);
}

} // namespace

std::optional<double> zoomFactor(std::string_view toolId)
{
    for (const ZoomTool& t : kZoomTools)
        if (t.id == toolId)
            return t.factor;
    return std::nullopt;
}

std::int32_t roundHalfEven(double value)
{
    // nearbyint rounds in the current mode; the default mode rounds halves to even.
    const int mode = std::fegetround();
    if (mode != FE_TONEAREST)
        std::fesetround(FE_TONEAREST);
    const double r = std::nearbyint(value);
    if (mode != FE_TONEAREST)
        std::fesetround(mode);
    return clampToInt32(r);
}

std::int32_t zoomedSide(std::int32_t side, double factor)
{
    if (factor == std::floor(factor)) {
        // A whole factor: the 32-bit product, kept in range rather than wrapped.
        const std::int64_t p = static_cast<std::int64_t>(side) * static_cast<std::int64_t>(factor);
        return clampToInt32(static_cast<double>(p));
    }
    return roundHalfEven(static_cast<double>(side) * factor);
}

void ZoomPanModel::fit(double clientW, double clientH)
{
    m_picture = {0, 0, clientW, clientH};
}

void ZoomPanModel::centre(double clientW, double clientH, double drawW, double drawH)
{
    m_picture = {(clientW - drawW) / 2, (clientH - drawH) / 2, drawW, drawH};
}

bool ZoomPanModel::overhangs(double clientW, double clientH) const
{
    return m_picture.width > clientW || m_picture.height > clientH;
}

PanCursor ZoomPanModel::mouseDown(int button, double x, double y, double clientW, double clientH,
                                  bool fitPressed)
{
    if (!fitPressed && button == 1 && overhangs(clientW, clientH)) {
        m_panActive = true;
        m_panStartX = roundHalfEven(x);
        m_panStartY = roundHalfEven(y);
        return PanCursor::SizeAll;
    }
    m_panActive = false;
    return PanCursor::Default;
}

double ZoomPanModel::panAxis(double start, double size, double client, double delta)
{
    if (start + delta <= 0 && start + delta + size >= client)
        return start + delta;
    double moved = start;
    if (start + delta + size < client)
        moved = client - size;
    if (moved + delta > 0)
        moved = 0;
    return moved;
}

PanCursor ZoomPanModel::mouseMove(int button, double x, double y, double clientW, double clientH,
                                  bool fitPressed)
{
    if (fitPressed || !overhangs(clientW, clientH))
        return PanCursor::Default;
    if (button == 1 && m_panActive) {
        if (x != m_panStartX && m_picture.width > clientW)
            m_picture.left = panAxis(m_picture.left, m_picture.width, clientW, x - m_panStartX);
        if (y != m_panStartY && m_picture.height > clientH)
            m_picture.top = panAxis(m_picture.top, m_picture.height, clientH, y - m_panStartY);
    }
    return m_panActive ? PanCursor::SizeAll : PanCursor::Hand;
}

PanCursor ZoomPanModel::mouseUp()
{
    m_panActive = false;
    return PanCursor::Default;
}

} // namespace pellucor
