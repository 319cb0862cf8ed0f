// result_codes.h - the CQK_RETURN values this library returns.  Constants
// only: any thread.
#pragma once

namespace genicam {

inline constexpr int kOk = 0;
inline constexpr int kCameraLost = 45;     // cqWaitForField: close and reopen the camera
inline constexpr int kTimeout = 2;         // no field within the time-out
inline constexpr int kNoData = 3;          // no field ready / no current frame
inline constexpr int kFailed = 5;          // the camera refused a setting or a command
inline constexpr int kBadHandle = 6;       // closed, -1 or unknown handle
inline constexpr int kBadArgument = 7;     // null pointer, unknown mode, region that does not fit
inline constexpr int kNoDevice = 8;        // no camera with that id, or it does not answer

}  // namespace genicam
