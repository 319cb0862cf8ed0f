// Saving the picture on show as a PNG file through a file chooser. Main
// (GTK) thread only, but for the pure file name.
#pragma once

#include <gtk/gtk.h>

#include <ctime>
#include <string>

#include "notices.h"

// "tolmirex-YYYYMMDD-HHMMSS.png" for a local time. Pure.
std::string picture_file_name(const std::tm& local);

// Copies the frame on show (under the frame lock), asks where to put it,
// starting in the pictures folder (home without one), and writes it. Does
// nothing while a chooser is already open.
void save_picture(GtkWindow* parent);

// Where the last picture went, or why it did not: "Saved /path/x.png".
extern SharedText save_notice;
