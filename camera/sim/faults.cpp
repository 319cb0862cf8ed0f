// faults.cpp - fault grammar and counters.  parse_faults: any thread (the
// warned-names set has its own mutex); FaultCounters: under the camera mutex.
#include "faults.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <string_view>

#include "result_codes.h"
#include "text_list.h"

namespace zebsim {
namespace {

struct FaultName {
    const char* name;
    FaultedCall call;
    int result;
};

constexpr FaultName kNames[] = {
    {"init", FaultedCall::initialize, kFailed},
    {"setmode", FaultedCall::set_mode, kFailed},
    {"start", FaultedCall::start, kFailed},
    {"wait45", FaultedCall::wait, kReopenReset},
    {"wait1", FaultedCall::wait, kReopenLost},
    {"acquire", FaultedCall::acquire, kFailed},
    {"process", FaultedCall::process, kFailed},
    {"bitmap", FaultedCall::bitmap, kFailed},
    {"modedesc", FaultedCall::mode_descriptor, kFailed},
    {"gaininfo", FaultedCall::gain_info, kFailed},
    {"settle", FaultedCall::mode_settle, kFailed},
    {"timing", FaultedCall::mode_timing, kFailed},
};

void warn_once(const std::string& entry) {
    static std::mutex mutex;                                           // protects warned
    static std::set<std::string>* warned = new std::set<std::string>;  // lives as long as the process
    std::lock_guard lock(mutex);
    if (warned->insert(entry).second)
        std::fprintf(stderr, "zebsim: ignoring unknown fault \"%s\" in ZEBSIM_FAULTS\n", entry.c_str());
}

std::optional<FaultRule> parse_entry(std::string_view entry) {
    const auto [name, when] = tolmirex::split_fault_entry(entry);
    if (!when) return std::nullopt;
    for (const auto& known : kNames)
        if (name == known.name) return FaultRule{known.call, known.result, *when};
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
