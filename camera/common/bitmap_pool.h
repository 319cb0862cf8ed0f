// bitmap_pool.h - the memory behind the bitmaps cqRetrieveBitmapAdv hands
// out.  A large bitmap freshly allocated costs a page fault per page on first
// write, every frame; so freed bitmaps are kept and reused for the next of
// the same size.  A block has one owner at a time: the handle that processes
// into it, then the caller it is handed to.
//
// Any thread: the pool has its own mutex.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zebcommon {

// A block of at least `bytes`, 64-byte aligned; nullptr when memory is
// short.  Reuses a free block of exactly that size if one is kept.
uint8_t* take_block(size_t bytes);
// Returns the block to the pool, which keeps a few blocks of the most
// recent size and frees the rest.  A kept
// block is poisoned for AddressSanitizer until it is handed out again.  False
// (nothing done, nothing read) for a pointer that is no block of the pool's
// in use; true for nullptr.
bool release_block(uint8_t* block);

}  // namespace zebcommon
