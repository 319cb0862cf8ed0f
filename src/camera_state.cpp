// See camera_state.h. Any thread.
#include "camera_state.h"

// Weak: with the maker's library the reference stays null and the viewer
// shows what it set, as without the extension.
#pragma weak cqGetSettings

bool camera_settings(HANDLE h, CQSETTINGS* runs) { return cqGetSettings && cqGetSettings(h, runs) == 0; }

bool camera_waiting(HANDLE h) {
    CQSETTINGS runs{};
    return camera_settings(h, &runs) && runs.dwState != CQ_CAMERA_ANSWERING;
}
