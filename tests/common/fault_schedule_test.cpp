// The fault grammar shared by ZEBSIM_FAULTS and SOFTVA_FAIL.
#include <gtest/gtest.h>

#include "fault_schedule.h"
#include "text_list.h"

namespace {

using tolmirex::FaultSchedule;

std::vector<std::uint64_t> failing_uses(const char* entry) {
    const auto [name, when] = tolmirex::split_fault_entry(entry);
    std::vector<std::uint64_t> uses;
    if (when)
        for (std::uint64_t use = 1; use <= 8; ++use)
            if (tolmirex::schedule_fails_use(*when, use)) uses.push_back(use);
    return uses;
}

TEST(FaultSchedule, OneMeaningForEachForm) {
    using Uses = std::vector<std::uint64_t>;
    EXPECT_EQ(failing_uses("map"), (Uses{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(failing_uses("map@3"), (Uses{3}));
    EXPECT_EQ(failing_uses("map@3+"), (Uses{3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(failing_uses("map@3x2"), (Uses{3, 4}));
    for (const char* bad : {"map@0", "map@-1", "map@", "map@3x", "map@3x0", "map@x2", "map@3x2+", "map@2+x1",
                            "map@99999999999999999999", "map@18446744073709551615x2"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(tolmirex::split_fault_entry(bad).second);
    }
    EXPECT_EQ(tolmirex::split_fault_entry("map@18446744073709551615").second->first, 18446744073709551615u);
}

TEST(TextList, TrimsAndSkipsEmptyItems) {
    std::vector<std::string> items;
    tolmirex::for_each_list_entry(" a,,b\t, c d ,", [&](std::string_view item) { items.emplace_back(item); });
    EXPECT_EQ(items, (std::vector<std::string>{"a", "b", "c d"}));
    items.clear();
    tolmirex::for_each_list_entry("nv12,yv12\r\n", [&](std::string_view item) { items.emplace_back(item); });
    EXPECT_EQ(items, (std::vector<std::string>{"nv12", "yv12"}));  // a line end is white space too
}

}  // namespace
