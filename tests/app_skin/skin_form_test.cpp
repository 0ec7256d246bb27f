// The skin engine on a small skin made by the test: painting, the object operations, hit-testing,
// the order of the mouse events, window chrome, tooltips, layout on resize and hosted widgets.
#include "app/skin/skin_form.h"
#include "qt_test_support.h"

#include <QMouseEvent>
#include <QTest>
#include <QToolTip>

#include <fstream>
#include <string>
#include <vector>

using namespace pellucor;

namespace {

// 100 x 60: a grey root, a blue caption with minimise, maximise and a red close box, button A (red picture,
// green when pressed), plain green B, a right-tied group of two squares and an area for a widget.
const char* kMiniSkin = R"([Skin]
Width=100
Height=60
Images=img

[Root]
Bitmap=BgColor 8421504 -

[Caption]
Rect=0 0 100 10
Anchor=left top right
Action=Move
Bitmap=BgColor 16711680 -

[Close]
Parent=Caption
Rect=90 0 10 10
Anchor=right top
Action=Close
Bitmap=BgColor 255 -

[Max]
Parent=Caption
Rect=78 0 10 10
Anchor=right top
Action=Maximize
Bitmap=BgColor 65280 -

[Min]
Parent=Caption
Rect=66 0 10 10
Anchor=right top
Action=Minimize
Bitmap=BgColor 65280 -

[A]
Rect=10 20 20 20
Image.Main.bmp=red.png
Image.Down.bmp=green.png
Bitmap=Main.bmp
Hint=Button A
StyleCode=18

[B]
Rect=50 20 20 20
Bitmap=BgColor 65280 -

[Group]
Rect=40 45 30 10
Anchor=right top

[G1]
Parent=Group
Rect=0 0 10 10
Anchor=right top
Bitmap=BgColor 16776960 -

[G2]
Parent=Group
Rect=20 0 10 10
Anchor=right top
Bitmap=BgColor 16711935 -

[Host]
Rect=75 15 20 20
Anchor=left top right bottom
)";

const QColor kGrey(0x80, 0x80, 0x80), kRed(255, 0, 0), kGreen(0, 255, 0), kBlue(0, 0, 255);

std::filesystem::path writeMiniSkin(const std::filesystem::path& folder, const std::string& text = kMiniSkin)
{
    std::filesystem::create_directories(folder / "img");
    QImage red(20, 20, QImage::Format_RGB32);
    red.fill(kRed);
    QImage green(20, 20, QImage::Format_RGB32);
    green.fill(kGreen);
    EXPECT_TRUE(red.save(QString::fromStdString((folder / "img" / "red.png").string())));
    EXPECT_TRUE(green.save(QString::fromStdString((folder / "img" / "green.png").string())));
    const auto file = folder / "mini.skn";
    std::ofstream(file) << text;
    return file;
}

QColor pixel(QWidget& w, int x, int y)
{
    return w.grab().toImage().pixelColor(x, y);
}

void sendMouse(QWidget& w, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, QPointF(pos), QPointF(w.mapToGlobal(pos)), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(&w, &event);
}

struct Recorder
{
    std::vector<std::string> events;

    explicit Recorder(SkinForm& form)
    {
        QObject::connect(&form, &SkinForm::MouseIn, [this](SkinObject* o) { add("In", o); });
        QObject::connect(&form, &SkinForm::MouseOut, [this](SkinObject* o) { add("Out", o); });
        QObject::connect(&form, &SkinForm::MouseDown,
                         [this](SkinObject* o, int b, int, int) { add("Down", o, b); });
        QObject::connect(&form, &SkinForm::MouseUp,
                         [this](SkinObject* o, int b, int, int) { add("Up", o, b); });
        QObject::connect(&form, &SkinForm::ObjectClick, [this](SkinObject* o) { add("Click", o); });
    }
    void add(const char* what, SkinObject* o, int button = 0)
    {
        std::string e = std::string(what) + ":" + o->Name().toStdString();
        if (button)
            e += ":" + std::to_string(button);
        events.push_back(e);
    }
};

class SkinFormTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        testApp();
        form.SetSkinFile(QString::fromStdString(writeMiniSkin(folder.path()).string()));
        form.resize(100, 60);
        ASSERT_FALSE(form.document().isFallback()) << form.document().errors().join('\n').toStdString();
        ASSERT_TRUE(form.document().errors().isEmpty()) << form.document().errors().join('\n').toStdString();
    }
    SkinObject& find(const char* name) { return form.RootObject().FindObject(name); }

    TestFolder folder{"skin"};
    SkinForm form;
};

} // namespace

TEST_F(SkinFormTest, PaintsBitmapsFillsPicturesAndHiddenObjects)
{
    EXPECT_EQ(pixel(form, 20, 30), kRed);   // A shows its Main bitmap
    EXPECT_EQ(pixel(form, 60, 30), kGreen); // B's plain fill
    EXPECT_EQ(pixel(form, 5, 5), kBlue);    // caption
    EXPECT_EQ(pixel(form, 95, 5), kRed);    // "BgColor 255 -" is pure red

    SkinObject& a = find("A");
    a.SetBitmap("Down.bmp");
    EXPECT_EQ(a.BitmapName(), "Down.bmp");
    EXPECT_EQ(pixel(form, 20, 30), kGreen);

    // Both spellings of the transparency: 255 hides the object, the root shows through.
    a.SetTransparency(255);
    EXPECT_EQ(pixel(form, 20, 30), kGrey);
    EXPECT_EQ(form.objectAt(QPoint(20, 30))->Name(), "Root");
    a.SetLevel(0);
    EXPECT_EQ(pixel(form, 20, 30), kGreen);

    // An unknown bitmap name is kept, and nothing is drawn for it.
    a.SetBitmapName("Missing.bmp");
    EXPECT_EQ(a.BitmapName(), "Missing.bmp");
    EXPECT_EQ(pixel(form, 20, 30), kGrey);

    // A picture cut-out: 10 x 10 of A's own green bitmap over a red fill, at A's top left.
    a.SetBitmap("BgColor 255 -");
    a.SetPicture("Down.bmp");
    a.SetPictureRect("0 0 10 10");
    EXPECT_EQ(pixel(form, 12, 22), kGreen);
    EXPECT_EQ(pixel(form, 25, 35), kRed);
    a.SetPicture("");
    EXPECT_EQ(pixel(form, 12, 22), kRed);
}

TEST_F(SkinFormTest, FindObjectSearchesBelowAndFailsWithAnError)
{
    EXPECT_EQ(find("G2").Name(), "G2"); // a grandchild
    EXPECT_EQ(find("Caption").FindObject("Close").Name(), "Close");
    EXPECT_THROW(find("Caption").FindObject("A"), SkinError); // not below the caption
    EXPECT_THROW(find("a"), SkinError);                       // names compare exactly
    EXPECT_EQ(find("A").Width(), 20);
    EXPECT_EQ(find("A").Height(), 20);

    SkinObject& a = find("A");
    a.SetText("Hello");
    EXPECT_EQ(a.Text(), "Hello");
    QFont f = a.Font();
    f.setBold(true);
    f.setPointSize(20);
    a.SetFont(f);
    EXPECT_TRUE(a.Font().bold());
    EXPECT_EQ(a.Font().pointSize(), 20);
    a.SetHint("other");
    EXPECT_EQ(a.HintText(), "other");
}

TEST_F(SkinFormTest, SpanCutsARightTiedGroupFromTheLeft)
{
    SkinObject& group = find("Group");
    EXPECT_EQ(pixel(form, 45, 50), QColor(0, 255, 255)); // G1
    EXPECT_EQ(pixel(form, 65, 50), QColor(255, 0, 255)); // G2
    group.SetSpan(10);
    EXPECT_EQ(group.Span(), 10);
    EXPECT_EQ(pixel(form, 45, 50), kGrey); // G1 lies outside the narrower group now
    EXPECT_EQ(pixel(form, 65, 50), QColor(255, 0, 255));
    EXPECT_EQ(form.objectAt(QPoint(45, 50))->Name(), "Root");
    group.SetOffset(30);
    EXPECT_EQ(form.objectAt(QPoint(45, 50))->Name(), "G1");
}

TEST_F(SkinFormTest, LayoutFollowsResizesAndHostedWidgetsFollowTheirObject)
{
    QWidget* hosted = new QWidget;
    EXPECT_TRUE(form.hostWidget("Host", hosted));
    EXPECT_EQ(hosted->geometry(), QRect(75, 15, 20, 20));
    EXPECT_FALSE(form.hostWidget("Nowhere", new QWidget));

    form.show();
    form.resize(200, 120);
    ASSERT_TRUE(waitUntil([&] { return form.isVisible(); }));
    EXPECT_EQ(find("Close").geometry(), QRect(190, 0, 10, 10)); // tied to the right edge
    EXPECT_EQ(find("A").geometry(), QRect(10, 20, 20, 20));     // tied to the top left
    EXPECT_EQ(find("Caption").Width(), 200);
    EXPECT_EQ(hosted->geometry(), QRect(75, 15, 120, 80));
    EXPECT_EQ(pixel(form, 195, 5), kRed);
}

TEST_F(SkinFormTest, MouseEventsComeInTheirOrder)
{
    struct Case
    {
        const char* name;
        QPoint press, release;
        Qt::MouseButton button;
        std::vector<std::string> expected;
    };
    const QPoint onA(20, 30), onB(60, 30), onRoot(5, 55);
    const std::vector<Case> cases = {
        {"click", onA, onA, Qt::LeftButton, {"In:A", "Down:A:1", "Up:A:1", "Click:A", "Out:A", "In:Root"}},
        {"press on A, release on B: the release goes to A, no click",
         onA,
         onB,
         Qt::LeftButton,
         {"In:A", "Down:A:1", "Out:A", "In:B", "Up:A:1", "Out:B", "In:Root"}},
        {"right button: no click",
         onA,
         onA,
         Qt::RightButton,
         {"In:A", "Down:A:2", "Up:A:2", "Out:A", "In:Root"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Recorder rec(form);
        sendMouse(form, QEvent::MouseMove, c.press, Qt::NoButton, Qt::NoButton);
        sendMouse(form, QEvent::MouseButtonPress, c.press, c.button, c.button);
        if (c.release != c.press)
            sendMouse(form, QEvent::MouseMove, c.release, Qt::NoButton, c.button);
        sendMouse(form, QEvent::MouseButtonRelease, c.release, c.button, Qt::NoButton);
        sendMouse(form, QEvent::MouseMove, onRoot, Qt::NoButton, Qt::NoButton);
        EXPECT_EQ(rec.events, c.expected);
        // Leave the form so that the next case starts from outside.
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(&form, &leave);
        QObject::disconnect(&form, nullptr, nullptr, nullptr);
    }
}

TEST_F(SkinFormTest, QTestClickOnAButton)
{
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    Recorder rec(form);
    QTest::mouseMove(&form, QPoint(20, 30));
    QTest::mouseClick(&form, Qt::LeftButton, Qt::NoModifier, QPoint(20, 30));
    QTest::mouseMove(&form, QPoint(5, 55));
    const std::vector<std::string> expected = {"In:A", "Down:A:1", "Up:A:1", "Click:A", "Out:A", "In:Root"};
    EXPECT_EQ(rec.events, expected);

    // Pressed on A, released over B: no click.
    rec.events.clear();
    QTest::mouseMove(&form, QPoint(20, 30));
    QTest::mousePress(&form, Qt::LeftButton, Qt::NoModifier, QPoint(20, 30));
    QTest::mouseMove(&form, QPoint(60, 30));
    QTest::mouseRelease(&form, Qt::LeftButton, Qt::NoModifier, QPoint(60, 30));
    EXPECT_EQ(std::count(rec.events.begin(), rec.events.end(), "Click:A"), 0);
    EXPECT_EQ(std::count(rec.events.begin(), rec.events.end(), "Click:B"), 0);
    EXPECT_EQ(std::count(rec.events.begin(), rec.events.end(), "Up:A:1"), 1);
    form.hide();
}

TEST_F(SkinFormTest, AHandlerThatReloadsTheSkinDuringAClickIsSafe)
{
    const QString file = form.SkinFile();
    int clicks = 0;
    QObject::connect(&form, &SkinForm::MouseUp, [&](SkinObject*, int, int, int) { form.SetSkinFile(file); });
    QObject::connect(&form, &SkinForm::ObjectClick, [&](SkinObject*) { ++clicks; });
    sendMouse(form, QEvent::MouseMove, QPoint(20, 30), Qt::NoButton, Qt::NoButton);
    sendMouse(form, QEvent::MouseButtonPress, QPoint(20, 30), Qt::LeftButton, Qt::LeftButton);
    sendMouse(form, QEvent::MouseButtonRelease, QPoint(20, 30), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(clicks, 0); // the pressed object belonged to the skin that was replaced
    EXPECT_EQ(find("A").BitmapName(), "Main.bmp");
}

TEST_F(SkinFormTest, WindowChromeMovesAndClosesTheWindow)
{
    form.show();
    ASSERT_TRUE(waitUntil([&] { return form.isVisible(); }));
    const QPoint start = form.pos();
    sendMouse(form, QEvent::MouseMove, QPoint(30, 5), Qt::NoButton, Qt::NoButton);
    sendMouse(form, QEvent::MouseButtonPress, QPoint(30, 5), Qt::LeftButton, Qt::LeftButton);
    // The caption moves with the pointer, so in form coordinates it stays where it was; the
    // global position carries the drag.
    QMouseEvent drag(QEvent::MouseMove, QPointF(30, 5),
                     QPointF(form.mapToGlobal(QPoint(30, 5)) + QPoint(40, 25)), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(&form, &drag);
    int clicks = 0;
    QObject::connect(&form, &SkinForm::ObjectClick, [&](SkinObject*) { ++clicks; });
    sendMouse(form, QEvent::MouseButtonRelease, QPoint(30, 5), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(form.pos(), start + QPoint(40, 25));
    EXPECT_EQ(clicks, 0); // a drag is no click

    auto click = [&](QPoint p) {
        sendMouse(form, QEvent::MouseMove, p, Qt::NoButton, Qt::NoButton);
        sendMouse(form, QEvent::MouseButtonPress, p, Qt::LeftButton, Qt::LeftButton);
        sendMouse(form, QEvent::MouseButtonRelease, p, Qt::LeftButton, Qt::NoButton);
    };
    click(QPoint(83, 5)); // maximise, then restore
    EXPECT_TRUE(form.isMaximized());
    click(form.RootObject().FindObject("Max").geometry().center());
    EXPECT_FALSE(form.isMaximized());
    click(form.RootObject().FindObject("Min").geometry().center());
    EXPECT_TRUE(form.isMinimized());
    form.showNormal();
    click(form.RootObject().FindObject("Close").geometry().center());
    EXPECT_EQ(clicks, 4);
    EXPECT_FALSE(form.isVisible());
}

TEST_F(SkinFormTest, TooltipsShowTheHintAndTheStyleCodeSetsThePointer)
{
    form.show();
    ASSERT_TRUE(waitUntil([&] { return form.isVisible(); }));
    QHelpEvent onA(QEvent::ToolTip, QPoint(20, 30), form.mapToGlobal(QPoint(20, 30)));
    QCoreApplication::sendEvent(&form, &onA);
    EXPECT_EQ(QToolTip::text(), "Button A");
    find("A").SetHintText("");
    QCoreApplication::sendEvent(&form, &onA);
    EXPECT_TRUE(waitUntil([] { return !QToolTip::isVisible(); }));

    sendMouse(form, QEvent::MouseMove, QPoint(20, 30), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(form.cursor().shape(), Qt::PointingHandCursor);
    find("A").SetStyleCode(2);
    EXPECT_EQ(form.cursor().shape(), Qt::ArrowCursor);
    form.hide();
}

TEST(SkinDocumentTest, BrokenSkinsKeepWhatIsUsableAndSayWhatIsNot)
{
    testApp();
    struct Case
    {
        const char* name;
        std::string text; // empty: no file at all
        bool fallback;
        std::vector<const char*> present;
        std::vector<const char*> absent;
        const char* error; // a piece of the expected message
    };
    std::string manyObjects = "[Root]\n";
    for (int i = 0; i < kMaxSkinObjects + 5; ++i)
        manyObjects += "[O" + std::to_string(i) + "]\nRect=0 0 1 1\n";
    const std::vector<Case> cases = {
        {"missing file", "", true, {"Fallback"}, {}, "plain look"},
        {"no objects", "[Skin]\nWidth=10\n", true, {"Fallback"}, {}, "no objects"},
        {"no text", std::string("[Root]\nText=a") + '\0' + "b\n", true, {"Fallback"}, {}, "plain look"},
        {"bad rectangle",
         "[Root]\n[A]\nRect=1 2 x 4\n[B]\nRect=0 0 5 5\n",
         false,
         {"B"},
         {"A"},
         "needs Rect"},
        {"huge rectangle", "[Root]\n[A]\nRect=0 0 99999 5\n", false, {"Root"}, {"A"}, "needs Rect"},
        {"unknown parent",
         "[Root]\n[A]\nParent=Nobody\nRect=0 0 5 5\n",
         false,
         {"Root"},
         {"A"},
         "not an earlier object"},
        {"child before its parent",
         "[Root]\n[A]\nParent=B\nRect=0 0 5 5\n[B]\nRect=0 0 5 5\n",
         false,
         {"B"},
         {"A"},
         "not an earlier object"},
        {"image outside the folder",
         "[Root]\n[A]\nRect=0 0 5 5\nImage.Main.bmp=../../etc/passwd\n",
         false,
         {"A"},
         {},
         "not a plain file name"},
        {"missing image",
         "[Root]\n[A]\nRect=0 0 5 5\nImage.Main.bmp=nothere.png\n",
         false,
         {"A"},
         {},
         "nothere.png"},
        {"bad anchor", "[Root]\n[A]\nRect=0 0 5 5\nAnchor=up\n", false, {"A"}, {}, "Anchor"},
        {"too many objects", manyObjects, false, {"O0"}, {"O2004"}, "more than"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestFolder folder{"skin"};
        const auto file = folder.path() / "t.skn";
        if (!c.text.empty())
            std::ofstream(file, std::ios::binary) << c.text;
        auto doc = SkinDocument::load(file);
        EXPECT_EQ(doc->isFallback(), c.fallback);
        for (const char* n : c.present)
            EXPECT_TRUE(doc->root().Name() == n || doc->root().findDescendant(n)) << n;
        for (const char* n : c.absent)
            EXPECT_EQ(doc->root().findDescendant(n), nullptr) << n;
        EXPECT_TRUE(doc->errors().join('\n').contains(c.error)) << doc->errors().join('\n').toStdString();
    }
}

TEST(SkinDocumentTest, FillTextsParseOnlyInTheirForm)
{
    struct Case
    {
        const char* text;
        std::optional<QColor> colour;
    };
    const Case cases[] = {
        {"BgColor 255 -", QColor(255, 0, 0)},
        {"BgColor 0 -", QColor(0, 0, 0)},
        {"BgColor 16711680 -", QColor(0, 0, 255)},
        {"BgColor 65280", QColor(0, 255, 0)},
        {"bgcolor 255 -", QColor(255, 0, 0)},
        {"BgColor -1 -", std::nullopt},
        {"BgColor 16777216 -", std::nullopt},
        {"BgColor x -", std::nullopt},
        {"BgColor 255 +", std::nullopt},
        {"BgColor", std::nullopt},
        {"Main.bmp", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parseFillColour(c.text), c.colour) << c.text;
}
