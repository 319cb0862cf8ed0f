// ZEBSIM_DROP=3: every third frame is lost at the sensor and the frame
// numbers show the gaps.
// Threads: the test main thread (the simulator runs its own producer).
#include <set>

#include "sim_test_support.h"

using namespace simtest;

class SimDrop : public SimTest {};

TEST_F(SimDrop, EveryThirdFrameIsMissing) {
    set_env("ZEBSIM_DROP", "3");
    HANDLE h = open_camera();
    ASSERT_EQ(cqSetMode(h, 5000, 0, 0, 0, 64, 64), 0);
    ASSERT_EQ(cqStartAcquisition(h), 0);
    std::set<DWORD> seen;
    while (seen.size() < 12) seen.insert(next_frame(h).curFN);
    for (DWORD fn : seen) EXPECT_NE((fn + 1) % 3, 0u) << fn;
    EXPECT_GT(*seen.rbegin() - *seen.begin() + 1, seen.size());
    cqkUninitialize(h);
    set_env("ZEBSIM_DROP", nullptr);
}
