// incomplete_run.h - when frames arriving incomplete (packets lost on the
// network, after Aravis's resends) are worth a line: a run of them that has
// lasted over a second, once, and its end, once.  A run is incomplete frames
// with no second between two of them free of incomplete ones.
//
// Not locked: its owner's lock guards it.  Pure (time comes as an argument).
#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace genicam {

inline constexpr std::chrono::seconds kIncompleteRunSpan{1};

class IncompleteRun {
public:
    using Clock = std::chrono::steady_clock;

    // One frame delivered at now; the line to print, "" for none.
    std::string frame(Clock::time_point now, bool complete);

private:
    std::optional<Clock::time_point> since_;  // the run's first incomplete frame
    Clock::time_point last_incomplete_{};
    unsigned incomplete_ = 0, frames_ = 0;  // since the run began
    bool reported_ = false;
};

}  // namespace genicam
