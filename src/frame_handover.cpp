// The worker -> display thread hand-overs. Each function runs on the threads
// its declaration names.
#include "frame_handover.h"

#include <atomic>
#include <cstddef>
#include <cstring>
#include <type_traits>

#include "setup.h"

std::mutex frame_mutex;

size_t frame_bytes(const CQGETFRAMEEX& frame) {
    const size_t bytes_per_pixel = (frame.modeRDO & CQ_RDO_8BIT) ? 1 : 2;
    return size_t(frame.curCX) * frame.curCY * bytes_per_pixel;
}

void snapshot_frame(CQGETFRAMEEX* sgf, std::vector<BYTE>* pixels) {
    std::lock_guard<std::mutex> lock(frame_mutex);
    *sgf = lps->gf;
    if (!pixels) sgf->bp = nullptr;
    if (!sgf->bp) return;
    const size_t bytes = frame_bytes(*sgf);
    if (pixels->size() < bytes) pixels->resize(bytes);
    std::memcpy(pixels->data(), sgf->bp, bytes);
    sgf->bp = pixels->data();
}

std::unique_lock<std::mutex> hold_newest_frame(CQGETFRAMEEX* sgf) {
    std::unique_lock<std::mutex> lock(frame_mutex);
    const CQGETFRAMEEX& gf = lps->gf;
    const bool same_layout = gf.curCX == sgf->curCX && gf.curCY == sgf->curCY && gf.curBPP == sgf->curBPP &&
                             (gf.modeRDO & CQ_RDO_8BIT) == (sgf->modeRDO & CQ_RDO_8BIT);
    if (!gf.bp || !same_layout) {
        lock.unlock();
        return lock;
    }
    *sgf = gf;
    return lock;
}

void replace_shown_bitmap(const CQGETBITMAP& taken) {
    std::lock_guard<std::mutex> lock(frame_mutex);
    cqFreeBitmap(0, &lps->sbmp);
    lps->sbmp = taken;
}

bool copy_shown_bitmap(CQGETBITMAP* copy, std::vector<BYTE>* pixels) {
    std::lock_guard<std::mutex> lock(frame_mutex);
    const CQGETBITMAP& shown = lps->sbmp;
    if (!shown.bp || shown.w == 0 || shown.h == 0) return false;
    const size_t bytes = size_t(shown.w) * shown.h * 4;
    pixels->assign(shown.bp, shown.bp + bytes);
    *copy = shown;
    copy->bp = pixels->data();
    return true;
}

// The slot's pointer is the only field both sides touch at the same time;
// the rest of the descriptor is written by the worker only while the pointer
// is null and read by the taker only while it is not.
static std::atomic_ref<BYTE*> slot_pointer() { return std::atomic_ref<BYTE*>(lps->bmp.bp); }

// The descriptor is copied bytewise around its leading pointer.
static_assert(offsetof(CQGETBITMAP, bp) == 0, "the pointer leads the bitmap descriptor");
static_assert(offsetof(CQGETBITMAP, z) == sizeof(BYTE*), "the rest follows the pointer without a gap");
static_assert(std::is_trivially_copyable_v<CQGETBITMAP>, "the descriptor is plain data");

static void copy_all_but_pointer(CQGETBITMAP* to, const CQGETBITMAP& from) {
    constexpr size_t skip = offsetof(CQGETBITMAP, z);
    std::memcpy(reinterpret_cast<char*>(to) + skip, reinterpret_cast<const char*>(&from) + skip,
                sizeof(CQGETBITMAP) - skip);
}

bool bitmap_slot_empty() { return slot_pointer().load(std::memory_order_acquire) == nullptr; }

void publish_bitmap(const CQGETBITMAP& bitmap) {
    copy_all_but_pointer(&lps->bmp, bitmap);
    slot_pointer().store(bitmap.bp, std::memory_order_release);
}

bool take_bitmap(CQGETBITMAP* out) {
    if (slot_pointer().load(std::memory_order_acquire) == nullptr) return false;
    CQGETBITMAP taken;
    copy_all_but_pointer(&taken, lps->bmp);
    taken.bp = slot_pointer().exchange(nullptr, std::memory_order_acq_rel);
    if (!taken.bp) return false;  // the worker's exit path took it first
    *out = taken;
    return true;
}

// The exchanges pair up (acquire and release), so a redraw after
// frame_notice_taken() sees every frame published before a claim that found
// the notice still in flight.
static std::atomic<bool> frame_notice_in_flight{false};

void reset_frame_notices() { frame_notice_in_flight.store(false); }

bool claim_frame_notice() { return !frame_notice_in_flight.exchange(true, std::memory_order_acq_rel); }

void frame_notice_taken() { frame_notice_in_flight.exchange(false, std::memory_order_acq_rel); }

Atom quiet_notice_atom(Display* dpy) { return XInternAtom(dpy, "_TOLMIREX_QUIET", False); }
