// Threads: any; each call locks its driver instance's mutex.
// Surface entries: create (plain and with attributes), destroy, status, sync.
#include <cstring>
#include <new>

#include "driver_calls.h"
#include "driver_state.h"

namespace softva {
namespace {

std::shared_ptr<Surface> new_black_surface(int width, int height) {
    auto surface = std::make_shared<Surface>();
    surface->width = width;
    surface->height = height;
    surface->layout = *layout_for(VA_FOURCC_NV12, width, height);
    surface->pixels = std::make_shared<AlignedBytes>(surface->layout.data_size);
    std::uint8_t* data = surface->pixels->data();
    std::memset(data, 16, surface->layout.offsets[1]);  // Y 16, UV 128: black
    std::memset(data + surface->layout.offsets[1], 128, surface->layout.data_size - surface->layout.offsets[1]);
    return surface;
}

// Only memory the driver allocates itself, and only NV12 pixels.
VAStatus check_attributes(const VASurfaceAttrib* attributes, unsigned count) {
    for (unsigned i = 0; attributes != nullptr && i < count; ++i) {
        const VASurfaceAttrib& a = attributes[i];
        if (!(a.flags & VA_SURFACE_ATTRIB_SETTABLE)) continue;
        if (a.type == VASurfaceAttribPixelFormat && a.value.value.i != static_cast<int>(VA_FOURCC_NV12))
            return VA_STATUS_ERROR_UNSUPPORTED_RT_FORMAT;
        if (a.type == VASurfaceAttribMemoryType && a.value.value.i != VA_SURFACE_ATTRIB_MEM_TYPE_VA)
            return VA_STATUS_ERROR_UNSUPPORTED_MEMORY_TYPE;
        if (a.type == VASurfaceAttribExternalBufferDescriptor) return VA_STATUS_ERROR_UNSUPPORTED_MEMORY_TYPE;
    }
    return VA_STATUS_SUCCESS;
}

VAStatus create_surfaces2(VADriverContextP ctx, unsigned format, unsigned width, unsigned height, VASurfaceID* surfaces,
                          unsigned count, VASurfaceAttrib* attributes, unsigned attribute_count) {
    DriverState& state = state_of(ctx);
    if (state.faults.should_fail(FaultCall::create_surfaces)) return VA_STATUS_ERROR_OPERATION_FAILED;
    if (format != VA_RT_FORMAT_YUV420) return VA_STATUS_ERROR_UNSUPPORTED_RT_FORMAT;
    if (width < 1 || height < 1 || width > kMaxDimension || height > kMaxDimension)
        return VA_STATUS_ERROR_RESOLUTION_NOT_SUPPORTED;
    if (surfaces == nullptr || count == 0) return VA_STATUS_ERROR_INVALID_PARAMETER;
    if (const VAStatus status = check_attributes(attributes, attribute_count); status != VA_STATUS_SUCCESS)
        return status;

    std::lock_guard lock(state.mutex);
    unsigned made = 0;
    try {
        for (; made < count; ++made) {
            surfaces[made] = state.surfaces.add(new_black_surface(static_cast<int>(width), static_cast<int>(height)));
            if (surfaces[made] == VA_INVALID_ID) break;
        }
    } catch (const std::bad_alloc&) {
    }
    if (made == count) return VA_STATUS_SUCCESS;
    // All or nothing.
    for (unsigned i = 0; i < made; ++i) {
        state.surfaces.remove(surfaces[i]);
        surfaces[i] = VA_INVALID_SURFACE;
    }
    return VA_STATUS_ERROR_ALLOCATION_FAILED;
}

VAStatus create_surfaces(VADriverContextP ctx, int width, int height, int format, int count, VASurfaceID* surfaces) {
    if (width < 1 || height < 1 || count < 0) return VA_STATUS_ERROR_INVALID_PARAMETER;
    return create_surfaces2(ctx, static_cast<unsigned>(format), static_cast<unsigned>(width),
                            static_cast<unsigned>(height), surfaces, static_cast<unsigned>(count), nullptr, 0);
}

VAStatus destroy_surfaces(VADriverContextP ctx, VASurfaceID* surfaces, int count) {
    DriverState& state = state_of(ctx);
    if (state.faults.should_fail(FaultCall::destroy_surfaces)) return VA_STATUS_ERROR_OPERATION_FAILED;
    if (count < 0 || (count > 0 && surfaces == nullptr)) return VA_STATUS_ERROR_INVALID_PARAMETER;
    std::lock_guard lock(state.mutex);
    // Check them all first, so a bad id destroys nothing.
    for (int i = 0; i < count; ++i)
        if (!state.surfaces.find(surfaces[i])) return VA_STATUS_ERROR_INVALID_SURFACE;
    for (int i = 0; i < count; ++i) state.surfaces.remove(surfaces[i]);
    return VA_STATUS_SUCCESS;
}

VAStatus surface_exists(DriverState& state, VASurfaceID surface) {
    std::lock_guard lock(state.mutex);
    return state.surfaces.find(surface) ? VA_STATUS_SUCCESS : VA_STATUS_ERROR_INVALID_SURFACE;
}

// All work is done by the time a call returns, so syncing only checks the id.
VAStatus sync_surface(VADriverContextP ctx, VASurfaceID surface) {
    DriverState& state = state_of(ctx);
    if (state.faults.should_fail(FaultCall::sync)) return VA_STATUS_ERROR_OPERATION_FAILED;
    return surface_exists(state, surface);
}

#if VA_CHECK_VERSION(1, 9, 0)
VAStatus sync_surface2(VADriverContextP ctx, VASurfaceID surface, uint64_t /*timeout_ns*/) {
    return sync_surface(ctx, surface);
}
#endif

VAStatus query_surface_status(VADriverContextP ctx, VASurfaceID surface, VASurfaceStatus* status) {
    if (status == nullptr) return VA_STATUS_ERROR_INVALID_PARAMETER;
    const VAStatus result = surface_exists(state_of(ctx), surface);
    if (result == VA_STATUS_SUCCESS) *status = VASurfaceReady;
    return result;
}

VAStatus query_surface_error(VADriverContextP ctx, VASurfaceID surface, VAStatus, void** error_info) {
    const VAStatus result = surface_exists(state_of(ctx), surface);
    if (result != VA_STATUS_SUCCESS) return result;
    if (error_info != nullptr) *error_info = nullptr;
    return VA_STATUS_ERROR_UNIMPLEMENTED;
}

}  // namespace

void install_surface_calls(VADriverVTable& vtable) {
    vtable.vaCreateSurfaces = create_surfaces;
    vtable.vaCreateSurfaces2 = create_surfaces2;
    vtable.vaDestroySurfaces = destroy_surfaces;
    vtable.vaSyncSurface = sync_surface;
#if VA_CHECK_VERSION(1, 9, 0)
    vtable.vaSyncSurface2 = sync_surface2;
#endif
    vtable.vaQuerySurfaceStatus = query_surface_status;
    vtable.vaQuerySurfaceError = query_surface_error;
}

}  // namespace softva
