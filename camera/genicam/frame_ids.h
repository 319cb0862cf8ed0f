// frame_ids.h - widening of the camera's frame ids into a counter that keeps
// counting.  GigE Vision block ids are 16 bits and wrap from 65535 to 1 (0 is
// never sent); USB3 Vision and extended GigE ids are 64 bits.  The program
// counts a forward step of n as n - 1 lost frames and a step back or a jump
// of 1000 or more as none, so the widened counter must step by exactly one
// across a wrap and jump far ahead at a restart.
//
// Pure functions on a value type: any thread (the caller guards its state).
#pragma once

#include <cstdint>

namespace genicam {

enum class IdWidth { gev16, wide64 };

struct FrameIdCounter {
    uint64_t wide = 0;      // the counter handed to the program (its low 32 bits)
    uint64_t last_raw = 0;  // the camera's last id
    bool started = false;   // false until the first frame, and again after a stream restart
    bool counted = false;   // any frame was ever counted
    bool resumed = false;   // the stream restarted on the same count, no frame since
};

// How far the counter jumps when the ids restart or go back: far beyond the
// program's 1000-frame limit, so nothing is counted as lost.
inline constexpr uint64_t kRestartJump = 1u << 20;

// The counter after a frame with the camera's id raw.
FrameIdCounter advance_frame_id(FrameIdCounter counter, uint64_t raw, IdWidth width);

// A frame with that id was overtaken by later ones: the camera resends or
// Aravis gives up on a frame after newer ones arrived.  True when the id is
// less than kLateWindow frames behind (or equal to) the last one, or, on a
// GigE Vision stream, 0: an id that never arrived.
inline constexpr uint64_t kLateWindow = 1000;
bool is_late_frame_id(const FrameIdCounter& counter, uint64_t raw, IdWidth width);

// The next frame starts a new count (stream restarted, camera reconnected):
// keeps the counter but forgets the last raw id.
FrameIdCounter restart_frame_ids(FrameIdCounter counter);

// The next frame goes on with the camera's ids (a reconnect): a step forward
// counts the frames missed meanwhile, but the last id again means a camera
// that restarted its count, since Aravis drops its new ids up to the old last
// one as late, and jumps ahead like a restart.
FrameIdCounter resume_frame_ids(FrameIdCounter counter);

}  // namespace genicam
