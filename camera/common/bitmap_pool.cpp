// bitmap_pool.cpp - see bitmap_pool.h.  Any thread.
#include "bitmap_pool.h"

#include <cstdlib>
#include <mutex>
#include <new>
#include <vector>

namespace zebcommon {
namespace {

// A viewer cycles through three at most: the one shown, the one waiting in
// its hand-off slot and the one being processed into.
constexpr size_t kKeptBlocks = 3;
constexpr size_t kHeaderBytes = 64;  // keeps the pixels 64-byte aligned

struct Header {
    size_t bytes;
    int references;  // guarded by the pool's mutex
};

Header* header_of(uint8_t* block) { return reinterpret_cast<Header*>(block - kHeaderBytes); }

struct Pool {
    std::mutex mutex;  // protects free_blocks and every block's reference count
    std::vector<uint8_t*> free_blocks;
};

Pool& pool() {
    static Pool* instance = new Pool;  // never destroyed: bitmaps may be freed during exit
    return *instance;
}

}  // namespace

uint8_t* take_block(size_t bytes) {
    {
        std::lock_guard lock(pool().mutex);
        auto& blocks = pool().free_blocks;
        for (size_t i = 0; i < blocks.size(); ++i)
            if (header_of(blocks[i])->bytes == bytes) {
                uint8_t* block = blocks[i];
                blocks.erase(blocks.begin() + i);
                header_of(block)->references = 1;
                return block;
            }
    }
    void* memory =
        std::aligned_alloc(kHeaderBytes, kHeaderBytes + (bytes + kHeaderBytes - 1) / kHeaderBytes * kHeaderBytes);
    if (!memory) return nullptr;
    auto* header = new (memory) Header{bytes, 1};
    return reinterpret_cast<uint8_t*>(header) + kHeaderBytes;
}

void share_block(uint8_t* block) {
    std::lock_guard lock(pool().mutex);
    ++header_of(block)->references;
}

void release_block(uint8_t* block) {
    if (!block) return;
    std::vector<uint8_t*> to_free;
    {
        std::lock_guard lock(pool().mutex);
        Header* header = header_of(block);
        if (--header->references > 0) return;
        auto& blocks = pool().free_blocks;
        // Blocks of another size will not be asked for again soon.
        for (auto it = blocks.begin(); it != blocks.end();)
            if (header_of(*it)->bytes != header->bytes) {
                to_free.push_back(*it);
                it = blocks.erase(it);
            } else {
                ++it;
            }
        if (blocks.size() < kKeptBlocks)
            blocks.push_back(block);
        else
            to_free.push_back(block);
    }
    for (uint8_t* unused : to_free) std::free(header_of(unused));
}

}  // namespace zebcommon
