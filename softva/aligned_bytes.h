// Threads: any; an AlignedBytes has no lock of its own, its owner's lock guards it.
// Pixel storage aligned for SIMD loads and for the 64-byte row pitches.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace softva {

class AlignedBytes {
public:
    static constexpr std::size_t kAlignment = 64;

    explicit AlignedBytes(std::size_t size)
        : size_(size),
          data_(static_cast<std::uint8_t*>(
              std::aligned_alloc(kAlignment, (size + kAlignment - 1) / kAlignment * kAlignment + kAlignment))) {
        // One spare aligned block at the end lets SIMD kernels read a little past
        // the last row without leaving the allocation.
        if (data_ == nullptr) throw std::bad_alloc();
    }
    ~AlignedBytes() { std::free(data_); }
    AlignedBytes(const AlignedBytes&) = delete;
    AlignedBytes& operator=(const AlignedBytes&) = delete;

    std::uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }

private:
    std::size_t size_;
    std::uint8_t* data_;
};

}  // namespace softva
