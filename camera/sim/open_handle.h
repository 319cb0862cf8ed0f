// open_handle.h - the simulated camera's handles: the shared kind of open handle
// (camera/common/open_handle_common.h) on its Camera.  Any thread.
#pragma once

#include "camera.h"
#include "open_handle_common.h"

namespace zebsim {

using Handles = zebcommon::HandleTable<Camera, 0x5E0000>;
using OpenHandle = Handles::Handle;

}  // namespace zebsim
