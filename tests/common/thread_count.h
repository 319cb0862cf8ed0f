// Threads and open files of this process, for tests that check nothing is
// left running or open. Test thread.
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

// Open file descriptors, the one reading them counted out.
inline int open_file_count() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.') ++count;
        closedir(dir);
        --count;
    }
    return count;
}
