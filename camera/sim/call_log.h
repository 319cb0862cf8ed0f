// call_log.h - the bounded log of library calls that tests read through
// zebsim::calls().  Any thread; the log has its own mutex.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>
#include <vector>

namespace zebsim {

void log_call(const char* format, ...) __attribute__((format(printf, 1, 2)));
void vlog_call(const char* format, va_list args) __attribute__((format(printf, 1, 0)));
std::vector<std::string> logged_calls();
size_t logged_count(const std::string& name);
void clear_logged_calls();

}  // namespace zebsim
