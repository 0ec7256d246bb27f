// The view window's digital zoom and drag-to-pan, as plain arithmetic.
//
// The picture area of a view window (the control's drawing target) is a rectangle inside the
// window's client area. Zoom gives it the camera frame's size times a factor, centred; Fit Window
// gives it the whole client area; a drag moves a picture that is larger than the client area,
// bounded so that no empty margin shows.
//
// Positions are kept in doubles: a centred picture sits on a half pixel when the difference of
// the sizes is odd (a 352-pixel picture in a 501-pixel client area starts at 74.5), and a drag
// starts from that half pixel. The window rounds only where it places the widget.
//
// No Qt and no state beyond the model itself; units are pixels of the window.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace pellucor {

// The picture area in client coordinates.
struct PictureRect
{
    double left = 0;
    double top = 0;
    double width = 0;
    double height = 0;

    bool operator==(const PictureRect&) const = default;
};

// The zoom tools of the view window's "Zoom" group.
inline constexpr std::string_view kFitWindowTool = "ID_FitWindow";

// The factor of a zoom tool ("ID_x1" .. "ID_x4"); nothing for Fit Window and for other tools.
std::optional<double> zoomFactor(std::string_view toolId);

// A frame side times a zoom factor: whole factors multiply exactly (as 32-bit numbers), the half
// factors round to the nearest integer with exact halves going to the even neighbour
// (241 x 1.5 = 361.5 gives 362, 243 x 1.5 = 364.5 gives 364).
std::int32_t zoomedSide(std::int32_t side, double factor);

// The rounding used for positions that meet widget geometry and for the grab point: to the
// nearest integer, exact halves to the even neighbour.
std::int32_t roundHalfEven(double value);

// The cursor the picture shows.
enum class PanCursor
{
    Default,
    Hand,    // the picture can be dragged
    SizeAll, // a drag is under way
};

class ZoomPanModel
{
public:
    const PictureRect& picture() const { return m_picture; }
    bool panActive() const { return m_panActive; }
    double panStartX() const { return m_panStartX; }
    double panStartY() const { return m_panStartY; }

    // Puts the picture at `rect` as it is (a window placing it from the control's sizes).
    void place(const PictureRect& rect) { m_picture = rect; }
    // Fit Window: the whole client area.
    void fit(double clientW, double clientH);
    // A picture of the given drawing size, centred in the client area (exact halves; negative
    // when the picture is larger than the client area).
    void centre(double clientW, double clientH, double drawW, double drawH);

    // True when the picture is wider or taller than the client area.
    bool overhangs(double clientW, double clientH) const;

    // Mouse handlers of the picture. `button` is the button code of the event (1 the left
    // button alone); x and y are positions within the picture. Each returns the cursor.
    PanCursor mouseDown(int button, double x, double y, double clientW, double clientH, bool fitPressed);
    PanCursor mouseMove(int button, double x, double y, double clientW, double clientH, bool fitPressed);
    PanCursor mouseUp();

private:
    // One axis of a drag: the new start of a picture of `size` at `start`, moved by `delta`
    // inside a client side of `client`, kept within client - size .. 0.
    static double panAxis(double start, double size, double client, double delta);

    PictureRect m_picture;
    bool m_panActive = false;
    double m_panStartX = 0;
    double m_panStartY = 0;
};

} // namespace pellucor
