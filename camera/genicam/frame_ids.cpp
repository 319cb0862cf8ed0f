// frame_ids.cpp - see frame_ids.h.  Pure: any thread.
#include "frame_ids.h"

namespace genicam {
namespace {

// 16-bit ids run 1..65535; map them onto 0..65534 so a wrap is a step of 1.
constexpr uint64_t kGevPeriod = 65535;

uint64_t gev_position(uint64_t raw) { return raw == 0 ? 0 : (raw - 1) % kGevPeriod; }

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
    uint64_t step = 0;
    uint64_t half = 0;
    if (gev && counter.last_raw <= 0xFFFF) {
        step = (gev_position(raw) + kGevPeriod - gev_position(counter.last_raw)) % kGevPeriod;
        half = kGevPeriod / 2;
    } else {
        step = raw - counter.last_raw;
        half = uint64_t{1} << 31;  // beyond that the 32-bit number handed out would wrap unseen
    }
    if (step == 0) return counter;  // a repeated id: the program ignores the step back
    counter.wide += step <= half ? step : kRestartJump;
    counter.last_raw = raw;
    return counter;
}

bool is_late_frame_id(const FrameIdCounter& counter, uint64_t raw, IdWidth width) {
    if (!counter.started) return false;
    // GigE Vision never sends block id 0: an incomplete frame with it is one
    // whose id never arrived, already counted through the gap it leaves.
    if (width == IdWidth::gev16 && raw == 0) return true;
    uint64_t behind = 0;
    if (width == IdWidth::gev16 && raw <= 0xFFFF && counter.last_raw <= 0xFFFF)
        behind = (gev_position(counter.last_raw) + kGevPeriod - gev_position(raw)) % kGevPeriod;
    else
        behind = counter.last_raw - raw;  // huge when raw is ahead
    return behind < kLateWindow;
}

FrameIdCounter restart_frame_ids(FrameIdCounter counter) {
    counter.started = false;
    return counter;
}

}  // namespace genicam
