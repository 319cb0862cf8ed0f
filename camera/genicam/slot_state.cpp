// slot_state.cpp - see slot_state.h.
#include "slot_state.h"

namespace genicam {

bool may_move(CameraState from, CameraState to) {
    using S = CameraState;
    switch (from) {
    case S::closed:  // a handle opens: the camera thread starts
        return to == S::reaching;
    case S::lost_closed:  // a handle opens: the camera thread reaches the lost camera again
        return to == S::lost;
    case S::reaching:  // reached, or held by another program (waited for as if lost), or nobody wants it any more
        return to == S::configuring || to == S::lost || to == S::closed;
    case S::lost:  // reached again, or nobody wants it any more
        return to == S::configuring || to == S::lost_closed;
    case S::configuring:  // configured, or lost (or unwanted) on the way
        return to == S::connected || to == S::lost || to == S::closing;
    case S::connected:  // a call gave up on it, or lost, or unwanted
        return to == S::not_answering || to == S::lost || to == S::closing;
    case S::not_answering:  // the camera thread is free again, or the camera was lost, or unwanted
        return to == S::connected || to == S::lost || to == S::closing;
    case S::closing:  // closed: wanted again, or the thread ends
        return to == S::reaching;
    }
    return false;
}

const char* state_name(CameraState state) {
    switch (state) {
    case CameraState::closed: return "closed";
    case CameraState::reaching: return "reaching";
    case CameraState::configuring: return "configuring";
    case CameraState::connected: return "connected";
    case CameraState::not_answering: return "not answering";
    case CameraState::closing: return "closing";
    case CameraState::lost: return "lost";
    case CameraState::lost_closed: return "lost, closed";
    }
    return "?";
}

}  // namespace genicam
