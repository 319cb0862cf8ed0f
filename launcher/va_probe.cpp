// tolmirex-va-probe: tells the launcher whether libva's driver can present on
// this display. Single-threaded.
//
// Some drivers initialise and pass vainfo but only decode: every vaPutSurface
// fails, and the viewer would end live view after its first draws. So the
// probe does what the viewer does, once and small: an unmapped 1x1 window, a
// 16x16 4:2:0 surface, one vaPutSurface. It also asks for the NV12 or YV12
// images the viewer writes frames into.
//
// Exit 0 and the driver's vendor string on standard output when all of that
// works; otherwise exit 1 and the reason on standard error, one line naming
// the case: no driver installed, none that starts on this display, no NV12
// or YV12 images, a driver that only decodes, or the call that failed.
// libva's own messages are off (the launcher also runs the probe with
// LIBVA_MESSAGING_LEVEL=0): they would only repeat the reason less clearly.
#include <X11/Xlib.h>
#include <va/va.h>
#include <va/va_x11.h>

#include <dirent.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

int fail(const char* what, VAStatus status) {
    fprintf(stderr, "%s failed: %s\n", what, vaErrorStr(status));
    return 1;
}

// Where libva looks for drivers: LIBVA_DRIVERS_PATH (a colon list), else the
// directory it was built with.
std::string driver_path() {
    const char* path = getenv("LIBVA_DRIVERS_PATH");
    return path && *path ? path : VA_DRIVERS_DIR;
}

// The names of the drivers installed there (NAME_drv_video.so), comma-separated.
std::string installed_drivers(const std::string& path) {
    static const std::string suffix = "_drv_video.so";
    std::string names;
    for (size_t begin = 0; begin <= path.size();) {
        size_t end = path.find(':', begin);
        if (end == std::string::npos) end = path.size();
        if (DIR* dir = opendir(path.substr(begin, end - begin).c_str())) {
            while (const dirent* entry = readdir(dir)) {
                const std::string file = entry->d_name;
                if (file.size() > suffix.size() &&
                    file.compare(file.size() - suffix.size(), suffix.size(), suffix) == 0)
                    names += (names.empty() ? "" : ", ") + file.substr(0, file.size() - suffix.size());
            }
            closedir(dir);
        }
        begin = end + 1;
    }
    return names;
}

// vaInitialize found no driver it could start: say whether there is none at
// all, or which are there (libva's status says nothing more than "unknown").
int no_driver(VAStatus status) {
    const std::string path = driver_path();
    const std::string drivers = installed_drivers(path);
    if (drivers.empty()) {
        fprintf(stderr, "no VA driver is installed (none in %s)\n", path.c_str());
    } else {
        fprintf(stderr, "no installed VA driver starts on this display (%s, in %s)", drivers.c_str(), path.c_str());
        if (status != VAStatus(VA_STATUS_ERROR_UNKNOWN))
            fprintf(stderr, ": vaInitialize failed: %s", vaErrorStr(status));
        fprintf(stderr, "\n");
    }
    return 1;
}

bool offers_nv12_or_yv12(VADisplay va) {
    std::vector<VAImageFormat> formats(vaMaxNumImageFormats(va));
    int count = 0;
    if (vaQueryImageFormats(va, formats.data(), &count) != VA_STATUS_SUCCESS) return false;
    for (int i = 0; i < count; ++i)
        if (formats[i].fourcc == VA_FOURCC_NV12 || formats[i].fourcc == VA_FOURCC_YV12) return true;
    return false;
}

int probe(Display* x, Window win) {
    VADisplay va = vaGetDisplay(x);
    // libva's own messages would only repeat what the result says.
    vaSetErrorCallback(va, nullptr, nullptr);
    vaSetInfoCallback(va, nullptr, nullptr);
    int major = 0, minor = 0;
    VAStatus status = vaInitialize(va, &major, &minor);
    if (status != VA_STATUS_SUCCESS) {
        vaTerminate(va);  // a display whose vaInitialize failed is still libva's to free
        return no_driver(status);
    }

    const char* vendor_string = vaQueryVendorString(va);
    const char* vendor = vendor_string ? vendor_string : "(no vendor string)";
    int result = 0;
    VASurfaceID surface = VA_INVALID_SURFACE;
    if (!offers_nv12_or_yv12(va)) {
        fprintf(stderr, "the driver offers neither NV12 nor YV12 images (%s)\n", vendor);
        result = 1;
    } else if ((status = vaCreateSurfaces(va, VA_RT_FORMAT_YUV420, 16, 16, &surface, 1, nullptr, 0)) !=
               VA_STATUS_SUCCESS) {
        surface = VA_INVALID_SURFACE;
        result = fail("vaCreateSurfaces", status);
    } else if ((status = vaPutSurface(va, surface, win, 0, 0, 16, 16, 0, 0, 1, 1, nullptr, 0, VA_FRAME_PICTURE)) ==
               VAStatus(VA_STATUS_ERROR_UNIMPLEMENTED)) {
        // A decoder that hands its pictures to other programs, such as
        // NVIDIA's VA-API driver for browsers.
        fprintf(stderr, "the driver only decodes, it cannot present video (%s: vaPutSurface is unimplemented)\n",
                vendor);
        result = 1;
    } else if (status != VA_STATUS_SUCCESS) {
        result = fail("vaPutSurface", status);
    } else {
        printf("%s\n", vendor);
    }
    if (surface != VA_INVALID_SURFACE) vaDestroySurfaces(va, &surface, 1);
    vaTerminate(va);
    return result;
}

}  // namespace

int main() {
    Display* x = XOpenDisplay(nullptr);
    if (!x) {
        fprintf(stderr, "cannot open the X display\n");
        return 1;
    }
    // Never mapped: the probe must not flash a window on the user's desktop.
    const int screen = DefaultScreen(x);
    const Window win = XCreateSimpleWindow(x, RootWindow(x, screen), 0, 0, 1, 1, 0, 0, BlackPixel(x, screen));
    const int result = probe(x, win);
    XDestroyWindow(x, win);
    XCloseDisplay(x);
    return result;
}
