// handle_registry.cpp - see handle_registry.h.  Any thread.
#include "handle_registry.h"

#include <map>

namespace genicam {
namespace {

struct Registry {
    std::mutex mutex;  // protects handles and next_key
    std::map<uintptr_t, std::shared_ptr<OpenHandle>> handles;
    uintptr_t next_key = 0x6E0000;  // keys are never reused, so a stale handle stays invalid
};

Registry& registry() {
    static Registry* instance = new Registry;  // never destroyed: handles may be closed during exit
    return *instance;
}

}  // namespace

void* register_handle(std::shared_ptr<OpenHandle> handle) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.next_key += 16;
    r.handles.emplace(r.next_key, std::move(handle));
    return reinterpret_cast<void*>(r.next_key);
}

std::shared_ptr<OpenHandle> find_handle(void* key) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    auto it = r.handles.find(reinterpret_cast<uintptr_t>(key));
    return it == r.handles.end() ? nullptr : it->second;
}

std::shared_ptr<OpenHandle> unregister_handle(void* key) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    auto it = r.handles.find(reinterpret_cast<uintptr_t>(key));
    if (it == r.handles.end()) return nullptr;
    auto handle = std::move(it->second);
    r.handles.erase(it);
    return handle;
}

}  // namespace genicam
