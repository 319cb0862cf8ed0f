// open_handle.h - the GenICam library's handles: the shared kind of open handle
// (camera/common/open_handle_common.h) on its CameraSlot.  Any thread.
#pragma once

#include "camera_slot.h"
#include "open_handle_common.h"

namespace genicam {

using Handles = zebcommon::HandleTable<CameraSlot, 0x6E0000>;
using OpenHandle = Handles::Handle;

}  // namespace genicam
