// getrandom() from the system's own generator (RtlGenRandom, exported as SystemFunction036).
#pragma once
#include <cstddef>
#include <sys/types.h>

#define GRND_NONBLOCK 0x0001

extern "C" __declspec(dllimport) unsigned char __stdcall SystemFunction036(void* buffer, unsigned long length);

inline ssize_t getrandom(void* buffer, size_t length, unsigned int) {
    return SystemFunction036(buffer, (unsigned long)length) ? ssize_t(length) : -1;
}
