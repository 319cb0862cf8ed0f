// condition_board.h - what stands in the way of a camera's pictures, as one
// camera slot has found it, in words for the person at the screen: one
// sentence or two for each kind of trouble, set where it is found and
// cleared where it ends.  A new sentence goes to standard error once, as the
// library's other lines do; cqGetCondition reads them all at once.
//
// Any thread; it has its own lock, taken alone or inside the slot's.
#pragma once

#include <zebapi.h>

#include <array>
#include <cstdint>
#include <mutex>
#include <string>

namespace genicam {

// In the order their sentences are shown: the first is what to see to
// first.
enum class Trouble {
    not_found,      // the camera named is not among those that answer
    held,           // another program controls the camera
    description,    // its description gives the viewer nothing it can use
    trigger,        // it waits for a trigger
    packets,        // its stream's packets do not fit the link
    stream_silent,  // it answers, its stream does not arrive
    link_rate,      // the link cannot carry the rate asked
    auto_setting,   // auto exposure or gain overrides the panel's
    count
};

class ConditionBoard {
public:
    // "" ends that trouble.
    void say(Trouble trouble, const std::string& sentence);
    void clear(Trouble trouble) { say(trouble, ""); }
    bool has(Trouble trouble) const;

    void set_camera(const std::string& text);
    void set_stream(const std::string& text);
    void offer_free_run(bool offered);

    // Every field but the incomplete count.
    CQCONDITION snapshot() const;

private:
    mutable std::mutex mutex_;
    std::array<std::string, static_cast<size_t>(Trouble::count)> sentences_;
    std::string camera_, stream_;
    uint32_t problems_ = 0;
    bool free_run_offered_ = false;
};

// Copies text into a fixed field, cut at a whole UTF-8 character.
void copy_text(char* field, size_t size, const std::string& text);

}  // namespace genicam
