// result_codes.h - the CQK_RETURN values the simulated camera returns.
// Constants only: any thread.
#pragma once

namespace zebsim {

inline constexpr int kOk = 0;
// Reserved by cqWaitForField for "close and reopen the camera"; only
// injected faults return these.
inline constexpr int kReopenLost = 1;
inline constexpr int kReopenReset = 45;
inline constexpr int kTimeout = 2;          // no field within the time-out
inline constexpr int kNoData = 3;           // no field ready / no current frame
inline constexpr int kFailed = 5;           // an injected fault
inline constexpr int kBadHandle = 6;        // closed, -1 or unknown handle
inline constexpr int kBadArgument = 7;      // null pointer, unknown mode, region that does not fit
inline constexpr int kNoDevice = 8;         // no camera with that index

}  // namespace zebsim
