// open_handle.cpp - see open_handle.h.  Any thread.
#include "open_handle.h"

namespace zebsim {

zebcommon::HandleRegistry<OpenHandle>& open_handles_registry() {
    // Keys from 0x5E0000; the GenICam library starts elsewhere.
    static auto* registry = new zebcommon::HandleRegistry<OpenHandle>(0x5E0000);
    return *registry;
}

}  // namespace zebsim
