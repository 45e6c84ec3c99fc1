// Reading and writing whole files without trusting what sits at the path.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The bytes of a regular file of at most max_bytes. Anything else at the path (a FIFO, a
// device, a folder) is refused at once, without waiting for a writer, like a missing file.
std::optional<std::vector<std::uint8_t>> file_read_whole(const char* path, std::uint64_t max_bytes);

// Replaces the file at path with exactly these bytes, or leaves it as it was. The bytes go
// to a new temporary file in the same folder, created exclusively (never through a link or
// into a file that is already there), which is then renamed over path; a link at path is
// replaced, never followed. False on any failure, with the temporary removed.
bool file_write_atomic(const char* path, const void* bytes, std::size_t size);

// Moves the file at path out of the way to "<path>.bad-<n>", the first n nothing holds, so
// a damaged file is kept for a look rather than overwritten. Never replaces anything there.
// The new name, or nothing when it could not be moved.
std::optional<std::string> file_set_aside(const char* path);

// A file:// URL naming an absolute path. Every byte outside A-Z a-z 0-9 - . _ ~ and "/"
// is percent-encoded, so "#", "?", "%", spaces and newlines stay part of the path.
std::string file_url_from_path(std::string_view absolute_path);
