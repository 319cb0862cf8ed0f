// The worker's account of a camera that sends nothing. Worker thread.
#include "camera_silence.h"

#include <algorithm>

namespace {
// Silence shorter than this is never worth a word, however fast the camera;
// the display hears from the worker at least this often while it is silent.
constexpr CameraSilence::Clock::duration SILENCE_FLOOR = std::chrono::seconds(1);
}  // namespace

void CameraSilence::opened(Clock::duration mode_period) {
    mode_period_ = mode_period;
    spacings_known_ = 0;
    frame_seen_ = false;
}

std::optional<double> CameraSilence::frame(Clock::time_point now, int count) {
    std::optional<double> stalled;
    if (reported_) stalled = std::chrono::duration<double>(now - last_frame_).count();
    if (frame_seen_ && count > 0) {
        spacings_[1] = spacings_[0];
        spacings_[0] = (now - last_frame_) / count;
        spacings_known_ = std::min(spacings_known_ + 1, 2);
    }
    frame_seen_ = true;
    last_frame_ = now;
    reported_ = false;
    return stalled;
}

// The shorter of the last two spacings: one long gap (a stall, or a frame
// late once) does not make the camera slow, two in a row do.
CameraSilence::Clock::duration CameraSilence::expected_period() const {
    Clock::duration period = mode_period_;
    if (spacings_known_ == 1) period = spacings_[0];
    if (spacings_known_ == 2) period = std::min(spacings_[0], spacings_[1]);
    return std::max(period, exposure_);
}

CameraSilence::Clock::duration CameraSilence::stall_span() const {
    return std::max(SILENCE_FLOOR, expected_period() * 3);
}

CameraSilence::Clock::duration CameraSilence::overdue_span() const {
    return std::max(SILENCE_FLOOR, expected_period() * 3 / 2);
}

bool CameraSilence::stall_due(Clock::time_point now) {
    if (reported_ || !call_ || now - last_frame_ <= stall_span()) return false;
    reported_ = true;
    return true;
}

bool CameraSilence::quiet_notice_due(Clock::time_point now) {
    if (now - last_notice_ < overdue_span()) return false;
    last_notice_ = now;
    return true;
}
