// strip_pacing.h - how big a strip of a picture sent through the X
// connection (no MIT-SHM) may be: as much as the link carries in about
// 50 ms, so the panel's drawing and events, queued behind a strip, wait no
// longer than that, whatever the link.  Pure: any thread.
#pragma once

#include <algorithm>
#include <cstddef>

namespace softva {

// The first strip of a connection, before anything was measured.
inline constexpr std::size_t kFirstStripBytes = 128 * 1024;
inline constexpr double kStripSeconds = 0.05;
// A fast link gains nothing from strips beyond this.  Below the smallest,
// a link with a long round trip would send a picture a row per round trip;
// at 1 Mbit/s it is still only 0.13 s of the link.
inline constexpr std::size_t kLargestStripBytes = 8u << 20;
inline constexpr std::size_t kSmallestStripBytes = 16 * 1024;

// The next strip's size after one of sent_bytes took `seconds` to go out
// and be answered (XPutImage then XSync).  Callers send at least a row.
inline std::size_t next_strip_bytes(std::size_t sent_bytes, double seconds) {
    if (!(seconds > 0)) return kLargestStripBytes;
    const double wanted = double(sent_bytes) / seconds * kStripSeconds;
    return static_cast<std::size_t>(std::clamp(wanted, double(kSmallestStripBytes), double(kLargestStripBytes)));
}

}  // namespace softva
