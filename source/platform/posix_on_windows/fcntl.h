// Flags Windows has no use for: descriptors are not inherited by default, a path there is not
// a link to follow, and opening a regular file never blocks. (Files open in binary mode: see
// platform.cpp.)
#pragma once
#include_next <fcntl.h>

#ifndef O_CLOEXEC
#define O_CLOEXEC 0
#endif
#ifndef O_NOFOLLOW
#define O_NOFOLLOW 0
#endif
#ifndef O_NONBLOCK
#define O_NONBLOCK 0
#endif
