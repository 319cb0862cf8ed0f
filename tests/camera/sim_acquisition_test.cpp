// Acquisition: frame flow, numbering, buffer ownership and many threads.
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "sim_test_support.h"
#include "thread_count.h"

using namespace simtest;
using namespace std::chrono_literals;

namespace {

double mean_of_region(HANDLE h, DWORD cx, DWORD cy) {
    float m[4] = {};
    EXPECT_EQ(cqGetMeans(h, 0, 0, cx, cy, m), 0);
    return (m[0] + m[1] + m[2] + m[3]) / 4;
}

}  // namespace

class SimAcquisition : public SimTest {};

TEST_F(SimAcquisition, ChangesThroughTheControlHandleReachTheRunningAcquisition) {
    HANDLE control = open_camera();
    ASSERT_EQ(cqSetMode(control, 2000, 0, 0, 0, 0, 0), 0);
    std::atomic<bool> saw_binning{false}, saw_brighter{false};
    std::atomic<int> step{0};
    std::thread worker([&] {
        HANDLE h = open_camera();
        ASSERT_EQ(cqStartAcquisition(h), 0);
        const double dim = [&] {
            next_frame(h);
            return mean_of_region(h, 1280, 1024);
        }();
        step = 1;
        for (int i = 0; i < 2000 && !(saw_binning && saw_brighter); ++i) {
            const CQGETFRAMEEX f = next_frame(h);
            if (f.curCX == 640 && f.curCY == 512 && f.curBinX == 2 && f.modeCX == 640) {
                saw_binning = true;
                saw_brighter = mean_of_region(h, 640, 512) > dim * 2;
            }
        }
        cqkUninitialize(h);
    });
    while (step == 0) std::this_thread::sleep_for(1ms);
    ASSERT_EQ(cqSetGainVal(control, 12.0f), 0);  // x4
    ASSERT_EQ(cqSetMode(control, 2000, 2, 0, 0, 0, 0), 0);
    worker.join();
    EXPECT_TRUE(saw_binning);
    EXPECT_TRUE(saw_brighter);
    cqkUninitialize(control);
}

TEST_F(SimAcquisition, SlowCallerLosesTheOldestFramesAndNumbersShowIt) {
    HANDLE h = open_camera();
    ASSERT_EQ(cqSetMode(h, 50000, 0, 0, 0, 256, 256), 0);  // 20 fps: the queue keeps four frames
    ASSERT_EQ(cqStartAcquisition(h), 0);
    ASSERT_EQ(cqWaitForField(h, 5000), 0);
    // Untouched until the full queue has lost two frames (within 10 s).
    const uint64_t dropped = zebsim::dropped_frames();
    for (int i = 0; i < 1000 && zebsim::dropped_frames() < dropped + 2; ++i) std::this_thread::sleep_for(10ms);
    ASSERT_GE(zebsim::dropped_frames(), dropped + 2);
    std::vector<DWORD> numbers;
    void* data = nullptr;
    while (cqIsFieldReady(h) == 0 && numbers.size() < 100) {
        ASSERT_EQ(cqAcquireField(h, &data), 0);
        CQGETFRAMEEX f{};
        cqUpdateBayerFrame(h, data);
        ASSERT_EQ(cqRetrieveFrameBayerEx(h, &f), 0);
        numbers.push_back(f.curFN);
    }
    ASSERT_FALSE(numbers.empty());
    EXPECT_LE(numbers.size(), 5u);  // about four buffered (one more may arrive while draining)
    for (size_t i = 1; i < numbers.size(); ++i) EXPECT_EQ(numbers[i], numbers[i - 1] + 1);
    EXPECT_GT(numbers.front(), 0u) << "frames were lost, so the oldest kept is not the first";
    EXPECT_NE(cqAcquireField(h, &data), 0) << "nothing left to take";

    // Numbering restarts with each start.
    ASSERT_EQ(cqStopAcquisition(h), 0);
    ASSERT_EQ(cqStartAcquisition(h), 0);
    EXPECT_LE(next_frame(h).curFN, 4u);
    cqkUninitialize(h);
}

TEST_F(SimAcquisition, HeldFieldIsNotOverwrittenAndClosingFreesTheBuffers) {
    HANDLE h = open_camera();
    ASSERT_EQ(cqSetMode(h, 1000, 0, 0, 0, 320, 240), 0);
    ASSERT_EQ(cqStartAcquisition(h), 0);
    const CQGETFRAMEEX f = next_frame(h);
    const size_t bytes = size_t{f.curCX} * f.curCY * 2;
    std::vector<uint8_t> copy(static_cast<uint8_t*>(f.bp), static_cast<uint8_t*>(f.bp) + bytes);
    // Let the sensor cycle through many buffers (each frame has fresh noise).
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(cqWaitForField(h, 5000), 0);
        std::this_thread::sleep_for(3ms);
    }
    EXPECT_EQ(std::memcmp(copy.data(), f.bp, bytes), 0);
    ASSERT_EQ(cqStopAcquisition(h), 0);
    EXPECT_GT(zebsim::frame_buffers(), 0u);  // stopped, not closed: kept for the next start
    ASSERT_EQ(cqkUninitialize(h), 0);
    EXPECT_EQ(zebsim::frame_buffers(), 0u);  // a pointer kept past the close dangles, as with a vendor library
}

TEST_F(SimAcquisition, PausedSensorTimesOutAndClosingEndsTheProducer) {
    HANDLE h = open_camera();
    ASSERT_EQ(cqStartAcquisition(h), 0);
    ASSERT_EQ(cqStopAcquisition(h), 0);
    // Counted after one producer has come and gone: sanitizer runtimes start
    // helper threads of their own at the first thread creation.
    const int threads_before = thread_count();
    ASSERT_EQ(cqStartAcquisition(h), 0);
    next_frame(h);
    EXPECT_EQ(cqIsFrameComplete(h), 1);
    zebsim::set_paused(true);
    drain(h);
    const int waited = cqWaitForField(h, 100);
    EXPECT_TRUE(waited != CQK_SUCCESS && waited != CQK_WAIT_REOPEN_LOST && waited != CQK_WAIT_REOPEN_RESET) << waited;
    EXPECT_NE(cqIsFieldReady(h), 0);
    zebsim::set_paused(false);
    EXPECT_EQ(cqWaitForField(h, 5000), 0);
    EXPECT_EQ(zebsim::open_handles(), 1);
    ASSERT_EQ(cqkUninitialize(h), 0);  // without a stop first
    EXPECT_EQ(zebsim::open_handles(), 0);
    EXPECT_EQ(thread_count(), threads_before);
}

TEST_F(SimAcquisition, ManyThreadsOnManyHandles) {
    HANDLE control = open_camera();
    ASSERT_EQ(cqSetMode(control, 1000, 0, 0, 0, 320, 256), 0);
    std::atomic<bool> done{false};
    std::vector<std::thread> workers;
    std::atomic<int> bitmaps{0};
    for (int t = 0; t < 3; ++t) {
        workers.emplace_back([&] {
            HANDLE h = open_camera();
            ASSERT_EQ(cqStartAcquisition(h), 0);
            CQFILTER filter{};
            filter.rgbWhiteBal[0] = filter.rgbWhiteBal[1] = filter.rgbWhiteBal[2] = 1.0;
            filter.gammaY = 1.0;
            for (int i = 0; i < 40; ++i) {
                if (cqWaitForField(h, 5000) != 0) continue;
                void* data = nullptr;
                while (cqIsFieldReady(h) == 0)
                    if (cqAcquireField(h, &data) == 0) cqUpdateFrame(h, data);
                CQGETFRAMEEX f{};
                cqRetrieveFrameEx(h, &f);
                cqSetupFilter(h, &filter);
                cqSetupCE(h, 0, (1u << f.curBPP) - 1);
                if (cqProcessFrame(h) != 0) continue;
                CQGETBITMAP bmp{};
                if (cqRetrieveBitmapAdv(h, &bmp, nullptr) == 0) {
                    EXPECT_EQ(bmp.w * bmp.h, f.curCX * f.curCY);
                    ++bitmaps;
                }
                cqFreeBitmap(nullptr, &bmp);
            }
            cqkUninitialize(h);
        });
    }
    // Meanwhile the control handle keeps changing what the sensor delivers.
    std::thread changer([&] {
        for (int i = 0; !done; ++i) {
            cqSetMode(control, 1000 + (i % 3) * 500, i % 2 ? 1 : 0, 0, 0, 320 + (i % 2) * 64, 256);
            cqSetGainVal(control, float(i % 10));
            std::this_thread::sleep_for(2ms);
        }
    });
    for (auto& w : workers) w.join();
    done = true;
    changer.join();
    EXPECT_GT(bitmaps.load(), 0);
    cqkUninitialize(control);
}
