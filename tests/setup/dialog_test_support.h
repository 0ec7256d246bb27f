// Shared pieces of the dialog tests: the Qt application, a temporary home with the shipped packs,
// scripted message boxes and file dialogs, and a driver that acts on modal dialogs as they open.
#pragma once

#include "../app_core/test_folder.h"
#include "../app_skin/qt_test_support.h"

#include "app/core/app_state.h"
#include "app/core/language_pack.h"
#include "app/setup/dialog_prompts.h"
#include "app/setup/setup_dialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace dialogtest {

// The tests' one QApplication (qt_test_support.h), with the program's title on its boxes.
inline QApplication& dialogApp()
{
    QApplication& app = testApp();
    QApplication::setApplicationDisplayName("Pellucor SE");
    return app;
}

inline std::filesystem::path shippedDataFolder()
{
    return std::filesystem::path(TESSIVOR_SOURCE_DIR) / "data";
}

// A state over a fresh home; the shipped packs unless `withPack` is false (then the data folder
// is an empty one and every window keeps its built-in texts).
struct TestHome
{
    explicit TestHome(bool withPack = true) : folder("dlg")
    {
        dialogApp();
        state.paths.homeDir = folder.path() / "home";
        std::filesystem::create_directories(state.paths.homeDir);
        if (withPack) {
            state.paths.dataDir = shippedDataFolder();
        } else {
            state.paths.dataDir = folder.path() / "nodata";
            std::filesystem::create_directories(state.paths.dataDir / "lang");
        }
        pellucor::InitGlobals(state, 1000);
        if (withPack) {
            pellucor::LoadUISetting(state);
            pellucor::LoadLanguageText(state);
        }
    }
    std::filesystem::path path() const { return folder.path(); }

    TestFolder folder;
    pellucor::AppState state;
};

// Message boxes and file dialogs with answers given in advance; every box is recorded.
class ScriptedPrompts : public pellucor::DialogPrompts
{
public:
    struct Box
    {
        std::string text;
        int style = 0;
    };
    std::vector<Box> boxes;
    std::deque<pellucor::Answer> answers; // Ok when empty
    std::deque<std::optional<std::filesystem::path>> files;
    std::vector<pellucor::FileDialogRequest> requests;
    std::function<void()> onMessage; // runs while a box "is open"

    pellucor::Answer message(QWidget*, const QString& text, int style, const QString&) override
    {
        boxes.push_back({text.toStdString(), style});
        if (onMessage)
            onMessage();
        if (answers.empty())
            return pellucor::Answer::Ok;
        auto a = answers.front();
        answers.pop_front();
        return a;
    }
    std::optional<std::filesystem::path> openFile(QWidget*, const pellucor::FileDialogRequest& r) override
    {
        return nextFile(r);
    }
    std::optional<std::filesystem::path> saveFile(QWidget*, const pellucor::FileDialogRequest& r) override
    {
        return nextFile(r);
    }
    std::vector<std::string> texts() const
    {
        std::vector<std::string> out;
        for (const Box& b : boxes)
            out.push_back(b.text);
        return out;
    }

private:
    std::optional<std::filesystem::path> nextFile(const pellucor::FileDialogRequest& r)
    {
        requests.push_back(r);
        if (files.empty())
            return std::nullopt;
        auto f = files.front();
        files.pop_front();
        return f;
    }
};

// Acts on modal dialogs as they open: each step waits until the top modal widget is of its
// type, then runs. Steps run in order from the event loop of the modal dialog itself; a step that
// opens another modal dialog must do so through later() so that it does not block the driver.
class ModalDriver
{
public:
    ModalDriver()
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
        m_timer.start();
    }
    template <typename W> void then(std::function<void(W&)> step)
    {
        m_steps.push_back([step](QWidget* w) {
            auto* typed = qobject_cast<W*>(w);
            if (!typed)
                return false;
            step(*typed);
            return true;
        });
    }
    bool done() const { return m_steps.empty(); }
    int pending() const { return static_cast<int>(m_steps.size()); }

private:
    void poll()
    {
        if (m_steps.empty() || m_running)
            return;
        QWidget* top = QApplication::activeModalWidget();
        if (!top)
            return;
        m_running = true;
        auto step = m_steps.front();
        if (step(top))
            m_steps.pop_front();
        m_running = false;
    }

    QTimer m_timer;
    std::deque<std::function<bool(QWidget*)>> m_steps;
    bool m_running = false;
};

// The child widget of type W with this object name, or a failed test.
template <typename W> W& child(QWidget& parent, const char* name)
{
    W* w = parent.findChild<W*>(name);
    if (!w)
        throw std::runtime_error(std::string("no widget named ") + name);
    return *w;
}

inline void click(QWidget& parent, const char* name)
{
    child<QAbstractButton>(parent, name).click();
}

// Runs `action` from the event loop once the current step has returned.
inline void later(std::function<void()> action)
{
    QTimer::singleShot(0, qApp, std::move(action));
}

inline void clickLater(QWidget& parent, const char* name)
{
    QAbstractButton* b = &child<QAbstractButton>(parent, name);
    later([b] { b->click(); });
}

// Screenshots of the dialogs, kept after the run for people to look at.
inline bool saveScreenshot(QWidget& w, const std::string& name)
{
    const auto folder = std::filesystem::path(TESSIVOR_BINARY_DIR) / "test-output" / "dialogs";
    std::filesystem::create_directories(folder);
    return w.grab().toImage().save(QString::fromStdString((folder / name).string()), "PNG");
}

} // namespace dialogtest
