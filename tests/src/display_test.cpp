// The display thread and live-view control end to end: simulated camera,
// software VA driver, private X server. The test thread plays the main thread.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <utility>

#include "display.h"
#include "rate_stats.h"
#include "setup.h"
#include "test_support.h"
#include "zebsim.h"

namespace {

class DisplayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setvbuf(stdout, nullptr, _IONBF, 0);
        open_test_display();
        observer = XOpenDisplay(nullptr);  // the server's view, kept apart from the viewer's connection
        zebsim::reset();
        max_width = max_height = 0;
        has_derive = true;
    }

    void TearDown() override
    {
        stopLive();
        joinLive();
        setupCam();  // frees bitmaps, then close the handle it opens
        stopLive();
        for (const char* name : {"SOFTVA_FAIL", "SOFTVA_FORMATS"})
            set_env(name, nullptr);
        XCloseDisplay(observer);
        close_test_display();
    }

    void start()
    {
        setupCam();
        ASSERT_NE(hMV, INVALID_HANDLE_VALUE);
        lps->show = 1;
        startLive();
    }

    // The video window, whatever its title says by now.
    Window video_window()
    {
        Window found = 0;
        wait_until([&] {
            auto named = windows_named(observer, "Tolmirex");
            auto titled = windows_with_name_prefix(observer, "Video FPS: ");
            named.insert(named.end(), titled.begin(), titled.end());
            if (named.size() == 1)
                found = named[0];
            return found != 0;
        });
        return found;
    }

    int video_windows()
    {
        return int(windows_named(observer, "Tolmirex").size() +
                   windows_with_name_prefix(observer, "Video FPS: ").size());
    }

    bool window_has_size(Window w, int width, int height)
    {
        return wait_until([&] {
            XWindowAttributes a;
            return XGetWindowAttributes(observer, w, &a) && a.width == width && a.height == height;
        });
    }

    bool control_handle_closed()
    {
        return wait_until([] {
            std::lock_guard<std::mutex> lock(hMV_mutex);
            return hMV == INVALID_HANDLE_VALUE;
        });
    }

    bool live_view_ended()
    {
        return wait_until([&] { return video_windows() == 0; }) && control_handle_closed();
    }

    Display* observer = nullptr;
};

TEST_F(DisplayTest, FirstRedrawSizesTheSurfaceAndTheWindow)
{
    testing::internal::CaptureStdout();
    start();
    const Window win = video_window();
    ASSERT_NE(win, 0u);
    EXPECT_TRUE(window_has_size(win, 640, 512));  // 1280 x 1024 halved to fit 80 % of 1920 x 1080
    stopLive();
    joinLive();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Image size changed to 1280x1024\nWindow size changed to 640x512\n"), std::string::npos)
        << out;
    EXPECT_EQ(video_windows(), 0);
}

TEST_F(DisplayTest, HeightOnlyChangeRecreatesTheSurface)
{
    testing::internal::CaptureStdout();
    start();
    const Window win = video_window();
    ASSERT_TRUE(window_has_size(win, 640, 512));
    {
        std::lock_guard<std::mutex> lock(hMV_mutex);
        ASSERT_EQ(cqSetMode(hMV, 10000, 0, 0, 0, 1280, 720), 0);
    }
    EXPECT_TRUE(window_has_size(win, 1280, 720));  // fits within 80 % of the screen as it is
    stopLive();
    joinLive();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Image size changed to 1280x720\nWindow size changed to 1280x720\n"), std::string::npos)
        << out;
}

TEST_F(DisplayTest, WindowLimitsAreHonoured)
{
    max_width = 800;
    start();
    EXPECT_TRUE(window_has_size(video_window(), 800, 640));
    stopLive();
    joinLive();

    max_width = 800;
    max_height = 600;
    start();
    EXPECT_TRUE(window_has_size(video_window(), 750, 600));
}

TEST_F(DisplayTest, TitleCarriesTheStatistics)
{
    start();
    std::string first;
    ASSERT_TRUE(wait_until([&] {
        auto titled = windows_with_name_prefix(observer, "Video FPS: ");
        return !titled.empty() && !(first = window_name(observer, titled[0])).empty();
    }));
    unsigned long frames1 = 0, lost = 0;
    double video_fps = 0, fps = 0;
    ASSERT_EQ(sscanf(first.c_str(), "Video FPS: %lf; Acquisition: frm %lu skip %lu fps %lf", &video_fps, &frames1,
                     &lost, &fps),
              4)
        << first;
    EXPECT_GT(video_fps, 0.0);
    EXPECT_GT(fps, 0.0);
    std::string later;
    ASSERT_TRUE(wait_until([&] {
        auto titled = windows_with_name_prefix(observer, "Video FPS: ");
        return !titled.empty() && (later = window_name(observer, titled[0])) != first;
    }));
    unsigned long frames2 = 0;
    ASSERT_EQ(sscanf(later.c_str(), "Video FPS: %*f; Acquisition: frm %lu", &frames2), 1);
    EXPECT_GT(frames2, frames1);
}

TEST_F(DisplayTest, QueuedFrameNoticesMergeIntoOneRedraw)
{
    start();
    const Window win = video_window();
    ASSERT_TRUE(wait_until([] { return lps->bHaveData != 0; }));
    zebsim::set_paused(true);
    // Quiet: no frame notices any more.
    unsigned long redraws = total_redraws();
    ASSERT_TRUE(wait_until([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const unsigned long now = total_redraws();
        return std::exchange(redraws, now) == now;
    }));

    auto send_expose = [&](int count) {
        XEvent expose{};
        expose.xexpose.type = Expose;
        expose.xexpose.window = win;
        expose.xexpose.count = count;
        XSendEvent(observer, win, False, ExposureMask, &expose);
    };
    send_expose(2);  // more to come: no redraw
    XFlush(observer);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(total_redraws(), redraws);

    for (int i = 0; i < 6; ++i)
        send_expose(0);
    XFlush(observer);
    ASSERT_TRUE(wait_until([&] { return total_redraws() > redraws; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    // The first notice redraws and takes the ones queued behind it along; at
    // most one more redraw for notices that arrived during that one.
    EXPECT_LE(total_redraws() - redraws, 2u);
}

TEST_F(DisplayTest, FiveFailedDrawsInARowEndLiveView)
{
    set_env("SOFTVA_FAIL", "put_surface");
    testing::internal::CaptureStderr();
    start();
    EXPECT_TRUE(live_view_ended());
    joinLive();
    const std::string errors = testing::internal::GetCapturedStderr();
    size_t reports = 0;
    for (size_t at = errors.find("drawImage:vaPutSurface ("); at != std::string::npos;
         at = errors.find("drawImage:vaPutSurface (", at + 1))
        ++reports;
    EXPECT_EQ(reports, 5u) << errors;
    EXPECT_EQ(lps->bRun, 0);
    EXPECT_EQ(zebsim::open_handles(), 0);
}

TEST_F(DisplayTest, FourFailuresThenASuccessKeepGoing)
{
    set_env("SOFTVA_FAIL", "put_surface@1x4,sync@2x4");
    start();
    // The fifth draw succeeds, then the next four fail in vaSyncSurface.
    ASSERT_TRUE(wait_until([] { return lps->dwNframes > 60; }));
    EXPECT_EQ(lps->bRun, 1);
    EXPECT_EQ(video_windows(), 1);
}

TEST_F(DisplayTest, FailedSurfaceCreationSwitchesLiveViewOffUntilSwitchedOn)
{
    set_env("SOFTVA_FAIL", "create_surfaces@1x1");
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    start();
    ASSERT_TRUE(wait_until([] { return lps->show == 0; }));
    lps->show = 1;
    ASSERT_TRUE(wait_until([] { return lps->dwNframes > 30; }));
    stopLive();
    joinLive();
    const std::string errors = testing::internal::GetCapturedStderr();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(errors.find("videoDisplay:vaCreateSurfaces ("), std::string::npos) << errors;
    EXPECT_EQ(lps->show, 1);
    size_t changes = 0;
    for (size_t at = out.find("Image size changed to 1280x1024"); at != std::string::npos;
         at = out.find("Image size changed to 1280x1024", at + 1))
        ++changes;
    EXPECT_EQ(changes, 2u) << out;
}

TEST_F(DisplayTest, ClosingTheWindowEndsAcquisitionAndClosesTheHandle)
{
    start();
    const Window win = video_window();
    ASSERT_TRUE(wait_until([] { return lps->bHaveData != 0; }));
    send_close_request(observer, win);
    EXPECT_TRUE(live_view_ended());
    joinLive();
    EXPECT_EQ(lps->bRun, 0);
    EXPECT_EQ(zebsim::open_handles(), 0);
}

TEST_F(DisplayTest, LeftoverEventsDoNotEndANewDisplayThread)
{
    // An end notice of an earlier worker still queued on the connection.
    XEvent stale{};
    stale.xdestroywindow.type = DestroyNotify;
    stale.xdestroywindow.display = x11_display;
    XPutBackEvent(x11_display, &stale);
    start();
    ASSERT_NE(video_window(), 0u);
    ASSERT_TRUE(wait_until([] { return lps->dwNframes > 30; }));
    EXPECT_EQ(video_windows(), 1);
    EXPECT_EQ(lps->bRun, 1);
}

TEST_F(DisplayTest, StartTwiceGivesOneWindowAndStopTwiceClosesOnce)
{
    start();
    startLive();
    ASSERT_NE(video_window(), 0u);
    ASSERT_TRUE(wait_until([] { return lps->bHaveData != 0; }));
    EXPECT_EQ(video_windows(), 1);

    zebsim::clear_calls();
    stopLive();
    stopLive();
    joinLive();
    // One close for the control handle, one for the worker's own.
    EXPECT_EQ(zebsim::count("cqkUninitialize"), 2u);
    EXPECT_EQ(lps->bRun, 0);
    EXPECT_EQ(lps->bHaveData, 0);
}

TEST_F(DisplayTest, DriverWithoutNv12OrYv12IsReported)
{
    set_env("SOFTVA_FORMATS", "i420");
    testing::internal::CaptureStderr();
    start();
    joinLive();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "VAAPI implementation doesn't support NV12 image format!\n");
    EXPECT_EQ(video_windows(), 0);
}

TEST_F(DisplayTest, FailedVaStartIsReportedAndStartsNothing)
{
    for (const char* fault : {"init", "query_image_formats"}) {
        SCOPED_TRACE(fault);
        set_env("SOFTVA_FAIL", fault);
        testing::internal::CaptureStderr();
        start();
        joinLive();
        const std::string errors = testing::internal::GetCapturedStderr();
        const std::string call = fault == std::string("init") ? "vaInitialize" : "vaQueryImageFormats";
        EXPECT_NE(errors.find("videoDisplay:" + call + " ("), std::string::npos) << errors;
        EXPECT_EQ(video_windows(), 0);
        EXPECT_EQ(lps->bRun, 0);
        stopLive();
    }
}

TEST_F(DisplayTest, StopBeforeTheWorkerStartsLetsTheJoinReturn)
{
    start();
    stopLive();  // most likely while the display thread is still starting
    joinLive();
    EXPECT_EQ(lps->bRun, 0);
    EXPECT_EQ(zebsim::open_handles(), 0);
    EXPECT_EQ(video_windows(), 0);
}

TEST_F(DisplayTest, StartStopCyclesLeaveNothingBehind)
{
    setupCam();
    int threads = 0;  // counted after the first cycle, once the runtime's own threads exist
    for (int cycle = 0; cycle < 50; ++cycle) {
        SCOPED_TRACE(cycle);
        lps->show = 1;
        lps->color = cycle % 2;
        startLive();
        ASSERT_TRUE(wait_until([] { return lps->bHaveData != 0; }));
        stopLive();
        joinLive();
        if (cycle == 0)
            threads = thread_count();
    }
    EXPECT_EQ(video_windows(), 0);
    EXPECT_EQ(thread_count(), threads);
    EXPECT_EQ(zebsim::open_handles(), 0);
    EXPECT_TRUE(bitmap_slot_empty());
    EXPECT_EQ(lps->sbmp.bp, nullptr);
}

}  // namespace
