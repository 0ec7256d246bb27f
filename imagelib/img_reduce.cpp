// Colour reduction onto a computed or given palette (see img_colour.h).
//
// The palette is computed by median cut over a 5-5-5 histogram (32,768 bins instead of the
// pixels). Mapping a pixel to the palette goes through a per-call cache by 5-5-5 colour, so the
// nearest-colour search is paid once per cell: all colours of one cell map to the index found
// first. The search uses either a colour tree (an octree of the palette, four levels deep, whose
// leaves under one node are compared) or a palette sorted by its widest channel, searched
// outward from the entry nearest in that channel until the channel distance alone exceeds the
// best full distance.
#include "imagelib/img_colour.h"

#include "imagelib/img_colour_rows.h"
#include "imagelib/img_frame.h"
#include "imagelib/img_memory.h"

#include <cstring>
#include <utility>

using namespace imgrows;
using tessivor::RgbQuad;

namespace {

std::uint32_t colour555(int blue, int green, int red)
{
    return static_cast<std::uint32_t>(((red >> 3) << 10) | ((green >> 3) << 5) | (blue >> 3));
}

int squaredDistance(int b1, int g1, int r1, int b2, int g2, int r2)
{
    return (r1 - r2) * (r1 - r2) + (g1 - g2) * (g1 - g2) + (b1 - b2) * (b1 - b2);
}

// Which channel has the widest range: 0 blue, 1 green, 2 red. When blue's range is below red's,
// red unless green's is larger; otherwise blue unless green's is larger.
int widestChannel(int rangeBlue, int rangeGreen, int rangeRed)
{
    if (rangeBlue < rangeRed)
        return rangeGreen > rangeRed ? 1 : 2;
    return rangeGreen > rangeBlue ? 1 : 0;
}

// Shell sort (gaps 1, 4, 13, ..., each pass dividing by 3), descending by key(item).
template <class T, class Key> void shellSortDescending(T* items, std::uint32_t n, Key key)
{
    std::uint32_t gap = 1;
    while (gap * 3 + 1 < n)
        gap = gap * 3 + 1;
    for (; gap > 0; gap /= 3) {
        for (std::uint32_t i = gap; i < n; ++i) {
            T item = items[i];
            const auto k = key(item);
            std::uint32_t j = i;
            while (j >= gap && key(items[j - gap]) < k) {
                items[j] = items[j - gap];
                j -= gap;
            }
            items[j] = item;
        }
    }
}

// ---- colour tree ----

struct ColorTreeNode
{
    std::uint8_t blue = 0, green = 0, red = 0, index = 0;
    std::int32_t leaf = 0;
    std::int16_t child[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
    std::int16_t parent = -1;
    std::int32_t depth = 0;
};

// At most 1 + 8 + 64 + 256 + 256 nodes for 256 palette entries.
constexpr int kTreeNodes = 587;
constexpr int kTreeStack = 27;

struct ColorTree
{
    ColorTreeNode nodes[kTreeNodes];
    int used = 0;
};

int childIndex(int red, int green, int blue, int mask)
{
    return ((red & mask) ? 4 : 0) | ((green & mask) ? 2 : 0) | ((blue & mask) ? 1 : 0);
}

constexpr int kLevelMasks[4] = {128, 64, 32, 16};

void img_color_tree_build(ColorTree& tree, const RgbQuad* palette, std::uint32_t count)
{
    tree.used = 1;
    tree.nodes[0] = ColorTreeNode{};
    for (std::uint32_t i = 0; i < count && i < 256; ++i) {
        const RgbQuad& q = palette[i];
        int node = 0;
        for (int level = 0; level < 4; ++level) {
            const int c = childIndex(q.rgbRed, q.rgbGreen, q.rgbBlue, kLevelMasks[level]);
            if (tree.nodes[node].child[c] < 0) {
                if (tree.used == kTreeNodes)
                    return; // cannot happen with 256 entries; the tree stays usable
                ColorTreeNode& made = tree.nodes[tree.used];
                made = ColorTreeNode{};
                made.blue = q.rgbBlue;
                made.green = q.rgbGreen;
                made.red = q.rgbRed;
                made.depth = level + 1;
                made.leaf = level == 3;
                made.parent = static_cast<std::int16_t>(node);
                tree.nodes[node].child[c] = static_cast<std::int16_t>(tree.used++);
            }
            node = tree.nodes[node].child[c];
        }
        tree.nodes[node].index = static_cast<std::uint8_t>(i); // the last entry reaching a leaf wins
    }
}

std::uint8_t img_color_tree_nearest(const ColorTree& tree, int blue, int green, int red)
{
    int node = 0;
    for (int level = 0; level < 4; ++level) {
        const int c = tree.nodes[node].child[childIndex(red, green, blue, kLevelMasks[level])];
        if (c < 0)
            break;
        node = c;
    }
    if (tree.nodes[node].leaf)
        node = tree.nodes[node].parent;
    // Every leaf below the node; a push onto the full stack replaces its top entry.
    int stack[kTreeStack];
    int top = 0;
    stack[top++] = node;
    int best = -1;
    int bestDistance = 196608;
    int leaves = 0;
    int onlyLeaf = -1;
    while (top > 0) {
        const ColorTreeNode& n = tree.nodes[stack[--top]];
        if (n.leaf) {
            ++leaves;
            onlyLeaf = n.index;
            const int d = squaredDistance(blue, green, red, n.blue, n.green, n.red);
            if (d < bestDistance) {
                bestDistance = d;
                best = n.index;
            }
            continue;
        }
        for (int c = 0; c < 8; ++c) {
            if (n.child[c] < 0)
                continue;
            if (top == kTreeStack)
                stack[top - 1] = n.child[c];
            else
                stack[top++] = n.child[c];
        }
    }
    if (leaves == 1)
        return static_cast<std::uint8_t>(onlyLeaf);
    return static_cast<std::uint8_t>(best < 0 ? 0 : best);
}

// ---- sorted palette ----

struct SortedPalette
{
    RgbQuad entries[256];
    std::uint32_t count = 0;
    int channel = 0;          // 0 blue, 1 green, 2 red
    std::uint16_t order[256]; // entry indices, descending by the channel
    std::uint16_t start[256]; // position in `order` where the search for a value starts
};

int channelOf(const RgbQuad& q, int channel)
{
    return channel == 0 ? q.rgbBlue : channel == 1 ? q.rgbGreen : q.rgbRed;
}

void img_sorted_palette_build(SortedPalette& sp, const RgbQuad* palette, std::uint32_t count)
{
    sp.count = count < 256 ? count : 256;
    int lo[3] = {255, 255, 255}, hi[3] = {0, 0, 0};
    for (std::uint32_t i = 0; i < sp.count; ++i) {
        sp.entries[i] = palette[i];
        sp.order[i] = static_cast<std::uint16_t>(i);
        for (int c = 0; c < 3; ++c) {
            const int v = channelOf(palette[i], c);
            lo[c] = v < lo[c] ? v : lo[c];
            hi[c] = v > hi[c] ? v : hi[c];
        }
    }
    sp.channel = widestChannel(hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]);
    shellSortDescending(sp.order, sp.count,
                        [&](std::uint16_t e) { return channelOf(sp.entries[e], sp.channel); });
    // For each value the first position holding the nearest channel value (ties to the larger).
    for (int v = 0; v < 256; ++v) {
        int best = 0, bestGap = 256;
        for (std::uint32_t p = 0; p < sp.count; ++p) {
            const int value = channelOf(sp.entries[sp.order[p]], sp.channel);
            const int gap = value > v ? value - v : v - value;
            if (gap < bestGap) {
                bestGap = gap;
                best = static_cast<int>(p);
            }
        }
        sp.start[v] = static_cast<std::uint16_t>(best);
    }
}

std::uint8_t img_sorted_nearest(const SortedPalette& sp, int blue, int green, int red)
{
    const int colour[3] = {blue, green, red};
    const int key = colour[sp.channel];
    const int p = sp.start[key];
    int best = sp.order[p];
    auto distanceOf = [&](int e) {
        const RgbQuad& q = sp.entries[e];
        return squaredDistance(blue, green, red, q.rgbBlue, q.rgbGreen, q.rgbRed);
    };
    int d = distanceOf(best);
    // Downward in the order, then upward; a direction ends at the first entry whose channel
    // difference alone is not below the best distance.
    for (const int step : {-1, 1}) {
        for (int q = p + step; q >= 0 && q < static_cast<int>(sp.count) && d != 0; q += step) {
            const int e = sp.order[q];
            const int diff = channelOf(sp.entries[e], sp.channel) - key;
            if (diff * diff >= d)
                break;
            const int dq = distanceOf(e);
            if (dq < d) {
                d = dq;
                best = e;
            }
        }
    }
    return static_cast<std::uint8_t>(best);
}

std::int32_t checkReduction(img_desc* source, img_desc* target, std::uint32_t sourceDepths)
{
    std::int32_t r = img_validate_8_24(source);
    if (r == IMG_OK)
        r = img_validate_8_24(target);
    if (r != IMG_OK)
        return r;
    if (!(sourceDepths & (1u << img_bits(source))) || img_bits(target) != 8)
        return IMG_ERR_DEPTH;
    return IMG_OK;
}

} // namespace

// ---- median cut ----

std::int32_t img_median_cut(const img_desc* source, img_desc* target, std::uint32_t colours)
{
    std::uint32_t rows = areaHeight(source), columns = areaWidth(source);
    ImgWork<std::uint16_t> histogram = img_work_array<std::uint16_t>(32768);
    ImgWork<std::uint16_t> list = img_work_array<std::uint16_t>(32768);
    ImgWork<std::uint8_t> line = img_work_array<std::uint8_t>(std::size_t{columns} * 3);
    struct Box
    {
        std::uint32_t first, count; // range in `list`
        std::uint32_t pixels;
    };
    ImgWork<Box> boxes = img_work_array<Box>(colours);
    if (!histogram || !list || !line || !boxes)
        return IMG_ERR_NO_MEMORY;

    const ExpandTable table(source);
    for (std::uint32_t i = 0; i < rows; ++i) {
        loadTriples(source, i, columns, &table, line.get());
        const std::uint8_t* p = line.get();
        for (std::uint32_t k = 0; k < columns; ++k, p += 3) {
            std::uint16_t& bin = histogram[colour555(p[0], p[1], p[2])];
            if (bin < 65534)
                ++bin;
        }
    }
    std::uint32_t listed = 0, total = 0;
    for (std::uint32_t c = 0; c < 32768; ++c)
        if (histogram[c]) {
            list[listed++] = static_cast<std::uint16_t>(c);
            total += histogram[c];
        }
    auto channel = [](std::uint16_t c, int ch) {
        return ch == 0 ? c & 31 : ch == 1 ? (c >> 5) & 31 : c >> 10;
    };

    std::uint32_t boxCount = 1;
    boxes[0] = Box{0, listed, total};
    while (boxCount < colours) {
        // The most populous box that still holds more than one colour (the first on ties).
        std::uint32_t pick = boxCount;
        for (std::uint32_t b = 0; b < boxCount; ++b)
            if (boxes[b].count > 1 && (pick == boxCount || boxes[b].pixels > boxes[pick].pixels))
                pick = b;
        if (pick == boxCount)
            break;
        Box& box = boxes[pick];
        std::uint16_t* items = list.get() + box.first;
        int lo[3] = {31, 31, 31}, hi[3] = {0, 0, 0};
        for (std::uint32_t k = 0; k < box.count; ++k)
            for (int ch = 0; ch < 3; ++ch) {
                const int v = channel(items[k], ch);
                lo[ch] = v < lo[ch] ? v : lo[ch];
                hi[ch] = v > hi[ch] ? v : hi[ch];
            }
        const int widest = widestChannel(hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]);
        shellSortDescending(items, box.count, [&](std::uint16_t c) { return channel(c, widest); });
        // Colours stay in the box until their pixels reach half of it: at least one colour,
        // at most all but one.
        std::uint32_t kept = 0, sum = 0;
        do {
            sum += histogram[items[kept++]];
        } while (kept < box.count - 1 && 2 * sum < box.pixels);
        boxes[boxCount++] = Box{box.first + kept, box.count - kept, box.pixels - sum};
        box.count = kept;
        box.pixels = sum;
    }
    for (std::uint32_t b = 0; b < boxCount; ++b) {
        std::uint64_t sums[3] = {0, 0, 0}, weight = 0;
        for (std::uint32_t k = 0; k < boxes[b].count; ++k) {
            const std::uint16_t c = list[boxes[b].first + k];
            const std::uint32_t n = histogram[c];
            for (int ch = 0; ch < 3; ++ch)
                sums[ch] += std::uint64_t{static_cast<std::uint32_t>(channel(c, ch))} * n;
            weight += n;
        }
        std::uint8_t v[3];
        for (int ch = 0; ch < 3; ++ch) {
            const auto m = static_cast<std::uint32_t>(weight ? sums[ch] / weight : 0);
            v[ch] = static_cast<std::uint8_t>((m << 3) | (m >> 2));
        }
        target->palette[b] = RgbQuad{v[0], v[1], v[2], 0};
    }
    for (std::uint32_t b = boxCount; b < colours; ++b)
        target->palette[b] = target->palette[0];
    target->colourCount = colours;
    return IMG_OK;
}

// ---- mapping onto a palette ----

std::int32_t img_reduce_colors(img_desc* source, img_desc* target, std::int32_t mode)
{
    return img_entry([&]() -> std::int32_t {
        std::int32_t r = checkReduction(source, target, IMG_DEPTH_8 | IMG_DEPTH_24);
        if (r != IMG_OK)
            return r;
        if (!target->palette || target->colourCount == 0 ||
            (img_bits(source) == 8 && (!source->palette || source->colourCount == 0)))
            return IMG_ERR_ARGUMENT;
        if (mode < 0 || mode > 3)
            return IMG_ERR_RANGE;
        std::uint32_t rows, columns;
        img_common_size(source, target, &rows, &columns);
        const std::size_t bufferBytes = (std::size_t{columns} + 2) * 3;
        ImgWork<std::uint8_t> buffers = img_work_array<std::uint8_t>(2 * bufferBytes);
        if (!buffers)
            return IMG_ERR_NO_MEMORY;

        auto lock = img_module_lock(ImgModule::ColourReduction);
        ImgWork<std::uint8_t> cache = img_work_array<std::uint8_t>(32768);
        ImgWork<std::uint8_t> valid = img_work_array<std::uint8_t>(4096);
        if (!cache || !valid)
            return IMG_ERR_NO_MEMORY;
        const std::uint32_t count = target->colourCount < 256 ? target->colourCount : 256;
        const bool useTree = mode == 0 || mode == 1;
        const bool diffuse = mode == 1 || mode == 3;
        ImgWork<ColorTree> tree;
        ImgWork<SortedPalette> sorted;
        if (useTree) {
            if (!(tree = img_work_array<ColorTree>(1)))
                return IMG_ERR_NO_MEMORY;
            img_color_tree_build(tree[0], target->palette, count);
        } else {
            if (!(sorted = img_work_array<SortedPalette>(1)))
                return IMG_ERR_NO_MEMORY;
            img_sorted_palette_build(sorted[0], target->palette, count);
        }

        const ExpandTable table(source);
        std::uint8_t* cur = buffers.get();
        std::uint8_t* next = buffers.get() + bufferBytes;
        auto load = [&](std::uint32_t i, std::uint8_t* buffer) {
            std::memset(buffer, 0, bufferBytes);
            loadTriples(source, i, columns, &table, buffer + 3);
        };
        load(0, cur);
        for (std::uint32_t i = 0; i < rows; ++i) {
            load(i + 1 < rows ? i + 1 : rows - 1, next);
            std::uint8_t* out = areaRow(target, i);
            for (std::uint32_t k = 0; k < columns; ++k) {
                std::uint8_t* p = cur + 3 * (k + 1);
                const std::uint32_t key = colour555(p[0], p[1], p[2]);
                std::uint8_t index;
                if (valid[key >> 3] & (1u << (key & 7))) {
                    index = cache[key];
                } else {
                    index = useTree ? img_color_tree_nearest(tree[0], p[0], p[1], p[2])
                                    : img_sorted_nearest(sorted[0], p[0], p[1], p[2]);
                    cache[key] = index;
                    valid[key >> 3] |= static_cast<std::uint8_t>(1u << (key & 7));
                }
                out[k] = index;
                if (!diffuse)
                    continue;
                const RgbQuad& q = target->palette[index];
                const int chosen[3] = {q.rgbBlue, q.rgbGreen, q.rgbRed};
                std::uint8_t* below = next + 3 * k;
                for (int c = 0; c < 3; ++c) {
                    const int e = p[c] - chosen[c];
                    diffuseError(p, below, c, e);
                }
            }
            std::swap(cur, next);
        }
        img_push_palette(target);
        return IMG_OK;
    });
}

std::int32_t img_reduce_to_palette(std::int32_t colours, img_desc* source, img_desc* target,
                                   std::int32_t mode)
{
    std::int32_t r = checkReduction(source, target, IMG_DEPTH_24);
    if (r != IMG_OK)
        return r;
    if (colours < 2 || colours > 256 || mode < 0 || mode > 3)
        return IMG_ERR_RANGE;
    if (!target->palette || img_color_count(target->header) < static_cast<std::uint32_t>(colours))
        return IMG_ERR_ARGUMENT;
    if ((r = img_median_cut(source, target, static_cast<std::uint32_t>(colours))) != IMG_OK ||
        (r = img_reduce_colors(source, target, mode)) != IMG_OK)
        return r;
    target->typeFlags &= ~IMG_TYPE_GRAY;
    img_push_palette(target);
    return IMG_OK;
}

std::int32_t img_reduce_to_palette_nearest(std::int32_t colours, img_desc* source, img_desc* target)
{
    return img_reduce_to_palette(colours, source, target, 2);
}
