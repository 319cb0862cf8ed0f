// open_handle.h - what a HANDLE of the simulated camera stands for: the
// camera it opened, its frames and its colour processing.  Any thread; the
// registry has its own mutex (see zebcommon::HandleRegistry).
#pragma once

#include <memory>

#include "camera.h"
#include "frame_exchange.h"
#include "handle_colour.h"
#include "handle_registry.h"

namespace zebsim {

struct OpenHandle {
    explicit OpenHandle(Camera& c) : camera(c) {}
    Camera& camera;
    zebcommon::HandleQueue frames;  // guarded by camera.frames()
    zebcommon::HandleColour colour;
};

// The handles this library opened; never destroyed, as handles may be closed
// during exit.
zebcommon::HandleRegistry<OpenHandle>& open_handles_registry();

inline void* register_handle(std::shared_ptr<OpenHandle> handle) { return open_handles_registry().add(std::move(handle)); }
inline std::shared_ptr<OpenHandle> find_handle(void* key) { return open_handles_registry().find(key); }
inline std::shared_ptr<OpenHandle> unregister_handle(void* key) { return open_handles_registry().remove(key); }
inline int registered_handles() { return open_handles_registry().size(); }

}  // namespace zebsim
