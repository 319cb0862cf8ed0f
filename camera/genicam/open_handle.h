// open_handle.h - what a HANDLE of the GenICam library stands for: the
// camera slot it opened, its frames and its colour processing.  Any thread;
// the registry has its own mutex (see zebcommon::HandleRegistry).
#pragma once

#include <memory>

#include "camera_slot.h"
#include "frame_exchange.h"
#include "handle_colour.h"
#include "handle_registry.h"

namespace genicam {

struct OpenHandle {
    explicit OpenHandle(CameraSlot& s) : slot(s) {}
    CameraSlot& slot;
    zebcommon::HandleQueue frames;  // guarded by slot.frames()
    zebcommon::HandleColour colour;
};

// The handles this library opened; never destroyed, as handles may be closed
// during exit.
zebcommon::HandleRegistry<OpenHandle>& open_handles_registry();

inline void* register_handle(std::shared_ptr<OpenHandle> handle) { return open_handles_registry().add(std::move(handle)); }
inline std::shared_ptr<OpenHandle> find_handle(void* key) { return open_handles_registry().find(key); }
inline std::shared_ptr<OpenHandle> unregister_handle(void* key) { return open_handles_registry().remove(key); }

}  // namespace genicam
