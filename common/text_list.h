// Comma-separated settings read from the environment. Pure: any thread.
#pragma once

#include <string_view>

namespace tolmirex {

// Calls `entry` with each item of a comma-separated list, white space around
// it trimmed (a value pasted with its line end still reads); empty items are
// skipped.
template <class Entry>
void for_each_list_entry(std::string_view list, Entry entry) {
    auto blank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        std::string_view item = list.substr(0, comma);
        list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
        while (!item.empty() && blank(item.front())) item.remove_prefix(1);
        while (!item.empty() && blank(item.back())) item.remove_suffix(1);
        if (!item.empty()) entry(item);
    }
}

}  // namespace tolmirex
