// camera_slot.h - one camera as all its handles share it: a single
// connection (GigE Vision allows one controller), opened by the first handle
// and closed with the last, reopened when it was lost; the settings that
// every handle changes; and the frames, copied out of Aravis's buffers into
// the slot's FrameExchange, which queues them for each acquiring handle.
//
// Every public member may be called from any thread.  on_image runs on the
// connection's receive thread.  Slots are never destroyed, so frame data
// handed out stays valid memory until the library is unloaded.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "connection.h"
#include "frame_exchange.h"
#include "frame_ids.h"
#include "mode_table.h"
#include "pixel_layout.h"
#include "region_fit.h"

namespace genicam {

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
    int attach(zebcommon::HandleQueue* handle, int open_timeout_ms);
    void detach(zebcommon::HandleQueue* handle);  // stops its acquisition; the last one closes the camera

    // Settings shared by all handles.  Geometry changes while streaming
    // restart the stream invisibly.
    int set_mode(uint32_t exposure_us, uint32_t mode_index, Region requested);
    int set_gain(float gain);
    std::optional<Mode> mode(uint32_t index);
    std::optional<GainRange> gain_range();
    std::optional<Timing> timing();
    std::optional<uint32_t> input_levels();

    // Acquisition through one handle.  Waiting also notices a lost camera; the rest of the hand-over is the
    // exchange's.
    int start(zebcommon::HandleQueue* handle);
    void stop(zebcommon::HandleQueue* handle);
    int wait_for_field(zebcommon::HandleQueue* handle, uint32_t timeout_ms);
    zebcommon::FrameExchange& frames() { return frames_; }

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

    const std::string name_;

    std::mutex control_mutex_;  // protects connection_, facts_, settings_, open_handles_, acquiring_handles_
    std::unique_ptr<Connection> connection_;
    CameraFacts facts_;
    Settings settings_;
    int open_handles_ = 0;
    int acquiring_handles_ = 0;

    // Each taken alone or inside control_mutex_, never the other way round:
    // the receive thread takes them, and the control path joins that thread.
    zebcommon::FrameExchange frames_;  // has its own mutex
    std::mutex stream_mutex_;  // protects ids_, id_width_ and shown_mode_
    FrameIdCounter ids_;
    IdWidth id_width_ = IdWidth::wide64;
    Mode shown_mode_{};
};

// The slot of the camera with that Aravis id or address, created on first use
// and alive until the process ends.
CameraSlot& slot_for(const std::string& name);

}  // namespace genicam
