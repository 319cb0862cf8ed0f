// faults.cpp - fault grammar and counters.  parse_faults: any thread (the
// warned-names set has its own mutex); FaultCounters: under the camera mutex.
#include "faults.h"

#include <cstdio>
#include <iterator>
#include <mutex>
#include <set>
#include <string_view>

#include "result_codes.h"
#include "text_list.h"

namespace zebsim {
namespace {

// Each call's name in ZEBSIM_FAULTS, in FaultedCall's order; the named call
// fails with kFailed.  The wait has no name of its own: it is named by what
// it reports instead, wait45 (a reset) or wait1 (the camera lost).
constexpr std::string_view kCallNames[] = {"init",    "setmode", "settle", "timing",   "start",    "",
                                           "acquire", "process", "bitmap", "modedesc", "gaininfo", "slowclose"};
static_assert(std::size(kCallNames) == static_cast<size_t>(FaultedCall::count));

void warn_once(const std::string& entry) {
    static std::mutex mutex;                                           // protects warned
    static std::set<std::string>* warned = new std::set<std::string>;  // lives as long as the process
    std::lock_guard lock(mutex);
    if (warned->insert(entry).second)
        std::fprintf(stderr, "zebsim: ignoring unknown fault \"%s\" in ZEBSIM_FAULTS\n", entry.c_str());
}

std::optional<FaultRule> parse_entry(std::string_view entry) {
    const auto [name, when] = tolmirex::split_fault_entry(entry);
    if (!when || name.empty()) return std::nullopt;
    if (name == "wait45") return FaultRule{FaultedCall::wait, CQK_WAIT_REOPEN_RESET, *when};
    if (name == "wait1") return FaultRule{FaultedCall::wait, CQK_WAIT_REOPEN_LOST, *when};
    for (size_t i = 0; i < std::size(kCallNames); ++i)
        if (kCallNames[i] == name) return FaultRule{static_cast<FaultedCall>(i), kFailed, *when};
    return std::nullopt;
}

}  // namespace

std::vector<FaultRule> parse_faults(const std::string& list) {
    std::vector<FaultRule> rules;
    tolmirex::for_each_list_entry(list, [&](std::string_view entry) {
        if (auto rule = parse_entry(entry))
            rules.push_back(*rule);
        else
            warn_once(std::string(entry));
    });
    return rules;
}

void FaultCounters::reset(std::vector<FaultRule> rules) {
    rules_ = std::move(rules);
    calls_.fill(0);
}

std::optional<int> FaultCounters::next_call(FaultedCall call) {
    const uint64_t n = ++calls_[static_cast<size_t>(call)];
    for (const auto& rule : rules_)
        if (rule.call == call && tolmirex::schedule_fails_use(rule.when, n)) return rule.result;
    return std::nullopt;
}

}  // namespace zebsim
