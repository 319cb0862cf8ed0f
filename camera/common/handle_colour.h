// handle_colour.h - a handle's colour processing: the settings the caller
// gave (cqSetupFilter, cqSetupCE, the default matrix), the colour pipeline
// built from them, and the last processed image that cqRetrieveBitmapAdv
// copies out.  The bodies of those entry points and of cqGetMeans,
// cqProcessFrame and cqFreeBitmap, once the library found the handle.
//
// Any thread: each HandleColour has its own mutex, and frames are pinned in
// the exchange while they are read.
#pragma once

#include <zebapi.h>

#include <cstdint>
#include <memory>
#include <mutex>

#include "colour_pipeline.h"
#include "frame_exchange.h"

namespace zebcommon {

struct HandleColour {
    HandleColour() = default;
    HandleColour(const HandleColour&) = delete;
    HandleColour& operator=(const HandleColour&) = delete;
    ~HandleColour();

    std::mutex mutex;  // protects everything below: the settings, the pipeline and its output
    colour::Settings settings;
    bool settings_changed = true;  // the pipeline is rebuilt lazily, on the next frame processed
    colour::Pipeline pipeline;
    // The library's colour threads, shared by every handle that processed a
    // colour frame: started with the first, joined when the last such handle
    // is closed.
    std::shared_ptr<tolmirex::BandPool> bands;
    // Last cqProcessFrame result, BGRx, image_width x image_height, in a
    // block of the bitmap pool; null when there is none, or when
    // cqRetrieveBitmapAdv has handed it out.  The block then is the caller's
    // alone, so a read after cqFreeBitmap is a read of freed (poisoned)
    // memory, and the next cqProcessFrame writes into another one.
    uint8_t* image = nullptr;
    uint32_t image_width = 0, image_height = 0, image_frame_number = 0;

    size_t image_bytes() const { return size_t{image_width} * image_height * sizeof(uint32_t); }
};

int setup_filter(HandleColour& colour, const CQFILTER* filter);
void apply_default_colour_matrix(HandleColour& colour);
int setup_contrast(HandleColour& colour, DWORD black, DWORD top);

// On the handle's current frame; kNoData when it has none.
int current_frame_means(FrameExchange& frames, HandleQueue* handle, HandleColour& colour, DWORD x0, DWORD y0, DWORD cx,
                        DWORD cy, float means[4]);
int process_current_frame(FrameExchange& frames, HandleQueue* handle, HandleColour& colour);

// The bitmap is the caller's until it passes it to free_bitmap.
int retrieve_bitmap(HandleColour& colour, CQGETBITMAP* bitmap);
int free_bitmap(CQGETBITMAP* bitmap);

}  // namespace zebcommon
