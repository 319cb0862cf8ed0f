// Runs live view for a while with the simulated camera at its fastest mode and
// prints how many frames the camera delivered, how many were lost and how many
// the display drew. The display is meant to drop frames, the camera not.
//   display_bench [seconds] [--colour]
#include <X11/Xlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "display.h"
#include "rate_stats.h"
#include "setup.h"

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? atoi(argv[1]) : 30;
    const bool colour = argc > 2 && strcmp(argv[2], "--colour") == 0;
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
    // Mode 2 (640 x 512, 2 x 2 binning) at 1 ms exposure: the read-out sets the pace.
    lps->uiMode = 2;
    lps->uiExposure = 1000;
    lps->show = 1;
    lps->color = colour;
    startLive();

    const auto begin = std::chrono::steady_clock::now();
    const unsigned long redraws_before = total_redraws();
    for (int t = 5; t <= seconds; t += 5) {
        std::this_thread::sleep_until(begin + std::chrono::seconds(t));
        printf("%3d s: acquired %u, lost %u, displayed %lu\n", t, lps->dwNframes.load(), lps->dwLframes.load(),
               total_redraws() - redraws_before);
    }
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    const unsigned acquired = lps->dwNframes, lost = lps->dwLframes;
    const unsigned long displayed = total_redraws() - redraws_before;
    stopLive();
    joinLive();

    printf("%s, %.1f s: acquired %u (%.1f/s), lost %u, displayed %lu (%.1f/s, %.0f %% of acquired)\n",
           colour ? "colour" : "monochrome", elapsed, acquired, acquired / elapsed, lost, displayed,
           displayed / elapsed, acquired ? 100.0 * displayed / acquired : 0.0);
    XCloseDisplay(x11_display);
    return 0;
}
