// Threads: any (pure functions).
#include "image_layout.h"

#include <va/va.h>

namespace softva {

std::optional<ImageLayout> layout_for(std::uint32_t fourcc, int width, int height) {
    if (width < 1 || height < 1 || width > kMaxDimension || height > kMaxDimension) return std::nullopt;
    const std::uint32_t w = width, h = height;
    const std::uint32_t cw = chroma_extent(width), ch = chroma_extent(height);
    ImageLayout layout;
    layout.fourcc = fourcc;
    layout.pitches[0] = align_pitch(w);
    layout.offsets[0] = 0;
    const std::uint32_t luma_size = layout.pitches[0] * h;
    switch (fourcc) {
        case VA_FOURCC_NV12:
            layout.num_planes = 2;
            layout.pitches[1] = align_pitch(2 * cw);
            layout.offsets[1] = luma_size;
            layout.data_size = luma_size + layout.pitches[1] * ch;
            return layout;
        case VA_FOURCC_YV12:
        case VA_FOURCC_I420:
            layout.num_planes = 3;
            layout.pitches[1] = layout.pitches[2] = align_pitch(cw);
            layout.offsets[1] = luma_size;
            layout.offsets[2] = luma_size + layout.pitches[1] * ch;
            layout.data_size = layout.offsets[2] + layout.pitches[2] * ch;
            return layout;
        default: return std::nullopt;
    }
}

YuvView yuv_view(std::uint8_t* data, const ImageLayout& layout, int width, int height) {
    const int cw = chroma_extent(width), ch = chroma_extent(height);
    YuvView view;
    view.y = {data + layout.offsets[0], static_cast<int>(layout.pitches[0]), 1, width, height};
    if (layout.fourcc == VA_FOURCC_NV12) {
        std::uint8_t* uv = data + layout.offsets[1];
        const int pitch = static_cast<int>(layout.pitches[1]);
        view.u = {uv, pitch, 2, cw, ch};
        view.v = {uv + 1, pitch, 2, cw, ch};
        return view;
    }
    // YV12 stores V before U; I420 U before V.
    const bool v_first = layout.fourcc == VA_FOURCC_YV12;
    SampleView first{data + layout.offsets[1], static_cast<int>(layout.pitches[1]), 1, cw, ch};
    SampleView second{data + layout.offsets[2], static_cast<int>(layout.pitches[2]), 1, cw, ch};
    view.u = v_first ? second : first;
    view.v = v_first ? first : second;
    return view;
}

}  // namespace softva
