// open_handle.h - the simulated camera's handles: the shared kind of open handle
// (camera/common/open_handle.h) on its Camera.  Any thread.
#pragma once

#include "camera.h"
#include "open_handle_common.h"

namespace zebsim {

using Handles = zebcommon::HandleTable<Camera, 0x5E0000>;
using OpenHandle = Handles::Handle;

inline void* register_handle(std::shared_ptr<OpenHandle> handle) { return Handles::add(std::move(handle)); }
inline std::shared_ptr<OpenHandle> find_handle(void* key) { return Handles::find(key); }
inline std::shared_ptr<OpenHandle> unregister_handle(void* key) { return Handles::remove(key); }

}  // namespace zebsim
