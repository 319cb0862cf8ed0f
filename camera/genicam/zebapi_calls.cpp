// zebapi_calls.cpp - the C entry points of zebapi.h on a GenICam camera:
// find the handle, hand over to its camera slot or to the colour pipeline.
// Any thread.
#include <zebapi.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "camera_slot.h"
#include "cq_mosaic.h"
#include "device_ids.h"
#include "handle_calls.h"
#include "open_handle.h"
#include "result_codes.h"

using namespace genicam;

namespace {

// How long cqkInitialize keeps trying a camera that does not answer (a
// camera being re-plugged or rebooting); TOLMIREX_CAMERA_OPEN_TIMEOUT_MS
// overrides it.
constexpr int kDefaultOpenTimeoutMs = 3000;

bool open_timeout_set() {
    const char* text = std::getenv("TOLMIREX_CAMERA_OPEN_TIMEOUT_MS");
    return text && *text;
}

int open_timeout_ms() {
    if (!open_timeout_set()) return kDefaultOpenTimeoutMs;
    const char* text = std::getenv("TOLMIREX_CAMERA_OPEN_TIMEOUT_MS");
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    return *end == '\0' && value >= 0 && value <= 600000 ? static_cast<int>(value) : kDefaultOpenTimeoutMs;
}

// A camera named by TOLMIREX_CAMERA_ID is waited for until it first
// answers (a line PC may boot faster than its camera), unless the time-out
// is set.
bool wait_for_named_camera() {
    const char* chosen = std::getenv("TOLMIREX_CAMERA_ID");
    return chosen && *chosen && !open_timeout_set();
}

// Why the last open failed, in the slot's words, for cqGetCondition without
// a handle.
std::mutex open_failure_mutex;
CQCONDITION open_failure{};
bool open_failed = false;

int accept_on_open_handle(HANDLE h) { return Handles::find(h) ? kOk : kBadHandle; }

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
    if (int result = handle->source.attach(&handle->frames, open_timeout_ms(), wait_for_named_camera()); result != kOk) {
        const CQCONDITION why = handle->source.condition();
        std::lock_guard lock(open_failure_mutex);
        open_failure = why;
        open_failed = true;
        return result;
    }
    *out = Handles::add(handle);
    return kOk;
}

CQK_RETURN cqkUninitialize(HANDLE h) {
    auto handle = Handles::remove(h);
    if (!handle) return kBadHandle;
    handle->source.detach(&handle->frames);
    return kOk;
}

// Opening already readied the camera; profiles, raw output and look-up
// tables have no GenICam counterpart the viewer needs (frames are raw).
CQK_RETURN cqInitializeHardware(HANDLE h) { return accept_on_open_handle(h); }
CQK_RETURN cqApplyCameraProfile(HANDLE h) { return accept_on_open_handle(h); }
CQK_RETURN cqSetExtention(HANDLE h, DWORD, DWORD) { return accept_on_open_handle(h); }

CQK_RETURN cqSetLUT(HANDLE h, LUT* lut) {
    if (!Handles::find(h)) return kBadHandle;
    return lut ? kOk : kBadArgument;
}

CQK_RETURN cqSetGainVal(HANDLE h, float gain_db) {
    auto handle = Handles::find(h);
    if (!handle) return kBadHandle;
    if (!std::isfinite(gain_db)) return kBadArgument;
    return handle->source.set_gain(gain_db);
}

CQK_RETURN cqSetMode(HANDLE h, UINT exposure_us, UINT mode, DWORD x0, DWORD y0, DWORD cx, DWORD cy) {
    auto handle = Handles::find(h);
    if (!handle) return kBadHandle;
    return handle->source.set_mode(exposure_us, mode, Region{x0, y0, cx, cy});
}

CQK_RETURN cqGetSettings(HANDLE h, CQSETTINGS* out) {
    return zebcommon::get_settings(Handles::find(h).get(), out, [](CameraSlot& slot) {
        const SettingsInEffect s = slot.settings_in_effect();
        const DWORD state = s.state == CameraState::connected       ? CQ_CAMERA_ANSWERING
                            : s.state == CameraState::not_answering ? CQ_CAMERA_NOT_ANSWERING
                                                                    : CQ_CAMERA_LOST;
        CQSETTINGS runs{state,       s.changes,   s.exposure_us, s.mode_index, s.region.x0,
                        s.region.y0, s.region.cx, s.region.cy,   s.gain};
        if (const auto mode = slot.mode(s.mode_index))
            zebcommon::full_frame_as_zero(&runs, mode->width, mode->height);
        return runs;
    });
}

CQK_RETURN cqGetCondition(HANDLE h, CQCONDITION* out) {
    if (h == INVALID_HANDLE_VALUE && out) {
        std::lock_guard lock(open_failure_mutex);
        if (!open_failed) return kBadHandle;
        *out = open_failure;
        return kOk;
    }
    auto handle = Handles::find(h);
    if (!handle) return kBadHandle;
    if (!out) return kBadArgument;
    *out = handle->source.condition();
    return kOk;
}

CQK_RETURN cqSetFreeRun(HANDLE h) {
    auto handle = Handles::find(h);
    if (!handle) return kBadHandle;
    return handle->source.set_free_run();
}

BOOL cqIsSetModeComplete(HANDLE) {
    return 1;  // cqSetMode returns only once the camera has taken the change
}

CQK_RETURN cqGetModeTiming(HANDLE h, float* tpfi0, float* tpfie, float* tpfr0, float* tpfre) {
    auto handle = Handles::find(h);
    if (!handle) return kBadHandle;
    auto timing = handle->source.timing();
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
    auto handle = Handles::find(h);
    if (!handle) return kBadHandle;
    auto mode = handle->source.mode(index);
    if (!mode || !desc) return kBadArgument;
    desc->dwCx = mode->width;
    desc->dwCy = mode->height;
    desc->dwFields = 1;
    desc->dwBinX = desc->dwBinY = mode->binning;
    desc->cqMosaic = zebcommon::to_cq_mosaic(mode->layout.mosaic);
    desc->dwRDO = mode->layout.bytes == 1 ? CQ_RDO_8BIT : 0;
    return kOk;
}

CQK_RETURN cqGetModeDescriptorString(HANDLE h, UINT index, char* text, DWORD size) {
    auto handle = Handles::find(h);
    if (!handle) return kBadHandle;
    auto mode = handle->source.mode(index);
    if (!mode || !text || size == 0) return kBadArgument;
    std::snprintf(text, size, "%s", describe_mode(*mode).c_str());
    return kOk;
}

CQK_RETURN cqGetGainInfo(HANDLE h, float* min_db, float* max_db, DWORD* stops, DWORD* default_stop) {
    auto handle = Handles::find(h);
    if (!handle) return kBadHandle;
    auto range = handle->source.gain_range();
    if (!range) return kNoDevice;
    if (min_db) *min_db = range->min;
    if (max_db) *max_db = range->max;
    // 0.1 steps; the default is the lowest gain.
    if (stops) *stops = static_cast<DWORD>(std::lround((range->max - range->min) * 10.0)) + 1;
    if (default_stop) *default_stop = 0;
    return kOk;
}

CQK_RETURN cqGetGPIO(HANDLE h, int port, DWORD, DWORD* level) {
    auto handle = Handles::find(h);
    if (!handle) return kBadHandle;
    if (!level || !(port == -1 || (port >= 1 && port <= 4))) return kBadArgument;
    auto levels = handle->source.input_levels();
    if (!levels) return kNoDevice;
    *level = port == -1 ? *levels : (*levels >> (port - 1)) & 1u;
    return kOk;
}

CQK_RETURN cqStartAcquisition(HANDLE h) {
    auto handle = Handles::find(h);
    if (!handle) return kBadHandle;
    return handle->source.start(&handle->frames);
}

CQK_RETURN cqStopAcquisition(HANDLE h) {
    auto handle = Handles::find(h);
    if (!handle) return kBadHandle;
    handle->source.stop(&handle->frames);
    return kOk;
}

CQK_RETURN cqWaitForField(HANDLE h, DWORD timeout_ms) {
    auto handle = Handles::find(h);
    if (!handle) return kBadHandle;
    return handle->source.wait_for_field(&handle->frames, timeout_ms);
}

CQK_RETURN cqIsFieldReady(HANDLE h) {
    auto handle = Handles::find(h);
    if (!handle) return kBadHandle;
    return handle->source.frames().field_ready(&handle->frames) ? kOk : kNoData;
}

CQK_RETURN cqAcquireField(HANDLE h, void** data) {
    auto handle = Handles::find(h);
    if (!handle) return kBadHandle;
    if (!data) return kBadArgument;
    return handle->source.frames().acquire(&handle->frames, data);
}

CQK_RETURN cqUpdateFrame(HANDLE h, void* data) { return zebcommon::update_frame(Handles::find(h).get(), data); }
CQK_RETURN cqUpdateBayerFrame(HANDLE h, void* data) { return zebcommon::update_frame(Handles::find(h).get(), data); }
CQK_RETURN cqRetrieveFrameEx(HANDLE h, CQGETFRAMEEX* frame) {
    return zebcommon::retrieve_frame(Handles::find(h).get(), frame);
}
CQK_RETURN cqRetrieveFrameBayerEx(HANDLE h, CQGETFRAMEEX* frame) {
    return zebcommon::retrieve_frame(Handles::find(h).get(), frame);
}

// A frame with missing packets is handed out (its number counts) with the
// pixels of the newest complete frame, and marked here.
BOOL cqIsFrameComplete(HANDLE h) { return zebcommon::frame_complete(Handles::find(h).get()); }

CQK_RETURN cqGetMeans(HANDLE h, DWORD x0, DWORD y0, DWORD cx, DWORD cy, float means[4]) {
    return zebcommon::frame_means(Handles::find(h).get(), x0, y0, cx, cy, means);
}

CQK_RETURN cqSetupFilter(HANDLE h, CQFILTER* filter) {
    return zebcommon::handle_setup_filter(Handles::find(h).get(), filter);
}

CQK_RETURN cqApplyDefaultColorCorrectionMatrix(HANDLE h) {
    return zebcommon::handle_default_colour_matrix(Handles::find(h).get());
}

CQK_RETURN cqSetupCE(HANDLE h, DWORD black, DWORD top) {
    return zebcommon::handle_setup_contrast(Handles::find(h).get(), black, top);
}

CQK_RETURN cqProcessFrame(HANDLE h) { return zebcommon::process_frame(Handles::find(h).get()); }

CQK_RETURN cqRetrieveBitmapAdv(HANDLE h, CQGETBITMAP* bitmap, CQGETBITMAPOPT*) {
    return zebcommon::handle_retrieve_bitmap(Handles::find(h).get(), bitmap);
}

CQK_RETURN cqFreeBitmap(HANDLE, CQGETBITMAP* bitmap) { return zebcommon::free_bitmap(bitmap); }

}  // extern "C"
