// The display thread and live-view control end to end: simulated camera,
// software VA driver, private X server. The test thread plays the main thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <utility>

#include <X11/Xutil.h>  // after gtest: it defines None

#include "display.h"
#include "frame_handover.h"
#include "rate_stats.h"
#include "setup.h"
#include "sim_test_support.h"
#include "test_support.h"
#include "zebsim.h"

namespace {

// The display thread's clock in these tests: real time, or a time the test
// moves by hand while `clock_held`. Each read is counted, and notes the
// redraws counted by then, so a test can see the loop read the start of its
// next pass.
std::atomic<bool> clock_held{false};
std::atomic<DWORD> fake_ms{100000};
std::atomic<unsigned long> clock_reads{0};
std::atomic<unsigned long> redraws_at_clock_read{0};
DWORD test_clock() {
    redraws_at_clock_read = total_redraws();
    clock_reads.fetch_add(1);
    if (clock_held) return fake_ms;
    return DWORD(std::chrono::duration_cast<std::chrono::milliseconds>(
                     std::chrono::steady_clock::now().time_since_epoch())
                     .count());
}

class DisplayTest : public ::testing::Test {
protected:
    void SetUp() override {
        setvbuf(stdout, nullptr, _IONBF, 0);
        clock_held = false;
        set_millisecond_clock(test_clock);
        open_test_display();
        observer = XOpenDisplay(nullptr);  // the server's view, kept apart from the viewer's connection
        zebsim::reset();
        max_width = max_height = 0;
        has_derive = true;
    }

    void TearDown() override {
        stopLive();
        joinLive();
        setupCam();  // frees bitmaps, then close the handle it opens
        stopLive();
        for (const char* name : {"SOFTVA_FAIL", "SOFTVA_FORMATS"}) set_env(name, nullptr);
        set_millisecond_clock(nullptr);
        clock_held = false;
        XCloseDisplay(observer);
        close_test_display();
    }

    void start() {
        setupCam();
        ASSERT_NE(hMV, INVALID_HANDLE_VALUE);
        lps->show = 1;
        startLive();
    }

    // The video window, whatever its title says by now.
    Window video_window() {
        Window found = 0;
        wait_until([&] {
            auto named = windows_named(observer, "Tolmirex");
            auto titled = windows_with_name_prefix(observer, "Video FPS: ");
            named.insert(named.end(), titled.begin(), titled.end());
            if (named.size() == 1) found = named[0];
            return found != 0;
        });
        return found;
    }

    int video_windows() {
        return int(windows_named(observer, "Tolmirex").size() +
                   windows_with_name_prefix(observer, "Video FPS: ").size());
    }

    bool window_has_size(Window w, int width, int height) {
        return wait_until([&] {
            XWindowAttributes a;
            return XGetWindowAttributes(observer, w, &a) && a.width == width && a.height == height;
        });
    }

    // A new region for the running camera, through the control handle.
    int set_region(DWORD cx, DWORD cy) {
        std::lock_guard<std::mutex> lock(hMV_mutex);
        return cqSetMode(hMV, 10000, 0, 0, 0, cx, cy);
    }

    bool control_handle_closed() {
        return wait_until([] {
            std::lock_guard<std::mutex> lock(hMV_mutex);
            return hMV == INVALID_HANDLE_VALUE;
        });
    }

    bool live_view_ended() {
        return wait_until([&] { return video_windows() == 0; }) && control_handle_closed();
    }

    // Passes of the display loop so far: each reads the clock once at its
    // start, and once more when it redraws.
    unsigned long loop_passes() { return clock_reads - total_redraws(); }

    // Waits until the display thread has taken every event sent from the
    // observer so far. False when it has not within the time.
    //
    // Each marker is an event the thread takes without redrawing, and a wait
    // ends at the first pass that did not redraw. With the camera silent, the
    // worker's quiet notice (at most one a second) can be that pass, ahead of
    // the events sent before the marker; the second marker's wait then ends
    // only with the first marker taken, or with the second.
    bool display_caught_up(Window win) { return marker_taken(win) && marker_taken(win); }

    bool marker_taken(Window win) {
        const unsigned long passes = loop_passes(), redraws = total_redraws();
        XEvent marker{};
        marker.xclient.type = ClientMessage;
        marker.xclient.window = win;
        marker.xclient.message_type = XInternAtom(observer, "TOLMIREX_TEST_MARKER", False);
        marker.xclient.format = 32;
        XSendEvent(observer, win, False, NoEventMask, &marker);
        XFlush(observer);
        return wait_until([&] { return loop_passes() - passes > total_redraws() - redraws; });
    }

    // With the camera paused: waits until the worker has begun two more
    // waits, so every frame made before the pause was taken and noticed,
    // and the display has taken those notices; the redraw count then.
    unsigned long settled_redraws() {
        const Window win = video_window();
        const size_t waits = zebsim::count("cqWaitForField");
        EXPECT_TRUE(wait_until([&] { return zebsim::count("cqWaitForField") >= waits + 2; }));
        XSync(worker_display, False);  // its last notice is through the server, ahead of the marker
        EXPECT_TRUE(display_caught_up(win));
        return total_redraws();
    }

    // times notices in one write, so they reach the display together.
    void send_expose(Window win, int count, int times = 1) {
        XEvent expose{};
        expose.xexpose.type = Expose;
        expose.xexpose.window = win;
        expose.xexpose.count = count;
        for (int i = 0; i < times; ++i) XSendEvent(observer, win, False, ExposureMask, &expose);
        XFlush(observer);
    }

    // One frame notice and the redraw it causes.
    bool redraw_once(Window win) {
        const unsigned long before = total_redraws();
        send_expose(win, 0);
        return wait_until([&] { return total_redraws() > before; });
    }

    std::string title(Window win) { return window_name(observer, win); }

    // Live view started with these softva faults, run until it ends; what it printed on stderr.
    std::string errors_until_live_view_ends(const char* faults) {
        set_env("SOFTVA_FAIL", faults);
        testing::internal::CaptureStderr();
        start();
        EXPECT_TRUE(live_view_ended());
        joinLive();
        return testing::internal::GetCapturedStderr();
    }

    Display* observer = nullptr;
};

TEST_F(DisplayTest, FirstRedrawSizesTheSurfaceAndTheWindow) {
    testing::internal::CaptureStdout();
    start();
    const Window win = video_window();
    ASSERT_NE(win, 0u);
    EXPECT_TRUE(window_has_size(win, 640, 512));  // 1280 x 1024 halved to fit 80 % of 1920 x 1080
    stopLive();
    joinLive();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Image size changed to 1280x1024\nWindow size changed to 640x512\n"), std::string::npos) << out;
    EXPECT_EQ(video_windows(), 0);
}

TEST_F(DisplayTest, HeightOnlyChangeRecreatesTheSurface) {
    testing::internal::CaptureStdout();
    start();
    const Window win = video_window();
    ASSERT_TRUE(window_has_size(win, 640, 512));
    ASSERT_EQ(set_region(1280, 720), 0);
    EXPECT_TRUE(window_has_size(win, 1280, 720));  // fits within 80 % of the screen as it is
    stopLive();
    joinLive();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Image size changed to 1280x720\nWindow size changed to 1280x720\n"), std::string::npos) << out;
}

TEST_F(DisplayTest, WindowLimitsAreHonoured) {
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

TEST_F(DisplayTest, TitleCarriesTheStatistics) {
    start();
    const Window win = wait_for_window(observer, "Video FPS: ");
    ASSERT_NE(win, 0u);
    const std::string first = title(win);
    Title ticked, later;
    ASSERT_TRUE(parse_title(first, &ticked)) << first;
    EXPECT_GT(ticked.video_fps, 0.0);
    EXPECT_GT(ticked.camera_fps, 0.0);
    std::string text;
    ASSERT_TRUE(wait_until([&] { return (text = title(win)) != first; }));
    ASSERT_TRUE(parse_title(text, &later)) << text;
    EXPECT_GT(later.frames, ticked.frames);
}

TEST_F(DisplayTest, QueuedFrameNoticesMergeIntoOneRedraw) {
    start();
    const Window win = video_window();
    ASSERT_TRUE(wait_until([] { return lps->bHaveData != 0; }));
    zebsim::set_paused(true);
    const unsigned long redraws = settled_redraws();  // quiet: no frame notices any more

    send_expose(win, 2);  // more to come: no redraw
    ASSERT_TRUE(display_caught_up(win));
    EXPECT_EQ(total_redraws(), redraws);

    send_expose(win, 0, 6);
    ASSERT_TRUE(display_caught_up(win));
    // The first notice redraws and takes the ones queued behind it along; at
    // most one more redraw for notices that arrived during that one.
    EXPECT_GE(total_redraws() - redraws, 1u);
    EXPECT_LE(total_redraws() - redraws, 2u);
}

TEST_F(DisplayTest, FiveFailedDrawsInARowEndLiveView) {
    const std::string errors = errors_until_live_view_ends("put_surface");
    EXPECT_EQ(occurrences(errors, "drawImage:vaPutSurface ("), 5u) << errors;
    EXPECT_EQ(lps->bRun, 0);
    EXPECT_EQ(zebsim::open_handles(), 0);
}

TEST_F(DisplayTest, FourFailuresThenASuccessKeepGoing) {
    // Draws 1-4 fail in vaPutSurface, 5 succeeds, 6-9 fail in vaSyncSurface,
    // 10 succeeds, and 11-15 fail again: only that fifth failure in a row
    // ends live view.
    const std::string errors = errors_until_live_view_ends("put_surface@1x4,sync@2x4,put_surface@11x5");
    EXPECT_EQ(occurrences(errors, "drawImage:vaPutSurface ("), 9u) << errors;
    EXPECT_EQ(occurrences(errors, "drawImage:vaSyncSurface ("), 4u) << errors;
    EXPECT_EQ(zebsim::open_handles(), 0);
}

TEST_F(DisplayTest, FailedSurfaceCreationSwitchesLiveViewOffUntilSwitchedOn) {
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

TEST_F(DisplayTest, ClosingTheWindowEndsAcquisitionAndClosesTheHandle) {
    start();
    const Window win = video_window();
    ASSERT_TRUE(wait_until([] { return lps->bHaveData != 0; }));
    send_close_request(observer, win);
    EXPECT_TRUE(live_view_ended());
    joinLive();
    EXPECT_EQ(lps->bRun, 0);
    EXPECT_EQ(zebsim::open_handles(), 0);
}

TEST_F(DisplayTest, LeftoverEventsDoNotEndANewDisplayThread) {
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

TEST_F(DisplayTest, StartTwiceGivesOneWindowAndStopTwiceClosesOnce) {
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

TEST_F(DisplayTest, DriverWithoutNv12OrYv12IsReported) {
    set_env("SOFTVA_FORMATS", "i420");
    testing::internal::CaptureStderr();
    start();
    joinLive();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "VAAPI implementation doesn't support NV12 image format!\n");
    EXPECT_EQ(video_windows(), 0);
}

TEST_F(DisplayTest, FailedVaStartIsReportedAndStartsNothing) {
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
        // Only a failed format query stops live view, closing the control handle.
        {
            std::lock_guard<std::mutex> lock(hMV_mutex);
            EXPECT_EQ(hMV == INVALID_HANDLE_VALUE, call == "vaQueryImageFormats");
        }
        stopLive();
    }
}

TEST_F(DisplayTest, StopBeforeTheWorkerStartsLetsTheJoinReturn) {
    start();
    stopLive();  // most likely while the display thread is still starting
    joinLive();
    EXPECT_EQ(lps->bRun, 0);
    EXPECT_EQ(zebsim::open_handles(), 0);
    EXPECT_EQ(video_windows(), 0);
}

TEST_F(DisplayTest, StartStopCyclesLeaveNothingBehind) {
    setupCam();
    // Counted after the first cycle, once the runtime's own threads and the
    // libraries' files exist.
    int threads = 0, files = 0;
    for (int cycle = 0; cycle < 50; ++cycle) {
        SCOPED_TRACE(cycle);
        lps->show = 1;
        lps->color = cycle % 2;
        startLive();
        ASSERT_TRUE(wait_until([] { return lps->bHaveData != 0; }));
        stopLive();
        joinLive();
        if (cycle == 0) {
            threads = thread_count();
            files = open_file_count();
        }
    }
    EXPECT_EQ(video_windows(), 0);
    EXPECT_EQ(thread_count(), threads);
    EXPECT_EQ(open_file_count(), files);  // the worker's X connection among them
    EXPECT_EQ(zebsim::open_handles(), 0);
    EXPECT_TRUE(bitmap_slot_empty());
    EXPECT_EQ(lps->sbmp.bp, nullptr);
}

// --- The camera's frame buffers go away with its handle ---

// Resizes a window again and again from a connection of its own, so that
// ConfigureNotify redraws keep coming while the camera is closed.
class Resizer {
public:
    explicit Resizer(Window win)
        : thread_([this, win] {
              Display* dpy = XOpenDisplay(nullptr);
              for (int i = 0; running_; ++i) {
                  XResizeWindow(dpy, win, 320 + (i % 2) * 16, 256);
                  XFlush(dpy);
                  std::this_thread::sleep_for(std::chrono::milliseconds(2));
              }
              XCloseDisplay(dpy);
          }) {}
    ~Resizer() {
        running_ = false;
        thread_.join();
    }

private:
    std::atomic<bool> running_{true};
    std::thread thread_;
};

// Pixels of the size x size square at (left, top) of the window that are
// painted, not its white background; 0 when it cannot be read.
int painted_pixels(Display* dpy, Window win, int left, int top, unsigned size) {
    XImage* image = XGetImage(dpy, win, left, top, size, size, AllPlanes, ZPixmap);
    if (!image) return 0;
    int painted = 0;
    for (int y = 0; y < int(size); ++y)
        for (int x = 0; x < int(size); ++x) painted += (XGetPixel(image, x, y) & 0xFFFFFF) != 0xFFFFFF;
    XDestroyImage(image);
    return painted;
}

TEST_F(DisplayTest, RedrawsWhileTheCameraClosesNeverReadItsFreedFrames) {
    start();
    const Window win = video_window();
    ASSERT_TRUE(wait_until([] { return lps->dwNframes > 5; }));
    {
        Resizer resizer(win);
        // Reopened on a camera reset.
        zebsim::clear_calls();
        zebsim::set_faults("wait45@3");
        ASSERT_TRUE(wait_until([] { return zebsim::count("cqStartAcquisition") >= 1; }));
    }
    // The last resize cleared the window to its white background; a frame
    // of the reopened camera paints it again.
    EXPECT_TRUE(wait_until([&] { return painted_pixels(observer, win, 0, 0, 64) > 64 * 64 / 2; }));
    {
        Resizer resizer(win);
        // The worker's exit path with a frame still in the record: the
        // reopen after the next reset fails.
        zebsim::set_faults("wait45@3,init@1");
        EXPECT_TRUE(live_view_ended());
    }
    joinLive();
    EXPECT_EQ(zebsim::open_handles(), 0);
    EXPECT_EQ(zebsim::frame_buffers(), 0u);
}

// A camera that takes its time to close: the worker holds frame_mutex only
// to clear the frame pointer, so the display redraws meanwhile.
TEST_F(DisplayTest, ASlowCameraCloseDoesNotHoldUpRedraws) {
    start();
    const Window win = video_window();
    ASSERT_TRUE(wait_until([] { return lps->dwNframes > 5; }));
    zebsim::clear_calls();
    zebsim::set_faults("slowclose@1,wait45@3");
    ASSERT_TRUE(wait_until([] { return zebsim::count("cqkUninitialize") >= 1; }));
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_TRUE(redraw_once(win));
    EXPECT_LT(seconds_since(begin), 1.0) << "the redraw waited for the close";
    EXPECT_EQ(zebsim::count("cqkInitialize"), 0u) << "the close was over before the redraw";
    EXPECT_TRUE(wait_until([] { return zebsim::count("cqStartAcquisition") >= 1; }));
}

// --- Sizes X cannot make ---

TEST_F(DisplayTest, ARegionTwoRowsHighGetsAWindowOnePixelHigh) {
    max_width = 320;
    testing::internal::CaptureStdout();
    start();
    const Window win = video_window();
    ASSERT_TRUE(window_has_size(win, 320, 256));
    ASSERT_EQ(set_region(1280, 2), 0);
    // An X error would end this process; the window takes the size instead.
    EXPECT_TRUE(window_has_size(win, 320, 1));
    const DWORD frames = lps->dwNframes;
    EXPECT_TRUE(wait_until([&] { return lps->dwNframes > frames + 20; }));
    stopLive();
    joinLive();
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Window size changed to 320x1\n"), std::string::npos);
}

// --- Rate statistics, on a clock the test moves ---

TEST_F(DisplayTest, StatisticsTickOnlyPastOneSecondOfRedrawTime) {
    clock_held = true;
    start();
    const Window win = video_window();
    ASSERT_TRUE(wait_until([] { return lps->bHaveData != 0; }));
    zebsim::set_paused(true);
    settled_redraws();
    const std::string untitled = title(win);  // no time has passed: no tick yet
    ASSERT_EQ(untitled, "Tolmirex");
    // One redraw, then the loop at the start of its next pass, the clock read
    // there, so that moving the clock counts towards that pass.
    auto pass = [&] {
        const unsigned long before = total_redraws();
        return redraw_once(win) && wait_until([&] { return redraws_at_clock_read > before; });
    };

    // Each pass is timed from the end of the last one to the end of its redraw.
    fake_ms += 1000;
    ASSERT_TRUE(pass());  // accounts 1000 ms
    ASSERT_TRUE(pass());  // exactly 1000 ms: no tick
    fake_ms += 1;
    ASSERT_TRUE(pass());  // 1001 ms
    EXPECT_EQ(title(win), untitled);

    // The tick runs in the next pass; that pass is accounted after it.
    fake_ms += 500;
    ASSERT_TRUE(pass());
    EXPECT_TRUE(wait_until([&] { return title(win) != untitled; }));
    const std::string first_tick = title(win);
    fake_ms += 501;
    ASSERT_TRUE(pass());  // 500 + 501 ms over two passes
    ASSERT_TRUE(pass());  // ticks: 2 redraws in 1001 ms
    EXPECT_TRUE(wait_until([&] { return title(win).rfind("Video FPS: 2.0; ", 0) == 0; })) << title(win);

    // A second without a redraw changes nothing.
    const std::string last = title(win);
    const unsigned long redraws = total_redraws();
    fake_ms += 1000;
    send_expose(win, 3);
    ASSERT_TRUE(display_caught_up(win));
    EXPECT_EQ(total_redraws(), redraws);
    EXPECT_EQ(title(win), last);
    EXPECT_NE(first_tick, untitled);

    // Past it, the worker's notice that the (paused) camera sent nothing
    // makes a tick with the silent time: the last redraw in 1001 ms, then none.
    fake_ms += 1;
    EXPECT_TRUE(wait_until([&] { return title(win).rfind("Video FPS: 1.0; ", 0) == 0; })) << title(win);
    fake_ms += 1001;
    EXPECT_TRUE(wait_until([&] { return title(win).rfind("Video FPS: 0.0; ", 0) == 0; })) << title(win);
    EXPECT_EQ(total_redraws(), redraws);
}

TEST_F(DisplayTest, PassesWithNothingToDrawStillCount) {
    // Colour output with every bitmap retrieval failing: nothing to draw,
    // but the title keeps counting the frames acquired.
    zebsim::set_faults("bitmap");
    setupCam();
    lps->show = 1;
    lps->color = 1;
    testing::internal::CaptureStdout();
    startLive();
    const Window win = wait_for_window(observer, "Video FPS: ");
    ASSERT_NE(win, 0u) << "no title";
    Title first, later;
    ASSERT_TRUE(parse_title(title(win), &first)) << title(win);
    EXPECT_TRUE(wait_until([&] { return parse_title(title(win), &later) && later.frames > first.frames + 50; }))
        << "from " << first.frames << " frames to " << title(win);
    EXPECT_GT(later.video_fps, 0.0);
    stopLive();
    joinLive();
    EXPECT_EQ(testing::internal::GetCapturedStdout().find("Image size changed"), std::string::npos);
}

// --- The colour hand-off ---

// A bitmap of cx x cy pixels made by the camera library itself on a handle
// of its own, so that cqFreeBitmap takes it back like any other.
CQGETBITMAP library_bitmap(DWORD cx, DWORD cy) {
    const HANDLE h = simtest::open_camera();
    cqSetMode(h, 10000, 0, 0, 0, cx, cy);
    while (!cqIsSetModeComplete(h)) {
    }
    cqStartAcquisition(h);
    simtest::next_frame(h);
    CQGETBITMAP bitmap{};
    CQGETBITMAPOPT options{};
    if (cqProcessFrame(h) != 0 || cqRetrieveBitmapAdv(h, &bitmap, &options) != 0) bitmap = {};
    cqStopAcquisition(h);
    cqSetMode(h, 10000, 0, 0, 0, 0, 0);  // the full frame again, for the viewer
    cqkUninitialize(h);
    return bitmap;
}

TEST_F(DisplayTest, ColourHandOffFollowsTheColourSwitch) {
    const CQGETBITMAP small = library_bitmap(64, 32);
    const CQGETBITMAP other = library_bitmap(96, 48);
    ASSERT_NE(small.bp, nullptr);
    ASSERT_NE(other.bp, nullptr);
    testing::internal::CaptureStdout();
    setupCam();
    lps->show = 1;
    lps->color = 1;
    startLive();
    const Window win = video_window();
    ASSERT_TRUE(wait_until([] { return lps->bHaveData != 0; }));
    zebsim::set_paused(true);
    ASSERT_TRUE(wait_until([] { return bitmap_slot_empty(); }));
    settled_redraws();

    // A resize with no new bitmap shows the held one again, at the new size.
    XResizeWindow(observer, win, 800, 640);
    XFlush(observer);
    EXPECT_TRUE(wait_until([&] { return painted_pixels(observer, win, 776, 616, 1) == 1; }));

    // A bitmap of another size than the frame's, shown.
    publish_bitmap(small);
    ASSERT_TRUE(redraw_once(win));
    ASSERT_TRUE(wait_until([] { return bitmap_slot_empty(); }));

    // Colour off while that bitmap is held and another waits: the waiting
    // one stays in the slot and the size comes from the frame, not from
    // either bitmap; colour back on hands the waiting one over.
    publish_bitmap(other);
    lps->color = 0;
    ASSERT_TRUE(redraw_once(win));
    settled_redraws();
    EXPECT_FALSE(bitmap_slot_empty());
    lps->color = 1;
    ASSERT_TRUE(redraw_once(win));
    EXPECT_TRUE(wait_until([] { return bitmap_slot_empty(); }));
    stopLive();
    joinLive();
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string sizes = "Image size changed to 1280x1024\nWindow size changed to 640x512\n"
                              "Image size changed to 64x32\nWindow size changed to 64x32\n"
                              "Image size changed to 1280x1024\nWindow size changed to 640x512\n"
                              "Image size changed to 96x48\nWindow size changed to 96x48\n";
    EXPECT_EQ(out, sizes);
}

TEST_F(DisplayTest, EventsBeforeTheFirstFrameDrawNothing) {
    zebsim::set_paused(true);
    testing::internal::CaptureStdout();
    start();
    const Window win = video_window();
    ASSERT_TRUE(wait_until([] { return zebsim::count("cqWaitForField") >= 1; }));
    const unsigned long redraws = total_redraws();
    XResizeWindow(observer, win, 300, 240);
    XFlush(observer);
    send_expose(win, 0);
    EXPECT_TRUE(window_has_size(win, 300, 240));
    ASSERT_TRUE(display_caught_up(win));
    EXPECT_EQ(total_redraws(), redraws);
    zebsim::set_paused(false);  // the first frame sizes the window for its image
    EXPECT_TRUE(window_has_size(win, 640, 512));
    stopLive();
    joinLive();
    EXPECT_EQ(occurrences(testing::internal::GetCapturedStdout(), "Image size changed to"), 1u);
}

}  // namespace
