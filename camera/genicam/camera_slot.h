// camera_slot.h - one camera as all its handles share it: a single
// connection (GigE Vision allows one controller), opened by the first handle
// and closed with the last, reopened when it was lost; the settings that
// every handle changes; and the frames, copied out of Aravis's buffers into
// the slot's own pool and queued for each acquiring handle.
//
// Every public member may be called from any thread.  on_image runs on
// Aravis's stream thread.  Slots are never destroyed, so frame data handed
// out stays valid memory until the library is unloaded.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "connection.h"
#include "frame_ids.h"
#include "mode_table.h"
#include "pixel_layout.h"
#include "region_fit.h"

namespace genicam {

struct FrameInfo {
    uint32_t width = 0, height = 0;  // as shown: the buffer's own size (less GR/GB's dropped columns)
    uint32_t x0 = 0, y0 = 0;         // the buffer's own offsets
    PixelLayout layout{8, 1, Mosaic::none, 0};
    uint32_t binning = 1;
    uint32_t mode_width = 0, mode_height = 0;
    uint32_t frame_number = 0;       // widened id, low 32 bits
};

// Allocated once and never freed or shrunk, so a stale data pointer held by
// a caller never dangles.
struct PoolBuffer {
    std::unique_ptr<uint8_t[]> data;
    size_t capacity = 0;
    FrameInfo info;
    int references = 0;  // ready queues + held + current + pins + the copy being written
};

// A handle's view of acquisition.  Guarded by its slot's frames mutex.
struct HandleFrames {
    bool acquiring = false;
    bool closed = false;
    std::deque<PoolBuffer*> ready;
    PoolBuffer* held = nullptr;     // from the last cqAcquireField
    PoolBuffer* current = nullptr;  // from the last cqUpdateFrame
};

struct GainRange {
    float min = 0, max = 0;
};

struct Timing {
    double exposure_s = 0, period_s = 0;
};

class CameraSlot final : public FrameSink {
public:
    explicit CameraSlot(std::string name) : name_(std::move(name)) {}
    CameraSlot(const CameraSlot&) = delete;
    CameraSlot& operator=(const CameraSlot&) = delete;

    // Opens the connection when there is none or it was lost, trying again
    // until the time-out; kNoDevice when the camera never answered.
    int attach(HandleFrames* handle, int open_timeout_ms);
    void detach(HandleFrames* handle);  // stops its acquisition; the last one closes the camera

    // Settings shared by all handles.  Geometry changes while streaming
    // restart the stream invisibly.
    int set_mode(uint32_t exposure_us, uint32_t mode_index, Region requested);
    int set_gain(float gain);
    std::optional<Mode> mode(uint32_t index);
    std::optional<GainRange> gain_range();
    std::optional<Timing> timing();
    std::optional<uint32_t> input_levels();

    // Acquisition through one handle.
    int start(HandleFrames* handle);
    void stop(HandleFrames* handle);
    int wait_for_field(HandleFrames* handle, uint32_t timeout_ms);
    bool field_ready(HandleFrames* handle);
    int acquire_field(HandleFrames* handle, void** data);
    int update_frame(HandleFrames* handle, const void* data);
    bool current_frame(HandleFrames* handle, FrameInfo* info, void** data);
    // Keeps the handle's current frame from being recycled while it is read
    // outside the mutex; nullptr when there is none.  Balance with unpin.
    PoolBuffer* pin_current(HandleFrames* handle);
    void unpin(PoolBuffer* buffer);

    void on_image(const DeliveredImage& image) override;

private:
    struct Settings {
        uint32_t exposure_us = 10000;
        uint32_t mode_index = 0;
        Region region{};
        std::optional<float> gain;
    };

    bool usable_locked() const;
    bool connect_locked(int open_timeout_ms);
    void retire_lost_locked();
    bool apply_geometry_locked(const Mode& mode, const Region& region);
    void stop_stream_locked();
    bool start_stream_locked();
    void release_locked(PoolBuffer*& buffer);
    void stop_handle_locked(HandleFrames* handle);
    PoolBuffer* free_buffer_locked(size_t bytes);

    const std::string name_;

    std::mutex control_mutex_;  // protects connection_, facts_, settings_, open_handles_, acquiring_handles_
    std::unique_ptr<Connection> connection_;
    CameraFacts facts_;
    Settings settings_;
    int open_handles_ = 0;
    int acquiring_handles_ = 0;

    // Taken alone or inside control_mutex_, never the other way round:
    // Aravis's stream thread takes it, and the control path joins that thread.
    std::mutex frames_mutex_;  // protects handles_, pool_, ids_, id_width_, shown_mode_ and every attached HandleFrames
    std::condition_variable frame_ready_;  // new field, handle closed or stopped
    std::vector<HandleFrames*> handles_;
    std::vector<std::unique_ptr<PoolBuffer>> pool_;
    FrameIdCounter ids_;
    IdWidth id_width_ = IdWidth::wide64;
    Mode shown_mode_{};
};

// The slot of the camera with that Aravis id or address, created on first use
// and alive until the process ends.
CameraSlot& slot_for(const std::string& name);

}  // namespace genicam
