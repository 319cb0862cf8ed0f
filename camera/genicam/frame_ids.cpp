// frame_ids.cpp - see frame_ids.h.  Pure: any thread.
#include "frame_ids.h"

namespace genicam {
namespace {

// 16-bit ids run 1..65535; map them onto 0..65534 so a wrap is a step of 1.
constexpr uint64_t kGevPeriod = 65535;

uint64_t gev_position(uint64_t raw) { return raw == 0 ? 0 : (raw - 1) % kGevPeriod; }

// Both ids are on GigE Vision's 16-bit wheel.
bool on_gev_wheel(uint64_t a, uint64_t b, IdWidth width) {
    return width == IdWidth::gev16 && a <= 0xFFFF && b <= 0xFFFF;
}

// How many ids forward from `from` to `to`: round the wheel, else with 64-bit
// wrap-around (huge when `to` is behind).
uint64_t ids_forward(uint64_t from, uint64_t to, bool gev) {
    return gev ? (gev_position(to) + kGevPeriod - gev_position(from)) % kGevPeriod : to - from;
}

}  // namespace

FrameIdCounter advance_frame_id(FrameIdCounter counter, uint64_t raw, IdWidth width) {
    const bool gev = width == IdWidth::gev16 && raw <= 0xFFFF;
    if (!counter.started) {
        // A fresh count starts where the camera is, and after a restart far
        // enough ahead that the program sees no loss.
        counter.wide = counter.counted ? counter.wide + kRestartJump : (gev ? gev_position(raw) : raw);
        counter.counted = true;
        counter.last_raw = raw;
        counter.started = true;
        return counter;
    }
    const bool wheel = on_gev_wheel(raw, counter.last_raw, width);
    const uint64_t step = ids_forward(counter.last_raw, raw, wheel);
    // Beyond 2^31 the 32-bit number handed out would wrap unseen.
    const uint64_t half = wheel ? kGevPeriod / 2 : uint64_t{1} << 31;
    if (step == 0 && !counter.resumed) return counter;  // a repeated id: the program ignores the step back
    counter.wide += step != 0 && step <= half ? step : kRestartJump;
    counter.resumed = false;
    counter.last_raw = raw;
    return counter;
}

bool is_late_frame_id(const FrameIdCounter& counter, uint64_t raw, IdWidth width) {
    if (!counter.started) return false;
    // GigE Vision never sends block id 0: an incomplete frame with it is one
    // whose id never arrived, already counted through the gap it leaves.
    if (width == IdWidth::gev16 && raw == 0) return true;
    return ids_forward(raw, counter.last_raw, on_gev_wheel(raw, counter.last_raw, width)) < kLateWindow;
}

FrameIdCounter restart_frame_ids(FrameIdCounter counter) {
    counter.started = false;
    return counter;
}

FrameIdCounter resume_frame_ids(FrameIdCounter counter) {
    counter.resumed = counter.started;
    return counter;
}

}  // namespace genicam
