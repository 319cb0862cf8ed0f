// Threads: any; the counters are atomic, so concurrent calls into one driver
// instance each count exactly once.
// Deliberate failures for testing the program's error paths.  SOFTVA_FAIL is a
// comma list of call[@N | @N+ | @NxK] (fault_schedule.h): without @ every use
// fails, @N the N-th only, @N+ from the N-th on, @NxK K uses from the N-th.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fault_schedule.h"

namespace softva {

enum class FaultCall {
    init,
    query_image_formats,
    create_surfaces,
    destroy_surfaces,
    derive,
    create_image,
    destroy_image,
    map,
    unmap,
    put_image,
    put_surface,
    sync,
    terminate,
    count_
};

std::optional<FaultCall> fault_call_named(std::string_view name);

struct FaultRule {
    FaultCall call;
    tolmirex::FaultSchedule when;
};

struct ParsedFaults {
    std::vector<FaultRule> rules;
    std::vector<std::string> rejected;  // entries that did not parse
};

ParsedFaults parse_fault_rules(std::string_view setting);

class FaultPlan {
public:
    explicit FaultPlan(std::vector<FaultRule> rules = {});
    // Counts one use of `call` and says whether this use must fail.
    bool should_fail(FaultCall call);

private:
    std::vector<FaultRule> rules_;
    std::array<std::atomic<std::uint64_t>, static_cast<std::size_t>(FaultCall::count_)> uses_{};
};

}  // namespace softva
