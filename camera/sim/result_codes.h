// result_codes.h - the CQK_RETURN values the simulated camera returns (an
// injected wait fault returns zebapi.h's CQK_WAIT_REOPEN_* as well).
// Constants only: any thread.
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

}  // namespace zebsim
