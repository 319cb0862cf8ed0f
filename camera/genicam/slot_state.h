// slot_state.h - the states of a camera slot (camera_slot.h) and the moves
// between them.  The slot changes its state only through these moves, so
// each one is named here and a move not listed is a fault.
//
// Pure: any thread.
#pragma once

namespace genicam {

enum class CameraState {
    closed,         // no camera thread, nothing kept
    reaching,       // the camera thread reaches a camera this slot has not had yet
    configuring,    // reached: the camera thread applies the settings (a start asked meanwhile is kept)
    connected,      // configured and answering: calls go to the camera
    not_answering,  // connected, but a call gave up on it: calls fail at once until the camera thread is free again
    closing,        // the camera thread closes the connection to a camera nobody wants
    lost,           // the camera went away, or another program controls it: the camera thread reaches it again; modes and settings are kept
    lost_closed,    // lost, and no handle wants it: no camera thread; modes and settings kept for the next handle
};

// Whether the slot may move from `from` to `to`.
bool may_move(CameraState from, CameraState to);

const char* state_name(CameraState state);

// Calls are handed to the camera only while it is connected.
inline bool calls_allowed(CameraState state) { return state == CameraState::connected; }

// The camera thread runs in every state but these two.
inline bool thread_runs(CameraState state) {
    return state != CameraState::closed && state != CameraState::lost_closed;
}

// A start asked for in these states is kept: the stream starts once the
// camera is configured (again).
inline bool start_kept(CameraState state) {
    return state == CameraState::configuring || state == CameraState::lost;
}

}  // namespace genicam
