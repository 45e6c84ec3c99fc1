// fsync() is _commit() on Windows.
#pragma once
#include_next <unistd.h>
#include <io.h>

inline int fsync(int fd) { return _commit(fd); }
