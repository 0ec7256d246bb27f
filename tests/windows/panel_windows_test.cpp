// What the control panel's buttons change in the real view and combined windows: a newly assigned
// camera's zoom, and the sound button of a camera that is disconnected. The panel, the windows and
// their menus are clicked as a user clicks them.
#include "panel_rig.h"

#include "app/skin/picture_surface.h"
#include "app/skin/skin_object.h"
#include "app/skin/tool_set.h"
#include "app/windows/combined_window.h"
#include "app/windows/view_window.h"

#include <QAction>
#include <QMenu>

using namespace paneltest;

namespace {

void clickObject(SkinForm& form, const char* name)
{
    const QPoint at = form.RootObject().FindObject(name).geometry().center();
    QTest::mouseMove(&form, at);
    QTest::mouseClick(&form, Qt::LeftButton, Qt::NoModifier, at);
}

std::string bitmapOf(SkinForm& form, const char* name)
{
    return form.RootObject().FindObject(name).BitmapName().toStdString();
}

// Chooses a tool of a pop-up menu that is on screen, as the pointer does.
void chooseFromMenu(QMenu* menu, QAction* tool)
{
    ASSERT_NE(menu, nullptr);
    ASSERT_NE(tool, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
    QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(tool).center());
}

TEST(PanelAndViews, AssignGivesTheNewCameraAPictureThatFillsItsWindow)
{
    PanelRig rig([](AppState& s) { assignCamera(s.cam(1), "127.0.0.11", "Gate"); }, CameraWindows::Real);
    ViewWindow* view = rig.views->window(1);
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(view->isVisible());
    ASSERT_EQ(view->clientSize(), QSize(320, 240));
    // The old camera's pictures are 320 x 240; the user zooms them to x2 from the window's menu.
    rig.cam(1).props["ImageWidth"] = Variant::i4(320);
    rig.cam(1).props["ImageHeight"] = Variant::i4(240);
    clickObject(view->skin(), "Zoom");
    chooseFromMenu(view->toolBar().menu("ID_ZoomMenu"), view->toolBar().tool("ID_x2"));
    ASSERT_EQ(view->toolBar().ToolState("ID_x2"), 1);
    ASSERT_EQ(view->picture().geometry(), QRect(-160, -120, 640, 480));

    // Another camera from the search dialog takes the slot: its picture fills the window.
    rig.dialogs.browseResult.Cancelled = false;
    rig.dialogs.browseResult.IPAddress = "127.0.0.21";
    rig.dialogs.browseResult.Port = 8481;
    rig.dialogs.browseResult.ServerName = "Shed";
    rig.click("Assign");
    ASSERT_EQ(rig.state.cam(1).IPAddress, "127.0.0.21");
    ASSERT_EQ(rig.views->window(1), view);
    EXPECT_EQ(view->toolBar().ToolState("ID_FitWindow"), 1);
    EXPECT_EQ(view->toolBar().ToolState("ID_x2"), 0);
    EXPECT_EQ(view->picture().geometry(), QRect(QPoint(0, 0), view->clientSize()));
    EXPECT_EQ(rig.cam(1).props["PreviewWidth"].display(), "320");
    EXPECT_EQ(rig.cam(1).props["PreviewHeight"].display(), "240");
}

TEST(PanelAndViews, DisconnectingACameraWithSoundShowsItsSoundButtonOff)
{
    for (const int protocol : {3, 4}) {
        SCOPED_TRACE(protocol);
        PanelRig rig(
            [protocol](AppState& s) {
                assignCamera(s.cam(1), "127.0.0.11", "Gate");
                s.cam(1).Protocol = protocol;
            },
            CameraWindows::Real);
        // The view window: sound on, then "Connect" disconnects the camera.
        ViewWindow* view = rig.views->window(1);
        ASSERT_NE(view, nullptr);
        clickObject(view->skin(), "Audio");
        ASSERT_TRUE(rig.state.AudioOn[0]);
        ASSERT_EQ(bitmapOf(view->skin(), "Audio"), "Down.bmp");
        rig.click("Connect");
        ASSERT_FALSE(rig.state.cam(1).Enable);
        EXPECT_FALSE(rig.state.AudioOn[0]);
        EXPECT_EQ(bitmapOf(view->skin(), "Audio"), "Main.bmp");

        // The combined window alike.
        rig.click("Connect");
        ASSERT_TRUE(rig.state.cam(1).Enable);
        rig.click("Combine");
        CombinedWindow* combined = rig.combined->window();
        ASSERT_NE(combined, nullptr);
        clickObject(combined->skin(), "Audio");
        ASSERT_TRUE(rig.state.AudioOn[0]);
        ASSERT_EQ(bitmapOf(combined->skin(), "Audio"), "Down.bmp");
        rig.click("Connect");
        ASSERT_FALSE(rig.state.cam(1).Enable);
        EXPECT_EQ(bitmapOf(combined->skin(), "Audio"), "Main.bmp");
    }
}

} // namespace
