// The value under the pointer: its text and the frame sample, pure; the
// shared snapshot. Any thread.
#include "pixel_reading.h"

#include <cstdint>
#include <cstdio>

SharedReading pixel_under_pointer;

std::string pixel_text(const PixelReading& reading) {
    if (!reading.shown) return "";
    const unsigned long full = reading.bits >= 32 ? 0xffffffffUL : (1UL << reading.bits) - 1;
    char text[160];
    int n = snprintf(text, sizeof text, "Pixel %d, %d: %u of %lu (%u bit)", reading.x, reading.y, reading.raw, full,
                     reading.bits);
    if (reading.colour && n > 0 && size_t(n) < sizeof text)
        snprintf(text + n, sizeof text - size_t(n), ", RGB %u %u %u", reading.r, reading.g, reading.b);
    return text;
}

bool frame_sample(const CQGETFRAMEEX& frame, int x, int y, unsigned* value, unsigned* bits) {
    if (!frame.bp || x < 0 || y < 0 || unsigned(x) >= frame.curCX || unsigned(y) >= frame.curCY) return false;
    const size_t at = size_t(y) * frame.curCX + size_t(x);
    if (frame.modeRDO & CQ_RDO_8BIT) {
        *value = static_cast<const uint8_t*>(frame.bp)[at];
        *bits = 8;
    } else {
        *value = static_cast<const uint16_t*>(frame.bp)[at];
        *bits = frame.curBPP > 16 ? 16 : frame.curBPP;
    }
    return true;
}
