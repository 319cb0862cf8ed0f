// sim_test_support.h - helpers shared by the simulated camera's tests.
// Test thread(s) only.
#pragma once

#include <gtest/gtest.h>
#include <zebapi.h>

#include <cstdlib>
#include <string>

#include "zebsim.h"

namespace simtest {

// Sets (or clears, for nullptr) a ZEBSIM_* variable and makes the cameras
// read the environment again.  Call with no handle open.
inline void set_env(const char* name, const char* value) {
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
    zebsim::reset();
}

inline HANDLE open_camera() {
    DWORD id = 99;
    HANDLE h = INVALID_HANDLE_VALUE;
    EXPECT_EQ(cqkGetDevice(0, &id), 0);
    EXPECT_EQ(cqkInitialize("", id, &h), 0);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    return h;
}

// Waits for, takes and makes current one field; the descriptor of it.
inline CQGETFRAMEEX next_frame(HANDLE h) {
    CQGETFRAMEEX frame{};
    EXPECT_EQ(cqWaitForField(h, 5000), 0);
    void* data = nullptr;
    EXPECT_EQ(cqAcquireField(h, &data), 0);
    EXPECT_NE(data, nullptr);
    EXPECT_EQ(cqUpdateFrame(h, data), 0);
    EXPECT_EQ(cqRetrieveFrameEx(h, &frame), 0);
    EXPECT_EQ(frame.bp, data);
    return frame;
}

// Takes every waiting field; the number of the last (or the given default).
inline DWORD drain(HANDLE h, DWORD last = 0) {
    void* data = nullptr;
    while (cqIsFieldReady(h) == 0) {
        if (cqAcquireField(h, &data) != 0) continue;
        CQGETFRAMEEX frame{};
        cqUpdateBayerFrame(h, data);
        cqRetrieveFrameBayerEx(h, &frame);
        last = frame.curFN;
    }
    return last;
}

class SimTest : public ::testing::Test {
protected:
    void SetUp() override { zebsim::reset(); }
    void TearDown() override { EXPECT_EQ(zebsim::open_handles(), 0) << "a test left a handle open"; }
};

}  // namespace simtest
