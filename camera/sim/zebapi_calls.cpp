// zebapi_calls.cpp - the C entry points of zebapi.h: log the call, find the
// handle, hand over to the camera or the colour pipeline.  Any thread.
#include <zebapi.h>

#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <thread>

#include "call_log.h"
#include "camera.h"
#include "cq_mosaic.h"
#include "environment.h"
#include "handle_calls.h"
#include "open_handle.h"
#include "result_codes.h"

using namespace zebsim;

namespace {

// Every call on a handle starts so: logged (printf-style), then its handle
// found; null when the handle is not open.
std::shared_ptr<OpenHandle> logged_handle(HANDLE h, const char* format, ...) __attribute__((format(printf, 2, 3)));
std::shared_ptr<OpenHandle> logged_handle(HANDLE h, const char* format, ...) {
    va_list args;
    va_start(args, format);
    vlog_call(format, args);
    va_end(args);
    return Handles::find(h);
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
    handle->source.attach(&handle->frames);
    *out = Handles::add(handle);
    return kOk;
}

CQK_RETURN cqkUninitialize(HANDLE h) {
    log_call("cqkUninitialize");
    auto handle = Handles::remove(h);
    if (!handle) return kBadHandle;
    if (handle->source.injected_fault(FaultedCall::uninitialize))
        std::this_thread::sleep_for(std::chrono::seconds(kSlowCloseSeconds));
    handle->source.detach(&handle->frames);
    return kOk;
}

CQK_RETURN cqInitializeHardware(HANDLE h) {
    auto handle = logged_handle(h, "cqInitializeHardware");
    if (!handle) return kBadHandle;
    return handle->source.injected_fault(FaultedCall::initialize).value_or(kOk);
}

CQK_RETURN cqApplyCameraProfile(HANDLE h) { return logged_handle(h, "cqApplyCameraProfile") ? kOk : kBadHandle; }

// Raw data is all this camera delivers: there is nothing to switch.
CQK_RETURN cqSetExtention(HANDLE h, DWORD ext, DWORD value) {
    return logged_handle(h, "cqSetExtention %u %u", ext, value) ? kOk : kBadHandle;
}

CQK_RETURN cqSetGainVal(HANDLE h, float gain_db) {
    auto handle = logged_handle(h, "cqSetGainVal %g", gain_db);
    if (!handle) return kBadHandle;
    if (!std::isfinite(gain_db)) return kBadArgument;
    handle->source.set_gain(gain_db);
    return kOk;
}

CQK_RETURN cqSetLUT(HANDLE h, LUT* lut) {
    if (!logged_handle(h, "cqSetLUT")) return kBadHandle;
    return lut ? kOk : kBadArgument;  // the raw path ignores the look-up table
}

CQK_RETURN cqSetMode(HANDLE h, UINT exposure_us, UINT mode, DWORD x0, DWORD y0, DWORD cx, DWORD cy) {
    auto handle = logged_handle(h, "cqSetMode %u %u %u %u %u %u", exposure_us, mode, x0, y0, cx, cy);
    if (!handle) return kBadHandle;
    return handle->source.set_mode(exposure_us, mode, Region{x0, y0, cx, cy});
}

// Not logged: the panel asks once a second.  The simulated camera always
// answers, and nothing changes its settings but the calls.
CQK_RETURN cqGetSettings(HANDLE h, CQSETTINGS* out) {
    return zebcommon::get_settings(Handles::find(h).get(), out, [](Camera& camera) {
        const CameraSettings s = camera.settings();
        CQSETTINGS runs{CQ_CAMERA_ANSWERING, 0,           s.exposure_us, s.mode_index, s.region.x0,
                        s.region.y0,         s.region.cx, s.region.cy,   s.gain_db};
        if (const auto mode = sensor_mode(camera.sensor_size(), s.mode_index))
            zebcommon::full_frame_as_zero(&runs, mode->width, mode->height);
        return runs;
    });
}

// Not logged either: the panel's status area asks twice a second.  The
// simulated camera has nothing in the way of its pictures but the faults
// injected, which the calls' results tell.
CQK_RETURN cqGetCondition(HANDLE h, CQCONDITION* out) {
    auto handle = Handles::find(h);
    if (!handle) return kBadHandle;
    if (!out) return kBadArgument;
    *out = CQCONDITION{};
    const SensorKind sensor = handle->source.sensor();
    const char* kind = sensor == SensorKind::mono ? "monochrome" : sensor == SensorKind::bggr ? "BGGR colour" : "RGGB colour";
    std::snprintf(out->szLibrary, sizeof out->szLibrary, "Simulated camera");
    std::snprintf(out->szCamera, sizeof out->szCamera, "test scene on a %s sensor", kind);
    return kOk;
}

CQK_RETURN cqSetFreeRun(HANDLE h) {
    auto handle = logged_handle(h, "cqSetFreeRun");
    if (!handle) return kBadHandle;
    return kBadArgument;  // it has no trigger
}

BOOL cqIsSetModeComplete(HANDLE h) {
    auto handle = logged_handle(h, "cqIsSetModeComplete");
    if (!handle) return 1;  // nothing pending on a handle that does not exist; callers spin on 0
    return handle->source.set_mode_complete() ? 1 : 0;
}

CQK_RETURN cqGetModeTiming(HANDLE h, float* tpfi0, float* tpfie, float* tpfr0, float* tpfre) {
    auto handle = logged_handle(h, "cqGetModeTiming");
    if (!handle) return kBadHandle;
    if (auto fault = handle->source.injected_fault(FaultedCall::mode_timing)) return *fault;  // writes nothing
    const FrameTiming t = handle->source.timing();
    if (tpfi0) *tpfi0 = static_cast<float>(t.readout_s);
    if (tpfie) *tpfie = static_cast<float>(t.exposure_s);
    if (tpfr0) *tpfr0 = static_cast<float>(t.readout_s);
    if (tpfre) *tpfre = static_cast<float>(t.period_s);
    return kOk;
}

CQK_RETURN cqGetModeDescriptor(HANDLE h, UINT index, CQMODE* desc) {
    auto handle = logged_handle(h, "cqGetModeDescriptor %u", index);
    if (!handle) return kBadHandle;
    if (auto fault = handle->source.injected_fault(FaultedCall::mode_descriptor)) return *fault;
    auto mode = sensor_mode(handle->source.sensor_size(), index);
    if (!mode || !desc) return kBadArgument;
    desc->dwCx = mode->width;
    desc->dwCy = mode->height;
    desc->dwFields = 1;
    desc->dwBinX = desc->dwBinY = mode->bin;
    desc->cqMosaic = zebcommon::to_cq_mosaic(handle->source.sensor());
    desc->dwRDO = mode->bits == 8 ? CQ_RDO_8BIT : 0;
    return kOk;
}

CQK_RETURN cqGetModeDescriptorString(HANDLE h, UINT index, char* text, DWORD size) {
    auto handle = logged_handle(h, "cqGetModeDescriptorString %u %u", index, size);
    if (!handle) return kBadHandle;
    if (auto fault = handle->source.injected_fault(FaultedCall::mode_descriptor)) return *fault;
    const SensorSize sensor = handle->source.sensor_size();
    if (!sensor_mode(sensor, index) || !text || size == 0) return kBadArgument;
    std::snprintf(text, size, "%s", mode_description(sensor, index).c_str());
    return kOk;
}

CQK_RETURN cqGetGainInfo(HANDLE h, float* min_db, float* max_db, DWORD* stops, DWORD* default_stop) {
    auto handle = logged_handle(h, "cqGetGainInfo");
    if (!handle) return kBadHandle;
    if (auto fault = handle->source.injected_fault(FaultedCall::gain_info)) return *fault;
    const GainRange range = handle->source.gain_range();
    if (min_db) *min_db = range.min_db;
    if (max_db) *max_db = range.max_db;
    // 0.1 dB steps; the default is the lowest gain.
    if (stops) *stops = static_cast<DWORD>(std::lround((range.max_db - range.min_db) * 10.0)) + 1;
    if (default_stop) *default_stop = 0;
    return kOk;
}

CQK_RETURN cqGetGPIO(HANDLE h, int port, DWORD reserved, DWORD* level) {
    auto handle = logged_handle(h, "cqGetGPIO %d %u", port, reserved);
    if (!handle) return kBadHandle;
    if (!level || !(port == -1 || (port >= 1 && port <= 4))) return kBadArgument;
    const long levels = handle->source.input_levels(seconds_since_load());
    *level = port == -1 ? static_cast<DWORD>(levels) : static_cast<DWORD>((levels >> (port - 1)) & 1);
    return kOk;
}

CQK_RETURN cqStartAcquisition(HANDLE h) {
    auto handle = logged_handle(h, "cqStartAcquisition");
    if (!handle) return kBadHandle;
    return handle->source.start(&handle->frames);
}

CQK_RETURN cqStopAcquisition(HANDLE h) {
    auto handle = logged_handle(h, "cqStopAcquisition");
    if (!handle) return kBadHandle;
    handle->source.stop(&handle->frames);
    return kOk;
}

CQK_RETURN cqWaitForField(HANDLE h, DWORD timeout_ms) {
    auto handle = logged_handle(h, "cqWaitForField %u", timeout_ms);
    if (!handle) return kBadHandle;
    return handle->source.wait_for_field(&handle->frames, timeout_ms);
}

CQK_RETURN cqIsFieldReady(HANDLE h) {
    auto handle = logged_handle(h, "cqIsFieldReady");
    if (!handle) return kBadHandle;
    return handle->source.frames().field_ready(&handle->frames) ? kOk : kNoData;
}

CQK_RETURN cqAcquireField(HANDLE h, void** data) {
    auto handle = logged_handle(h, "cqAcquireField");
    if (!handle) return kBadHandle;
    if (!data) return kBadArgument;
    return handle->source.acquire_field(&handle->frames, data);
}

CQK_RETURN cqUpdateFrame(HANDLE h, void* data) {
    return zebcommon::update_frame(logged_handle(h, "cqUpdateFrame").get(), data);
}

CQK_RETURN cqUpdateBayerFrame(HANDLE h, void* data) {
    return zebcommon::update_frame(logged_handle(h, "cqUpdateBayerFrame").get(), data);
}

CQK_RETURN cqRetrieveFrameEx(HANDLE h, CQGETFRAMEEX* frame) {
    return zebcommon::retrieve_frame(logged_handle(h, "cqRetrieveFrameEx").get(), frame);
}

CQK_RETURN cqRetrieveFrameBayerEx(HANDLE h, CQGETFRAMEEX* frame) {
    return zebcommon::retrieve_frame(logged_handle(h, "cqRetrieveFrameBayerEx").get(), frame);
}

// One field per frame, never damaged: a current frame is always complete.
BOOL cqIsFrameComplete(HANDLE h) { return zebcommon::frame_complete(logged_handle(h, "cqIsFrameComplete").get()); }

CQK_RETURN cqGetMeans(HANDLE h, DWORD x0, DWORD y0, DWORD cx, DWORD cy, float means[4]) {
    return zebcommon::frame_means(logged_handle(h, "cqGetMeans %u %u %u %u", x0, y0, cx, cy).get(), x0, y0, cx, cy,
                                  means);
}

CQK_RETURN cqSetupFilter(HANDLE h, CQFILTER* filter) {
    return zebcommon::handle_setup_filter(logged_handle(h, "cqSetupFilter").get(), filter);
}

CQK_RETURN cqApplyDefaultColorCorrectionMatrix(HANDLE h) {
    return zebcommon::handle_default_colour_matrix(logged_handle(h, "cqApplyDefaultColorCorrectionMatrix").get());
}

CQK_RETURN cqSetupCE(HANDLE h, DWORD black, DWORD top) {
    return zebcommon::handle_setup_contrast(logged_handle(h, "cqSetupCE %u %u", black, top).get(), black, top);
}

CQK_RETURN cqProcessFrame(HANDLE h) {
    auto handle = logged_handle(h, "cqProcessFrame");
    if (!handle) return kBadHandle;
    if (auto fault = handle->source.injected_fault(FaultedCall::process)) return *fault;
    return zebcommon::process_frame(handle.get());
}

CQK_RETURN cqRetrieveBitmapAdv(HANDLE h, CQGETBITMAP* bitmap, CQGETBITMAPOPT*) {
    auto handle = logged_handle(h, "cqRetrieveBitmapAdv");
    if (!handle) return kBadHandle;
    if (!bitmap) return kBadArgument;
    if (auto fault = handle->source.injected_fault(FaultedCall::bitmap)) return *fault;
    return zebcommon::handle_retrieve_bitmap(handle.get(), bitmap);
}

CQK_RETURN cqFreeBitmap(HANDLE, CQGETBITMAP* bitmap) {
    log_call("cqFreeBitmap");
    return zebcommon::free_bitmap(bitmap);
}

}  // extern "C"
