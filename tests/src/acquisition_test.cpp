// The acquisition worker against the simulated camera, with a real window on
// a private X server; the test thread plays the display thread's part.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <thread>
#include <utility>
#include <vector>

#include "acquisition.h"
#include "frame_handover.h"
#include "live_run.h"
#include "setup.h"
#include "test_support.h"
#include "video_window.h"
#include "zebsim.h"

namespace {

class AcquisitionTest : public ::testing::Test {
protected:
    void SetUp() override {
        open_test_display();
        worker_display = XOpenDisplay(nullptr);  // the worker's own, as the display thread opens it
        zebsim::reset();
        setupCam();
        ASSERT_NE(hMV, INVALID_HANDLE_VALUE);
        win = create_window(320, 240);
        ASSERT_NE(win, 0u);
    }

    void TearDown() override {
        stop();
        close_control_handle();
        setupCam();  // frees what the hand-off slot may still hold
        close_control_handle();
        XDestroyWindow(x11_display, win);
        XCloseDisplay(worker_display);
        worker_display = nullptr;
        close_test_display();
    }

    void start() {
        begin_live_run();
        ASSERT_EQ(pthread_create(&worker, nullptr, acquisition, reinterpret_cast<void*>(static_cast<uintptr_t>(win))),
                  0);
        running = true;
    }

    void stop() {
        if (!running) return;
        request_stop();
        pthread_join(worker, nullptr);
        running = false;
    }

    // Waits until the worker has posted `wanted` frame notices, taking each
    // as the display thread does unless `take` is false; returns how many came.
    int wait_for_exposes(int wanted, double seconds = 10.0, bool take = true) {
        int exposes = 0;
        XEvent event;
        wait_until(
            [&] {
                while (XPending(x11_display)) {
                    XNextEvent(x11_display, &event);
                    if (event.type == Expose && event.xexpose.send_event && event.xexpose.count == 0) {
                        if (take) frame_notice_taken();
                        ++exposes;
                    }
                }
                return exposes >= wanted;
            },
            seconds);
        return exposes;
    }

    bool ends_with_destroy_notice() {
        XEvent event;
        return wait_for_event(x11_display, DestroyNotify, win, &event);
    }

    Window win = 0;
    pthread_t worker{};
    bool running = false;
};

TEST_F(AcquisitionTest, CountsFramesAndPostsFrameNotices) {
    lps->uiExposure = 20000;  // a 20 ms frame period
    start();
    EXPECT_GE(wait_for_exposes(6), 6);
    EXPECT_TRUE(lps->bHaveData);
    EXPECT_GT(lps->dwNframes.load(), 5u);
    EXPECT_EQ(lps->fFPS.load(), lps->fFPS_sum.load());  // seeded from the mode timing
    EXPECT_NEAR(lps->fFPS.load(), 50.0, 0.01);

    // The frame descriptor is complete and consistent.
    CQGETFRAMEEX frame;
    std::vector<BYTE> pixels;
    snapshot_frame(&frame, &pixels);
    EXPECT_EQ(frame.curCX, 1280u);
    EXPECT_EQ(frame.curCY, 1024u);
    EXPECT_EQ(frame.bp, pixels.data());
    EXPECT_EQ(pixels.size(), frame_bytes(frame));

    stop();
    EXPECT_EQ(lps->bRun, 0);
    EXPECT_TRUE(ends_with_destroy_notice());

    // One notice in flight: none follows while it is not taken, and a new
    // run posts again though the last run's notice never was.
    start();
    ASSERT_EQ(wait_for_exposes(1, 10.0, false), 1);
    const DWORD frames = lps->dwNframes;
    ASSERT_TRUE(wait_until([&] { return lps->dwNframes > frames + 5; }));
    EXPECT_EQ(wait_for_exposes(1, 0.0, false), 0);
    stop();
    ASSERT_TRUE(ends_with_destroy_notice());
    start();
    EXPECT_EQ(wait_for_exposes(1), 1);
    stop();
}

TEST_F(AcquisitionTest, MonochromeUsesOnlyTheBayerCalls) {
    zebsim::clear_calls();
    start();
    EXPECT_GE(wait_for_exposes(3), 3);
    stop();
    EXPECT_GT(zebsim::count("cqRetrieveFrameBayerEx"), 0u);
    EXPECT_GT(zebsim::count("cqUpdateBayerFrame"), 0u);
    for (const char* call : {"cqRetrieveFrameEx", "cqUpdateFrame", "cqGetMeans", "cqSetupFilter", "cqProcessFrame",
                             "cqRetrieveBitmapAdv", "cqSetupCE"})
        EXPECT_EQ(zebsim::count(call), 0u) << call;
    EXPECT_TRUE(bitmap_slot_empty());
    EXPECT_EQ(zebsim::count("cqFreeBitmap"), 1u);  // the exit path frees the slot even when empty
}

TEST_F(AcquisitionTest, ColourFillsTheSlotOnlyWhileItIsEmpty) {
    lps->color = 1;
    zebsim::clear_calls();
    start();
    ASSERT_TRUE(wait_until([] { return zebsim::count("cqProcessFrame") >= 5; }));
    EXPECT_EQ(zebsim::count("cqRetrieveBitmapAdv"), 1u);
    EXPECT_GT(zebsim::count("cqRetrieveFrameEx"), 0u);
    EXPECT_EQ(zebsim::count("cqRetrieveFrameBayerEx"), 0u);

    CQGETBITMAP taken{};
    ASSERT_TRUE(take_bitmap(&taken));
    EXPECT_EQ(taken.w, 1280u);
    EXPECT_EQ(taken.h, 1024u);
    EXPECT_EQ(taken.bp[3 * 4 * 1280 + 3], taken.bp[3 * 4 * 1280 + 3]);  // readable (ASan)
    cqFreeBitmap(0, &taken);
    EXPECT_EQ(taken.bp, nullptr);
    EXPECT_TRUE(wait_until([] { return !bitmap_slot_empty(); }));
    stop();  // the exit path frees the bitmap still waiting
    EXPECT_TRUE(bitmap_slot_empty());
}

TEST_F(AcquisitionTest, WhiteBalanceIsMeasuredOnRequest) {
    lps->color = 1;
    lps->bTakeWB = 1;
    start();
    ASSERT_TRUE(wait_until([] { return lps->bTakeWB == 0; }));
    stop();
    EXPECT_GT(zebsim::count("cqGetMeans"), 0u);
    // The simulated light is tinted: the gains move away from 1 and the smallest is 1.
    const double least = std::min({lps->Kr, lps->Kg, lps->Kb});
    EXPECT_DOUBLE_EQ(least, 1.0);
    EXPECT_GT(std::max({lps->Kr, lps->Kg, lps->Kb}), 1.05);
}

TEST_F(AcquisitionTest, WaitResult45ReopensWithCurrentSettings) {
    start();
    ASSERT_GE(wait_for_exposes(1), 1);
    lps->uiExposure = 20000;
    lps->fGain = 6.0f;
    lps->dwROIx0 = 16;
    lps->dwROIy0 = 8;
    lps->dwROIcx = 640;
    lps->dwROIcy = 480;
    zebsim::clear_calls();
    zebsim::set_faults("wait45@2");
    // The reopened camera delivers frames of the new region.
    EXPECT_TRUE(wait_until([] {
        CQGETFRAMEEX frame;
        snapshot_frame(&frame, nullptr);
        return frame.curCX == 640 && frame.curCY == 480;
    }));
    stop();

    const auto calls = zebsim::calls();
    auto has = [&](const std::string& call) { return std::find(calls.begin(), calls.end(), call) != calls.end(); };
    EXPECT_TRUE(has("cqSetMode 20000 0 16 8 640 480"));
    EXPECT_TRUE(has("cqSetGainVal 6"));
    EXPECT_GE(zebsim::count("cqkUninitialize"), 1u);
    EXPECT_GE(zebsim::count("cqStartAcquisition"), 1u);
}

TEST_F(AcquisitionTest, FailingSetModeOrStartEndsTheWorker) {
    for (const char* fault : {"setmode", "start", "init"}) {
        SCOPED_TRACE(fault);
        zebsim::set_faults(fault);
        start();
        EXPECT_TRUE(ends_with_destroy_notice());
        pthread_join(worker, nullptr);
        running = false;
        EXPECT_EQ(lps->bRun, 0);
        EXPECT_EQ(zebsim::open_handles(), 1);  // only the control handle is left
    }
}

TEST_F(AcquisitionTest, StopDuringAModeThatNeverSettlesEndsTheOpen) {
    zebsim::set_faults("settle");
    zebsim::clear_calls();
    start();
    ASSERT_TRUE(wait_until([] { return zebsim::count("cqIsSetModeComplete") > 100; }));
    stop();
    EXPECT_TRUE(ends_with_destroy_notice());
    EXPECT_EQ(zebsim::count("cqGetModeTiming"), 0u);
    EXPECT_EQ(zebsim::count("cqStartAcquisition"), 0u);
    EXPECT_EQ(zebsim::open_handles(), 1);  // the worker's handle closed on the exit path
}

TEST_F(AcquisitionTest, ModeTimingThatWritesNothingLeavesBothRatesAt100) {
    zebsim::set_faults("timing");
    lps->fFPS = lps->fFPS_sum = 7.0;
    start();
    ASSERT_GE(wait_for_exposes(1), 1);
    EXPECT_EQ(lps->fFPS.load(), 100.0);
    EXPECT_EQ(lps->fFPS_sum.load(), 100.0);
}

TEST_F(AcquisitionTest, ColourCallsFailingForOverASecondAreReportedOncePerRun) {
    // Each call fails 200 times in a row (two seconds of frames at least),
    // works once, then fails 200 times again: two runs, each reported once.
    const struct {
        const char* fault;
        const char* call;
        const char* message;
    } faults[] = {
        {"process@1x200,process@202x200", "cqProcessFrame",
         "Colour processing failing for over a second: cqProcessFrame returned "},
        {"bitmap@1x200,bitmap@202x200", "cqRetrieveBitmapAdv",
         "Bitmap retrieval failing for over a second: cqRetrieveBitmapAdv returned "}};
    lps->color = 1;
    // Small frames, so even a sanitizer build makes a hundred bitmaps a second.
    lps->dwROIcx = 320;
    lps->dwROIcy = 256;
    for (const auto& [fault, call, message] : faults) {
        SCOPED_TRACE(fault);
        zebsim::set_faults(fault);
        zebsim::clear_calls();
        testing::internal::CaptureStderr();
        start();
        // Past both runs and 50 calls that work; the bitmaps taken as the
        // display would, so that each frame asks for one.
        const bool done = wait_until(
            [&] {
                CQGETBITMAP taken{};
                if (take_bitmap(&taken)) cqFreeBitmap(0, &taken);
                return zebsim::count(call) >= 451;
            },
            30.0);
        stop();
        const std::string errors = testing::internal::GetCapturedStderr();
        EXPECT_TRUE(done) << zebsim::count(call) << " calls";
        EXPECT_EQ(occurrences(errors, message), 2u) << errors;
    }
}

TEST_F(AcquisitionTest, ACameraStuckInResetsIsReportedAndReopenedAtAPace) {
    // Resets each over a second after the last open (the 150th and 300th
    // waits, 10 ms frames): reopened at once, without the message.
    zebsim::set_faults("wait45@150,wait45@300");
    zebsim::clear_calls();
    testing::internal::CaptureStderr();
    start();
    // Two reopens and 50 waits on the second one.
    const bool reopened = wait_until(
        [] { return zebsim::count("cqkInitialize") >= 3 && zebsim::count("cqWaitForField") >= 350; }, 30.0);
    stop();
    EXPECT_TRUE(reopened) << zebsim::count("cqkInitialize") << " opens";
    EXPECT_EQ(occurrences(testing::internal::GetCapturedStderr(), "Camera reset again"), 0u);

    // Resets at every wait.
    zebsim::set_faults("wait45");
    zebsim::clear_calls();
    testing::internal::CaptureStderr();
    start();
    std::this_thread::sleep_for(std::chrono::seconds(5));
    const size_t reopens = zebsim::count("cqkInitialize");
    const auto begin = std::chrono::steady_clock::now();
    stop();
    const double stop_s = seconds_since(begin);
    EXPECT_LT(reopens, 20u);
    EXPECT_GT(reopens, 3u);
    EXPECT_LT(stop_s, 0.5);  // a stop ends the pause at once
    EXPECT_EQ(occurrences(testing::internal::GetCapturedStderr(),
                          "Camera reset again within a second of reopening: cqWaitForField returned 45"),
              1u);
}

TEST_F(AcquisitionTest, StopWhileNothingArrivesEndsWithinOneWait) {
    zebsim::set_paused(true);
    start();
    ASSERT_TRUE(wait_until([] { return zebsim::count("cqWaitForField") >= 1; }));
    const auto begin = std::chrono::steady_clock::now();
    stop();
    const double seconds = seconds_since(begin);
    EXPECT_LT(seconds, 5.0);  // one 1000 ms wait, with a wide margin for loaded machines
    EXPECT_TRUE(ends_with_destroy_notice());
    EXPECT_EQ(lps->dwNframes.load(), 0u);
}

TEST_F(AcquisitionTest, StopBeforeTheWorkerStartsHolds) {
    begin_live_run();
    request_stop();
    zebsim::clear_calls();
    ASSERT_EQ(pthread_create(&worker, nullptr, acquisition, reinterpret_cast<void*>(static_cast<uintptr_t>(win))), 0);
    running = true;
    EXPECT_TRUE(ends_with_destroy_notice());
    pthread_join(worker, nullptr);
    running = false;
    EXPECT_EQ(lps->bRun, 0);
    EXPECT_EQ(zebsim::count("cqkInitialize"), 0u);
}

TEST_F(AcquisitionTest, ResetFreesBitmapsLeftInTheRecord) {
    lps->color = 1;
    start();
    ASSERT_TRUE(wait_until([] { return !bitmap_slot_empty(); }));
    ASSERT_TRUE(take_bitmap(&lps->sbmp));  // held, as the display thread would
    ASSERT_TRUE(wait_until([] { return !bitmap_slot_empty(); }));
    // Stop without letting the worker take the slot back: the reset must free both.
    request_stop();
    pthread_join(worker, nullptr);
    running = false;
    EXPECT_NE(lps->sbmp.bp, nullptr);
    // (TearDown's setupCam frees sbmp; AddressSanitizer reports a leak otherwise.)
}

TEST(SetupCam, ResetsTheRecordWithAndWithoutACamera) {
    for (const bool camera : {true, false}) {
        SCOPED_TRACE(camera);
        set_env("ZEBSIM_CAMERAS", camera ? nullptr : "0");
        lps->uiExposure = 5;
        lps->fGain = 3.0f;
        lps->color = lps->show = 1;
        lps->Kr = 2.0;
        lps->dwNframes = 9;
        lps->dwROIcx = 64;
        setupCam();
        EXPECT_EQ(hMV != INVALID_HANDLE_VALUE, camera);
        close_control_handle();
        EXPECT_EQ(lps->uiExposure.load(), 10000u);
        EXPECT_EQ(lps->uiMode.load(), 0u);
        EXPECT_EQ(lps->fGain.load(), 0.0f);
        EXPECT_EQ(lps->zoom, 2u);
        EXPECT_EQ(lps->bDrawImage, 1);
        EXPECT_EQ(lps->color.load() | lps->show.load() | lps->bRun.load(), 0);
        EXPECT_EQ(lps->Kr, 1.0);
        EXPECT_EQ(lps->Kg, 1.0);
        EXPECT_EQ(lps->Kb, 1.0);
        EXPECT_EQ(lps->dwNframes.load() | lps->dwROIcx.load(), 0u);
    }
}

}  // namespace
