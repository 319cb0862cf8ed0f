// camera_slot.cpp - see camera_slot.h.  Public members: any thread.
// on_image: the connection's receive thread.
#include "camera_slot.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <thread>

#include "frame_facts.h"
#include "result_codes.h"

namespace genicam {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kRetryPause = std::chrono::milliseconds(200);

}  // namespace

CameraSlot& slot_for(const std::string& name) {
    static std::mutex mutex;  // protects slots
    // Never destroyed: their frame pools must outlive any pointer handed out.
    static auto* slots = new std::map<std::string, std::unique_ptr<CameraSlot>>;
    std::lock_guard lock(mutex);
    auto& slot = (*slots)[name];
    if (!slot) slot = std::make_unique<CameraSlot>(name);
    return *slot;
}

bool CameraSlot::usable_locked() const { return connection_ && !connection_->lost(); }

void CameraSlot::retire_lost_locked() {
    if (!connection_ || !connection_->lost()) return;
    // Aravis waits out its time-outs when it closes a camera that is gone
    // (seconds): close it on a thread of its own so no caller waits.
    std::thread([old = std::move(connection_)]() mutable { old.reset(); }).detach();
}

bool CameraSlot::connect_locked(int open_timeout_ms) {
    if (usable_locked()) return true;
    retire_lost_locked();
    connection_.reset();
    const auto deadline = Clock::now() + std::chrono::milliseconds(open_timeout_ms);
    std::unique_ptr<Connection> connection;
    while (!(connection = Connection::open(name_)) && Clock::now() + kRetryPause < deadline)
        std::this_thread::sleep_for(kRetryPause);
    if (!connection) return false;
    connection_ = std::move(connection);
    // The mode list is read when the first handle opens and kept while any
    // handle is open, so mode indexes keep their meaning across a reconnect.
    if (open_handles_ == 0 || facts_.modes.empty()) {
        facts_ = connection_->facts();
        settings_ = Settings{};
    }
    {
        std::lock_guard lock(stream_mutex_);
        id_width_ = connection_->facts().id_width;
    }
    const uint32_t index = settings_.mode_index < facts_.modes.size() ? settings_.mode_index : 0;
    const Mode& mode = facts_.modes[index];
    AxisRule x = connection_->facts().x_rule, y = connection_->facts().y_rule;
    x.full = mode.width;
    y.full = mode.height;
    const Region region = fit_region(settings_.region, x, y).value_or(Region{0, 0, mode.width, mode.height});
    if (apply_geometry_locked(mode, region)) {
        settings_.mode_index = index;
        settings_.region = region;
    }
    connection_->set_exposure(settings_.exposure_us);
    if (settings_.gain) connection_->set_gain(*settings_.gain);
    if (acquiring_handles_ > 0) start_stream_locked();
    return true;
}

bool CameraSlot::apply_geometry_locked(const Mode& mode, const Region& region) {
    if (!connection_->set_geometry(mode, region)) return false;
    std::lock_guard lock(stream_mutex_);
    shown_mode_ = mode;
    return true;
}

void CameraSlot::stop_stream_locked() {
    if (connection_) connection_->stop_stream();  // joins the receive thread: frames_ and stream_mutex_ must be free
}

bool CameraSlot::start_stream_locked() {
    {
        std::lock_guard lock(stream_mutex_);
        ids_ = restart_frame_ids(ids_);
    }
    return connection_->start_stream(this);
}

int CameraSlot::attach(zebcommon::HandleQueue* handle, int open_timeout_ms) {
    std::lock_guard control(control_mutex_);
    if (!connect_locked(open_timeout_ms)) return kNoDevice;
    ++open_handles_;
    frames_.attach(handle);
    return kOk;
}

void CameraSlot::detach(zebcommon::HandleQueue* handle) {
    std::lock_guard control(control_mutex_);
    const bool was_acquiring = frames_.end(handle);
    frames_.detach(handle);
    retire_lost_locked();
    if (was_acquiring && --acquiring_handles_ == 0) stop_stream_locked();
    if (--open_handles_ == 0) connection_.reset();
}

int CameraSlot::set_mode(uint32_t exposure_us, uint32_t mode_index, Region requested) {
    std::lock_guard control(control_mutex_);
    if (!usable_locked()) return kNoDevice;
    if (mode_index >= facts_.modes.size() || exposure_us == 0) return kBadArgument;
    const Mode& mode = facts_.modes[mode_index];
    AxisRule x = connection_->facts().x_rule, y = connection_->facts().y_rule;
    x.full = mode.width;
    y.full = mode.height;
    auto region = fit_region(requested, x, y);
    if (!region) return kBadArgument;
    const bool geometry_changed = mode_index != settings_.mode_index || *region != settings_.region;
    settings_.exposure_us = exposure_us;
    if (!connection_->set_exposure(exposure_us)) return kFailed;
    if (!geometry_changed) return kOk;
    // Width, height, format and binning are locked while a real camera
    // streams: stop, set, and stream again with buffers of the new size.
    const bool streaming = connection_->streaming();
    if (streaming) stop_stream_locked();
    const bool applied = apply_geometry_locked(mode, *region);
    if (applied) {
        settings_.mode_index = mode_index;
        settings_.region = *region;
    }
    if (streaming && !start_stream_locked()) return kFailed;
    return applied ? kOk : kFailed;
}

int CameraSlot::set_gain(float gain) {
    std::lock_guard control(control_mutex_);
    if (!usable_locked()) return kNoDevice;
    if (!connection_->set_gain(gain)) return kFailed;
    settings_.gain = gain;
    return kOk;
}

std::optional<Mode> CameraSlot::mode(uint32_t index) {
    std::lock_guard control(control_mutex_);
    if (open_handles_ == 0 || index >= facts_.modes.size()) return std::nullopt;
    return facts_.modes[index];
}

std::optional<GainRange> CameraSlot::gain_range() {
    std::lock_guard control(control_mutex_);
    if (!connection_) return std::nullopt;
    return GainRange{connection_->facts().gain_min, connection_->facts().gain_max};
}

std::optional<Timing> CameraSlot::timing() {
    std::lock_guard control(control_mutex_);
    if (!usable_locked()) return std::nullopt;
    return Timing{connection_->exposure_s(), connection_->frame_period_s()};
}

std::optional<uint32_t> CameraSlot::input_levels() {
    std::lock_guard control(control_mutex_);
    if (!usable_locked()) return std::nullopt;
    return connection_->input_levels();
}

int CameraSlot::start(zebcommon::HandleQueue* handle) {
    std::lock_guard control(control_mutex_);
    if (!usable_locked()) return kNoDevice;
    if (frames_.acquiring(handle)) return kOk;
    if (acquiring_handles_ == 0 && !connection_->streaming() && !start_stream_locked()) return kFailed;
    ++acquiring_handles_;
    frames_.begin(handle);
    return kOk;
}

void CameraSlot::stop(zebcommon::HandleQueue* handle) {
    std::lock_guard control(control_mutex_);
    const bool was_acquiring = frames_.end(handle);
    retire_lost_locked();
    if (was_acquiring && --acquiring_handles_ == 0) stop_stream_locked();
}

int CameraSlot::wait_for_field(zebcommon::HandleQueue* handle, uint32_t timeout_ms) {
    {
        std::lock_guard control(control_mutex_);
        if (!usable_locked()) return kCameraLost;
    }
    switch (frames_.wait(handle, timeout_ms)) {
        case zebcommon::WaitOutcome::field_ready: return kOk;
        case zebcommon::WaitOutcome::handle_idle: return kTimeout;
        case zebcommon::WaitOutcome::timed_out: break;
    }
    // Nothing arrived: a lost camera (Aravis's heartbeat failed or the
    // device went away) is reopened by the caller.
    std::lock_guard control(control_mutex_);
    return usable_locked() ? kTimeout : kCameraLost;
}

void CameraSlot::on_image(const DeliveredImage& image) {
    auto layout = pixel_layout(image.pixel_format);
    // A format the viewer cannot show, or a short (damaged) buffer: dropped.
    if (!layout || image.bytes < size_t{image.width} * image.height * layout->bytes) return;
    const size_t bytes = shown_bytes(*layout, image.width, image.height);
    if (bytes == 0) return;
    FrameInfo info;
    size_t mode_bytes = 0;
    {
        std::lock_guard lock(stream_mutex_);
        // Every delivered id counts, shown or not, so the widening follows the camera.
        ids_ = advance_frame_id(ids_, image.frame_id, id_width_);
        info.width = shown_width(*layout, image.width);
        info.height = image.height;
        info.x0 = image.x + layout->column_shift;
        info.y0 = image.y;
        info.layout = *layout;
        info.binning = shown_mode_.binning;
        info.mode_width = shown_mode_.width;
        info.mode_height = shown_mode_.height;
        info.frame_number = static_cast<uint32_t>(ids_.wide);
        // New buffers take the largest frame of the mode, so a change of
        // region does not leave a trail of buffers too small to reuse.
        mode_bytes = shown_bytes(shown_mode_.layout, shown_mode_.width, shown_mode_.height);
    }
    zebcommon::FrameBuffer* buffer = frames_.claim(bytes, mode_bytes);
    if (!buffer) return;  // no handle acquires
    if (copy_shown_image(*layout, image.data, image.bytes, image.width, image.height, buffer->data.get(),
                         buffer->capacity))
        frames_.publish(buffer, describe_frame(info));
    else
        frames_.discard(buffer);
}

}  // namespace genicam
