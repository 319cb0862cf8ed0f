// Threads: any; the surface is looked up under the instance mutex, then drawn
// under the presentation mutex, so other entries are not held up by drawing.
// vaPutSurface: scale a surface rectangle into an X11 drawable.
#include <X11/Xlib.h>

#include <algorithm>
#include <new>

#include "driver_calls.h"
#include "driver_state.h"

namespace softva {
namespace {

// The requested source rectangle limited to the surface.
Rect clip_to_surface(int x, int y, int width, int height, const Surface& surface) {
    const int x0 = std::clamp(x, 0, surface.width), y0 = std::clamp(y, 0, surface.height);
    const int x1 = std::clamp(x + width, 0, surface.width), y1 = std::clamp(y + height, 0, surface.height);
    return {x0, y0, x1 - x0, y1 - y0};
}

VAStatus put_surface(VADriverContextP ctx, VASurfaceID surface_id, void* draw, short srcx, short srcy,
                     unsigned short srcw, unsigned short srch, short destx, short desty, unsigned short destw,
                     unsigned short desth, VARectangle* /*cliprects*/, unsigned int /*number_cliprects*/,
                     unsigned int /*flags*/) {
    DriverState& state = state_of(ctx);
    if (state.faults.should_fail(FaultCall::put_surface)) return VA_STATUS_ERROR_OPERATION_FAILED;
    std::shared_ptr<Surface> surface;
    {
        std::lock_guard lock(state.mutex);
        surface = state.surfaces.find(surface_id);
    }
    if (!surface) return VA_STATUS_ERROR_INVALID_SURFACE;
    const Rect source = clip_to_surface(srcx, srcy, srcw, srch, *surface);
    if (source.width <= 0 || source.height <= 0 || destw == 0 || desth == 0 || state.display == nullptr)
        return VA_STATUS_ERROR_INVALID_PARAMETER;

    const Nv12Picture picture{
        surface->pixels->data() + surface->layout.offsets[0], static_cast<int>(surface->layout.pitches[0]),
        surface->pixels->data() + surface->layout.offsets[1], static_cast<int>(surface->layout.pitches[1])};
    const Drawable drawable = static_cast<Drawable>(reinterpret_cast<std::uintptr_t>(draw));
    std::lock_guard lock(state.present_mutex);
    try {
        if (!state.presenter)
            state.presenter = std::make_unique<X11Presenter>(state.display, state.allow_shm, &state.bands);
        return state.presenter->present(picture, source, drawable, {destx, desty, destw, desth});
    } catch (const std::bad_alloc&) {
        return VA_STATUS_ERROR_ALLOCATION_FAILED;
    }
}

}  // namespace

void install_present_calls(VADriverVTable& vtable) { vtable.vaPutSurface = put_surface; }

}  // namespace softva
