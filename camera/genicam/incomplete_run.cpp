// incomplete_run.cpp - see incomplete_run.h.  Its owner's thread.
#include "incomplete_run.h"

namespace genicam {

std::string IncompleteRun::frame(Clock::time_point now, bool complete) {
    if (complete) {
        if (!since_) return "";
        ++frames_;
        if (now - last_incomplete_ <= kIncompleteRunSpan) return "";
        const bool ended_reported = reported_;
        since_.reset();
        reported_ = false;
        return ended_reported ? "Frames arriving complete again\n" : "";
    }
    if (!since_) {
        since_ = now;
        incomplete_ = frames_ = 0;
    }
    ++incomplete_;
    ++frames_;
    last_incomplete_ = now;
    if (reported_ || now - *since_ <= kIncompleteRunSpan) return "";
    reported_ = true;
    return "Frames arriving incomplete: " + std::to_string(incomplete_) + " of the last " + std::to_string(frames_) +
           " (packets lost on the network)\n";
}

}  // namespace genicam
