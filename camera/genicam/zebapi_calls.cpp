// zebapi_calls.cpp - the C entry points of zebapi.h on a GenICam camera:
// find the handle, hand over to its camera slot or to the colour pipeline.
// Any thread.
#include <zebapi.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "camera_slot.h"
#include "colour_pipeline.h"
#include "device_ids.h"
#include "handle_registry.h"
#include "result_codes.h"

using namespace genicam;

namespace {

// How long cqkInitialize keeps trying a camera that does not answer (a
// camera being re-plugged or rebooting); TOLMIREX_CAMERA_OPEN_TIMEOUT_MS
// overrides it.
constexpr int kDefaultOpenTimeoutMs = 3000;

int open_timeout_ms() {
    const char* text = std::getenv("TOLMIREX_CAMERA_OPEN_TIMEOUT_MS");
    if (!text || !*text) return kDefaultOpenTimeoutMs;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    return *end == '\0' && value >= 0 && value <= 600000 ? static_cast<int>(value) : kDefaultOpenTimeoutMs;
}

CQMOSAIC to_cq_mosaic(Mosaic mosaic) {
    switch (mosaic) {
        case Mosaic::rggb: return CQM_RGGB;
        case Mosaic::bggr: return CQM_BGGR;
        case Mosaic::none: return CQM_NONE;
    }
    return CQM_NONE;
}

colour::Mosaic to_colour_mosaic(Mosaic mosaic) {
    switch (mosaic) {
        case Mosaic::rggb: return colour::Mosaic::rggb;
        case Mosaic::bggr: return colour::Mosaic::bggr;
        case Mosaic::none: return colour::Mosaic::mono;
    }
    return colour::Mosaic::mono;
}

void fill_descriptor(const FrameInfo& info, void* data, CQGETFRAMEEX* f) {
    std::memset(f, 0, sizeof *f);
    f->bp = data;
    f->modeCX = info.mode_width;
    f->modeCY = info.mode_height;
    f->modeBinX = f->modeBinY = info.binning;
    f->modeFPF = 1;
    f->modeBPP = info.layout.bits;
    f->modeMTX = to_cq_mosaic(info.layout.mosaic);
    f->modeRDO = info.layout.bytes == 1 ? CQ_RDO_8BIT : 0;
    f->curX0 = info.x0;
    f->curCX = info.width;
    f->curY0 = info.y0;
    f->curCY = info.height;
    f->curBinX = f->curBinY = info.binning;
    f->curBPP = info.layout.bits;
    f->curMTX = f->modeMTX;
    f->curFN = info.frame_number;
    // The region's top-left corner in unbinned sensor pixels.
    f->origX0 = info.x0 * info.binning;
    f->origY0 = info.y0 * info.binning;
}

colour::RawImage raw_image(const FrameInfo& info, const void* data) {
    return {data, info.width, info.height, info.layout.bytes, to_colour_mosaic(info.layout.mosaic)};
}

double sane_gain(double gain) { return std::isfinite(gain) ? std::clamp(gain, 0.0, 64.0) : 1.0; }

int retrieve_frame(HANDLE h, CQGETFRAMEEX* frame) {
    auto handle = find_handle(h);
    if (!handle) return kBadHandle;
    if (!frame) return kBadArgument;
    FrameInfo info;
    void* data = nullptr;
    if (!handle->slot.current_frame(&handle->frames, &info, &data)) return kNoData;
    fill_descriptor(info, data, frame);
    return kOk;
}

int update_frame(HANDLE h, void* data) {
    auto handle = find_handle(h);
    if (!handle) return kBadHandle;
    return handle->slot.update_frame(&handle->frames, data);
}

int accept_on_open_handle(HANDLE h) { return find_handle(h) ? kOk : kBadHandle; }

}  // namespace

extern "C" {

CQK_RETURN cqkGetNumberDevices(const char*, DWORD* count) {
    if (!count) return kBadArgument;
    *count = camera_count();
    return kOk;
}

CQK_RETURN cqkGetDevice(DWORD index, DWORD* id) {
    if (!id) return kBadArgument;
    auto found = camera_id(index);
    if (!found) return kNoDevice;
    *id = *found;
    return kOk;
}

CQK_RETURN cqkInitialize(const char*, DWORD id, HANDLE* out) {
    if (!out) return kBadArgument;
    auto name = camera_name(id);
    if (!name) return kNoDevice;
    auto handle = std::make_shared<OpenHandle>(slot_for(*name));
    if (int result = handle->slot.attach(&handle->frames, open_timeout_ms()); result != kOk) return result;
    *out = register_handle(handle);
    return kOk;
}

CQK_RETURN cqkUninitialize(HANDLE h) {
    auto handle = unregister_handle(h);
    if (!handle) return kBadHandle;
    handle->slot.detach(&handle->frames);
    return kOk;
}

// Opening already readied the camera; profiles, raw output and look-up
// tables have no GenICam counterpart the viewer needs (frames are raw).
CQK_RETURN cqInitializeHardware(HANDLE h) { return accept_on_open_handle(h); }
CQK_RETURN cqApplyCameraProfile(HANDLE h) { return accept_on_open_handle(h); }
CQK_RETURN cqSetExtention(HANDLE h, DWORD, DWORD) { return accept_on_open_handle(h); }

CQK_RETURN cqSetLUT(HANDLE h, LUT* lut) {
    if (!find_handle(h)) return kBadHandle;
    return lut ? kOk : kBadArgument;
}

CQK_RETURN cqSetGainVal(HANDLE h, float gain_db) {
    auto handle = find_handle(h);
    if (!handle) return kBadHandle;
    if (!std::isfinite(gain_db)) return kBadArgument;
    return handle->slot.set_gain(gain_db);
}

CQK_RETURN cqSetMode(HANDLE h, UINT exposure_us, UINT mode, DWORD x0, DWORD y0, DWORD cx, DWORD cy) {
    auto handle = find_handle(h);
    if (!handle) return kBadHandle;
    return handle->slot.set_mode(exposure_us, mode, Region{x0, y0, cx, cy});
}

BOOL cqIsSetModeComplete(HANDLE) {
    return 1;  // cqSetMode returns only once the camera has taken the change
}

CQK_RETURN cqGetModeTiming(HANDLE h, float* tpfi0, float* tpfie, float* tpfr0, float* tpfre) {
    auto handle = find_handle(h);
    if (!handle) return kBadHandle;
    auto timing = handle->slot.timing();
    if (!timing) return kNoDevice;
    // The camera reports no read-out time; its frame period comes from its
    // frame rate (0 when it has none, which leaves the caller's default).
    if (tpfi0) *tpfi0 = 0.0f;
    if (tpfie) *tpfie = static_cast<float>(timing->exposure_s);
    if (tpfr0) *tpfr0 = 0.0f;
    if (tpfre) *tpfre = static_cast<float>(timing->period_s);
    return kOk;
}

CQK_RETURN cqGetModeDescriptor(HANDLE h, UINT index, CQMODE* desc) {
    auto handle = find_handle(h);
    if (!handle) return kBadHandle;
    auto mode = handle->slot.mode(index);
    if (!mode || !desc) return kBadArgument;
    desc->dwCx = mode->width;
    desc->dwCy = mode->height;
    desc->dwFields = 1;
    desc->dwBinX = desc->dwBinY = mode->binning;
    desc->cqMosaic = to_cq_mosaic(mode->layout.mosaic);
    desc->dwRDO = mode->layout.bytes == 1 ? CQ_RDO_8BIT : 0;
    return kOk;
}

CQK_RETURN cqGetModeDescriptorString(HANDLE h, UINT index, char* text, DWORD size) {
    auto handle = find_handle(h);
    if (!handle) return kBadHandle;
    auto mode = handle->slot.mode(index);
    if (!mode || !text || size == 0) return kBadArgument;
    std::snprintf(text, size, "%s", describe_mode(*mode).c_str());
    return kOk;
}

CQK_RETURN cqGetGainInfo(HANDLE h, float* min_db, float* max_db, DWORD* stops, DWORD* default_stop) {
    auto handle = find_handle(h);
    if (!handle) return kBadHandle;
    auto range = handle->slot.gain_range();
    if (!range) return kNoDevice;
    if (min_db) *min_db = range->min;
    if (max_db) *max_db = range->max;
    // 0.1 steps; the default is the lowest gain.
    if (stops) *stops = static_cast<DWORD>(std::lround((range->max - range->min) * 10.0)) + 1;
    if (default_stop) *default_stop = 0;
    return kOk;
}

CQK_RETURN cqGetGPIO(HANDLE h, int port, DWORD, DWORD* level) {
    auto handle = find_handle(h);
    if (!handle) return kBadHandle;
    if (!level || !(port == -1 || (port >= 1 && port <= 4))) return kBadArgument;
    auto levels = handle->slot.input_levels();
    if (!levels) return kNoDevice;
    *level = port == -1 ? *levels : (*levels >> (port - 1)) & 1u;
    return kOk;
}

CQK_RETURN cqStartAcquisition(HANDLE h) {
    auto handle = find_handle(h);
    if (!handle) return kBadHandle;
    return handle->slot.start(&handle->frames);
}

CQK_RETURN cqStopAcquisition(HANDLE h) {
    auto handle = find_handle(h);
    if (!handle) return kBadHandle;
    handle->slot.stop(&handle->frames);
    return kOk;
}

CQK_RETURN cqWaitForField(HANDLE h, DWORD timeout_ms) {
    auto handle = find_handle(h);
    if (!handle) return kBadHandle;
    return handle->slot.wait_for_field(&handle->frames, timeout_ms);
}

CQK_RETURN cqIsFieldReady(HANDLE h) {
    auto handle = find_handle(h);
    if (!handle) return kBadHandle;
    return handle->slot.field_ready(&handle->frames) ? kOk : kNoData;
}

CQK_RETURN cqAcquireField(HANDLE h, void** data) {
    auto handle = find_handle(h);
    if (!handle) return kBadHandle;
    if (!data) return kBadArgument;
    return handle->slot.acquire_field(&handle->frames, data);
}

CQK_RETURN cqUpdateFrame(HANDLE h, void* data) { return update_frame(h, data); }
CQK_RETURN cqUpdateBayerFrame(HANDLE h, void* data) { return update_frame(h, data); }
CQK_RETURN cqRetrieveFrameEx(HANDLE h, CQGETFRAMEEX* frame) { return retrieve_frame(h, frame); }
CQK_RETURN cqRetrieveFrameBayerEx(HANDLE h, CQGETFRAMEEX* frame) { return retrieve_frame(h, frame); }

BOOL cqIsFrameComplete(HANDLE h) {
    auto handle = find_handle(h);
    if (!handle) return 0;
    FrameInfo info;
    void* data = nullptr;
    // Every delivered buffer is a whole frame (incomplete ones are dropped).
    return handle->slot.current_frame(&handle->frames, &info, &data) ? 1 : 0;
}

CQK_RETURN cqGetMeans(HANDLE h, DWORD x0, DWORD y0, DWORD cx, DWORD cy, float means[4]) {
    auto handle = find_handle(h);
    if (!handle) return kBadHandle;
    if (!means) return kBadArgument;
    PoolBuffer* frame = handle->slot.pin_current(&handle->frames);
    if (!frame) return kNoData;
    auto result = colour::mosaic_means(raw_image(frame->info, frame->data.get()), x0, y0, cx, cy);
    handle->slot.unpin(frame);
    if (!result) return kBadArgument;
    for (int i = 0; i < 4; ++i) means[i] = static_cast<float>((*result)[i]);
    return kOk;
}

CQK_RETURN cqSetupFilter(HANDLE h, CQFILTER* filter) {
    auto handle = find_handle(h);
    if (!handle) return kBadHandle;
    if (!filter) return kBadArgument;
    std::lock_guard lock(handle->colour_mutex);
    colour::Settings& s = handle->colour_settings;
    for (int c = 0; c < 3; ++c) s.white_balance[c] = sane_gain(filter->rgbWhiteBal[c]);
    // An all-zero matrix means "no correction".
    bool all_zero = true;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) all_zero = all_zero && filter->rgbCorrection[r][c] == 0.0;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            const double m = filter->rgbCorrection[r][c];
            s.matrix[r][c] = all_zero ? (r == c ? 1.0 : 0.0) : (std::isfinite(m) ? m : 0.0);
        }
    s.gamma = std::isfinite(filter->gammaY) && filter->gammaY > 0 ? filter->gammaY : 1.0;
    handle->colour_settings_changed = true;
    return kOk;
}

CQK_RETURN cqApplyDefaultColorCorrectionMatrix(HANDLE h) {
    auto handle = find_handle(h);
    if (!handle) return kBadHandle;
    std::lock_guard lock(handle->colour_mutex);
    handle->colour_settings.matrix = colour::default_correction_matrix();
    handle->colour_settings_changed = true;
    return kOk;
}

CQK_RETURN cqSetupCE(HANDLE h, DWORD black, DWORD top) {
    auto handle = find_handle(h);
    if (!handle) return kBadHandle;
    if (top <= black) return kBadArgument;
    std::lock_guard lock(handle->colour_mutex);
    handle->colour_settings.black = black;
    handle->colour_settings.top = top;
    handle->colour_settings_changed = true;
    return kOk;
}

CQK_RETURN cqProcessFrame(HANDLE h) {
    auto handle = find_handle(h);
    if (!handle) return kBadHandle;
    PoolBuffer* frame = handle->slot.pin_current(&handle->frames);
    if (!frame) return kNoData;
    {
        std::lock_guard lock(handle->colour_mutex);
        if (handle->colour_settings_changed) {
            handle->pipeline.configure(handle->colour_settings);
            handle->colour_settings_changed = false;
        }
        const colour::RawImage raw = raw_image(frame->info, frame->data.get());
        handle->image.resize(size_t{raw.width} * raw.height);
        handle->pipeline.process(raw, handle->image.data());
        handle->image_width = raw.width;
        handle->image_height = raw.height;
        handle->image_frame_number = frame->info.frame_number;
        handle->has_image = true;
    }
    handle->slot.unpin(frame);
    return kOk;
}

CQK_RETURN cqRetrieveBitmapAdv(HANDLE h, CQGETBITMAP* bitmap, CQGETBITMAPOPT*) {
    auto handle = find_handle(h);
    if (!handle) return kBadHandle;
    if (!bitmap) return kBadArgument;
    std::lock_guard lock(handle->colour_mutex);
    if (!handle->has_image) return kNoData;
    const size_t bytes = handle->image.size() * sizeof(uint32_t);
    auto* pixels = static_cast<BYTE*>(std::malloc(bytes));
    if (!pixels) return kFailed;
    std::memcpy(pixels, handle->image.data(), bytes);
    std::memset(bitmap, 0, sizeof *bitmap);
    bitmap->bp = pixels;
    bitmap->w = bitmap->cx = handle->image_width;
    bitmap->h = bitmap->cy = handle->image_height;
    bitmap->dwBPP = 32;
    bitmap->fn = handle->image_frame_number;
    return kOk;
}

CQK_RETURN cqFreeBitmap(HANDLE, CQGETBITMAP* bitmap) {
    if (!bitmap) return kBadArgument;
    std::free(bitmap->bp);
    bitmap->bp = nullptr;
    return kOk;
}

}  // extern "C"
