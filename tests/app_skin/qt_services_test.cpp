// The program's timers and event loop: QTimer ticks and control messages posted from a worker
// thread reach the application's thread through the Qt event loop.
#include "app/skin/message_pump.h"
#include "app/skin/ui_services.h"
#include "platform/control_window.h"
#include "qt_test_support.h"

#include <thread>

using namespace pellucor;

namespace {

TEST(QtServices, TimersTickStopAndControlMessagesArriveOnTheApplicationThread)
{
    testApp();

    QtTimerFactory factory;
    int ticks = 0;
    auto timer = factory.create(1, true, [&] { ++ticks; });
    EXPECT_TRUE(timer->enabled());
    ASSERT_TRUE(waitUntil([&] { return ticks >= 3; }));
    timer->setEnabled(false);
    EXPECT_FALSE(timer->enabled());
    const int stoppedAt = ticks;
    QCoreApplication::processEvents();
    EXPECT_EQ(ticks, stoppedAt);
    timer->setInterval(250);
    EXPECT_EQ(timer->interval(), 250);

    MessagePump pump;
    std::thread::id handledOn;
    tessivor::ControlWindow window([&](const tessivor::WindowMessage&, std::intptr_t*) {
        handledOn = std::this_thread::get_id();
        return true;
    });
    std::thread worker([&] { tessivor::postMessage(window.handle(), tessivor::WM_USER + 1, 0, 0); });
    worker.join();
    ASSERT_TRUE(waitUntil([&] { return handledOn != std::thread::id(); }));
    EXPECT_EQ(handledOn, std::this_thread::get_id());
}

// The engine lets events run between its stop attempts: that alone must deliver what the
// controls' workers posted, pump or no pump.
TEST(QtServices, LettingEventsRunDeliversPendingControlMessages)
{
    testApp();
    QtUiServices ui;
    int handled = 0;
    tessivor::ControlWindow window([&](const tessivor::WindowMessage& msg, std::intptr_t*) {
        handled += msg.message == tessivor::WM_USER + 3 ? 1 : 0;
        return true;
    });
    std::thread worker([&] { tessivor::postMessage(window.handle(), tessivor::WM_USER + 3, 0, 0); });
    worker.join();
    EXPECT_EQ(handled, 0);
    ui.processEvents();
    EXPECT_EQ(handled, 1);
}

} // namespace
