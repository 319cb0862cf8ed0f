// Runs live view for a while against the simulated camera and prints, for one
// case: the camera's rate, the frames the simulator dropped because the
// worker fell behind, the title's skip count, the display rate, the CPU used
// by this process (viewer and simulated sensor) and by the X server
// (XVFB_PID, when set), and the resident memory.  The display is meant to
// drop frames, the camera not.  The sensor size comes from ZEBSIM_SENSOR_SIZE.
//   display_bench [seconds] [--colour] [--mode N] [--exposure US] [--roi WxH]
// Threads: main thread; the viewer's display thread and worker run as usual.
#include <X11/Xlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "display.h"
#include "frame_handover.h"
#include "rate_stats.h"
#include "setup.h"
#include "zebsim.h"

namespace {

using Clock = std::chrono::steady_clock;

// User + system time of a process ("self" for this one) from /proc/PID/stat,
// 0 if unknown.
double process_cpu_s(const char* pid) {
    if (!pid) return 0;
    FILE* f = fopen((std::string("/proc/") + pid + "/stat").c_str(), "r");
    if (!f) return 0;
    char text[1024] = {};
    const size_t n = fread(text, 1, sizeof text - 1, f);
    fclose(f);
    text[n] = 0;
    const char* fields = strrchr(text, ')');  // the command name may hold spaces
    unsigned long utime = 0, stime = 0;
    if (!fields || sscanf(fields + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime) != 2)
        return 0;
    return double(utime + stime) / sysconf(_SC_CLK_TCK);
}

long rss_mb() {
    FILE* f = fopen("/proc/self/status", "r");
    if (!f) return 0;
    char line[256];
    long kb = 0;
    while (fgets(line, sizeof line, f))
        if (sscanf(line, "VmRSS: %ld kB", &kb) == 1) break;
    fclose(f);
    return kb / 1024;
}

struct Counters {
    Clock::time_point at;
    unsigned acquired, lost;
    unsigned long displayed;
    uint64_t dropped;
    double cpu, server_cpu;
};

Counters now(const char* server_pid) {
    return {Clock::now(),
            lps->dwNframes.load(),
            lps->dwLframes.load(),
            total_redraws(),
            zebsim::dropped_frames(),
            process_cpu_s("self"),
            process_cpu_s(server_pid)};
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = 30;
    bool colour = false;
    unsigned mode = 0, exposure_us = 1000, roi_cx = 0, roi_cy = 0;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--colour") == 0)
            colour = true;
        else if (strcmp(argv[i], "--mode") == 0 && i + 1 < argc)
            mode = atoi(argv[++i]);
        else if (strcmp(argv[i], "--exposure") == 0 && i + 1 < argc)
            exposure_us = atoi(argv[++i]);
        else if (strcmp(argv[i], "--roi") == 0 && i + 1 < argc)
            sscanf(argv[++i], "%ux%u", &roi_cx, &roi_cy);
        else
            seconds = atoi(argv[i]);
    }
    const char* server_pid = getenv("XVFB_PID");
    XInitThreads();
    x11_display = XOpenDisplay(nullptr);
    if (!x11_display) {
        fprintf(stderr, "display_bench: no X display\n");
        return 1;
    }
    setupCam();
    if (hMV == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "display_bench: no camera\n");
        return 1;
    }
    lps->uiMode = mode;
    lps->uiExposure = exposure_us;
    lps->dwROIx0 = lps->dwROIy0 = 0;
    lps->dwROIcx = roi_cx;
    lps->dwROIcy = roi_cy;
    lps->show = 1;
    lps->color = colour;
    startLive();

    // The first seconds build the scene, the window and the surface.
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const Counters begin = now(server_pid);
    std::this_thread::sleep_until(begin.at + std::chrono::seconds(seconds));
    const Counters end = now(server_pid);
    const long rss = rss_mb();
    CQGETFRAMEEX frame{};
    snapshot_frame(&frame, nullptr);
    const unsigned width = frame.curCX, height = frame.curCY;
    stopLive();
    joinLive();

    const double elapsed = std::chrono::duration<double>(end.at - begin.at).count();
    printf(
        "%4ux%-4u %-6s camera %7.1f fps  dropped %3lu  skip %3u  display %6.1f fps  CPU viewer %3.0f %%  X %3.0f %%"
        "  RSS %4ld MB\n",
        width, height, colour ? "colour" : "mono", (end.acquired - begin.acquired) / elapsed,
        static_cast<unsigned long>(end.dropped - begin.dropped), end.lost - begin.lost,
        (end.displayed - begin.displayed) / elapsed, 100 * (end.cpu - begin.cpu) / elapsed,
        100 * (end.server_cpu - begin.server_cpu) / elapsed, rss);
    XCloseDisplay(x11_display);
    return 0;
}
