// open_handle_common.h - what a HANDLE of a camera library stands for: the camera it
// opened (`Source`: the simulator's Camera or the GenICam library's
// CameraSlot, each with its frames()), the handle's frames and its colour
// processing; and each library's table of them.  Any thread; the registry has
// its own mutex (see HandleRegistry).
#pragma once

#include <cstdint>
#include <memory>

#include "frame_exchange.h"
#include "handle_colour.h"
#include "handle_registry.h"

namespace zebcommon {

template <class Source>
struct OpenHandle {
    explicit OpenHandle(Source& s) : source(s) {}
    Source& source;
    HandleQueue frames;  // guarded by source.frames()
    HandleColour colour;
};

// The handles one library opened, keys from first_key (each library starts
// elsewhere).  Never destroyed, as handles may be closed during exit.
template <class Source, uintptr_t first_key>
struct HandleTable {
    using Handle = OpenHandle<Source>;

    static HandleRegistry<Handle>& registry() {
        static auto* instance = new HandleRegistry<Handle>(first_key);
        return *instance;
    }
    static void* add(std::shared_ptr<Handle> handle) { return registry().add(std::move(handle)); }
    static std::shared_ptr<Handle> find(void* key) { return registry().find(key); }
    static std::shared_ptr<Handle> remove(void* key) { return registry().remove(key); }
    static int size() { return registry().size(); }
};

}  // namespace zebcommon
