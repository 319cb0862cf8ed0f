// frame_facts.cpp - see frame_facts.h.  Pure functions: any thread.
#include "frame_facts.h"

#include <cstring>

#include "cq_mosaic.h"

namespace genicam {

zebcommon::FrameFacts describe_frame(const FrameInfo& info) {
    zebcommon::FrameFacts facts;
    CQGETFRAMEEX* f = &facts.descriptor;
    std::memset(f, 0, sizeof *f);
    f->modeCX = info.mode_width;
    f->modeCY = info.mode_height;
    f->modeBinX = f->modeBinY = info.binning;
    f->modeFPF = 1;
    f->modeBPP = info.layout.bits;
    f->modeMTX = zebcommon::to_cq_mosaic(info.layout.mosaic);
    f->modeRDO = info.layout.bytes == 1 ? CQ_RDO_8BIT : 0;
    f->curX0 = info.x0;
    f->curCX = info.width;
    f->curY0 = info.y0;
    f->curCY = info.height;
    f->curBinX = f->curBinY = info.binning;
    f->curBPP = info.layout.bits;
    f->curMTX = f->modeMTX;
    f->curFN = info.frame_number;
    // The region's top-left corner in unbinned sensor pixels.
    f->origX0 = info.x0 * info.binning;
    f->origY0 = info.y0 * info.binning;

    facts.width = info.width;
    facts.height = info.height;
    facts.bytes_per_sample = info.layout.bytes;
    facts.mosaic = info.layout.mosaic;
    facts.camera_colour = info.layout.camera_colour;
    return facts;
}

}  // namespace genicam
