// Threads: any, one at a time: the owning driver instance serialises calls
// with its presentation mutex.  Xlib calls go through the program's connection,
// which the program has made thread-safe with XInitThreads.
// Draws NV12 pictures into X11 drawables: scales and converts them into a
// client-side image and sends it with MIT-SHM when the server takes it (the
// segment is kept and reused while it is large enough), plain XPutImage in
// strips paced by the server otherwise.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <va/va.h>

#include <memory>

#include "aligned_bytes.h"
#include "scale_convert.h"
#include "strip_pacing.h"

namespace softva {

class X11Presenter {
public:
    // bands: the driver's conversion threads, used for large pictures (or
    // none: every picture on the calling thread).
    X11Presenter(Display* display, bool allow_shm, tolmirex::BandPool* bands = nullptr);
    ~X11Presenter();
    X11Presenter(const X11Presenter&) = delete;
    X11Presenter& operator=(const X11Presenter&) = delete;

    // Shows `source` (a rectangle inside the picture) scaled to `destination`
    // in the drawable; parts outside the drawable are skipped.
    VAStatus present(const Nv12Picture& picture, Rect source, Drawable drawable, Rect destination);

    bool using_shm() const { return shm_attached_; }

private:
    VAStatus adopt_drawable_format(Drawable drawable, Window root, unsigned depth);
    // The part of a width x height drawable that can be seen on its screen.
    Rect part_on_screen(Drawable drawable, Window root, int width, int height);
    bool ensure_image(int width, int height);
    bool attach_segment(std::size_t bytes);
    void release_image();
    void release_segment();

    Display* display_;
    RowKernels kernels_;
    ScalePlan plan_;
    bool has_plan_ = false;
    ConvertScratch scratch_;
    tolmirex::BandPool* bands_;
    std::vector<ConvertScratch> band_scratch_;  // one a band

    // Format of the drawables drawn into last; GC and image depend on it.
    Window root_ = 0;
    unsigned depth_ = 0;
    Visual* visual_ = nullptr;
    PixelOrder order_ = PixelOrder::bgrx;
    GC gc_ = nullptr;
    int screen_width_ = 0, screen_height_ = 0;

    bool shm_usable_ = false;
    int shm_major_opcode_ = 0;
    XShmSegmentInfo segment_{};
    bool shm_attached_ = false;
    std::size_t segment_bytes_ = 0;

    std::size_t strip_bytes_ = kFirstStripBytes;  // without MIT-SHM: what the link carries in about 50 ms

    XImage* image_ = nullptr;  // header only; its pixels live in the segment or plain_pixels_
    std::unique_ptr<AlignedBytes> plain_pixels_;
};

}  // namespace softva
