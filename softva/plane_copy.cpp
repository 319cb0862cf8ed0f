// Threads: any (see plane_copy.h).
#include "plane_copy.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace softva {
namespace {

// Chroma rectangle covering the chroma samples of a luma rectangle.
Rect chroma_rect(Rect luma) {
    const int x0 = luma.x >= 0 ? luma.x / 2 : -((1 - luma.x) / 2);
    const int y0 = luma.y >= 0 ? luma.y / 2 : -((1 - luma.y) / 2);
    const int x1 = chroma_extent(luma.x + luma.width);
    const int y1 = chroma_extent(luma.y + luma.height);
    return {x0, y0, x1 - x0, y1 - y0};
}

// Source index for destination index d of a span scaled from src_len to dst_len.
int nearest_source(int d, int src_len, int dst_len) {
    return static_cast<int>((static_cast<long long>(2 * d + 1) * src_len) / (2LL * dst_len));
}

}  // namespace

void copy_plane(const SampleView& src, Rect sr, const SampleView& dst, Rect dr) {
    if (sr.width <= 0 || sr.height <= 0 || dr.width <= 0 || dr.height <= 0) return;
    const int dx0 = std::max(0, -dr.x), dx1 = std::min(dr.width, dst.width - dr.x);
    const int dy0 = std::max(0, -dr.y), dy1 = std::min(dr.height, dst.height - dr.y);
    if (dx0 >= dx1 || dy0 >= dy1) return;

    // Per destination column: the source column, or -1 where it lies outside.
    std::vector<int> columns(dx1 - dx0);
    for (int d = dx0; d < dx1; ++d) {
        const int s = sr.x + nearest_source(d, sr.width, dr.width);
        columns[d - dx0] = (s >= 0 && s < src.width) ? s : -1;
    }
    const bool straight_copy = sr.width == dr.width && src.step == 1 && dst.step == 1;
    for (int d = dy0; d < dy1; ++d) {
        const int sy = sr.y + nearest_source(d, sr.height, dr.height);
        if (sy < 0 || sy >= src.height) continue;
        const std::uint8_t* src_row = src.base + static_cast<std::ptrdiff_t>(sy) * src.pitch;
        std::uint8_t* dst_row = dst.base + static_cast<std::ptrdiff_t>(dr.y + d) * dst.pitch;
        if (straight_copy) {
            // Same width: the valid columns form one run (memmove: a derived image
            // put back into its own surface copies a region onto itself).
            int first = dx0;
            while (first < dx1 && columns[first - dx0] < 0) ++first;
            int last = dx1;
            while (last > first && columns[last - 1 - dx0] < 0) --last;
            if (last > first) std::memmove(dst_row + dr.x + first, src_row + columns[first - dx0], last - first);
            continue;
        }
        for (int d2 = dx0; d2 < dx1; ++d2) {
            const int s = columns[d2 - dx0];
            if (s >= 0)
                dst_row[static_cast<std::ptrdiff_t>(dr.x + d2) * dst.step] =
                    src_row[static_cast<std::ptrdiff_t>(s) * src.step];
        }
    }
}

void copy_picture(const YuvView& src, Rect src_rect, const YuvView& dst, Rect dst_rect) {
    copy_plane(src.y, src_rect, dst.y, dst_rect);
    const Rect src_chroma = chroma_rect(src_rect), dst_chroma = chroma_rect(dst_rect);
    copy_plane(src.u, src_chroma, dst.u, dst_chroma);
    copy_plane(src.v, src_chroma, dst.v, dst_chroma);
}

}  // namespace softva
