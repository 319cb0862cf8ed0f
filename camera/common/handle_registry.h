// handle_registry.h - open handles.  A HANDLE value is only a key into the
// registry and is never dereferenced, so closed, -1 or made-up values are
// simply not found.  Any thread; the registry has its own mutex, and a found
// handle stays alive (shared_ptr) while a call uses it even if another thread
// closes it meanwhile.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

namespace zebcommon {

// The untyped registry; HandleRegistry below gives it the library's type.
class HandleKeys {
public:
    // Each library starts its keys elsewhere, so a handle passed to the wrong
    // library is not found there either.
    explicit HandleKeys(uintptr_t first_key) : next_key_(first_key) {}

    void* add(std::shared_ptr<void> handle);
    std::shared_ptr<void> find(void* key);
    std::shared_ptr<void> remove(void* key);  // null when not open
    int size();

private:
    std::mutex mutex_;  // protects handles_ and next_key_
    std::map<uintptr_t, std::shared_ptr<void>> handles_;
    uintptr_t next_key_;  // keys are never reused, so a stale handle stays invalid
};

template <typename Handle>
class HandleRegistry {
public:
    explicit HandleRegistry(uintptr_t first_key) : keys_(first_key) {}

    void* add(std::shared_ptr<Handle> handle) { return keys_.add(std::move(handle)); }
    std::shared_ptr<Handle> find(void* key) { return std::static_pointer_cast<Handle>(keys_.find(key)); }
    std::shared_ptr<Handle> remove(void* key) { return std::static_pointer_cast<Handle>(keys_.remove(key)); }
    int size() { return keys_.size(); }

private:
    HandleKeys keys_;
};

}  // namespace zebcommon
