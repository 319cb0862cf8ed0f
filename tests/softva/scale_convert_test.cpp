// Threads: test main thread only.
// The SIMD presentation kernels against the portable ones, over scales that
// take the shuffle path, the portable fallback and ragged column tails.
#include <gtest/gtest.h>

#include <va/va.h>

#include <cstdlib>
#include <vector>

#include "aligned_bytes.h"
#include "image_layout.h"
#include "scale_convert.h"

namespace {

using namespace softva;

std::vector<std::uint8_t> convert(const RowKernels& kernels, const Nv12Picture& picture, Rect source, int dw, int dh) {
  const ScalePlan plan = make_scale_plan(source, dw, dh, {0, 0, dw, dh});
  std::vector<std::uint8_t> out(static_cast<std::size_t>(dw) * dh * 4);
  ConvertScratch scratch;
  scale_and_convert(plan, picture, out.data(), dw * 4, PixelOrder::bgrx, kernels, scratch);
  return out;
}

TEST(SoftvaScaleConvert, SimdMatchesPortable) {
  const int sw = 203, sh = 97;
  const ImageLayout layout = *layout_for(VA_FOURCC_NV12, sw, sh);
  AlignedBytes pixels(layout.data_size);
  std::srand(7);
  for (std::size_t i = 0; i < layout.data_size; ++i) pixels.data()[i] = static_cast<std::uint8_t>(std::rand());
  const Nv12Picture picture{pixels.data(), static_cast<int>(layout.pitches[0]), pixels.data() + layout.offsets[1],
                            static_cast<int>(layout.pitches[1])};
  const struct {
    Rect source;
    int dw, dh;
  } cases[] = {{{0, 0, sw, sh}, sw, sh},       {{0, 0, sw, sh}, 101, 48},  {{0, 0, sw, sh}, 640, 301},
               {{0, 0, sw, sh}, 50, 20},       {{3, 5, 120, 60}, 77, 33},  {{1, 1, 1, 1}, 35, 3},
               {{0, 0, sw, sh}, 1, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.source.width << "x" << c.source.height << " -> " << c.dw << "x" << c.dh);
    const auto expected = convert(portable_row_kernels(), picture, c.source, c.dw, c.dh);
    for (const RowKernels& kernels : {sse2_row_kernels(), best_row_kernels()}) {
      const auto actual = convert(kernels, picture, c.source, c.dw, c.dh);
      int worst = 0;
      for (std::size_t i = 0; i < actual.size(); ++i) worst = std::max(worst, std::abs(actual[i] - expected[i]));
      // Same interpolation; the vector conversion rounds its terms separately.
      EXPECT_LE(worst, 2);
    }
  }
}

TEST(SoftvaScaleConvert, Bt601ReferencePoints) {
  EXPECT_EQ(bt601_to_rgb(235 - 16, 0, 0).r, 255);
  EXPECT_EQ(bt601_to_rgb(0, 0, 0).g, 0);
  const Rgb red = bt601_to_rgb(81 - 16, 90 - 128, 240 - 128);
  EXPECT_GE(red.r, 253);
  EXPECT_LE(red.g, 2);
  EXPECT_LE(red.b, 2);
}

}  // namespace
