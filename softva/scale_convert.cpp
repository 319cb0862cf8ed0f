// Threads: any (see scale_convert.h).
#include "scale_convert.h"

namespace softva {
namespace {

// Vertical pass: the source row pair blended for one destination row, or the
// source row itself when the weight is zero (no copy).
const std::uint8_t* blended_row(const std::uint8_t* plane, int pitch, const AxisTap& tap, int offset, int count,
                                std::vector<std::uint8_t>& scratch, const RowKernels& kernels) {
  const std::uint8_t* first = plane + static_cast<std::ptrdiff_t>(tap.first) * pitch + offset;
  if (tap.weight == 0) return first;
  const std::uint8_t* second = plane + static_cast<std::ptrdiff_t>(tap.second) * pitch + offset;
  kernels.blend_rows(first, second, tap.weight, scratch.data(), count);
  return scratch.data();
}

}  // namespace

void scale_and_convert(const ScalePlan& plan, const Nv12Picture& picture, std::uint8_t* out, int out_pitch,
                       PixelOrder order, const RowKernels& kernels, ConvertScratch& scratch) {
  const int width = plan.visible.width;
  const int luma_count = plan.luma_column_count;
  const int chroma_bytes = 2 * plan.chroma_column_count;
  // Padding: the horizontal pass reads whole 16-byte windows.
  scratch.luma_row.resize(luma_count + 32);
  scratch.chroma_row.resize(chroma_bytes + 32);
  scratch.c.resize(width);
  scratch.d.resize(width);
  scratch.e.resize(width);
  std::int16_t* c = scratch.c.data();
  std::int16_t* d = scratch.d.data();
  std::int16_t* e = scratch.e.data();

  for (int row = 0; row < plan.visible.height; ++row) {
    const std::uint8_t* luma = blended_row(picture.y, picture.y_pitch, plan.luma_rows[row], plan.luma_column_base,
                                           luma_count, scratch.luma_row, kernels);
    const std::uint8_t* chroma = blended_row(picture.uv, picture.uv_pitch, plan.chroma_rows[row],
                                             2 * plan.chroma_column_base, chroma_bytes, scratch.chroma_row, kernels);
    kernels.horizontal(plan, luma, chroma, c, d, e);
    kernels.yuv_to_rgb(c, d, e, out + static_cast<std::ptrdiff_t>(row) * out_pitch, width, order);
  }
}

}  // namespace softva
