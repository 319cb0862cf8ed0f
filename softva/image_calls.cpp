// Threads: any; each call locks its driver instance's mutex for its whole
// duration, so copies never race with destruction.
// Image and image-buffer entries: formats, create, derive, destroy, put, get,
// map and unmap.
#include <algorithm>
#include <new>

#include "driver_calls.h"
#include "driver_state.h"
#include "plane_copy.h"

namespace softva {
namespace {

VAImage describe(VAImageID id, VABufferID buffer, const VAImageFormat& format, const ImageLayout& layout, int width,
                 int height) {
    VAImage image{};
    image.image_id = id;
    image.format = format;
    image.buf = buffer;
    image.width = static_cast<std::uint16_t>(width);
    image.height = static_cast<std::uint16_t>(height);
    image.data_size = layout.data_size;
    image.num_planes = static_cast<std::uint32_t>(layout.num_planes);
    for (int i = 0; i < 3; ++i) {
        image.pitches[i] = layout.pitches[i];
        image.offsets[i] = layout.offsets[i];
    }
    return image;
}

ImageLayout layout_of(const VAImage& image) {
    ImageLayout layout;
    layout.fourcc = image.format.fourcc;
    layout.num_planes = static_cast<int>(image.num_planes);
    for (int i = 0; i < 3; ++i) {
        layout.pitches[i] = image.pitches[i];
        layout.offsets[i] = image.offsets[i];
    }
    layout.data_size = image.data_size;
    return layout;
}

// Registers an image and its buffer; all or nothing.
VAStatus add_image(DriverState& state, const VAImageFormat& format, const ImageLayout& layout, int width, int height,
                   std::shared_ptr<AlignedBytes> bytes, VAImage* out) {
    auto buffer = std::make_shared<Buffer>();
    buffer->bytes = std::move(bytes);
    buffer->size = layout.data_size;
    const VABufferID buffer_id = state.buffers.add(buffer);
    if (buffer_id == VA_INVALID_ID) return VA_STATUS_ERROR_ALLOCATION_FAILED;
    auto image = std::make_shared<Image>();
    const VAImageID image_id = state.images.add(image);
    if (image_id == VA_INVALID_ID) {
        state.buffers.remove(buffer_id);
        return VA_STATUS_ERROR_ALLOCATION_FAILED;
    }
    image->description = describe(image_id, buffer_id, format, layout, width, height);
    *out = image->description;
    return VA_STATUS_SUCCESS;
}

VAStatus query_image_formats(VADriverContextP ctx, VAImageFormat* formats, int* count) {
    DriverState& state = state_of(ctx);
    if (state.faults.should_fail(FaultCall::query_image_formats)) return VA_STATUS_ERROR_OPERATION_FAILED;
    if (formats == nullptr || count == nullptr) return VA_STATUS_ERROR_INVALID_PARAMETER;
    std::copy(state.formats.begin(), state.formats.end(), formats);
    *count = static_cast<int>(state.formats.size());
    return VA_STATUS_SUCCESS;
}

VAStatus create_image(VADriverContextP ctx, VAImageFormat* format, int width, int height, VAImage* image) {
    DriverState& state = state_of(ctx);
    if (state.faults.should_fail(FaultCall::create_image)) return VA_STATUS_ERROR_OPERATION_FAILED;
    if (format == nullptr || image == nullptr) return VA_STATUS_ERROR_INVALID_PARAMETER;
    const auto offered = std::find_if(state.formats.begin(), state.formats.end(),
                                      [&](const VAImageFormat& f) { return f.fourcc == format->fourcc; });
    if (offered == state.formats.end()) return VA_STATUS_ERROR_INVALID_IMAGE_FORMAT;
    const auto layout = layout_for(format->fourcc, width, height);
    if (!layout) return VA_STATUS_ERROR_RESOLUTION_NOT_SUPPORTED;
    try {
        auto bytes = std::make_shared<AlignedBytes>(layout->data_size);
        std::lock_guard lock(state.mutex);
        return add_image(state, *offered, *layout, width, height, std::move(bytes), image);
    } catch (const std::bad_alloc&) {
        return VA_STATUS_ERROR_ALLOCATION_FAILED;
    }
}

// The image's buffer is the surface's own memory: what is written through it
// is what the surface shows.
VAStatus derive_image(VADriverContextP ctx, VASurfaceID surface_id, VAImage* image) {
    DriverState& state = state_of(ctx);
    if (state.faults.should_fail(FaultCall::derive)) return VA_STATUS_ERROR_OPERATION_FAILED;
    if (image == nullptr) return VA_STATUS_ERROR_INVALID_PARAMETER;
    std::lock_guard lock(state.mutex);
    const auto surface = state.surfaces.find(surface_id);
    if (!surface) return VA_STATUS_ERROR_INVALID_SURFACE;
    // Surfaces are NV12; when NV12 is not offered the caller must copy instead.
    const auto nv12 = std::find_if(state.formats.begin(), state.formats.end(),
                                   [](const VAImageFormat& f) { return f.fourcc == VA_FOURCC_NV12; });
    if (nv12 == state.formats.end()) return VA_STATUS_ERROR_OPERATION_FAILED;
    try {
        const VAStatus status =
            add_image(state, *nv12, surface->layout, surface->width, surface->height, surface->pixels, image);
        if (status == VA_STATUS_SUCCESS && state.derived_fourcc != 0) image->format.fourcc = state.derived_fourcc;
        return status;
    } catch (const std::bad_alloc&) {
        return VA_STATUS_ERROR_ALLOCATION_FAILED;
    }
}

VAStatus destroy_image(VADriverContextP ctx, VAImageID image_id) {
    DriverState& state = state_of(ctx);
    if (state.faults.should_fail(FaultCall::destroy_image)) return VA_STATUS_ERROR_OPERATION_FAILED;
    std::lock_guard lock(state.mutex);
    const auto image = state.images.find(image_id);
    if (!image) return VA_STATUS_ERROR_INVALID_IMAGE;
    state.buffers.remove(image->description.buf);
    state.images.remove(image_id);
    return VA_STATUS_SUCCESS;
}

VAStatus set_image_palette(VADriverContextP ctx, VAImageID image_id, unsigned char*) {
    DriverState& state = state_of(ctx);
    std::lock_guard lock(state.mutex);
    // None of the formats has a palette.
    return state.images.find(image_id) ? VA_STATUS_ERROR_UNIMPLEMENTED : VA_STATUS_ERROR_INVALID_IMAGE;
}

struct ImageAndBytes {
    std::shared_ptr<Image> image;
    std::shared_ptr<Buffer> buffer;
};

ImageAndBytes find_image(DriverState& state, VAImageID id) {
    ImageAndBytes found{state.images.find(id), nullptr};
    if (found.image) found.buffer = state.buffers.find(found.image->description.buf);
    return found;
}

// Offsets of at most one picture extent either way; anything further needs no copying.
bool within_reach(int offset) { return offset >= -kMaxDimension && offset <= kMaxDimension; }

YuvView view_of(const Surface& surface) {
    return yuv_view(surface.pixels->data(), surface.layout, surface.width, surface.height);
}

YuvView view_of(const ImageAndBytes& image) {
    const VAImage& d = image.image->description;
    return yuv_view(image.buffer->bytes->data(), layout_of(d), d.width, d.height);
}

VAStatus put_image(VADriverContextP ctx, VASurfaceID surface_id, VAImageID image_id, int src_x, int src_y,
                   unsigned src_width, unsigned src_height, int dest_x, int dest_y, unsigned dest_width,
                   unsigned dest_height) {
    DriverState& state = state_of(ctx);
    if (state.faults.should_fail(FaultCall::put_image)) return VA_STATUS_ERROR_OPERATION_FAILED;
    std::lock_guard lock(state.mutex);
    const auto surface = state.surfaces.find(surface_id);
    if (!surface) return VA_STATUS_ERROR_INVALID_SURFACE;
    const ImageAndBytes image = find_image(state, image_id);
    if (!image.image || !image.buffer) return VA_STATUS_ERROR_INVALID_IMAGE;
    if (src_width > kMaxDimension || src_height > kMaxDimension || dest_width > kMaxDimension ||
        dest_height > kMaxDimension)
        return VA_STATUS_ERROR_INVALID_PARAMETER;
    // A rectangle starting further out than any picture reaches lies wholly
    // outside, so nothing is copied; stopping here also keeps the clipping
    // arithmetic (x + width, -x) inside int for any offset the caller passes.
    if (!within_reach(src_x) || !within_reach(src_y) || !within_reach(dest_x) || !within_reach(dest_y))
        return VA_STATUS_SUCCESS;
    copy_picture(view_of(image), {src_x, src_y, static_cast<int>(src_width), static_cast<int>(src_height)},
                 view_of(*surface), {dest_x, dest_y, static_cast<int>(dest_width), static_cast<int>(dest_height)});
    return VA_STATUS_SUCCESS;
}

VAStatus get_image(VADriverContextP ctx, VASurfaceID surface_id, int x, int y, unsigned width, unsigned height,
                   VAImageID image_id) {
    DriverState& state = state_of(ctx);
    std::lock_guard lock(state.mutex);
    const auto surface = state.surfaces.find(surface_id);
    if (!surface) return VA_STATUS_ERROR_INVALID_SURFACE;
    const ImageAndBytes image = find_image(state, image_id);
    if (!image.image || !image.buffer) return VA_STATUS_ERROR_INVALID_IMAGE;
    const VAImage& d = image.image->description;
    if (x < 0 || y < 0 || width == 0 || height == 0 || x + static_cast<long>(width) > surface->width ||
        y + static_cast<long>(height) > surface->height || width > d.width || height > d.height)
        return VA_STATUS_ERROR_INVALID_PARAMETER;
    const Rect region{x, y, static_cast<int>(width), static_cast<int>(height)};
    copy_picture(view_of(*surface), region, view_of(image), {0, 0, region.width, region.height});
    return VA_STATUS_SUCCESS;
}

VAStatus map_buffer(VADriverContextP ctx, VABufferID buffer_id, void** data) {
    DriverState& state = state_of(ctx);
    if (state.faults.should_fail(FaultCall::map)) return VA_STATUS_ERROR_OPERATION_FAILED;
    if (data == nullptr) return VA_STATUS_ERROR_INVALID_PARAMETER;
    std::lock_guard lock(state.mutex);
    const auto buffer = state.buffers.find(buffer_id);
    if (!buffer) return VA_STATUS_ERROR_INVALID_BUFFER;
    *data = buffer->bytes->data();
    return VA_STATUS_SUCCESS;
}

VAStatus unmap_buffer(VADriverContextP ctx, VABufferID buffer_id) {
    DriverState& state = state_of(ctx);
    if (state.faults.should_fail(FaultCall::unmap)) return VA_STATUS_ERROR_OPERATION_FAILED;
    std::lock_guard lock(state.mutex);
    const auto buffer = state.buffers.find(buffer_id);
    if (!buffer) return VA_STATUS_ERROR_INVALID_BUFFER;
    return VA_STATUS_SUCCESS;
}

VAStatus destroy_buffer(VADriverContextP ctx, VABufferID buffer_id) {
    DriverState& state = state_of(ctx);
    std::lock_guard lock(state.mutex);
    // The only buffers are image buffers, which vaDestroyImage releases.
    return state.buffers.find(buffer_id) ? VA_STATUS_ERROR_OPERATION_FAILED : VA_STATUS_ERROR_INVALID_BUFFER;
}

VAStatus buffer_info(VADriverContextP ctx, VABufferID buffer_id, VABufferType* type, unsigned* size,
                     unsigned* num_elements) {
    DriverState& state = state_of(ctx);
    std::lock_guard lock(state.mutex);
    const auto buffer = state.buffers.find(buffer_id);
    if (!buffer) return VA_STATUS_ERROR_INVALID_BUFFER;
    if (type != nullptr) *type = buffer->type;
    if (size != nullptr) *size = buffer->size;
    if (num_elements != nullptr) *num_elements = 1;
    return VA_STATUS_SUCCESS;
}

}  // namespace

void install_image_calls(VADriverVTable& vtable) {
    vtable.vaQueryImageFormats = query_image_formats;
    vtable.vaCreateImage = create_image;
    vtable.vaDeriveImage = derive_image;
    vtable.vaDestroyImage = destroy_image;
    vtable.vaSetImagePalette = set_image_palette;
    vtable.vaGetImage = get_image;
    vtable.vaPutImage = put_image;
    vtable.vaMapBuffer = map_buffer;
    vtable.vaUnmapBuffer = unmap_buffer;
    vtable.vaDestroyBuffer = destroy_buffer;
    vtable.vaBufferInfo = buffer_info;
}

}  // namespace softva
