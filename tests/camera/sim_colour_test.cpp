// Picture content and the colour pipeline through the library.
// Threads: the test main thread (the simulator runs its own producer).
#include <algorithm>
#include <cmath>
#include <string>

#include "scene.h"
#include "sim_test_support.h"

using namespace simtest;

namespace {

struct Box {
    DWORD x0, y0, cx, cy;
};

// The centre half of a scene rectangle, in full-frame pixels, on even offsets.
Box box_of(const zebsim::SceneRect& r) {
    const double u0 = r.u0 + (r.u1 - r.u0) / 4, u1 = r.u1 - (r.u1 - r.u0) / 4;
    const double v0 = r.v0 + (r.v1 - r.v0) / 4, v1 = r.v1 - (r.v1 - r.v0) / 4;
    const DWORD x0 = DWORD(u0 * 1280) & ~1u, y0 = DWORD(v0 * 1024) & ~1u;
    return {x0, y0, (DWORD(u1 * 1280) - x0) & ~1u, (DWORD(v1 * 1024) - y0) & ~1u};
}

struct Means {
    float m[4];
};

Means means_over(HANDLE h, const Box& b) {
    Means out{};
    EXPECT_EQ(cqGetMeans(h, b.x0, b.y0, b.cx, b.cy, out.m), 0);
    return out;
}

struct Pixel {
    int b, g, r;
};

Pixel pixel_at(const CQGETBITMAP& bmp, const Box& box) {
    const BYTE* p = bmp.bp + (size_t(box.y0 + box.cy / 2) * bmp.w + box.x0 + box.cx / 2) * 4;
    return {p[0], p[1], p[2]};
}

HANDLE started_camera(UINT mode = 0, UINT exposure = 10000) {
    HANDLE h = open_camera();
    EXPECT_EQ(cqSetMode(h, exposure, mode, 0, 0, 0, 0), 0);
    EXPECT_EQ(cqStartAcquisition(h), 0);
    return h;
}

}  // namespace

class SimColour : public SimTest {};

TEST_F(SimColour, MeansComeInMosaicOrder) {
    const Box red = box_of(zebsim::patch_rect(0)), white = box_of(zebsim::patch_rect(zebsim::kWhitePatch));
    HANDLE h = started_camera();
    EXPECT_EQ(next_frame(h).curMTX, DWORD(CQM_RGGB));
    Means r = means_over(h, red), w = means_over(h, white);
    EXPECT_GT(r.m[0], 4 * r.m[3]);                // R first on RGGB
    EXPECT_GT(w.m[1], 1.2f * w.m[0]);             // greenish light
    EXPECT_NEAR(w.m[1], w.m[2], 0.05f * w.m[1]);  // the two greens agree
    cqkUninitialize(h);

    set_env("ZEBSIM_SENSOR", "bggr");
    h = started_camera();
    EXPECT_EQ(next_frame(h).curMTX, DWORD(CQM_BGGR));
    r = means_over(h, red);
    EXPECT_GT(r.m[3], 4 * r.m[0]);  // R last on BGGR
    cqkUninitialize(h);
    set_env("ZEBSIM_SENSOR", nullptr);
}

TEST_F(SimColour, BrightnessFollowsExposureAndGain) {
    const Box grey = box_of(zebsim::patch_rect(7));
    HANDLE h = started_camera(0, 5000);
    next_frame(h);
    const float base = means_over(h, grey).m[1];
    EXPECT_GT(base, 300.0f);
    ASSERT_EQ(cqSetGainVal(h, 6.0f), 0);
    ASSERT_EQ(cqSetMode(h, 10000, 0, 0, 0, 0, 0), 0);
    drain(h);
    next_frame(h);
    EXPECT_NEAR(means_over(h, grey).m[1] / base, 4.0, 0.3);
    ASSERT_EQ(cqSetMode(h, 1000000, 0, 0, 0, 0, 0), 0);  // far over: clipped at full scale
    drain(h);
    next_frame(h);
    EXPECT_EQ(means_over(h, grey).m[1], 4095.0f);
    cqkUninitialize(h);
}

TEST_F(SimColour, WhiteBalancedColourFrameShowsKnownPatches) {
    const Box white = box_of(zebsim::patch_rect(zebsim::kWhitePatch));
    const Box red = box_of(zebsim::patch_rect(0)), blue = box_of(zebsim::patch_rect(4));
    for (UINT mode : {0u, 1u}) {
        HANDLE h = started_camera(mode, 8000);
        EXPECT_NE(cqProcessFrame(h), 0) << "no current frame yet";
        const CQGETFRAMEEX f = next_frame(h);
        EXPECT_EQ(f.curBPP, mode == 1 ? 8u : 12u);
        EXPECT_EQ(f.modeRDO & CQ_RDO_8BIT, mode == 1 ? CQ_RDO_8BIT : 0u);
        const Means w = means_over(h, white);
        CQFILTER filter{};
        filter.rgbWhiteBal[0] = w.m[1] / w.m[0];
        filter.rgbWhiteBal[1] = 1.0;
        filter.rgbWhiteBal[2] = w.m[1] / w.m[3];
        filter.gammaY = 1.0;
        ASSERT_EQ(cqSetupFilter(h, &filter), 0);
        ASSERT_EQ(cqApplyDefaultColorCorrectionMatrix(h), 0);
        ASSERT_EQ(cqSetupCE(h, 0, (1u << f.curBPP) - 1), 0);
        ASSERT_EQ(cqProcessFrame(h), 0);
        CQGETBITMAP bmp{};
        ASSERT_EQ(cqRetrieveBitmapAdv(h, &bmp, nullptr), 0);
        ASSERT_NE(bmp.bp, nullptr);
        EXPECT_EQ(bmp.w, 1280u);
        EXPECT_EQ(bmp.cy, 1024u);
        EXPECT_EQ(bmp.dwBPP, 32u);
        EXPECT_EQ(bmp.fn, f.curFN);
        const Pixel pw = pixel_at(bmp, white), pr = pixel_at(bmp, red), pb = pixel_at(bmp, blue);
        EXPECT_NEAR(pw.r, pw.g, 10) << "mode " << mode;
        EXPECT_NEAR(pw.b, pw.g, 10) << "mode " << mode;
        EXPECT_GT(pw.g, 120);
        EXPECT_GT(pr.r, pr.g + 80);
        EXPECT_GT(pr.r, pr.b + 80);
        EXPECT_GT(pb.b, pb.r + 80);
        EXPECT_EQ(bmp.bp[3], 0);
        EXPECT_EQ(cqFreeBitmap(nullptr, &bmp), 0);
        EXPECT_EQ(bmp.bp, nullptr);
        cqkUninitialize(h);
    }
    CQGETBITMAP empty{};
    EXPECT_EQ(cqFreeBitmap(nullptr, &empty), 0);
}

// A bitmap read after cqFreeBitmap is a read of freed memory, as with a
// vendor library, though the pool keeps its block for the next one:
// AddressSanitizer reports it.  A pointer the library did not hand out, or
// one freed already, is refused without a read around it.
TEST_F(SimColour, FreedBitmapsAreReportedWhenReadAndForeignOnesRefused) {
    HANDLE h = started_camera();
    next_frame(h);
    ASSERT_EQ(cqProcessFrame(h), 0);
    CQGETBITMAP bmp{};
    ASSERT_EQ(cqRetrieveBitmapAdv(h, &bmp, nullptr), 0);
    EXPECT_NE(cqRetrieveBitmapAdv(h, &bmp, nullptr), 0) << "handed out once";
    const CQGETBITMAP freed = bmp;
    ASSERT_EQ(cqFreeBitmap(nullptr, &bmp), 0);
    CQGETBITMAP again = freed;
    testing::internal::CaptureStderr();
    EXPECT_EQ(cqFreeBitmap(nullptr, &again), 7);
    BYTE foreign[64] = {};
    CQGETBITMAP stranger{};
    stranger.bp = foreign + 16;  // a read of the 64 bytes before it leaves the array
    EXPECT_EQ(cqFreeBitmap(nullptr, &stranger), 7);
    const std::string refusals = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(refusals.begin(), refusals.end(), '\n'), 2) << refusals;
    EXPECT_NE(refusals.find("is no bitmap this library handed out"), std::string::npos) << refusals;
#if defined(__SANITIZE_ADDRESS__)
    EXPECT_DEATH(std::printf("%d\n", freed.bp[freed.w * 4 * 10]), "use-after-poison");
#endif
    cqkUninitialize(h);
}

TEST_F(SimColour, MonoSensorGivesGreyBitmaps) {
    set_env("ZEBSIM_SENSOR", "mono");
    HANDLE h = started_camera();
    const CQGETFRAMEEX f = next_frame(h);
    EXPECT_EQ(f.curMTX, DWORD(CQM_NONE));
    ASSERT_EQ(cqSetupCE(h, 0, 4095), 0);
    ASSERT_EQ(cqProcessFrame(h), 0);
    CQGETBITMAP bmp{};
    ASSERT_EQ(cqRetrieveBitmapAdv(h, &bmp, nullptr), 0);
    const Pixel p = pixel_at(bmp, box_of(zebsim::patch_rect(0)));
    EXPECT_EQ(p.r, p.g);
    EXPECT_EQ(p.b, p.g);
    cqFreeBitmap(nullptr, &bmp);
    cqkUninitialize(h);
    set_env("ZEBSIM_SENSOR", nullptr);
}
