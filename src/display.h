// The display thread and the live-view control.
#pragma once

// Display thread entry: VA, the video window, the worker and the event loop.
// Returns null when it gives up during its start or when VA termination
// fails, (void*)1 after an orderly end.
void* videoDisplay(void* args);

// Main thread: starts a display thread unless one is running. A display
// thread that has ended is joined first.
void startLive();

// Any thread: closes the control handle (exactly once) and tells the worker
// to stop; does not wait.
void stopLive();

// Main thread: waits for the recorded display thread to end and forgets it.
void joinLive();
