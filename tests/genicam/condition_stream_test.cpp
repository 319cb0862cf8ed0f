// What the GenICam camera library says through cqGetCondition of an open
// camera, on Aravis's fake camera in a private network namespace, set up
// through arv-tool, ip and nft (on the sending side: the library may read
// packets before the input hook).
// Threads: the test main thread.
#include <gtest/gtest.h>
#include <zebapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "fake_camera.h"

using genicam_test::FakeCamera;
using genicam_test::in_private_network;

namespace {

bool shell(const std::string& command) { return std::system(command.c_str()) == 0; }

// Sets a feature of the fake, asking until it has started and reads it back.
bool set_on_camera(const std::string& feature, const std::string& value) {
    const std::string command =
        "arv-tool-0.8 -a 127.0.0.1 control " + feature + "=" + value + " " + feature + " 2>&1";
    for (int attempt = 0; attempt < 10; ++attempt) {
        FILE* out = popen(command.c_str(), "r");
        if (!out) return false;
        std::string text;
        for (char line[256]; std::fgets(line, sizeof line, out);) text += line;
        pclose(out);
        if (text.find(feature + " = " + value) != std::string::npos) return true;
    }
    return false;
}

HANDLE open_and_start() {
    DWORD count = 0, id = 0;
    HANDLE h = INVALID_HANDLE_VALUE;
    if (cqkGetNumberDevices("", &count) == 0 && count > 0 && cqkGetDevice(0, &id) == 0) cqkInitialize("", id, &h);
    return h != INVALID_HANDLE_VALUE && cqStartAcquisition(h) == 0 ? h : INVALID_HANDLE_VALUE;
}

// Waits, frame by frame or a tenth of a second at a time, for the condition.
template <typename Done>
bool condition_until(HANDLE h, CQCONDITION* condition, Done done) {
    for (int i = 0; i < 300; ++i) {
        if (cqGetCondition(h, condition) == 0 && done(*condition)) return true;
        if (cqWaitForField(h, 100) != 0) continue;
        void* data = nullptr;
        while (cqIsFieldReady(h) == 0)
            if (cqAcquireField(h, &data) == 0 && data) cqUpdateBayerFrame(h, data);
    }
    return false;
}

bool has(const char* text, const std::string& part) { return std::string(text).find(part) != std::string::npos; }

const std::string kTrigger =
    "The camera waits for a trigger: FrameStart from Line0, rising edge. Frames come only when it fires; to see "
    "pictures without it, press Free run.";

}  // namespace

class GenicamConditions : public ::testing::Test {
protected:
    void SetUp() override {
        if (!in_private_network()) GTEST_SKIP() << "needs a private network namespace (in-private-network)";
        ASSERT_TRUE(fake_.start());
    }
    void TearDown() override {
        if (h_ != INVALID_HANDLE_VALUE) cqkUninitialize(h_);
        if (in_private_network()) shell("nft delete table inet t >/dev/null 2>&1; ip link set lo mtu 65536");
    }
    FakeCamera fake_{""};
    HANDLE h_ = INVALID_HANDLE_VALUE;
    CQCONDITION c_{};
};

TEST_F(GenicamConditions, ATriggerOnIsToldAndFreeRunEndsIt) {
    ASSERT_TRUE(set_on_camera("TriggerMode", "On"));
    h_ = open_and_start();
    ASSERT_NE(h_, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(condition_until(h_, &c_, [](const CQCONDITION& c) {
        return has(c.szProblem, kTrigger) && (c.dwActions & CQ_CAN_FREE_RUN) && has(c.szStream, "bound by the trigger");
    })) << c_.szProblem << " | " << c_.szStream;
    ASSERT_EQ(cqSetFreeRun(h_), 0);
    EXPECT_TRUE(condition_until(h_, &c_, [](const CQCONDITION& c) {
        return !has(c.szProblem, "trigger") && c.dwActions == 0 && !has(c.szStream, "trigger");
    })) << c_.szProblem;
    EXPECT_EQ(cqWaitForField(h_, 5000), 0) << "no frames in free run";
    EXPECT_NE(cqSetFreeRun(h_), 0) << "no trigger is on";
}

TEST_F(GenicamConditions, PacketsLargerThanTheLinkTakesNameTheSizeAndTheMtu) {
    // A link dropping packets over 1500 bytes, as a switch without jumbo frames does (lo only fragments them).
    ASSERT_TRUE(shell("ip link set lo mtu 1500 && nft add table inet t && "
                      "nft add chain inet t out '{ type filter hook output priority 0; }' && "
                      "nft add rule inet t out meta length '>' 1500 drop"));
    ASSERT_TRUE(set_on_camera("GevSCPSPacketSize", "8000"));
    h_ = open_and_start();
    ASSERT_NE(h_, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(condition_until(h_, &c_, [](const CQCONDITION& c) {
        return has(c.szProblem, "Frames never arrive whole: the camera sends packets of 8000 bytes, and lo carries at "
                                "most 1500 (its MTU). Set the camera's packet size (GevSCPSPacketSize) to 1500") &&
               has(c.szStream, "packets of 8000 bytes");
    })) << c_.szProblem << " | " << c_.szStream;
}

TEST_F(GenicamConditions, AStreamStoppedOnItsWayNamesItsPortUntilFramesCome) {
    h_ = open_and_start();
    ASSERT_NE(h_, INVALID_HANDLE_VALUE);
    ASSERT_EQ(cqWaitForField(h_, 5000), 0);
    ASSERT_TRUE(cqGetCondition(h_, &c_) == 0 && has(c_.szStream, "packets of 1400 bytes")) << c_.szStream;
    // All UDP but the control channel's (nft merges "sport != 3956 dport !=
    // 3956" into one compare of both ports, which drops it too).
    ASSERT_TRUE(shell("nft add table inet t && nft add chain inet t out '{ type filter hook output priority 0; }' && "
                      "nft add rule inet t out udp sport 3956 accept && nft add rule inet t out udp dport 3956 accept && "
                      "nft add rule inet t out meta l4proto udp drop"));
    const std::string words = "The camera answers, but its pictures do not reach this PC: they should come to UDP port ";
    EXPECT_TRUE(condition_until(h_, &c_, [&](const CQCONDITION& c) {
        return has(c.szProblem, words) && has(c.szProblem, " on 127.0.0.1 (lo). A firewall");
    })) << c_.szProblem;
    const std::string problem = c_.szProblem;
    EXPECT_GT(std::atoi(problem.c_str() + problem.find(words) + words.size()), 0) << problem;
    ASSERT_TRUE(shell("nft delete table inet t"));
    EXPECT_TRUE(condition_until(h_, &c_, [](const CQCONDITION& c) { return c.szProblem[0] == '\0'; }))
        << c_.szProblem;
}
