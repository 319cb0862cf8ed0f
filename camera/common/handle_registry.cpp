// handle_registry.cpp - see handle_registry.h.  Any thread.
#include "handle_registry.h"

namespace zebcommon {

void* HandleKeys::add(std::shared_ptr<void> handle) {
    std::lock_guard lock(mutex_);
    next_key_ += 16;
    handles_.emplace(next_key_, std::move(handle));
    return reinterpret_cast<void*>(next_key_);
}

std::shared_ptr<void> HandleKeys::find(void* key) {
    std::lock_guard lock(mutex_);
    auto it = handles_.find(reinterpret_cast<uintptr_t>(key));
    return it == handles_.end() ? nullptr : it->second;
}

std::shared_ptr<void> HandleKeys::remove(void* key) {
    std::lock_guard lock(mutex_);
    auto it = handles_.find(reinterpret_cast<uintptr_t>(key));
    if (it == handles_.end()) return nullptr;
    auto handle = std::move(it->second);
    handles_.erase(it);
    return handle;
}

int HandleKeys::size() {
    std::lock_guard lock(mutex_);
    return static_cast<int>(handles_.size());
}

}  // namespace zebcommon
