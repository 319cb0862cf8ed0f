// camera.h - one simulated camera: its settings, its sensor clock (a producer
// thread that runs while any handle acquires), the frame buffer pool and each
// open handle's ready queue.
//
// Every public member may be called from any thread; all state is guarded by
// the camera's one mutex.  Frame data is written by the producer only into
// buffers nobody references, and handed over under the mutex.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "environment.h"
#include "faults.h"
#include "sensor_modes.h"

namespace zebsim {

struct FrameInfo {
    uint32_t mode_index = 0;
    SensorMode mode{};
    Region region{};
    SensorKind sensor = SensorKind::rggb;
    uint32_t frame_number = 0;
};

// Allocated once at the largest frame size and never freed or reallocated, so
// a stale data pointer held by a caller never dangles.
struct FrameBuffer {
    std::unique_ptr<uint8_t[]> data;
    FrameInfo info;
    int references = 0;  // ready queues + held + current + pins + the producer writing it
};

// A handle's view of acquisition.  Guarded by its camera's mutex.
struct HandleAcquisition {
    bool acquiring = false;
    bool closed = false;
    std::deque<FrameBuffer*> ready;
    FrameBuffer* held = nullptr;     // from the last cqAcquireField
    FrameBuffer* current = nullptr;  // from the last cqUpdateFrame
};

struct CameraSettings {
    uint32_t exposure_us = 10000;
    uint32_t mode_index = 0;
    Region region{0, 0, 1280, 1024};
    float gain_db = 0.0f;
};

class Camera {
public:
    Camera() = default;
    Camera(const Camera&) = delete;
    Camera& operator=(const Camera&) = delete;

    // Handles.  The first open reads the environment.
    void attach(HandleAcquisition* handle);
    void detach(HandleAcquisition* handle);  // stops its acquisition, releases its buffers
    int open_handles();

    // Counts a call of a faultable operation; the result to fail it with.
    std::optional<int> injected_fault(FaultedCall call);

    // Settings shared by all handles.
    int set_mode(uint32_t exposure_us, uint32_t mode_index, Region requested);
    bool set_mode_complete();
    void set_gain(float gain_db);
    GainRange gain_range();
    FrameTiming timing();
    SensorKind sensor();
    long input_levels(double seconds_since_load);  // bit n-1 = input n

    // Acquisition through one handle.
    int start(HandleAcquisition* handle);
    void stop(HandleAcquisition* handle);
    int wait_for_field(HandleAcquisition* handle, uint32_t timeout_ms);
    bool field_ready(HandleAcquisition* handle);
    int acquire_field(HandleAcquisition* handle, void** data);
    int update_frame(HandleAcquisition* handle, const void* data);
    bool current_frame(HandleAcquisition* handle, FrameInfo* info, void** data);

    // Keeps the handle's current frame from being recycled while it is read
    // outside the mutex; nullptr when there is none.  Balance with unpin.
    FrameBuffer* pin_current(HandleAcquisition* handle);
    void unpin(FrameBuffer* buffer);

    // Test control.
    void set_faults(const std::string& list);
    void set_inputs(long levels);
    void set_paused(bool paused);
    void reset();

private:
    void apply_environment_locked();
    void release_locked(FrameBuffer*& buffer);
    void stop_locked(HandleAcquisition* handle, std::thread* to_join);
    FrameBuffer* free_buffer_locked();
    void produce(uint64_t generation);

    std::mutex mutex_;  // protects every member below and every attached HandleAcquisition
    std::condition_variable frame_ready_;  // new field, handle closed/stopped, producer told to end
    std::vector<HandleAcquisition*> handles_;
    std::vector<std::unique_ptr<FrameBuffer>> pool_;
    CameraSettings settings_;
    Environment environment_;
    FaultCounters faults_;
    bool faults_overridden_ = false;
    long inputs_override_ = -1;
    bool inputs_overridden_ = false;
    bool paused_ = false;
    int mode_settle_polls_ = 0;
    int acquiring_handles_ = 0;
    uint32_t next_frame_number_ = 0;
    uint64_t sensor_frames_ = 0;
    uint64_t generation_ = 0;  // bumped whenever the running producer must end
    std::thread producer_;
};

// The camera with that index (0..kMaxCameras-1), created on first use and
// alive until the process ends.
Camera& camera_at(uint32_t index);
// Seconds since the library was loaded: the clock for the moving scene and inputs.
double seconds_since_load();

}  // namespace zebsim
