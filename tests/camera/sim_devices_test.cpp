// Devices, handles, modes, gain and inputs of the simulated camera.
#include <thread>
#include <vector>

#include "sim_test_support.h"

using namespace simtest;

class SimDevices : public SimTest {};

TEST_F(SimDevices, NoCameraMeansNothingToOpen) {
    setenv("ZEBSIM_CAMERAS", "0", 1);
    DWORD count = 7, id = 7;
    EXPECT_EQ(cqkGetNumberDevices("", &count), 0);
    EXPECT_EQ(count, 0u);
    EXPECT_NE(cqkGetDevice(0, &id), 0);
    HANDLE h = INVALID_HANDLE_VALUE;
    EXPECT_NE(cqkInitialize("", 0, &h), 0);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE);
    unsetenv("ZEBSIM_CAMERAS");
    EXPECT_EQ(cqkGetNumberDevices("", &count), 0);
    EXPECT_EQ(count, 1u);
}

TEST_F(SimDevices, BadHandlesFailWithoutCrashing) {
    HANDLE closed = open_camera();
    ASSERT_EQ(cqkUninitialize(closed), 0);
    int made_up_storage = 0;
    for (HANDLE h : {closed, INVALID_HANDLE_VALUE, HANDLE(nullptr), HANDLE(&made_up_storage)}) {
        void* data = nullptr;
        CQGETFRAMEEX frame{};
        CQGETBITMAP bitmap{};
        float means[4];
        DWORD level;
        EXPECT_NE(cqkUninitialize(h), 0);
        EXPECT_NE(cqInitializeHardware(h), 0);
        EXPECT_NE(cqApplyCameraProfile(h), 0);
        EXPECT_NE(cqSetExtention(h, EXT_RAW_EN, 1), 0);
        EXPECT_NE(cqSetMode(h, 10000, 0, 0, 0, 0, 0), 0);
        EXPECT_NE(cqSetGainVal(h, 3), 0);
        EXPECT_NE(cqStartAcquisition(h), 0);
        EXPECT_NE(cqWaitForField(h, 10), 0);
        EXPECT_NE(cqAcquireField(h, &data), 0);
        EXPECT_NE(cqUpdateFrame(h, data), 0);
        EXPECT_NE(cqRetrieveFrameEx(h, &frame), 0);
        EXPECT_NE(cqGetMeans(h, 0, 0, 2, 2, means), 0);
        EXPECT_NE(cqProcessFrame(h), 0);
        EXPECT_NE(cqRetrieveBitmapAdv(h, &bitmap, nullptr), 0);
        EXPECT_NE(cqGetGPIO(h, -1, 0, &level), 0);
        EXPECT_NE(cqStopAcquisition(h), 0);
        EXPECT_EQ(cqIsFrameComplete(h), 0);
    }
    EXPECT_EQ(made_up_storage, 0);
}

TEST_F(SimDevices, ModesDescribeThemselves) {
    HANDLE h = open_camera();
    char text[4096];
    UINT count = 0;
    while (cqGetModeDescriptorString(h, count, text, sizeof text) == 0) ++count;
    EXPECT_EQ(count, 4u);
    ASSERT_EQ(cqGetModeDescriptorString(h, 0, text, sizeof text), 0);
    EXPECT_STREQ(text, "1280 x 1024, 12 bit, full frame");

    CQMODE mode{};
    ASSERT_EQ(cqGetModeDescriptor(h, 1, &mode), 0);
    EXPECT_EQ(mode.dwCx, 1280u);
    EXPECT_EQ(mode.dwRDO & CQ_RDO_8BIT, CQ_RDO_8BIT);
    EXPECT_EQ(mode.cqMosaic, CQM_RGGB);
    ASSERT_EQ(cqGetModeDescriptor(h, 2, &mode), 0);
    EXPECT_EQ(mode.dwCx, 640u);
    EXPECT_EQ(mode.dwBinX, 2u);
    EXPECT_EQ(mode.dwRDO & CQ_RDO_8BIT, 0u);
    ASSERT_EQ(cqGetModeDescriptor(h, 3, &mode), 0);
    EXPECT_EQ(mode.dwCy, 720u);
    EXPECT_NE(cqGetModeDescriptor(h, 4, &mode), 0);
    cqkUninitialize(h);
}

TEST_F(SimDevices, RejectedModesAndRegionsLeaveTheModeUnchanged) {
    HANDLE h = open_camera();
    ASSERT_EQ(cqSetMode(h, 5000, 0, 16, 8, 640, 512), 0);
    while (!cqIsSetModeComplete(h)) {
    }
    EXPECT_NE(cqSetMode(h, 20000, 4, 0, 0, 0, 0), 0);              // no such mode
    EXPECT_NE(cqSetMode(h, 20000, 0, 1000, 0, 300, 100), 0);       // x0 + cx > 1280
    EXPECT_NE(cqSetMode(h, 20000, 3, 0, 0, 1280, 721), 0);         // taller than the mode
    EXPECT_NE(cqSetMode(h, 20000, 0, 0, 0, 0, 100), 0);            // cx 0 but not all zero
    EXPECT_NE(cqSetMode(h, 20000, 0, 0xFFFFFFF0u, 0, 64, 64), 0);  // would wrap around
    float t[4] = {};
    ASSERT_EQ(cqGetModeTiming(h, &t[0], &t[1], &t[2], &t[3]), 0);
    EXPECT_FLOAT_EQ(t[1], 0.005f);  // still the accepted exposure

    ASSERT_EQ(cqStartAcquisition(h), 0);
    const CQGETFRAMEEX f = next_frame(h);
    EXPECT_EQ(f.curX0, 16u);
    EXPECT_EQ(f.curY0, 8u);
    EXPECT_EQ(f.curCX, 640u);
    EXPECT_EQ(f.curCY, 512u);
    EXPECT_EQ(f.modeCX, 1280u);
    EXPECT_EQ(f.origX0, 16u);
    cqkUninitialize(h);
}

TEST_F(SimDevices, BayerRegionsRoundDownToWholeCells) {
    HANDLE h = open_camera();
    ASSERT_EQ(cqSetMode(h, 5000, 0, 3, 5, 641, 479), 0);
    EXPECT_NE(cqSetMode(h, 5000, 0, 1, 0, 1, 64), 0);  // no whole cell left
    ASSERT_EQ(cqStartAcquisition(h), 0);
    const CQGETFRAMEEX f = next_frame(h);
    EXPECT_EQ(std::vector<DWORD>({f.curX0, f.curY0, f.curCX, f.curCY, f.curMTX}),
              std::vector<DWORD>({2, 4, 640, 478, CQM_RGGB}));
    // What runs is what a panel is told, the region as cqSetMode takes it.
    ASSERT_EQ(cqSetGainVal(h, 1000.0f), 0);
    CQSETTINGS runs{};
    ASSERT_EQ(cqGetSettings(h, &runs), 0);
    EXPECT_EQ(std::vector<DWORD>({runs.dwState, runs.uiExposure, runs.uiMode, runs.dwROIx0, runs.dwROIy0,
                                  runs.dwROIcx, runs.dwROIcy}),
              std::vector<DWORD>({CQ_CAMERA_ANSWERING, 5000, 0, 2, 4, 640, 478}));
    float min = 0, max = 0;
    DWORD stops = 0, default_stop = 0;
    cqGetGainInfo(h, &min, &max, &stops, &default_stop);
    EXPECT_EQ(runs.fGain, max);
    ASSERT_EQ(cqSetMode(h, 5000, 1, 0, 0, 0, 0), 0);
    ASSERT_EQ(cqGetSettings(h, &runs), 0);
    EXPECT_EQ(std::vector<DWORD>({runs.uiMode, runs.dwROIx0, runs.dwROIy0, runs.dwROIcx, runs.dwROIcy}),
              std::vector<DWORD>({1, 0, 0, 0, 0}));
    cqkUninitialize(h);
}

TEST_F(SimDevices, TimingFollowsExposureAndRowsRead) {
    HANDLE h = open_camera();
    float t[4] = {};
    ASSERT_EQ(cqSetMode(h, 1000, 0, 0, 0, 0, 0), 0);
    cqGetModeTiming(h, &t[0], &t[1], &t[2], &t[3]);
    EXPECT_NEAR(t[3], 0.008, 0.0005);  // read-out bound
    EXPECT_NE(t[1], 0.0f);
    ASSERT_EQ(cqSetMode(h, 1000, 0, 0, 0, 1280, 512), 0);
    cqGetModeTiming(h, &t[0], &t[1], &t[2], &t[3]);
    EXPECT_NEAR(t[3], 0.004, 0.0005);
    ASSERT_EQ(cqSetMode(h, 40000, 0, 0, 0, 0, 0), 0);
    cqGetModeTiming(h, &t[0], &t[1], &t[2], &t[3]);
    EXPECT_NEAR(t[3], 0.040, 0.0005);  // exposure bound
    cqkUninitialize(h);
}

TEST_F(SimDevices, GainRangeAndInputs) {
    HANDLE h = open_camera();
    float lo = -1, hi = -1;
    DWORD stops = 0, def = 99;
    ASSERT_EQ(cqGetGainInfo(h, &lo, &hi, &stops, &def), 0);
    EXPECT_EQ(lo, 0.0f);
    EXPECT_EQ(hi, 24.0f);
    EXPECT_GT(stops, 1u);
    cqkUninitialize(h);

    set_env("ZEBSIM_GAIN_RANGE", "6:30");
    set_env("ZEBSIM_INPUTS", "5");
    h = open_camera();
    ASSERT_EQ(cqGetGainInfo(h, &lo, &hi, &stops, &def), 0);
    EXPECT_EQ(lo, 6.0f);
    EXPECT_EQ(hi, 30.0f);
    DWORD level = 99;
    ASSERT_EQ(cqGetGPIO(h, -1, 0, &level), 0);
    EXPECT_EQ(level, 5u);
    ASSERT_EQ(cqGetGPIO(h, 3, 0, &level), 0);
    EXPECT_EQ(level, 1u);
    ASSERT_EQ(cqGetGPIO(h, 2, 0, &level), 0);
    EXPECT_EQ(level, 0u);
    EXPECT_NE(cqGetGPIO(h, 5, 0, &level), 0);
    zebsim::set_inputs(0xA);
    ASSERT_EQ(cqGetGPIO(h, -1, 0, &level), 0);
    EXPECT_EQ(level, 0xAu);
    zebsim::set_inputs(-1);
    ASSERT_EQ(cqGetGPIO(h, -1, 0, &level), 0);
    EXPECT_LT(level, 16u);
    cqkUninitialize(h);

    // An unbounded range is refused like any malformed one: the default stays.
    set_env("ZEBSIM_GAIN_RANGE", "-inf:0");
    h = open_camera();
    ASSERT_EQ(cqGetGainInfo(h, &lo, &hi, &stops, &def), 0);
    EXPECT_EQ(lo, 0.0f);
    EXPECT_EQ(hi, 24.0f);
    EXPECT_EQ(stops, 241u);
    cqkUninitialize(h);
    set_env("ZEBSIM_GAIN_RANGE", nullptr);
    set_env("ZEBSIM_INPUTS", nullptr);
}

TEST_F(SimDevices, CallsAreLoggedWithTheirArguments) {
    HANDLE h = open_camera();
    zebsim::clear_calls();
    cqSetMode(h, 10000, 0, 16, 0, 640, 1024);
    cqSetGainVal(h, 6.5f);
    DWORD level;
    cqGetGPIO(h, -1, 0, &level);
    cqWaitForField(h, 1);
    const std::vector<std::string> expected{"cqSetMode 10000 0 16 0 640 1024", "cqSetGainVal 6.5", "cqGetGPIO -1 0",
                                            "cqWaitForField 1"};
    EXPECT_EQ(zebsim::calls(), expected);
    EXPECT_EQ(zebsim::count("cqSetMode"), 1u);
    EXPECT_EQ(zebsim::count("cqSet"), 0u);
    cqkUninitialize(h);
}
