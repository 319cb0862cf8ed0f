// cq_mosaic.h - the one conversion from the camera libraries' mosaic to the
// CQMOSAIC value their callers read. Pure: any thread.
#pragma once

#include <zebapi.h>

#include "mosaic.h"

namespace zebcommon {

constexpr CQMOSAIC to_cq_mosaic(colour::Mosaic mosaic) {
    switch (mosaic) {
        case colour::Mosaic::rggb: return CQM_RGGB;
        case colour::Mosaic::bggr: return CQM_BGGR;
        case colour::Mosaic::mono: return CQM_NONE;
    }
    return CQM_NONE;
}

}  // namespace zebcommon
