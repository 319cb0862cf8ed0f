// ZEBSIM_SENSOR_SIZE: the modes follow from the sensor's size, read-out time
// from the rows read; a caller that falls behind loses frames and they are
// counted.
// Threads: the test main thread (the simulator runs its own producer).
#include <string>
#include <thread>

#include "sim_test_support.h"

using namespace simtest;

namespace {

struct ModeSize {
    DWORD cx, cy, bin;
};

struct SizeCase {
    const char* size;  // ZEBSIM_SENSOR_SIZE
    ModeSize modes[4];
};

float frame_period(HANDLE h, UINT mode, DWORD cx, DWORD cy) {
    EXPECT_EQ(cqSetMode(h, 100, mode, 0, 0, cx, cy), 0);
    while (!cqIsSetModeComplete(h)) {
    }
    float t[4] = {};
    EXPECT_EQ(cqGetModeTiming(h, &t[0], &t[1], &t[2], &t[3]), 0);
    return t[3];
}

}  // namespace

class SimSensorSize : public SimTest {
protected:
    void TearDown() override {
        for (const char* name : {"ZEBSIM_SENSOR_SIZE", "ZEBSIM_FRAME_RATE", "ZEBSIM_READOUT"}) set_env(name, nullptr);
        SimTest::TearDown();
    }
};

// A fast global-shutter read-out (2 ms per 1024 rows) and a frame-rate cap:
// the period is the longest of exposure, read-out and the cap.  A cap that
// is not a positive rate is ignored.
TEST_F(SimSensorSize, FastReadOutAndFrameRateCapSetThePace) {
    set_env("ZEBSIM_SENSOR_SIZE", "5472x3648");
    const auto period = [](const char* rate, const char* readout) {
        set_env("ZEBSIM_FRAME_RATE", rate);
        set_env("ZEBSIM_READOUT", readout);
        HANDLE h = open_camera();
        const float full = frame_period(h, 0, 0, 0), strip = frame_period(h, 1, 1280, 64);
        cqkUninitialize(h);
        return std::pair{full, strip};
    };
    EXPECT_NEAR(period("60", nullptr).first, 0.0285, 1e-4);  // read-out still bounds it
    EXPECT_NEAR(period("60", "fast").first, 1.0 / 60, 1e-5);
    EXPECT_NEAR(period(nullptr, "fast").first, 0.002 * 3648 / 1024, 1e-5);
    EXPECT_NEAR(period("1000", "fast").second, 0.001, 1e-5);
    EXPECT_NEAR(period("-5", "fast").second, 0.0005, 1e-5);
}

TEST_F(SimSensorSize, ModesAndTimingFollowTheSize) {
    const SizeCase cases[] = {
        {"1280x1024", {{1280, 1024, 1}, {1280, 1024, 1}, {640, 512, 2}, {1280, 720, 1}}},
        {"5472x3648", {{5472, 3648, 1}, {5472, 3648, 1}, {2736, 1824, 2}, {5472, 3078, 1}}},
        // Wider than 16:9: the crop is 4:3 across the middle.
        {"8192x2048", {{8192, 2048, 1}, {8192, 2048, 1}, {4096, 1024, 2}, {2730, 2048, 1}}},
        {"8192x8192", {{8192, 8192, 1}, {8192, 8192, 1}, {4096, 4096, 2}, {8192, 4608, 1}}},
    };
    for (const SizeCase& c : cases) {
        SCOPED_TRACE(c.size);
        set_env("ZEBSIM_SENSOR_SIZE", c.size);
        HANDLE h = open_camera();
        char text[256];
        for (UINT m = 0; m < 4; ++m) {
            CQMODE mode{};
            ASSERT_EQ(cqGetModeDescriptor(h, m, &mode), 0);
            EXPECT_EQ(mode.dwCx, c.modes[m].cx) << m;
            EXPECT_EQ(mode.dwCy, c.modes[m].cy) << m;
            EXPECT_EQ(mode.dwBinX, c.modes[m].bin) << m;
            // Read-out: 8 ms per 1024 rows, so the frame period follows the rows.
            EXPECT_NEAR(frame_period(h, m, 0, 0), 0.008 * c.modes[m].cy / 1024, 1e-5) << m;
        }
        EXPECT_NE(cqGetModeDescriptor(h, 4, nullptr), 0);
        const auto size_text = [](const ModeSize& m) { return std::to_string(m.cx) + " x " + std::to_string(m.cy); };
        ASSERT_EQ(cqGetModeDescriptorString(h, 3, text, sizeof text), 0);
        EXPECT_EQ(std::string(text), size_text(c.modes[3]) + ", 12 bit, centre crop");
        ASSERT_EQ(cqGetModeDescriptorString(h, 2, text, sizeof text), 0);
        EXPECT_EQ(std::string(text), size_text(c.modes[2]) + ", 12 bit, 2x2 binning");
        // 64 rows of any width: about 2,000 frames a second.
        EXPECT_NEAR(frame_period(h, 1, 1280, 64), 0.0005, 1e-5);
        EXPECT_NE(cqSetMode(h, 100, 0, 0, 0, c.modes[0].cx + 2, 64), 0);  // wider than the sensor
        cqkUninitialize(h);
    }
}

TEST_F(SimSensorSize, UnusableSizesFallBackToTheDefault) {
    for (const char* bad : {"1281x1024", "8194x16", "0x0", "640", "640x480x2", "-640x480"}) {
        SCOPED_TRACE(bad);
        set_env("ZEBSIM_SENSOR_SIZE", bad);
        HANDLE h = open_camera();
        CQMODE mode{};
        ASSERT_EQ(cqGetModeDescriptor(h, 0, &mode), 0);
        EXPECT_EQ(mode.dwCx, 1280u);
        EXPECT_EQ(mode.dwCy, 1024u);
        cqkUninitialize(h);
    }
}

// A large frame is the whole scene, laid out on the sensor's own size: the
// white patch near the top right, background at the top left corner, the dark
// band at the bottom left.
TEST_F(SimSensorSize, LargeFramesShowTheWholeScene) {
    set_env("ZEBSIM_SENSOR_SIZE", "5472x3648");
    HANDLE h = open_camera();
    ASSERT_EQ(cqSetMode(h, 10000, 1, 0, 0, 0, 0), 0);
    ASSERT_EQ(cqStartAcquisition(h), 0);
    const CQGETFRAMEEX f = next_frame(h);
    ASSERT_EQ(f.curCX, 5472u);
    ASSERT_EQ(f.curCY, 3648u);
    const auto* p = static_cast<const BYTE*>(f.bp);
    // Green sites of the RGGB mosaic: even row, odd column.
    const auto at = [&](double u, double v) {
        return p[(size_t(v * 3648) & ~size_t{1}) * 5472 + (size_t(u * 5472) & ~size_t{1}) + 1];
    };
    EXPECT_NEAR(at(0.04 + 0.115 * 6.5, 0.2), 0.9 * 225, 12);
    EXPECT_NEAR(at(0.01, 0.01), 0.18 * 225, 12);
    EXPECT_NEAR(at(0.01, 0.95), 0.08 * 225, 12);
    cqkUninitialize(h);
}

TEST_F(SimSensorSize, FramesACallerDoesNotTakeAreCountedAsDropped) {
    HANDLE h = open_camera();
    ASSERT_EQ(cqSetMode(h, 100, 1, 0, 0, 64, 64), 0);
    ASSERT_EQ(cqStartAcquisition(h), 0);
    next_frame(h);
    EXPECT_EQ(zebsim::dropped_frames(), 0u);
    // It keeps the last 100 ms or so: at 0.5 ms a frame, the rest are
    // dropped (waited for up to 10 s).
    for (int i = 0; i < 1000 && zebsim::dropped_frames() <= 10u; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_GT(zebsim::dropped_frames(), 10u);
    cqkUninitialize(h);
    zebsim::reset();
    EXPECT_EQ(zebsim::dropped_frames(), 0u);
}

#include <random>
#include <vector>

#include "cpu_features.h"
#include "scene_expose.h"

// The sensor's exposure loop gives the same samples on AVX2 as the baseline
// form, over odd widths and with samples clipped at both ends.
TEST(SimSensorExposure, Avx2RowsMatchTheBaseline) {
    if (tolmirex::detected_simd_level() < tolmirex::SimdLevel::avx2) GTEST_SKIP() << "no AVX2";
    std::mt19937 random(7);
    for (uint32_t n : {1u, 15u, 33u, 5471u}) {
        std::vector<uint16_t> scene(n);
        std::vector<int16_t> noise(n);
        for (uint32_t i = 0; i < n; ++i) {
            scene[i] = uint16_t(random() % 4096);
            noise[i] = int16_t(int(random() % 61) - 30);
        }
        for (uint32_t scale_q8 : {0u, 1u, 256u, 300u, 1048575u}) {
            std::vector<uint16_t> want16(n), got16(n);
            std::vector<uint8_t> want8(n), got8(n);
            zebsim::expose_row(scene.data(), noise.data(), scale_q8, n, want16.data());
            zebsim::expose_row16_avx2(scene.data(), noise.data(), scale_q8, n, got16.data());
            zebsim::expose_row(scene.data(), noise.data(), scale_q8, n, want8.data());
            zebsim::expose_row8_avx2(scene.data(), noise.data(), scale_q8, n, got8.data());
            EXPECT_EQ(got16, want16) << n << " " << scale_q8;
            EXPECT_EQ(got8, want8) << n << " " << scale_q8;
        }
    }
}
