// The acquisition worker. Runs on its own thread, started by the display
// thread; the pure functions at the top may be called from anywhere.
#include "acquisition.h"

#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>

#include "camera_silence.h"
#include "camera_state.h"
#include "frame_handover.h"
#include "live_run.h"
#include "notices.h"
#include "setup.h"

namespace {
constexpr DWORD WAIT_TIMEOUT_MS = 1000;
constexpr DWORD LOST_GAP_LIMIT = 1000;
constexpr unsigned FIRST_REOPEN_PAUSE_MS = 50;
constexpr unsigned MAX_REOPEN_PAUSE_MS = 1000;

using SteadyClock = std::chrono::steady_clock;
// A failure that lasts this long, or a reset this soon after a reopen, is
// worth telling the user about.
constexpr auto TROUBLE_SPAN = std::chrono::seconds(1);
}  // namespace

unsigned next_reopen_pause_ms(unsigned previous_ms) {
    return previous_ms == 0 ? FIRST_REOPEN_PAUSE_MS : std::min(previous_ms * 2, MAX_REOPEN_PAUSE_MS);
}

DWORD lost_frames(DWORD previous_fn, DWORD current_fn) {
    const DWORD gap = current_fn - previous_fn - 1u;
    return gap < LOST_GAP_LIMIT ? gap : 0;
}

static bool usable_mean(float mean) { return std::isfinite(mean) && mean > 0.0f; }

WhiteBalance white_balance_gains(const float m[4], DWORD mosaic, WhiteBalance k) {
    if (mosaic != CQM_RGGB && mosaic != CQM_BGGR) return k;
    for (int i = 0; i < 4; ++i)
        if (!usable_mean(m[i])) return k;

    const double avg = (m[0] + m[1] * 0.5f + m[2] * 0.5f + m[3]) / 3.0f;
    const double green = avg / ((m[1] + m[2]) * 0.5);
    if (mosaic == CQM_BGGR)
        k = {avg / m[3], green, avg / m[0]};
    else
        k = {avg / m[0], green, avg / m[3]};

    // Ties: Kr wins over Kg, and Kb only when strictly smaller.
    double least = k.Kr > k.Kg ? k.Kg : k.Kr;
    if (k.Kb < least) least = k.Kb;
    if (least != 0.0) return {k.Kr / least, k.Kg / least, k.Kb / least};
    return {1.0, 1.0, 1.0};
}

namespace {

// Says a line on standard error and keeps it for the status area.
void tell(const char* format, ...) __attribute__((format(printf, 1, 2)));
void tell(const char* format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    fprintf(stderr, "%s\n", line);
    acquisition_notice.set(line);
}

// A camera call that keeps failing frame after frame: reported once, when
// it has failed for more than a second in a row, and again only after it
// has worked in between.
class FailureRun {
public:
    explicit FailureRun(const char* what) : what_(what) {}

    void failed(const char* call, CQK_RETURN result) {
        const auto now = SteadyClock::now();
        if (!since_)
            since_ = now;
        else if (!reported_ && now - *since_ > TROUBLE_SPAN) {
            tell("%s failing for over a second: %s returned %d", what_, call, result);
            reported_ = true;
        }
    }

    void succeeded() {
        if (reported_) acquisition_notice.set("");
        since_.reset();
        reported_ = false;
    }

private:
    const char* what_;
    std::optional<SteadyClock::time_point> since_;
    bool reported_ = false;
};

// Everything the worker keeps for its whole life.
struct Worker {
    Window win;
    HANDLE handle = INVALID_HANDLE_VALUE;
    DWORD previous_fn = 0xFFFFFFFFu;
    XEvent expose{};
    XEvent destroy{};
    XEvent quiet{};  // nothing new for a second: the display's statistics tick all the same
    CQGETBITMAPOPT bitmap_options{};
    CQFILTER filter{};

    // Why the last open failed, for the message; null when a stop ended it.
    const char* failed_call = nullptr;
    CQK_RETURN failed_result = 0;

    FailureRun processing{"Colour processing"};
    FailureRun retrieval{"Bitmap retrieval"};

    // Camera resets that follow a reopen within a second are paced.
    std::optional<SteadyClock::time_point> opened_at;
    unsigned reopen_pause_ms = 0;
    bool resets_reported = false;

    CameraSilence silence{SteadyClock::now()};

    explicit Worker(Window w) : win(w) {
        expose.xexpose.type = Expose;
        expose.xexpose.display = worker_display;
        expose.xexpose.window = win;
        expose.xexpose.count = 0;

        destroy.xdestroywindow.type = DestroyNotify;
        destroy.xdestroywindow.display = worker_display;
        destroy.xdestroywindow.event = win;
        destroy.xdestroywindow.window = win;

        quiet.xclient.type = ClientMessage;
        quiet.xclient.display = worker_display;
        quiet.xclient.window = win;
        quiet.xclient.message_type = quiet_notice_atom(worker_display);
        quiet.xclient.format = 32;

        filter.dwFilter = 2;
        filter.gammaY = 1.0;
        filter.dwBPP = 8;
    }

    void send(XEvent& event, long mask) {
        XSendEvent(worker_display, win, True, mask, &event);
        XFlush(worker_display);
    }

    // Called wherever a frame could have come and did not, once the call
    // that gave none is recorded in `silence`. The exposure is read afresh:
    // the panel may have lengthened it since the open.
    void tell_silence() {
        const auto now = SteadyClock::now();
        silence.exposure(std::chrono::microseconds(lps->uiExposure.load()));
        if (silence.stall_due(now))
            tell("No frames from the camera for over a second: %s returned %d", silence.call(), silence.result());
        if (silence.quiet_notice_due(now) && lps->bRun) send(quiet, NoEventMask);
    }

    void tell_frames(int taken) {
        if (const auto stalled = silence.frame(SteadyClock::now(), taken)) {
            fprintf(stderr, "Frames from the camera again after %.1f s\n", *stalled);
            acquisition_notice.set("");  // nothing keeps frames away now
        }
    }

    bool fail(const char* call, CQK_RETURN result) {
        failed_call = call;
        failed_result = result;
        return false;
    }

    // Opens and configures the camera; false when it cannot be started.
    bool open() {
        DWORD id = 0;
        cqkGetDevice(0, &id);
        const CQK_RETURN initialized = cqkInitialize("", id, &handle);
        const CQK_RETURN ready = cqInitializeHardware(handle);
        if (handle == INVALID_HANDLE_VALUE) return fail("cqkInitialize", initialized);
        if (ready != 0) return fail("cqInitializeHardware", ready);
        cqSetExtention(handle, EXT_RAW_EN, 1);
        cqApplyCameraProfile(handle);
        cqSetGainVal(handle, lps->fGain);

        LUT lut{};
        lut.wVersion = 1;
        lut.wLenght = sizeof(LUT);
        lut.bUseDefault = 1;
        cqSetLUT(handle, &lut);

        const CQK_RETURN mode_set =
            cqSetMode(handle, lps->uiExposure, lps->uiMode, lps->dwROIx0, lps->dwROIy0, lps->dwROIcx, lps->dwROIcy);
        // A camera the library waits for (an outage) takes no mode now; the
        // library brings it back with the settings it ran, and the panel
        // shows those.
        if (mode_set != 0 && !camera_waiting(handle)) return fail("cqSetMode", mode_set);
        // Spins without a pause, as the camera expects; a stop request ends
        // the spin, so a camera that never completes cannot hang the worker.
        while (!cqIsSetModeComplete(handle)) {
            if (!lps->bRun) return false;  // stopped while the mode settles: straight to the exit path
            silence.no_frame("cqIsSetModeComplete", 0);
            tell_silence();
        }

        lps->fFPS = 100.0;
        lps->fFPS_sum = 100.0;
        float tpfi0 = 0, tpfie = 0, tpfr0 = 0, tpfre = 0;
        cqGetModeTiming(handle, &tpfi0, &tpfie, &tpfr0, &tpfre);
        const bool timed = tpfie != 0.0f && tpfre != 0.0f;
        if (timed) {
            const float fps = 1.0f / tpfre;
            lps->fFPS = fps;
            lps->fFPS_sum = fps;
        }
        // The period the silence is judged by until frames show their own
        // (an hour at most, whatever the library says).
        const float period_s = timed && tpfre > 0.0f ? std::min(tpfre, 3600.0f) : 0.0f;
        silence.opened(std::chrono::duration_cast<SteadyClock::duration>(std::chrono::duration<float>(period_s)));
        const CQK_RETURN started = cqStartAcquisition(handle);
        if (started != 0) return fail("cqStartAcquisition", started);
        opened_at = SteadyClock::now();
        return true;
    }

    // Stops and closes the handle. Done under the frame lock, and gf forgets
    // its frame first: the camera may free or reuse the buffers of a closed
    // handle, and a redraw must never copy from them.
    void close() {
        if (handle == INVALID_HANDLE_VALUE) return;
        {
            // The display never copies a frame the closing camera frees.
            // Only the pointer needs the lock: a camera can take seconds to
            // close, and every redraw would wait with it.
            std::lock_guard<std::mutex> lock(frame_mutex);
            lps->gf.bp = nullptr;
        }
        cqStopAcquisition(handle);
        cqkUninitialize(handle);
        handle = INVALID_HANDLE_VALUE;
    }

    // Waits for data, or closes the camera when it asks to be reopened.
    void wait() {
        while (lps->bRun) {
            const CQK_RETURN result = cqWaitForField(handle, WAIT_TIMEOUT_MS);
            if (result == 0) return;
            silence.no_frame("cqWaitForField", result);
            tell_silence();
            if (result == CQK_WAIT_REOPEN_LOST || result == CQK_WAIT_REOPEN_RESET) {
                close();
                pace_reopen(result);
                return;
            }
        }
    }

    // A camera stuck in resets must not have the worker reopen it in a
    // tight loop: a reset within a second of the last reopen makes the
    // worker pause before the next, longer each time up to a second. A stop
    // request ends the pause at once.
    void pace_reopen(CQK_RETURN result) {
        const bool soon = opened_at && SteadyClock::now() - *opened_at < TROUBLE_SPAN;
        if (!soon) {
            reopen_pause_ms = 0;
            resets_reported = false;
            return;
        }
        reopen_pause_ms = next_reopen_pause_ms(reopen_pause_ms);
        if (!resets_reported) {
            fprintf(stderr,
                    "Camera reset again within a second of reopening: cqWaitForField returned %d; "
                    "pausing before each reopen\n",
                    result);
            resets_reported = true;
        }
        wait_unless_stopped(std::chrono::milliseconds(reopen_pause_ms));
    }

    // Takes every ready field, retrieving each into gf and counting it; how
    // many it took.
    int take_ready_fields() {
        std::lock_guard<std::mutex> lock(frame_mutex);
        int taken = 0, failed = 0;
        void* data = nullptr;
        CQK_RETURN ready;
        while ((ready = cqIsFieldReady(handle)) == 0) {
            if (const CQK_RETURN acquired = cqAcquireField(handle, &data); acquired != 0 || data == nullptr) {
                silence.no_frame("cqAcquireField", acquired);
                ++failed;
                continue;
            }
            if (lps->color) {
                cqUpdateFrame(handle, data);
                cqRetrieveFrameEx(handle, &lps->gf);
            } else {
                cqUpdateBayerFrame(handle, data);
                cqRetrieveFrameBayerEx(handle, &lps->gf);
            }
            lps->dwNframes.fetch_add(1);
            lps->dwLframes.fetch_add(lost_frames(previous_fn, lps->gf.curFN));
            previous_fn = lps->gf.curFN;
            ++taken;
        }
        if (taken == 0 && failed == 0) silence.no_frame("cqIsFieldReady", ready);
        return taken;
    }

    void measure_white_balance() {
        float means[4] = {0, 0, 0, 0};
        cqGetMeans(handle, 0, 0, lps->gf.curCX, lps->gf.curCY, means);
        const WhiteBalance k = white_balance_gains(means, lps->gf.curMTX, {lps->Kr, lps->Kg, lps->Kb});
        lps->Kr = k.Kr;
        lps->Kg = k.Kg;
        lps->Kb = k.Kb;
    }

    // Makes the colour frame; false when the frame is dropped.
    bool process_colour() {
        if (lps->bTakeWB.exchange(0)) measure_white_balance();
        filter.rgbWhiteBal[0] = lps->Kr;
        filter.rgbWhiteBal[1] = lps->Kg;
        filter.rgbWhiteBal[2] = lps->Kb;
        cqSetupFilter(handle, &filter);
        cqApplyDefaultColorCorrectionMatrix(handle);
        const DWORD bpp = lps->gf.curBPP;
        const DWORD top = bpp >= 32 ? 0xFFFFFFFFu : (DWORD(1) << bpp) - 1u;
        cqSetupCE(handle, 0, top);
        if (const CQK_RETURN result = cqProcessFrame(handle); result != 0) {
            processing.failed("cqProcessFrame", result);
            return false;
        }
        processing.succeeded();

        // While the display has not taken the last bitmap, frames are
        // processed but not turned into bitmaps.
        if (bitmap_slot_empty()) {
            CQGETBITMAP bitmap{};
            const CQK_RETURN result = cqRetrieveBitmapAdv(handle, &bitmap, &bitmap_options);
            if (result == 0 && bitmap.bp) {
                publish_bitmap(bitmap);
                retrieval.succeeded();
            } else {
                retrieval.failed("cqRetrieveBitmapAdv", result);
            }
        }
        return true;
    }

    void run() {
        // A notice of an earlier run may have gone to a window that is gone.
        reset_frame_notices();
        acquisition_notice.set("");
        if (!worker_begin_run()) return;
        while (lps->bRun) {
            if (handle == INVALID_HANDLE_VALUE && !open()) {
                if (failed_call)
                    tell("Acquisition stopped: the camera could not be started: %s returned %d", failed_call,
                         failed_result);
                lps->bRun = 0;
                return;
            }
            wait();
            if (!lps->bRun) return;
            if (handle == INVALID_HANDLE_VALUE) continue;
            // A pass that took no field has nothing new to show: the display
            // is not asked to draw the last frame again.
            const int taken = take_ready_fields();
            if (taken > 0) tell_frames(taken);
            if (taken > 0 && cqIsFrameComplete(handle) && (!lps->color || process_colour())) {
                lps->bHaveData = 1;
                if (lps->bRun && claim_frame_notice()) send(expose, ExposureMask);
                silence.noticed(SteadyClock::now());
            } else {
                tell_silence();
            }
        }
    }

    void exit_path() {
        close();
        // Freed in every case: all zero when the slot was already empty.
        CQGETBITMAP waiting{};
        take_bitmap(&waiting);
        cqFreeBitmap(0, &waiting);
        send(destroy, StructureNotifyMask);
    }
};

}  // namespace

void* acquisition(void* arg) {
    Worker worker(static_cast<Window>(reinterpret_cast<uintptr_t>(arg)));
    worker.run();
    worker.exit_path();
    return nullptr;
}
