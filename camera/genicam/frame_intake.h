// frame_intake.h - what a camera's stream delivers, made into the viewer's
// frames: each complete image decoded into a buffer of the frame exchange
// and published to every acquiring handle, an incomplete one handed out with
// the newest complete frame's pixels; frame numbers that go on across
// restarts and wraps; runs of incomplete frames told on standard error; and
// when frames last came, and how far apart.
//
// on_image runs on the connection's receive thread; the other members on the
// camera thread.  Its lock is taken alone or inside the slot's, never the
// other way round: the camera thread joins the receive thread while holding
// neither.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>

#include "connection.h"
#include "frame_exchange.h"
#include "frame_ids.h"
#include "incomplete_run.h"
#include "mode_table.h"

namespace genicam {

class FrameIntake final : public FrameSink {
public:
    explicit FrameIntake(zebcommon::FrameExchange& frames) : frames_(frames) {}
    FrameIntake(const FrameIntake&) = delete;
    FrameIntake& operator=(const FrameIntake&) = delete;

    void on_image(const DeliveredImage& image) override;

    // The camera as it was opened counts frame ids this wide.
    void set_id_width(IdWidth width);
    // The mode the frames now come in.
    void set_mode(const Mode& mode);
    // A stream starts: numbers go on from the last (resume) or start
    // afresh, and silence is counted from now.
    void stream_starts(bool resume_ids);
    // The newest complete frame is let go (the stream stopped, or its size
    // may change).
    void forget_last_complete();

    using Clock = std::chrono::steady_clock;
    // When the stream last brought something, or began.
    Clock::time_point alive_at() const { return Clock::time_point{Clock::duration{alive_at_.load()}}; }
    // The time between the last two deliveries; zero before two.
    Clock::duration spacing() const { return Clock::duration{spacing_.load()}; }
    // Frames that arrived incomplete since the slot was made.
    uint32_t incomplete() const { return incomplete_.load(); }
    // Frames that arrived whole, and incomplete, since the stream started.
    uint32_t stream_whole() const { return stream_whole_.load(); }
    uint32_t stream_incomplete() const { return stream_incomplete_.load(); }
    // Counts the stream as alive now (a camera found there while silent).
    void note_alive() { alive_at_.store(Clock::now().time_since_epoch().count()); }

private:
    zebcommon::FrameExchange& frames_;  // has its own lock
    std::atomic<Clock::rep> alive_at_{0}, spacing_{0};
    std::atomic<uint32_t> incomplete_{0}, stream_whole_{0}, stream_incomplete_{0};
    Clock::rep last_delivery_ = 0;  // receive thread only

    std::mutex mutex_;  // protects everything below
    FrameIdCounter ids_;
    IncompleteRun incomplete_run_;
    IdWidth id_width_ = IdWidth::wide64;
    Mode mode_{};
    // The newest complete frame, kept (retained) to stand in for the pixels
    // of an incomplete one.
    zebcommon::FrameBuffer* last_complete_ = nullptr;
    zebcommon::FrameFacts last_complete_facts_;  // as published: the buffer's own are guarded by frames_
};

}  // namespace genicam
