// The hand-overs from the acquisition worker to the display thread: the
// newest frame descriptor, guarded by a short lock, the one-bitmap slot,
// handed over through an atomic exchange of its pointer, and the notice that
// nothing new came. Each operation says which thread calls it.
#pragma once

#include <X11/Xlib.h>

#include <cstddef>
#include <mutex>
#include <vector>

#include "zebapi.h"

// Frame descriptor (worker -> display thread).
// Guards lps->gf and the frame data it points at against the worker's next
// retrieve: the worker holds it while it takes fields from the camera, the
// display thread while it copies the newest frame.
extern std::mutex frame_mutex;
// Copies gf into *sgf. When `pixels` is given, the frame data is copied into
// it as well and sgf->bp points at the copy; without it sgf->bp is left null.
void snapshot_frame(CQGETFRAMEEX* sgf, std::vector<BYTE>* pixels);
// Display thread: the newest frame, pixels and all, for drawing without a
// copy. Locks frame_mutex and, when gf has pixels and sgf's size and sample
// layout, copies gf into *sgf and returns the lock held: until it is
// released the worker cannot retrieve, so the camera neither rewrites nor
// frees what sgf->bp points at. Otherwise (a new size the next redraw
// resizes for, a closed camera) returns the lock released.
std::unique_lock<std::mutex> hold_newest_frame(CQGETFRAMEEX* sgf);
// Bytes of frame data behind a descriptor: one or two per pixel.
size_t frame_bytes(const CQGETFRAMEEX& frame);

// Bitmap slot (worker -> display thread).
// Worker: true while the slot is empty and may be filled.
bool bitmap_slot_empty();
// Worker: publishes a freshly retrieved bitmap into the empty slot.
void publish_bitmap(const CQGETBITMAP& bitmap);
// Takes the waiting bitmap out of the slot into *out; false when the slot was
// empty. The display thread and the worker's exit path both use it, so a
// bitmap is taken by exactly one of them.
bool take_bitmap(CQGETBITMAP* out);

// The bitmap on show (lps->sbmp): the display thread owns it and reads it
// freely; it replaces and frees it under frame_mutex, so that another thread
// can copy it under the same lock.
// Display thread: frees the bitmap on show and shows `taken` instead (a null
// bitmap shows none).
void replace_shown_bitmap(const CQGETBITMAP& taken);
// Any thread: a copy of the bitmap on show, its pixels in *pixels and
// copy->bp pointing at them; false when none is shown.
bool copy_shown_bitmap(CQGETBITMAP* copy, std::vector<BYTE>* pixels);

// Frame notice (worker -> display thread): at most one is in flight, so an X
// server that stops reading never fills the worker's connection, whose
// writes would then block the worker and cost camera frames.
// Worker: as it starts, no notice is in flight.
void reset_frame_notices();
// Worker: after publishing a frame, true when a notice must be posted (none
// is in flight); false when the one in flight will find this frame too.
bool claim_frame_notice();
// Display thread: a frame notice was taken, before the redraw reads the
// newest frame, so a frame published after this gets a notice of its own.
void frame_notice_taken();

// Quiet notice (worker -> display thread): a client message of this type,
// which the worker posts once a second while it has posted no frame notice,
// so that the statistics keep ticking. Any thread, on its own connection.
Atom quiet_notice_atom(Display* dpy);
