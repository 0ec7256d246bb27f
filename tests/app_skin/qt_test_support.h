// Shared pieces of the Qt layer's tests: one QApplication for the whole test program (made on
// first use, on the offscreen platform unless QT_QPA_PLATFORM says otherwise), the shipped
// language folder and the folder the tests write their screenshots into.
#pragma once

#include "../app_core/test_folder.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QString>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>


inline QApplication& testApp()
{
    static QApplication* app = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "pellucor-skin-tests";
        static char* argv[] = {name, nullptr};
        return new QApplication(argc, argv); // kept to the end of the process
    }();
    return *app;
}

inline std::filesystem::path shippedLangFolder()
{
    return std::filesystem::path(TESSIVOR_SOURCE_DIR) / "data" / "lang";
}

// Screenshots of the tests, kept after the run for people to look at.
inline std::filesystem::path screenshotFolder()
{
    const auto folder = std::filesystem::path(TESSIVOR_BINARY_DIR) / "test-output" / "app_skin";
    std::filesystem::create_directories(folder);
    return folder;
}

inline bool saveScreenshot(const QImage& image, const std::string& name)
{
    return image.save(QString::fromStdString((screenshotFolder() / name).string()), "PNG");
}

// Runs the event loop until `done` holds or `limitMs` passes; the limit only stops a test that
// would otherwise hang, it measures nothing.
inline bool waitUntil(const std::function<bool()>& done, int limitMs = 20000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > limitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}
