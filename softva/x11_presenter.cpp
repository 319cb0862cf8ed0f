// Threads: see x11_presenter.h.
#include "x11_presenter.h"

#include <sys/ipc.h>
#include <sys/mman.h>
#include <sys/shm.h>

#include <algorithm>
#include <chrono>

#include "strip_pacing.h"
#include "x11_error_trap.h"

namespace softva {
namespace {

// Minor opcode of ShmAttach (X_ShmAttach in shmproto.h, which needs the
// server-side protocol types to compile).
constexpr int kShmAttachRequest = 1;
// Core request code of TranslateCoordinates (X11/Xproto.h).
constexpr int kTranslateCoordsRequest = 40;

// Attaches segment `id` of `bytes` over a range first reserved with mmap;
// (void*)-1 when it cannot. A bare shmat can land where a finished thread's
// stack was, and a race detector that sees mmap but not shmat would then take
// the image's rows for that thread's memory; the reservation makes the range
// new memory first.
void* attach_over_fresh_range(int id, std::size_t bytes) {
    void* range = mmap(nullptr, bytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (range == MAP_FAILED) return reinterpret_cast<void*>(-1);
    void* address = shmat(id, range, SHM_REMAP);
    if (address == reinterpret_cast<void*>(-1)) munmap(range, bytes);
    return address;
}

// Whether a DestroyNotify for `window` waits in the connection's queue;
// looks at every queued event without taking any (the predicate never
// matches).
bool destroy_queued(Display* display, Window window) {
    struct Search {
        Window window;
        bool found;
    } search{window, false};
    XEvent unused;
    XCheckIfEvent(
        display, &unused,
        [](Display*, XEvent* event, XPointer arg) -> Bool {
            auto* s = reinterpret_cast<Search*>(arg);
            if (event->type == DestroyNotify && event->xdestroywindow.window == s->window) s->found = true;
            return False;
        },
        reinterpret_cast<XPointer>(&search));
    return search.found;
}

// Byte order of a 32-bit TrueColor pixel in memory, if it is one we write.
bool pixel_order_of(const XVisualInfo& visual, int byte_order, PixelOrder& order) {
    if (byte_order != LSBFirst) return false;
    if (visual.red_mask == 0xff0000 && visual.green_mask == 0xff00 && visual.blue_mask == 0xff) {
        order = PixelOrder::bgrx;
        return true;
    }
    if (visual.red_mask == 0xff && visual.green_mask == 0xff00 && visual.blue_mask == 0xff0000) {
        order = PixelOrder::rgbx;
        return true;
    }
    return false;
}

int bits_per_pixel_for_depth(Display* display, unsigned depth) {
    int count = 0;
    XPixmapFormatValues* formats = XListPixmapFormats(display, &count);
    int bits = 0;
    for (int i = 0; i < count; ++i)
        if (static_cast<unsigned>(formats[i].depth) == depth) bits = formats[i].bits_per_pixel;
    if (formats != nullptr) XFree(formats);
    return bits;
}

}  // namespace

X11Presenter::X11Presenter(Display* display, bool allow_shm, tolmirex::BandPool* bands)
    : display_(display), kernels_(best_row_kernels()), bands_(bands) {
    int first_event = 0, first_error = 0;
    shm_usable_ = allow_shm && XShmQueryExtension(display_) &&
                  XQueryExtension(display_, "MIT-SHM", &shm_major_opcode_, &first_event, &first_error);
}

X11Presenter::~X11Presenter() {
    release_image();
    release_segment();
    if (gc_ != nullptr) XFreeGC(display_, gc_);
}

VAStatus X11Presenter::adopt_drawable_format(Drawable drawable, Window root, unsigned depth) {
    if (gc_ != nullptr && root == root_ && depth == depth_) return VA_STATUS_SUCCESS;
    int screen = -1;
    for (int i = 0; i < ScreenCount(display_); ++i)
        if (RootWindow(display_, i) == root) screen = i;
    XVisualInfo visual{};
    PixelOrder order = PixelOrder::bgrx;
    // 24- and 32-bit TrueColor drawables stored as 32 bits per pixel.
    if (screen < 0 || (depth != 24 && depth != 32) || bits_per_pixel_for_depth(display_, depth) != 32 ||
        !XMatchVisualInfo(display_, screen, static_cast<int>(depth), TrueColor, &visual) ||
        !pixel_order_of(visual, ImageByteOrder(display_), order))
        return VA_STATUS_ERROR_OPERATION_FAILED;

    release_image();
    if (gc_ != nullptr) XFreeGC(display_, gc_);
    gc_ = XCreateGC(display_, drawable, 0, nullptr);
    screen_width_ = WidthOfScreen(ScreenOfDisplay(display_, screen));
    screen_height_ = HeightOfScreen(ScreenOfDisplay(display_, screen));
    root_ = root;
    depth_ = depth;
    visual_ = visual.visual;
    order_ = order;
    return VA_STATUS_SUCCESS;
}

bool X11Presenter::attach_segment(std::size_t bytes) {
    const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (id < 0) return false;
    void* address = attach_over_fresh_range(id, bytes);
    if (address == reinterpret_cast<void*>(-1)) {
        shmctl(id, IPC_RMID, nullptr);
        return false;
    }
    segment_.shmid = id;
    segment_.shmaddr = static_cast<char*>(address);
    segment_.readOnly = False;
    bool refused = false;
    {
        // A server on another machine cannot see our memory and answers with an
        // error, which must not reach the program's error handler.
        X11ErrorTrap trap(display_, shm_major_opcode_, kShmAttachRequest);
        refused = !XShmAttach(display_, &segment_) || trap.sync_and_check();
    }
    // Marked for removal now, so it disappears once both sides detach, even if
    // the process dies.
    shmctl(id, IPC_RMID, nullptr);
    if (refused) {
        shmdt(address);
        segment_ = {};
        return false;
    }
    shm_attached_ = true;
    segment_bytes_ = bytes;
    return true;
}

void X11Presenter::release_segment() {
    if (!shm_attached_) return;
    XShmDetach(display_, &segment_);
    XSync(display_, False);
    shmdt(segment_.shmaddr);
    segment_ = {};
    shm_attached_ = false;
    segment_bytes_ = 0;
}

void X11Presenter::release_image() {
    if (image_ == nullptr) return;
    image_->data = nullptr;  // not Xlib's to free
    XDestroyImage(image_);
    image_ = nullptr;
}

bool X11Presenter::ensure_image(int width, int height) {
    if (image_ != nullptr && image_->width == width && image_->height == height) return true;
    release_image();
    const std::size_t bytes = static_cast<std::size_t>(width) * height * 4;
    if (shm_usable_) {
        if (segment_bytes_ < bytes) {
            release_segment();
            // Room to grow a little, so a window resized by a few pixels keeps it.
            if (!attach_segment(bytes + bytes / 4)) shm_usable_ = false;
        }
        if (shm_attached_) {
            image_ = XShmCreateImage(display_, visual_, depth_, ZPixmap, nullptr, &segment_, width, height);
            if (image_ != nullptr) {
                image_->data = segment_.shmaddr;
                return true;
            }
        }
    }
    image_ = XCreateImage(display_, visual_, depth_, ZPixmap, 0, nullptr, width, height, 32, 0);
    if (image_ == nullptr) return false;
    const std::size_t needed = static_cast<std::size_t>(image_->bytes_per_line) * height;
    if (!plain_pixels_ || plain_pixels_->size() < needed) plain_pixels_ = std::make_unique<AlignedBytes>(needed);
    image_->data = reinterpret_cast<char*>(plain_pixels_->data());
    return true;
}

Rect X11Presenter::part_on_screen(Drawable drawable, Window root, int width, int height) {
    const Rect whole{0, 0, width, height};
    if (width <= screen_width_ && height <= screen_height_) return whole;
    // Only a window can be partly off the screen; a pixmap answers BadWindow
    // and is drawn whole.  The call waits for its reply, so an error has
    // reached the trap, and made the call return False, before it returns.
    int root_x = 0, root_y = 0;
    Window child = 0;
    X11ErrorTrap trap(display_, kTranslateCoordsRequest, 0);
    if (!XTranslateCoordinates(display_, drawable, root, 0, 0, &root_x, &root_y, &child)) return whole;
    const int x0 = std::clamp(-root_x, 0, width), y0 = std::clamp(-root_y, 0, height);
    const int x1 = std::clamp(screen_width_ - root_x, x0, width), y1 = std::clamp(screen_height_ - root_y, y0, height);
    return {x0, y0, x1 - x0, y1 - y0};
}

VAStatus X11Presenter::present(const Nv12Picture& picture, Rect source, Drawable drawable, Rect destination) {
    Window root = 0;
    int x = 0, y = 0;
    unsigned width = 0, height = 0, border = 0, depth = 0;
    if (!XGetGeometry(display_, drawable, &root, &x, &y, &width, &height, &border, &depth))
        return VA_STATUS_ERROR_INVALID_PARAMETER;
    if (const VAStatus status = adopt_drawable_format(drawable, root, depth); status != VA_STATUS_SUCCESS)
        return status;

    // Only the part of the destination inside the drawable, and inside the
    // screen, is computed: a window far larger than the screen costs no more
    // memory or time than the screen itself.
    const Rect shown = part_on_screen(drawable, root, static_cast<int>(width), static_cast<int>(height));
    const int x0 = std::max(destination.x, shown.x), y0 = std::max(destination.y, shown.y);
    const int x1 = std::min<long>(destination.x + destination.width, shown.x + shown.width);
    const int y1 = std::min<long>(destination.y + destination.height, shown.y + shown.height);
    if (x0 >= x1 || y0 >= y1) return VA_STATUS_SUCCESS;
    const Rect visible{x0 - destination.x, y0 - destination.y, x1 - x0, y1 - y0};

    if (!has_plan_ || !same_geometry(plan_, source, destination.width, destination.height, visible)) {
        plan_ = make_scale_plan(source, destination.width, destination.height, visible);
        has_plan_ = true;
    }
    if (!ensure_image(visible.width, visible.height)) return VA_STATUS_ERROR_ALLOCATION_FAILED;
    auto* pixels = reinterpret_cast<std::uint8_t*>(image_->data);
    if (bands_ && bands_->threads() > 1 && conversion_work(plan_) > kBandedWork)
        scale_and_convert_in_bands(plan_, picture, pixels, image_->bytes_per_line, order_, kernels_, band_scratch_,
                                   *bands_);
    else
        scale_and_convert(plan_, picture, pixels, image_->bytes_per_line, order_, kernels_, scratch_);

    if (image_->obdata != nullptr) {
        // No completion event: XSync returns once the server has read the segment,
        // so it may be rewritten, and leaves the program's queued events alone.
        XShmPutImage(display_, drawable, gc_, image_, 0, 0, x0, y0, visible.width, visible.height, False);
        XSync(display_, False);
    } else {
        // Without MIT-SHM the picture travels through the connection, perhaps
        // to a server across a slow network: it goes in strips sized to the
        // link, each sent only once the server has taken the one before, so
        // other traffic (the panel's) never waits behind more than a strip.
        // The last strip of a picture is awaited by the next call's
        // XGetGeometry. The rest of a picture for a window that is going away
        // is not worth seconds of a slow link.
        const std::size_t row_bytes = std::size_t(visible.width) * (image_->bits_per_pixel / 8);
        for (int row = 0; row < visible.height;) {
            const int rows = static_cast<int>(
                std::clamp<std::size_t>(strip_bytes_ / row_bytes, 1, std::size_t(visible.height - row)));
            const auto sent = std::chrono::steady_clock::now();
            XPutImage(display_, drawable, gc_, image_, 0, row, x0, y0 + row, visible.width, rows);
            row += rows;
            if (row == visible.height) break;
            XSync(display_, False);
            strip_bytes_ = next_strip_bytes(std::size_t(rows) * row_bytes,
                                            std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count());
            if (destroy_queued(display_, drawable)) break;
        }
        XFlush(display_);
    }
    return VA_STATUS_SUCCESS;
}

}  // namespace softva
