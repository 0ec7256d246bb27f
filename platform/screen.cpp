// The screen through libxcb (see screen.h).
#include "platform/screen.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace tessivor::screen {

namespace {

template <class T> using Reply = std::unique_ptr<T, decltype(&std::free)>;
template <class T> Reply<T> reply(T* p)
{
    return Reply<T>(p, &std::free);
}

// A connection to $DISPLAY and its default screen, closed at the end of the scope.
class Connection
{
public:
    Connection()
    {
        int number = 0;
        // Without $DISPLAY there is nothing to connect to (and nothing to guess).
        if (!std::getenv("DISPLAY"))
            return;
        m_c = xcb_connect(nullptr, &number);
        if (xcb_connection_has_error(m_c))
            return;
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(m_c));
        for (int i = 0; i < number && it.rem; ++i)
            xcb_screen_next(&it);
        if (it.rem)
            m_screen = it.data;
    }
    ~Connection()
    {
        if (m_c)
            xcb_disconnect(m_c);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    explicit operator bool() const { return m_screen != nullptr; }
    xcb_connection_t* get() const { return m_c; }
    xcb_screen_t* screen() const { return m_screen; }

private:
    xcb_connection_t* m_c = nullptr;
    xcb_screen_t* m_screen = nullptr;
};

} // namespace

bool size(int& width, int& height)
{
    Connection c;
    if (!c)
        return false;
    width = c.screen()->width_in_pixels;
    height = c.screen()->height_in_pixels;
    return true;
}

bool windowRect(std::uint32_t window, bool client, TargetRect& rect)
{
    Connection c;
    if (!c || window == 0)
        return false;
    xcb_window_t target = window;
    if (!client) {
        // The top-level ancestor: the child of the root that holds the window.
        for (int depth = 0; depth < 64; ++depth) {
            auto tree = reply(xcb_query_tree_reply(c.get(), xcb_query_tree(c.get(), target), nullptr));
            if (!tree)
                return false;
            if (tree->parent == c.screen()->root || tree->parent == XCB_WINDOW_NONE)
                break;
            target = tree->parent;
        }
    }
    auto geometry = reply(xcb_get_geometry_reply(c.get(), xcb_get_geometry(c.get(), target), nullptr));
    if (!geometry)
        return false;
    auto at = reply(xcb_translate_coordinates_reply(
        c.get(), xcb_translate_coordinates(c.get(), target, c.screen()->root, 0, 0), nullptr));
    if (!at)
        return false;
    const int border = client ? 0 : geometry->border_width;
    rect.left = at->dst_x - border;
    rect.top = at->dst_y - border;
    rect.right = at->dst_x + geometry->width + border;
    rect.bottom = at->dst_y + geometry->height + border;
    return true;
}

bool grab(const TargetRect& rect, Image& out)
{
    Connection c;
    if (!c)
        return false;
    const int w = rect.right - rect.left, h = rect.bottom - rect.top;
    if (w <= 0 || h <= 0 || rect.left < 0 || rect.top < 0 || rect.right > c.screen()->width_in_pixels ||
        rect.bottom > c.screen()->height_in_pixels)
        return false;
    const xcb_setup_t* setup = xcb_get_setup(c.get());
    int bitsPerPixel = 0, pad = 32;
    for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem; xcb_format_next(&it))
        if (it.data->depth == c.screen()->root_depth) {
            bitsPerPixel = it.data->bits_per_pixel;
            pad = it.data->scanline_pad;
        }
    if (bitsPerPixel != 24 && bitsPerPixel != 32)
        return false;
    xcb_generic_error_t* err = nullptr;
    auto image = reply(xcb_get_image_reply(
        c.get(),
        xcb_get_image(c.get(), XCB_IMAGE_FORMAT_Z_PIXMAP, c.screen()->root,
                      static_cast<std::int16_t>(rect.left), static_cast<std::int16_t>(rect.top),
                      static_cast<std::uint16_t>(w), static_cast<std::uint16_t>(h), ~0u),
        &err));
    std::free(err);
    if (!image)
        return false;
    const std::uint8_t* data = xcb_get_image_data(image.get());
    const std::size_t stride = ((static_cast<std::size_t>(w) * bitsPerPixel + pad - 1) / pad) * (pad / 8);
    if (static_cast<std::size_t>(xcb_get_image_data_length(image.get())) < stride * h)
        return false;
    const bool msbFirst = setup->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST;
    const int bytes = bitsPerPixel / 8;
    out.width = w;
    out.height = h;
    out.bgr.resize(static_cast<std::size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* line = data + stride * y;
        std::uint8_t* to = out.bgr.data() + static_cast<std::size_t>(y) * w * 3;
        for (int x = 0; x < w; ++x) {
            const std::uint8_t* p = line + static_cast<std::size_t>(x) * bytes;
            // Little-endian pixels are blue, green, red (, pad); big-endian the other way round.
            to[3 * x] = msbFirst ? p[bytes - 1] : p[0];
            to[3 * x + 1] = msbFirst ? p[bytes - 2] : p[1];
            to[3 * x + 2] = msbFirst ? p[bytes - 3] : p[2];
        }
    }
    return true;
}

std::string windowTitle(std::uint32_t window)
{
    Connection c;
    if (!c || window == 0)
        return {};
    auto property = reply(xcb_get_property_reply(
        c.get(), xcb_get_property(c.get(), 0, window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 256),
        nullptr));
    if (!property || property->format != 8)
        return {};
    const auto* text = static_cast<const char*>(xcb_get_property_value(property.get()));
    return std::string(text, static_cast<std::size_t>(xcb_get_property_value_length(property.get())));
}

} // namespace tessivor::screen
