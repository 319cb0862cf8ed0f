// open_handle.cpp - see open_handle.h.  Any thread.
#include "open_handle.h"

namespace genicam {

zebcommon::HandleRegistry<OpenHandle>& open_handles_registry() {
    // Keys from 0x6E0000; the simulated camera starts elsewhere.
    static auto* registry = new zebcommon::HandleRegistry<OpenHandle>(0x6E0000);
    return *registry;
}

}  // namespace genicam
