// Printing into page devices: the page rendered by pdftoppm at the device resolution shows the
// image in the print rectangle and the frame inside it; halftones, refused rectangles, progress
// and cancelling.
#include "tiff_support.h"

#include "imagelib/img_print.h"
#include "platform/page_device.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace tessivor;
using jpegtest::quote;
using jpegtest::run;

namespace {

struct Device
{
    Handle handle;
    std::shared_ptr<PageDevice> device;
    std::filesystem::path file;

    explicit Device(const std::string& name, bool postScript = false, std::string queue = {})
    {
        PageSetup setup;
        file = tifftest::scratch() / name;
        std::filesystem::remove(file);
        setup.file = file;
        setup.postScript = postScript;
        setup.queue = std::move(queue);
        handle = pageDevices::create(setup);
        device = pageDevices::find(handle);
    }
    ~Device() { pageDevices::destroy(handle); }
};

// The first page of a PDF at 300 dpi.
tifftest::Pnm render(const std::filesystem::path& pdf)
{
    const auto prefix = pdf.string() + "-page";
    const auto r = run("pdftoppm -r 300 -f 1 -l 1 -singlefile " + quote(pdf) + " " + quote(prefix));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    return tifftest::parsePnm(jpegtest::readFile(prefix + ".ppm"));
}

bool near(const std::array<std::uint32_t, 3>& a, const std::array<std::uint32_t, 3>& b, int tolerance = 12)
{
    for (int k = 0; k < 3; ++k)
        if (std::abs(static_cast<int>(a[k]) - static_cast<int>(b[k])) > tolerance)
            return false;
    return true;
}

// Blocks of colour, 3 x 2 of them.
void paintBlocks(img_desc& d)
{
    const std::uint32_t colours[6] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0x00FFFF, 0x808080};
    const auto w = static_cast<std::uint32_t>(d.header->biWidth),
               h = static_cast<std::uint32_t>(d.header->biHeight);
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x) {
            const std::uint32_t c = colours[(y * 2 / h) * 3 + x * 3 / w];
            imgtest::set(d, x, y, ((c & 0xFF) << 16) | (c & 0xFF00) | (c >> 16)); // stored B, G, R
        }
}

TEST(Print, ImageFillsThePrintRectangleInsideItsFrame)
{
    Device dev("direct.pdf");
    imgtest::Image image(30, 20, 24);
    paintBlocks(image.desc());
    const ImgPrintRect rect{1000, 500, 1999, 1499}; // 1 x 1 inch at (1, 0.5) inches
    ASSERT_EQ(img_print(0, dev.handle, 0, &image.desc(), &rect, 6, nullptr), 0);
    EXPECT_EQ(dev.device->state(), PageDevice::State::Ended);
    const TargetRect bounds = dev.device->bounds();
    EXPECT_EQ(std::vector<int>({bounds.left, bounds.top, bounds.right, bounds.bottom}),
              (std::vector<int>{300, 150, 599, 449}))
        << "1,000 thousandths at 300 dpi are 300 pixels";

    const tifftest::Pnm page = render(dev.file);
    ASSERT_TRUE(page.ok);
    ASSERT_EQ(page.width, 2550u);
    const std::array<std::uint32_t, 3> black{0, 0, 0}, white{255, 255, 255};
    // The frame: 6 pixels inside the rectangle on every side; white just outside.
    for (std::uint32_t k = 0; k < 300; k += 7) {
        for (std::uint32_t d : {0u, 5u}) {
            EXPECT_TRUE(near(page.at(300 + d, 150 + k), black)) << "left frame " << k;
            EXPECT_TRUE(near(page.at(599 - d, 150 + k), black)) << "right frame " << k;
            EXPECT_TRUE(near(page.at(300 + k, 150 + d), black)) << "top frame " << k;
            EXPECT_TRUE(near(page.at(300 + k, 449 - d), black)) << "bottom frame " << k;
        }
        EXPECT_TRUE(near(page.at(298, 150 + k), white)) << k;
        EXPECT_TRUE(near(page.at(300 + k, 451), white)) << k;
    }
    // The image: every target pixel (away from block edges) has its source pixel's colour.
    int compared = 0;
    for (std::uint32_t ty = 8; ty < 292; ty += 3)
        for (std::uint32_t tx = 8; tx < 292; tx += 3) {
            const std::uint32_t sx = tx * 30 / 300, sy = ty * 20 / 300;
            if ((tx % 100) < 4 || (tx % 100) > 96 || (ty % 150) < 4 || (ty % 150) > 146)
                continue;
            const std::uint32_t v = imgtest::get(image.desc(), sx, sy);
            const std::array<std::uint32_t, 3> want{v & 0xFF, (v >> 8) & 0xFF, v >> 16};
            ASSERT_TRUE(near(page.at(300 + tx, 150 + ty), want)) << tx << "," << ty;
            ++compared;
        }
    EXPECT_GT(compared, 5000);
}

TEST(Print, RectanglesThatDoNotFitAreRefused)
{
    Device dev("refused.pdf");
    imgtest::Image image(8, 8, 24);
    struct Case
    {
        ImgPrintRect rect;
        std::int32_t frame;
    };
    const Case cases[] = {
        {{8000, 0, 8999, 999}, 0},                      // past the printable width of 8.5 inches
        {{0, 10500, 999, 11499}, 0}, {{0, 0, 1, 1}, 0}, // less than one pixel
        {{0, 0, 9, 9}, 5},                              // 3 pixels, narrower than the frame
        {{-500, 0, 999, 999}, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(img_print(0, dev.handle, 0, &image.desc(), &c.rect, c.frame, nullptr), -1) << c.rect.left;
    EXPECT_EQ(dev.device->state(), PageDevice::State::Idle) << "nothing was printed";
    EXPECT_FALSE(std::filesystem::exists(dev.file));
    const ImgPrintRect fine{0, 0, 999, 999};
    EXPECT_EQ(img_print(0, 987654, 0, &image.desc(), &fine, 0, nullptr), -14) << "no such device";
    img_desc none;
    EXPECT_EQ(img_print(0, dev.handle, 0, &none, &fine, 0, nullptr), -42);
}

// A grey ramp from black at the left to white at the right.
void paintRamp(img_desc& d)
{
    const auto w = static_cast<std::uint32_t>(d.header->biWidth),
               h = static_cast<std::uint32_t>(d.header->biHeight);
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x)
            imgtest::set(d, x, y, x * 255 / (w - 1));
}

// Mean grey level of a block of the page.
double meanGrey(const tifftest::Pnm& p, std::uint32_t x0, std::uint32_t y0, std::uint32_t w, std::uint32_t h)
{
    double sum = 0;
    for (std::uint32_t y = y0; y < y0 + h; ++y)
        for (std::uint32_t x = x0; x < x0 + w; ++x)
            sum += p.at(x, y)[1];
    return sum / (w * h);
}

TEST(Print, HalftonesFollowTheGreyLevels)
{
    for (std::int32_t mode : {1, 2}) {
        Device dev("halftone-" + std::to_string(mode) + ".pdf");
        imgtest::Image image(64, 40, 8);
        paintRamp(image.desc());
        // 2 x 1.5 inches: 600 x 450 pixels at (150, 150), enlarged in both directions.
        const ImgPrintRect rect{500, 500, 2499, 1999};
        std::vector<std::int32_t> calls;
        const ImgPrintProgress progress = [&](std::int32_t counter) {
            calls.push_back(counter);
            return 0;
        };
        ASSERT_EQ(img_print(0, dev.handle, mode, &image.desc(), &rect, 2, progress), 0) << mode;
        ASSERT_EQ(dev.device->state(), PageDevice::State::Ended);
        // About ten calls from the bands and one from the device; the counter stops at 10.
        ASSERT_GE(calls.size(), 11u) << mode;
        for (std::size_t i = 0; i < calls.size(); ++i)
            EXPECT_EQ(calls[i], std::min<std::int32_t>(static_cast<std::int32_t>(i), 10)) << i;

        const tifftest::Pnm page = render(dev.file);
        ASSERT_TRUE(page.ok);
        // A halftone, not grey: every image on the page holds only black and white, which the
        // PDF stores at one bit a pixel (pdfimages lists "bpc" 1).
        const auto images = run("pdfimages -list " + quote(dev.file));
        ASSERT_EQ(images.exitCode, 0);
        std::size_t lines = 0, oneBit = 0;
        for (std::size_t at = 0; (at = images.output.find("\n   1 ", at)) != std::string::npos; ++at, ++lines)
            oneBit +=
                images.output.substr(at, images.output.find('\n', at + 1) - at).find(" gray    1   1 ") !=
                std::string::npos;
        EXPECT_GE(lines, 1u);
        EXPECT_EQ(oneBit, lines) << images.output;
        for (std::uint32_t block = 0; block < 6; ++block) {
            const std::uint32_t x = 160 + block * 95;
            const double want = (x - 150 + 40) * 255.0 / 600;
            EXPECT_NEAR(meanGrey(page, x, 200, 80, 300), want, 40) << "mode " << mode << " block " << block;
        }
        EXPECT_LT(meanGrey(page, 150, 150, 600, 2), 10) << "the frame's top edge";
    }
}

TEST(Print, WhichWayAnImageTakes)
{
    struct Case
    {
        std::uint32_t bits;
        std::int32_t mode;
        bool banded;
    };
    const Case cases[] = {{24, 2, false}, {8, 0, false}, {8, 1, true}, {1, 2, false}};
    for (const Case& c : cases) {
        Device dev("way.pdf");
        imgtest::Image image(40, 30, c.bits);
        tifftest::fillPicture(image.desc(), 1, c.bits == 8, 50);
        const ImgPrintRect rect{0, 0, 1999, 1999};
        std::size_t calls = 0;
        const ImgPrintProgress progress = [&](std::int32_t) {
            ++calls;
            return 0;
        };
        ASSERT_EQ(img_print(0, dev.handle, c.mode, &image.desc(), &rect, 0, progress), 0);
        // The direct way asks once before it draws, the device once at the end of the page; the
        // banded way once per tenth of the rows besides.
        if (c.banded)
            EXPECT_GE(calls, 11u) << c.bits << " " << c.mode;
        else
            EXPECT_EQ(calls, 2u) << c.bits << " " << c.mode;
        EXPECT_TRUE(std::filesystem::exists(dev.file));
    }
}

TEST(Print, CancelAbortsTheDocumentAndIsNoError)
{
    for (std::int32_t mode : {0, 2}) {
        Device dev("cancel.pdf");
        imgtest::Image image(40, 30, 8);
        paintRamp(image.desc());
        const ImgPrintRect rect{0, 0, 1999, 1999};
        std::size_t calls = 0;
        const ImgPrintProgress stop = [&](std::int32_t) {
            ++calls;
            return 1;
        };
        EXPECT_EQ(img_print(0, dev.handle, mode, &image.desc(), &rect, 3, stop), 0) << mode;
        EXPECT_EQ(calls, 1u) << mode;
        EXPECT_EQ(dev.device->state(), PageDevice::State::Aborted) << mode;
        EXPECT_FALSE(std::filesystem::exists(dev.file)) << "an aborted document leaves no file";
        for (const auto& e : std::filesystem::directory_iterator(tifftest::scratch()))
            EXPECT_EQ(e.path().string().find(".part"), std::string::npos) << e.path();
    }
}

TEST(Print, PagesOfTheCallersDocument)
{
    Device dev("pages.ps", true);
    ASSERT_GT(dev.device->startDoc("two pictures"), 0);
    ASSERT_GT(dev.device->startPage(), 0);
    imgtest::Image image(10, 10, 24);
    paintBlocks(image.desc());
    const ImgPrintRect a{0, 0, 999, 999}, b{2000, 2000, 2999, 2999};
    EXPECT_EQ(img_print_page(0, dev.handle, 0, &image.desc(), &a, 0, nullptr), 0);
    EXPECT_EQ(img_print_page(0, dev.handle, 0, &image.desc(), &b, 0, nullptr), 0);
    EXPECT_EQ(dev.device->state(), PageDevice::State::InPage) << "the caller ends the page";
    ASSERT_GT(dev.device->endPage(), 0);
    ASSERT_GT(dev.device->endDoc(), 0);
    const jpegtest::Bytes ps = jpegtest::readFile(dev.file);
    ASSERT_GE(ps.size(), 4u);
    EXPECT_EQ(std::string(ps.begin(), ps.begin() + 4), "%!PS");
}

TEST(PageDevice, LifecycleOutOfOrderAndAQueueThatIsNotThere)
{
    Device dev("order.pdf");
    EXPECT_LE(dev.device->startPage(), 0);
    EXPECT_LE(dev.device->endDoc(), 0);
    ASSERT_GT(dev.device->startDoc("x"), 0);
    EXPECT_LE(dev.device->startDoc("again"), 0);
    EXPECT_LE(dev.device->endPage(), 0);
    EXPECT_FALSE(dev.device->frame(0, 0, 10, 10, 1)) << "no drawing outside a page";
    ASSERT_GT(dev.device->startPage(), 0);
    ASSERT_GT(dev.device->endPage(), 0);
    ASSERT_GT(dev.device->endDoc(), 0);
    EXPECT_EQ(dev.device->pagesEnded(), 1);

    // No print server here: the document is made, but handing it over fails.
    Device queued("queued.pdf", false, "no-such-queue");
    ASSERT_GT(queued.device->startDoc("q"), 0);
    ASSERT_GT(queued.device->startPage(), 0);
    ASSERT_GT(queued.device->endPage(), 0);
    EXPECT_LE(queued.device->endDoc(), 0);
    EXPECT_EQ(queued.device->state(), PageDevice::State::Failed);
    EXPECT_EQ(queued.device->jobId(), 0);
}

} // namespace
