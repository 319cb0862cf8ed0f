// The display thread (videoDisplay) and the live-view control (startLive,
// stopLive, joinLive). videoDisplay runs on its own thread; startLive and
// joinLive on the main thread; stopLive on the main or the display thread.
#include "display.h"

#include <X11/Xutil.h>
#include <va/va_x11.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "acquisition.h"
#include "frame_handover.h"
#include "frame_upload.h"
#include "rate_stats.h"
#include "live_run.h"
#include "picture_measuring.h"
#include "notices.h"
#include "pixel_reading.h"
#include "setup.h"
#include "va_report.h"
#include "video_window.h"
#include "view_input.h"
#include "window_notice.h"
#include "window_size.h"
#include "x_connection.h"

namespace {

// VA failures of the display thread are reported under its entry's name.
constexpr const char* va_reporter = "videoDisplay";

constexpr int INITIAL_WIDTH = 640;
constexpr int INITIAL_HEIGHT = 480;
constexpr int MAX_DRAW_ERRORS = 5;

// The display thread last started, kept apart from the setup record so a
// reset of the record cannot lose track of a thread that is still running.
// Main thread only.
pthread_t live_thread;
bool live_thread_recorded = false;
// True from startLive until the display thread has finished its last step.
std::atomic<bool> display_running{false};

enum class FormatSearch { Found, NoMemory, QueryFailed, NoneOffered };

// Takes the first NV12 or YV12 entry of the driver's list, whichever comes first.
FormatSearch find_image_format(VADisplay va_dpy, VAImageFormat* chosen) {
    const int max_image_formats = vaMaxNumImageFormats(va_dpy);
    auto* formats =
        static_cast<VAImageFormat*>(calloc(max_image_formats > 0 ? max_image_formats : 1, sizeof(VAImageFormat)));
    if (!formats) return FormatSearch::NoMemory;
    int count = 0;
    FormatSearch result = FormatSearch::NoneOffered;
    if (VA_CALL(vaQueryImageFormats, va_dpy, formats, &count)) result = FormatSearch::QueryFailed;
    for (int i = 0; result == FormatSearch::NoneOffered && i < count; ++i) {
        if (formats[i].fourcc == VA_FOURCC_NV12 || formats[i].fourcc == VA_FOURCC_YV12) {
            *chosen = formats[i];
            result = FormatSearch::Found;
        }
    }
    free(formats);
    return result;
}

class DisplayThread {
public:
    ~DisplayThread() {
        // sgf may point into a buffer of the camera's, which may go away.
        lps->sgf.bp = nullptr;
    }

    void* run() {
        const bool started = start();
        if (started) event_loop();
        const bool released = release();
        return started && released ? reinterpret_cast<void*>(1) : nullptr;
    }

private:
    void event_loop() {
        const Atom wm_delete = delete_window_atom();
        const Atom quiet_notice = quiet_notice_atom(x11_display);
        for (;;) {
            const unsigned start_time = getcurms();
            XEvent event;
            if (!next_x_event(x11_display, &event)) return;
            bool redraw = false;
            switch (event.type) {
                case DestroyNotify: return;
                case ClientMessage:
                    if (static_cast<Atom>(event.xclient.data.l[0]) == wm_delete) return;
                    if (event.xclient.message_type == quiet_notice) {
                        quiet_statistics_tick(win_, &quiet_since_ms_);
                        if (!lps->bHaveData) show_notice(false);
                    }
                    break;
                case ConfigureNotify:
                    win_width_ = event.xconfigure.width;
                    win_height_ = event.xconfigure.height;
                    redraw = true;
                    break;
                case MotionNotify:
                    // Only where the pointer is now matters.
                    while (XCheckTypedWindowEvent(x11_display, win_, MotionNotify, &event)) {
                    }
                    redraw = input_.handle(event);
                    break;
                case KeyPress:
                case ButtonPress:
                case ButtonRelease:
                case EnterNotify:
                case LeaveNotify: redraw = input_.handle(event); break;
                case Expose:
                    if (event.xexpose.count == 0) {
                        // Frame notices queued meanwhile merge into this redraw.
                        while (XCheckWindowEvent(x11_display, win_, ExposureMask, &event)) {
                        }
                        frame_notice_taken();
                        redraw = true;
                    }
                    break;
            }
            if (redraw && !lps->bHaveData) show_notice(true);
            if (!redraw || !lps->bHaveData) continue;
            if (!redraw_frame(start_time)) return;
        }
    }

    // Until the first picture, what keeps it away; drawn again when it
    // changed, or always when the window was exposed.
    void show_notice(bool exposed) {
        const std::string text = picture_notice.get();
        if (text == notice_shown_ && (!exposed || text.empty())) return;
        draw_window_notice(win_, win_width_, win_height_, text);
        notice_shown_ = text;
    }

    // One redraw; false when the loop must end.
    bool redraw_frame(unsigned start_time) {
        const bool colour = lps->color;
        snapshot_frame(&lps->sgf, nullptr);  // a monochrome upload takes the pixels under the frame lock
        if (colour) {
            CQGETBITMAP taken;
            if (take_bitmap(&taken)) replace_shown_bitmap(taken);
        }

        const unsigned width = colour ? lps->sbmp.w : lps->sgf.curCX;
        const unsigned height = colour ? lps->sbmp.h : lps->sgf.curCY;
        // No image yet (colour output before the first bitmap): nothing to
        // size or draw, but the pass still counts for the statistics.
        if (width != 0 && height != 0) {
            if (lps->show &&
                (surface_id_ == VA_INVALID_SURFACE || width != surface_width_ || height != surface_height_)) {
                if (!recreate_surface(width, height)) return false;
            }
            input_.set_sizes(int(surface_width_), int(surface_height_), win_width_, win_height_);
            const ViewGeometry view = input_.geometry();
            if (drawImage(va_dpy_, surface_id_, &image_format_, surface_width_, surface_height_, win_, win_width_,
                          win_height_, &view))
                draw_errors_ = 0;
            else if (++draw_errors_ >= MAX_DRAW_ERRORS)
                return false;
            input_.publish_reading();
        }

        measuring_.after_redraw(colour, getcurms());
        maybe_statistics_tick(win_);
        quiet_since_ms_ = account_redraw(start_time);
        return true;
    }

    // New surface and window size for a new image size; false when the old
    // surface cannot be released.
    bool recreate_surface(unsigned width, unsigned height) {
        if (surface_id_ != VA_INVALID_SURFACE && VA_CALL(vaDestroySurfaces, va_dpy_, &surface_id_, 1)) return false;
        surface_width_ = width;
        surface_height_ = height;
        input_.reset();
        printf("Image size changed to %dx%d\n", surface_width_, surface_height_);
        if (VA_CALL(vaCreateSurfaces, va_dpy_, VA_RT_FORMAT_YUV420, surface_width_, surface_height_, &surface_id_, 1,
                    nullptr, 0)) {
            lps->show = 0;
            surface_id_ = VA_INVALID_SURFACE;
        }
        const WindowSize size =
            window_size_for(surface_width_, surface_height_, max_width, max_height, dpy_width_, dpy_height_);
        win_width_ = size.width;
        win_height_ = size.height;
        printf("Window size changed to %dx%d\n", win_width_, win_height_);
        resize_window(win_, win_width_, win_height_);
        return true;
    }

    // libva's error lines, as libva prints them, but one: libva 2.22 (Debian
    // 13) asks the X server for a driver name even when LIBVA_DRIVER_NAME
    // names one, and on a display without DRI (Xvfb, ssh -X, NVIDIA) says
    // "vaGetDriverNames() failed" before it loads the named driver anyway.
    static void libva_error(void*, const char* message) {
        const char* level = getenv("LIBVA_MESSAGING_LEVEL");
        if (level && *level && atoi(level) < 1) return;
        const char* chosen = getenv("LIBVA_DRIVER_NAME");
        static const char kDriverNames[] = "vaGetDriverNames() failed";
        if (chosen && *chosen && strncmp(message, kDriverNames, sizeof kDriverNames - 1) == 0) return;
        fprintf(stderr, "libva error: %s", message);
    }

    // The start steps; false when the thread gives up, holding what it got so far.
    bool start() {
        quiet_since_ms_ = getcurms();
        const int screen = DefaultScreen(x11_display);
        dpy_width_ = DisplayWidth(x11_display, screen);
        dpy_height_ = DisplayHeight(x11_display, screen);

        va_dpy_ = vaGetDisplay(x11_display);
        vaSetErrorCallback(va_dpy_, libva_error, nullptr);
        int major_ver = 0, minor_ver = 0;
        if (VA_CALL(vaInitialize, va_dpy_, &major_ver, &minor_ver)) {
            report_driver_not_started();
            return false;
        }
        va_initialized_ = true;

        switch (find_image_format(va_dpy_, &image_format_)) {
            case FormatSearch::Found: break;
            case FormatSearch::QueryFailed: stopLive(); return false;
            case FormatSearch::NoneOffered:
                fprintf(stderr, "VAAPI implementation doesn't support NV12 image format!\n");
                return false;
            case FormatSearch::NoMemory: return false;
        }

        // Leftovers of an earlier display thread must not end this one.
        XSync(x11_display, True);
        win_ = create_window(INITIAL_WIDTH, INITIAL_HEIGHT);
        if (!win_) return false;
        worker_display = XOpenDisplay(DisplayString(x11_display));
        if (!worker_display) return false;
        watch_x_connection(worker_display);
        worker_started_ = pthread_create(&acq_thread_, nullptr, acquisition,
                                         reinterpret_cast<void*>(static_cast<uintptr_t>(win_))) == 0;
        return worker_started_;
    }

    // The one teardown, for an orderly end and a failed start alike, driven
    // by what the thread holds: the surface, then the worker (stopped and
    // waited for), its connection and the held bitmap, then VA, then the
    // window. False when vaTerminate fails; the window then stays.
    bool release() {
        if (surface_id_ != VA_INVALID_SURFACE) {
            VA_CALL(vaDestroySurfaces, va_dpy_, &surface_id_, 1);
            surface_id_ = VA_INVALID_SURFACE;
        }
        if (worker_started_) {
            stopLive();
            pthread_join(acq_thread_, nullptr);
            worker_started_ = false;
            replace_shown_bitmap(CQGETBITMAP{});
        }
        close_worker_display();
        pixel_under_pointer.set(PixelReading{});
        if (va_dpy_) {
            // After a failed vaInitialize this only frees what vaGetDisplay
            // made; its result says nothing more.
            const bool terminated = va_initialized_ ? !VA_CALL(vaTerminate, va_dpy_) : (vaTerminate(va_dpy_), true);
            va_dpy_ = nullptr;
            if (!terminated) return false;
        }
        if (win_) {
            // Synced, not just flushed: once the thread has ended, the window
            // is gone for every client, not still queued for a busy server.
            XDestroyWindow(x11_display, win_);
            XSync(x11_display, False);
            win_ = 0;
        }
        return true;
    }

    void close_worker_display() {
        if (worker_display) XCloseDisplay(worker_display);
        worker_display = nullptr;
    }

    VADisplay va_dpy_ = nullptr;
    bool va_initialized_ = false;
    VAImageFormat image_format_{};
    Window win_ = 0;
    int win_width_ = INITIAL_WIDTH, win_height_ = INITIAL_HEIGHT;
    VASurfaceID surface_id_ = VA_INVALID_SURFACE;
    unsigned surface_width_ = 0, surface_height_ = 0;
    unsigned dpy_width_ = 0, dpy_height_ = 0;
    pthread_t acq_thread_{};
    bool worker_started_ = false;
    int draw_errors_ = 0;
    unsigned quiet_since_ms_ = 0;  // end of the last redraw or quiet tick, for quiet_statistics_tick
    std::string notice_shown_;     // the sentence drawn while there is no picture
    PictureMeasuring measuring_;   // the panel's histogram and focus figure
    ViewInput input_;              // zoom, pan and the value under the pointer
};

}  // namespace

void* videoDisplay(void*) {
    void* result;
    {
        DisplayThread display;
        result = display.run();
    }
    display_running = false;
    return result;
}

void startLive() {
    if (live_thread_recorded) {
        if (display_running) return;
        pthread_join(live_thread, nullptr);  // ended: reclaim it
        live_thread_recorded = false;
    }
    lps->bHaveData = 0;
    setT0();
    begin_live_run();
    display_running = true;
    if (pthread_create(&live_thread, nullptr, videoDisplay, nullptr) != 0) exit(1);
    live_thread_recorded = true;
    lps->videoThread = live_thread;
}

void stopLive() {
    close_control_handle();
    request_stop();
}

void joinLive() {
    if (live_thread_recorded) {
        pthread_join(live_thread, nullptr);
        live_thread_recorded = false;
    }
    lps->videoThread = 0;
}
