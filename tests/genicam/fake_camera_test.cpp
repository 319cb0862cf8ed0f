// The GenICam camera library through its C interface, on Aravis's fake GigE
// Vision camera at 127.0.0.1 (TOLMIREX_CAMERA_ID), each case with a fake of
// its own inside a private network namespace.  The fake numbers its frames
// from about 65400, so every stream crosses the 16-bit wrap early; it renders
// Mono8 as a ramp scaled by 1 + GainRaw + log10(exposure / 10 ms).
// Threads: the test main thread (the library runs its own receive thread).
#include <gtest/gtest.h>
#include <zebapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "fake_camera.h"
#include "format_pattern.h"

using genicam_test::ControlRelay;
using genicam_test::FakeCamera;
using genicam_test::FormatCamera;
using genicam_test::in_private_network;

namespace {

HANDLE open_camera() {
    DWORD count = 0, id = 0;
    HANDLE h = INVALID_HANDLE_VALUE;
    if (cqkGetNumberDevices("", &count) != 0 || count == 0) return h;
    if (cqkGetDevice(0, &id) != 0) return h;
    cqkInitialize("", id, &h);
    return h;
}

// Starts the fake camera and opens the first camera; INVALID_HANDLE_VALUE when either fails.
HANDLE open_camera_on(FakeCamera& fake) { return fake.start() ? open_camera() : INVALID_HANDLE_VALUE; }

// The level cqGetGPIO reads on port (-1: all four inputs as bits), or kNoLevel when it fails.
constexpr DWORD kNoLevel = ~DWORD{0};
DWORD input_level(HANDLE h, int port) {
    DWORD level = 0;
    return cqGetGPIO(h, port, 0, &level) == 0 ? level : kNoLevel;
}

std::string mode_text(HANDLE h, UINT index) {
    char text[4096];
    return cqGetModeDescriptorString(h, index, text, sizeof text) == 0 ? text : "";
}

// Index of the first mode whose description starts with prefix; -1 if none.
int find_mode(HANDLE h, const std::string& prefix) {
    for (UINT i = 0; i < 200; ++i) {
        const std::string text = mode_text(h, i);
        if (text.empty()) return -1;
        if (text.rfind(prefix, 0) == 0) return static_cast<int>(i);
    }
    return -1;
}

// Waits for the next field, takes every ready one and retrieves the newest.
bool next_frame(HANDLE h, CQGETFRAMEEX* frame) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (cqWaitForField(h, 1000) != 0) continue;
        void* data = nullptr;
        bool taken = false;
        while (cqIsFieldReady(h) == 0)
            if (cqAcquireField(h, &data) == 0 && data) {
                cqUpdateBayerFrame(h, data);
                taken = true;
            }
        if (taken && cqRetrieveFrameBayerEx(h, frame) == 0) return true;
    }
    return false;
}

// Takes fields one at a time: every frame number is seen.
bool each_frame(HANDLE h, CQGETFRAMEEX* frame) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (cqIsFieldReady(h) != 0 && cqWaitForField(h, 1000) != 0) continue;
        void* data = nullptr;
        if (cqAcquireField(h, &data) != 0 || !data) continue;
        cqUpdateBayerFrame(h, data);
        return cqRetrieveFrameBayerEx(h, frame) == 0;
    }
    return false;
}

// The first frame that satisfies done, within a bounded number of frames.
template <typename Done>
bool frame_until(HANDLE h, CQGETFRAMEEX* frame, Done done) {
    for (int i = 0; i < 60; ++i)
        if (next_frame(h, frame) && done(*frame)) return true;
    return false;
}

double mean_level(HANDLE h, const CQGETFRAMEEX& frame) {
    float means[4] = {};
    if (cqGetMeans(h, 0, 0, frame.curCX, frame.curCY, means) != 0) return -1;
    return (means[0] + means[1] + means[2] + means[3]) / 4.0;
}

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

template <typename Call>
double timed(Call call, int& result) {
    const auto begin = Clock::now();
    result = call();
    return seconds_since(begin);
}

int occurrences(const std::string& text, const std::string& part) {
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// How long each call that must not hang took while the camera was gone.
struct CallTimes {
    std::vector<std::pair<std::string, double>> times;
    std::vector<std::string> succeeded;  // calls that asked the camera and said 0
    double stop = 0, close = 0;
    int stop_result = 0, close_result = 0;

    void check() const {
        for (const auto& [name, took] : times) EXPECT_LT(took, 0.5) << name;
        EXPECT_LT(stop, 0.5) << "cqStopAcquisition";
        EXPECT_LT(close, 0.5) << "cqkUninitialize";
        EXPECT_TRUE(succeeded.empty()) << succeeded.front() << " said 0 without a camera";
    }
    void print(const char* when) const {
        std::printf("%s:", when);
        for (const auto& [name, took] : times) std::printf(" %s %.3f s,", name.c_str(), took);
        if (stop || close) std::printf(" cqStopAcquisition %.3f s, cqkUninitialize %.3f s", stop, close);
        std::printf("\n");
    }
};

CallTimes time_calls(HANDLE h) {
    CallTimes calls;
    int result = 0;
    const auto asks_camera = [&](const char* name, double took) {
        calls.times.emplace_back(name, took);
        if (result == 0) calls.succeeded.push_back(name);
    };
    asks_camera("cqSetMode", timed([&] { return cqSetMode(h, 20000, 1, 16, 8, 160, 120); }, result));
    asks_camera("cqSetGainVal", timed([&] { return cqSetGainVal(h, 1.0f); }, result));
    DWORD level = 0;
    asks_camera("cqGetGPIO", timed([&] { return cqGetGPIO(h, -1, 0, &level); }, result));
    float f = 0;
    asks_camera("cqGetModeTiming", timed([&] { return cqGetModeTiming(h, &f, &f, &f, &f); }, result));
    // These answer from what the camera said when it was opened.
    DWORD d = 0;
    calls.times.emplace_back("cqGetGainInfo", timed([&] { return cqGetGainInfo(h, &f, &f, &d, &d); }, result));
    EXPECT_EQ(result, 0);
    CQMODE mode{};
    calls.times.emplace_back("cqGetModeDescriptor", timed([&] { return cqGetModeDescriptor(h, 1, &mode); }, result));
    EXPECT_EQ(result, 0);
    char text[4096];
    calls.times.emplace_back("cqGetModeDescriptorString",
                             timed([&] { return cqGetModeDescriptorString(h, 1, text, sizeof text); }, result));
    EXPECT_EQ(result, 0);
    return calls;
}

// The fake's Mono8 picture at 10 ms and no gain: a diagonal ramp, pixel
// (x, y) = (x + y + its frame id) mod 255.  A picture put together from
// packets of different frames breaks it.
bool whole_ramp(const CQGETFRAMEEX& frame) {
    const auto* pixels = static_cast<const uint8_t*>(frame.bp);
    if (!pixels || frame.curBPP != 8) return false;
    const unsigned origin = pixels[0];
    for (DWORD y = 0; y < frame.curCY; ++y)
        for (DWORD x = 0; x < frame.curCX; ++x)
            if (pixels[y * frame.curCX + x] != (origin + x + y) % 255) return false;
    return true;
}

// Drops that share of the stream's packets in this namespace (control
// traffic on the GVCP port passes); 0 removes the rule.
bool drop_stream_packets(int percent) {
    // No table yet is fine: there is nothing to remove.
    [[maybe_unused]] const int status = std::system("nft delete table inet loss >/dev/null 2>&1");
    if (percent == 0) return true;
    const std::string rule =
        "nft add table inet loss && nft add chain inet loss out '{ type filter hook output priority 0; }' && "
        "nft add rule inet loss out udp sport != 3956 udp dport != 3956 numgen random mod 100 '<' " +
        std::to_string(percent) + " drop";
    return std::system(rule.c_str()) == 0;
}

class GenicamFake : public ::testing::Test {
protected:
    void SetUp() override {
        if (!in_private_network())
            GTEST_SKIP() << "needs a private network namespace (tests/genicam/in-private-network)";
        ASSERT_TRUE(fake_.start());
        control_ = open_camera();
        ASSERT_NE(control_, INVALID_HANDLE_VALUE) << "the fake camera did not answer";
    }
    void TearDown() override {
        if (worker_ != INVALID_HANDLE_VALUE) cqkUninitialize(worker_);
        if (control_ != INVALID_HANDLE_VALUE) cqkUninitialize(control_);
    }
    // A second handle, as the program's acquisition worker opens one.
    void open_worker() {
        worker_ = open_camera();
        ASSERT_NE(worker_, INVALID_HANDLE_VALUE) << "a second handle must share the one connection";
        ASSERT_EQ(cqSetMode(worker_, 10000, 0, 0, 0, 0, 0), 0);
        ASSERT_EQ(cqStartAcquisition(worker_), 0);
    }

    FakeCamera fake_{GENICAM_TEST_XML};
    HANDLE control_ = INVALID_HANDLE_VALUE;
    HANDLE worker_ = INVALID_HANDLE_VALUE;
};

TEST_F(GenicamFake, ListsEachShowableFormatTimesBinningWithItsFullFrame) {
    // The fake starts in Mono8, which comes first; it offers Bayer in all four
    // orders, Mono16 and RGB8 (a colour camera's own colour), and bins up to 16.
    EXPECT_EQ(mode_text(control_, 0), "Mono8, 640 x 480");
    EXPECT_EQ(mode_text(control_, 1), "Mono8, 320 x 240, 2x2 binning");
    EXPECT_EQ(mode_text(control_, 2), "Mono8, 160 x 120, 4x4 binning");
    int modes = 0;
    while (!mode_text(control_, modes).empty()) ++modes;
    EXPECT_EQ(modes, 7 * 3);

    CQMODE mode{};
    ASSERT_EQ(cqGetModeDescriptor(control_, 1, &mode), 0);
    EXPECT_EQ(mode.dwCx, 320u);
    EXPECT_EQ(mode.dwCy, 240u);
    EXPECT_EQ(mode.dwBinX, 2u);
    EXPECT_EQ(mode.dwRDO & CQ_RDO_8BIT, CQ_RDO_8BIT);
    ASSERT_EQ(cqGetModeDescriptor(control_, find_mode(control_, "BayerBG8"), &mode), 0);
    EXPECT_EQ(mode.cqMosaic, CQM_BGGR);
    // Measured for white balance as a Bayer frame is.
    ASSERT_EQ(cqGetModeDescriptor(control_, find_mode(control_, "RGB8"), &mode), 0);
    EXPECT_EQ(mode.cqMosaic, CQM_RGGB);
    ASSERT_EQ(cqGetModeDescriptor(control_, find_mode(control_, "Mono16"), &mode), 0);
    EXPECT_EQ(mode.dwRDO & CQ_RDO_8BIT, 0u);
    EXPECT_NE(cqGetModeDescriptor(control_, modes, &mode), 0);
    EXPECT_NE(cqGetModeDescriptorString(control_, modes, nullptr, 0), 0);

    // A camera with only GainRaw reports its raw range as it is.
    float min = -1, max = -1;
    DWORD stops = 0, default_stop = 9;
    ASSERT_EQ(cqGetGainInfo(control_, &min, &max, &stops, &default_stop), 0);
    EXPECT_EQ(min, 0.0f);
    EXPECT_EQ(max, 10.0f);
}

TEST_F(GenicamFake, StreamsWholeFramesWithConsecutiveNumbersAcrossTheIdWrap) {
    open_worker();
    CQGETFRAMEEX frame{};
    ASSERT_TRUE(each_frame(worker_, &frame));
    float tpfi0 = 0, tpfie = 0, tpfr0 = 0, tpfre = 0;
    ASSERT_EQ(cqGetModeTiming(worker_, &tpfi0, &tpfie, &tpfr0, &tpfre), 0);
    EXPECT_FLOAT_EQ(tpfie, 0.01f);
    EXPECT_GT(tpfre, 0.0f);

    const auto start = std::chrono::steady_clock::now();
    uint32_t previous = frame.curFN;
    const int kFrames = 150;  // from ~65400: past 65535 -> 1
    int gaps = 0;
    for (int i = 0; i < kFrames; ++i) {
        ASSERT_TRUE(each_frame(worker_, &frame)) << "frame " << i;
        ASSERT_NE(frame.bp, nullptr);
        EXPECT_EQ(frame.curCX, 640u);
        EXPECT_EQ(frame.curCY, 480u);
        EXPECT_EQ(frame.curBPP, 8u);
        EXPECT_EQ(frame.curMTX, static_cast<DWORD>(CQM_NONE));
        EXPECT_EQ(frame.modeRDO & CQ_RDO_8BIT, CQ_RDO_8BIT);
        if (frame.curFN - previous != 1) ++gaps;
        previous = frame.curFN;
    }
    EXPECT_EQ(gaps, 0);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%d frames in %.2f s: %.1f frames/s (camera says %.1f)\n", kFrames, seconds, kFrames / seconds,
                1.0 / tpfre);
}

TEST_F(GenicamFake, RegionAndFormatChangesWhileStreamingTakeEffect) {
    open_worker();
    CQGETFRAMEEX frame{};
    ASSERT_TRUE(next_frame(worker_, &frame));

    // The control handle changes the region while the worker streams.
    ASSERT_EQ(cqSetMode(control_, 10000, 0, 64, 32, 320, 240), 0);
    ASSERT_TRUE(frame_until(worker_, &frame, [](const CQGETFRAMEEX& f) { return f.curCX == 320; }));
    EXPECT_EQ(frame.curCY, 240u);
    EXPECT_EQ(frame.curX0, 64u);
    EXPECT_EQ(frame.curY0, 32u);

    // A 16-bit format: two bytes a pixel from now on.
    const int mono16 = find_mode(control_, "Mono16, 640");
    ASSERT_GE(mono16, 0);
    ASSERT_EQ(cqSetMode(control_, 10000, mono16, 0, 0, 0, 0), 0);
    ASSERT_TRUE(frame_until(worker_, &frame, [](const CQGETFRAMEEX& f) { return f.curBPP == 16; }));
    EXPECT_EQ(frame.modeRDO & CQ_RDO_8BIT, 0u);
    EXPECT_EQ(frame.curCX, 640u);

    // GR order is shown as RG, one column in: two columns fewer.
    const int gr8 = find_mode(control_, "BayerGR8, 640");
    ASSERT_GE(gr8, 0);
    ASSERT_EQ(cqSetMode(control_, 10000, gr8, 0, 0, 0, 0), 0);
    ASSERT_TRUE(frame_until(worker_, &frame, [](const CQGETFRAMEEX& f) { return f.curMTX == CQM_RGGB; }));
    EXPECT_EQ(frame.curCX, 638u);
    EXPECT_EQ(frame.curBPP, 8u);

    // A region that does not fit the mode is refused.
    EXPECT_NE(cqSetMode(control_, 10000, 0, 600, 0, 100, 100), 0);
    EXPECT_NE(cqSetMode(control_, 10000, 999, 0, 0, 0, 0), 0);
}

TEST_F(GenicamFake, ExposureAndGainChangeTheImageWithoutARestart) {
    open_worker();
    CQGETFRAMEEX frame{};
    ASSERT_TRUE(frame_until(worker_, &frame, [](const CQGETFRAMEEX&) { return true; }));
    const double normal = mean_level(worker_, frame);
    ASSERT_GT(normal, 50.0);

    // 1 ms: the fake's scale drops to 0, a black image.
    ASSERT_EQ(cqSetMode(control_, 1000, 0, 0, 0, 0, 0), 0);
    ASSERT_TRUE(frame_until(worker_, &frame, [&](const CQGETFRAMEEX& f) { return mean_level(worker_, f) < 1.0; }));
    ASSERT_EQ(cqSetMode(control_, 10000, 0, 0, 0, 0, 0), 0);
    ASSERT_TRUE(frame_until(worker_, &frame, [&](const CQGETFRAMEEX& f) { return mean_level(worker_, f) > 50.0; }));

    // Gain 3: four times the ramp, mostly saturated.
    ASSERT_EQ(cqSetGainVal(control_, 3.0f), 0);
    ASSERT_TRUE(
        frame_until(worker_, &frame, [&](const CQGETFRAMEEX& f) { return mean_level(worker_, f) > normal + 50.0; }));

    // No restart: the numbers go on one by one.
    CQGETFRAMEEX later{};
    uint32_t previous = frame.curFN;
    ASSERT_EQ(cqSetGainVal(control_, 0.0f), 0);
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(each_frame(worker_, &later));
        if (later.curFN != previous + 1) {
            // Only frames the queue dropped, never a restart's jump.
            EXPECT_LT(later.curFN - previous, 8u);
        }
        previous = later.curFN;
    }

    // What runs is what the camera took: the exposure at its 10 us least,
    // the gain in its whole steps, and the full frame as cqSetMode takes it.
    // They are read back once the camera thread is free.
    ASSERT_EQ(cqSetMode(control_, 5, 0, 0, 0, 0, 0), 0);
    ASSERT_EQ(cqSetGainVal(control_, 2.4f), 0);
    const std::vector<double> taken{10, 2, 0, 0};
    std::vector<double> runs_now;
    for (const auto began = Clock::now(); runs_now != taken && seconds_since(began) < 10.0;) {
        CQSETTINGS runs{};
        ASSERT_EQ(cqGetSettings(control_, &runs), 0);
        runs_now = {double(runs.uiExposure), runs.fGain, double(runs.dwROIcx), double(runs.dwROIcy)};
    }
    EXPECT_EQ(runs_now, taken);
}

// Kill the fake for 16 s and start it again on the same address: nobody
// reopens anything, yet frames come back with the settings made before.
TEST_F(GenicamFake, LostCameraIsWaitedForAndComesBackWithItsSettings) {
    open_worker();
    const int binned = find_mode(control_, "Mono8, 320");
    ASSERT_GE(binned, 0);
    ASSERT_EQ(cqSetMode(control_, 20000, binned, 16, 8, 160, 120), 0);
    ASSERT_EQ(cqSetGainVal(control_, 1.0f), 0);
    CQGETFRAMEEX before{};
    ASSERT_TRUE(frame_until(worker_, &before, [](const CQGETFRAMEEX& f) { return f.curCX == 160; }));
    const auto* shown = static_cast<const uint8_t*>(before.bp);
    const std::vector<uint8_t> picture(shown, shown + before.curCX * before.curCY);
    HANDLE third = open_camera();  // closed during the outage
    ASSERT_NE(third, INVALID_HANDLE_VALUE);
    ASSERT_EQ(cqStartAcquisition(third), 0);
    testing::internal::CaptureStderr();

    fake_.kill_now();
    const auto killed = Clock::now();
    // Frames still on their way when it died, then nothing.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    CQGETFRAMEEX last_before = before;
    while (cqIsFieldReady(worker_) == 0) ASSERT_TRUE(each_frame(worker_, &last_before));
    void* data = nullptr;
    std::vector<CallTimes> rounds;
    double longest_wait = 0, shortest_wait = 1e9;
    int waits = 0, wrong_results = 0;
    while (seconds_since(killed) < 16.0) {
        const auto begin = Clock::now();
        const int result = cqWaitForField(worker_, 1000);
        const double took = seconds_since(begin);
        if (result == CQK_SUCCESS || result == CQK_WAIT_REOPEN_LOST || result == CQK_WAIT_REOPEN_RESET) {
            ADD_FAILURE() << "wait result " << result << " " << seconds_since(killed) << " s into the outage";
            if (++wrong_results == 3) break;
            while (cqIsFieldReady(worker_) == 0) cqAcquireField(worker_, &data);
            continue;
        }
        longest_wait = std::max(longest_wait, took);
        shortest_wait = std::min(shortest_wait, took);
        ++waits;
        const double since = seconds_since(killed);
        if (rounds.empty() && since >= 1.0) {
            rounds.push_back(time_calls(control_));  // before Aravis's heartbeat notices
            rounds.back().stop = timed([&] { return cqStopAcquisition(third); }, rounds.back().stop_result);
            rounds.back().close = timed([&] { return cqkUninitialize(third); }, rounds.back().close_result);
        } else if (rounds.size() == 1 && since >= 10.0) {
            rounds.push_back(time_calls(control_));  // long into the outage
        }
    }
    ASSERT_EQ(rounds.size(), 2u);
    for (const CallTimes& round : rounds) round.check();
    EXPECT_EQ(rounds[0].close_result, 0) << "a handle closes during the outage";
    EXPECT_GT(shortest_wait, 0.9) << "each wait times out after its second";
    EXPECT_LT(longest_wait, 5.0);  // five times its second: only a hang fails it

    ASSERT_TRUE(fake_.start());
    const auto restarted = Clock::now();
    int result = -1;
    while (result != 0 && seconds_since(restarted) < 15.0) result = cqWaitForField(worker_, 1000);
    const double recovery = seconds_since(restarted);
    ASSERT_EQ(result, 0) << "frames again without any reopen";
    CQGETFRAMEEX after{};
    ASSERT_TRUE(next_frame(worker_, &after));
    EXPECT_EQ(after.curCX, 160u);
    EXPECT_EQ(after.curCY, 120u);
    EXPECT_EQ(after.curX0, 16u);
    EXPECT_EQ(after.curY0, 8u);
    float tpfi0 = 0, tpfie = 0, tpfr0 = 0, tpfre = 0;
    ASSERT_EQ(cqGetModeTiming(control_, &tpfi0, &tpfie, &tpfr0, &tpfre), 0);
    EXPECT_FLOAT_EQ(tpfie, 0.02f);
    // The restarted fake numbers afresh, so its ids say nothing about the
    // frames missed: the step is one the program counts as no loss (a jump,
    // or one when Aravis dropped the new ids up to the old last one as late),
    // and the numbers go on one by one from there.
    const uint32_t step = after.curFN - last_before.curFN;
    EXPECT_TRUE(step == 1 || step >= 1000u) << "step " << step;
    uint32_t previous = after.curFN;
    int gaps = 0;
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(each_frame(worker_, &after));
        if (after.curFN - previous != 1) ++gaps;
        previous = after.curFN;
    }
    EXPECT_LE(gaps, 1);
    // The ramp moves a step a frame, 255 steps round: with the gain and
    // exposure applied again, one of the next 255 frames is the one before.
    bool same = false;
    for (int i = 0; i < 300 && !same; ++i) {
        ASSERT_TRUE(each_frame(worker_, &after));
        same = after.curCX * after.curCY == picture.size() && !std::memcmp(after.bp, picture.data(), picture.size());
    }
    EXPECT_TRUE(same) << "gain and exposure applied again";

    const std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_EQ(occurrences(messages, "Camera 127.0.0.1 lost, waiting for it to come back\n"), 1) << messages;
    EXPECT_EQ(occurrences(messages, "Camera 127.0.0.1 is back\n"), 1) << messages;
    std::printf("outage 16 s: %d waits of %.2f to %.2f s; frames %.2f s after the camera came back\n", waits,
                shortest_wait, longest_wait, recovery);
    for (size_t i = 0; i < rounds.size(); ++i) rounds[i].print(i == 0 ? "1 s into the outage" : "10 s into the outage");
}

// A streaming camera that falls silent is known lost within a second (the
// stream stops and one probe is refused), not at Aravis's heartbeat 5 s on.
TEST_F(GenicamFake, ASilentStreamingCameraIsLostBeforeTheHeartbeatTells) {
    open_worker();
    CQGETFRAMEEX frame{};
    ASSERT_TRUE(next_frame(worker_, &frame));
    CQSETTINGS runs{};
    fake_.kill_now();
    const auto killed = Clock::now();
    while (seconds_since(killed) < 4.0 && cqGetSettings(control_, &runs) == 0 && runs.dwState != CQ_CAMERA_LOST)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(runs.dwState, DWORD{CQ_CAMERA_LOST}) << "after " << seconds_since(killed) << " s";
}

// The program's shutdown in an outage: its worker sees the stop request
// after one wait, stops and closes; then the control handle closes.
TEST_F(GenicamFake, StopRequestOneSecondIntoAnOutageEndsAfterOneWait) {
    open_worker();
    std::atomic<bool> run{true};
    std::atomic<int> frames{0};
    std::thread worker([&] {
        while (run) {
            if (cqWaitForField(worker_, 1000) != 0) continue;
            void* data = nullptr;
            while (cqIsFieldReady(worker_) == 0)
                if (cqAcquireField(worker_, &data) == 0) ++frames;
        }
        cqStopAcquisition(worker_);
        cqkUninitialize(worker_);
    });
    const auto streaming = Clock::now();
    while (frames < 5 && seconds_since(streaming) < 10.0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (frames < 5) {
        run = false;
        worker.join();
        worker_ = INVALID_HANDLE_VALUE;
        FAIL() << "only " << frames << " frames in 10 s before the outage";
    }
    fake_.kill_now();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const auto stop = Clock::now();
    run = false;
    worker.join();
    EXPECT_EQ(cqkUninitialize(control_), 0);
    const double took = seconds_since(stop);
    worker_ = control_ = INVALID_HANDLE_VALUE;
    EXPECT_LT(took, 5.0);
    std::printf("stop 1 s into an outage: worker and control handle closed in %.2f s\n", took);
}

// Random loss of stream packets in the namespace's firewall: Aravis hands
// over frames with packets missing, which come out marked incomplete, with
// the pixels of a whole frame, and with numbers that add up.
TEST_F(GenicamFake, FramesWithMissingPacketsAreMarkedIncompleteAndNeverTorn) {
    if (std::system("nft list ruleset >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "needs nft (scripts/setup installs nftables)";
    open_worker();
    ASSERT_EQ(cqSetMode(control_, 10000, 0, 0, 0, 640, 32), 0);  // ~15 packets a frame
    CQGETFRAMEEX frame{};
    ASSERT_TRUE(frame_until(worker_, &frame, [](const CQGETFRAMEEX& f) { return f.curCY == 32; }));
    ASSERT_TRUE(whole_ramp(frame)) << "the fake's picture as this test reads it";
    for (int percent : {1, 5}) {
        ASSERT_TRUE(drop_stream_packets(percent));
        // The library's numbers against the camera's own ids: a complete
        // frame's picture starts at its id mod 255 (255 divides 65535, so a
        // 16-bit wrap keeps it), and no run of 255 frames goes missing here.
        // Between two complete frames the numbers step exactly as the ids;
        // an incomplete one between them steps forward, never back.
        uint32_t previous = 0, last_complete_fn = 0;
        unsigned last_origin = 0;
        bool any_complete = false;
        int acquired = 0, lost = 0, incomplete = 0, torn = 0, backwards = 0, mismatched = 0;
        long camera_span = 0, library_span = 0;
        for (int i = 0; i < 100; ++i) {
            ASSERT_TRUE(each_frame(worker_, &frame)) << percent << " % loss, field " << i;
            if (i > 0) {
                const uint32_t gap = frame.curFN - previous - 1;
                if (gap < 1000)
                    lost += static_cast<int>(gap);
                else
                    ++backwards;
            }
            previous = frame.curFN;
            ++acquired;
            const bool whole = whole_ramp(frame);
            if (!whole) ++torn;
            if (!cqIsFrameComplete(worker_)) {
                ++incomplete;  // the pixels of the last complete frame
                continue;
            }
            if (!whole) continue;
            const unsigned origin = static_cast<const uint8_t*>(frame.bp)[0];
            if (any_complete) {
                const uint32_t camera_step = (origin + 255 - last_origin) % 255;
                const uint32_t library_step = frame.curFN - last_complete_fn;
                if (camera_step != library_step) {
                    ++mismatched;
                    ADD_FAILURE() << percent << " % loss, field " << i << ": the camera's id stepped by " << camera_step
                                  << ", the frame number by " << library_step;
                }
                camera_span += camera_step;
                library_span += library_step;
            }
            any_complete = true;
            last_complete_fn = frame.curFN;
            last_origin = origin;
        }
        EXPECT_EQ(backwards, 0) << percent << " % loss";
        EXPECT_EQ(mismatched, 0) << percent << " % loss";
        EXPECT_EQ(library_span, camera_span) << percent << " % loss";
        EXPECT_GT(camera_span, 0) << percent << " % loss";
        EXPECT_GT(incomplete, 0) << percent << " % loss";
        EXPECT_LT(incomplete, acquired) << percent << " % loss";
        EXPECT_EQ(torn, 0) << percent << " % loss";
        std::printf("%d %% packet loss: %d fields, %d incomplete, %d lost, %d torn; camera ids spanned %ld\n", percent,
                    acquired, incomplete, lost, torn, camera_span);
    }
    ASSERT_TRUE(drop_stream_packets(0));
}

// 5 % of the stream lost for over a second, then none: one line when the
// run of incomplete frames has lasted a second, one when it has ended.
TEST_F(GenicamFake, ARunOfIncompleteFramesIsToldAndSoIsItsEnd) {
    if (std::system("nft list ruleset >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "needs nft (scripts/setup installs nftables)";
    open_worker();
    CQGETFRAMEEX frame{};
    ASSERT_TRUE(next_frame(worker_, &frame));
    testing::internal::CaptureStderr();
    for (int percent : {5, 0}) {
        ASSERT_TRUE(drop_stream_packets(percent));
        const auto began = Clock::now();
        while (seconds_since(began) < 1.6) ASSERT_TRUE(each_frame(worker_, &frame)) << percent << " % loss";
    }
    const std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_EQ(occurrences(messages, "Frames arriving incomplete: "), 1) << messages;
    EXPECT_EQ(occurrences(messages, " (packets lost on the network)\n"), 1) << messages;
    EXPECT_EQ(occurrences(messages, "Frames arriving complete again\n"), 1) << messages;
}

TEST_F(GenicamFake, InputsReadThroughLineStatusAll) {
    EXPECT_EQ(input_level(control_, -1), 10u);  // Line1 and Line3 high
    const DWORD expected[4] = {0, 1, 0, 1};
    for (int port = 1; port <= 4; ++port)
        EXPECT_EQ(input_level(control_, port), expected[port - 1]) << "input " << port;
    EXPECT_EQ(input_level(control_, 5), kNoLevel);
}

TEST(GenicamInputs, ReadLineByLineWithoutLineStatusAll) {
    if (!in_private_network()) GTEST_SKIP() << "needs a private network namespace";
    const std::string description = genicam_test::description_without_line_status_all(GENICAM_TEST_XML);
    FakeCamera fake(description);
    HANDLE h = open_camera_on(fake);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(input_level(h, -1), 10u);
    EXPECT_EQ(input_level(h, 2), 1u);
    cqkUninitialize(h);
    std::remove(description.c_str());
}

TEST(GenicamInputs, ReadZeroOnACameraWithoutLines) {
    if (!in_private_network()) GTEST_SKIP() << "needs a private network namespace";
    FakeCamera fake("");  // Aravis's own description: no line features
    HANDLE h = open_camera_on(fake);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(input_level(h, -1), 0u);
    cqkUninitialize(h);
}

TEST(GenicamHandles, ClosedMinusOneAndMadeUpHandlesAreRefused) {
    if (!in_private_network()) GTEST_SKIP() << "needs a private network namespace";
    // No camera answers: opening gives up after the time-out, handle untouched.
    setenv("TOLMIREX_CAMERA_OPEN_TIMEOUT_MS", "300", 1);
    HANDLE none = INVALID_HANDLE_VALUE;
    DWORD id = 99;
    ASSERT_EQ(cqkGetDevice(0, &id), 0);  // the chosen camera, whether or not it answers
    EXPECT_NE(cqkInitialize("", id, &none), 0);
    EXPECT_EQ(none, INVALID_HANDLE_VALUE);
    unsetenv("TOLMIREX_CAMERA_OPEN_TIMEOUT_MS");

    FakeCamera fake(GENICAM_TEST_XML);
    HANDLE closed = open_camera_on(fake);
    ASSERT_NE(closed, INVALID_HANDLE_VALUE);
    ASSERT_EQ(cqkUninitialize(closed), 0);

    for (HANDLE h : {closed, INVALID_HANDLE_VALUE, reinterpret_cast<HANDLE>(0x1234), HANDLE{nullptr}}) {
        DWORD level = 0;
        float f = 0;
        DWORD d = 0;
        void* data = nullptr;
        CQMODE mode{};
        CQGETFRAMEEX frame{};
        CQFILTER filter{};
        CQGETBITMAP bitmap{};
        LUT lut{};
        char text[16];
        float means[4];
        EXPECT_NE(cqkUninitialize(h), 0);
        EXPECT_NE(cqInitializeHardware(h), 0);
        EXPECT_NE(cqApplyCameraProfile(h), 0);
        EXPECT_NE(cqSetExtention(h, EXT_RAW_EN, 1), 0);
        EXPECT_NE(cqSetGainVal(h, 1.0f), 0);
        EXPECT_NE(cqSetLUT(h, &lut), 0);
        EXPECT_NE(cqSetMode(h, 10000, 0, 0, 0, 0, 0), 0);
        EXPECT_NE(cqGetModeTiming(h, &f, &f, &f, &f), 0);
        EXPECT_NE(cqGetModeDescriptor(h, 0, &mode), 0);
        EXPECT_NE(cqGetModeDescriptorString(h, 0, text, sizeof text), 0);
        EXPECT_NE(cqGetGainInfo(h, &f, &f, &d, &d), 0);
        EXPECT_NE(cqGetGPIO(h, -1, 0, &level), 0);
        EXPECT_NE(cqStartAcquisition(h), 0);
        EXPECT_NE(cqStopAcquisition(h), 0);
        EXPECT_NE(cqWaitForField(h, 10), 0);
        EXPECT_NE(cqIsFieldReady(h), 0);
        EXPECT_NE(cqAcquireField(h, &data), 0);
        EXPECT_NE(cqUpdateFrame(h, data), 0);
        EXPECT_NE(cqRetrieveFrameEx(h, &frame), 0);
        EXPECT_EQ(cqIsFrameComplete(h), 0);
        EXPECT_NE(cqGetMeans(h, 0, 0, 4, 4, means), 0);
        EXPECT_NE(cqSetupFilter(h, &filter), 0);
        EXPECT_NE(cqApplyDefaultColorCorrectionMatrix(h), 0);
        EXPECT_NE(cqSetupCE(h, 0, 255), 0);
        EXPECT_NE(cqProcessFrame(h), 0);
        EXPECT_NE(cqRetrieveBitmapAdv(h, &bitmap, nullptr), 0);
    }
}

TEST_F(GenicamFake, ColourFramesBecomeBitmapsOfTheFrameSize) {
    open_worker();
    const int rg8 = find_mode(control_, "BayerRG8, 640");
    ASSERT_GE(rg8, 0);
    ASSERT_EQ(cqSetMode(control_, 10000, rg8, 0, 0, 320, 240), 0);
    CQGETFRAMEEX frame{};
    ASSERT_TRUE(
        frame_until(worker_, &frame, [](const CQGETFRAMEEX& f) { return f.curMTX == CQM_RGGB && f.curCX == 320; }));
    CQFILTER filter{};
    filter.rgbWhiteBal[0] = filter.rgbWhiteBal[1] = filter.rgbWhiteBal[2] = 1.0;
    filter.gammaY = 1.0;
    ASSERT_EQ(cqSetupFilter(worker_, &filter), 0);
    ASSERT_EQ(cqApplyDefaultColorCorrectionMatrix(worker_), 0);
    ASSERT_EQ(cqSetupCE(worker_, 0, 255), 0);
    ASSERT_EQ(cqProcessFrame(worker_), 0);
    CQGETBITMAP bitmap{};
    CQGETBITMAPOPT options{};
    ASSERT_EQ(cqRetrieveBitmapAdv(worker_, &bitmap, &options), 0);
    EXPECT_NE(bitmap.bp, nullptr);
    EXPECT_EQ(bitmap.w, 320u);
    EXPECT_EQ(bitmap.h, 240u);
    EXPECT_EQ(cqFreeBitmap(nullptr, &bitmap), 0);
    EXPECT_EQ(bitmap.bp, nullptr);
}

// --- every pixel format a camera may send: genicam_format_camera's pattern --

// The newest frame, checked against the pattern in the format in use: the
// samples (16-bit for packed formats, unpacked; the luma for colour ones)
// exactly, and for colour ones the bitmap cqProcessFrame makes from the
// camera's own colour, with no correction, within max_colour_error.
struct PatternCheck {
    const genicam_test::FormatInfo* format;
    int max_colour_error = 0;  // for 4:2:2, over the whole bitmap (RGB ones must be exact)

    bool samples_match(const CQGETFRAMEEX& f) const {
        using genicam_test::Packing;
        const bool colour = format->packing == Packing::Rgb || format->packing == Packing::Yuv422;
        if (!f.bp || f.curBPP != DWORD(format->bits)) return false;
        for (DWORD y = 0; y < f.curCY; ++y)
            for (DWORD x = 0; x < f.curCX; ++x) {
                const uint32_t ax = f.curX0 + x, ay = f.curY0 + y, i = y * f.curCX + x;
                uint32_t expected = genicam_test::sample(ax, ay, format->bits);
                if (format->packing == Packing::Rgb) {
                    const auto c = genicam_test::rgb(ax, ay);
                    expected = (77 * c.r + 150 * c.g + 29 * c.b + 128) >> 8;
                } else if (format->packing == Packing::Yuv422) {
                    expected = genicam_test::yuv(ax, ay).y;
                }
                const uint32_t got =
                    format->bits > 8 ? static_cast<const uint16_t*>(f.bp)[i] : static_cast<const uint8_t*>(f.bp)[i];
                if (got != expected) return false;
            }
        return !colour || f.curMTX == CQM_RGGB;
    }

    int colour_error(HANDLE h, const CQGETFRAMEEX& f) const {
        CQFILTER filter{};  // no matrix: the camera's colour as it is
        filter.rgbWhiteBal[0] = filter.rgbWhiteBal[1] = filter.rgbWhiteBal[2] = 1.0;
        filter.gammaY = 1.0;
        CQGETBITMAP bitmap{};
        CQGETBITMAPOPT options{};
        if (cqSetupFilter(h, &filter) != 0 || cqSetupCE(h, 0, 255) != 0 || cqProcessFrame(h) != 0 ||
            cqRetrieveBitmapAdv(h, &bitmap, &options) != 0 || bitmap.w != f.curCX || bitmap.h != f.curCY)
            return 256;
        int worst = 0;
        const auto* pixels = reinterpret_cast<const uint32_t*>(bitmap.bp);
        for (DWORD y = 0; y < f.curCY; ++y)
            for (DWORD x = 0; x < f.curCX; ++x) {
                const uint32_t ax = f.curX0 + x, ay = f.curY0 + y, p = pixels[y * f.curCX + x];
                const auto c = format->packing == genicam_test::Packing::Rgb
                                   ? genicam_test::rgb(ax, ay)
                                   : genicam_test::ycbcr_to_rgb(genicam_test::yuv(ax, ay));
                worst = std::max({worst, std::abs(int(p >> 16 & 255) - c.r), std::abs(int(p >> 8 & 255) - c.g),
                                  std::abs(int(p & 255) - c.b)});
            }
        cqFreeBitmap(nullptr, &bitmap);
        return worst;
    }
};

constexpr const char* kPackedAndColourFormats =
    "Mono12p,Mono10p,Mono14p,Mono10Packed,Mono12Packed,Mono14,BayerRG10p,BayerGR12p,BayerBG12p,BayerRG12Packed,"
    "BayerGB12Packed,RGB8,BGR8,RGBa8,BGRa8,YUV422_8,YUV422_8_UYVY,YCbCr422_8";

class GenicamFormats : public ::testing::Test {
protected:
    void SetUp() override {
        if (!in_private_network())
            GTEST_SKIP() << "needs a private network namespace (tests/genicam/in-private-network)";
        ASSERT_TRUE(camera_.start());
        control_ = open_camera();
        ASSERT_NE(control_, INVALID_HANDLE_VALUE);
        worker_ = open_camera();
        ASSERT_NE(worker_, INVALID_HANDLE_VALUE);
        ASSERT_EQ(cqSetMode(worker_, 10000, 0, 0, 0, 0, 0), 0);
        ASSERT_EQ(cqStartAcquisition(worker_), 0);
    }
    void TearDown() override {
        for (HANDLE h : {worker_, control_})
            if (h != INVALID_HANDLE_VALUE) cqkUninitialize(h);
    }

    FormatCamera camera_{GENICAM_FORMAT_CAMERA, kPackedAndColourFormats};
    HANDLE control_ = INVALID_HANDLE_VALUE, worker_ = INVALID_HANDLE_VALUE;
};

// Each format in a region whose rows start inside a packed group (an odd
// width, an odd offset): the pixels are the pattern's.
TEST_F(GenicamFormats, EachFormatShowsTheCamerasPattern) {
    EXPECT_EQ(mode_text(control_, 0), "Mono12p, 640 x 480");  // the camera's current format first
    for (const char* name : {"Mono12p", "Mono10p", "Mono14p", "Mono10Packed", "Mono12Packed", "Mono14", "BayerRG10p",
                             "BayerGR12p", "BayerBG12p", "BayerRG12Packed", "BayerGB12Packed", "RGB8", "BGR8", "RGBa8",
                             "BGRa8", "YUV422_8", "YUV422_8_UYVY", "YCbCr422_8"}) {
        SCOPED_TRACE(name);
        const PatternCheck check{genicam_test::find_format(name), 2};
        ASSERT_NE(check.format, nullptr);
        const bool yuv = check.format->packing == genicam_test::Packing::Yuv422;
        const int mode = find_mode(control_, std::string(name) + ", 640");
        ASSERT_GE(mode, 0);
        ASSERT_EQ(cqSetMode(control_, 10000, mode, yuv ? 6 : 5, 3, yuv ? 100 : 101, 40), 0);
        CQGETFRAMEEX frame{};
        ASSERT_TRUE(frame_until(worker_, &frame, [&](const CQGETFRAMEEX& f) { return check.samples_match(f); }));
        if (check.format->packing == genicam_test::Packing::Rgb) {
            EXPECT_EQ(check.colour_error(worker_, frame), 0);
        } else if (yuv) {
            EXPECT_LE(check.colour_error(worker_, frame), check.max_colour_error);
        }
    }
}

// A camera at 127.0.0.2 behind a relay that holds every control packet for
// a while: its answers come late, and it is waited for, never taken as gone.
class GenicamSlowCamera : public ::testing::Test {
protected:
    explicit GenicamSlowCamera(double frame_rate = 0)
        : camera_{GENICAM_FORMAT_CAMERA, "Mono8,Mono12p", "127.0.0.2", 10000, "FMT01", frame_rate} {}
    void SetUp() override {
        if (!in_private_network())
            GTEST_SKIP() << "needs a private network namespace (tests/genicam/in-private-network)";
        genicam_test::set_delay(delay_file_, 0);
        ASSERT_TRUE(relay_.start());
        ASSERT_TRUE(camera_.start());
        testing::internal::CaptureStderr();
        control_ = open_camera();
        ASSERT_NE(control_, INVALID_HANDLE_VALUE);
        ASSERT_EQ(cqSetMode(control_, 10000, 0, 0, 0, 0, 0), 0);
        ASSERT_EQ(cqStartAcquisition(control_), 0);
    }
    void TearDown() override {
        genicam_test::set_delay(delay_file_, 0);
        if (control_ != INVALID_HANDLE_VALUE) cqkUninitialize(control_);
        std::remove(delay_file_.c_str());
    }
    // The camera's own register, read past the library with Aravis's tool.
    static std::string register_value(const char* feature) {
        const std::string command = std::string("arv-tool-0.8 -a 127.0.0.1 control ") + feature + " 2>/dev/null";
        std::string output;
        if (FILE* pipe = popen(command.c_str(), "r")) {
            char line[256];
            while (fgets(line, sizeof line, pipe)) output += line;
            pclose(pipe);
        }
        return output;
    }

    const std::string delay_file_ = "/tmp/genicam-delay-" + std::to_string(getpid());
    ControlRelay relay_{GENICAM_CONTROL_RELAY, delay_file_};
    // The camera's heartbeat time-out outlasts a slow answer, as a slow
    // camera's must.
    FormatCamera camera_;
    HANDLE control_ = INVALID_HANDLE_VALUE;
};

TEST_F(GenicamSlowCamera, AnswersHalfASecondAndTwoSecondsLateAreWaitedFor) {
    CQGETFRAMEEX frame{};
    for (int round_trip_ms : {500, 2000}) {
        genicam_test::set_delay(delay_file_, round_trip_ms / 2);  // each way
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        int result = -1;
        const double took = timed([&] { return cqSetGainVal(control_, 2.0f); }, result);
        EXPECT_EQ(result, 0) << round_trip_ms << " ms";
        EXPECT_GT(took, round_trip_ms * 0.8e-3) << "the delay did not take";
        // The panel's once-a-second poll: answered from the last reading, at once.
        DWORD levels = 0;
        const double inputs_took = timed([&] { return cqGetGPIO(control_, -1, 0, &levels); }, result);
        EXPECT_EQ(result, 0) << round_trip_ms << " ms, after " << inputs_took << " s";
        EXPECT_LT(inputs_took, 0.3) << round_trip_ms << " ms";
        EXPECT_TRUE(next_frame(control_, &frame)) << "no frames at " << round_trip_ms << " ms";
        std::printf("round trip %d ms: cqSetGainVal answered after %.2f s\n", round_trip_ms, took);
    }
    const std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_EQ(messages.find("lost"), std::string::npos) << messages;
    EXPECT_EQ(messages.find("too slowly"), std::string::npos) << messages;
}

// A call given up on at the bound while the camera was busy with another is
// taken back: the camera never gets it.  The one it was busy with runs to its
// end, and says so.
class GenicamSlowCameraShortBound : public GenicamSlowCamera {
protected:
    GenicamSlowCameraShortBound() { setenv("TOLMIREX_CAMERA_CALL_TIMEOUT_MS", "1500", 1); }
};

TEST_F(GenicamSlowCameraShortBound, ACallGivenUpOnIsNeverAppliedLater) {
    genicam_test::set_delay(delay_file_, 500);  // each way: every register access takes a second
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const int mono12p = find_mode(control_, "Mono12p, 640");
    ASSERT_GE(mono12p, 0);
    int busy_result = -1, gain_result = -1;
    // The format change stops and restarts the stream: a dozen accesses.
    std::thread busy([&] { busy_result = cqSetMode(control_, 10000, mono12p, 0, 0, 320, 240); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const double took = timed([&] { return cqSetGainVal(control_, 7.0f); }, gain_result);
    busy.join();
    EXPECT_EQ(gain_result, 2);
    EXPECT_LT(took, 7.5);  // at the 1.5 s bound, not when the busy call ends a dozen seconds on
    EXPECT_EQ(busy_result, 2);
    // While the camera is held up, calls fail at once instead of waiting out
    // the bound again.
    int stuck_result = 0;
    EXPECT_LT(timed([&] { return cqSetGainVal(control_, 3.0f); }, stuck_result), 0.3);
    EXPECT_EQ(stuck_result, 8);  // kNoDevice, as for a camera not answering
    // The format change is left to finish (its frames arrive), then the
    // camera itself is asked.
    CQGETFRAMEEX frame{};
    EXPECT_TRUE(frame_until(control_, &frame, [](const CQGETFRAMEEX& f) { return f.curBPP == 12 && f.curCX == 320; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_NE(messages.find("cqSetGainVal gave up after"), std::string::npos) << messages;
    EXPECT_NE(messages.find("not applied"), std::string::npos) << messages;
    EXPECT_NE(messages.find("cqSetMode, given up on by its caller, finished after"), std::string::npos) << messages;
    EXPECT_EQ(messages.find("lost"), std::string::npos) << messages;
    genicam_test::set_delay(delay_file_, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_NE(register_value("GainRaw").find("GainRaw = 0"), std::string::npos) << register_value("GainRaw");
    EXPECT_NE(register_value("PixelFormat").find("Mono12p"), std::string::npos) << "the format change ran to its end";
}

// A camera at 1.5 frames a second behind a link with a 0.5 s round trip:
// slow both ways, and never taken for gone.
class GenicamSlowFrames : public GenicamSlowCamera {
protected:
    GenicamSlowFrames() : GenicamSlowCamera(1.5) {}
};

TEST_F(GenicamSlowFrames, AreNeverTakenForALostCamera) {
    genicam_test::set_delay(delay_file_, 250);  // each way
    CQGETFRAMEEX frame{};
    for (int frames = 0; frames < 12; ++frames) ASSERT_TRUE(next_frame(control_, &frame)) << frames << " frames";
    int result = -1;
    timed([&] { return cqSetGainVal(control_, 2.0f); }, result);
    EXPECT_EQ(result, 0);
    const std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_EQ(messages.find("lost"), std::string::npos) << messages;
}

// A camera that comes back from an outage as another one (another serial,
// without the format in use) is named, and the nearest mode it offers runs.
TEST(GenicamChangedCamera, AnotherSerialWithoutTheFormatInUseIsNamedAndTheNearestModeRuns) {
    if (!in_private_network()) GTEST_SKIP() << "needs a private network namespace";
    FormatCamera first(GENICAM_FORMAT_CAMERA, "Mono8,Mono12p");
    ASSERT_TRUE(first.start());
    const HANDLE h = open_camera();
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    const int mono12p = find_mode(h, "Mono12p, 640");
    ASSERT_GE(mono12p, 0);
    ASSERT_EQ(cqSetMode(h, 10000, mono12p, 0, 0, 320, 240), 0);
    ASSERT_EQ(cqStartAcquisition(h), 0);
    CQGETFRAMEEX frame{};
    ASSERT_TRUE(frame_until(h, &frame, [](const CQGETFRAMEEX& f) { return f.curBPP == 12; }));
    testing::internal::CaptureStderr();
    first.kill_now();
    CQSETTINGS runs{};
    const auto lost = [&] { return cqGetSettings(h, &runs) == 0 && runs.dwState == CQ_CAMERA_LOST; };
    for (const auto began = Clock::now(); !lost() && seconds_since(began) < 10.0;)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(runs.dwState, DWORD{CQ_CAMERA_LOST});

    FormatCamera second(GENICAM_FORMAT_CAMERA, "Mono8", "127.0.0.1", 0, "FMT02");
    ASSERT_TRUE(second.start());
    EXPECT_TRUE(frame_until(h, &frame, [](const CQGETFRAMEEX& f) { return f.curBPP == 8; }));
    ASSERT_EQ(cqGetSettings(h, &runs), 0);
    EXPECT_EQ(mode_text(h, runs.uiMode), "Mono8, 640 x 480");
    EXPECT_EQ(find_mode(h, "Mono12p"), -1) << "the list is the camera's as it is now";
    EXPECT_EQ(std::vector<DWORD>({runs.dwROIx0, runs.dwROIy0, runs.dwROIcx, runs.dwROIcy}),
              std::vector<DWORD>({0, 0, 0, 0}));  // the full frame
    cqkUninitialize(h);
    const std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_NE(messages.find("Camera 127.0.0.1 came back as another camera: "), std::string::npos) << messages;
    EXPECT_NE(messages.find("(serial FMT02), not "), std::string::npos) << messages;
    EXPECT_NE(messages.find("(serial FMT01)\n"), std::string::npos) << messages;
    EXPECT_NE(messages.find("Camera 127.0.0.1 no longer offers Mono12p, 640 x 480; using Mono8, 640 x 480\n"),
              std::string::npos)
        << messages;
}

// What the user is told when no camera opens, beside the program's own
// "Couldn't setup camera!".
TEST(GenicamNoCamera, EachReasonHasItsLine) {
    if (!in_private_network()) GTEST_SKIP() << "needs a private network namespace";
    setenv("TOLMIREX_CAMERA_OPEN_TIMEOUT_MS", "500", 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(open_camera(), INVALID_HANDLE_VALUE);  // nothing at 127.0.0.1
    {
        FormatCamera depth(GENICAM_FORMAT_CAMERA, "Coord3D_C8");
        ASSERT_TRUE(depth.start());
        EXPECT_EQ(open_camera(), INVALID_HANDLE_VALUE);
    }
    unsetenv("TOLMIREX_CAMERA_ID");
    DWORD count = 9;
    EXPECT_EQ(cqkGetNumberDevices("", &count), 0);
    EXPECT_EQ(count, 0u);
    const std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_NE(messages.find("Camera 127.0.0.1 did not answer within 500 ms (TOLMIREX_CAMERA_ID)"), std::string::npos)
        << messages;
    EXPECT_NE(messages.find("offers only pixel formats Tolmirex cannot show: Coord3D_C8. "), std::string::npos)
        << messages;
    EXPECT_EQ(occurrences(messages, "did not answer"), 1) << messages;
    EXPECT_NE(messages.find("No camera found: "), std::string::npos) << messages;
    EXPECT_NE(messages.find("TOLMIREX_CAMERA_ID=<IPv4 address or Aravis id>"), std::string::npos) << messages;
}

// Aravis's in-process fake camera has no address to ask: it is opened by id
// and streams, and its calls are waited for like any slow camera's.
TEST(GenicamCameraWithoutAddress, OpensAndStreams) {
    setenv("TOLMIREX_CAMERA_ID", "Fake_1", 1);
    const HANDLE h = open_camera();
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(cqSetMode(h, 10000, 0, 0, 0, 0, 0), 0);
    EXPECT_EQ(cqStartAcquisition(h), 0);
    CQGETFRAMEEX frame{};
    EXPECT_TRUE(next_frame(h, &frame));
    EXPECT_EQ(cqSetGainVal(h, 1.0f), 0);
    EXPECT_EQ(cqkUninitialize(h), 0);
}

}  // namespace
