#include "common.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace {
// Big enough for every formatted string and query result of one frame.
constexpr size_t SCRATCH_BYTES = 1 << 20;
alignas(64) unsigned char scratch_buffer[SCRATCH_BYTES];
size_t scratch_top = 0;
}  // namespace

void* scratch_alloc(size_t bytes, size_t align) {
    size_t start = (scratch_top + (align - 1)) & ~(align - 1);
    if (start > SCRATCH_BYTES || bytes > SCRATCH_BYTES - start) return nullptr;
    scratch_top = start + bytes;
    return scratch_buffer + start;
}

void scratch_reset() { scratch_top = 0; }

size_t scratch_used() { return scratch_top; }

const char* tprintf(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    const char* result = "";
    if (n >= 0) {
        char* out = static_cast<char*>(scratch_alloc(size_t(n) + 1, 1));
        if (out) {
            std::vsnprintf(out, size_t(n) + 1, fmt, args);
            result = out;
        }
    }
    va_end(args);
    return result;
}

int emitter_update(Emitter& e, f32 rate_per_second, f32 step_seconds) {
    e.accumulator += rate_per_second * step_seconds;
    f32 whole = std::floor(e.accumulator);
    e.accumulator -= whole;
    return int(whole);
}
