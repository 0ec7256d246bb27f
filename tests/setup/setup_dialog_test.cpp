// The shared dialog layer: texts by section and key, filter conversion, the message-box styles,
// busy dialogs that refuse Esc and the close box, activation, and refused input.
#include "dialog_test_support.h"

#include "app/skin/message_pump.h"
#include "platform/control_window.h"

#include <QCloseEvent>
#include <QCursor>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include <thread>

using namespace pellucor;
using namespace dialogtest;

namespace {

TEST(WindowTexts, KeysOfTheSectionMissingKeysEmptyMissingFileBuiltIn)
{
    TestHome home;
    writeText(home.path() / "pack" / "lang" / "english.ini",
              "[frmDemo]\nCaption=Demo title\ncmdOK=&Go\nMessage2=Second message\n[Other]\ncmdOK=wrong\n");
    home.state.paths.dataDir = home.path() / "pack";
    const WindowTexts t = WindowTexts::load(home.state, "frmdemo");
    EXPECT_TRUE(t.present());
    EXPECT_EQ(t.text("Caption", "Built"), "Demo title");
    EXPECT_EQ(t.text("CMDOK", "&OK"), "&Go");
    EXPECT_EQ(t.text("cmdCancel", "&Cancel"), ""); // the file is there: a missing key is empty
    EXPECT_EQ(t.message(1), "");
    EXPECT_EQ(t.message(2), "Second message");
    EXPECT_EQ(t.message(0), "");
    EXPECT_EQ(t.message(8), "");

    home.state.Language = "klingon";
    const WindowTexts none = WindowTexts::load(home.state, "frmDemo");
    EXPECT_FALSE(none.present());
    EXPECT_EQ(none.text("Caption", "Built"), "Built");
    EXPECT_EQ(none.message(2), "");

    // A text file that cannot be read (no text: a NUL byte) counts as missing.
    home.state.Language = "english";
    writeText(home.path() / "pack" / "lang" / "english.ini",
              std::string("[frmDemo]\nCaption=x") + '\0' + "\n");
    EXPECT_FALSE(WindowTexts::load(home.state, "frmDemo").present());

    // One that is not UTF-8 is read in Windows-1252, or in the code page of the pack's FontCharSet.
    writeText(home.path() / "pack" / "lang" / "english.ini",
              "[frmDemo]\nCaption=Zeitplan f\xFCr \x84Kamera\x93\n");
    EXPECT_EQ(WindowTexts::load(home.state, "frmDemo").text("Caption", "Built"), "Zeitplan für „Kamera“");
    writeText(home.path() / "pack" / "lang" / "english_1.ini", "[General]\nFontCharSet=204\n");
    writeText(home.path() / "pack" / "lang" / "english.ini", "[frmDemo]\nCaption=\xC7\xE0\xEF\xE8\xF1\xFC\n");
    EXPECT_EQ(WindowTexts::load(home.state, "frmDemo").text("Caption", "Built"), "Запись");
}

TEST(FileFilter, WindowsFiltersBecomeQtFilters)
{
    struct Case
    {
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"Configuration Settings (*.ini)|*.ini|Any File (*.*)|*.*",
         "Configuration Settings (*.ini);;Any File (*)"},
        {"Programs (*.exe)|*.exe|Any File (*.*)|*.*", "Programs (*.exe);;Any File (*)"},
        {"Pictures|*.jpg;*.bmp", "Pictures (*.jpg *.bmp)"},
        {"Odd (*.a)|*.b", "Odd (*.b)"}, // the pattern, not the description, filters
        {"Plain (*.txt)", "Plain (*.txt)"},
        {"", ""},
        {"Dangling|", "Dangling ()"},
        {"Half|*.x|Lonely", "Half (*.x)"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(qtFileFilter(c.in).toStdString(), c.out) << c.in;
}

TEST(FileDialogs, OpenNeedsAnExistingFileSaveTakesNewNamesAndConfirmsReplacing)
{
    dialogApp();
    FileDialogRequest r{"Save Profile As", "Configuration Settings (*.ini)|*.ini|Any File (*.*)|*.*", "/tmp",
                        "new.ini"};
    std::unique_ptr<QFileDialog> save(QtDialogPrompts::makeFileDialog(nullptr, r, true));
    EXPECT_EQ(save->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(save->fileMode(), QFileDialog::AnyFile);
    EXPECT_FALSE(save->testOption(QFileDialog::DontConfirmOverwrite));
    EXPECT_EQ(save->windowTitle(), "Save Profile As");
    EXPECT_EQ(save->nameFilters(), QStringList({"Configuration Settings (*.ini)", "Any File (*)"}));
    std::unique_ptr<QFileDialog> open(QtDialogPrompts::makeFileDialog(nullptr, r, false));
    EXPECT_EQ(open->acceptMode(), QFileDialog::AcceptOpen);
    EXPECT_EQ(open->fileMode(), QFileDialog::ExistingFile);
}

TEST(MessageBoxes, StylesGiveTheirIconsButtonsAndAnswers)
{
    dialogApp();
    struct Case
    {
        int style;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton press; // NoButton: close with Esc
        Answer answer;
    };
    const Case cases[] = {
        {MsgStyle::Critical, QMessageBox::Critical, QMessageBox::Ok, QMessageBox::Ok, Answer::Ok},
        {MsgStyle::Exclamation, QMessageBox::Warning, QMessageBox::Ok, QMessageBox::NoButton, Answer::Ok},
        {MsgStyle::Information, QMessageBox::Information, QMessageBox::Ok, QMessageBox::Ok, Answer::Ok},
        {MsgStyle::Plain, QMessageBox::NoIcon, QMessageBox::Ok, QMessageBox::Ok, Answer::Ok},
        {MsgStyle::YesNoExclamation, QMessageBox::Warning, QMessageBox::Yes | QMessageBox::No,
         QMessageBox::No, Answer::No},
        {MsgStyle::YesNoExclamation, QMessageBox::Warning, QMessageBox::Yes | QMessageBox::No,
         QMessageBox::NoButton, Answer::No},
        {MsgStyle::YesNoCancel, QMessageBox::NoIcon, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
         QMessageBox::Yes, Answer::Yes},
        {MsgStyle::YesNoCancel, QMessageBox::NoIcon, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
         QMessageBox::NoButton, Answer::Cancel},
    };
    QtDialogPrompts prompts;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.style);
        ModalDriver driver;
        QMessageBox::Icon seenIcon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons seenButtons;
        QString seenTitle;
        driver.then<QMessageBox>([&](QMessageBox& box) {
            seenIcon = box.icon();
            seenButtons = box.standardButtons();
            seenTitle = box.windowTitle();
            if (c.press == QMessageBox::NoButton) {
                QMessageBox* b = &box;
                later([b] {
                    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                    QApplication::sendEvent(b, &esc);
                });
            } else {
                QAbstractButton* b = box.button(c.press);
                later([b] { b->click(); });
            }
        });
        EXPECT_EQ(prompts.message(nullptr, "text", c.style), c.answer);
        EXPECT_EQ(seenIcon, c.icon);
        EXPECT_EQ(seenButtons, c.buttons);
        EXPECT_EQ(seenTitle, "Pellucor SE");
    }
}

// A small dialog on the layer: counts its activations and cancels, has a child and a field.
class DemoDialog : public SetupDialog
{
public:
    DemoDialog(DialogContext& c, QWidget* parent = nullptr) : SetupDialog(c, "frmDemo", parent)
    {
        auto* layout = new QVBoxLayout(this);
        field = new QLineEdit(this);
        layout->addWidget(field);
    }
    int activations = 0;
    int cancels = 0;
    QLineEdit* field = nullptr;
    using SetupDialog::refuseText;
    using SetupDialog::runChild;

protected:
    void onActivate() override { ++activations; }
    void onCancel() override
    {
        ++cancels;
        SetupDialog::onCancel();
    }
};

TEST(SetupDialog, EscAndTheCloseBoxDoNothingWhileBusy)
{
    TestHome home;
    DialogContext ctx(home.state);
    DemoDialog d(ctx);
    d.show();
    {
        SetupDialog::Busy busy(d);
        EXPECT_TRUE(d.isBusy());
        EXPECT_FALSE(d.isEnabled());
        ASSERT_NE(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(&d, &esc);
        EXPECT_TRUE(d.isVisible());
        d.close();
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(d.cancels, 0);
    }
    EXPECT_FALSE(d.isBusy());
    EXPECT_TRUE(d.isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    d.close();
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(d.cancels, 1);
    EXPECT_EQ(d.result(), QDialog::Rejected);
}

TEST(SetupDialog, WaitsRunEventsWithInputsDisabledAndEndAtTheirLimit)
{
    TestHome home;
    DialogContext ctx(home.state);
    DemoDialog d(ctx);
    d.show();
    bool flag = false;
    bool enabledDuring = true;
    QTimer::singleShot(30, [&] {
        enabledDuring = d.isEnabled();
        flag = true;
    });
    EXPECT_TRUE(d.waitUntil([&] { return flag; }, 60000));
    EXPECT_FALSE(enabledDuring);
    EXPECT_TRUE(d.isEnabled());
    EXPECT_FALSE(d.waitUntil([] { return false; }, 30));

    std::vector<std::uint32_t> pauses;
    ctx.pause = [&](std::uint32_t ms) {
        EXPECT_TRUE(d.isBusy());
        pauses.push_back(ms);
    };
    d.pauseMs(15000);
    EXPECT_EQ(pauses, std::vector<std::uint32_t>{15000});
    EXPECT_FALSE(d.isBusy());
}

TEST(SetupDialog, ControlEventsArriveOnTheUiThreadDuringAWait)
{
    TestHome home;
    DialogContext ctx(home.state);
    DemoDialog d(ctx);
    d.show();
    MessagePump pump;
    std::thread::id handledOn;
    int handled = 0;
    tessivor::ControlWindow window([&](const tessivor::WindowMessage& m, std::intptr_t*) {
        if (m.message != tessivor::WM_USER + 3)
            return false;
        handledOn = std::this_thread::get_id();
        ++handled;
        return true;
    });
    std::thread worker([h = window.handle()] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        tessivor::postMessage(h, tessivor::WM_USER + 3, 0, 0);
    });
    const bool arrived = d.waitUntil([&] { return handled > 0; }, 60000);
    worker.join();
    EXPECT_TRUE(arrived);
    EXPECT_EQ(handled, 1);
    EXPECT_EQ(handledOn, std::this_thread::get_id());
}

TEST(SetupDialog, ActivationOnFirstShowAndAfterOwnChild)
{
    TestHome home;
    DialogContext ctx(home.state);
    DemoDialog d(ctx);
    d.show();
    EXPECT_EQ(d.activations, 1);
    d.hide();
    d.show();
    EXPECT_EQ(d.activations, 1); // showing again is no activation
    QDialog childDialog(&d);
    ModalDriver driver;
    driver.then<QDialog>([](QDialog& c) { later([&c] { c.accept(); }); });
    d.runChild(childDialog);
    EXPECT_EQ(d.activations, 2);
}

TEST(SetupDialog, RefusedInputShowsTheMessageThenSelectsTheField)
{
    TestHome home;
    ScriptedPrompts prompts;
    DialogContext ctx(home.state);
    ctx.prompts = &prompts;
    DemoDialog d(ctx);
    d.show();
    d.activateWindow();
    d.field->setText("12x");
    d.field->setCursorPosition(1);
    bool selectedDuringBox = true;
    prompts.onMessage = [&] { selectedDuringBox = d.field->hasSelectedText(); };
    d.refuseText(d.field, "Bad port", MsgStyle::Exclamation);
    ASSERT_EQ(prompts.boxes.size(), 1u);
    EXPECT_EQ(prompts.boxes[0].text, "Bad port");
    EXPECT_EQ(prompts.boxes[0].style, 48);
    EXPECT_FALSE(selectedDuringBox);
    EXPECT_EQ(d.field->selectedText(), "12x");
}

struct ModalResult
{
    bool Cancelled = true;
    std::string text;
};

struct ResultDialog : SetupDialog
{
    ResultDialog(DialogContext& c, ModalResult& r, QWidget* parent)
        : SetupDialog(c, "frmDemo", parent), result(r)
    {
    }
    ~ResultDialog() override { ++destroyed; }
    ModalResult& result;
    static inline int destroyed = 0;
};

TEST(SetupDialog, ShowModalReturnsTheResultAfterTheDialogIsGone)
{
    TestHome home;
    DialogContext ctx(home.state);
    ModalDriver driver;
    driver.then<QDialog>([](QDialog& d) {
        auto& rd = static_cast<ResultDialog&>(d);
        rd.result.Cancelled = false;
        rd.result.text = "kept";
        later([&d] { d.accept(); });
    });
    const ModalResult r = showModal<ResultDialog, ModalResult>(ctx, nullptr);
    EXPECT_EQ(ResultDialog::destroyed, 1);
    EXPECT_FALSE(r.Cancelled);
    EXPECT_EQ(r.text, "kept");
}

} // namespace
