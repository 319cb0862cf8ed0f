// Threads: any; callers hold the owning driver instance's mutex.
// Live objects of one kind, keyed by id.  Each kind has its own id range, so an
// id of one kind is never mistaken for another, and ids are handed out from a
// counter that only grows, so an id is never reused while its object is alive
// (nor afterwards, until the range is exhausted).
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>

namespace softva {

template <typename T>
class ObjectHeap {
public:
    static constexpr std::uint32_t kRangeSize = 0x04000000;
    static constexpr std::uint32_t kNoId = 0xffffffffu;  // VA_INVALID_ID

    explicit ObjectHeap(std::uint32_t id_offset) : id_offset_(id_offset), next_id_(id_offset) {}

    // Stores the object and returns its new id, or kNoId once the range is used up.
    std::uint32_t add(std::shared_ptr<T> object) {
        if (next_id_ - id_offset_ >= kRangeSize) return kNoId;
        const std::uint32_t id = next_id_++;
        objects_.emplace(id, std::move(object));
        return id;
    }

    std::shared_ptr<T> find(std::uint32_t id) const {
        const auto it = objects_.find(id);
        return it == objects_.end() ? nullptr : it->second;
    }

    bool remove(std::uint32_t id) { return objects_.erase(id) != 0; }
    void clear() { objects_.clear(); }
    std::size_t size() const { return objects_.size(); }

private:
    std::uint32_t id_offset_;
    std::uint32_t next_id_;
    std::unordered_map<std::uint32_t, std::shared_ptr<T>> objects_;
};

}  // namespace softva
