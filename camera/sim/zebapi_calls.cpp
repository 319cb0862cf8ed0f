// zebapi_calls.cpp - the C entry points of zebapi.h: log the call, find the
// handle, hand over to the camera or the colour pipeline.  Any thread.
#include <zebapi.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "call_log.h"
#include "camera.h"
#include "colour_pipeline.h"
#include "environment.h"
#include "handle_registry.h"
#include "result_codes.h"

using namespace zebsim;

namespace {

colour::Mosaic to_mosaic(SensorKind sensor) {
    switch (sensor) {
        case SensorKind::rggb: return colour::Mosaic::rggb;
        case SensorKind::bggr: return colour::Mosaic::bggr;
        case SensorKind::mono: return colour::Mosaic::mono;
    }
    return colour::Mosaic::mono;
}

DWORD to_cq_mosaic(SensorKind sensor) {
    switch (sensor) {
        case SensorKind::rggb: return CQM_RGGB;
        case SensorKind::bggr: return CQM_BGGR;
        case SensorKind::mono: return CQM_NONE;
    }
    return CQM_NONE;
}

void fill_descriptor(const FrameInfo& info, void* data, CQGETFRAMEEX* f) {
    std::memset(f, 0, sizeof *f);
    f->bp = data;
    f->modeX0 = 0;
    f->modeCX = info.mode.width;
    f->modeY0 = 0;
    f->modeCY = info.mode.height;
    f->modeBinX = f->modeBinY = info.mode.bin;
    f->modeFPF = 1;
    f->modeBPP = info.mode.bits;
    f->modeMTX = to_cq_mosaic(info.sensor);
    f->modeRDO = info.mode.bits == 8 ? CQ_RDO_8BIT : 0;
    f->curX0 = info.region.x0;
    f->curCX = info.region.cx;
    f->curY0 = info.region.y0;
    f->curCY = info.region.cy;
    f->curBinX = f->curBinY = info.mode.bin;
    f->curBPP = info.mode.bits;
    f->curMTX = f->modeMTX;  // regions start on even offsets, so the mosaic phase is the mode's
    f->curFN = info.frame_number;
    // The region's top-left corner in unbinned sensor pixels.
    f->origX0 = info.mode.sensor_x0 + info.region.x0 * info.mode.bin;
    f->origY0 = info.mode.sensor_y0 + info.region.y0 * info.mode.bin;
}

colour::RawImage raw_image(const FrameInfo& info, const void* data) {
    return {data, info.region.cx, info.region.cy, info.mode.bits == 8 ? 1u : 2u, to_mosaic(info.sensor)};
}

double sane_gain(double gain) { return std::isfinite(gain) ? std::clamp(gain, 0.0, 64.0) : 1.0; }

int retrieve_frame(HANDLE h, CQGETFRAMEEX* frame) {
    auto handle = find_handle(h);
    if (!handle) return kBadHandle;
    if (!frame) return kBadArgument;
    FrameInfo info;
    void* data = nullptr;
    if (!handle->camera.current_frame(&handle->acquisition, &info, &data)) return kNoData;
    fill_descriptor(info, data, frame);
    return kOk;
}

int update_frame(HANDLE h, void* data) {
    auto handle = find_handle(h);
    if (!handle) return kBadHandle;
    return handle->camera.update_frame(&handle->acquisition, data);
}

}  // namespace

extern "C" {

CQK_RETURN cqkGetNumberDevices(const char*, DWORD* count) {
    log_call("cqkGetNumberDevices");
    if (!count) return kBadArgument;
    *count = camera_count();
    return kOk;
}

CQK_RETURN cqkGetDevice(DWORD index, DWORD* id) {
    log_call("cqkGetDevice %u", index);
    if (!id) return kBadArgument;
    if (index >= camera_count()) return kNoDevice;
    *id = index;
    return kOk;
}

CQK_RETURN cqkInitialize(const char*, DWORD id, HANDLE* out) {
    log_call("cqkInitialize %u", id);
    if (!out) return kBadArgument;
    if (id >= camera_count()) return kNoDevice;
    auto handle = std::make_shared<OpenHandle>(camera_at(id));
    handle->camera.attach(&handle->acquisition);
    *out = register_handle(handle);
    return kOk;
}

CQK_RETURN cqkUninitialize(HANDLE h) {
    log_call("cqkUninitialize");
    auto handle = unregister_handle(h);
    if (!handle) return kBadHandle;
    handle->camera.detach(&handle->acquisition);
    return kOk;
}

CQK_RETURN cqInitializeHardware(HANDLE h) {
    log_call("cqInitializeHardware");
    auto handle = find_handle(h);
    if (!handle) return kBadHandle;
    return handle->camera.injected_fault(FaultedCall::initialize).value_or(kOk);
}

CQK_RETURN cqApplyCameraProfile(HANDLE h) {
    log_call("cqApplyCameraProfile");
    return find_handle(h) ? kOk : kBadHandle;
}

CQK_RETURN cqSetExtention(HANDLE h, DWORD ext, DWORD value) {
    log_call("cqSetExtention %u %u", ext, value);
    return find_handle(h) ? kOk : kBadHandle;  // raw data is all this camera delivers
}

CQK_RETURN cqSetGainVal(HANDLE h, float gain_db) {
    log_call("cqSetGainVal %g", gain_db);
    auto handle = find_handle(h);
    if (!handle) return kBadHandle;
    if (!std::isfinite(gain_db)) return kBadArgument;
    handle->camera.set_gain(gain_db);
    return kOk;
}

CQK_RETURN cqSetLUT(HANDLE h, LUT* lut) {
    log_call("cqSetLUT");
    if (!find_handle(h)) return kBadHandle;
    return lut ? kOk : kBadArgument;  // the raw path ignores the look-up table
}

CQK_RETURN cqSetMode(HANDLE h, UINT exposure_us, UINT mode, DWORD x0, DWORD y0, DWORD cx, DWORD cy) {
    log_call("cqSetMode %u %u %u %u %u %u", exposure_us, mode, x0, y0, cx, cy);
    auto handle = find_handle(h);
    if (!handle) return kBadHandle;
    return handle->camera.set_mode(exposure_us, mode, Region{x0, y0, cx, cy});
}

BOOL cqIsSetModeComplete(HANDLE h) {
    log_call("cqIsSetModeComplete");
    auto handle = find_handle(h);
    if (!handle) return 1;  // nothing pending on a handle that does not exist; callers spin on 0
    return handle->camera.set_mode_complete() ? 1 : 0;
}

CQK_RETURN cqGetModeTiming(HANDLE h, float* tpfi0, float* tpfie, float* tpfr0, float* tpfre) {
    log_call("cqGetModeTiming");
    auto handle = find_handle(h);
    if (!handle) return kBadHandle;
    const FrameTiming t = handle->camera.timing();
    if (tpfi0) *tpfi0 = static_cast<float>(t.readout_s);
    if (tpfie) *tpfie = static_cast<float>(t.exposure_s);
    if (tpfr0) *tpfr0 = static_cast<float>(t.readout_s);
    if (tpfre) *tpfre = static_cast<float>(t.period_s);
    return kOk;
}

CQK_RETURN cqGetModeDescriptor(HANDLE h, UINT index, CQMODE* desc) {
    log_call("cqGetModeDescriptor %u", index);
    auto handle = find_handle(h);
    if (!handle) return kBadHandle;
    if (auto fault = handle->camera.injected_fault(FaultedCall::mode_descriptor)) return *fault;
    auto mode = sensor_mode(index);
    if (!mode || !desc) return kBadArgument;
    desc->dwCx = mode->width;
    desc->dwCy = mode->height;
    desc->dwFields = 1;
    desc->dwBinX = desc->dwBinY = mode->bin;
    desc->cqMosaic = static_cast<CQMOSAIC>(to_cq_mosaic(handle->camera.sensor()));
    desc->dwRDO = mode->bits == 8 ? CQ_RDO_8BIT : 0;
    return kOk;
}

CQK_RETURN cqGetModeDescriptorString(HANDLE h, UINT index, char* text, DWORD size) {
    log_call("cqGetModeDescriptorString %u %u", index, size);
    auto handle = find_handle(h);
    if (!handle) return kBadHandle;
    if (auto fault = handle->camera.injected_fault(FaultedCall::mode_descriptor)) return *fault;
    if (!sensor_mode(index) || !text || size == 0) return kBadArgument;
    std::snprintf(text, size, "%s", mode_description(index).c_str());
    return kOk;
}

CQK_RETURN cqGetGainInfo(HANDLE h, float* min_db, float* max_db, DWORD* stops, DWORD* default_stop) {
    log_call("cqGetGainInfo");
    auto handle = find_handle(h);
    if (!handle) return kBadHandle;
    if (auto fault = handle->camera.injected_fault(FaultedCall::gain_info)) return *fault;
    const GainRange range = handle->camera.gain_range();
    if (min_db) *min_db = range.min_db;
    if (max_db) *max_db = range.max_db;
    // 0.1 dB steps; the default is the lowest gain.
    if (stops) *stops = static_cast<DWORD>(std::lround((range.max_db - range.min_db) * 10.0)) + 1;
    if (default_stop) *default_stop = 0;
    return kOk;
}

CQK_RETURN cqGetGPIO(HANDLE h, int port, DWORD reserved, DWORD* level) {
    log_call("cqGetGPIO %d %u", port, reserved);
    auto handle = find_handle(h);
    if (!handle) return kBadHandle;
    if (!level || !(port == -1 || (port >= 1 && port <= 4))) return kBadArgument;
    const long levels = handle->camera.input_levels(seconds_since_load());
    *level = port == -1 ? static_cast<DWORD>(levels) : static_cast<DWORD>((levels >> (port - 1)) & 1);
    return kOk;
}

CQK_RETURN cqStartAcquisition(HANDLE h) {
    log_call("cqStartAcquisition");
    auto handle = find_handle(h);
    if (!handle) return kBadHandle;
    return handle->camera.start(&handle->acquisition);
}

CQK_RETURN cqStopAcquisition(HANDLE h) {
    log_call("cqStopAcquisition");
    auto handle = find_handle(h);
    if (!handle) return kBadHandle;
    handle->camera.stop(&handle->acquisition);
    return kOk;
}

CQK_RETURN cqWaitForField(HANDLE h, DWORD timeout_ms) {
    log_call("cqWaitForField %u", timeout_ms);
    auto handle = find_handle(h);
    if (!handle) return kBadHandle;
    return handle->camera.wait_for_field(&handle->acquisition, timeout_ms);
}

CQK_RETURN cqIsFieldReady(HANDLE h) {
    log_call("cqIsFieldReady");
    auto handle = find_handle(h);
    if (!handle) return kBadHandle;
    return handle->camera.field_ready(&handle->acquisition) ? kOk : kNoData;
}

CQK_RETURN cqAcquireField(HANDLE h, void** data) {
    log_call("cqAcquireField");
    auto handle = find_handle(h);
    if (!handle) return kBadHandle;
    if (!data) return kBadArgument;
    return handle->camera.acquire_field(&handle->acquisition, data);
}

CQK_RETURN cqUpdateFrame(HANDLE h, void* data) {
    log_call("cqUpdateFrame");
    return update_frame(h, data);
}

CQK_RETURN cqUpdateBayerFrame(HANDLE h, void* data) {
    log_call("cqUpdateBayerFrame");
    return update_frame(h, data);
}

CQK_RETURN cqRetrieveFrameEx(HANDLE h, CQGETFRAMEEX* frame) {
    log_call("cqRetrieveFrameEx");
    return retrieve_frame(h, frame);
}

CQK_RETURN cqRetrieveFrameBayerEx(HANDLE h, CQGETFRAMEEX* frame) {
    log_call("cqRetrieveFrameBayerEx");
    return retrieve_frame(h, frame);
}

BOOL cqIsFrameComplete(HANDLE h) {
    log_call("cqIsFrameComplete");
    auto handle = find_handle(h);
    if (!handle) return 0;
    FrameInfo info;
    void* data = nullptr;
    // One field per frame: a current frame is always complete.
    return handle->camera.current_frame(&handle->acquisition, &info, &data) ? 1 : 0;
}

CQK_RETURN cqGetMeans(HANDLE h, DWORD x0, DWORD y0, DWORD cx, DWORD cy, float means[4]) {
    log_call("cqGetMeans %u %u %u %u", x0, y0, cx, cy);
    auto handle = find_handle(h);
    if (!handle) return kBadHandle;
    if (!means) return kBadArgument;
    FrameBuffer* frame = handle->camera.pin_current(&handle->acquisition);
    if (!frame) return kNoData;
    auto result = colour::mosaic_means(raw_image(frame->info, frame->data.get()), x0, y0, cx, cy);
    handle->camera.unpin(frame);
    if (!result) return kBadArgument;
    for (int i = 0; i < 4; ++i) means[i] = static_cast<float>((*result)[i]);
    return kOk;
}

CQK_RETURN cqSetupFilter(HANDLE h, CQFILTER* filter) {
    log_call("cqSetupFilter");
    auto handle = find_handle(h);
    if (!handle) return kBadHandle;
    if (!filter) return kBadArgument;
    std::lock_guard lock(handle->colour_mutex);
    colour::Settings& s = handle->colour_settings;
    for (int c = 0; c < 3; ++c) s.white_balance[c] = sane_gain(filter->rgbWhiteBal[c]);
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
    log_call("cqApplyDefaultColorCorrectionMatrix");
    auto handle = find_handle(h);
    if (!handle) return kBadHandle;
    std::lock_guard lock(handle->colour_mutex);
    handle->colour_settings.matrix = colour::default_correction_matrix();
    handle->colour_settings_changed = true;
    return kOk;
}

CQK_RETURN cqSetupCE(HANDLE h, DWORD black, DWORD top) {
    log_call("cqSetupCE %u %u", black, top);
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
    log_call("cqProcessFrame");
    auto handle = find_handle(h);
    if (!handle) return kBadHandle;
    if (auto fault = handle->camera.injected_fault(FaultedCall::process)) return *fault;
    FrameBuffer* frame = handle->camera.pin_current(&handle->acquisition);
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
    handle->camera.unpin(frame);
    return kOk;
}

CQK_RETURN cqRetrieveBitmapAdv(HANDLE h, CQGETBITMAP* bitmap, CQGETBITMAPOPT*) {
    log_call("cqRetrieveBitmapAdv");
    auto handle = find_handle(h);
    if (!handle) return kBadHandle;
    if (!bitmap) return kBadArgument;
    if (auto fault = handle->camera.injected_fault(FaultedCall::bitmap)) return *fault;
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
    log_call("cqFreeBitmap");
    if (!bitmap) return kBadArgument;
    std::free(bitmap->bp);
    bitmap->bp = nullptr;
    return kOk;
}

}  // extern "C"
