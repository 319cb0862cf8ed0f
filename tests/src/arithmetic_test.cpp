// The viewer's pure arithmetic: lost frames, white balance, window size,
// statistics tick, the worker's account of a silent camera, region clamping
// and the clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>
#include <vector>

#include "acquisition.h"
#include "camera_silence.h"
#include "control_panel.h"
#include "picture_measure.h"
#include "picture_tools.h"
#include "rate_stats.h"
#include "setup.h"
#include "status_text.h"
#include "window_size.h"

// --- Lost frames ---

TEST(LostFrames, FirstFrameCountsFromMinusOne) {
    EXPECT_EQ(lost_frames(0xFFFFFFFFu, 5), 5u);
    EXPECT_EQ(lost_frames(0xFFFFFFFFu, 0), 0u);
    EXPECT_EQ(lost_frames(0xFFFFFFFFu, 1000), 0u);  // a first number of 1000 or more counts nothing
}

TEST(LostFrames, GapLimitAndNumbersGoingBack) {
    EXPECT_EQ(lost_frames(10, 11), 0u);
    EXPECT_EQ(lost_frames(10, 1010), 999u);
    EXPECT_EQ(lost_frames(10, 1011), 0u);
    EXPECT_EQ(lost_frames(500, 3), 0u);          // numbering restarted
    EXPECT_EQ(lost_frames(42, 42), 0u);          // repeated number
    EXPECT_EQ(lost_frames(0xFFFFFFFEu, 0), 1u);  // across the 32-bit wrap
}

// --- White balance ---

TEST(WhiteBalance, RggbAndBggrNormaliseToTheSmallestGain) {
    const float rggb[4] = {100, 50, 50, 25};
    WhiteBalance k = white_balance_gains(rggb, CQM_RGGB, {1, 1, 1});
    EXPECT_DOUBLE_EQ(k.Kr, 1.0);
    EXPECT_DOUBLE_EQ(k.Kg, 2.0);
    EXPECT_DOUBLE_EQ(k.Kb, 4.0);

    // Same sensor read in BGGR order: blue first, red last.
    const float bggr[4] = {25, 50, 50, 100};
    k = white_balance_gains(bggr, CQM_BGGR, {1, 1, 1});
    EXPECT_DOUBLE_EQ(k.Kr, 1.0);
    EXPECT_DOUBLE_EQ(k.Kg, 2.0);
    EXPECT_DOUBLE_EQ(k.Kb, 4.0);
}

TEST(WhiteBalance, TiesNormaliseByRed) {
    // Red and green means equal and larger than blue: Kr == Kg < Kb.
    const float means[4] = {80, 80, 80, 20};
    const WhiteBalance k = white_balance_gains(means, CQM_RGGB, {1, 1, 1});
    EXPECT_DOUBLE_EQ(k.Kr, 1.0);
    EXPECT_DOUBLE_EQ(k.Kg, 1.0);
    EXPECT_DOUBLE_EQ(k.Kb, 4.0);
}

TEST(WhiteBalance, UnusableInputKeepsTheGains) {
    const WhiteBalance previous{1.5, 1.0, 2.5};
    const float good[4] = {100, 50, 50, 25};
    for (DWORD mosaic : {DWORD(CQM_NONE), DWORD(CQM_CMYG), DWORD(CQM_RGR), DWORD(7)}) {
        const WhiteBalance k = white_balance_gains(good, mosaic, previous);
        EXPECT_EQ(k.Kr, previous.Kr);
        EXPECT_EQ(k.Kb, previous.Kb);
    }
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const float bad[][4] = {{0, 50, 50, 25}, {100, 50, 50, 0}, {0, 0, 0, 0}, {nan, 50, 50, 25}, {100, inf, 50, 25}};
    for (const auto& means : bad) {
        const WhiteBalance k = white_balance_gains(means, CQM_RGGB, previous);
        EXPECT_EQ(k.Kr, previous.Kr);
        EXPECT_EQ(k.Kg, previous.Kg);
        EXPECT_EQ(k.Kb, previous.Kb);
    }
}

// --- Window size ---

TEST(WindowSize, FitsInsideTheLimits) {
    auto size = [](unsigned sw, unsigned sh, int mw, int mh) {
        const WindowSize s = window_size_for(sw, sh, mw, mh, 1920, 1080);
        return std::make_pair(s.width, s.height);
    };
    EXPECT_EQ(size(1280, 1024, 800, 0), std::make_pair(800, 640));
    EXPECT_EQ(size(1280, 1024, 0, 600), std::make_pair(750, 600));
    EXPECT_EQ(size(1280, 1024, 800, 600), std::make_pair(750, 600));  // height-bound
    EXPECT_EQ(size(1600, 900, 800, 600), std::make_pair(800, 450));   // width-bound
    EXPECT_EQ(size(1280, 1024, -5, 600), std::make_pair(750, 600));   // a negative limit is unset
    EXPECT_EQ(size(800, 600, 400, 300), std::make_pair(400, 300));    // equal products: height-bound
}

TEST(WindowSize, HalvesUntilWithinEightyPercentOfTheScreen) {
    auto size = [](unsigned sw, unsigned sh) {
        const WindowSize s = window_size_for(sw, sh, 0, 0, 1920, 1080);
        return std::make_pair(s.width, s.height);
    };
    EXPECT_EQ(size(2048, 1088), std::make_pair(1024, 544));
    EXPECT_EQ(size(1280, 1024), std::make_pair(640, 512));
    EXPECT_EQ(size(1536, 864), std::make_pair(1536, 864));  // exactly 80 % is within
    EXPECT_EQ(size(640, 512), std::make_pair(640, 512));
    EXPECT_EQ(size(16384, 16384), std::make_pair(512, 512));
}

TEST(WindowSize, StaysWithinWhatXAllows) {
    auto size = [](unsigned sw, unsigned sh, int mw, int mh, unsigned dw = 1920, unsigned dh = 1080) {
        const WindowSize s = window_size_for(sw, sh, mw, mh, dw, dh);
        return std::make_pair(s.width, s.height);
    };
    // A side that rounds to zero becomes one pixel.
    EXPECT_EQ(size(1280, 1024, 1, 0), std::make_pair(1, 1));
    EXPECT_EQ(size(1280, 2, 320, 0), std::make_pair(320, 1));
    EXPECT_EQ(size(2, 1280, 0, 320), std::make_pair(1, 320));
    EXPECT_EQ(size(1, 1, 0, 0, 1, 1), std::make_pair(1, 1));  // halved to nothing on a tiny screen
    // Limits whose 32-bit products overflow keep the image's aspect, and
    // the window is bounded to 32767 a side.
    EXPECT_EQ(size(1280, 1024, 99999999, 0), std::make_pair(32767, 26213));
    EXPECT_EQ(size(1280, 1024, 99999999, 99999999), std::make_pair(32767, 26213));
    EXPECT_EQ(size(1280, 1024, 40000, 0), std::make_pair(32767, 26213));
    EXPECT_EQ(size(1024, 1280, 0, 40000), std::make_pair(26213, 32767));
    EXPECT_EQ(size(1280, 1024, 32767, 0), std::make_pair(32767, 26213));
}

TEST(WindowSize, LimitsReadAsAtoiReadsThem) {
    const struct {
        const char* text;
        int value;
        bool plain;
    } cases[] = {{"800", 800, true},     {"2147483647", 2147483647, true},
                 {"1e9", 1, false},      {"abc", 0, false},
                 {"", 0, false},         {"0", 0, false},
                 {"-5", -5, false},      {"+800", 800, false},
                 {" 800", 800, false},   {"800px", 800, false},
                 {"2147483648", INT_MIN, false},
                 {"12345678901234567890123456789012345678901234567890", -1, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const WindowLimit limit = read_window_limit(c.text);
        EXPECT_EQ(limit.value, c.value);
        EXPECT_EQ(limit.plain, c.plain);
    }
}

// --- Statistics tick ---

TEST(StatisticsTick, TitleText) {
    // 30 redraws over 1001 ms; the smoothed rate becomes 29.99.
    TickInput in{1.0, 1234, 1204, 2, 29.9, 29.98, 30, 1001};
    const TickResult r = statistics_tick(in);
    EXPECT_NEAR(r.fps, 30.0, 1e-9);
    EXPECT_NEAR(r.fps_sum, 29.99, 1e-9);
    EXPECT_EQ(r.title, "Video FPS: 30.0; Acquisition: frm 1234 skip 2 fps 30.0");

    in.fps_sum = 29.88;  // 29.88 * 0.5 + 30 * 0.5 = 29.94
    EXPECT_EQ(statistics_tick(in).title, "Video FPS: 30.0; Acquisition: frm 1234 skip 2 fps 29.9");
}

TEST(StatisticsTick, NoNewFramesKeepsTheTickLengthAndTheRateFalls) {
    const TickResult r = statistics_tick({1.25, 500, 500, 0, 40.0, 40.0, 10, 1100});
    EXPECT_DOUBLE_EQ(r.tpf, 1.25);
    EXPECT_DOUBLE_EQ(r.fps, 0.0);
    EXPECT_DOUBLE_EQ(r.fps_sum, 20.0);
}

TEST(StatisticsTick, Smoothing) {
    // 50 new frames over one second: the tick rate is 50.
    EXPECT_DOUBLE_EQ(statistics_tick({1.0, 150, 100, 0, 100.0, 100.0, 1, 1001}).fps_sum, 75.0);
    // No frame at all yet: the smoothed rate is the tick rate.
    EXPECT_DOUBLE_EQ(statistics_tick({2.0, 0, 0, 0, 100.0, 100.0, 1, 1001}).fps_sum, 0.0);
    // A zero-length tick keeps the previous rate.
    EXPECT_DOUBLE_EQ(statistics_tick({0.0, 5, 0, 0, 42.0, 100.0, 1, 1001}).fps, 42.0);
    // Frame counter wrapped since the previous tick: the unsigned difference.
    EXPECT_NEAR(statistics_tick({1.0, 10, 0xFFFFFFF6u, 0, 1, 1, 1, 1001}).fps, 20.0, 1e-9);
}

// --- A camera that sends nothing ---

TEST(CameraSilence, StallSpokenOfOnceAndItsEnd) {
    using std::chrono::milliseconds;
    const CameraSilence::Clock::time_point t0{};
    CameraSilence s(t0);
    s.no_frame("cqWaitForField", 2);
    EXPECT_FALSE(s.stall_due(t0 + milliseconds(1000)));  // exactly a second is not over it
    EXPECT_TRUE(s.stall_due(t0 + milliseconds(1001)));
    EXPECT_FALSE(s.stall_due(t0 + milliseconds(5000)));  // once per stall
    EXPECT_STREQ(s.call(), "cqWaitForField");
    const auto stalled = s.frame(t0 + milliseconds(2500));
    ASSERT_TRUE(stalled.has_value());
    EXPECT_DOUBLE_EQ(*stalled, 2.5);
    // Frames came: a new stall counts from the last one, and a short one
    // passes without a word at either end.
    s.no_frame("cqAcquireField", 5);
    EXPECT_FALSE(s.stall_due(t0 + milliseconds(3400)));
    EXPECT_FALSE(s.frame(t0 + milliseconds(3400)).has_value());
    EXPECT_TRUE(s.stall_due(t0 + milliseconds(6101)));  // three of the last spacing, 900 ms
    EXPECT_STREQ(s.call(), "cqAcquireField");
}

TEST(CameraSilence, NoCallNoStallLineAndQuietNoticesEverySecond) {
    using std::chrono::milliseconds;
    const CameraSilence::Clock::time_point t0{};
    CameraSilence s(t0);
    EXPECT_FALSE(s.stall_due(t0 + milliseconds(3000)));  // nothing to name yet
    EXPECT_FALSE(s.quiet_notice_due(t0 + milliseconds(999)));
    EXPECT_TRUE(s.quiet_notice_due(t0 + milliseconds(1000)));
    EXPECT_FALSE(s.quiet_notice_due(t0 + milliseconds(1500)));
    EXPECT_TRUE(s.quiet_notice_due(t0 + milliseconds(2000)));
    s.noticed(t0 + milliseconds(2600));  // a frame notice puts the next quiet one off
    EXPECT_FALSE(s.quiet_notice_due(t0 + milliseconds(3000)));
    EXPECT_TRUE(s.quiet_notice_due(t0 + milliseconds(3600)));
}

// Silence is judged by the mode timing, then the shorter of the last two spacings, never under the exposure.
TEST(CameraSilence, SpansFollowTheCamerasPeriod) {
    using std::chrono::milliseconds;
    CameraSilence s(CameraSilence::Clock::time_point{});
    s.opened(milliseconds(5000));  // 0.2 frames a second
    EXPECT_EQ(s.overdue_span(), milliseconds(7500));
    for (int t : {0, 2000, 9000}) s.frame(CameraSilence::Clock::time_point{} + milliseconds(t));  // one frame late
    EXPECT_EQ(s.stall_span(), milliseconds(6000));
    s.exposure(milliseconds(3000));
    EXPECT_EQ(s.stall_span(), milliseconds(9000));
}

// --- Region of interest ---

TEST(Region, ClampAgainstPartnerAndFullSize) {
    EXPECT_EQ(clamp_roi(8, 1280, 1280), 0u);
    EXPECT_EQ(clamp_roi(400, 1000, 1280), 280u);
    EXPECT_EQ(clamp_roi(16, 640, 1280), 16u);
    EXPECT_EQ(clamp_roi(5, 0, 0), 0u);  // no mode yet: every edit clamps to 0
}

TEST(Region, FullFrameIsSentAsZeros) {
    const Region full = region_to_send({0, 0, 1280, 1024}, 1280, 1024);
    EXPECT_EQ(full.x0 + full.y0 + full.cx + full.cy, 0u);
    const Region part = region_to_send({16, 0, 640, 1024}, 1280, 1024);
    EXPECT_EQ(part.x0, 16u);
    EXPECT_EQ(part.cx, 640u);
    EXPECT_EQ(part.cy, 1024u);
}

TEST(Region, AdjustmentValuesTruncate) {
    EXPECT_EQ(adjustment_to_unsigned(25.9), 25u);
    EXPECT_EQ(adjustment_to_unsigned(-1.0), 0u);
    EXPECT_EQ(adjustment_to_unsigned(std::nan("")), 0u);
    EXPECT_EQ(adjustment_to_unsigned(25 * 1000.0), 25000u);
}

TEST(Inputs, BitsOfAllInputs) {
    EXPECT_FALSE(input_from_all(10, 1));
    EXPECT_TRUE(input_from_all(10, 2));
    EXPECT_FALSE(input_from_all(10, 3));
    EXPECT_TRUE(input_from_all(10, 4));
}

// --- Clock ---

TEST(Clock, ElapsedTimeAcrossAWrap) {
    EXPECT_DOUBLE_EQ(elapsed_seconds(0xFFFFFF00u, 0x100u), 0.512);
    EXPECT_DOUBLE_EQ(elapsed_seconds(1000, 2500), 1.5);
}

TEST(StatusText, RecentCountsCoverTheLastFiveSecondsAcrossAWrap) {
    RecentCounts recent;
    const uint32_t t0 = 0xFFFFF000u;  // the clock wraps on the way
    EXPECT_EQ(recent.add(t0, 10, 3).lost, 0u);
    EXPECT_EQ(recent.add(t0 + 2000, 12, 4).lost, 2u);
    EXPECT_EQ(recent.add(t0 + 6000, 15, 4).lost, 5u);  // from the last sample at least 5 s old
    const RecentCounts::Counts later = recent.add(t0 + 8000, 15, 4);  // the first is left behind
    EXPECT_EQ(later.lost, 3u);
    EXPECT_EQ(later.incomplete, 0u);
    EXPECT_EQ(recent.add(t0 + 20000, 15, 4).lost, 0u);
}

TEST(StatusText, WhatIsSaidAndInWhichOrder) {
    StatusFacts f;
    f.library = "Simulated camera";
    f.camera = "test scene";
    f.mode = "640 x 512, 12 bit";
    EXPECT_EQ(status_text(f), "Camera: Simulated camera · test scene · 640 x 512, 12 bit\nStream: stopped");
    f.acquiring = true;
    f.rate_fps = 25;
    f.frame_bytes = 2e6;
    f.recent = {2, 1};
    f.stream = "packets of 1400 bytes";
    f.problem = "Something is wrong.";
    EXPECT_EQ(status_text(f), "Camera: Simulated camera · test scene · 640 x 512, 12 bit\n"
                              "Stream: 25.0 fps, 50.0 MB/s; last 5 s: 2 lost; packets of 1400 bytes\n"
                              "Something is wrong.");
    f.library.clear();  // the maker's library tells nothing of itself
    f.incomplete_known = true;
    EXPECT_NE(status_text(f).find("the camera maker's library"), std::string::npos);
    EXPECT_NE(status_text(f).find("2 lost, 1 incomplete"), std::string::npos);

    // The library's own words first, then its state, then the viewer's.
    EXPECT_EQ(problem_text("Held.", CQ_CAMERA_LOST, "No frames."), "Held.");
    EXPECT_EQ(problem_text("", CQ_CAMERA_LOST, "No frames.").rfind("The camera does not answer", 0), 0u);
    EXPECT_EQ(problem_text("", CQ_CAMERA_ANSWERING, "No frames."), "No frames.");
}

TEST(StatusText, WrapsAtSpacesAndCutsWhatIsLongerThanALine) {
    const std::vector<std::vector<std::string>> expected = {
        {"one two", "three"}, {"abcdefgh", "ij"}, {"a", "abcdefgh", "ijkl"}, {}};
    const char* texts[] = {"one two three", "abcdefghij", "a abcdefghijkl", "   "};
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(wrap_text(texts[i], 8), expected[i]) << texts[i];
}

// --- Picture figures ---

TEST(PictureMeasure, HistogramAndClipSharesOfKnownFrames) {
    // 8 pixels each: two at full scale, one at zero.
    const uint8_t mono8[8] = {255, 255, 0, 1, 2, 128, 128, 200};
    const uint16_t mono12[8] = {4095, 4095, 0, 16, 17, 2048, 2048, 5000};  // above full scale counts as full
    uint8_t bgrx[8 * 4];
    for (int i = 0; i < 8; ++i) bgrx[4 * i] = 10, bgrx[4 * i + 1] = 20, bgrx[4 * i + 2] = 30, bgrx[4 * i + 3] = 0;
    bgrx[4 * 0 + 2] = 255, bgrx[4 * 1 + 1] = 255, bgrx[4 * 2 + 0] = 0;  // R and G at full, B at zero
    struct Case {
        FrameView view;
        int channels, bits;
        double full, zero;
        int bin;  // a bin holding two pixels (first channel)
    } cases[] = {
        {{FrameView::Kind::mono8, mono8, 4, 2, 8}, 1, 8, 2 / 8.0, 1 / 8.0, 128},
        {{FrameView::Kind::mono16, mono12, 4, 2, 12}, 1, 12, 3 / 8.0, 1 / 8.0, 128},
        {{FrameView::Kind::bgrx, bgrx, 4, 2, 8}, 3, 8, 2 / 8.0, 1 / 8.0, 30},
    };
    for (const Case& c : cases) {
        PictureFigures f;
        measure_histogram(c.view, 1, &f);
        SCOPED_TRACE(c.bits + 100 * c.channels);
        EXPECT_EQ(f.channels, c.channels);
        EXPECT_EQ(f.bits, c.bits);
        EXPECT_DOUBLE_EQ(f.full_share, c.full);
        EXPECT_DOUBLE_EQ(f.zero_share, c.zero);
        EXPECT_GE(f.bins[0][c.bin], 2u);
        EXPECT_EQ(f.bins[0][255], c.channels == 1 ? unsigned(8 * c.full) : 1u);
        uint32_t total = 0;
        for (uint32_t n : f.bins[c.channels - 1]) total += n;
        EXPECT_EQ(total, 8u);
    }
    // 16 and 17 fold into one bin at 12 bits.
    PictureFigures f;
    measure_histogram(cases[1].view, 1, &f);
    EXPECT_EQ(f.bins[0][1], 2u);
    // Every second row and column: pixels 0 and 2 of the first row.
    measure_histogram(cases[0].view, 2, &f);
    EXPECT_DOUBLE_EQ(f.full_share, 0.5);
    EXPECT_DOUBLE_EQ(f.zero_share, 0.5);
}

TEST(PictureMeasure, SampleStepKeepsTheSamplesUnderTheLimit) {
    EXPECT_EQ(sample_step(1000, 1000, 1000000), 1);
    EXPECT_EQ(sample_step(1001, 1000, 1000000), 2);
    EXPECT_EQ(sample_step(5472, 3648, 1000000), 5);  // 1095 x 730 samples
    EXPECT_EQ(sample_step(0, 10, 100), 1);
}

TEST(PictureMeasure, FocusRisesFromBlurredToSharpAndIgnoresExposure) {
    // Vertical bars, 4 pixels wide, then the same blurred by a 9-pixel box.
    const int w = 64, h = 32;
    std::vector<uint16_t> sharp(w * h), blurred(w * h), brighter(w * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) sharp[y * w + x] = (x / 4) % 2 ? 3000 : 1000;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int sum = 0;
            for (int k = -4; k <= 4; ++k) sum += sharp[y * w + std::clamp(x + k, 0, w - 1)];
            blurred[y * w + x] = uint16_t(sum / 9);
            brighter[y * w + x] = uint16_t(sharp[y * w + x] + sharp[y * w + x] / 4);
        }
    auto focus = [&](const std::vector<uint16_t>& p) {
        return focus_figure({FrameView::Kind::mono16, p.data(), w, h, 12}, 1);
    };
    EXPECT_GT(focus(sharp), 3 * focus(blurred));
    EXPECT_GT(focus(blurred), 0);
    EXPECT_NEAR(focus(brighter), focus(sharp), 0.01 * focus(sharp));
}

TEST(PictureMeasure, BestFocusRestartsWhenTheSizeOrModeChanges) {
    const FocusKey a{640, 480, 1, 12, 0}, bigger{1280, 960, 1, 12, 0}, other_mode{640, 480, 1, 12, 2};
    EXPECT_EQ(best_focus_after(14, a, a, 12), 14);
    EXPECT_EQ(best_focus_after(14, a, a, 15), 15);
    EXPECT_EQ(best_focus_after(14, a, bigger, 12), 12);
    EXPECT_EQ(best_focus_after(14, a, other_mode, 12), 12);
}

TEST(PictureTools, TextsAndBarHeights) {
    EXPECT_EQ(clip_text(0.0042, 0), "Clipped: 0.42 % at full scale, 0.00 % at zero");
    EXPECT_EQ(focus_text(12.34, 14.06), "Focus: 12.3 (best 14.1)");
    EXPECT_EQ(bar_height(50, 100, false, 64), 32);
    EXPECT_EQ(bar_height(0, 100, true, 64), 0);
    EXPECT_EQ(bar_height(100, 100, true, 64), 64);
    EXPECT_GT(bar_height(1, 1000, true, 64), 6);  // a lone count stays visible on the log scale
    EXPECT_EQ(bar_height(5, 0, false, 64), 0);
}
