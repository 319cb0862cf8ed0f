// Faults injected on purpose, by name and by call count.
// Threads: the test main thread (the simulator runs its own producer).
#include "sim_test_support.h"

using namespace simtest;

class SimFaults : public SimTest {};

TEST_F(SimFaults, SetupFaults) {
    HANDLE h = open_camera();
    zebsim::set_faults("init,setmode,start,modedesc,gaininfo");
    EXPECT_NE(cqInitializeHardware(h), 0);
    EXPECT_NE(cqSetMode(h, 10000, 0, 0, 0, 0, 0), 0);
    EXPECT_NE(cqStartAcquisition(h), 0);
    CQMODE mode{};
    char text[64] = "";
    EXPECT_NE(cqGetModeDescriptor(h, 0, &mode), 0);
    EXPECT_NE(cqGetModeDescriptorString(h, 0, text, sizeof text), 0);
    float lo = -7, hi = -7;
    DWORD stops = 7, def = 7;
    EXPECT_NE(cqGetGainInfo(h, &lo, &hi, &stops, &def), 0);
    EXPECT_EQ(lo, -7.0f);  // writes nothing
    EXPECT_EQ(hi, -7.0f);
    EXPECT_EQ(stops, 7u);
    zebsim::set_faults("");
    EXPECT_EQ(cqInitializeHardware(h), 0);
    EXPECT_EQ(cqGetGainInfo(h, &lo, &hi, &stops, &def), 0);
    cqkUninitialize(h);
}

TEST_F(SimFaults, CountedWaitFaultsFireOnceAtTheirCall) {
    HANDLE h = open_camera();
    ASSERT_EQ(cqStartAcquisition(h), 0);
    zebsim::set_faults("wait45@2,wait1@4");
    EXPECT_EQ(cqWaitForField(h, 5000), 0);
    EXPECT_EQ(cqWaitForField(h, 5000), CQK_WAIT_REOPEN_RESET);
    EXPECT_EQ(cqWaitForField(h, 5000), 0);
    EXPECT_EQ(cqWaitForField(h, 5000), 1);
    EXPECT_EQ(cqWaitForField(h, 5000), 0);
    zebsim::set_faults("wait1@1");  // counters restart
    EXPECT_EQ(cqWaitForField(h, 5000), 1);
    cqkUninitialize(h);
}

TEST_F(SimFaults, AcquireProcessAndBitmapFaults) {
    HANDLE h = open_camera();
    ASSERT_EQ(cqStartAcquisition(h), 0);
    zebsim::set_faults("acquire@2,process@1,bitmap");
    next_frame(h);
    ASSERT_EQ(cqWaitForField(h, 5000), 0);
    void* data = nullptr;
    EXPECT_NE(cqAcquireField(h, &data), 0);
    EXPECT_NE(cqProcessFrame(h), 0);
    EXPECT_EQ(cqProcessFrame(h), 0);
    CQGETBITMAP bmp{};
    EXPECT_NE(cqRetrieveBitmapAdv(h, &bmp, nullptr), 0);
    EXPECT_NE(cqRetrieveBitmapAdv(h, &bmp, nullptr), 0);  // every call
    EXPECT_EQ(bmp.bp, nullptr);
    cqkUninitialize(h);
}

TEST_F(SimFaults, EnvironmentFaultsAreReadAtOpenAndUnknownNamesIgnored) {
    set_env("ZEBSIM_FAULTS", "nosuchfault,start,wait45@0");
    HANDLE h = open_camera();
    EXPECT_EQ(cqInitializeHardware(h), 0);
    EXPECT_NE(cqStartAcquisition(h), 0);
    EXPECT_NE(cqWaitForField(h, 1), CQK_WAIT_REOPEN_RESET);  // "@0" is malformed, so ignored
    cqkUninitialize(h);
    set_env("ZEBSIM_FAULTS", nullptr);
    h = open_camera();
    EXPECT_EQ(cqStartAcquisition(h), 0);
    cqkUninitialize(h);
}
