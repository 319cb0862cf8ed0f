// What the camera library tells of the camera and of what stands in the way
// of its pictures, through the cqGetCondition and cqSetFreeRun extensions of
// this tree's libraries, which the maker's own library lacks. Any thread;
// the caller keeps the handle open meanwhile.
#pragma once

#include "zebapi.h"

// False when the library cannot say (no such call, or the handle is not open).
bool camera_condition(HANDLE h, CQCONDITION* condition);

// The library's result; CQK_RETURN 7 (a bad argument) when it has no such call.
CQK_RETURN camera_free_run(HANDLE h);
