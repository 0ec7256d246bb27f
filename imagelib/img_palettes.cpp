// The fixed palettes of the library (see img_colour.h).
#include "imagelib/img_colour.h"

using tessivor::RgbQuad;

namespace {

constexpr RgbQuad bgr(std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    return RgbQuad{b, g, r, 0};
}

// Levels of the 6 x 6 x 6 colour cube: 0, 51, ... 255.
constexpr std::uint8_t cube(int level)
{
    return static_cast<std::uint8_t>(level * 51);
}

// The 20 reserved colours of a Windows palette device, in the order of its default palette:
// the 16 VGA colours split around four extra ones (money green, sky blue, cream, medium grey).
constexpr std::array<RgbQuad, 20> kDefault = {
    bgr(0, 0, 0),       bgr(128, 0, 0),     bgr(0, 128, 0),     bgr(128, 128, 0),   bgr(0, 0, 128),
    bgr(128, 0, 128),   bgr(0, 128, 128),   bgr(192, 192, 192), bgr(192, 220, 192), bgr(166, 202, 240),
    bgr(255, 251, 240), bgr(160, 160, 164), bgr(128, 128, 128), bgr(255, 0, 0),     bgr(0, 255, 0),
    bgr(255, 255, 0),   bgr(0, 0, 255),     bgr(255, 0, 255),   bgr(0, 255, 255),   bgr(255, 255, 255),
};

// Our halftone palette: default colours 0 to 9, the colour cube in increasing order (blue
// fastest), 20 greys 6, 18, ... 234 that fall between the cube's levels, default colours 10 to 19.
constexpr std::array<RgbQuad, 256> makeHalftone()
{
    std::array<RgbQuad, 256> p{};
    std::size_t n = 0;
    for (std::size_t i = 0; i < 10; ++i)
        p[n++] = kDefault[i];
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b)
                p[n++] = bgr(cube(r), cube(g), cube(b));
    for (int k = 0; k < 20; ++k) {
        const auto v = static_cast<std::uint8_t>(6 + 12 * k);
        p[n++] = bgr(v, v, v);
    }
    for (std::size_t i = 10; i < 20; ++i)
        p[n++] = kDefault[i];
    return p;
}

constexpr std::array<RgbQuad, 16> makeSixteen()
{
    std::array<RgbQuad, 16> p{};
    for (std::size_t i = 0; i < 8; ++i) {
        p[i] = kDefault[i];
        p[8 + i] = kDefault[12 + i];
    }
    return p;
}

constexpr std::array<RgbQuad, 16> kSixteen = makeSixteen();

// Room for `n` entries in an 8-bit image's palette.
bool paletteRoom(const img_desc* desc, std::uint32_t n)
{
    return desc && desc->header && desc->palette && img_bits(desc) == 8 && img_color_count(desc->header) >= n;
}

} // namespace

const std::array<RgbQuad, 20> img_default_palette = kDefault;
const std::array<RgbQuad, 256> img_halftone_palette = makeHalftone();

std::int32_t img_stock_palette(std::int32_t mode, img_desc* desc)
{
    const RgbQuad* from;
    std::uint32_t n;
    switch (mode) {
    case 0:
        from = kDefault.data();
        n = 20;
        break;
    case 1:
        from = kSixteen.data();
        n = 16;
        break;
    case 2:
        from = img_halftone_palette.data();
        n = 256;
        break;
    default:
        return 0;
    }
    if (!paletteRoom(desc, n))
        return 0;
    for (std::uint32_t i = 0; i < n; ++i)
        desc->palette[i] = from[i];
    desc->colourCount = n;
    img_push_palette(desc);
    return static_cast<std::int32_t>(n);
}

std::int32_t img_palette_256(img_desc* desc)
{
    if (!paletteRoom(desc, 256))
        return 0;
    RgbQuad* p = desc->palette;
    for (int i = 0; i < 10; ++i)
        p[i] = kDefault[static_cast<std::size_t>(i)];
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b)
                p[10 + (5 - r) * 36 + (5 - g) * 6 + (5 - b)] = bgr(cube(r), cube(g), cube(b));
    for (int k = 0; k < 20; ++k) {
        const auto v = static_cast<std::uint8_t>(16 + 12 * k);
        p[226 + k] = bgr(v, v, v);
    }
    for (int i = 0; i < 10; ++i)
        p[246 + i] = kDefault[static_cast<std::size_t>(10 + i)];
    desc->colourCount = 256;
    img_push_palette(desc);
    return 256;
}
