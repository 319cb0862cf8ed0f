// What the acquisition worker tells while the camera sends no frames: the
// display thread, once a second without a frame notice, so that the title's
// rates keep ticking; the user, once a stall has lasted over a second, and
// again when frames come back. Pure: the caller passes the time and does the
// telling. One instance per worker, used by the worker's thread only.
#pragma once

#include <chrono>
#include <optional>

class CameraSilence {
public:
    using Clock = std::chrono::steady_clock;

    // Acquisition switched on at `now`: no frame yet.
    explicit CameraSilence(Clock::time_point now) : last_frame_(now), last_notice_(now) {}

    // A camera call that gave no frame, with its result: the stall line
    // names the last one.
    void no_frame(const char* call, int result) {
        call_ = call;
        result_ = result;
    }

    // A frame came from the camera. When its stall had been reported, the
    // stall's length in seconds, for the line that says frames came again.
    std::optional<double> frame(Clock::time_point now);

    // A frame notice went to the display.
    void noticed(Clock::time_point now) { last_notice_ = now; }

    // True once per stall: no frame for over a second, and a call to name.
    bool stall_due(Clock::time_point now);

    // True when the display has had no notice for a second; the caller
    // then posts one, and the next falls due a second later.
    bool quiet_notice_due(Clock::time_point now);

    const char* call() const { return call_; }
    int result() const { return result_; }

private:
    Clock::time_point last_frame_, last_notice_;
    const char* call_ = nullptr;
    int result_ = 0;
    bool reported_ = false;
};
