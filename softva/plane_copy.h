// Threads: any (pure over the memory it is given; callers keep it alive and
// unshared for the duration).
// Copies between 4:2:0 pictures of any of the layouts in image_layout.h, for
// vaPutImage and vaGetImage: rectangle to rectangle, nearest-neighbour scaling
// when the sizes differ, clipped to both pictures.
#pragma once

#include "image_layout.h"

namespace softva {

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
};

// The destination pixels of `dst_rect` take the source pixels of `src_rect`
// that map onto them; pixels that fall outside either picture are left alone.
void copy_plane(const SampleView& src, Rect src_rect, const SampleView& dst, Rect dst_rect);

// Luma rectangles; the chroma rectangles cover the same area at half size.
void copy_picture(const YuvView& src, Rect src_rect, const YuvView& dst, Rect dst_rect);

}  // namespace softva
