// Threads: any (see fault_plan.h).
#include "fault_plan.h"

#include "text_list.h"

namespace softva {
namespace {

constexpr std::string_view kCallNames[] = {"init",     "query_image_formats", "create_surfaces", "destroy_surfaces",
                                           "derive",   "create_image",        "destroy_image",   "map",
                                           "unmap",    "put_image",           "put_surface",     "sync",
                                           "terminate"};
static_assert(std::size(kCallNames) == static_cast<std::size_t>(FaultCall::count_));

}  // namespace

std::optional<FaultCall> fault_call_named(std::string_view name) {
    for (std::size_t i = 0; i < std::size(kCallNames); ++i)
        if (kCallNames[i] == name) return static_cast<FaultCall>(i);
    return std::nullopt;
}

ParsedFaults parse_fault_rules(std::string_view setting) {
    ParsedFaults parsed;
    tolmirex::for_each_list_entry(setting, [&](std::string_view entry) {
        const auto [name, when] = tolmirex::split_fault_entry(entry);
        const auto call = fault_call_named(name);
        if (call && when)
            parsed.rules.push_back({*call, *when});
        else
            parsed.rejected.emplace_back(entry);
    });
    return parsed;
}

FaultPlan::FaultPlan(std::vector<FaultRule> rules) : rules_(std::move(rules)) {}

bool FaultPlan::should_fail(FaultCall call) {
    if (rules_.empty()) return false;
    const std::uint64_t use = uses_[static_cast<std::size_t>(call)].fetch_add(1) + 1;
    for (const FaultRule& rule : rules_)
        if (rule.call == call && tolmirex::schedule_fails_use(rule.when, use)) return true;
    return false;
}

}  // namespace softva
