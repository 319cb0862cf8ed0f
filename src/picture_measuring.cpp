// See picture_measuring.h. Display thread only.
#include "picture_measuring.h"

#include <mutex>

#include "frame_handover.h"
#include "picture_figures.h"
#include "setup.h"

namespace {

constexpr unsigned MEASURE_EVERY_MS = 200;

void measure(const FrameView& view, PictureFigures* figures) {
    measure_histogram(view, sample_step(view.width, view.height, kMaxSamples), figures);
    figures->focus = focus_figure(view, sample_step(view.width / 2, view.height / 2, kMaxSamples));
}

}  // namespace

void PictureMeasuring::after_redraw(bool colour, unsigned now_ms) {
    if (!lps->show || (measured_ && now_ms - last_ms_ < MEASURE_EVERY_MS)) return;
    PictureFigures figures;
    FrameView view;
    if (colour) {
        if (!lps->sbmp.bp) return;
        view = {FrameView::Kind::bgrx, lps->sbmp.bp, int(lps->sbmp.w), int(lps->sbmp.h), 8};
        measure(view, &figures);
    } else {
        // The camera's own buffer, held as the upload holds it: a few
        // milliseconds, which the camera's queue of fields absorbs.
        const std::unique_lock<std::mutex> frame = hold_newest_frame(&lps->sgf);
        if (!frame.owns_lock() || !lps->sgf.bp) return;
        const CQGETFRAMEEX& f = lps->sgf;
        const bool eight = (f.modeRDO & CQ_RDO_8BIT) != 0;
        view = {eight ? FrameView::Kind::mono8 : FrameView::Kind::mono16, f.bp, int(f.curCX), int(f.curCY),
                eight ? 8 : int(f.curBPP)};
        measure(view, &figures);
    }
    const FocusKey key{view.width, view.height, int(view.kind), figures.bits, lps->uiMode.load()};
    best_ = best_focus_after(best_, key_, key, figures.focus);  // the first key never matches
    figures.best_focus = best_;
    key_ = key;
    measured_ = true;
    last_ms_ = now_ms;
    publish_picture_figures(figures);
}
