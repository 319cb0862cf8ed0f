// zebsim.h - test-only control of the simulated camera, in-process.  Exported
// from the simulator's libzebapi.so; the program itself never includes it.
// Any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zebsim {
// Every library call made since the last clear, in order, as "name arg arg ...",
// handles left out, floats with %g, pointers left out, e.g.
// "cqSetMode 10000 0 16 0 640 1024", "cqSetGainVal 6.5", "cqGetGPIO -1 0", "cqWaitForField 1000".
std::vector<std::string> calls();
size_t count(const std::string& name);  // logged calls of that name
void clear_calls();
void set_inputs(long level);               // fixed levels; -1 = the moving default
void set_faults(const std::string& list);  // replaces the faults now (ZEBSIM_FAULTS grammar); counters restart
void set_paused(bool paused);              // while paused the sensor makes no frames (waits time out)
int open_handles();                        // handles currently open
size_t frame_buffers();                    // frame buffers allocated, all cameras
// Frames the sensor made that were lost because a handle's caller fell behind
// (its queue of ready fields was full), over all cameras since load or reset.
uint64_t dropped_frames();
void reset();  // back to the environment's settings; clears log, faults, pause, inputs
}  // namespace zebsim
