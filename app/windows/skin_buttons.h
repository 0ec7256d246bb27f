// The window button table (the language pack's eleven rows of button names and images, HintTable)
// over a camera window's skin: finding a row's skin object, showing one of its images, and what
// the view, combined and scan windows do alike with the window's own buttons (minimise, maximise,
// close), "OnTop" and "WakeUp".
//
// Lookups throw SkinError when the skin lacks the named object; callers catch it and end the one
// action. User-interface thread only.
#pragma once

#include "app/skin/skin_form.h"

#include <QString>

#include <functional>

class QWidget;

namespace pellucor {

struct AppState;
class SkinObject;

// The table's rows that the camera windows act on by number.
namespace buttonrow {
inline constexpr int kMaximise = 1;
inline constexpr int kOnTop = 3;
inline constexpr int kWakeUp = 4;
inline constexpr int kColorCtl = 5;
inline constexpr int kEvent = 6;
inline constexpr int kSnapshot = 7;
inline constexpr int kRotate = 8;
inline constexpr int kZoom = 9;
inline constexpr int kAudio = 10;
} // namespace buttonrow

// A row's image and hint texts (its BtnStr index).
enum BtnState
{
    kReleased = 1,
    kPressed = 2,
    kNormal = 3,
    kOver = 4,
    kGreyed = 5,
    kAbsent = 6,
    kHint = 7,
};

// What the mouse did on a skin object.
enum class MouseStep
{
    Down,
    Up,
    In,
    Out,
};

// Hands the skin's mouse and click events to the window's handlers of the same names
// (SkinForm1_MouseDown and MouseUp with the button, MouseIn, MouseOut, ObjectClick).
template <class Window> void connectSkinEvents(SkinForm* skin, Window* window)
{
    QObject::connect(skin, &SkinForm::ObjectClick, window,
                     [window](SkinObject* o) { window->SkinForm1_ObjectClick(o); });
    QObject::connect(skin, &SkinForm::MouseDown, window,
                     [window](SkinObject* o, int b, int, int) { window->SkinForm1_MouseDown(o, b); });
    QObject::connect(skin, &SkinForm::MouseUp, window,
                     [window](SkinObject* o, int b, int, int) { window->SkinForm1_MouseUp(o, b); });
    QObject::connect(skin, &SkinForm::MouseIn, window,
                     [window](SkinObject* o) { window->SkinForm1_MouseIn(o); });
    QObject::connect(skin, &SkinForm::MouseOut, window,
                     [window](SkinObject* o) { window->SkinForm1_MouseOut(o); });
}

class SkinButtons
{
public:
    // The state and the skin must outlive this object.
    SkinButtons(const AppState& state, SkinForm& skin) : m_state(state), m_skin(skin) {}

    SkinObject& object(const QString& name) const;
    SkinObject& row(int row) const;
    // The first row whose name equals the object's (exact comparison), or -1.
    int rowOf(const SkinObject& object) const;
    QString image(int row, int state) const;
    void show(SkinObject& object, int row, int state) const;
    void show(int row, int state) const;
    // Every row's hint from the table.
    void showHints() const;
    // Every row's hint; "Audio" has none for a camera without sound (protocol not 3 or 4).
    void refreshHints(int protocol) const;

    // Rows 0 to 4 under the mouse as every camera window shows them: the push buttons 0 to 2 (the
    // maximise button's hint follows `maximised`), "OnTop" latched while `pinned`, "WakeUp".
    // False for any other row (nothing changed).
    bool windowButtonFeedback(SkinObject& object, int row, MouseStep step, bool maximised, bool pinned) const;

    // "OnTop": flips `pinned`, shows the latch or the pointer-over image and keeps `window` above
    // all others (or lets it go back among them).
    void toggleOnTop(bool& pinned, QWidget* window) const;
    // "WakeUp": runs `wakeUp` (the control panel shown, normal size, with the focus) when set;
    // then the button shows its pointer-over image.
    void wakeUp(SkinObject& object, const std::function<void()>& wakeUp) const;

private:
    const AppState& m_state;
    SkinForm& m_skin;
};

} // namespace pellucor
