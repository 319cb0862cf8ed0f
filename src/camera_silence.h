// What the acquisition worker tells while the camera sends no frames: the
// display thread, once a frame is overdue, so that the title's rates fall;
// the user, once a stall has lasted three frame periods (and over a second),
// and again when frames come back. Both follow the frame period the camera
// is expected to keep: the spacing of its last frames, or before the open's
// first two frames what its mode timing said, and never under the exposure
// asked for. Pure: the caller passes the times and does the telling. One
// instance per worker, used by the worker's thread only.
#pragma once

#include <chrono>
#include <optional>

class CameraSilence {
public:
    using Clock = std::chrono::steady_clock;

    // Acquisition switched on at `now`: no frame yet.
    explicit CameraSilence(Clock::time_point now) : last_frame_(now), last_notice_(now) {}

    // The camera was (re)opened, and its mode timing gives this period per
    // frame (zero when the library cannot say). Spacings measured before
    // the open no longer count.
    void opened(Clock::duration mode_period);

    // The exposure asked for now: no frame comes faster.
    void exposure(Clock::duration asked) { exposure_ = asked; }

    // A camera call that gave no frame, with its result: the stall line
    // names the last one.
    void no_frame(const char* call, int result) {
        call_ = call;
        result_ = result;
    }

    // `count` frames came from the camera. When their stall had been
    // reported, the stall's length in seconds, for the line that says
    // frames came again.
    std::optional<double> frame(Clock::time_point now, int count = 1);

    // A frame notice went to the display.
    void noticed(Clock::time_point now) { last_notice_ = now; }

    // True once per stall: no frame for longer than stall_span(), and a
    // call to name.
    bool stall_due(Clock::time_point now);

    // True when the display has had no notice for overdue_span(); the
    // caller then posts one, and the next falls due as long after.
    bool quiet_notice_due(Clock::time_point now);

    // The period the camera is expected to keep.
    Clock::duration expected_period() const;
    // Silence that is a stall: three expected periods, and over a second.
    Clock::duration stall_span() const;
    // Silence after which a frame is overdue: one and a half expected
    // periods, and a second at least.
    Clock::duration overdue_span() const;

    const char* call() const { return call_; }
    int result() const { return result_; }

private:
    Clock::time_point last_frame_, last_notice_;
    bool frame_seen_ = false;  // last_frame_ is a frame's since the open, not the start's
    Clock::duration mode_period_{}, exposure_{};
    Clock::duration spacings_[2]{};  // the last two, newest first
    int spacings_known_ = 0;
    const char* call_ = nullptr;
    int result_ = 0;
    bool reported_ = false;
};
