// handle_registry.h - open handles.  A HANDLE value is only a key into the
// registry and is never dereferenced, so closed, -1 or made-up values are
// simply not found.  Any thread; the registry has its own mutex, and a found
// handle stays alive (shared_ptr) while a call uses it even if another thread
// closes it meanwhile.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "camera_slot.h"
#include "colour_pipeline.h"

namespace genicam {

struct OpenHandle {
    explicit OpenHandle(CameraSlot& s) : slot(s) {}
    CameraSlot& slot;
    HandleFrames frames;  // guarded by the slot's frames mutex

    std::mutex colour_mutex;  // protects everything below: the colour pipeline and its output
    colour::Settings colour_settings;
    bool colour_settings_changed = true;
    colour::Pipeline pipeline;
    std::vector<uint32_t> image;  // last cqProcessFrame result, BGRx
    uint32_t image_width = 0, image_height = 0, image_frame_number = 0;
    bool has_image = false;
};

void* register_handle(std::shared_ptr<OpenHandle> handle);
std::shared_ptr<OpenHandle> find_handle(void* key);
std::shared_ptr<OpenHandle> unregister_handle(void* key);  // null when not open

}  // namespace genicam
