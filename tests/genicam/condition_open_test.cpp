// What the GenICam library says when a camera does not open as it should,
// on fake GigE Vision cameras at 127.0.0.1 in a private network namespace.
// Each case names its camera in TOLMIREX_CAMERA_ID and waits up to 30 s for it.
// Threads: the test main thread, and one that waits in cqkInitialize.
#include <arv.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <zebapi.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <string>
#include <thread>

#include "fake_camera.h"

using genicam_test::FakeCamera;
using genicam_test::FormatCamera;

namespace {

HANDLE open_named(const char* name) {
    setenv("TOLMIREX_CAMERA_ID", name, 1);
    DWORD count = 0, id = 0;
    HANDLE h = INVALID_HANDLE_VALUE;
    if (cqkGetNumberDevices("", &count) == 0 && cqkGetDevice(0, &id) == 0) cqkInitialize("", id, &h);
    return h;
}

std::string problem(HANDLE h) {
    CQCONDITION condition{};
    return cqGetCondition(h, &condition) == 0 ? condition.szProblem : "no condition";
}

std::string text_of(const std::string& path) {
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

// Asks done() until it says yes, for up to 30 s.
template <typename Done>
bool within_30_s(Done done) {
    for (const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
         std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(std::chrono::milliseconds(20)))
        if (done()) return true;
    return false;
}

class GenicamOpen : public ::testing::Test {
protected:
    void SetUp() override {
        if (!genicam_test::in_private_network()) GTEST_SKIP() << "needs a private network namespace";
        setenv("TOLMIREX_CAMERA_OPEN_TIMEOUT_MS", "30000", 1);
    }
};

TEST_F(GenicamOpen, ACameraAnotherProgramControlsOpensAsLostAndStreamsOnceFree) {
    FakeCamera fake("");
    ASSERT_TRUE(fake.start());
    ArvCamera* other = nullptr;  // the other program: its heartbeat keeps control
    ASSERT_TRUE(within_30_s([&] { return (other = arv_camera_new("127.0.0.1", nullptr)) != nullptr; }));
    const HANDLE h = open_named("127.0.0.1");
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << "its facts are read without control";
    CQSETTINGS runs{};
    EXPECT_EQ(cqGetSettings(h, &runs), 0);
    EXPECT_EQ(runs.dwState, DWORD{CQ_CAMERA_LOST});
    EXPECT_EQ(problem(h),
              "Camera 127.0.0.1 is in use by another program. Tolmirex waits for it to be free: close the other "
              "program, or open another camera.");
    EXPECT_NE(cqSetMode(h, 10000, 0, 0, 0, 0, 0), 0);
    EXPECT_EQ(cqStartAcquisition(h), 0) << "kept until the camera is had";
    g_object_unref(other);
    EXPECT_TRUE(within_30_s([&] { return cqWaitForField(h, 200) == 0; }));
    EXPECT_EQ(problem(h), "");
    cqkUninitialize(h);
}

TEST_F(GenicamOpen, ANameNoCameraAnswersToListsThoseThatDoAndASerialAloneOpensOne) {
    FormatCamera other(GENICAM_FORMAT_CAMERA, "Mono8", "127.0.0.1", 0, "GV01");
    ASSERT_TRUE(other.start());
    const std::string said = std::filesystem::temp_directory_path() / ("genicam-said-" + std::to_string(getpid()));
    const int saved = dup(STDERR_FILENO), file = open(said.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(file, STDERR_FILENO);
    auto opened = std::async(std::launch::async, [] { return open_named("GV03"); });
    EXPECT_TRUE(within_30_s([&] {
        return text_of(said).find(
                   "Camera GV03 does not answer. Cameras that answer: Aravis Fake (serial GV01, "
                   "127.0.0.1). Tolmirex keeps waiting for GV03: check TOLMIREX_CAMERA_ID, or that "
                   "the camera is powered and connected.\n") != std::string::npos;
    })) << text_of(said);
    other.kill_now();
    FormatCamera named(GENICAM_FORMAT_CAMERA, "Mono8", "127.0.0.1", 0, "GV03");
    ASSERT_TRUE(named.start());
    const HANDLE h = opened.get();
    dup2(saved, STDERR_FILENO);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << text_of(said);
    CQCONDITION condition{};
    cqGetCondition(h, &condition);
    EXPECT_EQ(std::string(condition.szProblem) + "|" + condition.szCamera, "|Aravis Fake, serial GV03, 127.0.0.1");
    cqkUninitialize(h);
}

TEST_F(GenicamOpen, ADescriptionWithoutASizeNamesIt) {
    std::string xml = text_of(GENICAM_TEST_XML);
    for (const std::string size : {"<Value>640</Value>", "<Value>480</Value>"})  // SensorWidth, SensorHeight
        xml.replace(xml.find(size), size.size(), "<Value>0</Value>");
    const std::string path = std::filesystem::temp_directory_path() / ("genicam-no-size-" + std::to_string(getpid()));
    std::ofstream(path) << xml;
    FakeCamera fake(path);
    ASSERT_TRUE(fake.start());
    testing::internal::CaptureStderr();
    EXPECT_EQ(open_named("127.0.0.1"), INVALID_HANDLE_VALUE);
    const std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_NE(messages.find("Camera 127.0.0.1 (Aravis Fake) gives its picture no size (0 x 0 pixels), so Tolmirex "
                            "has no picture to show. Check the camera's settings with its maker's tool, or open "
                            "another camera.\n"),
              std::string::npos)
        << messages;
}

}  // namespace
