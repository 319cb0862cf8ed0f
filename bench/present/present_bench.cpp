// Threads: main thread only.
// Presents one NV12 surface into a window again and again through libva (the
// softva driver when LIBVA_DRIVER_NAME=softva) and prints frames per second.
// With --server-limit it instead sends a ready 32-bit picture of the window's
// size with XShmPutImage, the most the X server itself can take.
// Usage: softva_present_bench SRC_WxH DST_WxH [seconds] [--server-limit]
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <va/va.h>
#include <va/va_x11.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool parse_size(const char* text, int& width, int& height) {
    return std::sscanf(text, "%dx%d", &width, &height) == 2 && width > 0 && height > 0;
}

// A moving-ball-like test picture: gradients in luma, bands in chroma.
void fill_pattern(unsigned char* data, const VAImage& image) {
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            data[image.offsets[0] + y * image.pitches[0] + x] = static_cast<unsigned char>(16 + (x + y) % 220);
    for (int y = 0; y < (image.height + 1) / 2; ++y)
        for (int x = 0; x < (image.width + 1) / 2; ++x) {
            unsigned char* uv = data + image.offsets[1] + y * image.pitches[1] + 2 * x;
            uv[0] = static_cast<unsigned char>(64 + x % 128);
            uv[1] = static_cast<unsigned char>(64 + y % 128);
        }
}

// Draws with draw_once (false: it failed) and XSync, so each frame is really on
// the screen before the next, for at least `seconds`; prints frames per second.
template <typename Draw>
bool print_frames_per_second(Display* x, double seconds, Draw draw_once) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    long frames = 0;
    double elapsed = 0;
    do {
        if (!draw_once()) return false;
        XSync(x, False);
        ++frames;
        elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    } while (elapsed < seconds);
    std::printf("%.1f\n", frames / elapsed);
    return true;
}

// Frames per second of XShmPutImage of a window-sized picture.
int server_limit(Display* x, Window window, int width, int height, double seconds) {
    const int screen = DefaultScreen(x);
    XShmSegmentInfo segment{};
    XImage* image = XShmCreateImage(x, DefaultVisual(x, screen), DefaultDepth(x, screen), ZPixmap, nullptr, &segment,
                                    width, height);
    if (image == nullptr) {
        std::fprintf(stderr, "XShmCreateImage failed\n");
        return 1;
    }
    segment.shmid = shmget(IPC_PRIVATE, static_cast<size_t>(image->bytes_per_line) * height, IPC_CREAT | 0600);
    segment.shmaddr = image->data = static_cast<char*>(shmat(segment.shmid, nullptr, 0));
    shmctl(segment.shmid, IPC_RMID, nullptr);  // goes away once both sides detach
    if (segment.shmaddr == reinterpret_cast<char*>(-1) || !XShmAttach(x, &segment)) {
        std::fprintf(stderr, "MIT-SHM unavailable\n");
        return 1;
    }
    for (int i = 0; i < image->bytes_per_line * height; ++i) image->data[i] = static_cast<char>(i * 7);
    const GC gc = XCreateGC(x, window, 0, nullptr);
    print_frames_per_second(x, seconds, [&] {
        XShmPutImage(x, window, gc, image, 0, 0, 0, 0, width, height, False);
        return true;
    });
    XShmDetach(x, &segment);
    XFreeGC(x, gc);
    XDestroyImage(image);
    shmdt(segment.shmaddr);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    int src_w = 0, src_h = 0, dst_w = 0, dst_h = 0;
    if (argc < 3 || !parse_size(argv[1], src_w, src_h) || !parse_size(argv[2], dst_w, dst_h)) {
        std::fprintf(stderr, "usage: %s SRC_WxH DST_WxH [seconds] [--server-limit]\n", argv[0]);
        return 2;
    }
    const double seconds = argc > 3 ? std::atof(argv[3]) : 3.0;
    const bool limit_only = argc > 4 && std::strcmp(argv[4], "--server-limit") == 0;
    XInitThreads();
    Display* x = XOpenDisplay(nullptr);
    if (x == nullptr) {
        std::fprintf(stderr, "cannot open X display\n");
        return 1;
    }
    const Window window = XCreateSimpleWindow(x, DefaultRootWindow(x), 0, 0, dst_w, dst_h, 0, 0, 0);
    XMapWindow(x, window);
    XSync(x, False);
    if (limit_only) {
        const int status = server_limit(x, window, dst_w, dst_h, seconds);
        XDestroyWindow(x, window);
        XCloseDisplay(x);
        return status;
    }

    VADisplay va = vaGetDisplay(x);
    int major = 0, minor = 0;
    VASurfaceID surface = VA_INVALID_SURFACE;
    VAImage image{};
    void* data = nullptr;
    if (vaInitialize(va, &major, &minor) != VA_STATUS_SUCCESS ||
        vaCreateSurfaces(va, VA_RT_FORMAT_YUV420, src_w, src_h, &surface, 1, nullptr, 0) != VA_STATUS_SUCCESS ||
        vaDeriveImage(va, surface, &image) != VA_STATUS_SUCCESS ||
        vaMapBuffer(va, image.buf, &data) != VA_STATUS_SUCCESS) {
        std::fprintf(stderr, "libva setup failed\n");
        return 1;
    }
    fill_pattern(static_cast<unsigned char*>(data), image);
    vaUnmapBuffer(va, image.buf);
    vaDestroyImage(va, image.image_id);

    const bool presented = print_frames_per_second(x, seconds, [&] {
        return vaPutSurface(va, surface, window, 0, 0, src_w, src_h, 0, 0, dst_w, dst_h, nullptr, 0, 0) ==
               VA_STATUS_SUCCESS;
    });
    if (!presented) {
        std::fprintf(stderr, "vaPutSurface failed\n");
        return 1;
    }

    vaDestroySurfaces(va, &surface, 1);
    vaTerminate(va);
    XDestroyWindow(x, window);
    XCloseDisplay(x);
    return 0;
}
