// call_log.cpp - see call_log.h.  Any thread.
#include "call_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>

namespace zebsim {
namespace {

// Long runs keep only the most recent calls.
constexpr size_t kMaxEntries = 100000;

struct Log {
    std::mutex mutex;  // protects entries and mirror
    std::deque<std::string> entries;
    // ZEBSIM_CALL_LOG names a file that every call is appended to as well,
    // one line each, so a test can follow the calls of a viewer process.
    FILE* mirror = nullptr;
};

Log& log() {
    static Log* instance = [] {
        auto* l = new Log;  // never destroyed: calls may still arrive during exit
        if (const char* path = std::getenv("ZEBSIM_CALL_LOG"); path && *path) l->mirror = std::fopen(path, "a");
        return l;
    }();
    return *instance;
}

}  // namespace

void log_call(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vlog_call(format, args);
    va_end(args);
}

void vlog_call(const char* format, va_list args) {
    char text[256];
    std::vsnprintf(text, sizeof text, format, args);
    Log& l = log();
    std::lock_guard lock(l.mutex);
    l.entries.emplace_back(text);
    if (l.entries.size() > kMaxEntries) l.entries.pop_front();
    if (l.mirror) {
        std::fprintf(l.mirror, "%s\n", text);
        std::fflush(l.mirror);
    }
}

std::vector<std::string> logged_calls() {
    Log& l = log();
    std::lock_guard lock(l.mutex);
    return {l.entries.begin(), l.entries.end()};
}

size_t logged_count(const std::string& name) {
    Log& l = log();
    std::lock_guard lock(l.mutex);
    size_t n = 0;
    for (const auto& entry : l.entries)
        if (entry.compare(0, name.size(), name) == 0 && (entry.size() == name.size() || entry[name.size()] == ' ')) ++n;
    return n;
}

void clear_logged_calls() {
    Log& l = log();
    std::lock_guard lock(l.mutex);
    l.entries.clear();
}

}  // namespace zebsim
