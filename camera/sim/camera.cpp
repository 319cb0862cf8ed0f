// camera.cpp - see camera.h.  Public members: any thread.  produce(): the
// camera's producer thread only.
#include "camera.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>

#include "frame_facts.h"
#include "result_codes.h"
#include "scene.h"

namespace zebsim {
namespace {

using Clock = std::chrono::steady_clock;

// cqIsSetModeComplete answers "not yet" this many times after a mode change.
constexpr int kModeSettlePolls = 2;
// Each handle keeps the frames of this long (at least four, at most 256): a
// caller that is late by a scheduling hiccup on a busy machine loses nothing
// even at thousands of frames a second, as a frame grabber's ring of buffers
// would.
constexpr double kQueuedSeconds = 0.1;
// Late by more than this (a debugger, a slow sanitizer run), the sensor clock
// restarts from now instead of producing a burst of catch-up frames; shorter
// delays are made up, so fast modes keep their rate.
constexpr auto kClockResync = std::chrono::milliseconds(100);

const Clock::time_point kLoadTime = Clock::now();

}  // namespace

double seconds_since_load() { return std::chrono::duration<double>(Clock::now() - kLoadTime).count(); }

Camera& camera_at(uint32_t index) {
    static std::mutex mutex;  // protects cameras
    // Never destroyed: a producer still running at exit must not meet a
    // destroyed camera.
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
    // A different sensor may need even region offsets or be smaller; fall
    // back to the full frame.
    auto mode = sensor_mode(environment_.sensor_size, settings_.mode_index);
    auto region = resolve_region(*mode, environment_.sensor, settings_.region);
    settings_.region = region ? *region : Region{0, 0, mode->width, mode->height};
}

void Camera::attach(zebcommon::HandleQueue* handle) {
    std::lock_guard lock(mutex_);
    if (attached_handles_++ == 0) apply_environment_locked();
    frames_.attach(handle);
}

void Camera::detach(zebcommon::HandleQueue* handle) {
    std::thread finished;
    {
        std::lock_guard lock(mutex_);
        stop_locked(handle, &finished);
        frames_.detach(handle);
        --attached_handles_;
    }
    if (finished.joinable()) finished.join();
}

std::optional<int> Camera::injected_fault(FaultedCall call) {
    std::lock_guard lock(mutex_);
    return faults_.next_call(call);
}

int Camera::set_mode(uint32_t exposure_us, uint32_t mode_index, Region requested) {
    std::lock_guard lock(mutex_);
    if (auto fault = faults_.next_call(FaultedCall::set_mode)) return *fault;
    auto mode = sensor_mode(environment_.sensor_size, mode_index);
    if (!mode || exposure_us == 0) return kBadArgument;
    auto region = resolve_region(*mode, environment_.sensor, requested);
    if (!region) return kBadArgument;
    settings_.exposure_us = exposure_us;
    settings_.mode_index = mode_index;
    settings_.region = *region;
    ++settings_changes_;
    mode_settle_polls_ = kModeSettlePolls;
    return kOk;
}

bool Camera::set_mode_complete() {
    std::lock_guard lock(mutex_);
    if (faults_.next_call(FaultedCall::mode_settle)) return false;  // a mode that does not settle
    if (mode_settle_polls_ > 0) {
        --mode_settle_polls_;
        return false;
    }
    return true;
}

void Camera::set_gain(float gain_db) {
    std::lock_guard lock(mutex_);
    settings_.gain_db = std::clamp(gain_db, environment_.gain.min_db, environment_.gain.max_db);
    ++settings_changes_;
}

CameraSettings Camera::settings() {
    std::lock_guard lock(mutex_);
    return settings_;
}

GainRange Camera::gain_range() {
    std::lock_guard lock(mutex_);
    return environment_.gain;
}

FrameTiming Camera::timing() {
    std::lock_guard lock(mutex_);
    return frame_timing(settings_.exposure_us, settings_.region.cy, environment_.pace);
}

SensorKind Camera::sensor() {
    std::lock_guard lock(mutex_);
    return environment_.sensor;
}

SensorSize Camera::sensor_size() {
    std::lock_guard lock(mutex_);
    return environment_.sensor_size;
}

long Camera::input_levels(double seconds) {
    std::lock_guard lock(mutex_);
    if (inputs_override_ >= 0) return inputs_override_ & 0xF;
    long levels = 0;
    for (int n = 1; n <= 4; ++n)  // input n toggles every n seconds
        levels |= (static_cast<long>(seconds / n) & 1) << (n - 1);
    return levels;
}

int Camera::start(zebcommon::HandleQueue* handle) {
    std::lock_guard lock(mutex_);
    if (auto fault = faults_.next_call(FaultedCall::start)) return *fault;
    if (!frames_.begin(handle)) return kOk;  // already acquiring
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

void Camera::stop_locked(zebcommon::HandleQueue* handle, std::thread* to_join) {
    if (!frames_.end(handle)) return;
    if (--acquiring_handles_ == 0) {
        ++generation_;
        *to_join = std::move(producer_);
    }
    producer_wake_.notify_all();
}

void Camera::stop(zebcommon::HandleQueue* handle) {
    std::thread finished;
    {
        std::lock_guard lock(mutex_);
        stop_locked(handle, &finished);
    }
    if (finished.joinable()) finished.join();
}

int Camera::wait_for_field(zebcommon::HandleQueue* handle, uint32_t timeout_ms) {
    {
        std::lock_guard lock(mutex_);
        if (auto fault = faults_.next_call(FaultedCall::wait)) return *fault;
    }
    return frames_.wait(handle, timeout_ms) == zebcommon::WaitOutcome::field_ready ? kOk : kTimeout;
}

int Camera::acquire_field(zebcommon::HandleQueue* handle, void** data) {
    std::lock_guard lock(mutex_);  // faults_ is asked from inside the exchange
    return frames_.acquire(handle, data, [this] { return faults_.next_call(FaultedCall::acquire); });
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
    frames_.reset_dropped();
    apply_environment_locked();
}

void Camera::produce(uint64_t generation) {
    std::optional<SceneRenderer> scene;  // rebuilt when the geometry changes
    std::unique_lock lock(mutex_);
    auto next_frame = Clock::now();
    auto told_to_end = [&] { return generation != generation_; };
    size_t queue_depth = 0;  // as last given to frames_: changed only with the frame period
    while (!told_to_end()) {
        const FrameTiming timing = frame_timing(settings_.exposure_us, settings_.region.cy, environment_.pace);
        const auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(timing.period_s));
        const size_t depth = std::clamp<size_t>(size_t(std::ceil(kQueuedSeconds / timing.period_s)), 4, 256);
        if (depth != queue_depth) frames_.set_queue_depth(queue_depth = depth);
        if (next_frame + kClockResync < Clock::now()) next_frame = Clock::now();
        next_frame += period;
        if (producer_wake_.wait_until(lock, next_frame, told_to_end)) break;
        if (paused_) continue;
        const uint32_t frame_number = next_frame_number_++;
        ++sensor_frames_;
        if (environment_.drop_every > 0 && sensor_frames_ % environment_.drop_every == 0) continue;

        FrameInfo info;
        info.mode_index = settings_.mode_index;
        info.mode = *sensor_mode(environment_.sensor_size, settings_.mode_index);
        info.region = settings_.region;
        info.sensor = environment_.sensor;
        info.frame_number = frame_number;
        const double scale = signal_scale(settings_.exposure_us, settings_.gain_db);
        const SensorSize size = environment_.sensor_size;
        const size_t bytes = size_t{info.region.cx} * info.region.cy * (info.mode.bits == 8 ? 1 : 2);
        zebcommon::FrameBuffer* buffer = frames_.claim(bytes, bytes);
        if (!buffer) continue;  // no handle acquires any more
        uint8_t* target = buffer->data.get();
        const uint64_t settings_seen = settings_changes_;

        lock.unlock();
        if (!scene || !scene->matches(size, info.mode, info.region, info.sensor))
            scene.emplace(size, info.mode, info.region, info.sensor);
        scene->render(seconds_since_load(), scale, frame_number, target);
        lock.lock();

        // A frame rendered for a stopped sensor is not shown: a restart
        // numbers its frames afresh.  Nor is one whose exposure a pause or a
        // change of settings cut short; the next frame takes its number, so
        // no gap shows.
        if (told_to_end()) {
            frames_.discard(buffer);
        } else if (paused_ || settings_changes_ != settings_seen) {
            frames_.discard(buffer);
            --next_frame_number_;
        } else {
            frames_.publish(buffer, describe_frame(info));
        }
    }
}

}  // namespace zebsim
