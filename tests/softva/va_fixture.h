// Threads: test main thread only.
// Opens the softva driver through libva on the test's private Xvfb, with the
// SOFTVA_* settings of the test case.
#pragma once

// GoogleTest before Xlib, whose macros (None, Bool) clash with its names.
#include <gtest/gtest.h>
#include <X11/Xlib.h>
#include <va/va.h>
#include <va/va_x11.h>

#include <cstdlib>
#include <vector>

class SoftvaTest : public ::testing::Test {
protected:
    void TearDown() override { close(); }

    // Sets the variables, then vaInitialize; returns its status.
    VAStatus open(const char* formats = nullptr, const char* faults = nullptr) {
        // The test environment names the driver too; these make a test binary
        // run by hand (or with a lost environment) load this build's driver.
        setenv("LIBVA_DRIVER_NAME", "softva", 1);
        setenv("LIBVA_DRIVERS_PATH", SOFTVA_TEST_DRIVER_DIR, 0);
        set_or_clear("SOFTVA_FORMATS", formats);
        set_or_clear("SOFTVA_FAIL", faults);
        if (x_ == nullptr) {
            XInitThreads();
            x_ = XOpenDisplay(nullptr);
        }
        if (x_ == nullptr) return VA_STATUS_ERROR_UNKNOWN;
        va_ = vaGetDisplay(x_);
        int major = 0, minor = 0;
        // Even a display whose vaInitialize failed needs vaTerminate to be freed.
        needs_terminate_ = true;
        return vaInitialize(va_, &major, &minor);
    }

    VAStatus terminate() {
        needs_terminate_ = false;
        return vaTerminate(va_);
    }

    void close() {
        if (needs_terminate_) terminate();
        for (Window window : windows_) XDestroyWindow(x_, window);
        windows_.clear();
        if (x_ != nullptr) XCloseDisplay(x_);
        x_ = nullptr;
    }

    std::vector<VAImageFormat> formats() {
        std::vector<VAImageFormat> list(vaMaxNumImageFormats(va_));
        int count = 0;
        EXPECT_EQ(vaQueryImageFormats(va_, list.data(), &count), VA_STATUS_SUCCESS);
        list.resize(count);
        return list;
    }

    VASurfaceID surface(int width, int height) {
        VASurfaceID id = VA_INVALID_SURFACE;
        EXPECT_EQ(vaCreateSurfaces(va_, VA_RT_FORMAT_YUV420, width, height, &id, 1, nullptr, 0), VA_STATUS_SUCCESS);
        return id;
    }

    Window window(int width, int height) {
        const Window w = XCreateSimpleWindow(x_, DefaultRootWindow(x_), 0, 0, width, height, 0, 0, 0);
        XMapWindow(x_, w);
        XSync(x_, False);
        windows_.push_back(w);
        return w;
    }

    static VAImageFormat format_of(unsigned fourcc) {
        VAImageFormat format{};
        format.fourcc = fourcc;
        format.byte_order = VA_LSB_FIRST;
        format.bits_per_pixel = 12;
        return format;
    }

    Display* x_ = nullptr;
    VADisplay va_ = nullptr;

private:
    static void set_or_clear(const char* name, const char* value) {
        if (value != nullptr)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }

    bool needs_terminate_ = false;
    std::vector<Window> windows_;
};
