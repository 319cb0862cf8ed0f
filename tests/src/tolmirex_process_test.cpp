// The tolmirex program as a whole process on a private X server: its
// messages, exit statuses, windows and shutdown.
#include <gtest/gtest.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <png.h>
#include <poll.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "test_support.h"
#include "viewer_process.h"

namespace {

class ProcessTest : public ::testing::Test {
protected:
    void SetUp() override { dpy = XOpenDisplay(nullptr); }
    void TearDown() override { XCloseDisplay(dpy); }

    // Runs the viewer with WIN_WIDTH set, expects that window size, runs
    // `while_open` and closes it; the seconds the close took.
    double expect_window_for_width(
        const char* win_width, const std::string& size,
        const std::function<void(Viewer&)>& while_open = [](Viewer&) {}) {
        Viewer viewer(Environment{{"WIN_WIDTH", win_width}});
        if (!wait_for_window(dpy, "Video FPS: ")) {
            ADD_FAILURE() << "no video window: " << viewer.output();
            return -1;
        }
        EXPECT_NE(viewer.output().find("Window size changed to " + size + "\n"), std::string::npos) << viewer.output();
        while_open(viewer);
        const auto begin = std::chrono::steady_clock::now();
        send_close_request(dpy, wait_for_window(dpy, "Tolmirex control"));
        EXPECT_EQ(viewer.wait_exit(), 0);
        return seconds_since(begin);
    }

    // Clicks into the control window near its bottom edge, as its user
    // would: the "Acquisition" toggle.
    Display* dpy = nullptr;
};

TEST_F(ProcessTest, NoXServer) {
    Viewer viewer(Environment{{"DISPLAY", ":4242"}});
    EXPECT_EQ(viewer.wait_exit(), 255);
    EXPECT_EQ(viewer.output(), "Can't connect to X server!\n");
}

// The program's own options are answered without a display; anything it
// does not know is named, with the way to the help.
TEST_F(ProcessTest, HelpVersionAndUnknownOptionsNeedNoDisplay) {
    const Environment no_display{{"DISPLAY", nullptr}};
    std::string help;
    for (const char* option : {"--help", "-h"}) {
        SCOPED_TRACE(option);
        Viewer viewer(no_display, {option});
        EXPECT_EQ(viewer.wait_exit(), 0);
        EXPECT_EQ(viewer.errors(), "");
        if (help.empty()) help = viewer.output();
        EXPECT_EQ(viewer.output(), help);
    }
    EXPECT_EQ(help.rfind("Usage: tolmirex [OPTION...] [GTK OPTION...]\n", 0), 0u) << help;
    for (const char* part : {"--version", "--display=", "TOLMIREX_CAMERA", "LIBVA_DRIVER_NAME", "man tolmirex"})
        EXPECT_NE(help.find(part), std::string::npos) << part;

    for (const char* option : {"--version", "-V"}) {
        Viewer viewer(no_display, {option});
        EXPECT_EQ(viewer.wait_exit(), 0);
        EXPECT_EQ(viewer.output(), "tolmirex " TOLMIREX_VERSION "\n");
    }

    for (const char* option : {"--bogus", "-x", "--help-gtk"}) {
        SCOPED_TRACE(option);
        Viewer viewer(no_display, {"--sync", option});
        EXPECT_EQ(viewer.wait_exit(), 2);
        EXPECT_EQ(viewer.output(), "");
        EXPECT_EQ(viewer.errors(),
                  std::string("tolmirex: unrecognized option '") + option + "'\nTry 'tolmirex --help'.\n");
    }
}

// GTK's options reach the toolkit: --class names the control window's class.
TEST_F(ProcessTest, GtkOptionsReachTheToolkit) {
    Viewer viewer(Environment(), {"--sync", "--class=Probe", "--g-fatal-warnings"});
    const Window control = wait_for_window(dpy, "Tolmirex control");
    ASSERT_NE(control, 0u) << viewer.output() << viewer.errors();
    ASSERT_NE(wait_for_window(dpy, "Video FPS: "), 0u) << viewer.output();
    XClassHint class_hint{};
    ASSERT_TRUE(XGetClassHint(dpy, control, &class_hint));
    EXPECT_STREQ(class_hint.res_class, "Probe");
    XFree(class_hint.res_name);
    XFree(class_hint.res_class);
    send_close_request(dpy, control);
    EXPECT_EQ(viewer.wait_exit(), 0);
}

TEST_F(ProcessTest, NoCamera) {
    Viewer viewer(Environment{{"ZEBSIM_CAMERAS", "0"}});
    EXPECT_EQ(viewer.wait_exit(), 255);
    EXPECT_EQ(viewer.output(), "Couldn't setup camera!\n");
    EXPECT_NE(viewer.errors().find("The camera library finds no camera."), std::string::npos) << viewer.errors();
    EXPECT_TRUE(windows_with_name_prefix(dpy, "Tolmirex").empty());

    // Started from the desktop's menu, the same words wait in a dialog.
    Viewer from_menu(Environment{{"ZEBSIM_CAMERAS", "0"}, {"TOLMIREX_FROM_MENU", "1"}});
    const Window dialog = wait_for_window(dpy, "Tolmirex");
    ASSERT_NE(dialog, 0u);
    EXPECT_TRUE(from_menu.running());
    send_close_request(dpy, dialog);
    EXPECT_EQ(from_menu.wait_exit(), 255);
}

TEST_F(ProcessTest, RunsAndEndsWhenTheControlWindowCloses) {
    Viewer viewer;
    const Window control = wait_for_window(dpy, "Tolmirex control");
    ASSERT_NE(control, 0u);
    ASSERT_NE(wait_for_window(dpy, "Video FPS: "), 0u) << viewer.output();
    EXPECT_NE(viewer.output().find("Image size changed to 1280x1024\nWindow size changed to 640x512\n"),
              std::string::npos);

    const auto begin = std::chrono::steady_clock::now();
    send_close_request(dpy, control);
    EXPECT_EQ(viewer.wait_exit(), 0);
    EXPECT_LT(seconds_since(begin), 6.0);  // one camera wait plus the release, with a wide margin
    EXPECT_TRUE(windows_with_name_prefix(dpy, "Video FPS").empty());
}

TEST_F(ProcessTest, ClosingTheVideoWindowKeepsThePanel) {
    Viewer viewer;
    const Window video = wait_for_window(dpy, "Video FPS: ");
    ASSERT_NE(video, 0u);
    send_close_request(dpy, video);
    EXPECT_TRUE(wait_until([&] { return windows_with_name_prefix(dpy, "Video FPS").empty(); }));
    const Window control = wait_for_window(dpy, "Tolmirex control");
    ASSERT_NE(control, 0u);
    // "Acquisition" off and on again: the new live view starts only once
    // the old display thread has ended, so a program that ended with it
    // would be gone by then.
    ASSERT_TRUE(toggle_acquisition(control, true));
    ASSERT_TRUE(toggle_acquisition(control, false));
    EXPECT_NE(wait_for_window(dpy, "Video FPS: "), 0u) << viewer.output() << viewer.errors();
    ASSERT_TRUE(viewer.running()) << viewer.errors();
    send_close_request(dpy, control);
    EXPECT_EQ(viewer.wait_exit(), 0);
}

TEST_F(ProcessTest, WindowWidthThatIsNotANumberIsNoLimit) { expect_window_for_width("abc", "640x512"); }

TEST_F(ProcessTest, WindowLimitFromTheEnvironment) { expect_window_for_width("800", "800x640"); }

TEST_F(ProcessTest, WindowLimitsAtTheExtremesNeitherCrashNorCostMemory) {
    for (auto [limit, size] : {std::pair{"1", "1x1"}, std::pair{"40000", "32767x26213"}}) {
        SCOPED_TRACE(limit);
        const double close_s = expect_window_for_width(limit, size, [&](Viewer& viewer) {
            // 50 more frames shown at that size, then the memory they cost.
            Title first, later;
            const Window video = wait_for_window(dpy, "Video FPS: ");
            ASSERT_TRUE(parse_title(window_name(dpy, video), &first));
            EXPECT_TRUE(wait_until([&] {
                return parse_title(window_name(dpy, video), &later) && later.frames > first.frames + 50;
            })) << window_name(dpy, video);
            ASSERT_TRUE(viewer.running());
            EXPECT_LT(viewer.resident_mb(), 200.0);
        });
        EXPECT_LT(close_s, 6.0);  // as any close: only a hang fails it
    }
}

TEST_F(ProcessTest, ACameraThatCannotBeStartedIsNamed) {
    const std::pair<const char*, const char*> faults[] = {
        {"init", "cqInitializeHardware"}, {"setmode", "cqSetMode"}, {"start", "cqStartAcquisition"}};
    for (auto [fault, call] : faults) {
        SCOPED_TRACE(fault);
        Viewer viewer(Environment{{"ZEBSIM_FAULTS", fault}});
        const std::string line = std::string("Acquisition stopped: the camera could not be started: ") + call;
        EXPECT_TRUE(wait_until([&] { return viewer.errors().find(line) != std::string::npos; })) << viewer.errors();
        EXPECT_TRUE(wait_until([&] { return windows_with_name_prefix(dpy, "Tolmirex").size() == 1; }));
        EXPECT_EQ(viewer.errors().find('\n'), viewer.errors().size() - 1) << "one line: " << viewer.errors();
        send_close_request(dpy, wait_for_window(dpy, "Tolmirex control"));
        EXPECT_EQ(viewer.wait_exit(), 0);
    }
}

// A camera that sends no frames while acquisition is on is spoken of in one
// line naming the call, and again when frames come back; the title's rates
// fall meanwhile, also before the first frame.
TEST_F(ProcessTest, ACameraThatSendsNoFramesIsSpokenOf) {
    const std::string stall = "No frames from the camera for over a second: ";
    const struct {
        const char* fault;
        const char* call;
        const char* title;  // the title once the rates have fallen
    } cases[] = {{"acquire", "cqAcquireField returned 5\n", "Video FPS: 0.0; Acquisition: frm 0 skip 0 fps 0.0"},
                 {"settle", "cqIsSetModeComplete returned 0\n", "Video FPS: 0.0; Acquisition: frm 0 skip 0 fps 0.0"},
                 {"acquire@50+", "cqAcquireField returned 5\n", "Video FPS: 0.0; Acquisition: frm 49 skip 0 "},
                 // 200 fields lost, two seconds at the camera's 100 frames a second.
                 {"acquire@50x200", "cqAcquireField returned 5\n", nullptr}};
    for (const auto& [fault, call, title] : cases) {
        SCOPED_TRACE(fault);
        Viewer viewer(Environment{{"ZEBSIM_FAULTS", fault}});
        EXPECT_TRUE(wait_until([&] { return viewer.errors().find(stall + call) != std::string::npos; }))
            << viewer.errors();
        if (title)
            EXPECT_NE(wait_for_window(dpy, title), 0u) << window_name(dpy, wait_for_window(dpy, "Video FPS: ", 0));
        else  // the simulated sensor runs far slower under a sanitizer and a loaded machine
            EXPECT_TRUE(wait_until(
                [&] { return viewer.errors().find("\nFrames from the camera again after ") != std::string::npos; },
                40.0))
                << viewer.errors();
        // (A sanitizer build slow to start may add a stall of its own, naming the wait.)
        EXPECT_EQ(occurrences(viewer.errors(), stall + call), 1u) << viewer.errors();
        send_close_request(dpy, wait_for_window(dpy, "Tolmirex control"));
        EXPECT_EQ(viewer.wait_exit(), 0);
    }
}

// A camera at 0.5 frames a second: no stall line, and its own rates after three periods.
TEST_F(ProcessTest, ASlowCameraIsNeitherStalledNorMiscounted) {
    Viewer viewer(Environment{{"ZEBSIM_FRAME_RATE", "0.5"}});
    const Window video = wait_for_window(dpy, "Video FPS: ", 60);
    Title title;
    ASSERT_TRUE(wait_until([&] { return parse_title(window_name(dpy, video), &title) && title.frames >= 4; }, 60));
    EXPECT_NEAR(title.camera_fps, 0.5, 0.05) << window_name(dpy, video);  // within 10 %
    EXPECT_NEAR(title.video_fps, 0.5, 0.05) << window_name(dpy, video);
    EXPECT_EQ(viewer.errors().find("from the camera"), std::string::npos) << viewer.errors();
    send_close_request(dpy, wait_for_window(dpy, "Tolmirex control"));
    EXPECT_EQ(viewer.wait_exit(), 0);
}

// The text without the lines of a camera slow to start, as a sanitizer
// build on a loaded machine can be.
std::string without_stall_lines(const std::string& text) {
    std::istringstream lines(text);
    std::string line, kept;
    while (std::getline(lines, line))
        if (line.rfind("No frames from the camera", 0) != 0 && line.rfind("Frames from the camera again", 0) != 0)
            kept += line + "\n";
    return kept;
}

// Bad input gets one line each, once: how a window limit was read, a
// setting ignored, a VA driver that does not start, a display that does not open.
TEST_F(ProcessTest, BadInputIsNamedOnceEach) {
    const char* fifty_digits = "12345678901234567890123456789012345678901234567890";
    const std::pair<Environment, std::string> runs[] = {
        {{{"WIN_WIDTH", "1e9"}}, "WIN_WIDTH=\"1e9\" is not a plain positive whole number: read as 1\n"},
        {{{"WIN_HEIGHT", fifty_digits}},
         std::string("WIN_HEIGHT=\"") + fifty_digits + "\" is not a plain positive whole number: read as -1, no limit\n"},
        {{{"ZEBSIM_CAMERAS", "abc"}}, "zebsim: ignoring ZEBSIM_CAMERAS=\"abc\"\n"},
        {{{"TOLMIREX_SIMD", "foo"}}, "ignoring TOLMIREX_SIMD=foo (expected scalar, sse2, avx2 or avx512)\n"}};
    for (const auto& [env, line] : runs) {
        SCOPED_TRACE(env[0].first);
        Viewer viewer(env);
        EXPECT_NE(wait_for_window(dpy, "Video FPS: "), 0u) << viewer.output() << viewer.errors();
        send_close_request(dpy, wait_for_window(dpy, "Tolmirex control"));
        EXPECT_EQ(viewer.wait_exit(), 0);
        EXPECT_EQ(without_stall_lines(viewer.errors()), line);
    }

    {
        Viewer viewer(Environment{{"LIBVA_DRIVER_NAME", "nonexistent"}});
        EXPECT_TRUE(wait_until([&] { return occurrences(viewer.errors(), "\n") == 2; })) << viewer.errors();
        EXPECT_EQ(viewer.errors().rfind("videoDisplay:vaInitialize (", 0), 0u) << viewer.errors();
        EXPECT_NE(viewer.errors().find("\nVA driver \"nonexistent\" (LIBVA_DRIVER_NAME) could not be loaded or "
                                       "started from "),
                  std::string::npos)
            << viewer.errors();
        send_close_request(dpy, wait_for_window(dpy, "Tolmirex control"));
        EXPECT_EQ(viewer.wait_exit(), 0);
    }

    Viewer viewer(Environment{{"DISPLAY", ":4242"}});
    EXPECT_EQ(viewer.wait_exit(), 255);
    EXPECT_EQ(viewer.output(), "Can't connect to X server!\n");
    EXPECT_EQ(viewer.errors(), "X display \":4242\" could not be opened\n");
}

// An X server of the test's own, for a viewer whose server the test kills.
class DisposableXServer {
public:
    DisposableXServer() {
        int ready[2];
        if (pipe(ready) != 0) abort();
        pid_ = fork();
        if (pid_ == 0) {
            close(ready[0]);
            const int quiet = open("/dev/null", O_WRONLY);
            dup2(quiet, STDOUT_FILENO);
            dup2(quiet, STDERR_FILENO);
            const std::string fd = std::to_string(ready[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-noreset", nullptr);
            _exit(127);
        }
        close(ready[1]);
        // The server writes its number, then a newline, once it listens, and
        // dies if the pipe is gone before the newline; one that fails closes it.
        std::string number;
        char c;
        pollfd pipe_end{ready[0], POLLIN, 0};
        while (poll(&pipe_end, 1, 10000) > 0 && read(ready[0], &c, 1) == 1 && c != '\n') number += c;
        close(ready[0]);
        if (number.empty()) ADD_FAILURE() << "Xvfb gave no display number";
        else name_ = ":" + number;
    }
    ~DisposableXServer() { kill_now(); }

    void kill_now() {
        if (pid_ <= 0) return;
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    // Stops the server for a while, as a stalled link or a busy server would.
    void stall_for(std::chrono::milliseconds how_long) {
        kill(pid_, SIGSTOP);
        std::this_thread::sleep_for(how_long);
        kill(pid_, SIGCONT);
    }
    const std::string& name() const { return name_; }

private:
    pid_t pid_ = -1;
    std::string name_;
};

std::string file_text(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The X server killed under a viewer with colour output on: one line naming
// the display, the camera closed, status 1, and nothing else said (the suite
// also runs under the sanitizers, whose reports would land on stderr).
TEST_F(ProcessTest, XServerKilledWithColourOnEndsCleanly) {
    // Named for this process: two suites run at once must not share it.
    const std::string call_log = testing::TempDir() + "tolmirex-x-killed-" + std::to_string(getpid()) + ".calls";
    for (int run = 0; run < 10; ++run) {
        SCOPED_TRACE(run);
        DisposableXServer server;
        ASSERT_FALSE(server.name().empty());
        std::remove(call_log.c_str());
        Viewer viewer(Environment{{"DISPLAY", server.name().c_str()}, {"ZEBSIM_CALL_LOG", call_log.c_str()}});
        // "Color output" is three widgets back from the first, which has the focus.
        const std::string colour_on = "DISPLAY=" + server.name() +
                                      " timeout 20 xdotool search --sync --onlyvisible --name '^Tolmirex control$' "
                                      "windowfocus --sync key shift+Tab shift+Tab shift+Tab space";
        ASSERT_EQ(std::system(colour_on.c_str()), 0) << colour_on;
        ASSERT_TRUE(wait_until([&] { return file_text(call_log).find("cqProcessFrame") != std::string::npos; }))
            << viewer.errors();
        server.kill_now();
        EXPECT_EQ(viewer.wait_exit(20.0), 1);
        EXPECT_EQ(without_stall_lines(viewer.errors()),
                  "Lost the connection to the X server " + server.name() + ": stopping the camera and ending\n");
        const std::string calls = file_text(call_log);
        EXPECT_EQ(occurrences(calls, "\ncqkInitialize"), occurrences(calls, "\ncqkUninitialize")) << calls;
        EXPECT_NE(calls.find("cqStopAcquisition", calls.rfind("cqProcessFrame")), std::string::npos);
    }
    std::remove(call_log.c_str());
}

// `s` in the video window opens the chooser on the pictures folder, and Enter
// there saves the frame on show at the camera's size.
TEST_F(ProcessTest, SInTheVideoWindowSavesThePicture) {
    char home_template[] = "/tmp/tolmirex-home-XXXXXX";
    ASSERT_NE(mkdtemp(home_template), nullptr);
    const std::string home = home_template, config = home + "/.config", pictures = home + "/Pictures";
    mkdir(config.c_str(), 0700);
    mkdir(pictures.c_str(), 0700);
    std::ofstream(config + "/user-dirs.dirs") << "XDG_PICTURES_DIR=\"$HOME/Pictures\"\n";
    Viewer viewer(Environment{{"HOME", home.c_str()}, {"XDG_CONFIG_HOME", config.c_str()}});
    const Window video = wait_for_window(dpy, "Video FPS: ", 60);
    ASSERT_NE(video, 0u) << viewer.errors();
    const std::string keys = "timeout 20 xdotool key --window " + std::to_string(video) +
                             " s && timeout 20 xdotool search --sync --onlyvisible --name '^Save picture$' "
                             "windowfocus --sync key Return";
    ASSERT_EQ(std::system(keys.c_str()), 0) << keys;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    const auto saved = [&] {
        for (const auto& entry : std::filesystem::directory_iterator(pictures)) {
            const std::string name = entry.path().filename();
            if (name.rfind("tolmirex-", 0) != 0 || name.size() != 28 || entry.path().extension() != ".png") continue;
            png_image_free(&image);
            image = png_image{};
            image.version = PNG_IMAGE_VERSION;
            std::vector<png_byte> pixels;
            if (!png_image_begin_read_from_file(&image, entry.path().c_str())) continue;
            pixels.resize(PNG_IMAGE_SIZE(image));
            if (png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return true;
        }
        return false;
    };
    EXPECT_TRUE(wait_until(saved, 20)) << viewer.errors();
    EXPECT_NE(viewer.output().find("Image size changed to " + std::to_string(image.width) + "x" +
                                   std::to_string(image.height) + "\n"),
              std::string::npos)
        << viewer.output();
    png_image_free(&image);
    send_close_request(dpy, wait_for_window(dpy, "Tolmirex control"));
    EXPECT_EQ(viewer.wait_exit(), 0);
    std::filesystem::remove_all(home);
}

// An X server that answers nothing for 3 s: the worker never waits for it
// (it flushes its frame notices, one in flight at a time, so its connection
// never fills), and the camera loses no frame.
TEST_F(ProcessTest, AStalledXServerCostsTheCameraNoFrame) {
    DisposableXServer server;
    ASSERT_FALSE(server.name().empty());
    Viewer viewer(Environment{{"DISPLAY", server.name().c_str()}});
    Display* remote = XOpenDisplay(server.name().c_str());
    ASSERT_NE(remote, nullptr);
    const Window video = wait_for_window(remote, "Video FPS: ");
    ASSERT_NE(video, 0u) << viewer.errors();
    Title before, after;
    ASSERT_TRUE(parse_title(window_name(remote, video), &before));
    server.stall_for(std::chrono::seconds(3));
    // A title with 400 frames more counts the whole stall.
    ASSERT_TRUE(wait_until(
        [&] { return parse_title(window_name(remote, video), &after) && after.frames > before.frames + 400; }, 60));
    EXPECT_EQ(after.lost, before.lost) << "frames lost while the X server stalled";
    send_close_request(remote, wait_for_window(remote, "Tolmirex control"));
    EXPECT_EQ(viewer.wait_exit(), 0);
    XCloseDisplay(remote);
}

}  // namespace
