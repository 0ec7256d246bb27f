// The program's timers and event loop: QTimer ticks and control messages posted from a worker
// thread reach the application's thread through the Qt event loop.
#include "app/core/qt_services.h"

#include "platform/control_window.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace pellucor;

namespace {

// Runs the Qt loop until `done` or a generous hang guard passes.
template <class Pred> bool spinUntil(Pred done)
{
    const auto guard = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done() && std::chrono::steady_clock::now() < guard)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

TEST(QtServices, TimersTickStopAndControlMessagesArriveOnTheApplicationThread)
{
    int argc = 1;
    char name[] = "qt_services_test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    QtTimerFactory factory;
    int ticks = 0;
    auto timer = factory.create(1, true, [&] { ++ticks; });
    EXPECT_TRUE(timer->enabled());
    ASSERT_TRUE(spinUntil([&] { return ticks >= 3; }));
    timer->setEnabled(false);
    EXPECT_FALSE(timer->enabled());
    const int stoppedAt = ticks;
    QCoreApplication::processEvents();
    EXPECT_EQ(ticks, stoppedAt);
    timer->setInterval(250);
    EXPECT_EQ(timer->interval(), 250);

    installControlMessagePump();
    std::thread::id handledOn;
    tessivor::ControlWindow window([&](const tessivor::WindowMessage&, std::intptr_t*) {
        handledOn = std::this_thread::get_id();
        return true;
    });
    std::thread worker([&] { tessivor::postMessage(window.handle(), tessivor::WM_USER + 1, 0, 0); });
    worker.join();
    ASSERT_TRUE(spinUntil([&] { return handledOn != std::thread::id(); }));
    EXPECT_EQ(handledOn, std::this_thread::get_id());
    tessivor::messageLoop::setWakeHook({});
}

} // namespace
