// Which uses of a call an injected fault fails: the one grammar of the fault
// lists of the simulated camera (ZEBSIM_FAULTS) and the software VA driver
// (SOFTVA_FAIL), for the part of an entry after its '@'. Pure: any thread.
//   name        every use
//   name@N      the N-th use only
//   name@N+     the N-th use and every one after it
//   name@NxK    K uses from the N-th on
// Counts start at 1; zero, negative and overflowing counts are malformed.
#pragma once

#include <charconv>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>
#include <utility>

namespace tolmirex {

struct FaultSchedule {
    std::uint64_t first = 1;  // 1-based use that fails first
    std::uint64_t times = 0;  // uses that fail from there; 0 = all of them
};

inline std::optional<std::uint64_t> positive_count(std::string_view text) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size() || value == 0) return std::nullopt;
    return value;
}

// The schedule of an entry's text after '@' (`when`), or of an entry without
// one (nullopt: every use); nullopt result when the text is malformed.
inline std::optional<FaultSchedule> parse_fault_schedule(std::optional<std::string_view> when) {
    if (!when) return FaultSchedule{};
    std::string_view text = *when;
    const bool onwards = !text.empty() && text.back() == '+';
    if (onwards) text.remove_suffix(1);
    const std::size_t x = text.find('x');
    const auto first = positive_count(text.substr(0, x));
    if (!first) return std::nullopt;
    if (onwards) return x == std::string_view::npos ? std::optional(FaultSchedule{*first, 0}) : std::nullopt;
    if (x == std::string_view::npos) return FaultSchedule{*first, 1};
    const auto times = positive_count(text.substr(x + 1));
    if (!times || *times > std::numeric_limits<std::uint64_t>::max() - *first) return std::nullopt;
    return FaultSchedule{*first, *times};
}

// Splits a fault list entry into its name and schedule; nullopt schedule when malformed.
inline std::pair<std::string_view, std::optional<FaultSchedule>> split_fault_entry(std::string_view entry) {
    const std::size_t at = entry.find('@');
    if (at == std::string_view::npos) return {entry, parse_fault_schedule(std::nullopt)};
    return {entry.substr(0, at), parse_fault_schedule(entry.substr(at + 1))};
}

constexpr bool schedule_fails_use(const FaultSchedule& s, std::uint64_t use) {
    return use >= s.first && (s.times == 0 || use - s.first < s.times);
}

}  // namespace tolmirex
