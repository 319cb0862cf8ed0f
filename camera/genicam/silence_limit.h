// silence_limit.h - how long a streaming camera may send nothing before the
// library asks whether it is still there: 1 s, or three of its frame periods
// when that is longer, so a camera slower than a frame a second is never
// taken for a silent one.
//
// Pure: any thread.
#pragma once

#include <chrono>

namespace genicam {

// period_s and exposure_s as the camera says them (0 when it does not);
// spacing, the time between its last two frames (zero before two).  The
// frame period is taken as the longest of the three.
std::chrono::milliseconds stream_silence_limit(double period_s, double exposure_s,
                                               std::chrono::steady_clock::duration spacing);

}  // namespace genicam
