// slot_settings.cpp - see camera_slot.h: the settings, as callers change them
// and as the slot tells them.  The change calls: any thread; apply_*,
// read_back and the stream's start and stop: the camera thread.
#include <cmath>

#include "camera_slot.h"
#include "result_codes.h"

namespace genicam {

int CameraSlot::set_mode(uint32_t exposure_us, uint32_t mode_index, Region requested) {
    std::unique_lock lock(mutex_);
    if (!calls_allowed(state_)) return kNoDevice;
    if (mode_index >= facts_.modes.size() || exposure_us == 0) return kBadArgument;
    const Mode mode = facts_.modes[mode_index];
    AxisRule x = facts_.x_rule, y = facts_.y_rule;
    x.full = mode.width;
    y.full = mode.height;
    auto region = fit_region(requested, x, y);
    if (!region) return kBadArgument;
    return run_locked(lock, "cqSetMode",
                      [this, exposure_us, mode_index, mode, region = *region](Connection& connection) {
                          return apply_mode(connection, exposure_us, mode_index, mode, region);
                      });
}

int CameraSlot::set_gain(float gain) {
    std::unique_lock lock(mutex_);
    return run_locked(lock, "cqSetGainVal", [this, gain](Connection& connection) {
        take_over_from_auto(connection, false);
        if (!connection.set_gain(gain)) return kFailed;
        std::lock_guard settings(mutex_);
        settings_.gain = gain;
        read_back_asked_ = true;
        return kOk;
    });
}

std::optional<Mode> CameraSlot::mode(uint32_t index) {
    std::lock_guard lock(mutex_);
    if (open_handles_ == 0 || index >= facts_.modes.size()) return std::nullopt;
    return facts_.modes[index];
}

std::optional<GainRange> CameraSlot::gain_range() {
    std::lock_guard lock(mutex_);
    if (open_handles_ == 0) return std::nullopt;
    return GainRange{facts_.gain_min, facts_.gain_max};
}

SettingsInEffect CameraSlot::settings_in_effect() {
    std::lock_guard lock(mutex_);
    SettingsInEffect in_effect{state_,
                               changes_,
                               settings_.exposure_us,
                               settings_.mode_index,
                               settings_.region,
                               settings_.gain.value_or(facts_.gain)};
    return in_effect;
}

int CameraSlot::apply_mode(Connection& connection, uint32_t exposure_us, uint32_t mode_index, const Mode& mode,
                           const Region& region) {
    bool geometry_changed = false;
    {
        std::lock_guard lock(mutex_);
        geometry_changed = mode_index != settings_.mode_index || region != settings_.region;
    }
    // Kept only once the camera took it: a refused exposure must not come
    // back with the next reconnect.
    take_over_from_auto(connection, true);
    if (!connection.set_exposure(exposure_us)) return kFailed;
    {
        std::lock_guard lock(mutex_);
        settings_.exposure_us = exposure_us;
        read_back_asked_ = true;
    }
    if (!geometry_changed) return kOk;
    // Width, height, format and binning are locked while a real camera
    // streams: stop, set, and stream again with buffers of the new size.
    const bool streaming = connection.streaming();
    if (streaming) stop_stream(connection);
    const bool applied = apply_geometry(connection, mode, region);
    if (applied) {
        std::lock_guard lock(mutex_);
        settings_.mode_index = mode_index;
        settings_.region = region;
    }
    if (streaming && !start_stream(connection, false)) return kFailed;
    return applied ? kOk : kFailed;
}

bool CameraSlot::apply_geometry(Connection& connection, const Mode& mode, const Region& region) {
    if (!connection.set_geometry(mode, region)) return false;
    intake_.set_mode(mode);
    return true;
}

void CameraSlot::read_back(std::unique_lock<std::mutex>& lock) {
    Connection& connection = *connection_;
    read_back_asked_ = false;
    // One value at a time: a call that comes meanwhile goes first, and the
    // reading is done again after it.  What the camera took, clamped and
    // rounded to its steps; what was asked for where it cannot say.
    const auto interrupted = [&] {
        lock.lock();
        if (connection.lost() || jobs_.empty()) return connection.lost();
        read_back_asked_ = true;
        return true;
    };
    lock.unlock();
    const std::optional<float> gain = connection.gain();
    if (interrupted()) return;
    if (gain) settings_.gain = *gain;
    lock.unlock();
    const double exposure_s = connection.exposure_s();
    if (interrupted()) return;
    if (exposure_s > 0 && std::isfinite(exposure_s)) {
        settings_.exposure_us = static_cast<uint32_t>(std::lround(exposure_s * 1e6));
        exposure_s_ = exposure_s;
    }
    lock.unlock();
    const double period_s = connection.frame_period_s();
    if (interrupted()) return;
    frame_period_s_ = period_s;
    tell_stream_locked();  // what bounds the rate may have changed
}

bool CameraSlot::start_stream(Connection& connection, bool resume_ids) {
    intake_.stream_starts(resume_ids);
    if (!connection.start_stream(&intake_)) return false;
    std::lock_guard lock(mutex_);
    packet_size_ = connection.packet_size();
    stream_port_ = connection.stream_port();
    payload_ = connection.payload();
    deliveries_when_silent_ = 0;
    tell_stream_locked();
    return true;
}

void CameraSlot::stop_stream(Connection& connection) {
    connection.stop_stream();  // joins the receive thread: the intake's lock must be free
    intake_.forget_last_complete();
    // What the stream brought, or did not, is told again of the next one.
    board_.clear(Trouble::packets);
    board_.clear(Trouble::stream_silent);
}

}  // namespace genicam
