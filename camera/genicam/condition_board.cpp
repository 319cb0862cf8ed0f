// condition_board.cpp - see condition_board.h.  Any thread.
#include "condition_board.h"

#include <arv.h>

#include <cstdio>
#include <cstring>

namespace genicam {

void ConditionBoard::say(Trouble trouble, const std::string& sentence) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string& now = sentences_[static_cast<size_t>(trouble)];
    if (now == sentence) return;
    now = sentence;
    if (sentence.empty()) return;
    ++problems_;
    std::fprintf(stderr, "%s\n", sentence.c_str());
}

bool ConditionBoard::has(Trouble trouble) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return !sentences_[static_cast<size_t>(trouble)].empty();
}

void ConditionBoard::set_camera(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    camera_ = text;
}

void ConditionBoard::set_stream(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    stream_ = text;
}

void ConditionBoard::offer_free_run(bool offered) {
    std::lock_guard<std::mutex> lock(mutex_);
    free_run_offered_ = offered;
}

CQCONDITION ConditionBoard::snapshot() const {
    CQCONDITION out{};
    char library[sizeof out.szLibrary];
    std::snprintf(library, sizeof library, "GenICam (Aravis %u.%u.%u)", arv_get_major_version(),
                  arv_get_minor_version(), arv_get_micro_version());
    copy_text(out.szLibrary, sizeof out.szLibrary, library);
    std::lock_guard<std::mutex> lock(mutex_);
    std::string problem;
    for (const std::string& sentence : sentences_)
        if (!sentence.empty()) problem += (problem.empty() ? "" : " ") + sentence;
    copy_text(out.szCamera, sizeof out.szCamera, camera_);
    copy_text(out.szStream, sizeof out.szStream, stream_);
    copy_text(out.szProblem, sizeof out.szProblem, problem);
    out.dwProblems = problems_;
    out.dwActions = free_run_offered_ ? CQ_CAN_FREE_RUN : 0;
    return out;
}

void copy_text(char* field, size_t size, const std::string& text) {
    size_t length = std::min(text.size(), size - 1);
    // Never end inside a character: back up over continuation bytes.
    if (length < text.size())
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
    std::memcpy(field, text.data(), length);
    field[length] = '\0';
}

}  // namespace genicam
