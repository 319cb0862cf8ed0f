// frame_exchange.h - the hand-over of frames from a camera's producer to its
// open handles: a pool of frame buffers, each handle's queue of ready frames,
// the frame it holds (cqAcquireField) and its current frame (cqUpdateFrame).
//
// Every member may be called from any thread: the producer (the simulated
// sensor clock, or the GenICam library's receive thread) claims and publishes,
// the caller's threads wait, take and read.  All state is guarded by the
// exchange's one mutex.  The exchange never calls out while holding it, so a
// caller may hold a lock of its own around any call.
#pragma once

#include <zebapi.h>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "colour_pipeline.h"

namespace zebcommon {

// What a frame is, worked out by the producer when it publishes the frame.
struct FrameFacts {
    CQGETFRAMEEX descriptor{};  // as cqRetrieveFrameEx reports it; bp is filled in on the way out
    uint32_t width = 0, height = 0;
    uint32_t bytes_per_sample = 1;
    colour::Mosaic mosaic = colour::Mosaic::mono;
    bool complete = true;  // false: the frame's own pixels did not all arrive (cqIsFrameComplete)
    // A colour camera's own pixels, right after the samples (which are then
    // their luma, 8-bit), for the colour pipeline.
    std::optional<colour::CameraColour> camera_colour;

    size_t sample_bytes() const { return size_t{width} * height * bytes_per_sample; }  // rows packed
    size_t bytes() const {                                                             // of the whole frame
        return sample_bytes() + (camera_colour ? size_t{width} * height * colour::bytes_per_pixel(*camera_colour) : 0);
    }
};

// Reused while any handle references it; freed when a handle is closed and
// no other handle or the producer references it, so a caller that keeps a
// data pointer past cqkUninitialize reads freed memory, as with a vendor
// library.
struct FrameBuffer {
    std::unique_ptr<uint8_t[]> data;
    size_t capacity = 0;
    FrameFacts facts;
    int references = 0;  // ready queues + held + current + pins + the producer writing it
};

// The frame as the colour pipeline reads it.
inline colour::RawImage raw_image(const FrameBuffer& frame) {
    const FrameFacts& f = frame.facts;
    colour::RawImage raw{frame.data.get(), f.width, f.height, f.bytes_per_sample, f.mosaic};
    if (f.camera_colour) {
        raw.camera_colour = frame.data.get() + f.sample_bytes();
        raw.camera_colour_layout = *f.camera_colour;
    }
    return raw;
}

// One handle's frames.  Owned by the handle, guarded by the exchange it is
// attached to.
struct HandleQueue {
    bool acquiring = false;
    bool closed = false;
    std::deque<FrameBuffer*> ready;
    FrameBuffer* held = nullptr;     // from the last cqAcquireField
    FrameBuffer* current = nullptr;  // from the last cqUpdateFrame
};

enum class WaitOutcome {
    field_ready,
    handle_idle,  // nothing ready and nothing will come: closed or not acquiring
    timed_out,    // nothing ready yet while acquiring
};

class FrameExchange {
public:
    FrameExchange() = default;
    FrameExchange(const FrameExchange&) = delete;
    FrameExchange& operator=(const FrameExchange&) = delete;

    // Handles.  detach also ends the handle's acquisition, wakes its waiters
    // and frees the buffers no longer referenced.  Once no handle is
    // attached, a buffer the producer still writes or keeps is freed as soon
    // as it is published, discarded or unpinned, so nothing stays allocated.
    void attach(HandleQueue* handle);
    void detach(HandleQueue* handle);
    bool begin(HandleQueue* handle);  // false when it was already acquiring
    bool end(HandleQueue* handle);    // releases its frames; true when it was acquiring
    bool acquiring(HandleQueue* handle);

    // Producer.  claim gives a buffer nobody references, of at least bytes
    // (a new one gets at least capacity_for_new), or nullptr when no handle
    // acquires.  The producer writes it without the lock, then either
    // publishes it or discards it.
    FrameBuffer* claim(size_t bytes, size_t capacity_for_new);
    void publish(FrameBuffer* buffer, const FrameFacts& facts);
    void discard(FrameBuffer* buffer);
    // The producer keeps a published buffer to read it again later (the
    // newest complete frame); balance with unpin.
    void retain(FrameBuffer* buffer);

    // Consumers.  acquire's injected_failure, when given, is asked only once a
    // field was taken from the queue; its code fails the call and loses the field.
    WaitOutcome wait(HandleQueue* handle, uint32_t timeout_ms);
    bool field_ready(HandleQueue* handle);
    int acquire(HandleQueue* handle, void** data, const std::function<std::optional<int>()>& injected_failure = {});
    int update(HandleQueue* handle, const void* data);
    bool current(HandleQueue* handle, CQGETFRAMEEX* descriptor);  // false when there is no current frame
    bool current_complete(HandleQueue* handle);                   // false also when there is no current frame
    // Keeps the handle's current frame from being recycled while it is read
    // outside the mutex; nullptr when there is none.  Balance with unpin.
    FrameBuffer* pin_current(HandleQueue* handle);
    void unpin(FrameBuffer* buffer);

    size_t buffer_count();  // buffers allocated now, for tests

    // How many ready frames a handle keeps before it loses the oldest
    // (at least one; 4 unless set).
    void set_queue_depth(size_t frames);

    // Frames a handle's full queue lost because its caller fell behind,
    // counted over all handles since the last reset.
    uint64_t dropped();
    void reset_dropped();

private:
    static void release_locked(FrameBuffer*& buffer);
    void end_locked(HandleQueue* handle);
    void release_unused_locked();

    std::mutex mutex_;  // protects handles_, pool_, queue_depth_, dropped_, every buffer's facts and references, every
                        // attached HandleQueue
    std::condition_variable frame_ready_;  // new field, handle closed or stopped
    std::vector<HandleQueue*> handles_;
    std::vector<std::unique_ptr<FrameBuffer>> pool_;
    size_t queue_depth_ = 4;
    uint64_t dropped_ = 0;
};

}  // namespace zebcommon
