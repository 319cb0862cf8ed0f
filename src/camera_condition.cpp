// See camera_condition.h. Any thread.
#include "camera_condition.h"

// Weak: with the maker's library the references stay null and the viewer
// says what it knows itself.
#pragma weak cqGetCondition
#pragma weak cqSetFreeRun

bool camera_condition(HANDLE h, CQCONDITION* condition) {
    return cqGetCondition && cqGetCondition(h, condition) == 0;
}

CQK_RETURN camera_free_run(HANDLE h) { return cqSetFreeRun ? cqSetFreeRun(h) : 7; }
