// Rate statistics. Display thread only (the counters it reads are atomics
// written by the worker).
#include "rate_stats.h"

#include <atomic>
#include <cstdio>

#include "setup.h"
#include "video_window.h"

namespace {
constexpr double TAU = 0.5;  // weight of the old value in the smoothing
constexpr size_t TITLE_SIZE = 256;
}  // namespace

TickResult statistics_tick(const TickInput& in) {
    TickResult r{};
    r.tpf = in.elapsed_s;
    if (in.nframes != in.pframes && in.nframes != 0) {
        r.tpf /= static_cast<DWORD>(in.nframes - in.pframes);
        r.fps = r.tpf != 0.0 ? 1.0 / r.tpf : in.fps;
    } else {
        // Nothing came since the last tick: this tick's rate is 0, and the
        // smoothed rate falls toward it (reads 0 at once before any frame).
        r.fps = 0.0;
    }
    r.fps_sum = in.nframes != 0 ? in.fps_sum * TAU + r.fps * (1.0 - TAU) : r.fps;

    char title[TITLE_SIZE];
    snprintf(title, sizeof title, "Video FPS: %.1f; Acquisition: frm %lu skip %lu fps %.1f",
             in.frame_num * 1000.0 / static_cast<float>(in.putsurface_time), static_cast<unsigned long>(in.nframes),
             static_cast<unsigned long>(in.lframes), static_cast<double>(static_cast<float>(r.fps_sum)));
    r.title = title;
    return r;
}

static void run_statistics_tick(Window win) {
    const double elapsed = getT();
    setT0();
    const DWORD nframes = lps->dwNframes;
    const TickResult r = statistics_tick({elapsed, nframes, lps->dwPframes, lps->dwLframes, lps->fFPS, lps->fFPS_sum,
                                          lps->frame_num, lps->putsurface_time});
    lps->fTPF = r.tpf;
    lps->dwPframes = nframes;
    lps->fFPS = r.fps;
    lps->fFPS_sum = r.fps_sum;
    lps->dwTime += 1;
    lps->putsurface_time = 0;
    lps->frame_num = 0;
    set_window_name(win, r.title.c_str());
}

void maybe_statistics_tick(Window win) {
    if (lps->putsurface_time > STATS_TICK_MS) run_statistics_tick(win);
}

void quiet_statistics_tick(Window win, unsigned* quiet_since_ms) {
    const unsigned now = getcurms();
    const unsigned quiet_ms = now - *quiet_since_ms;
    if (quiet_ms <= STATS_TICK_MS) return;
    *quiet_since_ms = now;
    lps->putsurface_time += quiet_ms;
    run_statistics_tick(win);
}

// Redraws since the program started; any thread may read it.
static std::atomic<unsigned long> redraws_total{0};

unsigned account_redraw(unsigned start_ms) {
    const unsigned now = getcurms();
    lps->putsurface_time += now - start_ms;
    lps->frame_num += 1;
    redraws_total.fetch_add(1, std::memory_order_relaxed);
    return now;
}

unsigned long total_redraws() { return redraws_total.load(std::memory_order_relaxed); }
