// The worker's account of a camera that sends nothing. Worker thread.
#include "camera_silence.h"

namespace {
// Silence shorter than this is a slow camera, not worth a word; the display
// hears from the worker at least this often.
constexpr auto SILENCE_SPAN = std::chrono::seconds(1);
}  // namespace

std::optional<double> CameraSilence::frame(Clock::time_point now) {
    std::optional<double> stalled;
    if (reported_) stalled = std::chrono::duration<double>(now - last_frame_).count();
    last_frame_ = now;
    reported_ = false;
    return stalled;
}

bool CameraSilence::stall_due(Clock::time_point now) {
    if (reported_ || !call_ || now - last_frame_ <= SILENCE_SPAN) return false;
    reported_ = true;
    return true;
}

bool CameraSilence::quiet_notice_due(Clock::time_point now) {
    if (now - last_notice_ < SILENCE_SPAN) return false;
    last_notice_ = now;
    return true;
}
