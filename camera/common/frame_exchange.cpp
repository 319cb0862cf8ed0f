// frame_exchange.cpp - see frame_exchange.h.  Any thread.
#include "frame_exchange.h"

#include <algorithm>
#include <chrono>

#include "common_result_codes.h"

namespace zebcommon {

void FrameExchange::release_locked(FrameBuffer*& buffer) {
    if (buffer) --buffer->references;
    buffer = nullptr;
}

void FrameExchange::attach(HandleQueue* handle) {
    std::lock_guard lock(mutex_);
    handles_.push_back(handle);
}

void FrameExchange::detach(HandleQueue* handle) {
    std::lock_guard lock(mutex_);
    end_locked(handle);
    handle->closed = true;
    std::erase(handles_, handle);
    // Buffers nobody references any more are freed, as a vendor library
    // frees a closed handle's frames: a stale pointer into them is a fault
    // of the caller, and the last close leaves nothing allocated.
    release_unused_locked();
    frame_ready_.notify_all();
}

void FrameExchange::release_unused_locked() {
    std::erase_if(pool_, [](const std::unique_ptr<FrameBuffer>& buffer) { return buffer->references == 0; });
}

bool FrameExchange::begin(HandleQueue* handle) {
    std::lock_guard lock(mutex_);
    if (handle->acquiring) return false;
    handle->acquiring = true;
    return true;
}

void FrameExchange::end_locked(HandleQueue* handle) {
    release_locked(handle->held);
    release_locked(handle->current);
    for (FrameBuffer*& queued : handle->ready) release_locked(queued);
    handle->ready.clear();
    handle->acquiring = false;
    frame_ready_.notify_all();
}

bool FrameExchange::end(HandleQueue* handle) {
    std::lock_guard lock(mutex_);
    const bool was_acquiring = handle->acquiring;
    end_locked(handle);
    return was_acquiring;
}

bool FrameExchange::acquiring(HandleQueue* handle) {
    std::lock_guard lock(mutex_);
    return handle->acquiring;
}

FrameBuffer* FrameExchange::claim(size_t bytes, size_t capacity_for_new) {
    std::lock_guard lock(mutex_);
    if (std::none_of(handles_.begin(), handles_.end(), [](HandleQueue* h) { return h->acquiring; })) return nullptr;
    FrameBuffer* found = nullptr;
    for (auto& buffer : pool_)
        if (buffer->references == 0 && buffer->capacity >= bytes) {
            found = buffer.get();
            break;
        }
    if (!found) {
        // A new buffer is as large as the largest so far, so a change of
        // frame size does not leave a trail of buffers too small to reuse.
        size_t capacity = std::max(bytes, capacity_for_new);
        for (auto& buffer : pool_) capacity = std::max(capacity, buffer->capacity);
        auto buffer = std::make_unique<FrameBuffer>();
        buffer->data = std::make_unique<uint8_t[]>(capacity);
        buffer->capacity = capacity;
        pool_.push_back(std::move(buffer));
        found = pool_.back().get();
    }
    found->references = 1;  // the producer's own, while it writes
    return found;
}

void FrameExchange::publish(FrameBuffer* buffer, const FrameFacts& facts) {
    std::lock_guard lock(mutex_);
    buffer->facts = facts;
    for (HandleQueue* handle : handles_) {
        if (!handle->acquiring) continue;
        ++buffer->references;
        handle->ready.push_back(buffer);
        // A slower caller loses the oldest.
        if (handle->ready.size() > queue_depth_) {
            release_locked(handle->ready.front());
            handle->ready.pop_front();
            ++dropped_;
        }
    }
    --buffer->references;
    if (handles_.empty()) release_unused_locked();
    frame_ready_.notify_all();
}

void FrameExchange::discard(FrameBuffer* buffer) {
    std::lock_guard lock(mutex_);
    --buffer->references;
    if (handles_.empty()) release_unused_locked();
}

void FrameExchange::retain(FrameBuffer* buffer) {
    std::lock_guard lock(mutex_);
    ++buffer->references;
}

WaitOutcome FrameExchange::wait(HandleQueue* handle, uint32_t timeout_ms) {
    std::unique_lock lock(mutex_);
    frame_ready_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                          [&] { return !handle->ready.empty() || handle->closed; });
    if (!handle->ready.empty()) return WaitOutcome::field_ready;
    return handle->closed || !handle->acquiring ? WaitOutcome::handle_idle : WaitOutcome::timed_out;
}

bool FrameExchange::field_ready(HandleQueue* handle) {
    std::lock_guard lock(mutex_);
    return !handle->ready.empty();
}

int FrameExchange::acquire(HandleQueue* handle, void** data,
                           const std::function<std::optional<int>()>& injected_failure) {
    std::lock_guard lock(mutex_);
    if (handle->ready.empty()) return kNoData;
    FrameBuffer* next = handle->ready.front();
    handle->ready.pop_front();
    if (injected_failure)
        if (auto failure = injected_failure()) {
            // The failed field is lost, as a real transfer error would lose
            // it; a caller draining the queue still makes progress.
            release_locked(next);
            return *failure;
        }
    release_locked(handle->held);
    handle->held = next;  // the queue's reference passes to held
    *data = next->data.get();
    return kOk;
}

int FrameExchange::update(HandleQueue* handle, const void* data) {
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

bool FrameExchange::current(HandleQueue* handle, CQGETFRAMEEX* descriptor) {
    std::lock_guard lock(mutex_);
    if (!handle->current) return false;
    *descriptor = handle->current->facts.descriptor;
    descriptor->bp = handle->current->data.get();
    return true;
}

bool FrameExchange::current_complete(HandleQueue* handle) {
    std::lock_guard lock(mutex_);
    return handle->current && handle->current->facts.complete;
}

FrameBuffer* FrameExchange::pin_current(HandleQueue* handle) {
    std::lock_guard lock(mutex_);
    if (!handle->current) return nullptr;
    ++handle->current->references;
    return handle->current;
}

size_t FrameExchange::buffer_count() {
    std::lock_guard lock(mutex_);
    return pool_.size();
}

void FrameExchange::unpin(FrameBuffer* buffer) {
    std::lock_guard lock(mutex_);
    release_locked(buffer);
    if (handles_.empty()) release_unused_locked();
}

void FrameExchange::set_queue_depth(size_t frames) {
    std::lock_guard lock(mutex_);
    queue_depth_ = std::max<size_t>(frames, 1);
}

uint64_t FrameExchange::dropped() {
    std::lock_guard lock(mutex_);
    return dropped_;
}

void FrameExchange::reset_dropped() {
    std::lock_guard lock(mutex_);
    dropped_ = 0;
}

}  // namespace zebcommon
