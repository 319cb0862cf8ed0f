// What the acquisition worker tells while the camera sends no frames: the
// display thread, once a second without a frame notice, so that the title's
// rates keep ticking. Pure: the caller passes the time and does the telling.
// One instance per worker, used by the worker's thread only.
#pragma once

#include <chrono>

class CameraSilence {
public:
    using Clock = std::chrono::steady_clock;

    // Acquisition switched on at `now`.
    explicit CameraSilence(Clock::time_point now) : last_notice_(now) {}

    // A frame notice went to the display.
    void noticed(Clock::time_point now) { last_notice_ = now; }

    // True when the display has had no notice for a second; the caller
    // then posts one, and the next falls due a second later.
    bool quiet_notice_due(Clock::time_point now);

private:
    Clock::time_point last_notice_;
};
