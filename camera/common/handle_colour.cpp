// handle_colour.cpp - see handle_colour.h.  Any thread.
#include "handle_colour.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "bitmap_pool.h"
#include "common_result_codes.h"

namespace zebcommon {
namespace {

double sane_gain(double gain) { return std::isfinite(gain) ? std::clamp(gain, 0.0, 64.0) : 1.0; }

// Below this many pixels a frame is processed on the caller's thread alone:
// waking the others would cost more than it saves.
constexpr size_t kBandedPixels = size_t{1} << 18;

std::shared_ptr<tolmirex::BandPool> shared_bands() {
    static std::mutex mutex;                                    // protects pool
    static auto* pool = new std::weak_ptr<tolmirex::BandPool>;  // never destroyed: handles close during exit
    std::lock_guard lock(mutex);
    auto bands = pool->lock();
    if (!bands) {
        bands = std::make_shared<tolmirex::BandPool>();
        *pool = bands;
    }
    return bands;
}

tolmirex::BandPool* bands_for(HandleColour& colour, const colour::RawImage& raw) {
    if (size_t{raw.width} * raw.height < kBandedPixels || tolmirex::usable_threads() < 2) return nullptr;
    if (!colour.bands) colour.bands = shared_bands();
    return colour.bands.get();
}

}  // namespace

HandleColour::~HandleColour() { release_block(image); }

int setup_filter(HandleColour& colour, const CQFILTER* filter) {
    if (!filter) return kBadArgument;
    std::lock_guard lock(colour.mutex);
    colour::Settings& s = colour.settings;
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
    colour.settings_changed = true;
    return kOk;
}

void apply_default_colour_matrix(HandleColour& colour) {
    std::lock_guard lock(colour.mutex);
    colour.settings.matrix = colour::default_correction_matrix();
    colour.settings_changed = true;
}

int setup_contrast(HandleColour& colour, DWORD black, DWORD top) {
    if (top <= black) return kBadArgument;
    std::lock_guard lock(colour.mutex);
    colour.settings.black = black;
    colour.settings.top = top;
    colour.settings_changed = true;
    return kOk;
}

int current_frame_means(FrameExchange& frames, HandleQueue* handle, HandleColour& colour, DWORD x0, DWORD y0, DWORD cx,
                        DWORD cy, float means[4]) {
    if (!means) return kBadArgument;
    FrameBuffer* frame = frames.pin_current(handle);
    if (!frame) return kNoData;
    const colour::RawImage raw = raw_image(*frame);
    std::optional<std::array<double, 4>> result;
    {
        std::lock_guard lock(colour.mutex);
        result = colour::mosaic_means(raw, x0, y0, cx, cy, bands_for(colour, raw));
    }
    frames.unpin(frame);
    if (!result) return kBadArgument;
    for (int i = 0; i < 4; ++i) means[i] = static_cast<float>((*result)[i]);
    return kOk;
}

int process_current_frame(FrameExchange& frames, HandleQueue* handle, HandleColour& colour) {
    FrameBuffer* frame = frames.pin_current(handle);
    if (!frame) return kNoData;
    {
        std::lock_guard lock(colour.mutex);
        if (colour.settings_changed) {
            colour.pipeline.configure(colour.settings);
            colour.settings_changed = false;
        }
        const colour::RawImage raw = raw_image(*frame);
        const size_t bytes = size_t{raw.width} * raw.height * sizeof(uint32_t);
        if (colour.image && colour.image_bytes() != bytes) {
            release_block(colour.image);
            colour.image = nullptr;
        }
        if (!colour.image) colour.image = take_block(bytes);
        if (!colour.image) {
            frames.unpin(frame);
            return kFailed;
        }
        colour.pipeline.process(raw, reinterpret_cast<uint32_t*>(colour.image), bands_for(colour, raw));
        colour.image_width = raw.width;
        colour.image_height = raw.height;
        colour.image_frame_number = frame->facts.descriptor.curFN;
    }
    frames.unpin(frame);
    return kOk;
}

int retrieve_bitmap(HandleColour& colour, CQGETBITMAP* bitmap) {
    std::lock_guard lock(colour.mutex);
    if (!colour.image) return kNoData;  // none processed since the last one was handed out
    std::memset(bitmap, 0, sizeof *bitmap);
    bitmap->bp = colour.image;
    colour.image = nullptr;
    bitmap->w = bitmap->cx = colour.image_width;
    bitmap->h = bitmap->cy = colour.image_height;
    bitmap->dwBPP = 32;
    bitmap->fn = colour.image_frame_number;
    return kOk;
}

int free_bitmap(CQGETBITMAP* bitmap) {
    if (!bitmap) return kBadArgument;
    if (!release_block(bitmap->bp)) {
        std::fprintf(stderr, "cqFreeBitmap: %p is no bitmap this library handed out (or was freed already); ignored\n",
                     static_cast<void*>(bitmap->bp));
        return kBadArgument;
    }
    bitmap->bp = nullptr;
    return kOk;
}

}  // namespace zebcommon
