// The frame upload. Display thread only: it reads lps->sgf and lps->sbmp,
// which the display thread filled just before the call.
#include "frame_upload.h"

#include <va/va_x11.h>

#include <cstdint>
#include <cstdio>
#include <mutex>

#include "clip_marking.h"
#include "frame_handover.h"
#include "picture_options.h"
#include "setup.h"
#include "va_report.h"
#include "yuv_convert.h"

namespace {

constexpr const char* va_reporter = "drawImage";

// Plane p of a mapped image.
uint8_t* plane(void* mapped, const VAImage& image, int p) { return static_cast<uint8_t*>(mapped) + image.offsets[p]; }

// Neutral chroma over every chroma row of the image, odd heights included.
void fill_chroma(void* mapped, const VAImage& image) {
    const int rows = (image.height + 1) / 2;
    const int half_width = (image.width + 1) / 2;
    if (image.format.fourcc == VA_FOURCC_NV12) {
        for (int r = 0; r < rows; ++r)
            fill_neutral_chroma(plane(mapped, image, 1) + size_t(r) * image.pitches[1], 2 * half_width);
        return;
    }
    for (int p = 1; p <= 2; ++p)
        for (int r = 0; r < rows; ++r)
            fill_neutral_chroma(plane(mapped, image, p) + size_t(r) * image.pitches[p], half_width);
}

// The chroma rows of an NV12 or YV12 image, for the clipped-pixel painting.
ChromaPlanes chroma_planes(void* mapped, const VAImage& image) {
    if (image.format.fourcc == VA_FOURCC_NV12) {
        uint8_t* uv = plane(mapped, image, 1);
        const int pitch = static_cast<int>(image.pitches[1]);
        return {uv, uv + 1, pitch, pitch, 2};
    }
    return {plane(mapped, image, 2), plane(mapped, image, 1), static_cast<int>(image.pitches[2]),
            static_cast<int>(image.pitches[1]), 1};
}

void write_monochrome(const CQGETFRAMEEX& frame, void* mapped, const VAImage& image, int width, int height,
                      bool mark_clipped) {
    uint8_t* luma = plane(mapped, image, 0);
    const int pitch = static_cast<int>(image.pitches[0]);
    const bool eight = (frame.modeRDO & CQ_RDO_8BIT) != 0;
    const int bits = frame.curBPP > 64 ? 64 : static_cast<int>(frame.curBPP);
    if (eight)
        copy_rows_8bit(static_cast<const uint8_t*>(frame.bp), width, height, luma, pitch);
    else
        shift_rows_16bit(static_cast<const uint16_t*>(frame.bp), width, height, bits, luma, pitch);
    fill_chroma(mapped, image);
    if (!mark_clipped) return;
    if (eight)
        mark_clipped_mono8(static_cast<const uint8_t*>(frame.bp), width, height, luma, pitch,
                           chroma_planes(mapped, image));
    else
        mark_clipped_mono16(static_cast<const uint16_t*>(frame.bp), width, height, bits, luma, pitch,
                            chroma_planes(mapped, image));
}

void write_colour(const CQGETBITMAP& bitmap, void* mapped, const VAImage& image, int width, int height,
                  bool mark_clipped) {
    uint8_t* luma = plane(mapped, image, 0);
    const int pitch = static_cast<int>(image.pitches[0]);
    if (image.format.fourcc == VA_FOURCC_NV12)
        bgrx_to_nv12(bitmap.bp, width, height, luma, pitch, plane(mapped, image, 1),
                     static_cast<int>(image.pitches[1]));
    else  // YV12: V (Cr) in plane 1, U (Cb) in plane 2
        bgrx_to_yv12(bitmap.bp, width, height, luma, pitch, plane(mapped, image, 1), static_cast<int>(image.pitches[1]),
                     plane(mapped, image, 2), static_cast<int>(image.pitches[2]));
    if (mark_clipped) mark_clipped_bgrx(bitmap.bp, width, height, luma, pitch, chroma_planes(mapped, image));
}

// True when the source holds at least width x height pixels. A mode change
// can leave the frame and the held bitmap of different sizes while colour
// output is switched over; such a pass draws nothing rather than read past
// the source.
bool source_covers(bool colour, int width, int height) {
    if (colour) return lps->sbmp.bp && lps->sbmp.w >= unsigned(width) && lps->sbmp.h >= unsigned(height);
    return lps->sgf.curCX >= unsigned(width) && lps->sgf.curCY >= unsigned(height);
}

// The VA image of one upload. Whatever path the upload leaves by, it is
// unmapped if mapped and destroyed if it exists; release() does the same on
// the way to presenting, reporting each failure.
struct UploadImage {
    explicit UploadImage(VADisplay dpy) : va_dpy(dpy) {}
    UploadImage(const UploadImage&) = delete;
    UploadImage& operator=(const UploadImage&) = delete;

    ~UploadImage() {
        if (mapped) vaUnmapBuffer(va_dpy, image.buf);
        if (exists) vaDestroyImage(va_dpy, image.image_id);
    }

    bool release() {
        if (mapped) {
            mapped = false;
            if (VA_CALL(vaUnmapBuffer, va_dpy, image.buf)) return false;
        }
        exists = false;
        return !VA_CALL(vaDestroyImage, va_dpy, image.image_id);
    }

    VADisplay va_dpy;
    VAImage image{};
    bool exists = false;
    bool mapped = false;
};

// Reports a failed derivation once and switches to created images for good.
bool derive_failed(int line, VAStatus status) {
    if (status == VA_STATUS_SUCCESS) return false;
    fprintf(stderr, "%s:vaDeriveImage (%d) failed %d, will fallback to vaCreateImage/vaPutImage\n", va_reporter, line,
            status);
    has_derive = false;
    return true;
}

}  // namespace

int drawImage(VADisplay va_dpy, VASurfaceID surface_id, VAImageFormat* image_format, int surface_width,
              int surface_height, Window win, int win_width, int win_height, const ViewGeometry* view) {
    if (!lps->show) return 1;
    const bool colour = lps->color;  // read once: the panel may switch it meanwhile
    const bool mark_clipped = show_clipped_pixels;  // once a frame: the plain path pays nothing for it
    if (surface_width <= 0 || surface_height <= 0 || !source_covers(colour, surface_width, surface_height)) return 1;

    UploadImage upload(va_dpy);
    VAImage& image = upload.image;
    bool derived = false;
    if (has_derive) derived = !derive_failed(__LINE__, vaDeriveImage(va_dpy, surface_id, &image));
    if (!derived && VA_CALL(vaCreateImage, va_dpy, image_format, surface_width, surface_height, &image)) return 0;
    upload.exists = true;

    if (image.width < surface_width || image.height < surface_height) {
        printf("Didn't get expected image size: %dx%d!\n", image.width, image.height);
        return 0;
    }
    if (image.format.fourcc != VA_FOURCC_NV12 && image.format.fourcc != VA_FOURCC_YV12) {
        printf("Didn't get expected image format: %x\n", image.format.fourcc);
        return 0;
    }

    void* mapped = nullptr;
    if (VA_CALL(vaMapBuffer, va_dpy, image.buf, &mapped)) return 0;
    upload.mapped = true;

    if (colour) {
        write_colour(lps->sbmp, mapped, image, surface_width, surface_height, mark_clipped);
    } else {
        // Straight from the camera's buffer, which the worker cannot retrieve
        // over while the lock is held: no copy of the frame on the way.
        const std::unique_lock<std::mutex> frame = hold_newest_frame(&lps->sgf);
        if (!frame.owns_lock()) return 1;  // resized or closed meanwhile: the next redraw follows
        write_monochrome(lps->sgf, mapped, image, surface_width, surface_height, mark_clipped);
    }

    if (!derived && VA_CALL(vaPutImage, va_dpy, surface_id, image.image_id, 0, 0, surface_width, surface_height, 0, 0,
                            surface_width, surface_height))
        return 0;
    if (!upload.release()) return 0;

    // Zoom and pan pick the source rectangle: no pixel is copied for them.
    const ViewGeometry whole{{0, 0, surface_width, surface_height}, {0, 0, win_width, win_height}};
    const ViewRect& src = (view ? *view : whole).source;
    const ViewRect& dst = (view ? *view : whole).destination;
    // The sizes travel as 16-bit values.
    if (VA_CALL(vaPutSurface, va_dpy, surface_id, win, int16_t(src.x), int16_t(src.y), uint16_t(src.width),
                uint16_t(src.height), int16_t(dst.x), int16_t(dst.y), uint16_t(dst.width), uint16_t(dst.height),
                nullptr, 0, 0))
        return 0;
    if (VA_CALL(vaSyncSurface, va_dpy, surface_id)) return 0;
    return 1;
}
