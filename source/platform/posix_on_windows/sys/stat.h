// mkdir() with POSIX's mode argument; Windows folders have no mode bits to set.
#pragma once
#include_next <sys/stat.h>
#include <direct.h>

inline int mkdir(const char* path, unsigned int) { return _mkdir(path); }
