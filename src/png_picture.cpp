// PNG layout of frames and bitmaps, pure. Any thread.
#include "png_picture.h"

#include <algorithm>

PngPicture png_from_frame(const CQGETFRAMEEX& frame) {
    PngPicture png;
    png.width = int(frame.curCX);
    png.height = int(frame.curCY);
    const size_t count = size_t(frame.curCX) * frame.curCY;
    if (frame.modeRDO & CQ_RDO_8BIT) {
        const auto* p = static_cast<const uint8_t*>(frame.bp);
        png.rows.assign(p, p + count);
        return png;
    }
    const unsigned bits = std::clamp<unsigned>(frame.curBPP, 1, 16);
    const unsigned full = (1u << bits) - 1;
    png.bit_depth = 16;
    png.significant_bits = bits < 16 ? int(bits) : 0;
    png.rows.resize(count * 2);
    const auto* p = static_cast<const uint16_t*>(frame.bp);
    for (size_t i = 0; i < count; ++i) {
        const unsigned v = std::min<unsigned>(p[i], full) << (16 - bits);
        png.rows[2 * i] = uint8_t(v >> 8);
        png.rows[2 * i + 1] = uint8_t(v);
    }
    return png;
}

PngPicture png_from_bitmap(const CQGETBITMAP& bitmap) {
    PngPicture png;
    png.width = int(bitmap.w);
    png.height = int(bitmap.h);
    png.colour = true;
    const size_t count = size_t(bitmap.w) * bitmap.h;
    png.rows.resize(count * 3);
    for (size_t i = 0; i < count; ++i) {
        png.rows[3 * i] = bitmap.bp[4 * i + 2];
        png.rows[3 * i + 1] = bitmap.bp[4 * i + 1];
        png.rows[3 * i + 2] = bitmap.bp[4 * i];
    }
    return png;
}
