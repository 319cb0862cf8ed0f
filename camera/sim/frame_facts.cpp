// frame_facts.cpp - see frame_facts.h.  Pure functions: any thread.
#include "frame_facts.h"

#include <cstring>

#include "cq_mosaic.h"

namespace zebsim {

zebcommon::FrameFacts describe_frame(const FrameInfo& info) {
    zebcommon::FrameFacts facts;
    CQGETFRAMEEX* f = &facts.descriptor;
    std::memset(f, 0, sizeof *f);
    f->modeX0 = 0;
    f->modeCX = info.mode.width;
    f->modeY0 = 0;
    f->modeCY = info.mode.height;
    f->modeBinX = f->modeBinY = info.mode.bin;
    f->modeFPF = 1;
    f->modeBPP = info.mode.bits;
    f->modeMTX = zebcommon::to_cq_mosaic(info.sensor);
    f->modeRDO = info.mode.bits == 8 ? CQ_RDO_8BIT : 0;
    f->curX0 = info.region.x0;
    f->curCX = info.region.cx;
    f->curY0 = info.region.y0;
    f->curCY = info.region.cy;
    f->curBinX = f->curBinY = info.mode.bin;
    f->curBPP = info.mode.bits;
    f->curMTX = f->modeMTX;  // regions start on even offsets, so the mosaic phase is the mode's
    f->curFN = info.frame_number;
    // The region's top-left corner in unbinned sensor pixels.
    f->origX0 = info.mode.sensor_x0 + info.region.x0 * info.mode.bin;
    f->origY0 = info.mode.sensor_y0 + info.region.y0 * info.mode.bin;

    facts.width = info.region.cx;
    facts.height = info.region.cy;
    facts.bytes_per_sample = info.mode.bits == 8 ? 1u : 2u;
    facts.mosaic = info.sensor;
    return facts;
}

}  // namespace zebsim
