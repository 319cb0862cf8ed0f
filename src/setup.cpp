// The setup record, the clock and the camera setup.
// setupCam runs on the main thread while no display thread or worker runs.
#include "setup.h"

#include <sys/time.h>

#include <cstring>

#include "camera_condition.h"

SETUP setup{};
SETUP* const lps = &setup;

HANDLE hMV = INVALID_HANDLE_VALUE;
std::mutex hMV_mutex;
bool has_derive = true;
std::string setup_failure;
Display* x11_display = nullptr;
Display* worker_display = nullptr;
int max_width = 0;
int max_height = 0;

static DWORD time_of_day_ms() {
    timeval tv;
    gettimeofday(&tv, nullptr);
    return static_cast<DWORD>(tv.tv_sec) * 1000u + static_cast<DWORD>(tv.tv_usec / 1000);
}

static std::atomic<MillisecondClock> clock_source{time_of_day_ms};

DWORD getcurms() { return clock_source.load(std::memory_order_relaxed)(); }

void set_millisecond_clock(MillisecondClock source) { clock_source = source ? source : time_of_day_ms; }

double elapsed_seconds(DWORD from_ms, DWORD to_ms) { return static_cast<DWORD>(to_ms - from_ms) / 1000.0; }

void setT0() { lps->pcn0 = getcurms(); }

double getT() {
    lps->pcn = getcurms();
    return elapsed_seconds(lps->pcn0, lps->pcn);
}

// Every field back to zero.
static void reset_record(SETUP& r) {
    r.uiExposure = 0;
    r.uiMode = 0;
    r.fGain = 0.0f;
    r.gf = {};
    r.sgf = {};
    r.bRun = 0;
    r.bHaveData = 0;
    r.dwROIx0 = r.dwROIy0 = r.dwROIcx = r.dwROIcy = 0;
    r.dwNframes = 0;
    r.dwPframes = 0;
    r.dwLframes = 0;
    r.dwTime = 0;
    r.dwCx = r.dwCy = 0;
    r.fFPS = 0.0;
    r.fFPS_sum = 0.0;
    r.fTPF = 0.0;
    r.pcn = r.pcn0 = 0;
    r.putsurface_time = 0;
    r.frame_num = 0;
    r.m_roi_x0 = r.m_roi_y0 = r.m_roi_cx = r.m_roi_cy = 0;
    r.show = 0;
    r.color = 0;
    r.sbmp = {};
    r.bmp = {};
    r.bTakeWB = 0;
    r.Kr = r.Kg = r.Kb = 0.0;
    r.videoThread = {};
    r.zoom = 0;
    r.dummy = 0;
    r.bDrawImage = 0;
    std::memset(r.szMode, 0, sizeof r.szMode);
    r.nGetFrame = 0;
    r.dwHWN2 = 0;
    r.bWasRunning = 0;
    r.dwSerial = 0;
    r.x0 = r.y0 = r.cx = r.cy = r.px = r.py = r.pv = 0;
    r.bSaveImage = 0;
}

void setupCam() {
    // The reset would drop bitmaps still held in the record; free them first.
    cqFreeBitmap(0, &lps->bmp);
    cqFreeBitmap(0, &lps->sbmp);

    reset_record(*lps);

    lps->bDrawImage = 1;
    lps->uiExposure = 10000;
    lps->uiMode = 0;
    lps->fGain = 0.0f;
    lps->zoom = 2;
    lps->Kb = lps->Kg = lps->Kr = 1.0;

    setup_failure.clear();
    DWORD count = 0;
    cqkGetNumberDevices("", &count);
    if (count == 0) {
        setup_failure = "The camera library finds no camera. Check that the camera is powered and connected.";
        return;
    }

    DWORD id = 0;
    cqkGetDevice(0, &id);
    std::lock_guard<std::mutex> lock(hMV_mutex);
    const CQK_RETURN opened = cqkInitialize("", id, &hMV);
    if (hMV == INVALID_HANDLE_VALUE) {
        // The library's own words where it has them (a camera it cannot use, say).
        CQCONDITION why{};
        setup_failure = camera_condition(INVALID_HANDLE_VALUE, &why) && why.szProblem[0]
                            ? why.szProblem
                            : "The camera could not be opened: cqkInitialize returned " + std::to_string(opened) + ".";
    }
    if (hMV != INVALID_HANDLE_VALUE) {
        cqInitializeHardware(hMV);
        cqApplyCameraProfile(hMV);
        lps->dwNframes = 0;
        lps->dwPframes = 0;
        lps->dwLframes = 0;
        lps->dwTime = 0;
    }
}

void close_control_handle() {
    std::lock_guard<std::mutex> lock(hMV_mutex);
    if (hMV != INVALID_HANDLE_VALUE) {
        cqkUninitialize(hMV);
        hMV = INVALID_HANDLE_VALUE;
    }
}
