// faults.h - faults injected on purpose (ZEBSIM_FAULTS grammar) and the
// per-camera call counters that decide when they fire.
//
// parse_faults may be called from any thread.  A FaultCounters object is not
// locked itself: its camera's mutex guards it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fault_schedule.h"

namespace zebsim {

// Library operations that can be made to fail; each has its own call counter.
enum class FaultedCall {
    initialize,
    set_mode,
    mode_settle,
    mode_timing,
    start,
    wait,
    acquire,
    process,
    bitmap,
    mode_descriptor,
    gain_info,
    uninitialize,  // slowclose: takes kSlowCloseSeconds, then closes as asked
    count
};

// How long cqkUninitialize takes under the slowclose fault: a camera whose
// close waits for it.
inline constexpr int kSlowCloseSeconds = 2;

struct FaultRule {
    FaultedCall call;
    int result;                    // what the failing call returns
    tolmirex::FaultSchedule when;  // which calls fail
};

// "init,wait45@3,acquire@2+" -> rules (grammar in fault_schedule.h).  Unknown
// or malformed entries, zero, negative and overflowing counts among them, are
// left out and warned about on stderr (once per entry text per process).
std::vector<FaultRule> parse_faults(const std::string& list);

class FaultCounters {
public:
    // Replaces the rules; counters restart from zero.
    void reset(std::vector<FaultRule> rules);
    // Counts one call; the result to return when this call is made to fail.
    std::optional<int> next_call(FaultedCall call);

private:
    std::vector<FaultRule> rules_;
    std::array<uint64_t, static_cast<size_t>(FaultedCall::count)> calls_{};
};

}  // namespace zebsim
