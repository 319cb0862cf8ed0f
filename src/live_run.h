// Stop requests for the live run: a stop sticks even when it comes before
// the worker has started, and wakes a worker that pauses between reopens.
// Each operation says which thread calls it.
#pragma once

#include <chrono>

// Stops the worker: clears bRun and bHaveData, and records the request so a
// worker that has not started yet does not start running.
void request_stop();
// Marks the start of a new live run; a worker started for it runs only if no
// stop is requested after this.
void begin_live_run();
// Worker: sets bRun and reports whether it may run (no stop since the run began).
bool worker_begin_run();
// Worker: waits for `pause` unless a stop is requested meanwhile; false when
// it was.
bool wait_unless_stopped(std::chrono::milliseconds pause);
