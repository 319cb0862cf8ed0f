// frame_intake.cpp - see frame_intake.h.  on_image: the connection's receive
// thread; the rest: the slot's camera thread.
#include "frame_intake.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "frame_facts.h"
#include "pixel_layout.h"

namespace genicam {

void FrameIntake::set_id_width(IdWidth width) {
    std::lock_guard lock(mutex_);
    id_width_ = width;
}

void FrameIntake::set_mode(const Mode& mode) {
    std::lock_guard lock(mutex_);
    mode_ = mode;
}

void FrameIntake::stream_starts(bool resume_ids) {
    forget_last_complete();  // its size may not be the new one
    note_alive();
    spacing_.store(0);
    stream_whole_.store(0);
    stream_incomplete_.store(0);
    last_delivery_ = 0;  // the receive thread starts after this
    std::lock_guard lock(mutex_);
    ids_ = resume_ids ? resume_frame_ids(ids_) : restart_frame_ids(ids_);
}

void FrameIntake::forget_last_complete() {
    std::lock_guard lock(mutex_);
    if (last_complete_) frames_.unpin(last_complete_);
    last_complete_ = nullptr;
}

void FrameIntake::on_image(const DeliveredImage& image) {
    const Clock::rep now = Clock::now().time_since_epoch().count();
    alive_at_.store(now);
    if (last_delivery_ != 0) spacing_.store(now - last_delivery_);
    last_delivery_ = now;
    (image.complete ? stream_whole_ : stream_incomplete_).fetch_add(1);
    std::string run_line;
    {
        std::lock_guard lock(mutex_);
        run_line = incomplete_run_.frame(Clock::now(), image.complete);
    }
    if (!run_line.empty()) std::fputs(run_line.c_str(), stderr);
    if (!image.complete) {
        incomplete_.fetch_add(1);
        // Its own pixels would show a torn picture: it is handed out with the
        // newest complete frame's pixels and marked incomplete.  Without one
        // it is dropped (and counts as lost through the gap in the numbers).
        // One overtaken by newer frames was counted as lost already.
        std::lock_guard lock(mutex_);
        if (is_late_frame_id(ids_, image.frame_id, id_width_)) return;
        ids_ = advance_frame_id(ids_, image.frame_id, id_width_);
        if (!last_complete_) return;
        zebcommon::FrameFacts facts = last_complete_facts_;
        const size_t bytes = facts.bytes();
        zebcommon::FrameBuffer* buffer = frames_.claim(bytes, bytes);
        if (!buffer) return;
        std::memcpy(buffer->data.get(), last_complete_->data.get(), bytes);
        facts.descriptor.curFN = static_cast<uint32_t>(ids_.wide);
        facts.complete = false;
        frames_.publish(buffer, facts);
        return;
    }
    auto layout = pixel_layout(image.pixel_format);
    // A format the viewer cannot show, or a short (damaged) buffer: dropped.
    if (!layout || image.bytes < camera_bytes(*layout, image.width, image.height)) return;
    const size_t bytes = shown_bytes(*layout, image.width, image.height);
    if (bytes == 0) return;
    FrameInfo info;
    size_t mode_bytes = 0;
    {
        std::lock_guard lock(mutex_);
        // Every delivered id counts, shown or not, so the widening follows the camera.
        ids_ = advance_frame_id(ids_, image.frame_id, id_width_);
        info.width = shown_width(*layout, image.width);
        info.height = image.height;
        info.x0 = image.x + layout->column_shift;
        info.y0 = image.y;
        info.layout = *layout;
        info.binning = mode_.binning;
        info.mode_width = mode_.width;
        info.mode_height = mode_.height;
        info.frame_number = static_cast<uint32_t>(ids_.wide);
        // New buffers take the largest frame of the mode, so a change of
        // region does not leave a trail of buffers too small to reuse.
        mode_bytes = shown_bytes(mode_.layout, mode_.width, mode_.height);
    }
    zebcommon::FrameBuffer* buffer = frames_.claim(bytes, mode_bytes);
    if (!buffer) return;  // no handle acquires
    if (!decode_shown_image(*layout, image.data, image.bytes, image.width, image.height, buffer->data.get(),
                            buffer->capacity)) {
        frames_.discard(buffer);
        return;
    }
    const zebcommon::FrameFacts facts = describe_frame(info);
    frames_.retain(buffer);  // as the newest complete frame
    frames_.publish(buffer, facts);
    std::lock_guard lock(mutex_);
    if (last_complete_) frames_.unpin(last_complete_);
    last_complete_ = buffer;
    last_complete_facts_ = facts;
}

}  // namespace genicam
