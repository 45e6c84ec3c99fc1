// Writing whole files safely: the operating system's file calls live in files.cpp alone.
#pragma once
#include <cstddef>

// Replaces the file at path with exactly these bytes, or leaves it as it was: the bytes go to
// a temporary file in the same folder, reach the disk, and the temporary is renamed over path.
// Paths are UTF-8. False on any failure, with the temporary removed.
bool file_write_atomic(const char* path, const void* bytes, std::size_t size);
