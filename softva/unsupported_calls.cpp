// Threads: any (no state is touched).
// What a display-only driver does not do: decoding, encoding, configs,
// contexts, subpictures, display attributes and other buffers.  Queries
// answer with no entries; everything else says it is not implemented.
#include "driver_calls.h"

namespace softva {
namespace {

VAStatus no_profiles(VADriverContextP, VAProfile*, int* count) {
    if (count != nullptr) *count = 0;
    return VA_STATUS_SUCCESS;
}
VAStatus no_entrypoints(VADriverContextP, VAProfile, VAEntrypoint*, int*) {
    return VA_STATUS_ERROR_UNSUPPORTED_PROFILE;
}
VAStatus get_config_attributes(VADriverContextP, VAProfile, VAEntrypoint, VAConfigAttrib*, int) {
    return VA_STATUS_ERROR_UNSUPPORTED_PROFILE;
}
VAStatus create_config(VADriverContextP, VAProfile, VAEntrypoint, VAConfigAttrib*, int, VAConfigID*) {
    return VA_STATUS_ERROR_UNSUPPORTED_PROFILE;
}
VAStatus destroy_config(VADriverContextP, VAConfigID) { return VA_STATUS_ERROR_INVALID_CONFIG; }
VAStatus query_config_attributes(VADriverContextP, VAConfigID, VAProfile*, VAEntrypoint*, VAConfigAttrib*, int*) {
    return VA_STATUS_ERROR_INVALID_CONFIG;
}
VAStatus create_context(VADriverContextP, VAConfigID, int, int, int, VASurfaceID*, int, VAContextID*) {
    return VA_STATUS_ERROR_INVALID_CONFIG;
}
VAStatus destroy_context(VADriverContextP, VAContextID) { return VA_STATUS_ERROR_INVALID_CONTEXT; }
VAStatus create_buffer(VADriverContextP, VAContextID, VABufferType, unsigned, unsigned, void*, VABufferID*) {
    return VA_STATUS_ERROR_UNSUPPORTED_BUFFERTYPE;
}
VAStatus buffer_set_num_elements(VADriverContextP, VABufferID, unsigned) { return VA_STATUS_ERROR_UNIMPLEMENTED; }
VAStatus begin_picture(VADriverContextP, VAContextID, VASurfaceID) { return VA_STATUS_ERROR_INVALID_CONTEXT; }
VAStatus render_picture(VADriverContextP, VAContextID, VABufferID*, int) { return VA_STATUS_ERROR_INVALID_CONTEXT; }
VAStatus end_picture(VADriverContextP, VAContextID) { return VA_STATUS_ERROR_INVALID_CONTEXT; }
VAStatus no_subpicture_formats(VADriverContextP, VAImageFormat*, unsigned* flags, unsigned* count) {
    if (count != nullptr) *count = 0;
    if (flags != nullptr) *flags = 0;
    return VA_STATUS_SUCCESS;
}
VAStatus create_subpicture(VADriverContextP, VAImageID, VASubpictureID*) { return VA_STATUS_ERROR_UNIMPLEMENTED; }
VAStatus destroy_subpicture(VADriverContextP, VASubpictureID) { return VA_STATUS_ERROR_INVALID_SUBPICTURE; }
VAStatus set_subpicture_image(VADriverContextP, VASubpictureID, VAImageID) {
    return VA_STATUS_ERROR_INVALID_SUBPICTURE;
}
VAStatus set_subpicture_chromakey(VADriverContextP, VASubpictureID, unsigned, unsigned, unsigned) {
    return VA_STATUS_ERROR_INVALID_SUBPICTURE;
}
VAStatus set_subpicture_global_alpha(VADriverContextP, VASubpictureID, float) {
    return VA_STATUS_ERROR_INVALID_SUBPICTURE;
}
VAStatus associate_subpicture(VADriverContextP, VASubpictureID, VASurfaceID*, int, short, short, unsigned short,
                              unsigned short, short, short, unsigned short, unsigned short, unsigned) {
    return VA_STATUS_ERROR_INVALID_SUBPICTURE;
}
VAStatus deassociate_subpicture(VADriverContextP, VASubpictureID, VASurfaceID*, int) {
    return VA_STATUS_ERROR_INVALID_SUBPICTURE;
}
VAStatus no_display_attributes(VADriverContextP, VADisplayAttribute*, int* count) {
    if (count != nullptr) *count = 0;
    return VA_STATUS_SUCCESS;
}
VAStatus get_display_attributes(VADriverContextP, VADisplayAttribute*, int) { return VA_STATUS_ERROR_UNIMPLEMENTED; }
VAStatus set_display_attributes(VADriverContextP, VADisplayAttribute*, int) { return VA_STATUS_ERROR_UNIMPLEMENTED; }
VAStatus lock_surface(VADriverContextP, VASurfaceID, unsigned*, unsigned*, unsigned*, unsigned*, unsigned*, unsigned*,
                      unsigned*, unsigned*, void**) {
    return VA_STATUS_ERROR_UNIMPLEMENTED;
}
VAStatus unlock_surface(VADriverContextP, VASurfaceID) { return VA_STATUS_ERROR_UNIMPLEMENTED; }
VAStatus get_surface_attributes(VADriverContextP, VAConfigID, VASurfaceAttrib*, unsigned) {
    return VA_STATUS_ERROR_INVALID_CONFIG;
}
VAStatus query_surface_attributes(VADriverContextP, VAConfigID, VASurfaceAttrib*, unsigned*) {
    return VA_STATUS_ERROR_INVALID_CONFIG;
}
VAStatus acquire_buffer_handle(VADriverContextP, VABufferID, VABufferInfo*) { return VA_STATUS_ERROR_UNIMPLEMENTED; }
VAStatus release_buffer_handle(VADriverContextP, VABufferID) { return VA_STATUS_ERROR_UNIMPLEMENTED; }
VAStatus create_mf_context(VADriverContextP, VAMFContextID*) { return VA_STATUS_ERROR_UNIMPLEMENTED; }
VAStatus mf_add_context(VADriverContextP, VAMFContextID, VAContextID) { return VA_STATUS_ERROR_UNIMPLEMENTED; }
VAStatus mf_release_context(VADriverContextP, VAMFContextID, VAContextID) { return VA_STATUS_ERROR_UNIMPLEMENTED; }
VAStatus mf_submit(VADriverContextP, VAMFContextID, VAContextID*, int) { return VA_STATUS_ERROR_UNIMPLEMENTED; }
VAStatus create_buffer2(VADriverContextP, VAContextID, VABufferType, unsigned, unsigned, unsigned*, unsigned*,
                        VABufferID*) {
    return VA_STATUS_ERROR_UNSUPPORTED_BUFFERTYPE;
}
VAStatus query_processing_rate(VADriverContextP, VAConfigID, VAProcessingRateParameter*, unsigned*) {
    return VA_STATUS_ERROR_INVALID_CONFIG;
}
#if VA_CHECK_VERSION(1, 1, 0)
VAStatus export_surface_handle(VADriverContextP, VASurfaceID, uint32_t, uint32_t, void*) {
    return VA_STATUS_ERROR_UNSUPPORTED_MEMORY_TYPE;
}
#endif
#if VA_CHECK_VERSION(1, 9, 0)
VAStatus sync_buffer(VADriverContextP, VABufferID, uint64_t) { return VA_STATUS_ERROR_UNIMPLEMENTED; }
#endif
#if VA_CHECK_VERSION(1, 12, 0)
VAStatus copy(VADriverContextP, VACopyObject*, VACopyObject*, VACopyOption) { return VA_STATUS_ERROR_UNIMPLEMENTED; }
#endif

}  // namespace

void install_unsupported_calls(VADriverVTable& vtable) {
    vtable.vaQueryConfigProfiles = no_profiles;
    vtable.vaQueryConfigEntrypoints = no_entrypoints;
    vtable.vaGetConfigAttributes = get_config_attributes;
    vtable.vaCreateConfig = create_config;
    vtable.vaDestroyConfig = destroy_config;
    vtable.vaQueryConfigAttributes = query_config_attributes;
    vtable.vaCreateContext = create_context;
    vtable.vaDestroyContext = destroy_context;
    vtable.vaCreateBuffer = create_buffer;
    vtable.vaBufferSetNumElements = buffer_set_num_elements;
    vtable.vaBeginPicture = begin_picture;
    vtable.vaRenderPicture = render_picture;
    vtable.vaEndPicture = end_picture;
    vtable.vaQuerySubpictureFormats = no_subpicture_formats;
    vtable.vaCreateSubpicture = create_subpicture;
    vtable.vaDestroySubpicture = destroy_subpicture;
    vtable.vaSetSubpictureImage = set_subpicture_image;
    vtable.vaSetSubpictureChromakey = set_subpicture_chromakey;
    vtable.vaSetSubpictureGlobalAlpha = set_subpicture_global_alpha;
    vtable.vaAssociateSubpicture = associate_subpicture;
    vtable.vaDeassociateSubpicture = deassociate_subpicture;
    vtable.vaQueryDisplayAttributes = no_display_attributes;
    vtable.vaGetDisplayAttributes = get_display_attributes;
    vtable.vaSetDisplayAttributes = set_display_attributes;
    vtable.vaLockSurface = lock_surface;
    vtable.vaUnlockSurface = unlock_surface;
    vtable.vaGetSurfaceAttributes = get_surface_attributes;
    vtable.vaQuerySurfaceAttributes = query_surface_attributes;
    vtable.vaAcquireBufferHandle = acquire_buffer_handle;
    vtable.vaReleaseBufferHandle = release_buffer_handle;
    vtable.vaCreateMFContext = create_mf_context;
    vtable.vaMFAddContext = mf_add_context;
    vtable.vaMFReleaseContext = mf_release_context;
    vtable.vaMFSubmit = mf_submit;
    vtable.vaCreateBuffer2 = create_buffer2;
    vtable.vaQueryProcessingRate = query_processing_rate;
#if VA_CHECK_VERSION(1, 1, 0)
    vtable.vaExportSurfaceHandle = export_surface_handle;
#endif
#if VA_CHECK_VERSION(1, 9, 0)
    vtable.vaSyncBuffer = sync_buffer;
#endif
#if VA_CHECK_VERSION(1, 12, 0)
    vtable.vaCopy = copy;
#endif
}

}  // namespace softva
