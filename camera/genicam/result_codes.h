// result_codes.h - the CQK_RETURN values this library returns: the shared
// ones and its own.  Constants only: any thread.
#pragma once

#include "common_result_codes.h"

namespace genicam {

using zebcommon::kBadArgument;
using zebcommon::kBadHandle;
using zebcommon::kFailed;  // the camera refused a setting or a command
using zebcommon::kNoData;
using zebcommon::kNoDevice;  // no camera with that id, or it does not answer
using zebcommon::kOk;
using zebcommon::kTimeout;

}  // namespace genicam
