// bitmap_pool.h - the memory behind the bitmaps cqRetrieveBitmapAdv hands
// out.  A large bitmap freshly allocated costs a page fault per page on first
// write, every frame; so freed bitmaps are kept and reused for the next of
// the same size.  A block is shared by reference count: the handle that
// processed into it and the caller it was handed to each hold one.
//
// Any thread: the pool has its own mutex.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zebcommon {

// A block of at least `bytes`, 64-byte aligned, with one reference; nullptr
// when memory is short.  Reuses a free block of exactly that size if one is kept.
uint8_t* take_block(size_t bytes);
// One more reference to a block from take_block.
void share_block(uint8_t* block);
// Drops one reference; the last one returns the block to the pool, which
// keeps a few blocks of the most recent size and frees the rest.
void release_block(uint8_t* block);

}  // namespace zebcommon
