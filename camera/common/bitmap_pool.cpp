// bitmap_pool.cpp - see bitmap_pool.h.  Any thread.
#include "bitmap_pool.h"

#include <cstdlib>
#include <mutex>
#include <unordered_map>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#else
#define ASAN_POISON_MEMORY_REGION(address, size) ((void)(address), (void)(size))
#define ASAN_UNPOISON_MEMORY_REGION(address, size) ((void)(address), (void)(size))
#endif

namespace zebcommon {
namespace {

// A viewer cycles through three at most: the one shown, the one waiting in
// its hand-off slot and the one being processed into.
constexpr size_t kKeptBlocks = 3;
constexpr size_t kAlignment = 64;

struct Block {
    size_t bytes;
    bool in_use;  // false while kept for reuse
};

// Every block the pool made, in use or kept, by its address: nothing is ever
// read from around a pointer a caller hands back.
struct Pool {
    std::mutex mutex;  // protects both
    std::unordered_map<uint8_t*, Block> blocks;
    std::vector<uint8_t*> kept;  // not in use, poisoned
};

Pool& pool() {
    static Pool* instance = new Pool;  // never destroyed: bitmaps may be freed during exit
    return *instance;
}

size_t rounded(size_t bytes) { return (bytes + kAlignment - 1) / kAlignment * kAlignment; }

}  // namespace

uint8_t* take_block(size_t bytes) {
    Pool& p = pool();
    std::lock_guard lock(p.mutex);
    for (auto it = p.kept.begin(); it != p.kept.end(); ++it)
        if (p.blocks[*it].bytes == bytes) {
            uint8_t* block = *it;
            p.kept.erase(it);
            p.blocks[block].in_use = true;
            ASAN_UNPOISON_MEMORY_REGION(block, rounded(bytes));
            return block;
        }
    auto* block = static_cast<uint8_t*>(std::aligned_alloc(kAlignment, rounded(bytes ? bytes : 1)));
    if (block) p.blocks[block] = Block{bytes, true};
    return block;
}

bool release_block(uint8_t* block) {
    if (!block) return true;
    Pool& p = pool();
    std::vector<uint8_t*> to_free;
    {
        std::lock_guard lock(p.mutex);
        auto found = p.blocks.find(block);
        if (found == p.blocks.end() || !found->second.in_use) return false;
        Block& released = found->second;
        released.in_use = false;
        // Blocks of another size will not be asked for again soon.
        for (auto it = p.kept.begin(); it != p.kept.end();)
            if (p.blocks[*it].bytes != released.bytes) {
                to_free.push_back(*it);
                it = p.kept.erase(it);
            } else {
                ++it;
            }
        if (p.kept.size() < kKeptBlocks) {
            // Kept, but a read of it (a freed bitmap still drawn) is reported
            // as a read of freed memory would be.
            ASAN_POISON_MEMORY_REGION(block, rounded(released.bytes));
            p.kept.push_back(block);
        } else {
            to_free.push_back(block);
        }
        for (uint8_t* unused : to_free) {
            ASAN_UNPOISON_MEMORY_REGION(unused, rounded(p.blocks[unused].bytes));
            p.blocks.erase(unused);
        }
    }
    for (uint8_t* unused : to_free) std::free(unused);
    return true;
}

}  // namespace zebcommon
