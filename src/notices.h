// Sentences one thread writes for another to show: each a small locked
// text, read whole. Any thread.
#pragma once

#include <mutex>
#include <string>

class SharedText {
public:
    void set(const std::string& text) {
        std::lock_guard<std::mutex> lock(mutex_);
        text_ = text;
    }
    std::string get() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return text_;
    }

private:
    mutable std::mutex mutex_;
    std::string text_;
};

// The worker's own words on what keeps frames away (a camera call failing,
// frames not coming), as it says them on standard error; "" while frames come.
extern SharedText acquisition_notice;
// What the video window shows while it has no picture yet: the status
// area's problem, written by the panel's timer.
extern SharedText picture_notice;
