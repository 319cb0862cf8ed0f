// Threads: any (see fault_plan.h).
#include "fault_plan.h"

#include <charconv>

namespace softva {
namespace {

constexpr std::string_view kCallNames[] = {
    "init", "query_image_formats", "create_surfaces", "destroy_surfaces", "derive", "create_image", "destroy_image",
    "map",  "unmap",               "put_image",       "put_surface",      "sync",   "terminate"};
static_assert(std::size(kCallNames) == static_cast<std::size_t>(FaultCall::count_));

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::optional<std::uint64_t> positive_number(std::string_view text) {
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end != text.data() + text.size() || value == 0) return std::nullopt;
  return value;
}

std::optional<FaultRule> parse_rule(std::string_view entry) {
  const std::size_t at = entry.find('@');
  const auto call = fault_call_named(entry.substr(0, at));
  if (!call) return std::nullopt;
  FaultRule rule{*call};
  if (at == std::string_view::npos) return rule;
  const std::string_view when = entry.substr(at + 1);
  const std::size_t x = when.find('x');
  const auto first = positive_number(when.substr(0, x));
  if (!first) return std::nullopt;
  rule.first_use = *first;
  if (x != std::string_view::npos) {
    const auto times = positive_number(when.substr(x + 1));
    if (!times) return std::nullopt;
    rule.times = *times;
  }
  return rule;
}

}  // namespace

std::optional<FaultCall> fault_call_named(std::string_view name) {
  for (std::size_t i = 0; i < std::size(kCallNames); ++i)
    if (kCallNames[i] == name) return static_cast<FaultCall>(i);
  return std::nullopt;
}

ParsedFaults parse_fault_rules(std::string_view setting) {
  ParsedFaults parsed;
  while (!setting.empty()) {
    const std::size_t comma = setting.find(',');
    const std::string_view entry = trimmed(setting.substr(0, comma));
    setting = comma == std::string_view::npos ? std::string_view{} : setting.substr(comma + 1);
    if (entry.empty()) continue;
    if (auto rule = parse_rule(entry))
      parsed.rules.push_back(*rule);
    else
      parsed.rejected.emplace_back(entry);
  }
  return parsed;
}

FaultPlan::FaultPlan(std::vector<FaultRule> rules) : rules_(std::move(rules)) {}

bool FaultPlan::should_fail(FaultCall call) {
  if (rules_.empty()) return false;
  const std::uint64_t use = uses_[static_cast<std::size_t>(call)].fetch_add(1) + 1;
  for (const FaultRule& rule : rules_)
    if (rule.call == call && rule_fails_use(rule, use)) return true;
  return false;
}

}  // namespace softva
