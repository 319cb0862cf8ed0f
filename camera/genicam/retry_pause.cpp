// retry_pause.cpp - see retry_pause.h.  Pure: any thread.
#include "retry_pause.h"

#include <algorithm>

namespace genicam {

std::chrono::milliseconds next_retry_pause(std::chrono::milliseconds previous) {
    return std::clamp(previous * 2, kFirstRetryPause, kLongestRetryPause);
}

}  // namespace genicam
