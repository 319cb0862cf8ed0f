// The newest figures of the picture on show (histogram, clip shares, focus),
// handed from the display thread, which measures, to the GTK thread, which
// draws them: one small record copied under a short lock. Any thread.
#pragma once

#include <cstdint>

#include "picture_measure.h"

// Display thread: replaces the figures and counts a new edition.
void publish_picture_figures(const PictureFigures& figures);
// GTK thread: copies the newest figures into *out and returns their edition
// (0 while nothing was published, so a reader can skip what it has drawn).
uint64_t read_picture_figures(PictureFigures* out);
