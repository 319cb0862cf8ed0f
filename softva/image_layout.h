// Threads: any (pure functions).
// Memory layout of the 4:2:0 formats the driver knows: plane pitches, offsets
// and total size for a given picture size.  Odd sizes round the chroma up.
#pragma once

#include <cstdint>
#include <optional>

namespace softva {

constexpr std::uint32_t kPitchAlignment = 64;
constexpr int kMaxDimension = 16384;

constexpr int chroma_extent(int luma_extent) { return (luma_extent + 1) / 2; }
constexpr std::uint32_t align_pitch(std::uint32_t bytes) {
    return (bytes + kPitchAlignment - 1) / kPitchAlignment * kPitchAlignment;
}

struct ImageLayout {
    std::uint32_t fourcc = 0;
    int num_planes = 0;
    std::uint32_t pitches[3] = {0, 0, 0};
    std::uint32_t offsets[3] = {0, 0, 0};
    std::uint32_t data_size = 0;
};

// NV12: Y plane, then interleaved UV.  YV12: Y, V, U.  I420: Y, U, V.
// Empty for unknown formats or sizes outside 1..kMaxDimension.
std::optional<ImageLayout> layout_for(std::uint32_t fourcc, int width, int height);

// A plane of 8-bit samples, `step` bytes apart within a row (2 for the
// interleaved chroma of NV12).
struct SampleView {
    std::uint8_t* base = nullptr;
    int pitch = 0;
    int step = 1;
    int width = 0;
    int height = 0;
};

struct YuvView {
    SampleView y, u, v;  // u and v at chroma resolution
};

YuvView yuv_view(std::uint8_t* data, const ImageLayout& layout, int width, int height);

}  // namespace softva
