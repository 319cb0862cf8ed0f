// What the camera runs, through the camera libraries' cqGetSettings
// extension, which the maker's own library lacks. Any thread (the library's
// calls are thread-safe); the caller keeps the handle open meanwhile.
#pragma once

#include "zebapi.h"

// False when the library cannot say (no such call, or the handle is not open).
bool camera_settings(HANDLE h, CQSETTINGS* runs);

// True when the library says it is waiting for the camera (lost or not
// answering); false when it answers or the library cannot say.
bool camera_waiting(HANDLE h);
