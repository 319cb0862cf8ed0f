// result_codes.h - the CQK_RETURN values the simulated camera returns: the
// shared ones, and the codes only injected faults return.  Constants only:
// any thread.
#pragma once

#include "common_result_codes.h"

namespace zebsim {

using zebcommon::kBadArgument;
using zebcommon::kBadHandle;
using zebcommon::kFailed;  // also what an injected fault returns by default
using zebcommon::kNoData;
using zebcommon::kNoDevice;
using zebcommon::kOk;
using zebcommon::kTimeout;
// Reserved by cqWaitForField for "close and reopen the camera"; only
// injected faults return these.
inline constexpr int kReopenLost = CQK_WAIT_REOPEN_LOST;
inline constexpr int kReopenReset = CQK_WAIT_REOPEN_RESET;

}  // namespace zebsim
