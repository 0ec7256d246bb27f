// The tool bar and its tool sets, message boxes, timers and the one-per-session instance lock.
#include "app/skin/single_instance.h"
#include "app/skin/tool_set.h"
#include "app/skin/ui_services.h"
#include "qt_test_support.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTimer>

#include <fstream>

using namespace pellucor;

namespace {

const QStringList kZoom = {"ID_FitWindow", "ID_x1", "ID_x1.5", "ID_x2",
                           "ID_x2.5",      "ID_x3", "ID_x3.5", "ID_x4"};

QStringList menuIds(QMenu* menu)
{
    QStringList ids;
    for (QAction* a : menu->actions())
        ids << a->objectName();
    return ids;
}

} // namespace

TEST(ToolBar, BuiltInSetHasTheWindowsToolsAndCaptions)
{
    testApp();
    SkinToolBar bar;
    const std::pair<const char*, const char*> captions[] = {
        {"ID_FitWindow", "Fit Window"},
        {"ID_x1", "x1"},
        {"ID_x1.5", "x1.5"},
        {"ID_x2", "x2"},
        {"ID_x2.5", "x2.5"},
        {"ID_x3", "x3"},
        {"ID_x3.5", "x3.5"},
        {"ID_x4", "x4"},
        {"ID_About", "About"},
        {"ID_Help", "Help"},
        {"ID_VERSION", "Version"},
    };
    for (const auto& [id, caption] : captions) {
        ASSERT_NE(bar.tool(id), nullptr) << id;
        EXPECT_EQ(bar.tool(id)->text(), caption) << id;
    }
    EXPECT_EQ(bar.ToolState("ID_FitWindow"), 1);
    EXPECT_EQ(bar.ToolState("ID_x2"), 0);
    ASSERT_NE(bar.menu("ID_ZoomMenu"), nullptr);
    EXPECT_EQ(menuIds(bar.menu("ID_ZoomMenu")), kZoom);
    EXPECT_EQ(menuIds(bar.menu("ID_HelpAbout")), QStringList({"ID_Help", "ID_About"}));
    EXPECT_EQ(bar.tool("ID_Nothing"), nullptr);
    EXPECT_EQ(bar.ToolState("ID_Nothing"), 0);
    EXPECT_FALSE(bar.PopupMenu("ID_About", QPoint()));
}

TEST(ToolBar, ZoomToolsAreOneExclusiveGroupThatCanBeReleased)
{
    testApp();
    SkinToolBar bar;
    ASSERT_TRUE(bar.LoadToolSet(QString::fromStdString((shippedLangFolder() / "english.atb").string())));
    std::vector<std::pair<QString, int>> clicks;
    QObject::connect(&bar, &SkinToolBar::ToolClick,
                     [&](const QString& id, int state) { clicks.emplace_back(id, state); });

    bar.tool("ID_x2")->trigger();
    EXPECT_EQ(bar.ToolState("ID_x2"), 1);
    EXPECT_EQ(bar.ToolState("ID_FitWindow"), 0); // pressing one releases the others
    bar.tool("ID_x2")->trigger();                // a second click releases it
    EXPECT_EQ(bar.ToolState("ID_x2"), 0);
    bar.tool("ID_About")->trigger();
    const std::vector<std::pair<QString, int>> expected = {{"ID_x2", 1}, {"ID_x2", 0}, {"ID_About", 0}};
    EXPECT_EQ(clicks, expected);

    bar.SetToolText("ID_FitWindow", "Fit to window");
    EXPECT_EQ(bar.tool("ID_FitWindow")->text(), "Fit to window");
    EXPECT_TRUE(bar.PopupMenu("ID_ZoomMenu", QPoint(10, 10)));
    EXPECT_TRUE(waitUntil([&] { return bar.menu("ID_ZoomMenu")->isVisible(); }));
    bar.menu("ID_ZoomMenu")->close();
}

TEST(ToolBar, BadToolSetFilesKeepTheBuiltInTools)
{
    testApp();
    struct Case
    {
        const char* name;
        const char* text; // nullptr: no file
        bool loads;
        const char* id;
        const char* caption;
        QStringList zoomMenu;
    };
    const Case cases[] = {
        {"missing file", nullptr, false, "ID_FitWindow", "Fit Window", kZoom},
        {"caption changed", "[ID_FitWindow]\nCaption=Fit\n", true, "ID_FitWindow", "Fit", kZoom},
        {"menu inside a menu is refused", "[ID_ZoomMenu]\nMenu=ID_x1 ID_HelpAbout ID_Unknown\n", true,
         "ID_x1", "x1", QStringList({"ID_x1"})},
        {"Windows-1252", "[ID_x1]\nCaption=Gr\xf6\xdf\n", true, "ID_x1", "Gr\xc3\xb6\xc3\x9f", kZoom},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestFolder folder{"adapters"};
        const auto file = folder.path() / "t.atb";
        if (c.text)
            std::ofstream(file, std::ios::binary) << c.text;
        SkinToolBar bar;
        EXPECT_EQ(bar.LoadToolSet(QString::fromStdString(file.string())), c.loads);
        ASSERT_NE(bar.tool(c.id), nullptr);
        EXPECT_EQ(bar.tool(c.id)->text(), c.caption);
        EXPECT_EQ(menuIds(bar.menu("ID_ZoomMenu")), c.zoomMenu);
    }
}

TEST(QtUiServices, MessageBoxStylesAndAnswers)
{
    testApp();
    struct Look
    {
        int style;
        QMessageBox::Icon icon;
        bool yesNo;
    };
    const Look looks[] = {
        {16, QMessageBox::Critical, false}, {48, QMessageBox::Warning, false},
        {52, QMessageBox::Warning, true},   {64, QMessageBox::Information, false},
        {0, QMessageBox::NoIcon, false},
    };
    for (const Look& l : looks) {
        const MessageBoxLook got = messageBoxLook(l.style);
        EXPECT_EQ(got.icon, l.icon) << l.style;
        EXPECT_EQ(got.buttons.testFlag(QMessageBox::Yes), l.yesNo) << l.style;
        EXPECT_EQ(got.buttons.testFlag(QMessageBox::Ok), !l.yesNo) << l.style;
    }

    QtUiServices ui;
    ui.setApplicationTitle("Pellucor SE");
    struct Answer
    {
        int style;
        QMessageBox::StandardButton press;
        int code;
    };
    const Answer answers[] = {{52, QMessageBox::Yes, kAnswerYes},
                              {52, QMessageBox::No, kAnswerNo},
                              {64, QMessageBox::Ok, kAnswerOk}};
    for (const Answer& a : answers) {
        QString title;
        // Answers the box once the modal loop shows it.
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            title = box->windowTitle();
            box->button(a.press)->click();
        });
        EXPECT_EQ(ui.messageBox(nullptr, "Move the camera?", a.style), a.code);
        EXPECT_EQ(title, "Pellucor SE");
    }
}

// The engine's own messages: a plain box with OK only and the program's title unless it names one.
TEST(QtUiServices, TheEnginesMessagesArePlainOkBoxes)
{
    testApp();
    QtUiServices ui;
    ui.setApplicationTitle("Pellucor SE");
    MessageBoxes& boxes = ui;
    struct Case
    {
        std::string title;
        QString shownTitle;
    };
    const Case cases[] = {{"", "Pellucor SE"}, {"Storage", "Storage"}};
    for (const Case& c : cases) {
        QString title, text;
        QMessageBox::Icon icon = QMessageBox::Critical;
        bool okOnly = false;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            okOnly = box->standardButtons() == QMessageBox::Ok;
            box->button(QMessageBox::Ok)->click();
        });
        boxes.show("Error RestartCam function", c.title);
        EXPECT_EQ(title, c.shownTitle);
        EXPECT_EQ(text, "Error RestartCam function");
        EXPECT_EQ(icon, QMessageBox::NoIcon);
        EXPECT_TRUE(okOnly);
    }
}

TEST(QtUiServices, TheProgramEndsWhenAskedNotWhenItsLastWindowCloses)
{
    QApplication& app = testApp();
    QtUiServices ui;
    std::vector<std::string> steps;
    auto* window = new QWidget;
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    QTimer::singleShot(0, [&] {
        window->close(); // the last window: the loop goes on
        QTimer::singleShot(0, [&] {
            steps.push_back("engine saved and stopped");
            ui.endProgram();
            steps.push_back("asked to end");
        });
    });
    EXPECT_EQ(app.exec(), 0);
    const std::vector<std::string> expected = {"engine saved and stopped", "asked to end"};
    EXPECT_EQ(steps, expected);
}

TEST(QtTimer, TicksWhileEnabled)
{
    testApp();
    int ticks = 0;
    QtTimer timer([&] { ++ticks; });
    timer.setInterval(5);
    EXPECT_FALSE(timer.enabled());
    timer.setEnabled(true);
    ASSERT_TRUE(waitUntil([&] { return ticks >= 3; }));
    timer.setEnabled(false);
    const int stopped = ticks;
    waitUntil([] { return false; }, 100);
    EXPECT_EQ(ticks, stopped);
    EXPECT_EQ(timer.interval(), 5);
}

TEST(SingleInstance, ASecondStartEndsAtOnceAndADeadHoldersLockIsTakenOver)
{
    testApp();
    TestFolder folder{"adapters"};
    const QString lock = QString::fromStdString((folder.path() / "pellucor.lock").string());
    const QString probe = QStringLiteral(TESSIVOR_BINARY_DIR "/tests/app_skin/single_instance_probe");
    auto runProbe = [&](const QStringList& args) {
        QProcess p;
        p.start(probe, QStringList{lock} + args);
        EXPECT_TRUE(p.waitForFinished(30000));
        return p.exitCode();
    };

    {
        SingleInstance first(lock);
        ASSERT_TRUE(first.acquire());
        EXPECT_TRUE(first.acquire()); // asking again keeps it
        EXPECT_EQ(runProbe({}), 3);   // another process: refused at once
    }
    EXPECT_EQ(runProbe({}), 0); // released with its holder

    // A holder that dies without releasing leaves the file behind; the next start takes it.
    QProcess holder;
    holder.start(probe, {lock, "--hold"});
    ASSERT_TRUE(holder.waitForReadyRead(30000));
    EXPECT_EQ(holder.readAllStandardOutput().trimmed(), "holding");
    EXPECT_EQ(runProbe({}), 3);
    holder.kill();
    holder.waitForFinished(30000);
    EXPECT_TRUE(QFile::exists(lock));
    SingleInstance next(lock);
    EXPECT_TRUE(next.acquire());
}

TEST(SingleInstance, ALockFileThatNamesNoHolderIsTakenOverButNotFromALiveHolder)
{
    testApp();
    TestFolder folder{"adapters"};
    const auto lockFile = folder.path() / "pellucor.lock";
    const QString lock = QString::fromStdString(lockFile.string());
    const QString probe = QStringLiteral(TESSIVOR_BINARY_DIR "/tests/app_skin/single_instance_probe");
    auto runProbe = [&](const QStringList& args) {
        QProcess p;
        p.start(probe, QStringList{lock} + args);
        EXPECT_TRUE(p.waitForFinished(30000));
        return p.exitCode();
    };

    for (const char* name : {"empty.lock", "garbage.lock", "no-pid.lock"}) {
        SCOPED_TRACE(name);
        std::filesystem::copy_file(std::filesystem::path(TESSIVOR_SOURCE_DIR) / "tests/fixtures/lock" / name,
                                   lockFile, std::filesystem::copy_options::overwrite_existing);
        EXPECT_EQ(runProbe({}), 0);        // another start takes it
        EXPECT_FALSE(QFile::exists(lock)); // and lets it go at its end
        std::filesystem::copy_file(std::filesystem::path(TESSIVOR_SOURCE_DIR) / "tests/fixtures/lock" / name,
                                   lockFile);
        SingleInstance here(lock);
        EXPECT_TRUE(here.acquire());
        EXPECT_EQ(here.holder(), QCoreApplication::applicationPid());
    }

    // A program that holds the lock keeps it even while its file reads as garbage (as it does
    // between making the file and writing it).
    QProcess holder;
    holder.start(probe, {lock, "--hold"});
    ASSERT_TRUE(holder.waitForReadyRead(30000));
    {
        std::ofstream overwrite(lockFile, std::ios::binary | std::ios::trunc);
        overwrite << "garbage";
    }
    SingleInstance second(lock);
    EXPECT_FALSE(second.acquire());
    EXPECT_EQ(runProbe({}), 3);
    holder.kill();
    holder.waitForFinished(30000);
}

TEST(SingleInstance, ASecondLockOnTheSameFileIsRefusedUntilTheFirstGoes)
{
    TestFolder folder{"adapters"};
    const QString lock = QString::fromStdString((folder.path() / "pellucor.lock").string());
    {
        SingleInstance first(lock);
        EXPECT_TRUE(first.acquire());
        SingleInstance second(lock);
        EXPECT_FALSE(second.acquire());
    }
    SingleInstance again(lock); // released with the first program
    EXPECT_TRUE(again.acquire());
}

TEST(SingleInstance, DefaultLockLivesInTheRuntimeFolder)
{
    TestFolder folder{"adapters"};
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", folder.path().string().c_str());
    EXPECT_EQ(SingleInstance::defaultLockPath(),
              QString::fromStdString((folder.path() / "pellucor.lock").string()));
    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_TRUE(SingleInstance::defaultLockPath().startsWith(QDir::tempPath()));
    if (!saved.isNull())
        qputenv("XDG_RUNTIME_DIR", saved);
}
