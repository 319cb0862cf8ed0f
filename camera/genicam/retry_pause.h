// retry_pause.h - how long the library waits between two attempts to reach a
// lost camera: short at first, so a camera back after a blink is picked up at
// once, growing to a cap so a camera gone for good costs little.
//
// Pure function: any thread.
#pragma once

#include <chrono>

namespace genicam {

inline constexpr std::chrono::milliseconds kFirstRetryPause{250};
inline constexpr std::chrono::milliseconds kLongestRetryPause{2000};

// The pause after one that lasted previous: twice as long, at most the cap.
std::chrono::milliseconds next_retry_pause(std::chrono::milliseconds previous);

}  // namespace genicam
