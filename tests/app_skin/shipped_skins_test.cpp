// The shipped English skins: each loads, a picture of each is written into the test output
// folder (at 100% and 200%), and a few pixels are compared: a lamp's on and off bitmaps, a hidden
// object, the "BgColor 255 -" border of the active pane.
#include "app/skin/pack_check.h"
#include "app/skin/picture_surface.h"
#include "app/skin/skin_form.h"
#include "app/skin/skin_label.h"
#include "qt_test_support.h"

#include <fstream>
#include <sstream>

using namespace pellucor;

namespace {

struct Shot
{
    std::string file;
    QImage image;
};

// The form at 100% (grab) and at 200% (rendered into an image of twice the density).
void writeShots(QWidget& w, const std::string& stem)
{
    EXPECT_TRUE(saveScreenshot(w.grab().toImage(), stem + ".png"));
    QImage twice(w.size() * 2, QImage::Format_ARGB32_Premultiplied);
    twice.setDevicePixelRatio(2);
    twice.fill(Qt::transparent);
    w.render(&twice);
    EXPECT_TRUE(saveScreenshot(twice, stem + "@2x.png"));
}

std::unique_ptr<SkinForm> loadShipped(const char* file)
{
    testApp();
    auto form = std::make_unique<SkinForm>();
    form->SetSkinFile(QString::fromStdString((shippedLangFolder() / file).string()));
    EXPECT_FALSE(form->document().isFallback()) << file;
    EXPECT_TRUE(form->document().errors().isEmpty()) << form->document().errors().join('\n').toStdString();
    form->resize(form->sizeHint());
    return form;
}

QPoint centre(SkinObject& o)
{
    return o.geometry().center();
}

int brightness(QColor c)
{
    return c.red() + c.green() + c.blue();
}

} // namespace

TEST(ShippedSkins, ControlPanelLampsAndHiddenObjects)
{
    auto panel = loadShipped("english_1.skn");
    SkinObject& root = panel->RootObject();

    SkinObject& lamp = root.FindObject("Led1-1"); // camera 1 recording: red
    lamp.SetBitmap("LedOff.bmp");
    const QColor off = panel->grab().toImage().pixelColor(centre(lamp));
    lamp.SetBitmap("LedOn.bmp");
    const QColor on = panel->grab().toImage().pixelColor(centre(lamp));
    EXPECT_GT(on.red(), 200) << on.name().toStdString();
    EXPECT_GT(on.red(), on.green() + 60) << on.name().toStdString();
    EXPECT_LT(brightness(off), brightness(on) / 3) << off.name().toStdString();

    // A hidden button shows the panel behind it: the background is a vertical gradient, so a
    // background pixel on the same row beside the camera buttons has the same colour.
    SkinObject& cam1 = root.FindObject("Cam1");
    const QPoint c = centre(cam1);
    const QColor shown = panel->grab().toImage().pixelColor(c);
    cam1.SetTransparency(255);
    const QImage hiddenShot = panel->grab().toImage();
    EXPECT_NE(hiddenShot.pixelColor(c), shown);
    EXPECT_EQ(hiddenShot.pixelColor(c), hiddenShot.pixelColor(QPoint(145, c.y())));
    cam1.SetTransparency(0);

    // A panel as a user sees it: a camera selected, lines written, a few lamps on.
    root.FindObject("LineID").SetText("1");
    const char* lines[] = {"Front door", "192.168.1.20 : 80", "Ground floor", "", "On-line  Manual REC"};
    for (int i = 0; i < 5; ++i)
        root.FindObject("Line" + QString::number(i + 1)).SetText(lines[i]);
    root.FindObject("Time").SetText("2026-12-11 09:41:07");
    for (const char* l : {"Led1-3", "Led2-3", "Led2-2"})
        root.FindObject(l).SetBitmap("LedOn.bmp");
    root.FindObject("Connect").SetBitmap("Down.bmp");
    root.FindObject("ManualRec").SetBitmap("Down.bmp");
    root.FindObject("Cam1").SetBitmap("Over.bmp");
    for (const char* g : {"Erase", "Web"})
        root.FindObject(g).SetBitmap("Gray.bmp");
    for (const char* p : {"PT-L", "PT-R", "PT-U", "PT-D", "PT-H", "PT-S", "PT-Pad"})
        root.FindObject(p).SetBitmap("Main.bmp");
    writeShots(*panel, "panel");
}

TEST(ShippedSkins, CameraWindowWithItsStatusTexts)
{
    auto window = loadShipped("english_2.skn");
    SkinObject& root = window->RootObject();
    root.FindObject("ServerName").SetText("1.  Front door");
    root.FindObject("IPAddress").SetText("192.168.1.20");
    root.FindObject("Line").SetText("On-line");
    root.FindObject("Recording").SetText("REC");
    root.FindObject("MotionDetect").SetText("MOTION");
    root.FindObject("Audio").SetBitmap("None.bmp");
    root.FindObject("OnTop").SetBitmap("Down.bmp");

    // The picture surface in the window's client area, showing colour bars drawn through its
    // frame target as a control would.
    auto* surface = new PictureSurface;
    ASSERT_TRUE(window->hostWidget("Client", surface));
    window->show();
    ASSERT_TRUE(waitUntil([&] { return surface->isVisible() && surface->target()->width() == 320; }));
    const tessivor::Rgb bars[] = {{235, 235, 235}, {235, 235, 16}, {16, 235, 235}, {16, 235, 16},
                                  {235, 16, 235},  {235, 16, 16},  {16, 16, 235},  {16, 16, 16}};
    for (int i = 0; i < 8; ++i)
        surface->target()->fill(tessivor::TargetRect{i * 40, 0, i * 40 + 40, 240}, bars[i]);
    ASSERT_TRUE(waitUntil([&] { return surface->shownVersion() == surface->target()->version(); }));
    const QPoint inBar = surface->geometry().topLeft() + QPoint(2 * 40 + 20, 120);
    EXPECT_EQ(window->grab().toImage().pixelColor(inBar), QColor(16, 235, 235));
    writeShots(*window, "window");

    // The colour button hides behind the narrower button group, as the two editions lay it out.
    SkinObject& colour = root.FindObject("ColorCtl");
    const QPoint c = centre(colour);
    EXPECT_EQ(window->objectAt(c), &colour);
    root.FindObject("LBtnSet").SetSpan(62);
    EXPECT_NE(window->objectAt(c), &colour);
    root.FindObject("LBtnSet").SetSpan(84);
    EXPECT_EQ(window->objectAt(c), &colour);
}

TEST(ShippedSkins, PaneFrameShowsTheActiveBorder)
{
    auto pane = loadShipped("cam.skn");
    pane->resize(240, 180);
    SkinObject& root = pane->RootObject();
    for (const char* edge : {"Top", "Bottom", "Left", "Right"})
        root.FindObject(edge).SetBitmap("BgColor 255 -");
    const QImage active = pane->grab().toImage();
    for (QPoint p : {QPoint(120, 1), QPoint(120, 178), QPoint(1, 90), QPoint(238, 90)})
        EXPECT_EQ(active.pixelColor(p), QColor(255, 0, 0)) << p.x() << "," << p.y();
    EXPECT_EQ(active.pixelColor(120, 90), QColor(0, 0, 0));
    EXPECT_TRUE(saveScreenshot(active, "pane-active.png"));
    for (const char* edge : {"Top", "Bottom", "Left", "Right"})
        root.FindObject(edge).SetBitmap("BgColor 0 -");
    EXPECT_EQ(pane->grab().toImage().pixelColor(120, 1), QColor(0, 0, 0));
}

TEST(ShippedSkins, ColourBarLabelsTakeTheSkinsLook)
{
    auto bar = loadShipped("Bar.skn");
    const char* captions[3][2] = {{"Brightness", " 64"}, {"Contrast", " 70"}, {"Hue", "-12"}};
    for (int i = 0; i < 3; ++i) {
        auto* name = new SkinLabel(bar.get());
        auto* value = new SkinLabel(bar.get());
        name->AttachSkin(bar.get());
        value->AttachSkin(bar.get());
        name->SetCaption(captions[i][0]);
        value->SetCaption(captions[i][1]);
        name->setGeometry(8, 6 + i * 25, 80, 20);
        value->setGeometry(150, 6 + i * 25, 40, 20);
    }
    const QImage shot = bar->grab().toImage();
    EXPECT_TRUE(saveScreenshot(shot, "bar.png"));
    // The label text is light on the dark bar: some pixel of the first caption is bright.
    int brightest = 0;
    for (int x = 8; x < 88; ++x)
        for (int y = 6; y < 26; ++y)
            brightest = std::max(brightest, brightness(shot.pixelColor(x, y)));
    EXPECT_GT(brightest, 500);
}

TEST(PackCheck, PassesOnTheShippedPackAndFailsOnAPackWithAnObjectRemoved)
{
    testApp();
    const QStringList shipped = checkPack(shippedLangFolder(), "english");
    EXPECT_TRUE(shipped.isEmpty()) << shipped.join('\n').toStdString();

    // A copy of the pack without the lamp "Led2-3".
    TestFolder copy{"pack"};
    std::filesystem::copy(shippedLangFolder(), copy.path(), std::filesystem::copy_options::recursive);
    const auto skin = copy.path() / "english_1.skn";
    std::stringstream text;
    text << std::ifstream(skin).rdbuf();
    std::string s = text.str();
    const auto begin = s.find("[Led2-3]");
    ASSERT_NE(begin, std::string::npos);
    s.erase(begin, s.find("\n[", begin + 1) - begin);
    std::ofstream(skin, std::ios::trunc) << s;

    const QStringList broken = checkPack(copy.path(), "english");
    ASSERT_EQ(broken.size(), 1) << broken.join('\n').toStdString();
    EXPECT_TRUE(broken[0].contains("Led2-3")) << broken[0].toStdString();
}

TEST(PackCheck, NamesEachKindOfGap)
{
    testApp();
    struct Case
    {
        const char* name;
        const char* file;
        const char* from;
        const char* to;
        const char* expected;
    };
    const Case cases[] = {
        {"a bitmap of a row", "english_1.skn", "Image.Over.bmp=scan-over.png\n", "",
         "has no bitmap \"Over.bmp\""},
        {"a renamed literal row", "english_2.ini", "16=Cam1\n", "16=Camera1\n", "row 16 must be \"Cam1\""},
        {"a tool", "english.atb", "[ID_VERSION]", "[ID_Versions]", "tool \"ID_VERSION\" is missing"},
        {"a window text object", "english_2.skn", "[Recording]", "[Recorded]", "\"Recording\" is missing"},
        {"a pane edge", "cam.skn", "[Left]", "[LeftEdge]", "\"Left\" is missing"},
        {"a zoom tool outside its group", "english.atb", "Caption=x2\nGroup=Zoom", "Caption=x2\nGroup=Other",
         "ID_x2 must be in the exclusive group Zoom"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestFolder copy{"pack"};
        std::filesystem::copy(shippedLangFolder(), copy.path(), std::filesystem::copy_options::recursive);
        const auto file = copy.path() / c.file;
        std::stringstream text;
        text << std::ifstream(file).rdbuf();
        std::string s = text.str();
        const auto at = s.find(c.from);
        ASSERT_NE(at, std::string::npos);
        s.replace(at, std::strlen(c.from), c.to);
        std::ofstream(file, std::ios::trunc) << s;
        const QStringList problems = checkPack(copy.path(), "english");
        EXPECT_TRUE(problems.join('\n').contains(c.expected)) << problems.join('\n').toStdString();
    }
}
