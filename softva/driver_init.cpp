// Threads: libva calls the init function and vaTerminate from the thread that
// calls vaInitialize / vaTerminate, once per instance.
// The driver's entry point: builds one instance's state from the environment,
// then fills in the vtable and limits; vaTerminate frees it all.
#include <va/va_version.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "driver_calls.h"
#include "driver_state.h"
#include "format_list.h"

// libva looks for __vaDriverInit_<major>_<minor> of the VA-API it was built for.
#define SOFTVA_INIT_NAME_(major, minor) __vaDriverInit_##major##_##minor
#define SOFTVA_INIT_NAME(major, minor) SOFTVA_INIT_NAME_(major, minor)
#define SOFTVA_INIT_FUNCTION SOFTVA_INIT_NAME(VA_MAJOR_VERSION, VA_MINOR_VERSION)

namespace softva {
namespace {

constexpr const char* kVendor = "softva 1.0 (software NV12/YV12 presentation for X11)";

VAImageFormat image_format(std::uint32_t fourcc) {
    VAImageFormat format{};
    format.fourcc = fourcc;
    format.byte_order = VA_LSB_FIRST;
    format.bits_per_pixel = 12;
    return format;
}

const char* environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

VAStatus terminate(VADriverContextP ctx) {
    auto* state = static_cast<DriverState*>(ctx->pDriverData);
    if (state == nullptr) return VA_STATUS_ERROR_INVALID_CONTEXT;
    // Even a deliberately failed terminate frees everything, so tests of that
    // path do not leak.
    const bool fail = state->faults.should_fail(FaultCall::terminate);
    {
        // A picture another thread is still converting is finished first.
        std::lock_guard presenting(state->present_mutex);
    }
    delete state;
    ctx->pDriverData = nullptr;
    return fail ? VA_STATUS_ERROR_OPERATION_FAILED : VA_STATUS_SUCCESS;
}

VAStatus initialise(VADriverContextP ctx) {
    ParsedFaults faults = parse_fault_rules(environment("SOFTVA_FAIL"));
    for (const std::string& rejected : faults.rejected)
        std::fprintf(stderr, "softva: ignoring SOFTVA_FAIL entry \"%s\" (expected call, call@N, call@N+ or call@NxK)\n",
                     rejected.c_str());
    auto state = std::make_unique<DriverState>(std::move(faults.rules));
    if (state->faults.should_fail(FaultCall::init)) return VA_STATUS_ERROR_OPERATION_FAILED;
    for (const std::uint32_t fourcc : parse_format_list(environment("SOFTVA_FORMATS")))
        state->formats.push_back(image_format(fourcc));
    state->allow_shm = std::strcmp(environment("SOFTVA_XSHM"), "off") != 0;
    const std::vector<std::uint32_t> derived = parse_format_list(environment("SOFTVA_DERIVE_FORMAT"));
    if (*environment("SOFTVA_DERIVE_FORMAT") != '\0' && !derived.empty()) state->derived_fourcc = derived.front();
    state->display = static_cast<Display*>(ctx->native_dpy);

    // Only a fully built instance is handed to libva.
    VADriverVTable& vtable = *ctx->vtable;
    vtable.vaTerminate = terminate;
    install_surface_calls(vtable);
    install_image_calls(vtable);
    install_present_calls(vtable);
    install_unsupported_calls(vtable);
    ctx->version_major = VA_MAJOR_VERSION;
    ctx->version_minor = VA_MINOR_VERSION;
    ctx->max_profiles = 1;
    ctx->max_entrypoints = 1;
    ctx->max_attributes = 1;
    ctx->max_image_formats = static_cast<int>(state->formats.size());
    ctx->max_subpic_formats = 1;
    ctx->max_display_attributes = 1;
    ctx->str_vendor = kVendor;
    ctx->pDriverData = state.release();
    return VA_STATUS_SUCCESS;
}

}  // namespace
}  // namespace softva

extern "C" __attribute__((visibility("default"))) VAStatus SOFTVA_INIT_FUNCTION(VADriverContextP ctx) {
    if (ctx == nullptr || ctx->vtable == nullptr) return VA_STATUS_ERROR_INVALID_CONTEXT;
    try {
        return softva::initialise(ctx);
    } catch (const std::bad_alloc&) {
        return VA_STATUS_ERROR_ALLOCATION_FAILED;
    }
}
