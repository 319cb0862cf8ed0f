// zebsim_control.cpp - the test-only control functions of zebsim.h, applied
// to every camera.  Any thread.
#include "zebsim.h"

#include "call_log.h"
#include "camera.h"
#include "open_handle.h"

namespace zebsim {

std::vector<std::string> calls() { return logged_calls(); }
size_t count(const std::string& name) { return logged_count(name); }
void clear_calls() { clear_logged_calls(); }

void set_inputs(long level) {
    for (uint32_t i = 0; i < kMaxCameras; ++i) camera_at(i).set_inputs(level);
}

void set_faults(const std::string& list) {
    for (uint32_t i = 0; i < kMaxCameras; ++i) camera_at(i).set_faults(list);
}

void set_paused(bool paused) {
    for (uint32_t i = 0; i < kMaxCameras; ++i) camera_at(i).set_paused(paused);
}

int open_handles() { return Handles::size(); }

size_t frame_buffers() {
    size_t buffers = 0;
    for (uint32_t i = 0; i < kMaxCameras; ++i) buffers += camera_at(i).frames().buffer_count();
    return buffers;
}

uint64_t dropped_frames() {
    uint64_t total = 0;
    for (uint32_t i = 0; i < kMaxCameras; ++i) total += camera_at(i).frames().dropped();
    return total;
}

void reset() {
    for (uint32_t i = 0; i < kMaxCameras; ++i) camera_at(i).reset();
    clear_logged_calls();
}

}  // namespace zebsim
