// A start-up failure shown in a window, for a person who started the viewer
// from the desktop's menu and has no terminal to read. Main thread, before
// the control panel exists.
#pragma once

#include <string>

// Whether the viewer was started from the desktop's menu (its desktop entry
// says so, and so does GIO's launcher, naming this process), where nobody
// reads standard error.
bool started_from_menu();

// Shows what failed and why, and waits for the person to close it; nothing
// when the toolkit cannot open the display.
void show_failure_dialog(int* argc, char*** argv, const std::string& what, const std::string& why);
