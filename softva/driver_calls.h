// Threads: any; libva may call these from any thread, each locks its instance.
// The vtable entries, grouped by file: surfaces, images, presentation, the
// unsupported rest, and initialisation.
#pragma once

#include <va/va_backend.h>

namespace softva {

void install_surface_calls(VADriverVTable& vtable);
void install_image_calls(VADriverVTable& vtable);
void install_present_calls(VADriverVTable& vtable);
void install_unsupported_calls(VADriverVTable& vtable);

}  // namespace softva
