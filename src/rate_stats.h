// Display and acquisition rates shown in the video window's title.
// Display thread only.
#pragma once

#include <X11/Xlib.h>

#include <string>

#include "zebapi.h"

// Ticks run once more than this many ms of redraw-pass time have accumulated.
constexpr unsigned STATS_TICK_MS = 1000;

struct TickInput {
    double elapsed_s;          // seconds since the last statistics mark
    DWORD nframes, pframes;    // frames acquired now and at the previous tick
    DWORD lframes;             // frames lost
    double fps, fps_sum;       // last tick's rate and the smoothed rate
    unsigned frame_num;        // redraws since the last tick
    unsigned putsurface_time;  // ms of those redraw passes
};

struct TickResult {
    double tpf;      // time per acquired frame, s (the whole tick without new frames)
    double fps;      // acquisition rate of this tick, 0 without new frames
    double fps_sum;  // smoothed acquisition rate
    std::string title;
};

// One statistics tick: the rates and the title text. Pure.
TickResult statistics_tick(const TickInput& in);

// Runs a tick on the setup record when enough redraw time has accumulated,
// and writes the title into the window.
void maybe_statistics_tick(Window win);

// Accounts one redraw pass that began at start_ms; the clock at its end.
unsigned account_redraw(unsigned start_ms);

// On the worker's quiet notice (a frame overdue: none for a second, or for
// one and a half of a slow camera's periods): when nothing was drawn for over
// a second either, the silent time counts as redraw-pass time and a tick
// runs, so the display rate falls to 0 and the acquisition rate decays while
// the camera sends nothing. A camera that keeps its pace, however slow, sends
// no quiet notice: each of its frames' redraw passes spans its period, and
// the ticks come with the frames. `quiet_since_ms` is the end of the last
// redraw or of the last such tick; updated here.
void quiet_statistics_tick(Window win, unsigned* quiet_since_ms);

// Redraws since the program started, for benchmarks; any thread.
unsigned long total_redraws();
