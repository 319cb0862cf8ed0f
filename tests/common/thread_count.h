// Threads of this process, for tests that check nothing is left running.
// Test thread.
#pragma once

#include <dirent.h>

inline int thread_count() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.') ++count;
        closedir(dir);
    }
    return count;
}
