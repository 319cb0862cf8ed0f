// The viewer on an X server reached over TCP through a throttled loopback,
// as over `ssh -X` or from a thin client: without MIT-SHM every picture
// crosses the link. The camera must keep its rate, the panel must answer
// and closing must stay quick, whatever the link carries. Runs inside a
// private network namespace (tests/src/on-remote-display); skips elsewhere.
// Test thread; the viewer runs as a process of its own.
#include <gtest/gtest.h>
#include <X11/Xlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"
#include "viewer_process.h"

namespace {

using Clock = std::chrono::steady_clock;

// Links to try: REMOTE_LINKS (a comma list of tc rates, or "unthrottled")
// when set, as the benchmark does.
std::vector<std::string> links() {
    std::string list = getenv("REMOTE_LINKS") ? getenv("REMOTE_LINKS") : "unthrottled,20mbit,5mbit";
    std::vector<std::string> found;
    std::stringstream stream(list);
    for (std::string link; std::getline(stream, link, ',');) found.push_back(link);
    return found;
}

bool shape_loopback(const std::string& link) {
    [[maybe_unused]] const int none_yet = std::system("tc qdisc del dev lo root 2>/dev/null");
    return link == "unthrottled" ||
           std::system(("tc qdisc add dev lo root tbf rate " + link + " burst 128kb latency 2000ms").c_str()) == 0;
}

class RemoteDisplay : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        remote = getenv("REMOTE_DISPLAY");
        if (!remote) GTEST_SKIP() << "needs a private network namespace with tc (tests/src/on-remote-display)";
        ASSERT_TRUE(shape_loopback(GetParam()));
        local = XOpenDisplay(nullptr);  // the server's own side, not throttled
        ASSERT_NE(local, nullptr);
        call_log =
            std::string(getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp") + "/remote-calls-" + std::to_string(getpid());
    }

    void TearDown() override {
        if (local) XCloseDisplay(local);
        if (remote) {
            std::remove(call_log.c_str());
            shape_loopback("unthrottled");
        }
    }

    bool read_title(Title* t) {
        const Window video = wait_for_window(local, "Video FPS: ", 1);
        return video && parse_title(window_name(local, video), t);
    }

    size_t log_size() {
        std::ifstream log(call_log, std::ios::ate);
        return log ? size_t(log.tellg()) : 0;
    }

    bool logged_since(size_t offset, const std::string& call) {
        std::ifstream log(call_log);
        log.seekg(std::streamoff(offset));
        for (std::string line; std::getline(log, line);)
            if (line.rfind(call, 0) == 0) return true;
        return false;
    }

    const char* remote = nullptr;
    Display* local = nullptr;
    std::string call_log;
};

TEST_P(RemoteDisplay, CameraKeepsItsRatePanelAnswersAndCloseIsQuick) {
    Viewer viewer({{"DISPLAY", remote}, {"SOFTVA_XSHM", "off"}, {"ZEBSIM_CALL_LOG", call_log.c_str()}});
    const Window control = wait_for_window(local, "Tolmirex control", 30);
    ASSERT_NE(control, 0u) << viewer.errors();
    // Apart from the video window, where a click cannot miss it.
    XMoveWindow(local, control, 1200, 100);
    XRaiseWindow(local, control);
    XSync(local, False);

    // The title's first tick comes after a second of redraws; from then on
    // no frame may be lost, however slowly the pictures travel.
    ASSERT_NE(wait_for_window(local, "Video FPS: ", 30), 0u) << viewer.output();
    const auto begin = Clock::now();
    Title first, last;
    ASSERT_TRUE(wait_until([&] { return read_title(&first); }));
    std::this_thread::sleep_for(std::chrono::seconds(20));
    ASSERT_TRUE(read_title(&last));
    const double run_s = seconds_since(begin);
    // A slow display used to cost the camera half its frames: the worker
    // never waits for the display, so the skip count stays where it was.
    EXPECT_EQ(last.lost, first.lost) << "frames lost while the display was slow";
    EXPECT_GT(last.video_fps, 0.0);
    // Frame notices reach the display at once: over a link that keeps up,
    // it redraws at a good part of the camera's rate (well under it on a
    // loaded machine or a sanitizer build, but never a few redraws a second).
    if (GetParam() == "unthrottled") {
        EXPECT_GT(last.video_fps, 5.0);
    }
    EXPECT_GT(last.frames, first.frames + 50);

    // "Acquisition" switched off (the panel takes the focus first, so the
    // keys wait for its redraw on focus too): the control handle closes at once.
    const size_t offset = log_size();
    const auto clicked = Clock::now();
    ASSERT_TRUE(toggle_acquisition(control, true));
    ASSERT_TRUE(wait_until([&] { return logged_since(offset, "cqkUninitialize"); }, 10));
    const double click_s = seconds_since(clicked);
    EXPECT_LT(click_s, 1.0);

    // On again, and closed while the pictures flow.
    ASSERT_TRUE(toggle_acquisition(control, false));
    Title restarted;
    ASSERT_TRUE(wait_until([&] { return read_title(&restarted); }, 30));
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const auto closing = Clock::now();
    send_close_request(local, control);
    EXPECT_EQ(viewer.wait_exit(10), 0);
    const double close_s = seconds_since(closing);
    EXPECT_LT(close_s, 2.5);  // five times a close's usual 0.5 s

    printf(
        "link %-11s display %6.1f fps  camera %6.1f fps  frames %lu in %.0f s, lost after start %lu  "
        "click %.2f s  close %.2f s\n",
        GetParam().c_str(), last.video_fps, first.camera_fps, last.frames - first.frames, run_s, last.lost - first.lost,
        click_s, close_s);
}

INSTANTIATE_TEST_SUITE_P(Links, RemoteDisplay, ::testing::ValuesIn(links()),
                         [](const auto& info) { return info.param; });

}  // namespace
