// The acquisition worker: pulls frames from the camera on a handle of its
// own, counts them and lost frames, runs the colour pipeline with automatic
// white balance, and notifies the display thread with X events.
#pragma once

#include "zebapi.h"

// Thread entry; `arg` carries the video window's X id. Returns null.
void* acquisition(void* arg);

// Frames lost between two frame numbers: the unsigned 32-bit gap, counted
// only when it is below 1000 (numbers that go back or repeat add nothing).
DWORD lost_frames(DWORD previous_fn, DWORD current_fn);

// The pause before reopening a camera that reset again soon after the last
// reopen: 50 ms at first, doubling up to a second.
unsigned next_reopen_pause_ms(unsigned previous_ms);

struct WhiteBalance {
    double Kr, Kg, Kb;
};

// White-balance gains from the four channel means of a mosaic (in mosaic
// order), normalised so the smallest gain is 1. An unknown mosaic, or a mean
// that is zero, negative or not finite, keeps the current gains.
WhiteBalance white_balance_gains(const float means[4], DWORD mosaic, WhiteBalance current);
