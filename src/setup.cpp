// The setup record, the clock and the camera setup.
// setupCam runs on the main thread while no display thread or worker runs;
// the hand-over operations run on the threads their comments name.
#include "setup.h"

#include <sys/time.h>

#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <new>

SETUP setup{};
SETUP* const lps = &setup;

HANDLE hMV = INVALID_HANDLE_VALUE;
std::mutex hMV_mutex;
bool has_derive = true;
Display* x11_display = nullptr;
Display* worker_display = nullptr;
int max_width = 0;
int max_height = 0;

std::mutex frame_mutex;

// Counts stop requests; a live run remembers the count it began with.
static std::atomic<unsigned> stop_generation{0};
static std::atomic<unsigned> run_generation{0};

static DWORD time_of_day_ms()
{
    timeval tv;
    gettimeofday(&tv, nullptr);
    return static_cast<DWORD>(tv.tv_sec) * 1000u + static_cast<DWORD>(tv.tv_usec / 1000);
}

static std::atomic<MillisecondClock> clock_source{time_of_day_ms};

DWORD getcurms()
{
    return clock_source.load(std::memory_order_relaxed)();
}

void set_millisecond_clock(MillisecondClock source)
{
    clock_source = source ? source : time_of_day_ms;
}

double elapsed_seconds(DWORD from_ms, DWORD to_ms)
{
    return static_cast<DWORD>(to_ms - from_ms) / 1000.0;
}

void setT0()
{
    lps->pcn0 = getcurms();
}

double getT()
{
    lps->pcn = getcurms();
    return elapsed_seconds(lps->pcn0, lps->pcn);
}

void setupCam()
{
    // The reset would drop bitmaps still held in the record; free them first.
    cqFreeBitmap(0, &lps->bmp);
    cqFreeBitmap(0, &lps->sbmp);

    lps->~SETUP();
    new (lps) SETUP{};  // every field zero

    lps->bDrawImage = 1;
    lps->uiExposure = 10000;
    lps->uiMode = 0;
    lps->fGain = 0.0f;
    lps->zoom = 2;
    lps->Kb = lps->Kg = lps->Kr = 1.0;

    DWORD count = 0;
    cqkGetNumberDevices("", &count);
    if (count == 0)
        return;

    DWORD id = 0;
    cqkGetDevice(0, &id);
    std::lock_guard<std::mutex> lock(hMV_mutex);
    cqkInitialize("", id, &hMV);
    if (hMV != INVALID_HANDLE_VALUE) {
        cqInitializeHardware(hMV);
        cqApplyCameraProfile(hMV);
        lps->dwNframes = 0;
        lps->dwPframes = 0;
        lps->dwLframes = 0;
        lps->dwTime = 0;
    }
}

void close_control_handle()
{
    std::lock_guard<std::mutex> lock(hMV_mutex);
    if (hMV != INVALID_HANDLE_VALUE) {
        cqkUninitialize(hMV);
        hMV = INVALID_HANDLE_VALUE;
    }
}

size_t frame_bytes(const CQGETFRAMEEX& frame)
{
    const size_t bytes_per_pixel = (frame.modeRDO & CQ_RDO_8BIT) ? 1 : 2;
    return size_t(frame.curCX) * frame.curCY * bytes_per_pixel;
}

void snapshot_frame(CQGETFRAMEEX* sgf, std::vector<BYTE>* pixels)
{
    std::lock_guard<std::mutex> lock(frame_mutex);
    *sgf = lps->gf;
    if (!pixels)
        sgf->bp = nullptr;
    if (!sgf->bp)
        return;
    const size_t bytes = frame_bytes(*sgf);
    if (pixels->size() < bytes)
        pixels->resize(bytes);
    std::memcpy(pixels->data(), sgf->bp, bytes);
    sgf->bp = pixels->data();
}

// The slot's pointer is the only field both sides touch at the same time;
// the rest of the descriptor is written by the worker only while the pointer
// is null and read by the taker only while it is not.
static std::atomic_ref<BYTE*> slot_pointer()
{
    return std::atomic_ref<BYTE*>(lps->bmp.bp);
}

static void copy_all_but_pointer(CQGETBITMAP* to, const CQGETBITMAP& from)
{
    constexpr size_t skip = offsetof(CQGETBITMAP, z);
    std::memcpy(reinterpret_cast<char*>(to) + skip, reinterpret_cast<const char*>(&from) + skip,
                sizeof(CQGETBITMAP) - skip);
}

bool bitmap_slot_empty()
{
    return slot_pointer().load(std::memory_order_acquire) == nullptr;
}

void publish_bitmap(const CQGETBITMAP& bitmap)
{
    copy_all_but_pointer(&lps->bmp, bitmap);
    slot_pointer().store(bitmap.bp, std::memory_order_release);
}

bool take_bitmap(CQGETBITMAP* out)
{
    if (slot_pointer().load(std::memory_order_acquire) == nullptr)
        return false;
    CQGETBITMAP taken;
    copy_all_but_pointer(&taken, lps->bmp);
    taken.bp = slot_pointer().exchange(nullptr, std::memory_order_acq_rel);
    if (!taken.bp)
        return false;  // the worker's exit path took it first
    *out = taken;
    return true;
}

// Wakes a worker that pauses between camera reopens.
static std::mutex stop_mutex;
static std::condition_variable stop_requested;

void request_stop()
{
    // The count goes up before bRun is cleared, so a worker that sets bRun
    // and then finds the old count is still stopped by the clear that follows.
    stop_generation.fetch_add(1);
    lps->bRun = 0;
    lps->bHaveData = 0;
    {
        std::lock_guard<std::mutex> lock(stop_mutex);  // no wake-up lost between test and wait
    }
    stop_requested.notify_all();
}

bool wait_unless_stopped(std::chrono::milliseconds pause)
{
    std::unique_lock<std::mutex> lock(stop_mutex);
    return !stop_requested.wait_for(lock, pause, [] { return !lps->bRun; });
}

void begin_live_run()
{
    run_generation = stop_generation.load();
}

bool worker_begin_run()
{
    lps->bRun = 1;
    if (stop_generation.load() == run_generation.load())
        return true;
    lps->bRun = 0;
    return false;
}
