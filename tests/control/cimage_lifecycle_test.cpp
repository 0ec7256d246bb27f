#include "control/cimage.h"
#include "event_recorder.h"
#include "platform/clock.h"
#include "platform/frame_target.h"
#include "platform/worker_thread.h"
#include "refused_port.h"
#include "tests/control/cimage_peer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <stdexcept>

using namespace tessivor;
using namespace tessivor::testing;
using namespace std::chrono_literals;

namespace {

class Lifecycle : public ::testing::Test
{
protected:
    void SetUp() override
    {
        control = std::make_unique<CImage>();
        // The image loop connects: to a loopback port that refuses, never to the default camera.
        control->put_RemoteHost(RefusedPort::kAddress);
        control->put_RemotePort(camera.port());
        recorder = std::make_shared<EventRecorder>();
        std::uint32_t cookie = 0;
        ASSERT_EQ(control->events().advise(recorder, &cookie), S_OK);
    }

    std::int32_t status()
    {
        std::int32_t s = -1;
        control->get_Status(&s);
        return s;
    }

    RefusedPort camera;
    std::unique_ptr<CImage> control;
    std::shared_ptr<EventRecorder> recorder;
};

int threadCount()
{
    int n = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator("/proc/self/task"))
        ++n;
    return n;
}

TEST_F(Lifecycle, WorkerEventsFireOnTheHostThreadInPostingOrder)
{
    std::thread worker([&] {
        for (int code : {2, 6, 28, 6, 21})
            control->PostImageEvent(code);
    });
    worker.join();
    EXPECT_TRUE(recorder->events.empty()); // nothing fires until the host pumps
    messageLoop::pump();
    EXPECT_EQ(recorder->imageCodes(), (std::vector<std::int32_t>{2, 6, 28, 6, 21}));
    for (const auto& e : recorder->events)
        EXPECT_EQ(e.thread, std::this_thread::get_id());
}

TEST_F(Lifecycle, RunTwiceFiresAlreadyRunningAndStartsNothing)
{
    std::int32_t first = 0, second = 0;
    ASSERT_EQ(control->Run(&first), S_OK);
    EXPECT_NE(first, 0);
    EXPECT_EQ(recorder->imageCodes(), (std::vector<std::int32_t>{1})); // fired inside the call
    ASSERT_TRUE(pumpUntil([&] { return status() == 2; }));

    const int threads = threadCount();
    ASSERT_EQ(control->Run(&second), S_OK);
    EXPECT_EQ(second, first);
    EXPECT_EQ(recorder->imageCodes(), (std::vector<std::int32_t>{1, 5}));
    EXPECT_EQ(threadCount(), threads);

    control->Stop();
    ASSERT_TRUE(pumpUntil([&] {
        return status() == 0 && !recorder->imageCodes().empty() && recorder->imageCodes().back() == 0;
    }));
}

TEST_F(Lifecycle, RunRefusesWhileTheLoopHasNotSetStatusYet)
{
    std::int32_t h = 0;
    ASSERT_EQ(control->Run(&h), S_OK);
    // Status may still read 0 here; the living thread alone makes a second Run refuse.
    std::int32_t again = 0;
    control->Run(&again);
    EXPECT_EQ(recorder->imageCodes(), (std::vector<std::int32_t>{1, 5}));
    control->Stop();
    // Code 0 is posted just before Status becomes 0, and the thread returns after that.
    ASSERT_TRUE(pumpUntil([&] {
        return status() == 0 && recorder->imageCodes().back() == 0 && !control->ImageThreadRunning();
    }));
    // Once it has ended, Run starts again.
    ASSERT_EQ(control->Run(&again), S_OK);
    EXPECT_EQ(recorder->imageCodes().back(), 1);
}

TEST_F(Lifecycle, StopOnAnIdleControlReturnsAtOnceWithoutEvents)
{
    const auto start = std::chrono::steady_clock::now();
    control->Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s); // a hang guard: the stop-and-wait is skipped
    messageLoop::waitAndPump(50ms);
    EXPECT_TRUE(recorder->events.empty());
    EXPECT_EQ(status(), 0);
}

TEST_F(Lifecycle, StopWhileStreamingEndsTheLoopWithCodeZeroThenStatusZero)
{
    std::int32_t h = 0;
    control->Run(&h);
    ASSERT_TRUE(pumpUntil([&] { return status() == 2; }));
    const auto start = std::chrono::steady_clock::now();
    control->Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s); // Stop does not wait (a hang guard)
    ASSERT_TRUE(
        pumpUntil([&] { return !recorder->imageCodes().empty() && recorder->imageCodes().back() == 0; }));
    // The loop sets Status to 0 right after it posted code 0.
    EXPECT_TRUE(pumpUntil([&] { return status() == 0; }));
}

TEST_F(Lifecycle, CloseMessageStopsStreamingAndKeepsTheWindow)
{
    std::int32_t h = 0;
    control->Run(&h);
    ASSERT_TRUE(pumpUntil([&] { return status() == 2; }));
    ASSERT_TRUE(postMessage(control->windowHandle(), WM_CLOSE, 0, 0));
    ASSERT_TRUE(pumpUntil([&] { return recorder->imageCodes().back() == 0; }));
    EXPECT_TRUE(postMessage(control->windowHandle(), WM_USER + 100, 0, 0)); // still there
}

TEST_F(Lifecycle, PutNewStatusWithAnOpenFilePostsStoppedAndSetsTheStatus)
{
    CImagePeer::record(*control).m_bAviOpen = 1;
    CImagePeer::record(*control).m_bRecordRequest = 1;
    ASSERT_EQ(control->PutNewStatus(0), S_OK);
    EXPECT_EQ(CImagePeer::record(*control).m_bAviOpen.load(), 0);
    EXPECT_EQ(CImagePeer::record(*control).m_bRecordRequest.load(), 0);
    EXPECT_EQ(CImagePeer::run(*control).m_bEndRun.load(), EndRun::StopRequested);
    messageLoop::pump();
    EXPECT_EQ(recorder->imageCodes(), (std::vector<std::int32_t>{9}));

    ASSERT_EQ(control->PutNewStatus(7), S_OK); // any value; no file, no event
    EXPECT_EQ(status(), 7);
    messageLoop::pump();
    EXPECT_EQ(recorder->imageCodes().size(), 1u);
}

TEST_F(Lifecycle, RecordingRequestFollowsStatus)
{
    control->StartRecording();
    EXPECT_EQ(status(), 3);
    EXPECT_EQ(CImagePeer::record(*control).m_bRecordRequest.load(), 1);
    CImagePeer::record(*control).m_bRecordFirstStart = 0;
    CImagePeer::run(*control).m_nStatus = 4;
    control->StartRecording(); // already recording: nothing changes
    EXPECT_EQ(CImagePeer::record(*control).m_bRecordFirstStart.load(), 0);
    control->StopRecording();
    EXPECT_EQ(CImagePeer::record(*control).m_bRecordRequest.load(), 0);
    CImagePeer::run(*control).m_nStatus = 0;
}

// A recording request made while no image loop runs never keeps Run from starting: Stop clears
// the Status it set, and Run without a Stop starts the loop that then serves it.
TEST_F(Lifecycle, ARecordingRequestOnAnIdleControlNeverBlocksRun)
{
    for (const bool stopFirst : {true, false}) {
        SCOPED_TRACE(stopFirst ? "Stop, then Run" : "Run at once");
        recorder->events.clear();
        control->StartRecording();
        EXPECT_EQ(status(), 3);
        if (stopFirst) {
            control->Stop();
            EXPECT_EQ(status(), 0);
            EXPECT_EQ(CImagePeer::record(*control).m_bRecordRequest.load(), 0);
        }
        std::int32_t h = 0;
        ASSERT_EQ(control->Run(&h), S_OK);
        EXPECT_EQ(recorder->imageCodes(), (std::vector<std::int32_t>{1}));
        EXPECT_EQ(CImagePeer::record(*control).m_bRecordRequest.load(), stopFirst ? 0 : 1);
        control->Stop();
        ASSERT_TRUE(pumpUntil([&] {
            return status() == 0 && recorder->imageCodes().back() == 0 && !control->ImageThreadRunning();
        }));
    }
}

// The control's waits in fast-forward: a sleep moves the tick count on at once.
class FastForwardClock final : public Clock
{
public:
    std::uint32_t tickCount() override { return ticks.load(); }
    void sleepMs(std::uint32_t ms) override
    {
        ticks += ms;
        std::this_thread::yield();
    }
    std::time_t now() override { return 1796712534 + ticks.load() / 1000; }

    std::atomic<std::uint32_t> ticks{1000};
};

// Failed rounds of a camera that refuses close an open recording with 1000 once they times
// TimeOut pass 180 seconds; with TimeOut 0 that never happens, however many rounds fail.
TEST_F(Lifecycle, FailedRoundsCloseAnOpenRecordingUnlessTimeOutIsZero)
{
    FastForwardClock clock;
    installClock(&clock);
    struct Restore // the control's threads end before the clock goes, whatever happens below
    {
        std::unique_ptr<CImage>& control;
        ~Restore()
        {
            control.reset();
            installClock(nullptr);
        }
    } restore{control};
    const struct
    {
        std::int32_t timeOut;
        bool closes;
    } cases[] = {{3, true}, {1, true}, {0, false}};
    // Each round is a real refused connect: how many a second brings depends on the machine, so
    // the waits are for the rounds, with room for a slow one.
    constexpr auto kRoundsLimit = 180s;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.timeOut);
        control->put_TimeOut(c.timeOut);
        recorder->events.clear();
        CImagePeer::record(*control).m_bRecordRequest.store(1); // as if a file were open
        CImagePeer::record(*control).m_bAviOpen.store(1);
        std::int32_t h = 0;
        ASSERT_EQ(control->Run(&h), S_OK);
        auto sawTimeoutClose = [&] {
            const auto codes = recorder->imageCodes();
            return std::find(codes.begin(), codes.end(), EVT_RECORD_TIMEOUT) != codes.end();
        };
        if (c.closes) {
            EXPECT_TRUE(pumpUntil(sawTimeoutClose, kRoundsLimit));
            EXPECT_EQ(CImagePeer::record(*control).m_bAviOpen.load(), 0);
        } else {
            // 300 rounds of which none was taken back: the limit was never passed.
            EXPECT_TRUE(pumpUntil([&] { return CImagePeer::run(*control).m_nFailedRounds.load() >= 300; },
                                  kRoundsLimit));
            EXPECT_FALSE(sawTimeoutClose());
            EXPECT_EQ(CImagePeer::record(*control).m_bAviOpen.load(), 1);
        }
        control->Stop();
        ASSERT_TRUE(pumpUntil([&] { return !control->ImageThreadRunning(); }));
    }
}

TEST_F(Lifecycle, WindowMessagesBecomeEvents)
{
    const WindowHandle w = control->windowHandle();
    postMessage(w, WM_ENDLOGINCAMERA, 1, 55); // non-zero wParam: nothing
    postMessage(w, WM_ENDLOGINCAMERA, 0, -1);
    postMessage(w, WM_LBUTTONDBLCLK, 0x0008, makeLParam(65535, 12));
    postMessage(w, WM_RBUTTONUP, 0, makeLParam(1, 65535));
    postMessage(w, WM_LBUTTONDOWN, 1, makeLParam(3, 4));
    postMessage(w, WM_ENDPROBEDEVICE, 3, 0);
    postMessage(w, WM_ENDSEARCHDEVICE, 2, 0);
    postMessage(w, WM_ENDPTCMD, 1, 0);
    CImagePeer::setImageValues(*control, {1, 2, 3, 4, 5, 6, -7});
    postMessage(w, WM_ENDGETIMAGECONFIG, 1, 0);
    postMessage(w, WM_USER + 6, 0, 0); // unused: nothing
    messageLoop::pump();

    const std::vector<std::pair<DispId, std::vector<std::int32_t>>> expected = {
        {DISPID_EndLoginCamera, {-1}},
        {DISPID_LButtonDblClk, {65535, 12, 8}},
        {DISPID_RButtonUp, {1, 65535, 0}},
        {DISPID_LButtonDown, {3, 4, 1}},
        {DISPID_EndProbeDevice, {3}},
        {DISPID_EndSearchDevice, {2}},
        {DISPID_EndPTCmd, {1}},
        {DISPID_EndGetImageConfig, {1, 1, 2, 3, 4, 5, 6, -7}},
    };
    ASSERT_EQ(recorder->events.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(recorder->events[i].id, expected[i].first) << i;
        EXPECT_EQ(recorder->events[i].args, expected[i].second) << i;
    }
}

TEST_F(Lifecycle, FireMembersFireInsideTheCall)
{
    control->_OnGetImageEvents(1000);
    control->_OnProbeDevice(-1);
    control->_OnSearchDevice(4);
    ASSERT_EQ(recorder->events.size(), 3u);
    EXPECT_EQ(recorder->events[0].args, std::vector<std::int32_t>{1000});
    EXPECT_EQ(recorder->events[1].id, DISPID_EndProbeDevice);
    EXPECT_EQ(recorder->events[2].id, DISPID_EndSearchDevice);
}

// A sink that fails must not keep the event from the sinks advised after it.
class ThrowingSink : public IDispatch
{
public:
    HRESULT getIdOfName(std::string_view, DispId*) override { return DISP_E_UNKNOWNNAME; }
    HRESULT invoke(DispId, InvokeKind, DispParams&, Variant*) override
    {
        throw std::runtime_error("broken host");
    }
};

TEST_F(Lifecycle, AFailingSinkDoesNotStopTheNext)
{
    auto control2 = std::make_unique<CImage>();
    auto after = std::make_shared<EventRecorder>();
    std::uint32_t c = 0;
    control2->events().advise(std::make_shared<ThrowingSink>(), &c);
    control2->events().advise(after, &c);
    control2->PostImageEvent(6);
    messageLoop::pump();
    EXPECT_EQ(after->imageCodes(), std::vector<std::int32_t>{6});
}

TEST_F(Lifecycle, FailedThreadStartsAreReported)
{
    failThreadStartsForTesting(1);
    std::int32_t h = 123;
    control->Run(&h);
    EXPECT_EQ(h, 0);
    EXPECT_EQ(recorder->imageCodes(), std::vector<std::int32_t>{4});

    // The e-mail start asked for by the frame pipeline: 18, and the e-mail slot is free again.
    CImagePeer::run(*control).m_bMailIdle = 0;
    failThreadStartsForTesting(1);
    postMessage(control->windowHandle(), WM_STARTMAIL, 0, 0);
    messageLoop::pump(); // handles WM_STARTMAIL, then the 18 it posted
    EXPECT_EQ(recorder->imageCodes(), (std::vector<std::int32_t>{4, 18}));
    EXPECT_EQ(CImagePeer::run(*control).m_bMailIdle.load(), 1);

    failThreadStartsForTesting(1);
    std::int32_t v = 5;
    control->SendEmail(&v);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(CImagePeer::run(*control).m_bMailBusy.load(), 0);
    messageLoop::pump();
    EXPECT_EQ(recorder->imageCodes().back(), 18);
}

TEST_F(Lifecycle, SendEmailStartsOneJobAndNothingWhileStopping)
{
    std::int32_t v = 0;
    CImagePeer::run(*control).m_bEndRun.store(EndRun::StopRequested);
    control->SendEmail(&v);
    EXPECT_EQ(v, 0);
    CImagePeer::run(*control).m_bEndRun.store(EndRun::Run);
    control->SendEmail(&v);
    EXPECT_EQ(v, -1);
    ASSERT_TRUE(pumpUntil([&] { return CImagePeer::run(*control).m_bMailBusy.load() == 0; }));
    messageLoop::waitAndPump(20ms);
    auto codes = recorder->imageCodes();
    ASSERT_FALSE(codes.empty());
    EXPECT_EQ(codes.front(), 16);
}

TEST_F(Lifecycle, DestroyedWhileStreamingReturnsOnlyAfterTheLoopEnded)
{
    const int before = threadCount();
    std::int32_t h = 0;
    control->Run(&h);
    ASSERT_TRUE(pumpUntil([&] { return status() == 2; }));
    EXPECT_EQ(threadCount(), before + 1);
    control.reset();
    EXPECT_EQ(threadCount(), before);
}

// Release waits only for threads that live: a Status or busy word that no thread will change
// any more must not hold the host's thread up.
TEST_F(Lifecycle, ReleaseAfterAnySequenceOfMembersIsQuick)
{
    struct Case
    {
        const char* name;
        std::function<void(CImage&)> steps;
    };
    auto run = [](CImage& c) {
        std::int32_t h = 0;
        c.Run(&h);
    };
    const std::vector<Case> cases = {
        {"Stop on an idle control", [](CImage& c) { c.Stop(); }},
        {"PutNewStatus 3 after Stop",
         [](CImage& c) {
             c.Stop();
             c.PutNewStatus(3);
         }},
        {"PutNewStatus 4 on an idle control", [](CImage& c) { c.PutNewStatus(4); }},
        {"StartRecording after Stop",
         [](CImage& c) {
             c.Stop();
             c.StartRecording();
         }},
        {"Run then Stop at once",
         [&](CImage& c) {
             run(c);
             c.Stop();
         }},
        {"Run, PutNewStatus 3, Stop",
         [&](CImage& c) {
             run(c);
             c.PutNewStatus(3);
             c.Stop();
         }},
        {"Run, Stop, PutNewStatus 2",
         [&](CImage& c) {
             run(c);
             c.Stop();
             c.PutNewStatus(2);
         }},
        {"busy words left set without their threads",
         [](CImage& c) {
             CImagePeer::run(c).m_bMailBusy.store(1);
             CImagePeer::run(c).m_bImageConfigBusy.store(1);
             CImagePeer::run(c).m_bPanTiltBusy.store(1);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto subject = std::make_unique<CImage>();
        subject->put_RemoteHost(RefusedPort::kAddress);
        subject->put_RemotePort(camera.port());
        c.steps(*subject);
        messageLoop::waitAndPump(50ms);
        const auto start = std::chrono::steady_clock::now();
        subject.reset();
        EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    }
}

TEST_F(Lifecycle, IdleDrawingFillsTheBackgroundAndWritesTheLabel)
{
    auto target = frameTargets::find(control->windowHandle());
    ASSERT_TRUE(target);
    control->put_BKText("Front door");
    control->put_BackColor(OleColor(0x00332211));
    postMessage(control->windowHandle(), WM_PAINT, 0, 0);
    messageLoop::pump();
    auto pic = target->snapshot();
    EXPECT_EQ(pic.pixel(pic.width - 1, pic.height - 1), (Rgb{0x11, 0x22, 0x33}));
    ASSERT_EQ(pic.texts.size(), 1u);
    EXPECT_EQ(pic.texts[0].text, "Front door");
    EXPECT_EQ(pic.texts[0].colour, (Rgb{240, 250, 0}));
    EXPECT_EQ(control->window().send(WM_ERASEBKGND, 0, 0), 1);
}

} // namespace
