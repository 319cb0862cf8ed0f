// camera.cpp - see camera.h.  Public members: any thread.  produce(): the
// camera's producer thread only.
#include "camera.h"

#include <algorithm>
#include <array>
#include <chrono>

#include "result_codes.h"
#include "scene.h"

namespace zebsim {
namespace {

using Clock = std::chrono::steady_clock;

// The camera keeps about four frames; a slower caller loses the oldest.
constexpr size_t kQueueDepth = 4;
constexpr size_t kMaxFrameBytes = size_t{kSensorWidth} * kSensorHeight * 2;
// cqIsSetModeComplete answers "not yet" this many times after a mode change.
constexpr int kModeSettlePolls = 2;

const Clock::time_point kLoadTime = Clock::now();

}  // namespace

double seconds_since_load() { return std::chrono::duration<double>(Clock::now() - kLoadTime).count(); }

Camera& camera_at(uint32_t index) {
    static std::mutex mutex;  // protects cameras
    // Never destroyed: buffers must outlive any stale pointer, and a producer
    // still running at exit must not meet a destroyed camera.
    static auto* cameras = new std::array<std::unique_ptr<Camera>, kMaxCameras>;
    std::lock_guard lock(mutex);
    auto& slot = (*cameras)[std::min(index, kMaxCameras - 1)];
    if (!slot) slot = std::make_unique<Camera>();
    return *slot;
}

void Camera::apply_environment_locked() {
    environment_ = read_environment();
    if (!faults_overridden_) faults_.reset(parse_faults(environment_.faults));
    if (!inputs_overridden_) inputs_override_ = environment_.inputs;
    settings_.gain_db = std::clamp(settings_.gain_db, environment_.gain.min_db, environment_.gain.max_db);
    // A different sensor may need even region offsets; fall back to the full frame.
    auto mode = sensor_mode(settings_.mode_index);
    if (!resolve_region(*mode, environment_.sensor, settings_.region)) settings_.region = {0, 0, mode->width, mode->height};
}

void Camera::attach(HandleAcquisition* handle) {
    std::lock_guard lock(mutex_);
    if (handles_.empty()) apply_environment_locked();
    handles_.push_back(handle);
}

void Camera::detach(HandleAcquisition* handle) {
    std::thread finished;
    {
        std::lock_guard lock(mutex_);
        stop_locked(handle, &finished);
        handle->closed = true;
        std::erase(handles_, handle);
        frame_ready_.notify_all();
    }
    if (finished.joinable()) finished.join();
}

int Camera::open_handles() {
    std::lock_guard lock(mutex_);
    return static_cast<int>(handles_.size());
}

std::optional<int> Camera::injected_fault(FaultedCall call) {
    std::lock_guard lock(mutex_);
    return faults_.next_call(call);
}

int Camera::set_mode(uint32_t exposure_us, uint32_t mode_index, Region requested) {
    std::lock_guard lock(mutex_);
    if (auto fault = faults_.next_call(FaultedCall::set_mode)) return *fault;
    auto mode = sensor_mode(mode_index);
    if (!mode || exposure_us == 0) return kBadArgument;
    auto region = resolve_region(*mode, environment_.sensor, requested);
    if (!region) return kBadArgument;
    settings_.exposure_us = exposure_us;
    settings_.mode_index = mode_index;
    settings_.region = *region;
    mode_settle_polls_ = kModeSettlePolls;
    return kOk;
}

bool Camera::set_mode_complete() {
    std::lock_guard lock(mutex_);
    if (mode_settle_polls_ > 0) {
        --mode_settle_polls_;
        return false;
    }
    return true;
}

void Camera::set_gain(float gain_db) {
    std::lock_guard lock(mutex_);
    settings_.gain_db = std::clamp(gain_db, environment_.gain.min_db, environment_.gain.max_db);
}

GainRange Camera::gain_range() {
    std::lock_guard lock(mutex_);
    return environment_.gain;
}

FrameTiming Camera::timing() {
    std::lock_guard lock(mutex_);
    return frame_timing(settings_.exposure_us, settings_.region.cy);
}

SensorKind Camera::sensor() {
    std::lock_guard lock(mutex_);
    return environment_.sensor;
}

long Camera::input_levels(double seconds) {
    std::lock_guard lock(mutex_);
    if (inputs_override_ >= 0) return inputs_override_ & 0xF;
    long levels = 0;
    for (int n = 1; n <= 4; ++n)  // input n toggles every n seconds
        levels |= (static_cast<long>(seconds / n) & 1) << (n - 1);
    return levels;
}

int Camera::start(HandleAcquisition* handle) {
    std::lock_guard lock(mutex_);
    if (auto fault = faults_.next_call(FaultedCall::start)) return *fault;
    if (handle->acquiring) return kOk;
    handle->acquiring = true;
    if (acquiring_handles_++ == 0) {
        // The sensor starts afresh: numbering restarts, a new producer runs.
        next_frame_number_ = 0;
        sensor_frames_ = 0;
        const uint64_t generation = ++generation_;
        if (producer_.joinable()) producer_.detach();  // cannot happen: stop_locked moves it out
        producer_ = std::thread(&Camera::produce, this, generation);
    }
    return kOk;
}

void Camera::release_locked(FrameBuffer*& buffer) {
    if (buffer) --buffer->references;
    buffer = nullptr;
}

void Camera::stop_locked(HandleAcquisition* handle, std::thread* to_join) {
    release_locked(handle->held);
    release_locked(handle->current);
    for (FrameBuffer*& queued : handle->ready) release_locked(queued);
    handle->ready.clear();
    if (!handle->acquiring) return;
    handle->acquiring = false;
    if (--acquiring_handles_ == 0) {
        ++generation_;
        *to_join = std::move(producer_);
    }
    frame_ready_.notify_all();
}

void Camera::stop(HandleAcquisition* handle) {
    std::thread finished;
    {
        std::lock_guard lock(mutex_);
        stop_locked(handle, &finished);
    }
    if (finished.joinable()) finished.join();
}

int Camera::wait_for_field(HandleAcquisition* handle, uint32_t timeout_ms) {
    std::unique_lock lock(mutex_);
    if (auto fault = faults_.next_call(FaultedCall::wait)) return *fault;
    frame_ready_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                          [&] { return !handle->ready.empty() || handle->closed; });
    return handle->ready.empty() ? kTimeout : kOk;
}

bool Camera::field_ready(HandleAcquisition* handle) {
    std::lock_guard lock(mutex_);
    return !handle->ready.empty();
}

int Camera::acquire_field(HandleAcquisition* handle, void** data) {
    std::lock_guard lock(mutex_);
    if (handle->ready.empty()) return kNoData;
    FrameBuffer* next = handle->ready.front();
    handle->ready.pop_front();
    if (auto fault = faults_.next_call(FaultedCall::acquire)) {
        // The failed field is lost, as a real transfer error would lose it;
        // a caller draining the queue still makes progress.
        release_locked(next);
        return *fault;
    }
    release_locked(handle->held);
    handle->held = next;  // the queue's reference passes to held
    *data = next->data.get();
    return kOk;
}

int Camera::update_frame(HandleAcquisition* handle, const void* data) {
    std::lock_guard lock(mutex_);
    FrameBuffer* source = nullptr;
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

bool Camera::current_frame(HandleAcquisition* handle, FrameInfo* info, void** data) {
    std::lock_guard lock(mutex_);
    if (!handle->current) return false;
    *info = handle->current->info;
    *data = handle->current->data.get();
    return true;
}

FrameBuffer* Camera::pin_current(HandleAcquisition* handle) {
    std::lock_guard lock(mutex_);
    if (!handle->current) return nullptr;
    ++handle->current->references;
    return handle->current;
}

void Camera::unpin(FrameBuffer* buffer) {
    std::lock_guard lock(mutex_);
    release_locked(buffer);
}

void Camera::set_faults(const std::string& list) {
    std::lock_guard lock(mutex_);
    faults_.reset(parse_faults(list));
    faults_overridden_ = true;
}

void Camera::set_inputs(long levels) {
    std::lock_guard lock(mutex_);
    inputs_override_ = levels;
    inputs_overridden_ = true;
}

void Camera::set_paused(bool paused) {
    std::lock_guard lock(mutex_);
    paused_ = paused;
}

void Camera::reset() {
    std::lock_guard lock(mutex_);
    faults_overridden_ = false;
    inputs_overridden_ = false;
    paused_ = false;
    mode_settle_polls_ = 0;
    settings_ = CameraSettings{};
    apply_environment_locked();
}

FrameBuffer* Camera::free_buffer_locked() {
    for (auto& buffer : pool_)
        if (buffer->references == 0) return buffer.get();
    auto buffer = std::make_unique<FrameBuffer>();
    buffer->data = std::make_unique<uint8_t[]>(kMaxFrameBytes);
    pool_.push_back(std::move(buffer));
    return pool_.back().get();
}

void Camera::produce(uint64_t generation) {
    std::optional<SceneRenderer> scene;  // rebuilt when the geometry changes
    std::unique_lock lock(mutex_);
    auto next_frame = Clock::now();
    auto told_to_end = [&] { return generation != generation_; };
    while (!told_to_end()) {
        const FrameTiming timing = frame_timing(settings_.exposure_us, settings_.region.cy);
        const auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(timing.period_s));
        // After a stall (debugger, slow sanitizer run) resume the clock from now
        // instead of producing a burst of catch-up frames.
        if (next_frame + period < Clock::now()) next_frame = Clock::now();
        next_frame += period;
        if (frame_ready_.wait_until(lock, next_frame, told_to_end)) break;
        if (paused_) continue;
        const uint32_t frame_number = next_frame_number_++;
        ++sensor_frames_;
        if (environment_.drop_every > 0 && sensor_frames_ % environment_.drop_every == 0) continue;

        FrameInfo info;
        info.mode_index = settings_.mode_index;
        info.mode = *sensor_mode(settings_.mode_index);
        info.region = settings_.region;
        info.sensor = environment_.sensor;
        info.frame_number = frame_number;
        const double scale = signal_scale(settings_.exposure_us, settings_.gain_db);
        FrameBuffer* buffer = free_buffer_locked();
        buffer->references = 1;  // the producer's own, while it writes
        uint8_t* target = buffer->data.get();

        lock.unlock();
        if (!scene || !scene->matches(info.mode, info.region, info.sensor)) scene.emplace(info.mode, info.region, info.sensor);
        scene->render(seconds_since_load(), scale, frame_number, target);
        lock.lock();

        buffer->info = info;
        if (!told_to_end()) {
            for (HandleAcquisition* handle : handles_) {
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
}

}  // namespace zebsim
