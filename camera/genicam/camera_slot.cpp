// camera_slot.cpp - see camera_slot.h.  Public members: any thread.
// on_image: Aravis's stream thread.
#include "camera_slot.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <thread>

#include "result_codes.h"

namespace genicam {
namespace {

using Clock = std::chrono::steady_clock;

// A handle keeps about four frames; a slower caller loses the oldest.
constexpr size_t kQueueDepth = 4;
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
        std::lock_guard lock(frames_mutex_);
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
    std::lock_guard lock(frames_mutex_);
    shown_mode_ = mode;
    return true;
}

void CameraSlot::stop_stream_locked() {
    if (connection_) connection_->stop_stream();  // joins the stream thread: frames_mutex_ must be free
}

bool CameraSlot::start_stream_locked() {
    {
        std::lock_guard lock(frames_mutex_);
        ids_ = restart_frame_ids(ids_);
    }
    return connection_->start_stream(this);
}

int CameraSlot::attach(HandleFrames* handle, int open_timeout_ms) {
    std::lock_guard control(control_mutex_);
    if (!connect_locked(open_timeout_ms)) return kNoDevice;
    ++open_handles_;
    std::lock_guard lock(frames_mutex_);
    handles_.push_back(handle);
    return kOk;
}

void CameraSlot::detach(HandleFrames* handle) {
    std::lock_guard control(control_mutex_);
    bool was_acquiring = false;
    {
        std::lock_guard lock(frames_mutex_);
        was_acquiring = handle->acquiring;
        stop_handle_locked(handle);
        handle->closed = true;
        std::erase(handles_, handle);
        frame_ready_.notify_all();
    }
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

int CameraSlot::start(HandleFrames* handle) {
    std::lock_guard control(control_mutex_);
    if (!usable_locked()) return kNoDevice;
    {
        std::lock_guard lock(frames_mutex_);
        if (handle->acquiring) return kOk;
    }
    if (acquiring_handles_ == 0 && !connection_->streaming() && !start_stream_locked()) return kFailed;
    ++acquiring_handles_;
    std::lock_guard lock(frames_mutex_);
    handle->acquiring = true;
    return kOk;
}

void CameraSlot::release_locked(PoolBuffer*& buffer) {
    if (buffer) --buffer->references;
    buffer = nullptr;
}

void CameraSlot::stop_handle_locked(HandleFrames* handle) {
    release_locked(handle->held);
    release_locked(handle->current);
    for (PoolBuffer*& queued : handle->ready) release_locked(queued);
    handle->ready.clear();
    handle->acquiring = false;
    frame_ready_.notify_all();
}

void CameraSlot::stop(HandleFrames* handle) {
    std::lock_guard control(control_mutex_);
    bool was_acquiring = false;
    {
        std::lock_guard lock(frames_mutex_);
        was_acquiring = handle->acquiring;
        stop_handle_locked(handle);
    }
    retire_lost_locked();
    if (was_acquiring && --acquiring_handles_ == 0) stop_stream_locked();
}

int CameraSlot::wait_for_field(HandleFrames* handle, uint32_t timeout_ms) {
    {
        std::lock_guard control(control_mutex_);
        if (!usable_locked()) return kCameraLost;
    }
    {
        std::unique_lock lock(frames_mutex_);
        frame_ready_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                              [&] { return !handle->ready.empty() || handle->closed; });
        if (!handle->ready.empty()) return kOk;
        if (handle->closed || !handle->acquiring) return kTimeout;
    }
    // Nothing arrived: a lost camera (Aravis's heartbeat failed or the
    // device went away) is reopened by the caller.
    std::lock_guard control(control_mutex_);
    return usable_locked() ? kTimeout : kCameraLost;
}

bool CameraSlot::field_ready(HandleFrames* handle) {
    std::lock_guard lock(frames_mutex_);
    return !handle->ready.empty();
}

int CameraSlot::acquire_field(HandleFrames* handle, void** data) {
    std::lock_guard lock(frames_mutex_);
    if (handle->ready.empty()) return kNoData;
    PoolBuffer* next = handle->ready.front();
    handle->ready.pop_front();
    release_locked(handle->held);
    handle->held = next;  // the queue's reference passes to held
    *data = next->data.get();
    return kOk;
}

int CameraSlot::update_frame(HandleFrames* handle, const void* data) {
    std::lock_guard lock(frames_mutex_);
    PoolBuffer* source = nullptr;
    if (handle->held && handle->held->data.get() == data)
        source = handle->held;
    else if (handle->current && handle->current->data.get() == data)
        source = handle->current;
    if (!source) return kBadArgument;
    ++source->references;
    release_locked(handle->current);
    handle->current = source;
    return kOk;
}

bool CameraSlot::current_frame(HandleFrames* handle, FrameInfo* info, void** data) {
    std::lock_guard lock(frames_mutex_);
    if (!handle->current) return false;
    *info = handle->current->info;
    *data = handle->current->data.get();
    return true;
}

PoolBuffer* CameraSlot::pin_current(HandleFrames* handle) {
    std::lock_guard lock(frames_mutex_);
    if (!handle->current) return nullptr;
    ++handle->current->references;
    return handle->current;
}

void CameraSlot::unpin(PoolBuffer* buffer) {
    std::lock_guard lock(frames_mutex_);
    release_locked(buffer);
}

PoolBuffer* CameraSlot::free_buffer_locked(size_t bytes) {
    for (auto& buffer : pool_)
        if (buffer->references == 0 && buffer->capacity >= bytes) return buffer.get();
    // New buffers take the largest frame of the mode list, so a change of
    // mode does not leave a trail of buffers too small to reuse.
    size_t capacity = bytes;
    for (auto& buffer : pool_) capacity = std::max(capacity, buffer->capacity);
    capacity = std::max(capacity, shown_bytes(shown_mode_.layout, shown_mode_.width, shown_mode_.height));
    auto buffer = std::make_unique<PoolBuffer>();
    buffer->data = std::make_unique<uint8_t[]>(capacity);
    buffer->capacity = capacity;
    pool_.push_back(std::move(buffer));
    return pool_.back().get();
}

void CameraSlot::on_image(const DeliveredImage& image) {
    auto layout = pixel_layout(image.pixel_format);
    // A format the viewer cannot show, or a short (damaged) buffer: dropped.
    if (!layout || image.bytes < size_t{image.width} * image.height * layout->bytes) return;
    const size_t bytes = shown_bytes(*layout, image.width, image.height);
    if (bytes == 0) return;
    std::unique_lock lock(frames_mutex_);
    ids_ = advance_frame_id(ids_, image.frame_id, id_width_);
    if (std::none_of(handles_.begin(), handles_.end(), [](HandleFrames* h) { return h->acquiring; })) return;
    PoolBuffer* buffer = free_buffer_locked(bytes);
    buffer->references = 1;  // the copy's own, while it is written
    FrameInfo info;
    info.width = shown_width(*layout, image.width);
    info.height = image.height;
    info.x0 = image.x + layout->column_shift;
    info.y0 = image.y;
    info.layout = *layout;
    info.binning = shown_mode_.binning;
    info.mode_width = shown_mode_.width;
    info.mode_height = shown_mode_.height;
    info.frame_number = static_cast<uint32_t>(ids_.wide);

    lock.unlock();
    const bool copied = copy_shown_image(*layout, image.data, image.bytes, image.width, image.height,
                                         buffer->data.get(), buffer->capacity);
    lock.lock();

    if (copied) {
        buffer->info = info;
        for (HandleFrames* handle : handles_) {
            if (!handle->acquiring) continue;
            ++buffer->references;
            handle->ready.push_back(buffer);
            if (handle->ready.size() > kQueueDepth) {
                release_locked(handle->ready.front());
                handle->ready.pop_front();
            }
        }
        frame_ready_.notify_all();
    }
    --buffer->references;
}

}  // namespace genicam
