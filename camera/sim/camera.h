// camera.h - one simulated camera: its settings, its sensor clock (a producer
// thread that runs while any handle acquires) and the fault injection; the
// frames go to the handles through the camera's FrameExchange.
//
// Every public member may be called from any thread.  The camera's mutex
// guards its settings and producer; the exchange guards the frames.  The
// camera holds its mutex around calls into the exchange, never the other way
// round.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "environment.h"
#include "faults.h"
#include "frame_exchange.h"
#include "sensor_modes.h"

namespace zebsim {

struct CameraSettings {
    uint32_t exposure_us = 10000;
    uint32_t mode_index = 0;
    Region region;  // all zero: the mode's full frame
    float gain_db = 0.0f;
};

class Camera {
public:
    Camera() = default;
    Camera(const Camera&) = delete;
    Camera& operator=(const Camera&) = delete;

    // Handles.  The first open reads the environment.
    void attach(zebcommon::HandleQueue* handle);
    void detach(zebcommon::HandleQueue* handle);  // stops its acquisition, releases its buffers

    // Counts a call of a faultable operation; the result to fail it with.
    std::optional<int> injected_fault(FaultedCall call);

    // Settings shared by all handles.
    int set_mode(uint32_t exposure_us, uint32_t mode_index, Region requested);
    bool set_mode_complete();
    void set_gain(float gain_db);
    // What runs; the region always explicit (resolved when set).
    CameraSettings settings();
    GainRange gain_range();
    FrameTiming timing();
    SensorKind sensor();
    SensorSize sensor_size();
    long input_levels(double seconds_since_load);  // bit n-1 = input n

    // Acquisition through one handle.
    // Waiting and taking fields can be failed by injected faults; the rest
    // of the hand-over is the exchange's.
    int start(zebcommon::HandleQueue* handle);
    void stop(zebcommon::HandleQueue* handle);
    int wait_for_field(zebcommon::HandleQueue* handle, uint32_t timeout_ms);
    int acquire_field(zebcommon::HandleQueue* handle, void** data);
    zebcommon::FrameExchange& frames() { return frames_; }

    // Test control.
    void set_faults(const std::string& list);
    void set_inputs(long levels);
    void set_paused(bool paused);
    void reset();

private:
    void apply_environment_locked();
    void stop_locked(zebcommon::HandleQueue* handle, std::thread* to_join);
    void produce(uint64_t generation);

    zebcommon::FrameExchange frames_;  // has its own mutex; taken inside mutex_, never around it

    std::mutex mutex_;                       // protects every member below
    std::condition_variable producer_wake_;  // producer told to end
    int attached_handles_ = 0;
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
    uint64_t generation_ = 0;        // bumped whenever the running producer must end
    uint64_t settings_changes_ = 0;  // bumped by every mode or gain change
    std::thread producer_;
};

// The camera with that index (0..kMaxCameras-1), created on first use and
// alive until the process ends.
Camera& camera_at(uint32_t index);
// Seconds since the library was loaded: the clock for the moving scene and inputs.
double seconds_since_load();

}  // namespace zebsim
