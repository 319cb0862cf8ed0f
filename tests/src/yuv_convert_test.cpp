// Pixel kernels against a plain scalar reference, run for every implementation
// the processor has. Single-threaded.
#include "yuv_convert.h"

#include "clip_marking.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

// Test names and messages show the implementation, not its bytes.
void PrintTo(KernelIsa isa, std::ostream* os) { *os << kernel_isa_name(isa); }

namespace {

constexpr uint8_t kGuard = 0xA5;

// A destination plane inside a larger buffer of guard bytes: `misalign` bytes
// past a 64-byte boundary, rows `pitch` bytes apart. Comparing the whole buffer
// checks the written bytes and that nothing else was touched.
struct Plane {
    Plane(int rows, int pitch, int misalign) : pitch(pitch), bytes(static_cast<size_t>(rows) * pitch + 256, kGuard) {
        const auto base = reinterpret_cast<uintptr_t>(bytes.data()) + 64;
        offset = (base + 63) / 64 * 64 + misalign - reinterpret_cast<uintptr_t>(bytes.data());
    }
    uint8_t* row(int i) { return bytes.data() + offset + static_cast<size_t>(i) * pitch; }
    int pitch;
    std::vector<uint8_t> bytes;
    size_t offset = 0;
};

uint8_t ref_shift(uint16_t sample, int bits_per_pixel) {
    const int shift = bits_per_pixel - 8;
    if (shift < 0 || shift >= 16) return 0;
    const int value = static_cast<int16_t>(sample >> shift);
    return static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
}

struct Yuv {
    int y, cb, cr;
};

Yuv ref_yuv(const uint8_t* bgrx) {
    const int b = bgrx[0], g = bgrx[1], r = bgrx[2];
    return {((66 * r + 129 * g + 25 * b + 128) >> 8) + 16, ((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128,
            ((112 * r - 94 * g - 18 * b + 128) >> 8) + 128};
}

template <typename T>
std::vector<T> random_values(size_t count, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<T> values(count);
    for (auto& v : values) v = static_cast<T>(rng());
    return values;
}

class Kernels : public testing::TestWithParam<KernelIsa> {
protected:
    void SetUp() override {
        if (!kernel_isa_supported(GetParam())) GTEST_SKIP() << "processor lacks " << kernel_isa_name(GetParam());
    }
};

// Every sample value at every depth; rows of 1021 samples run both the vector
// body and the scalar tail, and the destinations are aligned (non-temporal
// stores) or not.
TEST_P(Kernels, ShiftMatchesReferenceForEverySampleAndDepth) {
    const int width = 1021, height = 65;
    std::vector<uint16_t> src = random_values<uint16_t>(static_cast<size_t>(width) * height, 1);
    for (int v = 0; v < 65536; ++v) src[v] = static_cast<uint16_t>(v);
    for (int misalign : {0, 16, 3}) {
        for (int bpp = 0; bpp <= 17; ++bpp) {
            Plane out(height, width + 35, misalign), expected = out;
            shift_rows_16bit(src.data(), width, height, bpp, out.row(0), out.pitch, GetParam());
            for (int i = 0; i < height; ++i)
                for (int j = 0; j < width; ++j) expected.row(i)[j] = ref_shift(src[i * width + j], bpp);
            ASSERT_EQ(out.bytes, expected.bytes) << "bits_per_pixel " << bpp << " misalign " << misalign;
        }
    }
}

TEST_P(Kernels, ShiftConvertsNarrowAndOddWidths) {
    for (int width : {1, 15, 16, 17, 33, 1284}) {
        for (int misalign : {16, 1}) {
            const int height = 3;
            const std::vector<uint16_t> src = random_values<uint16_t>(static_cast<size_t>(width) * height, width);
            Plane out(height, width + 7, misalign), expected = out;
            shift_rows_16bit(src.data(), width, height, 12, out.row(0), out.pitch, GetParam());
            for (int i = 0; i < height; ++i)
                for (int j = 0; j < width; ++j) expected.row(i)[j] = ref_shift(src[i * width + j], 12);
            ASSERT_EQ(out.bytes, expected.bytes) << "width " << width << " misalign " << misalign;
        }
    }
}

// Random frames and the extremes, for sizes that exercise the vector bodies,
// the scalar tails, odd widths (last pixel keeps its own chroma) and odd heights.
TEST_P(Kernels, ColourMatchesReferenceInBothLayouts) {
    const int widths[] = {1, 2, 17, 33, 64, 1284, 1283};
    const int heights[] = {1, 2, 5};
    for (int width : widths) {
        for (int height : heights) {
            std::vector<uint8_t> src = random_values<uint8_t>(static_cast<size_t>(width) * height * 4, width * height);
            std::fill_n(src.begin(), 4, 255);  // white
            std::fill_n(src.end() - 4, 4, 0);  // black
            const int chroma_rows = (height + 1) / 2, chroma_width = (width + 1) / 2;
            Plane y(height, width + 9, 5), uv(chroma_rows, 2 * chroma_width + 3, 1);
            Plane v(chroma_rows, chroma_width + 2, 7), u(chroma_rows, chroma_width + 5, 0);
            Plane y_expected = y, uv_expected = uv, v_expected = v, u_expected = u;
            for (int i = 0; i < height; ++i) {
                for (int j = 0; j < width; ++j) {
                    const Yuv px = ref_yuv(&src[(static_cast<size_t>(i) * width + j) * 4]);
                    y_expected.row(i)[j] = static_cast<uint8_t>(px.y);
                    if (i % 2 || j % 2) continue;
                    uv_expected.row(i / 2)[j] = static_cast<uint8_t>(px.cb);
                    uv_expected.row(i / 2)[j + 1] = static_cast<uint8_t>(px.cr);
                    u_expected.row(i / 2)[j / 2] = static_cast<uint8_t>(px.cb);
                    v_expected.row(i / 2)[j / 2] = static_cast<uint8_t>(px.cr);
                }
            }
            bgrx_to_nv12(src.data(), width, height, y.row(0), y.pitch, uv.row(0), uv.pitch, GetParam());
            ASSERT_EQ(y.bytes, y_expected.bytes) << "NV12 luma " << width << "x" << height;
            ASSERT_EQ(uv.bytes, uv_expected.bytes) << "NV12 chroma " << width << "x" << height;
            y.bytes.assign(y.bytes.size(), kGuard);
            bgrx_to_yv12(src.data(), width, height, y.row(0), y.pitch, v.row(0), v.pitch, u.row(0), u.pitch,
                         GetParam());
            ASSERT_EQ(y.bytes, y_expected.bytes) << "YV12 luma " << width << "x" << height;
            ASSERT_EQ(v.bytes, v_expected.bytes) << "YV12 Cr " << width << "x" << height;
            ASSERT_EQ(u.bytes, u_expected.bytes) << "YV12 Cb " << width << "x" << height;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryIsa, Kernels,
                         testing::Values(KernelIsa::scalar, KernelIsa::sse2, KernelIsa::avx2, KernelIsa::avx512),
                         [](const testing::TestParamInfo<KernelIsa>& info) { return kernel_isa_name(info.param); });

// The plain entry points, as the frame upload calls them.
TEST(KernelEntryPoints, KnownValues) {
    const uint16_t twelve_bit[40] = {4095, 16, 15,   0,  4095, 16, 2048, 0xFFFF, 4095, 16, 4095, 16, 4095, 16,
                                     4095, 16, 4095, 16, 4095, 16, 4095, 16,     4095, 16, 4095, 16, 4095, 16,
                                     4095, 16, 4095, 16, 4095, 16, 4095, 16,     4095, 16, 4095, 16};
    uint8_t luma[40] = {};
    shift_rows_16bit(twelve_bit, 40, 1, 12, luma, 40);
    EXPECT_EQ(luma[0], 255);
    EXPECT_EQ(luma[1], 1);
    EXPECT_EQ(luma[2], 0);
    EXPECT_EQ(luma[6], 128);
    EXPECT_EQ(luma[7], 255);  // 0xFFFF >> 4 = 0x0FFF saturates
    EXPECT_EQ(luma[38], 255);
    EXPECT_EQ(luma[39], 1);

    const uint16_t full_range[2] = {0x8000, 0x7FFF};
    shift_rows_16bit(full_range, 2, 1, 8, luma, 2);
    EXPECT_EQ(luma[0], 0);  // negative when read as signed
    EXPECT_EQ(luma[1], 255);

    const uint8_t white_black[4 * 4] = {255, 255, 255, 0, 0, 0, 0, 0, 255, 255, 255, 0, 0, 0, 0, 0};
    uint8_t y[4], uv[2], v[1], u[1];
    bgrx_to_nv12(white_black, 2, 2, y, 2, uv, 2);
    EXPECT_EQ(std::vector<uint8_t>(y, y + 4), (std::vector<uint8_t>{235, 16, 235, 16}));
    EXPECT_EQ(uv[0], 128);
    EXPECT_EQ(uv[1], 128);
    bgrx_to_yv12(white_black + 4, 1, 1, y, 1, v, 1, u, 1);
    EXPECT_EQ(y[0], 16);
    EXPECT_EQ(v[0], 128);
    EXPECT_EQ(u[0], 128);
}

TEST(KernelEntryPoints, MonochromeCopyAndNeutralChroma) {
    const int width = 1284, height = 3;
    const std::vector<uint8_t> src = random_values<uint8_t>(static_cast<size_t>(width) * height, 7);
    for (int pitch : {width, width + 60}) {
        Plane out(height, pitch, 1), expected = out;
        copy_rows_8bit(src.data(), width, height, out.row(0), pitch);
        for (int i = 0; i < height; ++i) std::memcpy(expected.row(i), &src[i * width], width);
        ASSERT_EQ(out.bytes, expected.bytes) << "pitch " << pitch;
    }
    Plane chroma(1, 1001, 3), expected = chroma;
    fill_neutral_chroma(chroma.row(0), 1001);
    std::memset(expected.row(0), 128, 1001);
    EXPECT_EQ(chroma.bytes, expected.bytes);
}

}  // namespace

// --- Clipped pixels painted over the plain conversion ---

namespace {

// A 4 x 4 frame, one pixel at full scale at (1, 0) and one at zero at (2, 3),
// converted plainly and then painted, in NV12 (step 2) or YV12 (step 1).
struct ClipCase {
    const char* name;
    int step;
    void (*plain)(uint8_t* luma, const ChromaPlanes& c);
    void (*mark)(uint8_t* luma, const ChromaPlanes& c);
};

std::vector<uint8_t> mono8_frame() {
    std::vector<uint8_t> f(16, 100);
    f[1] = 255, f[14] = 0;
    return f;
}
std::vector<uint16_t> mono12_frame() {
    std::vector<uint16_t> f(16, 2000);
    f[1] = 4095, f[14] = 0;
    return f;
}
std::vector<uint8_t> bgrx_frame() {
    std::vector<uint8_t> f(64, 120);
    f[4 * 1 + 2] = 255;  // red channel at full scale
    f[4 * 14 + 0] = 0;   // blue channel at zero
    return f;
}

void neutral(const ChromaPlanes& c) {
    for (int r = 0; r < 2; ++r)
        for (int e = 0; e < 2; ++e) c.cb[r * c.cb_pitch + e * c.step] = c.cr[r * c.cr_pitch + e * c.step] = 128;
}

const ClipCase kClipCases[] = {
    {"mono8", 2, [](uint8_t* y, const ChromaPlanes& c) { copy_rows_8bit(mono8_frame().data(), 4, 4, y, 4), neutral(c); },
     [](uint8_t* y, const ChromaPlanes& c) { mark_clipped_mono8(mono8_frame().data(), 4, 4, y, 4, c); }},
    {"mono12", 2,
     [](uint8_t* y, const ChromaPlanes& c) { shift_rows_16bit(mono12_frame().data(), 4, 4, 12, y, 4), neutral(c); },
     [](uint8_t* y, const ChromaPlanes& c) { mark_clipped_mono16(mono12_frame().data(), 4, 4, 12, y, 4, c); }},
    {"bgrx_yv12", 1,
     [](uint8_t* y, const ChromaPlanes& c) { bgrx_to_yv12(bgrx_frame().data(), 4, 4, y, 4, c.cr, 2, c.cb, 2); },
     [](uint8_t* y, const ChromaPlanes& c) { mark_clipped_bgrx(bgrx_frame().data(), 4, 4, y, 4, c); }},
};

}  // namespace

TEST(ClipMarking, PaintsFullScaleRedAndZeroBlueAndLeavesTheRest) {
    for (const ClipCase& k : kClipCases) {
        SCOPED_TRACE(k.name);
        // 16 luma bytes, then 8 chroma bytes: NV12 two rows of Cb,Cr pairs; YV12 Cb rows then Cr rows.
        std::vector<uint8_t> plain(24), marked;
        auto planes = [&](std::vector<uint8_t>& b) {
            return k.step == 2 ? ChromaPlanes{&b[16], &b[17], 4, 4, 2} : ChromaPlanes{&b[16], &b[20], 2, 2, 1};
        };
        k.plain(plain.data(), planes(plain));
        marked = plain;
        k.mark(marked.data(), planes(marked));
        const ChromaPlanes c = planes(marked);
        std::vector<uint8_t> expected = plain;
        expected[1] = kRedY;
        expected[14] = kBlueY;
        const ChromaPlanes e = planes(expected);
        e.cb[0] = kRedCb, e.cr[0] = kRedCr;                                     // block (0, 0)
        e.cb[c.cb_pitch + c.step] = kBlueCb, e.cr[c.cr_pitch + c.step] = kBlueCr;  // block (1, 1)
        EXPECT_EQ(marked, expected);
    }
}
