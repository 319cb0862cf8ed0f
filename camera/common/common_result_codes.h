// common_result_codes.h - the CQK_RETURN values every camera library gives
// the same meaning; each library adds its own codes beside these.
// Constants only: any thread.
#pragma once

#include <zebapi.h>

namespace zebcommon {

inline constexpr int kOk = CQK_SUCCESS;
inline constexpr int kTimeout = 2;      // no field within the time-out
inline constexpr int kNoData = 3;       // no field ready / no current frame / no bitmap yet
inline constexpr int kFailed = 5;       // the call could not be carried out
inline constexpr int kBadHandle = 6;    // closed, -1 or unknown handle
inline constexpr int kBadArgument = 7;  // null pointer, unknown mode, region that does not fit
inline constexpr int kNoDevice = 8;     // no camera with that index or id

}  // namespace zebcommon
