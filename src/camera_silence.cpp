// The worker's account of a camera that sends nothing. Worker thread.
#include "camera_silence.h"

namespace {
// The display hears from the worker at least this often.
constexpr auto SILENCE_SPAN = std::chrono::seconds(1);
}  // namespace

bool CameraSilence::quiet_notice_due(Clock::time_point now) {
    if (now - last_notice_ < SILENCE_SPAN) return false;
    last_notice_ = now;
    return true;
}
