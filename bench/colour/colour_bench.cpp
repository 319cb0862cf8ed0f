// colour_bench - the simulated camera's whole colour processing
// (cqProcessFrame: demosaic, white balance, matrix, contrast) against OpenCV's
// Bayer demosaic alone, both on one thread, on the same 1280x1024 frames in
// 8-bit and 12-bit form.  Prints Mpixel/s and the ratio.  Main thread only.
#include <zebapi.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>

#include "zebsim.h"

namespace {

using Clock = std::chrono::steady_clock;

// Best of several rounds, so another process's burst does not count.
double best_mpixels_per_s(const std::function<void()>& work, double pixels) {
    constexpr int kRounds = 7, kRepeats = 30;
    double best = 0;
    for (int round = 0; round < kRounds; ++round) {
        const auto start = Clock::now();
        for (int i = 0; i < kRepeats; ++i) work();
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        best = std::max(best, pixels * kRepeats / seconds / 1e6);
    }
    return best;
}

bool run(HANDLE h, UINT mode, const char* label) {
    if (cqSetMode(h, 10000, mode, 0, 0, 0, 0) != 0 || cqStartAcquisition(h) != 0) return false;
    void* data = nullptr;
    CQGETFRAMEEX f{};
    if (cqWaitForField(h, 5000) != 0 || cqAcquireField(h, &data) != 0 || cqUpdateFrame(h, data) != 0 ||
        cqRetrieveFrameEx(h, &f) != 0)
        return false;
    zebsim::set_paused(true);  // the sensor no longer competes for the core; the current frame stays ours

    CQFILTER filter{};
    filter.rgbWhiteBal[0] = 1.8;
    filter.rgbWhiteBal[1] = 1.0;
    filter.rgbWhiteBal[2] = 1.4;
    filter.gammaY = 1.0;
    cqSetupFilter(h, &filter);
    cqApplyDefaultColorCorrectionMatrix(h);
    cqSetupCE(h, 0, (1u << f.curBPP) - 1);

    const double pixels = double(f.curCX) * f.curCY;
    if (cqProcessFrame(h) != 0) return false;
    const double ours = best_mpixels_per_s([&] { cqProcessFrame(h); }, pixels);

    const cv::Mat raw(int(f.curCY), int(f.curCX), f.curBPP > 8 ? CV_16UC1 : CV_8UC1, f.bp);
    cv::Mat bgra;
    const double opencv = best_mpixels_per_s([&] { cv::cvtColor(raw, bgra, cv::COLOR_BayerRG2BGRA); }, pixels);

    std::printf("%-7s %4ux%-4u  cqProcessFrame %7.0f Mpixel/s   OpenCV cvtColor %7.0f Mpixel/s   ratio %.2f\n", label,
                f.curCX, f.curCY, ours, opencv, ours / opencv);
    cqStopAcquisition(h);
    zebsim::set_paused(false);
    return true;
}

}  // namespace

int main() {
    cv::setNumThreads(1);
    DWORD id = 0;
    HANDLE h = INVALID_HANDLE_VALUE;
    if (cqkGetDevice(0, &id) != 0 || cqkInitialize("", id, &h) != 0) {
        std::fprintf(stderr, "colour_bench: no simulated camera (ZEBSIM_CAMERAS=0?)\n");
        return 1;
    }
    const bool ok = run(h, 1, "8-bit") && run(h, 0, "12-bit");
    cqkUninitialize(h);
    if (!ok) std::fprintf(stderr, "colour_bench: could not get a frame\n");
    return ok ? 0 : 1;
}
