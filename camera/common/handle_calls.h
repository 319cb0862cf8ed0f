// handle_calls.h - the library calls that work the same on every camera
// library's open handle: taking and describing its current frame, and the
// colour pipeline on it.  Each takes the handle found for the HANDLE (null
// when it is not open).  Any thread, as the calls they serve.
#pragma once

#include <zebapi.h>

#include "common_result_codes.h"
#include "handle_colour.h"

namespace zebcommon {

// cqGetSettings: what the handle's camera runs, as tell(source) says it.
template <class Handle, class Tell>
int get_settings(Handle* handle, CQSETTINGS* out, Tell tell) {
    if (!handle) return kBadHandle;
    if (!out) return kBadArgument;
    *out = tell(handle->source);
    return kOk;
}

// The region as cqSetMode takes it: the mode's full frame (full_cx x
// full_cy) is all zero.
inline void full_frame_as_zero(CQSETTINGS* settings, DWORD full_cx, DWORD full_cy) {
    if (settings->dwROIx0 == 0 && settings->dwROIy0 == 0 && settings->dwROIcx == full_cx &&
        settings->dwROIcy == full_cy)
        settings->dwROIcx = settings->dwROIcy = 0;
}

// cqUpdateFrame / cqUpdateBayerFrame.
template <class Handle>
int update_frame(Handle* handle, void* data) {
    if (!handle) return kBadHandle;
    return handle->source.frames().update(&handle->frames, data);
}

// cqRetrieveFrameEx / cqRetrieveFrameBayerEx.
template <class Handle>
int retrieve_frame(Handle* handle, CQGETFRAMEEX* frame) {
    if (!handle) return kBadHandle;
    if (!frame) return kBadArgument;
    return handle->source.frames().current(&handle->frames, frame) ? kOk : kNoData;
}

// cqIsFrameComplete: 0 also for a handle that is not open or has no current
// frame.
template <class Handle>
BOOL frame_complete(Handle* handle) {
    return handle && handle->source.frames().current_complete(&handle->frames) ? 1 : 0;
}

template <class Handle>
int frame_means(Handle* handle, DWORD x0, DWORD y0, DWORD cx, DWORD cy, float means[4]) {
    if (!handle) return kBadHandle;
    return current_frame_means(handle->source.frames(), &handle->frames, handle->colour, x0, y0, cx, cy, means);
}

template <class Handle>
int handle_setup_filter(Handle* handle, const CQFILTER* filter) {
    if (!handle) return kBadHandle;
    return setup_filter(handle->colour, filter);
}

template <class Handle>
int handle_default_colour_matrix(Handle* handle) {
    if (!handle) return kBadHandle;
    apply_default_colour_matrix(handle->colour);
    return kOk;
}

template <class Handle>
int handle_setup_contrast(Handle* handle, DWORD black, DWORD top) {
    if (!handle) return kBadHandle;
    return setup_contrast(handle->colour, black, top);
}

template <class Handle>
int process_frame(Handle* handle) {
    if (!handle) return kBadHandle;
    return process_current_frame(handle->source.frames(), &handle->frames, handle->colour);
}

template <class Handle>
int handle_retrieve_bitmap(Handle* handle, CQGETBITMAP* bitmap) {
    if (!handle) return kBadHandle;
    if (!bitmap) return kBadArgument;
    return retrieve_bitmap(handle->colour, bitmap);
}

}  // namespace zebcommon
